// The binding to the host: each service found once per binding, called with the types of the
// service list, and a missing one reported at every call that needs it. This executable is
// the host; it exports every service but GETPROXY (tests/plugin/CMakeLists.txt).

#include <gtest/gtest.h>

#include <string>

#include "host/host_config.h"
#include "plugin/host_module.h"

namespace {

class Binding : public ::testing::Test {
 protected:
  void SetUp() override { host::reset(); }
  void TearDown() override { host::reset(); }

  // The name of the service load_function reports, "" when the call succeeds.
  template <host_service Service>
  static std::string missing_name(const HostModule& host) {
    try {
      host.call<Service>();
    } catch (const load_function& e) {
      return e.name;
    }
    return "";
  }
};

TEST_F(Binding, EveryCallReachesTheService) {
  HostModule host;
  ASSERT_TRUE(host.bind());
  host::config().port = 8080;
  EXPECT_EQ(8080, host.call<host_service::GETPORT>());
  host::config().port = 21;  // called again, not answered from the first call
  EXPECT_EQ(21, host.call<host_service::GETPORT>());
  host::config().uses_network = false;
  EXPECT_FALSE(host.call_bool<host_service::USESNETWORK>());
  const int handle = host.call<host_service::REGEX_COMPILE>("(b+)");
  EXPECT_TRUE(host.call_bool<host_service::REGEX_MATCH>(handle, "abbc"));
  EXPECT_EQ("bb", std::string(host.call<host_service::REGEX_GETMATCHSTR>(handle, 1)));
  EXPECT_FALSE(host.call_bool<host_service::REGEX_MATCH>(handle, "ac"));
}

TEST_F(Binding, MissingServiceRaisesAtEveryCall) {
  HostModule host;
  ASSERT_TRUE(host.bind());
  host::config().port = 7;
  EXPECT_EQ("GETPROXY", missing_name<host_service::GETPROXY>(host));
  EXPECT_EQ(7, host.call<host_service::GETPORT>());
  EXPECT_EQ("GETPROXY", missing_name<host_service::GETPROXY>(host));
  EXPECT_EQ("GETPROXY", missing_name<host_service::GETPROXY>(host));
}

TEST_F(Binding, ReleasedBindingResolvesNothing) {
  HostModule host;
  EXPECT_EQ("GETPORT", missing_name<host_service::GETPORT>(host));
  ASSERT_TRUE(host.bind());
  EXPECT_FALSE(host.bind());
  EXPECT_EQ(0, host.call<host_service::GETPORT>());
  host.release();
  EXPECT_FALSE(host.bound());
  EXPECT_EQ("GETPORT", missing_name<host_service::GETPORT>(host));
  ASSERT_TRUE(host.bind());
  host::config().port = 80;
  EXPECT_EQ(80, host.call<host_service::GETPORT>());
}

TEST_F(Binding, BoolAnswersAreReadOnTheirLowByte) {
  EXPECT_TRUE(host_true(1));
  EXPECT_TRUE(host_true(0x1FF));
  EXPECT_FALSE(host_true(0));
  EXPECT_FALSE(host_true(0x100));
}

}  // namespace
