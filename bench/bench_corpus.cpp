// bench_corpus: the plugin on a folder of real drawings and on thousands of tiny
// ones, side by side with pugixml reading and parsing the same bytes, and the
// host tool's files per second. Each pass runs in a fresh process (this program
// again, with a hidden option), so the plugin's cache starts empty and every
// first request is a real one; within a pass the two sides take turns going
// first, file by file, and each file keeps its fastest pass.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <optional>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace fs = std::filesystem;
using namespace bench;

namespace {

const char cUsage[] =
    "usage: bench_corpus [options] [FOLDER]\n"
    "\n"
    "For every .svg/.svgz under FOLDER: the plugin's first request for the file, the\n"
    "fifteen cached requests after it, and pugixml reading (inflating .svgz) and\n"
    "parsing the file; per-file averages and the ratios plugin / pugixml. Then the\n"
    "same on generated ~140-byte drawings, and the host tool's files per second on\n"
    "both on one thread and on two (vexmeta --plugin PLUGIN --json -j N FOLDER, the\n"
    "two taking turns) and the ratio of the two.\n"
    "\n"
    "  --plugin PATH   the plugin library (default: the one built beside this program)\n"
    "  --host PATH     the host tool (default: the one built beside this program)\n"
    "  --repeat N      passes; each file keeps its fastest (default 3)\n"
    "  --small N       how many ~140-byte drawings to measure (default 5000; 0: none)\n";

std::string LowerExtension(const fs::path& APath) {
  std::string extension = APath.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

bool IsDrawing(const fs::path& APath) {
  const std::string extension = LowerExtension(APath);
  return extension == ".svg" || extension == ".svgz";
}

std::vector<fs::path> FindDrawings(const fs::path& AFolder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(
           AFolder, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec) && IsDrawing(it->path())) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Reads every file once, so that the file cache holds them; their total size.
std::uint64_t WarmFiles(const std::vector<fs::path>& AFiles) {
  std::uint64_t total = 0;
  for (const fs::path& file : AFiles) total += WarmFile(file);
  return total;
}

// Child: one pass over the files listed (UTF-8, one per line), one line per file:
// "index first_ns rest_ns pugixml_ns answered parsed".
int ChildPass(const fs::path& APluginPath, const fs::path& AListFile, int APass) {
  TPluginExports plugin;
  std::string error;
  if (!LoadPlugin(APluginPath, plugin, error)) {
    std::fprintf(stderr, "bench_corpus: cannot load the plugin: %s\n", error.c_str());
    return 1;
  }
  std::vector<fs::path> files;
  {
    std::ifstream list(AListFile, std::ios::binary);
    std::string line;
    while (std::getline(list, line))
      if (!line.empty()) files.push_back(PathOf(platform::Utf8ToUtf16(line)));
  }
  auto answers = std::make_unique<TFileAnswers>();
  std::string bytes;
  std::string status;
  std::string out;
  fs::path lastFolder;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::u16string path = PathText(files[i]);
    if (files[i].parent_path() != lastFolder) {
      // A host tells the plugin when it reads a new folder.
      lastFolder = files[i].parent_path();
      plugin.SendStateInformation(CONTST_READNEWDIR, PathText(lastFolder).c_str());
    }
    TRequestTimes times;
    std::int64_t pugixmlNs = 0;
    bool parsed = false;
    auto runPlugin = [&] { times = RequestAllFields(plugin, path, *answers); };
    auto runPugixml = [&] {
      pugi::xml_document doc;
      const std::int64_t start = NowNs();
      parsed = ReadDrawing(files[i], cInputCeiling, bytes, error) &&
               ParseWithPugixml(bytes, doc, status);
      pugixmlNs = NowNs() - start;
    };
    if ((i + static_cast<std::size_t>(APass)) % 2 == 0) {
      runPlugin();
      runPugixml();
    } else {
      runPugixml();
      runPlugin();
    }
    int answered = 0;
    for (const TFieldAnswer& answer : *answers) answered += answer.Result != ft_fieldempty ? 1 : 0;
    char line[160];
    std::snprintf(line, sizeof line, "%zu %lld %lld %lld %d %d\n", i,
                  static_cast<long long>(times.FirstNs), static_cast<long long>(times.RestNs),
                  static_cast<long long>(pugixmlNs), answered, parsed ? 1 : 0);
    out += line;
  }
  std::fputs(out.c_str(), stdout);
  return 0;
}

struct TFileTimes {
  std::int64_t First = std::numeric_limits<std::int64_t>::max();
  std::int64_t Rest = std::numeric_limits<std::int64_t>::max();
  std::int64_t All = std::numeric_limits<std::int64_t>::max();  // first + rest of one pass
  std::int64_t Pugixml = std::numeric_limits<std::int64_t>::max();
  int Answered = 0;
  bool Parsed = false;
};

bool MeasureFiles(const fs::path& APluginPath, const std::vector<fs::path>& AFiles,
                  const fs::path& AWorkDir, int ARepeat, std::vector<TFileTimes>& ATimes) {
  const fs::path listFile = AWorkDir / "files.txt";
  {
    std::ofstream list(listFile, std::ios::binary | std::ios::trunc);
    for (const fs::path& file : AFiles) list << platform::Utf16ToUtf8(PathText(file)) << '\n';
  }
  ATimes.assign(AFiles.size(), TFileTimes{});
  for (int pass = 0; pass < ARepeat; ++pass) {
    std::string output;
    std::string error;
    const int code =
        platform::RunProcess(PathText(SelfPath()),
                             {u"--child-pass", PathText(APluginPath), PathText(listFile),
                              platform::Utf8ToUtf16(std::to_string(pass))},
                             output, &error);
    if (code != 0) {
      std::fprintf(stderr, "bench_corpus: pass %d failed (exit code %d) %s\n", pass, code,
                   error.c_str());
      return false;
    }
    std::istringstream lines(output);
    std::size_t i = 0;
    long long first = 0;
    long long rest = 0;
    long long pugixml = 0;
    int answered = 0;
    int parsed = 0;
    std::size_t seen = 0;
    while (lines >> i >> first >> rest >> pugixml >> answered >> parsed) {
      if (i >= ATimes.size()) continue;
      TFileTimes& t = ATimes[i];
      t.First = std::min<std::int64_t>(t.First, first);
      t.Rest = std::min<std::int64_t>(t.Rest, rest);
      t.All = std::min<std::int64_t>(t.All, first + rest);
      t.Pugixml = std::min<std::int64_t>(t.Pugixml, pugixml);
      t.Answered = answered;
      t.Parsed = parsed != 0;
      ++seen;
    }
    if (seen != AFiles.size()) {
      std::fprintf(stderr, "bench_corpus: pass %d reported %zu of %zu files\n", pass, seen,
                   AFiles.size());
      return false;
    }
    std::fprintf(stderr, "  pass %d of %d done\n", pass + 1, ARepeat);
  }
  return true;
}

// Per-file averages of a set of files, in nanoseconds.
struct TSummary {
  std::string Name;
  std::size_t Files = 0;
  double First = 0, Rest = 0, All = 0, Pugixml = 0;
  std::size_t Answered = 0, Parsed = 0;
};

TSummary Summarize(const std::string& AName, const std::vector<TFileTimes>& ATimes,
                   const std::vector<std::size_t>& AWhich) {
  TSummary s;
  s.Name = AName;
  s.Files = AWhich.size();
  for (std::size_t i : AWhich) {
    const TFileTimes& t = ATimes[i];
    s.First += static_cast<double>(t.First);
    s.Rest += static_cast<double>(t.Rest);
    s.All += static_cast<double>(t.All);
    s.Pugixml += static_cast<double>(t.Pugixml);
    s.Answered += t.Answered > 0 ? 1 : 0;
    s.Parsed += t.Parsed ? 1 : 0;
  }
  if (s.Files > 0) {
    const double n = static_cast<double>(s.Files);
    s.First /= n;
    s.Rest /= n;
    s.All /= n;
    s.Pugixml /= n;
  }
  return s;
}

void AddSummary(TTable& ATable, const TSummary& AS) {
  ATable.Add({AS.Name, std::to_string(AS.Files), FormatSeconds(AS.First), FormatSeconds(AS.Rest),
              FormatSeconds(AS.All), FormatSeconds(AS.Pugixml), FormatRatio(AS.All / AS.Pugixml),
              FormatRatio(AS.First / AS.Pugixml),
              std::to_string(AS.Answered) + " / " + std::to_string(AS.Parsed)});
}

struct THostRun {
  std::string Name;
  int Jobs = 1;
  std::size_t Found = 0;
  std::size_t Reported = 0;
  std::int64_t WallNs = -1;  // the fastest run
  double FilesPerSecond() const {
    return WallNs > 0 ? static_cast<double>(Reported) * 1e9 / static_cast<double>(WallNs) : -1;
  }
};

// The host tool over AFolder on 1 and on 2 threads, the two taking turns, so
// that the machine's other work weighs on both alike.
std::vector<THostRun> RunHostTool(const std::string& AName, const fs::path& AHost,
                                  const fs::path& APluginPath, const fs::path& AFolder,
                                  std::size_t AFound, int ARepeat) {
  std::vector<THostRun> runs{{AName, 1, AFound, 0, -1}, {AName, 2, AFound, 0, -1}};
  for (int r = 0; r < ARepeat; ++r) {
    for (THostRun& run : runs) {
      std::string output;
      std::string error;
      const std::int64_t start = NowNs();
      const int code = platform::RunProcess(PathText(AHost),
                                            {u"--plugin", PathText(APluginPath), u"--json", u"-j",
                                             run.Jobs == 1 ? u"1" : u"2", PathText(AFolder)},
                                            output, &error);
      const std::int64_t wall = NowNs() - start;
      if (code != 0) {
        std::fprintf(stderr, "bench_corpus: the host tool failed (exit code %d) %s\n", code,
                     error.c_str());
        return runs;
      }
      std::size_t count = 0;
      for (std::size_t at = output.find("{\"File\":"); at != std::string::npos;
           at = output.find("{\"File\":", at + 1))
        ++count;
      run.Reported = count;
      if (run.WallNs < 0 || wall < run.WallNs) run.WallNs = wall;
      std::fprintf(stderr, "  host tool -j %d, %s: %zu files in %s\n", run.Jobs, AName.c_str(),
                   count, FormatSeconds(static_cast<double>(wall)).c_str());
    }
  }
  return runs;
}

// count drawings of about 140 bytes, sizes and ids varying, in folder.
std::vector<fs::path> WriteSmallDrawings(const fs::path& AFolder, int ACount) {
  std::vector<fs::path> files;
  fs::create_directories(AFolder);
  for (int i = 0; i < ACount; ++i) {
    const int w = 10 + i % 90;
    const int h = 10 + (i / 90) % 90;
    char text[256];
    const int n = std::snprintf(text, sizeof text,
                                "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" "
                                "id=\"d%04d\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\">"
                                "<rect width=\"5\" height=\"5\"/></svg>\n",
                                i % 10000, w, h, w, h);
    char name[32];
    std::snprintf(name, sizeof name, "small-%05d.svg", i);
    files.push_back(AFolder / name);
    std::ofstream(files.back(), std::ios::binary).write(text, n);
  }
  return files;
}

struct TOptions {
  fs::path Plugin = BuiltPluginPath();
  fs::path Host = BuiltHostToolPath();
  fs::path Folder;
  int Repeat = 3;
  int Small = 5000;
};

// 0 to go on, else the exit code (-1: done, successfully).
int ParseOptions(const std::vector<std::string>& AArgs, TOptions& AOptions) {
  for (std::size_t i = 0; i < AArgs.size(); ++i) {
    const std::string& arg = AArgs[i];
    const bool hasValue = i + 1 < AArgs.size();
    if (arg == "--help" || arg == "-h") {
      std::fputs(cUsage, stdout);
      return -1;
    } else if (arg == "--plugin" && hasValue) {
      AOptions.Plugin = AArgs[++i];
    } else if (arg == "--host" && hasValue) {
      AOptions.Host = AArgs[++i];
    } else if (arg == "--repeat" && hasValue) {
      AOptions.Repeat = std::atoi(AArgs[++i].c_str());
    } else if (arg == "--small" && hasValue) {
      AOptions.Small = std::atoi(AArgs[++i].c_str());
    } else if (!arg.empty() && arg[0] != '-' && AOptions.Folder.empty()) {
      AOptions.Folder = arg;
    } else {
      std::fprintf(stderr, "bench_corpus: unknown option or missing value: %s\n\n%s", arg.c_str(),
                   cUsage);
      return 2;
    }
  }
  if (AOptions.Repeat < 1 || AOptions.Small < 0 ||
      (AOptions.Folder.empty() && AOptions.Small == 0)) {
    std::fputs(cUsage, stderr);
    return 2;
  }
  AOptions.Plugin = fs::absolute(AOptions.Plugin);
  AOptions.Host = fs::absolute(AOptions.Host);
  if (!AOptions.Folder.empty()) AOptions.Folder = fs::absolute(AOptions.Folder).lexically_normal();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "--child-pass")
    return ChildPass(args[1], args[2], std::atoi(args[3].c_str()));

  TOptions options;
  if (const int code = ParseOptions(args, options); code != 0) return code < 0 ? 0 : code;
  {
    TPluginExports probe;
    std::string error;
    if (!LoadPlugin(options.Plugin, probe, error)) {
      std::fprintf(stderr, "bench_corpus: cannot load %s: %s\n", options.Plugin.string().c_str(),
                   error.c_str());
      return 1;
    }
  }
  TScratchDir work("bench_corpus");

  TTable table({"set", "files", "first request", "15 cached", "first + 15", "pugixml",
                "(first+15)/pugixml", "first/pugixml", "answered / parsed"});
  std::vector<THostRun> hostRuns;
  std::optional<TSummary> corpus;
  std::optional<TSummary> small;

  if (!options.Folder.empty()) {
    const fs::path& folder = options.Folder;
    const std::vector<fs::path> files = FindDrawings(folder);
    const std::uint64_t bytes = WarmFiles(files);
    std::fprintf(stderr, "corpus: %zu drawings, %s, under %s\n", files.size(),
                 FormatBytes(static_cast<double>(bytes)).c_str(), folder.string().c_str());
    std::vector<TFileTimes> times;
    if (files.empty() || !MeasureFiles(options.Plugin, files, work.Path(), options.Repeat, times)) {
      std::fprintf(stderr, "bench_corpus: nothing measured under %s\n", folder.string().c_str());
      return 1;
    }
    std::vector<std::size_t> all;
    std::vector<std::size_t> plain;
    std::vector<std::size_t> packed;
    for (std::size_t i = 0; i < files.size(); ++i) {
      all.push_back(i);
      (LowerExtension(files[i]) == ".svgz" ? packed : plain).push_back(i);
    }
    corpus = Summarize("corpus", times, all);
    AddSummary(table, *corpus);
    if (!plain.empty() && !packed.empty()) {
      AddSummary(table, Summarize("  .svg", times, plain));
      AddSummary(table, Summarize("  .svgz", times, packed));
    }
    for (const THostRun& run :
         RunHostTool("corpus", options.Host, options.Plugin, folder, files.size(), options.Repeat))
      hostRuns.push_back(run);
  }
  if (options.Small > 0) {
    const fs::path folder = work.Path() / "small";
    const std::vector<fs::path> files = WriteSmallDrawings(folder, options.Small);
    WarmFiles(files);
    std::fprintf(stderr, "small: %d drawings of about %ju bytes\n", options.Small,
                 static_cast<std::uintmax_t>(fs::file_size(files[0])));
    std::vector<TFileTimes> times;
    if (MeasureFiles(options.Plugin, files, work.Path(), options.Repeat, times)) {
      std::vector<std::size_t> all(files.size());
      for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
      small = Summarize("~140-byte drawings", times, all);
      AddSummary(table, *small);
    }
    for (const THostRun& run : RunHostTool("~140-byte drawings", options.Host, options.Plugin,
                                           folder, files.size(), options.Repeat))
      hostRuns.push_back(run);
  }

  std::printf("plugin   %s\n", options.Plugin.string().c_str());
  if (!options.Folder.empty()) std::printf("folder   %s\n", options.Folder.string().c_str());
  std::printf("pugixml  %s\n", PugixmlDescription().c_str());
  std::printf(
      "time     per-file averages of each file's fastest of %d pass(es); pugixml timed\n"
      "         from reading the file to the parsed document, .svgz inflated with zlib\n\n",
      options.Repeat);
  std::fputs(table.Render().c_str(), stdout);

  std::printf("\nhost tool %s --json, fastest of %d run(s)\n", options.Host.string().c_str(),
              options.Repeat);
  TTable hostTable({"set", "threads", "files found", "files reported", "wall time", "files/s"});
  for (const THostRun& h : hostRuns)
    hostTable.Add({h.Name, std::to_string(h.Jobs), std::to_string(h.Found),
                   std::to_string(h.Reported), FormatSeconds(static_cast<double>(h.WallNs)),
                   h.WallNs > 0 ? FormatFixed(h.FilesPerSecond(), 0) : "failed"});
  std::fputs(hostTable.Render().c_str(), stdout);

  std::printf("\nsummary\n");
  TTable summary({"measure", "value"});
  if (corpus) {
    summary.Add({"corpus: (first + 15 cached requests) / pugixml",
                 FormatRatio(corpus->All / corpus->Pugixml)});
    summary.Add(
        {"corpus: first request alone / pugixml", FormatRatio(corpus->First / corpus->Pugixml)});
  }
  if (small)
    summary.Add({"~140-byte drawings: first request alone / pugixml",
                 FormatRatio(small->First / small->Pugixml)});
  for (std::size_t i = 0; i < hostRuns.size(); ++i) {
    const THostRun& h = hostRuns[i];
    if (h.WallNs <= 0) continue;
    summary.Add({"host tool files/s (" + h.Name + ", -j " + std::to_string(h.Jobs) + ")",
                 FormatFixed(h.FilesPerSecond(), 0)});
    // The runs of a set come in pairs: -j 1, then -j 2.
    if (h.Jobs == 2 && i > 0 && hostRuns[i - 1].WallNs > 0)
      summary.Add({"host tool -j 2 / -j 1 files/s (" + h.Name + ")",
                   FormatRatio(h.FilesPerSecond() / hostRuns[i - 1].FilesPerSecond())});
  }
  std::fputs(summary.Render().c_str(), stdout);
  return 0;
}
