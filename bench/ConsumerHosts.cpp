// How bench_consumers starts each consumer that runs in a host program of its
// own (see ConsumerHosts.h).
#include "ConsumerHosts.h"

#include <system_error>

#include "platform/HostPlatform.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;

namespace bench {

namespace {

// A child program of the build that reads one file, or why there is none.
TConsumerHost BuiltChild(const std::string& AName, const char* AProgram,
                         std::vector<std::string> AArguments, const std::string& AWhat) {
  TConsumerHost host{AName, "", AProgram, std::move(AArguments), true, 0, false};
  if (host.Program.empty()) host.Skipped = AWhat + " is not built";
  return host;
}

#ifdef VX_BENCH_TRACKER_MODULE
// The extractor's folders: the system's rules and modules, with the build's
// rule and module in place of an installed copy of the same name, as the
// desktop search's tests make them.
bool MakeExtractorFolders(const fs::path& AWork, const fs::path& AModule, const fs::path& ARule,
                          const fs::path& ASystemModules, const fs::path& ASystemRules,
                          std::string& AError) {
  std::error_code error;
  const fs::path rules = AWork / "rules";
  const fs::path modules = AWork / "modules";
  fs::create_directories(rules, error);
  if (!error) fs::create_directories(modules, error);
  const struct {
    fs::path System, Folder, Ours;
  } cSets[] = {{ASystemRules, rules, ARule}, {ASystemModules, modules, AModule}};
  for (const auto& set : cSets) {
    std::vector<fs::path> links = {set.Ours};
    for (const fs::directory_entry& entry : fs::directory_iterator(set.System, error))
      if (entry.path().filename() != set.Ours.filename()) links.push_back(entry.path());
    for (const fs::path& link : links) {
      if (!error) fs::create_symlink(link, set.Folder / link.filename(), error);
    }
    if (error) {
      AError = "cannot prepare its folders: " + error.message();
      return false;
    }
  }
  platform::SetEnvironmentValue("TRACKER_EXTRACTOR_RULES_DIR", rules.string());
  platform::SetEnvironmentValue("TRACKER_EXTRACTORS_DIR", modules.string());
  // No settings daemon is written to, no file-system daemon started.
  platform::SetEnvironmentValue("GSETTINGS_BACKEND", std::string("memory"));
  platform::SetEnvironmentValue("GIO_USE_VFS", std::string("local"));
  return true;
}
#endif

#ifndef VX_BENCH_FILES_NAUTILUS
#define VX_BENCH_FILES_NAUTILUS ""
#endif
#ifndef VX_BENCH_FILES_NEMO
#define VX_BENCH_FILES_NEMO ""
#endif
#ifndef VX_BENCH_FILES_CAJA
#define VX_BENCH_FILES_CAJA ""
#endif
#ifndef VX_BENCH_KDE
#define VX_BENCH_KDE ""
#endif
#ifndef VX_BENCH_THUNAR
#define VX_BENCH_THUNAR ""
#endif

// tracker3 extract, in a D-Bus session of its own for each reading.
TConsumerHost Tracker(const fs::path& AScratch) {
  TConsumerHost host{"tracker", "", {}, {}, false, 0, false};
#ifdef VX_BENCH_TRACKER_MODULE
  const fs::path tracker = FindProgram("tracker3");
  const fs::path session = FindProgram("dbus-run-session");
  std::error_code error;
  if (tracker.empty() || session.empty()) {
    host.Skipped =
        std::string(tracker.empty() ? "tracker3" : "dbus-run-session") + " is not installed";
  } else if (!fs::is_directory(VX_BENCH_TRACKER_SYSTEM_MODULES, error) ||
             !fs::is_directory(VX_BENCH_TRACKER_SYSTEM_RULES, error)) {
    host.Skipped = "the extractor (tracker-extract) is not installed";
  } else if (MakeExtractorFolders(AScratch / "tracker", VX_BENCH_TRACKER_MODULE,
                                  VX_BENCH_TRACKER_RULE, VX_BENCH_TRACKER_SYSTEM_MODULES,
                                  VX_BENCH_TRACKER_SYSTEM_RULES, host.Skipped)) {
    host.Program = session;
    host.Arguments = {"--", tracker.string(), "extract", "-o", "json-ld"};
  }
#else
  (void)AScratch;
  host.Skipped = "the desktop search module is not built";
#endif
  return host;
}

}  // namespace

std::vector<TConsumerHost> ConsumerHosts(const fs::path& AScratch) {
  std::vector<TConsumerHost> hosts;
  hosts.push_back(
      BuiltChild("nautilus", VX_BENCH_FILES_NAUTILUS, {"--one"}, "the GNOME Files extension"));
  hosts.push_back(BuiltChild("nautilus-page", VX_BENCH_FILES_NAUTILUS, {"--section"},
                             "the GNOME Files extension"));
  hosts.push_back(BuiltChild("nemo", VX_BENCH_FILES_NEMO, {"--one"}, "the Nemo extension"));
  hosts.push_back(BuiltChild("caja", VX_BENCH_FILES_CAJA, {"--one"}, "the Caja extension"));
  hosts.push_back(BuiltChild("kde", VX_BENCH_KDE, {}, "the KDE extractor"));
  hosts.push_back(Tracker(AScratch));
  TConsumerHost thunar = BuiltChild("thunar", VX_BENCH_THUNAR, {}, "the Thunar module");
  thunar.NeedsDisplay = true;
  if (thunar.Skipped.empty() && !platform::EnvironmentValue("DISPLAY") &&
      FindProgram("xvfb-run").empty())
    thunar.Skipped = "there is no display, and xvfb-run (Debian: xvfb) is not installed";
  hosts.push_back(thunar);
  return hosts;
}

fs::path FindProgram(const std::string& AName) {
#ifdef _WIN32
  (void)AName;
  return {};  // the host programs found so are Linux ones
#else
  const std::optional<std::string> path = platform::EnvironmentValue("PATH");
  if (!path) return {};
  std::size_t start = 0;
  while (start <= path->size()) {
    std::size_t end = path->find(':', start);
    if (end == std::string::npos) end = path->size();
    const fs::path candidate = fs::path(path->substr(start, end - start)) / AName;
    std::error_code error;
    if (end > start && fs::is_regular_file(candidate, error)) return candidate;
    start = end + 1;
  }
  return {};
#endif
}

}  // namespace bench
