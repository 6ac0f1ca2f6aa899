#pragma once
// The real plug-in loaded against a mirror on loopback, with its own INI file, log and
// download directory.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "discovery_support.h"
#include "host/host_config.h"
#include "host/plugin_loader.h"
#include "host/progress_window.h"
#include "test_support.h"

namespace discovery_test {

// The texts of a listing that went through, for a host.
inline std::vector<std::string> complete_texts(const std::string& host) {
  return {"♪ispellの情報取得♪\r\n",       host + "に接続……",
          "成功\r\nディレクトリの移動……", "成功\r\nファイル一覧の取得……",
          "成功\r\nファイル情報の取得……", "成功\r\n切断"};
}

class MirrorTest : public testing::Test {
 protected:
  void SetUp() override {
    host::reset();
    host::config().hozon_dir = dir_.path();
    plugin_ = std::make_unique<host::LoadedPlugin>(testing_support::plugin_path());
    ASSERT_TRUE(plugin_->ok()) << plugin_->missing();
  }
  void TearDown() override { plugin_.reset(); }

  // Points the plug-in at a mirror URL (a fresh INI file each time).
  void use_url(const std::string& url) {
    const std::string ini = dir_.file("plugin" + std::to_string(++inis_) + ".ini");
    testing_support::write_file(ini, "[ispell]\r\nURL=" + url + "\r\n");
    plugin_->PluginInit(ini.c_str(), log_path().c_str());
  }
  // One GetInfo call with a fresh progress window; its texts are kept in texts_.
  bool get_info(int cancel_at = 0) {
    host::ProgressWindow window;
    window.cancel_at(cancel_at);
    const bool result = plugin_->GetInfo(window.hwnd());
    texts_ = window.texts();
    return result;
  }
  std::string log_path() const { return dir_.file("activity.log"); }
  std::vector<std::string> log() const { return log_lines(log_path()); }
  void clear_log() const { DeleteFileA(log_path().c_str()); }
  std::string archive() const { return dir_.file("ispell.tar.xz"); }

  // The archive the request names, or "" when it names none.
  std::string requested_url() const {
    const DownloadRequest request = plugin_->GetDownloadData();
    if (!request.ok || request.count != 1 || !request.files) return "";
    return request.files->url;
  }

  // A listing that went through without an archive: logged, not offered, nothing requested.
  void expect_listing_without_archive(const std::string& host) {
    EXPECT_THAT(texts_, testing::ElementsAreArray(complete_texts(host)));
    EXPECT_THAT(log(), testing::ElementsAre("ispellの情報取得開始",
                                            "ミラーにispellのアーカイブがありません．",
                                            "ispellの情報取得終了"));
    EXPECT_FALSE(plugin_->IsDefault());
    const DownloadRequest request = plugin_->GetDownloadData();
    EXPECT_FALSE(request.ok);
    EXPECT_EQ(0, request.count);
    EXPECT_EQ(nullptr, request.files);
  }

  testing_support::ScratchDir dir_{"mirror"};
  std::unique_ptr<host::LoadedPlugin> plugin_;
  std::vector<std::string> texts_;
  int inis_ = 0;
};

}  // namespace discovery_test
