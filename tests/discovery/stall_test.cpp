// A server that accepts the connection and never answers: the 20-second receive time-out
// ends the wait and GetInfo fails with its log lines instead of hanging.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "discovery_fixture.h"

using testing::ElementsAre;
using testing_support::server;

class StallingMirror : public testing_support::MirrorTest {};

TEST_F(StallingMirror, ReceiveTimeOutEndsTheWait) {
  use_url("http://" + server(4) + "/pub/");
  const DWORD start = GetTickCount();
  EXPECT_FALSE(get_info());
  const DWORD waited = GetTickCount() - start;
  EXPECT_EQ("失敗", texts_.back());
  EXPECT_THAT(log(), ElementsAre("ispellの情報取得開始", "GETリクエスト送信に失敗．",
                                 "ファイルリストの取得に失敗．", "ispellの情報取得終了"));
  // Not a benchmark: only that the time-out, and nothing shorter, ended the wait.
  EXPECT_GE(waited, 15000u);
}
