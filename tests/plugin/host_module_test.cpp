// The binding to the host: services found once per binding, by the text of their name, and a
// missing one reported at every call that needs it. This executable is the host.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/host_config.h"
#include "plugin/host_module.h"

namespace {

class Binding : public ::testing::Test {
 protected:
  void SetUp() override { host::reset(); }
  void TearDown() override { host::reset(); }

  // The name of the service load_function reports, "" when the call succeeds.
  static std::string missing_name(const HostModule& host, const char* name) {
    try {
      host.call<int>(name);
    } catch (const load_function& e) {
      return e.name;
    }
    return "";
  }
};

TEST_F(Binding, AnswersComeFromTheServiceNamedNow) {
  HostModule host;
  ASSERT_TRUE(host.bind());
  host::config().port = 8080;
  host::config().uses_network = false;
  EXPECT_EQ(8080, host.call<int>("GETPORT"));
  host::config().port = 21;
  EXPECT_EQ(21, host.call<int>("GETPORT"));

  // The same buffer naming another service reaches that service.
  char name[32] = "GETPORT";
  EXPECT_EQ(21, host.call<int>(name));
  std::strcpy(name, "USESNETWORK");
  EXPECT_FALSE(host.call_bool(name));
  std::strcpy(name, "GETPORT");
  EXPECT_EQ(21, host.call<int>(name));
}

TEST_F(Binding, MissingServiceRaisesAtEveryCall) {
  HostModule host;
  ASSERT_TRUE(host.bind());
  host::config().port = 7;
  EXPECT_EQ("NO_SUCH_SERVICE", missing_name(host, "NO_SUCH_SERVICE"));
  EXPECT_EQ("NO_SUCH_SERVICE", missing_name(host, "NO_SUCH_SERVICE"));
  // A service name that is a prefix or an extension of a known one is another name.
  EXPECT_EQ(7, host.call<int>("GETPORT"));
  EXPECT_EQ("GETPOR", missing_name(host, "GETPOR"));
  EXPECT_EQ("GETPORTS", missing_name(host, "GETPORTS"));
  EXPECT_EQ("A_SERVICE_NAME_LONGER_THAN_ANY_HOST_HAS",
            missing_name(host, "A_SERVICE_NAME_LONGER_THAN_ANY_HOST_HAS"));
  EXPECT_EQ(7, host.call<int>("GETPORT"));
}

TEST_F(Binding, ReleasedBindingResolvesNothing) {
  HostModule host;
  EXPECT_EQ("GETPORT", missing_name(host, "GETPORT"));
  ASSERT_TRUE(host.bind());
  EXPECT_FALSE(host.bind());
  EXPECT_EQ(0, host.call<int>("GETPORT"));
  host.release();
  EXPECT_FALSE(host.bound());
  EXPECT_EQ("GETPORT", missing_name(host, "GETPORT"));
  ASSERT_TRUE(host.bind());
  host::config().port = 80;
  EXPECT_EQ(80, host.call<int>("GETPORT"));
}

TEST_F(Binding, ServiceObjectResolvesAtItsFirstCallAndRaisesUntilFound) {
  HostModule host;
  ASSERT_TRUE(host.bind());
  const HostService<int> missing(host, "NO_SUCH_SERVICE");  // nothing resolved yet
  for (int call = 0; call < 2; ++call) {
    try {
      missing();
      ADD_FAILURE() << "call " << call << " of a missing service returned";
    } catch (const load_function& e) {
      EXPECT_EQ("NO_SUCH_SERVICE", e.name);
    }
  }
  const HostService<int> port(host, "GETPORT");
  host::config().port = 8080;
  EXPECT_EQ(8080, port());
  host::config().port = 21;  // called again, not answered from the first call
  EXPECT_EQ(21, port());
  const HostService<int, int, const char*> match(host, "REGEX_MATCH");
  const int handle = host.call<int>("REGEX_COMPILE", "b+");
  EXPECT_TRUE(host_true(match(handle, "abbc")));
  EXPECT_FALSE(host_true(match(handle, "ac")));
}

TEST_F(Binding, BoolAnswersAreReadOnTheirLowByte) {
  EXPECT_TRUE(host_true(1));
  EXPECT_TRUE(host_true(0x1FF));
  EXPECT_FALSE(host_true(0));
  EXPECT_FALSE(host_true(0x100));
}

}  // namespace
