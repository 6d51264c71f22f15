// bench_consumers: each consumer over the hostile set (tests/support/HostileSet),
// each drawing read in a fresh process as the consumer's host reads it: the
// content plugin through its exports (the sixteen value requests of a file
// list's row) and the host tool (vexmeta --json FILE). For each it reports the
// peak resident memory above the host's own (the plugin: above the process
// with the library loaded; the host tool: above its run over a tiny drawing),
// the highest of --repeat readings, and the time per drawing (the host tool:
// its whole run), the fastest of them, as the time a busy machine leaves
// varies; then, per consumer, the worst drawing of each.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
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
    "  --consumers LIST   plugin,host (default: both)\n"
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

// The host tool's run over one file: its whole time and its peak.
TReading RunHostTool(const fs::path& ATool, const fs::path& AFile) {
  TReading reading;
  std::string output;
  std::string error;
  std::int64_t peak = -1;
  const std::int64_t start = NowNs();
  // Status 1 (a file it could not read) is an answer too.
  const int code =
      platform::RunProcess(PathText(ATool), {u"--json", PathText(AFile)}, output, &error, &peak);
  reading.TimeNs = NowNs() - start;
  reading.Ok = code == 0 || code == 1;
  reading.Failure = code < 0 ? error : "exit code " + std::to_string(code);
  reading.AboveBytes = peak;
  return reading;
}

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
  std::vector<std::string> consumers = {"plugin", "host"};
  int repeat = 1;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const bool more = i + 1 < args.size();
    if (args[i] == "--plugin" && more) {
      plugin = args[++i];
    } else if (args[i] == "--host" && more) {
      hostTool = args[++i];
    } else if (args[i] == "--consumers" && more) {
      consumers.clear();
      std::istringstream list(args[++i]);
      for (std::string name; std::getline(list, name, ',');)
        if (name == "plugin" || name == "host") consumers.push_back(name);
    } else if (args[i] == "--repeat" && more) {
      repeat = std::atoi(args[++i].c_str());
    } else {
      std::fputs(cUsage, args[i] == "--help" ? stdout : stderr);
      return args[i] == "--help" ? 0 : 2;
    }
  }
  if (consumers.empty() || repeat < 1) {
    std::fputs(cUsage, stderr);
    return 2;
  }

  TScratchDir scratch("bench_consumers");
  std::string error;
  const std::vector<THostileItem> items =
      testing_support::WriteHostileSet(scratch.Path() / "set", error);
  if (items.empty()) {
    std::fprintf(stderr, "bench_consumers: %s\n", error.c_str());
    return 1;
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

  // The host tool's own: its run over a tiny drawing, the least of three.
  TReading own{true, "", INT64_MAX, INT64_MAX};
  for (int i = 0; i < 3; ++i) {
    const TReading r = RunHostTool(hostTool, tiny);
    own.AboveBytes = std::min(own.AboveBytes, r.AboveBytes);
    own.TimeNs = std::min(own.TimeNs, r.TimeNs);
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
        TReading reading =
            consumer == "plugin" ? ReadWithPlugin(plugin, file) : RunHostTool(hostTool, file);
        if (consumer == "host")
          reading.AboveBytes = std::max<std::int64_t>(0, reading.AboveBytes - own.AboveBytes);
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
  std::printf("host tool's own: %s peak, %s per run\n\n",
              FormatBytes(static_cast<double>(own.AboveBytes)).c_str(),
              FormatSeconds(static_cast<double>(own.TimeNs)).c_str());
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
