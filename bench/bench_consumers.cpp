// bench_consumers: each consumer over the hostile set (tests/support/HostileSet),
// each drawing read in a fresh process as the consumer's host reads it: the
// content plugin through its exports (the sixteen value requests of a file
// list's row), the host tool (vexmeta --json FILE), and the consumers with a
// host program of their own (ConsumerHosts.h: the file managers' columns, GNOME
// Files' Drawing section, KDE's framework, the desktop search's extractor,
// Thunar's Drawing page). For each it reports the peak resident memory above
// the host's own (the plugin: above the process with the library loaded; the
// others: above the same program's run over a tiny drawing, each peak taken by
// GNU time), the highest of --repeat readings, and the time per drawing (the
// reading alone where the host program times it, else the program's whole
// run), the fastest of them, as the time a busy machine leaves varies; then,
// per consumer, the worst drawing of each.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "BenchSupport.h"
#include "ConsumerHosts.h"
#include "platform/Platform.h"
#include "support/HostileSet.h"

namespace fs = std::filesystem;
using namespace bench;
using testing_support::THostileItem;
using testing_support::THostileKind;

namespace {

const char cUsage[] =
    "usage: bench_consumers [options]\n"
    "\n"
    "Writes the hostile set to a scratch folder and reads each of its drawings, in\n"
    "a fresh process per reading, through each consumer as its host calls it; prints\n"
    "the peak memory above the host's own and the time per drawing.\n"
    "\n"
    "  --plugin PATH      the plugin library (default: the one built beside this program)\n"
    "  --host PATH        the host tool (default: the one built beside this program)\n"
    "  --consumers LIST   any of plugin,host,nautilus,nautilus-page,nemo,caja,kde,\n"
    "                     tracker,thunar (default: all that are built and whose\n"
    "                     host is installed); without a display, a run with\n"
    "                     thunar goes onto an xvfb-run display\n"
    "  --items LIST       only these items of the set, by file name (default: all)\n"
    "  --repeat N         readings per drawing and consumer (default 1); the highest\n"
    "                     peak and the fastest time are shown\n";

struct TReading {
  bool Ok = false;
  std::string Failure;
  std::int64_t AboveBytes = 0;  // peak above the host's own
  std::int64_t TimeNs = 0;
};

// Child: loads the plugin, asks one file's sixteen fields, reports its memory
// with the library loaded and after the requests, and their time.
int ChildPlugin(const fs::path& APluginPath, const fs::path& AFile) {
  auto answers = std::make_unique<TFileAnswers>();
  TPluginExports plugin;
  std::string error;
  if (!LoadPlugin(APluginPath, plugin, error)) {
    std::printf("error cannot load the plugin: %s\n", error.c_str());
    return 1;
  }
  const std::int64_t loaded = platform::PeakResidentBytes();
  const TRequestTimes times = RequestAllFields(plugin, PathText(AFile), *answers);
  const std::int64_t peak = platform::PeakResidentBytes();
  std::printf("time_ns %lld\nabove_bytes %lld\n",
              static_cast<long long>(times.FirstNs + times.RestNs),
              static_cast<long long>(peak - loaded));
  return 0;
}

std::int64_t Value(const std::string& AOutput, const std::string& AKey) {
  std::istringstream lines(AOutput);
  std::string line;
  while (std::getline(lines, line))
    if (line.rfind(AKey + " ", 0) == 0)
      return std::strtoll(line.c_str() + AKey.size() + 1, nullptr, 10);
  return -1;
}

TReading ReadWithPlugin(const fs::path& APlugin, const fs::path& AFile) {
  TReading reading;
  std::string output;
  std::string error;
  const int code =
      platform::RunProcess(PathText(SelfPath()),
                           {u"--child-plugin", PathText(APlugin), PathText(AFile)}, output, &error);
  reading.Ok = code == 0;
  reading.Failure = code < 0 ? error : "exit code " + std::to_string(code);
  reading.TimeNs = Value(output, "time_ns");
  reading.AboveBytes = Value(output, "above_bytes");
  return reading;
}

// Starts the host programs, each with one file. A child this process starts
// begins with this process's high-water mark as its own on Linux (the kernel
// keeps the old one across exec), so the child's true peak comes from GNU time
// between them, which forks the program from its own small process. timeout
// ends a program that gives no answer in a minute.
class THostRunner {
 public:
  explicit THostRunner(const fs::path& AScratch)
      : FTimeout(FindProgram("timeout")),
        FTime(FindProgram("time")),
        FPeakFile(AScratch / "peak") {}
  // Why the host programs' peaks cannot be trusted, or empty.
  std::string Caveat() const {
#ifdef _WIN32
    return "";  // the system tells no peak of a child here
#else
    return FTime.empty() ? "GNU time is not installed: each host program's peak includes this "
                           "program's own"
                         : "";
#endif
  }

  TReading Run(const TConsumerHost& AHost, const fs::path& AFile) const {
    // The whole command, the program first.
    std::vector<std::u16string> command;
    auto add = [&](const fs::path& AArgument) { command.push_back(PathText(AArgument)); };
    if (!FTimeout.empty()) {
      for (const fs::path& argument : {FTimeout, fs::path("-k"), fs::path("5"), fs::path("60")})
        add(argument);
    }
    if (!FTime.empty()) {
      for (const fs::path& argument :
           {FTime, fs::path("-q"), fs::path("-f"), fs::path("%M"), fs::path("-o"), FPeakFile})
        add(argument);
    }
    add(AHost.Program);
    for (const std::string& argument : AHost.Arguments) add(argument);
    add(AFile);
    const std::u16string program = command.front();
    command.erase(command.begin());

    TReading reading;
    std::string output;
    std::string error;
    std::int64_t peak = -1;
    std::error_code removed;
    fs::remove(FPeakFile, removed);  // no figure of the run before
    const std::int64_t start = NowNs();
    const int code = platform::RunProcess(program, command, output, &error, &peak);
    const std::int64_t wall = NowNs() - start;
    reading.TimeNs = AHost.ReportsTime ? Value(output, "time_ns") : wall;
    reading.Ok = code >= 0 && code <= AHost.MaxAnswerCode && reading.TimeNs >= 0;
    reading.Failure = code < 0      ? error
                      : code == 124 ? "no answer in a minute"
                      : code > 128  ? "ended by signal " + std::to_string(code - 128)
                                    : "exit code " + std::to_string(code);
    if (!FTime.empty()) {
      // GNU time writes the peak in KiB.
      std::string text;
      peak = ReadFile(FPeakFile, text) ? std::strtoll(text.c_str(), nullptr, 10) * 1024 : -1;
    }
    reading.AboveBytes = peak;
    return reading;
  }

 private:
  fs::path FTimeout;
  fs::path FTime;
  fs::path FPeakFile;
};

struct TRow {
  std::string Consumer;
  std::string Item;
  TReading Worst;
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "--child-plugin") return ChildPlugin(args[1], args[2]);

  fs::path plugin = BuiltPluginPath();
  fs::path hostTool = BuiltHostToolPath();
  TScratchDir scratch("bench_consumers");
  const std::vector<TConsumerHost> hosts = ConsumerHosts(scratch.Path());
  std::vector<std::string> known = {"plugin", "host"};
  for (const TConsumerHost& host : hosts) known.push_back(host.Name);
  std::vector<std::string> consumers;
  bool chosen = false;
  std::vector<std::string> only;
  int repeat = 1;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const bool more = i + 1 < args.size();
    if (args[i] == "--plugin" && more) {
      plugin = args[++i];
    } else if (args[i] == "--host" && more) {
      hostTool = args[++i];
    } else if (args[i] == "--consumers" && more) {
      chosen = true;
      consumers.clear();
      std::istringstream list(args[++i]);
      for (std::string name; std::getline(list, name, ',');) {
        if (std::find(known.begin(), known.end(), name) == known.end()) {
          std::fprintf(stderr, "bench_consumers: no consumer %s\n", name.c_str());
          return 2;
        }
        consumers.push_back(name);
      }
    } else if (args[i] == "--items" && more) {
      std::istringstream list(args[++i]);
      for (std::string name; std::getline(list, name, ',');) only.push_back(name);
    } else if (args[i] == "--repeat" && more) {
      repeat = std::atoi(args[++i].c_str());
    } else {
      std::fputs(cUsage, args[i] == "--help" ? stdout : stderr);
      return args[i] == "--help" ? 0 : 2;
    }
  }
  if (!chosen) consumers = known;
  if (consumers.empty() || repeat < 1) {
    std::fputs(cUsage, stderr);
    return 2;
  }
  // Every consumer but the plugin is read by a host program; those that
  // cannot run here are named, with the reason, and left out. Status 1 of the
  // host tool (a file it could not read) is an answer too.
  std::map<std::string, TConsumerHost> hostOf;
  hostOf["host"] = {"host", "", hostTool, {"--json"}, false, 1, false};
  for (const TConsumerHost& host : hosts) hostOf[host.Name] = host;
  std::vector<std::string> skipped;
  std::erase_if(consumers, [&](const std::string& AName) {
    const auto it = hostOf.find(AName);
    if (it == hostOf.end() || it->second.Skipped.empty()) return false;
    skipped.push_back(AName + " skipped: " + it->second.Skipped);
    return true;
  });
  if (consumers.empty()) {
    for (const std::string& line : skipped) std::printf("%s\n", line.c_str());
    std::printf("failed: no consumer to measure\n");
    return 1;
  }

  // A consumer that needs a display and finds none: the whole run again on
  // one of xvfb-run's.
  const bool needsDisplay = std::any_of(consumers.begin(), consumers.end(), [&](auto& AName) {
    return hostOf.count(AName) != 0 && hostOf.at(AName).NeedsDisplay;
  });
  if (needsDisplay && !platform::EnvironmentValue("DISPLAY")) {
    std::vector<std::u16string> command = {u"-a", PathText(SelfPath())};
    for (const std::string& argument : args) command.push_back(PathText(argument));
    std::string output;
    std::string error;
    const int code =
        platform::RunProcess(PathText(FindProgram("xvfb-run")), command, output, &error);
    std::fputs(output.c_str(), stdout);
    if (code < 0) std::printf("failed: %s\n", error.c_str());
    return code < 0 ? 1 : code;
  }

  std::string error;
  std::vector<THostileItem> items = testing_support::WriteHostileSet(scratch.Path() / "set", error);
  if (items.empty()) {
    std::fprintf(stderr, "bench_consumers: %s\n", error.c_str());
    return 1;
  }
  if (!only.empty()) {
    std::erase_if(items, [&](const THostileItem& AItem) {
      return std::find(only.begin(), only.end(), AItem.Name) == only.end();
    });
    if (items.size() != only.size()) {
      std::fprintf(stderr, "bench_consumers: --items names an item the set does not hold\n");
      return 2;
    }
  }
  const fs::path tiny = scratch.Path() / "tiny.svg";
  {
    std::string text = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1\" height=\"1\"/>";
    FILE* out = std::fopen(tiny.string().c_str(), "wb");
    if (out == nullptr) return 1;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
  }
  const testing_support::TChangingFile changing(scratch.Path() / "set");

  // Reads one file through a consumer as its host does.
  const THostRunner runner(scratch.Path());
  auto read = [&](const std::string& AConsumer, const fs::path& AFile) {
    if (AConsumer == "plugin") return ReadWithPlugin(plugin, AFile);
    return runner.Run(hostOf.at(AConsumer), AFile);
  };
  // Each host program's own: its run over a tiny drawing, the least of three.
  std::map<std::string, TReading> own;
  for (const std::string& consumer : consumers) {
    if (consumer == "plugin") continue;
    TReading least{true, "", INT64_MAX, INT64_MAX};
    for (int i = 0; i < 3 && least.Ok; ++i) {
      const TReading r = read(consumer, tiny);
      least.Ok = r.Ok;
      least.Failure = r.Failure;
      least.AboveBytes = std::min(least.AboveBytes, r.AboveBytes);
      least.TimeNs = std::min(least.TimeNs, r.TimeNs);
    }
    if (!least.Ok) {
      std::printf("failed: %s cannot read a tiny drawing: %s\n", consumer.c_str(),
                  least.Failure.c_str());
      return 1;
    }
    own[consumer] = least;
  }

  std::vector<TRow> rows;
  bool failed = false;
  for (const std::string& consumer : consumers) {
    for (const THostileItem& item : items) {
      TRow row{consumer, item.Name, {}};
      row.Worst.Ok = true;
      row.Worst.TimeNs = INT64_MAX;
      for (int r = 0; r < repeat; ++r) {
        const fs::path file = scratch.Path() / "set" / item.Name;
        TReading reading = read(consumer, file);
        if (consumer != "plugin")
          reading.AboveBytes =
              std::max<std::int64_t>(0, reading.AboveBytes - own[consumer].AboveBytes);
        if (!reading.Ok) {
          row.Worst = reading;
          failed = true;
          break;
        }
        row.Worst.AboveBytes = std::max(row.Worst.AboveBytes, reading.AboveBytes);
        row.Worst.TimeNs = std::min(row.Worst.TimeNs, reading.TimeNs);
      }
      rows.push_back(row);
    }
  }

  std::printf(
      "Hostile set, %zu items (a fresh process per reading; of %d: the highest peak, "
      "the fastest time)\n",
      items.size(), repeat);
  for (const std::string& line : skipped) std::printf("%s\n", line.c_str());
  if (!runner.Caveat().empty()) std::printf("%s\n", runner.Caveat().c_str());
  if (!own.empty()) {
    TTable hostsOwn({"host program's own (a tiny drawing)", "peak", "time"});
    for (const std::string& consumer : consumers) {
      if (own.count(consumer) == 0) continue;
      const TReading& reading = own[consumer];
      hostsOwn.Add({consumer, FormatBytes(static_cast<double>(reading.AboveBytes)),
                    FormatSeconds(static_cast<double>(reading.TimeNs))});
    }
    std::printf("%s\n", hostsOwn.Render().c_str());
  }
  TTable table({"consumer / drawing", "peak above host", "time"});
  for (const TRow& row : rows)
    table.Add(
        {row.Consumer + " " + row.Item,
         row.Worst.Ok ? FormatBytes(static_cast<double>(row.Worst.AboveBytes)) : "failed",
         row.Worst.Ok ? FormatSeconds(static_cast<double>(row.Worst.TimeNs)) : row.Worst.Failure});
  std::printf("%s\n", table.Render().c_str());

  TTable summary({"consumer", "most memory above host", "drawing", "longest time", "drawing"});
  for (const std::string& consumer : consumers) {
    const TRow* memory = nullptr;
    const TRow* time = nullptr;
    for (const TRow& row : rows) {
      if (row.Consumer != consumer || !row.Worst.Ok) continue;
      if (memory == nullptr || row.Worst.AboveBytes > memory->Worst.AboveBytes) memory = &row;
      if (time == nullptr || row.Worst.TimeNs > time->Worst.TimeNs) time = &row;
    }
    if (memory == nullptr) continue;
    summary.Add({consumer, FormatBytes(static_cast<double>(memory->Worst.AboveBytes)), memory->Item,
                 FormatSeconds(static_cast<double>(time->Worst.TimeNs)), time->Item});
  }
  std::printf("%s", summary.Render().c_str());
  if (failed) std::printf("some readings failed\n");
  return failed ? 1 : 0;
}
