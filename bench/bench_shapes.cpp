// bench_shapes: the plugin against hostile but valid drawings near its 256 MiB
// input ceiling (the shapes of tests/support/ShapeWriter), side by side with
// pugixml reading and parsing the same inflated bytes. Every measurement runs in
// a fresh process (this program again, with a hidden option) that reports its
// time and its peak resident memory above what it held before, so each figure
// belongs to one shape and one side alone; the sides take turns going first.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "support/ShapeWriter.h"

namespace fs = std::filesystem;
using namespace bench;
using testing_support::DrawingShape;

namespace {

const char kUsage[] =
    "usage: bench_shapes [options]\n"
    "\n"
    "Writes each drawing shape to a scratch folder and measures, in a fresh process\n"
    "per measurement, the plugin's sixteen value requests for it (time, and peak\n"
    "memory above the host's own) and pugixml reading and parsing the same bytes.\n"
    "\n"
    "  --plugin PATH   the plugin library (default: the one built beside this program)\n"
    "  --size-mib N    inflated size of each drawing in MiB (default 250, just under\n"
    "                  the 256 MiB ceiling; the plain shape 8 is 256/250 of it)\n"
    "  --shapes LIST   shape numbers, comma-separated (default: all nine)\n"
    "  --repeat N      measurements per shape and side (default 3): the fastest time\n"
    "                  and the highest peak are shown\n"
    "  --dir DIR       write the drawings there (default: a scratch folder)\n"
    "  --keep          keep the drawings\n"
    "  --no-pugixml    measure the plugin only\n";

// What a child reports: "key value" lines, and "field N text" lines.
struct ChildReport {
  bool Ok = false;
  std::string Failure;
  std::map<std::string, std::string> Values;
  std::vector<std::string> Fields;

  std::int64_t Int(const std::string& key) const {
    auto it = Values.find(key);
    return it == Values.end() ? -1 : std::strtoll(it->second.c_str(), nullptr, 10);
  }
};

ChildReport RunChild(const std::vector<std::u16string>& arguments) {
  ChildReport report;
  std::string output;
  std::string error;
  const int code = platform::RunProcess(PathText(SelfPath()), arguments, output, &error);
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
    if (key == "field")
      report.Fields.push_back(value);
    else
      report.Values[key] = value;
  }
  if (code == 0) {
    report.Ok = true;
  } else if (code < 0) {
    report.Failure = error;
  } else {
    auto it = report.Values.find("error");
    report.Failure = it != report.Values.end() ? it->second : "exit code " + std::to_string(code);
  }
  return report;
}

// Child: loads the plugin, asks one file's sixteen fields, reports.
int ChildPlugin(const fs::path& pluginPath, const fs::path& file) {
  auto answers = std::make_unique<FileAnswers>();
  const std::u16string path = PathText(file);
  const std::int64_t base = platform::PeakResidentBytes();
  PluginExports plugin;
  std::string error;
  if (!LoadPlugin(pluginPath, plugin, error)) {
    std::printf("error cannot load the plugin: %s\n", error.c_str());
    return 1;
  }
  const std::int64_t loaded = platform::PeakResidentBytes();
  const RequestTimes times = RequestAllFields(plugin, path, *answers);
  const std::int64_t peak = platform::PeakResidentBytes();
  std::printf("time_ns %lld\nfirst_ns %lld\nbase_bytes %lld\nloaded_bytes %lld\npeak_bytes %lld\n",
              static_cast<long long>(times.FirstNs + times.RestNs),
              static_cast<long long>(times.FirstNs), static_cast<long long>(base),
              static_cast<long long>(loaded), static_cast<long long>(peak));
  for (std::size_t i = 0; i < answers->size(); ++i)
    std::printf("field %zu %s\n", i, AnswerText((*answers)[i]).c_str());
  return 0;
}

// Child: reads (inflating) and parses with pugixml, reports.
int ChildPugixml(const fs::path& file) {
  const std::int64_t base = platform::PeakResidentBytes();
  std::string bytes;
  std::string error;
  pugi::xml_document doc;
  const std::int64_t start = NowNs();
  if (!ReadDrawing(file, kInputCeiling, bytes, error)) {
    std::printf("error %s\n", error.c_str());
    return 1;
  }
  const std::int64_t read = NowNs();
  std::string status;
  ParseWithPugixml(bytes, doc, status);
  const std::int64_t parsed = NowNs();
  const std::int64_t peak = platform::PeakResidentBytes();
  std::printf("time_ns %lld\nparse_ns %lld\nbase_bytes %lld\npeak_bytes %lld\nstatus %s\n",
              static_cast<long long>(parsed - start), static_cast<long long>(parsed - read),
              static_cast<long long>(base), static_cast<long long>(peak), status.c_str());
  return 0;
}

std::int64_t Min(const std::vector<std::int64_t>& v) {
  return v.empty() ? -1 : *std::min_element(v.begin(), v.end());
}
std::int64_t Max(const std::vector<std::int64_t>& v) {
  return v.empty() ? -1 : *std::max_element(v.begin(), v.end());
}
std::int64_t Median(std::vector<std::int64_t> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}
std::string MinAndMedian(const std::vector<std::int64_t>& v) {
  return FormatSeconds(static_cast<double>(Min(v))) + " / " +
         FormatSeconds(static_cast<double>(Median(v)));
}

struct ShapeRun {
  const DrawingShape* Shape = nullptr;
  std::uint64_t DiskBytes = 0;
  std::uint64_t InflatedBytes = 0;
  std::uint64_t Count = 0;
  std::vector<std::int64_t> PluginNs, FirstNs, PluginPeak, LoadPeak;
  std::vector<std::int64_t> PugixmlNs, ParseNs, PugixmlPeak;
  std::string PluginFailure, PugixmlFailure, PugixmlStatus;
  std::vector<std::string> Fields;
  bool FieldsChanged = false;  // the answers differed between runs
};

struct Options {
  fs::path Plugin = BuiltPluginPath();
  double SizeMiB = 250;
  std::vector<int> Shapes;
  int Repeat = 3;
  fs::path Dir;
  bool Keep = false;
  bool WithPugixml = true;
};

bool ParseShapeList(const std::string& text, std::vector<int>& shapes) {
  shapes.clear();
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    const int number = std::atoi(item.c_str());
    if (testing_support::FindDrawingShape(number) == nullptr) return false;
    shapes.push_back(number);
  }
  return !shapes.empty();
}

// 0 to go on, else the exit code.
int ParseOptions(const std::vector<std::string>& args, Options& options) {
  for (const DrawingShape& shape : testing_support::DrawingShapes())
    options.Shapes.push_back(shape.Number);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return -1;
    } else if (arg == "--plugin" && hasValue) {
      options.Plugin = args[++i];
    } else if (arg == "--size-mib" && hasValue) {
      options.SizeMiB = std::atof(args[++i].c_str());
    } else if (arg == "--shapes" && hasValue) {
      if (!ParseShapeList(args[++i], options.Shapes)) options.Shapes.clear();
    } else if (arg == "--repeat" && hasValue) {
      options.Repeat = std::atoi(args[++i].c_str());
    } else if (arg == "--dir" && hasValue) {
      options.Dir = args[++i];
    } else if (arg == "--keep") {
      options.Keep = true;
    } else if (arg == "--no-pugixml") {
      options.WithPugixml = false;
    } else {
      std::fprintf(stderr, "bench_shapes: unknown option or missing value: %s\n\n%s", arg.c_str(),
                   kUsage);
      return 2;
    }
  }
  if (options.Shapes.empty() || options.Repeat < 1 || !(options.SizeMiB > 0) ||
      options.SizeMiB > 4096) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  options.Plugin = fs::absolute(options.Plugin);
  return 0;
}

// Writes one shape, reads it once so the file cache holds it, then measures.
bool MeasureShape(const Options& options, const fs::path& dir, ShapeRun& run) {
  const DrawingShape& shape = *run.Shape;
  const fs::path file = dir / testing_support::ShapeFileName(shape);
  testing_support::ShapeOutput made;
  std::string error;
  const std::int64_t start = NowNs();
  if (!testing_support::WriteShapeFile(
          shape, testing_support::ShapeTargetBytes(shape, options.SizeMiB), file, made, error)) {
    std::fprintf(stderr, "bench_shapes: %s\n", error.c_str());
    return false;
  }
  run.DiskBytes = fs::file_size(file);
  run.InflatedBytes = made.InflatedBytes;
  run.Count = made.Count;
  std::fprintf(stderr, "shape %d (%s): %s inflated, %s on disk, written in %s\n", shape.Number,
               shape.Name, FormatBytes(static_cast<double>(run.InflatedBytes)).c_str(),
               FormatBytes(static_cast<double>(run.DiskBytes)).c_str(),
               FormatSeconds(static_cast<double>(NowNs() - start)).c_str());
  WarmFile(file);

  const std::u16string pluginArgument = PathText(options.Plugin);
  const std::u16string fileArgument = PathText(fs::absolute(file));
  for (int r = 0; r < options.Repeat; ++r) {
    // Which side goes first alternates, so neither always follows the other.
    for (int side = 0; side < 2; ++side) {
      const bool pluginTurn = (side == 0) == (r % 2 == 0);
      if (pluginTurn) {
        const ChildReport child = RunChild({u"--child-plugin", pluginArgument, fileArgument});
        if (!child.Ok) {
          run.PluginFailure = child.Failure;
          continue;
        }
        run.PluginNs.push_back(child.Int("time_ns"));
        run.FirstNs.push_back(child.Int("first_ns"));
        run.PluginPeak.push_back(child.Int("peak_bytes") - child.Int("base_bytes"));
        run.LoadPeak.push_back(child.Int("loaded_bytes") - child.Int("base_bytes"));
        if (!run.Fields.empty() && run.Fields != child.Fields) run.FieldsChanged = true;
        run.Fields = child.Fields;
        std::fprintf(stderr, "  plugin  %s, peak %s\n",
                     FormatSeconds(static_cast<double>(run.PluginNs.back())).c_str(),
                     FormatBytes(static_cast<double>(run.PluginPeak.back())).c_str());
      } else if (options.WithPugixml) {
        const ChildReport child = RunChild({u"--child-pugixml", fileArgument});
        if (!child.Ok) {
          run.PugixmlFailure = child.Failure;
          continue;
        }
        run.PugixmlNs.push_back(child.Int("time_ns"));
        run.ParseNs.push_back(child.Int("parse_ns"));
        run.PugixmlPeak.push_back(child.Int("peak_bytes") - child.Int("base_bytes"));
        run.PugixmlStatus = child.Values.count("status") ? child.Values.at("status") : "";
        std::fprintf(stderr, "  pugixml %s, peak %s (%s)\n",
                     FormatSeconds(static_cast<double>(run.PugixmlNs.back())).c_str(),
                     FormatBytes(static_cast<double>(run.PugixmlPeak.back())).c_str(),
                     run.PugixmlStatus.c_str());
      }
    }
  }
  if (!options.Keep) {
    std::error_code ignored;
    fs::remove(file, ignored);
  }
  return true;
}

double Ratio(std::int64_t a, std::int64_t b) {
  return a >= 0 && b > 0 ? static_cast<double>(a) / static_cast<double>(b) : -1;
}

void PrintTables(const Options& options, const std::vector<ShapeRun>& runs) {
  std::printf("plugin   %s\n", options.Plugin.string().c_str());
  std::printf("pugixml  %s\n", PugixmlDescription().c_str());
  std::printf("size     %g MiB per drawing (shape 8: %g MiB); %d run(s) per shape and side\n",
              options.SizeMiB, options.SizeMiB * 256.0 / 250.0, options.Repeat);
  std::printf(
      "time     the fastest run: the plugin's sixteen requests; pugixml reading,\n"
      "         inflating and parsing\n");
  std::printf(
      "memory   the highest run: peak resident memory above the process's own before\n"
      "         loading the plugin or reading the file; allowed = 64 MiB + 2 x inflated\n\n");

  Table table({"shape", "count", "on disk", "inflated", "plugin peak", "plugin time",
               "pugixml peak", "pugixml time", "peak ratio", "time ratio", "allowed",
               "peak/allowed"});
  for (const ShapeRun& run : runs) {
    const DrawingShape& shape = *run.Shape;
    const double allowed = 64.0 * kMiB + 2.0 * static_cast<double>(run.InflatedBytes);
    const std::int64_t pluginNs = Min(run.PluginNs);
    const std::int64_t pugixmlNs = Min(run.PugixmlNs);
    const std::int64_t pluginPeak = Max(run.PluginPeak);
    const std::int64_t pugixmlPeak = Max(run.PugixmlPeak);
    const std::string none = options.WithPugixml ? "failed" : "-";
    table.Add(
        {std::to_string(shape.Number) + " " + shape.Name + (shape.Gzip ? " (svgz)" : " (svg)"),
         FormatCount(run.Count), FormatBytes(static_cast<double>(run.DiskBytes)),
         FormatBytes(static_cast<double>(run.InflatedBytes)),
         run.PluginPeak.empty() ? "failed" : FormatBytes(static_cast<double>(pluginPeak)),
         run.PluginNs.empty() ? "failed" : FormatSeconds(static_cast<double>(pluginNs)),
         run.PugixmlPeak.empty() ? none : FormatBytes(static_cast<double>(pugixmlPeak)),
         run.PugixmlNs.empty() ? none : FormatSeconds(static_cast<double>(pugixmlNs)),
         FormatRatio(Ratio(pluginPeak, pugixmlPeak)), FormatRatio(Ratio(pluginNs, pugixmlNs)),
         FormatBytes(allowed),
         run.PluginPeak.empty() ? "-" : FormatFixed(static_cast<double>(pluginPeak) / allowed, 2)});
  }
  std::fputs(table.Render().c_str(), stdout);

  std::printf("\ndetails (fastest / median of the runs)\n");
  Table details({"shape", "plugin first request", "plugin 16 requests", "plugin at load",
                 "pugixml read+parse", "pugixml parse alone", "pugixml result"});
  for (const ShapeRun& run : runs) {
    details.Add({std::to_string(run.Shape->Number), MinAndMedian(run.FirstNs),
                 MinAndMedian(run.PluginNs),
                 run.LoadPeak.empty() ? "-" : FormatBytes(static_cast<double>(Max(run.LoadPeak))),
                 MinAndMedian(run.PugixmlNs), MinAndMedian(run.ParseNs),
                 !run.PugixmlFailure.empty() ? "failed: " + run.PugixmlFailure
                 : run.PugixmlStatus.empty() ? "-"
                                             : run.PugixmlStatus});
  }
  std::fputs(details.Render().c_str(), stdout);

  std::printf("\nfields the plugin returned (field = value; - is empty)\n");
  for (const ShapeRun& run : runs) {
    std::printf("shape %d:", run.Shape->Number);
    if (!run.PluginFailure.empty()) std::printf(" [a run failed: %s]", run.PluginFailure.c_str());
    if (run.FieldsChanged) std::printf(" [the answers differed between runs]");
    for (const std::string& field : run.Fields) {
      const std::size_t space = field.find(' ');
      std::printf(" %s=%s", field.substr(0, space).c_str(), field.substr(space + 1).c_str());
    }
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "--child-plugin") return ChildPlugin(args[1], args[2]);
  if (args.size() == 2 && args[0] == "--child-pugixml") return ChildPugixml(args[1]);

  Options options;
  if (const int code = ParseOptions(args, options); code != 0) return code < 0 ? 0 : code;
  {
    PluginExports probe;
    std::string error;
    if (!LoadPlugin(options.Plugin, probe, error)) {
      std::fprintf(stderr, "bench_shapes: cannot load %s: %s\n", options.Plugin.string().c_str(),
                   error.c_str());
      return 1;
    }
  }
  std::optional<ScratchDir> scratch;
  fs::path dir = options.Dir;
  if (dir.empty()) {
    scratch.emplace("bench_shapes");
    if (options.Keep) scratch->Keep();
    dir = scratch->Path();
  }
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) {
    std::fprintf(stderr, "bench_shapes: cannot create %s: %s\n", dir.string().c_str(),
                 ec.message().c_str());
    return 1;
  }

  std::vector<ShapeRun> runs;
  for (int number : options.Shapes) {
    ShapeRun run;
    run.Shape = testing_support::FindDrawingShape(number);
    if (!MeasureShape(options, dir, run)) return 1;
    runs.push_back(std::move(run));
  }
  PrintTables(options, runs);
  return 0;
}
