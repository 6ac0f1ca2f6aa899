// plugin-host.exe: the reference host installer. Loads the plug-in, answers its service
// calls and drives it through the steps named on the command line, printing what happens.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/download.h"
#include "host/host_config.h"
#include "host/plugin_loader.h"
#include "host/probe.h"
#include "host/progress_window.h"

namespace {

void usage() {
  std::puts(
      "usage: plugin-host.exe [options] [step ...]\n"
      "steps (default: init info isdefault reboots sets unload):\n"
      "  init info getinfo isdefault downloaddata download install reboots set sets unload\n"
      "  probe [URL ...]     run the plug-in's discovery against each URL (default: the\n"
      "                      built-in mirrors) and print one row per mirror\n"
      "options:\n"
      "  --dll PATH          the plug-in (default: ispell.dll beside this program)\n"
      "  --ini PATH          INI file handed to PluginInit\n"
      "  --log PATH          activity log handed to PluginInit\n"
      "  --network on|off    USESNETWORK\n"
      "  --proxy HOST        GETPROXY        --port N     GETPORT\n"
      "  --hozon DIR         GETHOZONDIR     --install-dir DIR   GETINSTALLDIR\n"
      "  --dir-answer DIR    next DIRINPUT answer (repeatable; '-' cancels)\n"
      "  --interactive       real folder dialogs once the scripted answers are used up\n"
      "  --no-tar            ISTARAVAILABLE answers false\n"
      "  --cancel-at N       answer 'cancelled' to the N-th cancel question\n"
      "  --show              show the progress window");
}

std::string with_backslash(std::string path) {
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  return path;
}

const char* yes_no(bool value) { return value ? "true" : "false"; }

}  // namespace

int main(int argc, char** argv) {
  std::string dll = host::executable_directory() + "ispell.dll";
  std::string ini;
  std::string log;
  std::vector<std::string> steps;
  bool show = false;
  int cancel_at = 0;
  host::Config& config = host::config();

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "%s needs a value\n", arg.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--dll") {
      dll = value();
    } else if (arg == "--ini") {
      ini = value();
    } else if (arg == "--log") {
      log = value();
    } else if (arg == "--network") {
      config.uses_network = value() != "off";
    } else if (arg == "--proxy") {
      config.proxy = value();
    } else if (arg == "--port") {
      config.port = std::atoi(value().c_str());
    } else if (arg == "--hozon") {
      config.hozon_dir = with_backslash(value());
    } else if (arg == "--install-dir") {
      config.install_dir = with_backslash(value());
    } else if (arg == "--dir-answer") {
      const std::string answer = value();
      if (answer == "-")
        config.dir_answers.push_back(std::nullopt);
      else
        config.dir_answers.push_back(answer);
    } else if (arg == "--interactive") {
      config.interactive_dirs = true;
    } else if (arg == "--no-tar") {
      config.tar_available = false;
    } else if (arg == "--cancel-at") {
      cancel_at = std::atoi(value().c_str());
    } else if (arg == "--show") {
      show = true;
    } else if (arg == "--help" || arg == "-h") {
      usage();
      return 0;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "unknown option %s\n", arg.c_str());
      usage();
      return 2;
    } else {
      steps.push_back(arg);
    }
  }
  if (steps.empty()) steps = {"init", "info", "isdefault", "reboots", "sets", "unload"};
  if (steps.front() == "probe") {
    config.uses_network = true;
    return host::probe_mirrors(dll, std::vector<std::string>(steps.begin() + 1, steps.end()));
  }

  host::LoadedPlugin plugin(dll);
  if (!plugin.ok()) {
    std::printf("plug-in not usable: %s\n", plugin.missing().c_str());
    return 1;
  }
  host::ProgressWindow progress(show);
  progress.cancel_at(cancel_at);

  bool all_ok = true;
  std::vector<std::string> downloaded_urls;  // handed to Install with status 1
  DownloadRequest last_request{};
  for (const std::string& step : steps) {
    if (step == "init") {
      const bool ok = plugin.PluginInit(ini.c_str(), log.c_str());
      std::printf("PluginInit -> %s\n", yes_no(ok));
      all_ok &= ok;
    } else if (step == "info") {
      const PluginInfo* info = plugin.Info();
      std::printf("Info -> name \"%s\", description \"%s\", reserved %d %d\n", info->name,
                  info->description, static_cast<int>(info->reserved1),
                  static_cast<int>(info->reserved2));
    } else if (step == "getinfo") {
      const bool ok = plugin.GetInfo(progress.hwnd());
      std::printf("GetInfo -> %s\n", yes_no(ok));
      all_ok &= ok;
    } else if (step == "isdefault") {
      std::printf("IsDefault -> %s\n", yes_no(plugin.IsDefault()));
    } else if (step == "downloaddata") {
      const DownloadRequest request = plugin.GetDownloadData();
      last_request = request;
      std::printf("GetDownloadData -> ok %s, count %d\n", yes_no(request.ok),
                  static_cast<int>(request.count));
      for (int f = 0; f < request.count && request.files; ++f)
        std::printf("  url \"%s\", name \"%s\", size %lu\n", request.files[f].url,
                    request.files[f].name, static_cast<unsigned long>(request.files[f].size));
      all_ok &= request.ok;
    } else if (step == "download") {
      // The host's part: fetch what the plug-in asked for into the download directory.
      const std::string directory = config.hozon_dir.value_or("");
      for (int f = 0; f < last_request.count && last_request.files; ++f) {
        const DownloadFile& file = last_request.files[f];
        const std::string target = directory + file.name;
        const host::DownloadResult result = host::download_file(file.url, target, &progress);
        std::printf(
            "download %s -> %s: %s\n", file.url, target.c_str(),
            result.ok ? (std::to_string(result.bytes) + " bytes").c_str() : result.error.c_str());
        if (result.ok) downloaded_urls.push_back(file.url);
        all_ok &= result.ok;
      }
      if (last_request.count == 0) std::printf("download: nothing requested\n");
    } else if (step == "install") {
      std::vector<InstallEntry> entries;
      for (const std::string& url : downloaded_urls) entries.push_back({url.c_str(), 1});
      const bool ok = plugin.Install(progress.hwnd(), 0, static_cast<int>(entries.size()),
                                     entries.empty() ? nullptr : entries.data());
      std::printf("Install -> %s\n", yes_no(ok));
      all_ok &= ok;
    } else if (step == "reboots") {
      std::printf("Reboots -> %s\n", yes_no(plugin.Reboots()));
    } else if (step == "set") {
      plugin.Set(progress.hwnd());
      std::printf("Set -> done\n");
    } else if (step == "sets") {
      std::printf("Sets -> %s\n", yes_no(plugin.Sets()));
    } else if (step == "unload") {
      plugin.unload();
      std::printf("unloaded\n");
      break;
    } else {
      std::fprintf(stderr, "unknown step %s\n", step.c_str());
      return 2;
    }
  }
  if (!progress.texts().empty())
    std::printf("--- progress window ---\n%s\n--- end ---\n", progress.text().c_str());
  for (const host::EnvCall& call : host::env_calls())
    std::printf("%s(%s, %s) -> %s\n", call.system ? "SETSYSTEMENV" : "SETUSERENV",
                call.name.c_str(), call.value.c_str(), yes_no(call.ok));
  return all_ok ? 0 : 1;
}
