// A host that loads the plugin and returns from main without unloading it, as
// scripting hosts and hosts that simply exit do: the process must end with
// status 0 however many requests it made, and also while another of its
// threads is still asking for values. ctest runs it once per mode.
//
// usage: host_exit_probe LIBRARY DRAWING none|one|all|busy
#include <atomic>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>

#include "host/LoadedPlugin.h"
#include "platform/HostPlatform.h"
#include "plugin/contplug.h"

namespace {

std::atomic<bool> gRequests{false};

void Ask(TContentGetValueW AGetValue, const std::u16string& AFile, int AFirst, int ACount) {
  char buffer[1024];
  for (int field = AFirst; field < AFirst + ACount; ++field)
    AGetValue(AFile.c_str(), field % 16, 0, buffer, sizeof buffer, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: host_exit_probe LIBRARY DRAWING none|one|all|busy\n");
    return 2;
  }
  std::string error;
  TLoadedPlugin plugin;
  if (!plugin.Load(platform::Utf8ToUtf16(argv[1]), &error)) {
    std::fprintf(stderr, "host_exit_probe: %s\n", error.c_str());
    return 2;
  }
  const TContentGetValueW getValue = plugin.GetValueW;
  plugin.Library->KeepLoaded();

  const std::u16string file = platform::Utf8ToUtf16(argv[2]);
  const std::string_view mode = argv[3];
  if (mode == "one") Ask(getValue, file, 0, 1);
  if (mode == "all") Ask(getValue, file, 0, 16);
  if (mode == "busy") {
    // A thread that asks on and on; main returns while it does.
    std::thread([getValue, file] {
      for (int round = 0;; ++round) {
        Ask(getValue, file, round, 16);
        gRequests = true;
      }
    }).detach();
    while (!gRequests) std::this_thread::yield();
  }
  return 0;
}
