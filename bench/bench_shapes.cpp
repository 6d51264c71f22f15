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
using testing_support::TDrawingShape;

namespace {

const char cUsage[] =
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
struct TChildReport {
  bool Ok = false;
  std::string Failure;
  std::map<std::string, std::string> Values;
  std::vector<std::string> Fields;

  std::int64_t Int(const std::string& AKey) const {
    auto it = Values.find(AKey);
    return it == Values.end() ? -1 : std::strtoll(it->second.c_str(), nullptr, 10);
  }
};

TChildReport RunChild(const std::vector<std::u16string>& AArguments) {
  TChildReport report;
  std::string output;
  std::string error;
  const int code = platform::RunProcess(PathText(SelfPath()), AArguments, output, &error);
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
int ChildPlugin(const fs::path& APluginPath, const fs::path& AFile) {
  auto answers = std::make_unique<TFileAnswers>();
  const std::u16string path = PathText(AFile);
  const std::int64_t base = platform::PeakResidentBytes();
  TPluginExports plugin;
  std::string error;
  if (!LoadPlugin(APluginPath, plugin, error)) {
    std::printf("error cannot load the plugin: %s\n", error.c_str());
    return 1;
  }
  const std::int64_t loaded = platform::PeakResidentBytes();
  const TRequestTimes times = RequestAllFields(plugin, path, *answers);
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
int ChildPugixml(const fs::path& AFile) {
  const std::int64_t base = platform::PeakResidentBytes();
  std::string bytes;
  std::string error;
  pugi::xml_document doc;
  const std::int64_t start = NowNs();
  if (!ReadDrawing(AFile, cInputCeiling, bytes, error)) {
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

std::int64_t Min(const std::vector<std::int64_t>& AV) {
  return AV.empty() ? -1 : *std::min_element(AV.begin(), AV.end());
}
std::int64_t Max(const std::vector<std::int64_t>& AV) {
  return AV.empty() ? -1 : *std::max_element(AV.begin(), AV.end());
}
std::int64_t Median(std::vector<std::int64_t> AV) {
  if (AV.empty()) return -1;
  std::sort(AV.begin(), AV.end());
  return AV[AV.size() / 2];
}
std::string MinAndMedian(const std::vector<std::int64_t>& AV) {
  return FormatSeconds(static_cast<double>(Min(AV))) + " / " +
         FormatSeconds(static_cast<double>(Median(AV)));
}

struct TShapeRun {
  const TDrawingShape* Shape = nullptr;
  std::uint64_t DiskBytes = 0;
  std::uint64_t InflatedBytes = 0;
  std::uint64_t Count = 0;
  std::vector<std::int64_t> PluginNs, FirstNs, PluginPeak, LoadPeak;
  std::vector<std::int64_t> PugixmlNs, ParseNs, PugixmlPeak;
  std::string PluginFailure, PugixmlFailure, PugixmlStatus;
  std::vector<std::string> Fields;
  bool FieldsChanged = false;  // the answers differed between runs
};

struct TOptions {
  fs::path Plugin = BuiltPluginPath();
  double SizeMiB = 250;
  std::vector<int> Shapes;
  int Repeat = 3;
  fs::path Dir;
  bool Keep = false;
  bool WithPugixml = true;
};

bool ParseShapeList(const std::string& AText, std::vector<int>& AShapes) {
  AShapes.clear();
  std::stringstream in(AText);
  std::string item;
  while (std::getline(in, item, ',')) {
    const int number = std::atoi(item.c_str());
    if (testing_support::FindDrawingShape(number) == nullptr) return false;
    AShapes.push_back(number);
  }
  return !AShapes.empty();
}

// 0 to go on, else the exit code.
int ParseOptions(const std::vector<std::string>& AArgs, TOptions& AOptions) {
  for (const TDrawingShape& shape : testing_support::DrawingShapes())
    AOptions.Shapes.push_back(shape.Number);
  for (std::size_t i = 0; i < AArgs.size(); ++i) {
    const std::string& arg = AArgs[i];
    const bool hasValue = i + 1 < AArgs.size();
    if (arg == "--help" || arg == "-h") {
      std::fputs(cUsage, stdout);
      return -1;
    } else if (arg == "--plugin" && hasValue) {
      AOptions.Plugin = AArgs[++i];
    } else if (arg == "--size-mib" && hasValue) {
      AOptions.SizeMiB = std::atof(AArgs[++i].c_str());
    } else if (arg == "--shapes" && hasValue) {
      if (!ParseShapeList(AArgs[++i], AOptions.Shapes)) AOptions.Shapes.clear();
    } else if (arg == "--repeat" && hasValue) {
      AOptions.Repeat = std::atoi(AArgs[++i].c_str());
    } else if (arg == "--dir" && hasValue) {
      AOptions.Dir = AArgs[++i];
    } else if (arg == "--keep") {
      AOptions.Keep = true;
    } else if (arg == "--no-pugixml") {
      AOptions.WithPugixml = false;
    } else {
      std::fprintf(stderr, "bench_shapes: unknown option or missing value: %s\n\n%s", arg.c_str(),
                   cUsage);
      return 2;
    }
  }
  if (AOptions.Shapes.empty() || AOptions.Repeat < 1 || !(AOptions.SizeMiB > 0) ||
      AOptions.SizeMiB > 4096) {
    std::fputs(cUsage, stderr);
    return 2;
  }
  AOptions.Plugin = fs::absolute(AOptions.Plugin);
  return 0;
}

// Writes one shape, reads it once so the file cache holds it, then measures.
bool MeasureShape(const TOptions& AOptions, const fs::path& ADir, TShapeRun& ARun) {
  const TDrawingShape& shape = *ARun.Shape;
  const fs::path file = ADir / testing_support::ShapeFileName(shape);
  testing_support::TShapeOutput made;
  std::string error;
  const std::int64_t start = NowNs();
  if (!testing_support::WriteShapeFile(
          shape, testing_support::ShapeTargetBytes(shape, AOptions.SizeMiB), file, made, error)) {
    std::fprintf(stderr, "bench_shapes: %s\n", error.c_str());
    return false;
  }
  ARun.DiskBytes = fs::file_size(file);
  ARun.InflatedBytes = made.InflatedBytes;
  ARun.Count = made.Count;
  std::fprintf(stderr, "shape %d (%s): %s inflated, %s on disk, written in %s\n", shape.Number,
               shape.Name, FormatBytes(static_cast<double>(ARun.InflatedBytes)).c_str(),
               FormatBytes(static_cast<double>(ARun.DiskBytes)).c_str(),
               FormatSeconds(static_cast<double>(NowNs() - start)).c_str());
  WarmFile(file);

  const std::u16string pluginArgument = PathText(AOptions.Plugin);
  const std::u16string fileArgument = PathText(fs::absolute(file));
  for (int r = 0; r < AOptions.Repeat; ++r) {
    // Which side goes first alternates, so neither always follows the other.
    for (int side = 0; side < 2; ++side) {
      const bool pluginTurn = (side == 0) == (r % 2 == 0);
      if (pluginTurn) {
        const TChildReport child = RunChild({u"--child-plugin", pluginArgument, fileArgument});
        if (!child.Ok) {
          ARun.PluginFailure = child.Failure;
          continue;
        }
        ARun.PluginNs.push_back(child.Int("time_ns"));
        ARun.FirstNs.push_back(child.Int("first_ns"));
        ARun.PluginPeak.push_back(child.Int("peak_bytes") - child.Int("base_bytes"));
        ARun.LoadPeak.push_back(child.Int("loaded_bytes") - child.Int("base_bytes"));
        if (!ARun.Fields.empty() && ARun.Fields != child.Fields) ARun.FieldsChanged = true;
        ARun.Fields = child.Fields;
        std::fprintf(stderr, "  plugin  %s, peak %s\n",
                     FormatSeconds(static_cast<double>(ARun.PluginNs.back())).c_str(),
                     FormatBytes(static_cast<double>(ARun.PluginPeak.back())).c_str());
      } else if (AOptions.WithPugixml) {
        const TChildReport child = RunChild({u"--child-pugixml", fileArgument});
        if (!child.Ok) {
          ARun.PugixmlFailure = child.Failure;
          continue;
        }
        ARun.PugixmlNs.push_back(child.Int("time_ns"));
        ARun.ParseNs.push_back(child.Int("parse_ns"));
        ARun.PugixmlPeak.push_back(child.Int("peak_bytes") - child.Int("base_bytes"));
        ARun.PugixmlStatus = child.Values.count("status") ? child.Values.at("status") : "";
        std::fprintf(stderr, "  pugixml %s, peak %s (%s)\n",
                     FormatSeconds(static_cast<double>(ARun.PugixmlNs.back())).c_str(),
                     FormatBytes(static_cast<double>(ARun.PugixmlPeak.back())).c_str(),
                     ARun.PugixmlStatus.c_str());
      }
    }
  }
  if (!AOptions.Keep) {
    std::error_code ignored;
    fs::remove(file, ignored);
  }
  return true;
}

double Ratio(std::int64_t AA, std::int64_t AB) {
  return AA >= 0 && AB > 0 ? static_cast<double>(AA) / static_cast<double>(AB) : -1;
}

void PrintTables(const TOptions& AOptions, const std::vector<TShapeRun>& ARuns) {
  std::printf("plugin   %s\n", AOptions.Plugin.string().c_str());
  std::printf("pugixml  %s\n", PugixmlDescription().c_str());
  std::printf("size     %g MiB per drawing (shape 8: %g MiB); %d run(s) per shape and side\n",
              AOptions.SizeMiB, AOptions.SizeMiB * 256.0 / 250.0, AOptions.Repeat);
  std::printf(
      "time     the fastest run: the plugin's sixteen requests; pugixml reading,\n"
      "         inflating and parsing\n");
  std::printf(
      "memory   the highest run: peak resident memory above the process's own before\n"
      "         loading the plugin or reading the file; allowed = 64 MiB + 2 x inflated\n\n");

  TTable table({"shape", "count", "on disk", "inflated", "plugin peak", "plugin time",
                "pugixml peak", "pugixml time", "peak ratio", "time ratio", "allowed",
                "peak/allowed"});
  for (const TShapeRun& run : ARuns) {
    const TDrawingShape& shape = *run.Shape;
    const double allowed = 64.0 * cMiB + 2.0 * static_cast<double>(run.InflatedBytes);
    const std::int64_t pluginNs = Min(run.PluginNs);
    const std::int64_t pugixmlNs = Min(run.PugixmlNs);
    const std::int64_t pluginPeak = Max(run.PluginPeak);
    const std::int64_t pugixmlPeak = Max(run.PugixmlPeak);
    const std::string none = AOptions.WithPugixml ? "failed" : "-";
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
  TTable details({"shape", "plugin first request", "plugin 16 requests", "plugin at load",
                  "pugixml read+parse", "pugixml parse alone", "pugixml result"});
  for (const TShapeRun& run : ARuns) {
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
  for (const TShapeRun& run : ARuns) {
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

  TOptions options;
  if (const int code = ParseOptions(args, options); code != 0) return code < 0 ? 0 : code;
  {
    TPluginExports probe;
    std::string error;
    if (!LoadPlugin(options.Plugin, probe, error)) {
      std::fprintf(stderr, "bench_shapes: cannot load %s: %s\n", options.Plugin.string().c_str(),
                   error.c_str());
      return 1;
    }
  }
  std::optional<TScratchDir> scratch;
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

  std::vector<TShapeRun> runs;
  for (int number : options.Shapes) {
    TShapeRun run;
    run.Shape = testing_support::FindDrawingShape(number);
    if (!MeasureShape(options, dir, run)) return 1;
    runs.push_back(std::move(run));
  }
  PrintTables(options, runs);
  return 0;
}
