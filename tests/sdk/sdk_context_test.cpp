// The context's own rules, in this test process.
#include "sdk/sdk_context.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(LaunchParams, EnsureLoadedReadsTheCommandLineOnce) {
  lumo::SdkContext ctx;
  lumo::EnsureLaunchParamsLoaded(ctx);
  EXPECT_TRUE(ctx.launchParamsLoaded);
  EXPECT_STREQ(ctx.launchParams.channelName, "ipc_channel_game_unknown");  // no --token here
  // A second call must not read again: a marker left in the record survives.
  std::strcpy(ctx.launchParams.hostPipe, "marker");
  lumo::EnsureLaunchParamsLoaded(ctx);
  EXPECT_STREQ(ctx.launchParams.hostPipe, "marker");
}

}  // namespace
