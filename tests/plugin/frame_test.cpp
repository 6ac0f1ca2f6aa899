#include <gtest/gtest.h>

#include "host/host_config.h"
#include "host/plugin_loader.h"
#include "test_support.h"

using testing_support::plugin_path;

TEST(Frame, LoadsAndAnswers) {
  host::reset();
  host::LoadedPlugin plugin(plugin_path());
  ASSERT_TRUE(plugin.ok()) << plugin.missing();
  EXPECT_TRUE(plugin.Sets());
  EXPECT_FALSE(plugin.IsDefault());
  EXPECT_FALSE(plugin.Reboots());
}
