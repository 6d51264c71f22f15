// The value path: a cold request (open, parse, extract) on small and large
// drawings, plain and compressed; the longest a request with the delay-if-slow
// flag holds its caller, on the dearest text; a repeated request for a cached
// file compared with one bare directory look-up of the same file, the floor of
// the cached path; and the flagged request for a drawing put off before.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "cache/CacheObject.h"
#include "platform/Platform.h"
#include "plugin/SvgPlugin.h"
#include "plugin/contplug.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// A drawing of about ABytes: a header with metadata, then many paths with long
// data attributes and some text.
std::string MakeDrawing(std::size_t ABytes) {
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- Created with Bench Generator -->\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"210mm\" height=\"297mm\" "
      "viewBox=\"0 0 210 297\" version=\"1.1\" id=\"root\">\n"
      "<metadata><rdf:RDF><cc:Work><dc:title>Bench</dc:title><dc:date>2020-01-01T00:00:00"
      "</dc:date></cc:Work></rdf:RDF></metadata>\n";
  unsigned seed = 1;
  while (svg.size() < ABytes) {
    svg +=
        "<g id=\"g" + std::to_string(seed) + "\" style=\"fill:#12ab34;stroke:none\">\n<path d=\"M";
    for (int i = 0; i < 60; ++i) {
      seed = seed * 1103515245u + 12345u;
      svg.append(" ").append(std::to_string(seed % 1000)).append(".");
      svg.append(std::to_string(seed % 97)).append(",").append(std::to_string((seed >> 8) % 1000));
    }
    svg += " z\"/>\n<text x=\"1\" y=\"2\">Label &amp; more text " + std::to_string(seed) +
           "</text>\n</g>\n";
  }
  return svg + "</svg>\n";
}

const fs::path& BenchFolder() {
  static const fs::path folder = [] {
    fs::path p = fs::temp_directory_path() / "vexmeta-bench";
    fs::create_directories(p);
    return p;
  }();
  return folder;
}

fs::path WriteDrawing(const std::string& AName, std::size_t ABytes) {
  fs::path path = BenchFolder() / AName;
  if (!fs::exists(path)) {
    std::ofstream out(path, std::ios::binary);
    out << MakeDrawing(ABytes);
  }
  return path;
}

std::u16string U16(const fs::path& AP) {
  return platform::Utf8ToUtf16(AP.string());
}

// A small compressed drawing whose text inflates to 64 MiB of empty groups.
fs::path InflatingFile() {
  fs::path path = BenchFolder() / "inflating.svgz";
  if (!fs::exists(path))
    std::ofstream(path, std::ios::binary)
        << testing_support::GzipFilled("<svg id=\"r\">", "<g/>", std::size_t{64} << 20);
  return path;
}

// Flagged requests that the plugin must put off, after the first.
void RequestsPutOff(benchmark::State& AState, const fs::path& APath) {
  PluginStartup();
  std::u16string name = U16(APath);
  char16_t buffer[1024];
  // The first request spends the budget and remembers the drawing.
  GetValueW(name.c_str(), 2, 0, buffer, sizeof buffer, CONTENT_DELAYIFSLOW);
  for (auto _ : AState) {
    if (GetValueW(name.c_str(), 2, 0, buffer, sizeof buffer, CONTENT_DELAYIFSLOW) != ft_delayed)
      AState.SkipWithError("answered");
  }
  PluginShutdown();
}

void BM_ColdRequest(benchmark::State& AState) {
  fs::path path = WriteDrawing("cold-" + std::to_string(AState.range(0)) + ".svg",
                               static_cast<std::size_t>(AState.range(0)));
  std::u16string name = U16(path);
  std::int64_t size = static_cast<std::int64_t>(fs::file_size(path));
  TSvgExtractor extractor;
  for (auto _ : AState) {
    auto object = BuildCacheObject(name, 1.0, size, {}, extractor);
    if (!object || !object->Valid) AState.SkipWithError("not parsed");
    benchmark::DoNotOptimize(object);
  }
  AState.SetBytesProcessed(AState.iterations() * size);
}
BENCHMARK(BM_ColdRequest)
    ->Arg(2 << 10)
    ->Arg(256 << 10)
    ->Arg(1 << 20)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMillisecond);

// A gzip-compressed drawing of about state.range(0) bytes on disk: an ordinary
// drawing (path data, about a third of its text), and the worst such a file can
// hold, one element repeated, which deflate packs about a thousandfold.
void BM_ColdRequestCompressed(benchmark::State& AState, bool ARepeated) {
  const auto target = static_cast<std::size_t>(AState.range(0));
  const std::string name =
      std::string(ARepeated ? "repeated-" : "drawing-") + std::to_string(target) + ".svgz";
  fs::path path = BenchFolder() / name;
  if (!fs::exists(path)) {
    std::string bytes;
    if (ARepeated) {
      // The inflated size that packs into the target, found once by halving.
      std::size_t low = target, high = target * 2048;
      while (high - low > target / 64) {
        const std::size_t mid = low + (high - low) / 2;
        (testing_support::GzipFilled("<svg id=\"r\">", "<g/>", mid).size() <= target ? low : high) =
            mid;
      }
      bytes = testing_support::GzipFilled("<svg id=\"r\">", "<g/>", low);
    } else {
      const std::string sample = MakeDrawing(1 << 20);
      const double ratio = static_cast<double>(sample.size()) /
                           static_cast<double>(testing_support::Gzip(sample).size());
      bytes = testing_support::Gzip(MakeDrawing(static_cast<std::size_t>(target * ratio)));
    }
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::u16string name16 = U16(path);
  std::int64_t size = static_cast<std::int64_t>(fs::file_size(path));
  TSvgExtractor extractor;
  for (auto _ : AState) {
    auto object = BuildCacheObject(name16, 1.0, size, {}, extractor);
    if (!object || !object->Valid) AState.SkipWithError("not parsed");
    benchmark::DoNotOptimize(object);
  }
  AState.counters["file_KiB"] = static_cast<double>(size) / 1024;
}
BENCHMARK_CAPTURE(BM_ColdRequestCompressed, drawing, false)
    ->Arg(64 << 10)
    ->Arg(256 << 10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ColdRequestCompressed, repeated, true)
    ->Arg(64 << 10)
    ->Arg(256 << 10)
    ->Unit(benchmark::kMillisecond);

// The longest a request with the delay-if-slow flag holds the calling thread:
// the first such request for a drawing that is not read within the budget, made
// through the plugin's value request on a fresh start each time (so that the
// drawing is not remembered as put off). The dearest text is nothing but
// elements, plain (all parse) or inflated from gzip; each iteration is one
// request, and the counter longest_ms the longest of them.
void HoldOfPutOffRequest(benchmark::State& AState, const fs::path& APath) {
  const std::u16string name = U16(APath);
  char16_t buffer[1024];
  double longest = 0;
  for (auto _ : AState) {
    PluginStartup();
    const auto start = std::chrono::steady_clock::now();
    const std::int32_t result =
        GetValueW(name.c_str(), 2, 0, buffer, sizeof buffer, CONTENT_DELAYIFSLOW);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    PluginShutdown();
    if (result != ft_delayed) AState.SkipWithError("answered");
    AState.SetIterationTime(took);
    longest = std::max(longest, took);
  }
  AState.counters["longest_ms"] = longest * 1000;
  AState.counters["budget_ms"] = static_cast<double>(cAnswerAtOnceNs) / 1e6;
}

fs::path DenseElementsFile() {
  fs::path path = BenchFolder() / "dense-16MiB.svg";
  if (!fs::exists(path)) {
    std::string svg = "<svg id=\"r\">";
    while (svg.size() + 10 < (std::size_t{16} << 20)) svg += "<g/>";
    std::ofstream(path, std::ios::binary) << svg + "</svg>";
  }
  return path;
}

void BM_FlaggedHoldDenseElements(benchmark::State& AState) {
  HoldOfPutOffRequest(AState, DenseElementsFile());
}
BENCHMARK(BM_FlaggedHoldDenseElements)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_FlaggedHoldInflatingElements(benchmark::State& AState) {
  HoldOfPutOffRequest(AState, InflatingFile());
}
BENCHMARK(BM_FlaggedHoldInflatingElements)->UseManualTime()->Unit(benchmark::kMillisecond);

// What the budget buys: the text of nothing but elements read whole in the
// time, plain, at the size given in MiB.
void BM_ColdRequestDenseElements(benchmark::State& AState) {
  const auto bytes = static_cast<std::size_t>(AState.range(0)) << 20;
  fs::path plain = BenchFolder() / ("dense-" + std::to_string(AState.range(0)) + "MiB.svg");
  if (!fs::exists(plain)) {
    std::string svg = "<svg id=\"r\">";
    while (svg.size() + 10 < bytes) svg += "<g/>";
    std::ofstream(plain, std::ios::binary) << svg + "</svg>";
  }
  std::u16string name = U16(plain);
  const auto size = static_cast<std::int64_t>(fs::file_size(plain));
  TSvgExtractor extractor;
  for (auto _ : AState) {
    auto object = BuildCacheObject(name, 1.0, size, {}, extractor);
    if (!object || !object->Valid) AState.SkipWithError("not parsed");
    benchmark::DoNotOptimize(object);
  }
}
BENCHMARK(BM_ColdRequestDenseElements)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_ColdRequestExamples(benchmark::State& AState) {
  std::vector<std::pair<std::u16string, std::int64_t>> files;
  for (const auto& entry : fs::directory_iterator(fs::path(VX_SOURCE_DIR) / "examples"))
    if (entry.is_regular_file())
      files.emplace_back(U16(entry.path()), static_cast<std::int64_t>(entry.file_size()));
  std::int64_t bytes = 0;
  TSvgExtractor extractor;
  for (auto _ : AState) {
    for (const auto& [name, size] : files) {
      benchmark::DoNotOptimize(BuildCacheObject(name, 1.0, size, {}, extractor));
      bytes += size;
    }
  }
  AState.SetBytesProcessed(bytes);
  AState.SetItemsProcessed(AState.iterations() * static_cast<std::int64_t>(files.size()));
}
BENCHMARK(BM_ColdRequestExamples);

void BM_CachedRequest(benchmark::State& AState) {
  PluginStartup();
  fs::path path = WriteDrawing("cached.svg", 4 << 10);
  std::u16string name = U16(path);
  char16_t buffer[1024];
  GetValueW(name.c_str(), 2, 0, buffer, sizeof buffer, 0);
  for (auto _ : AState) {
    benchmark::DoNotOptimize(GetValueW(name.c_str(), 2, 0, buffer, sizeof buffer, 0));
  }
  PluginShutdown();
}
BENCHMARK(BM_CachedRequest);

void BM_BareDirectoryLookup(benchmark::State& AState) {
  fs::path path = WriteDrawing("cached.svg", 4 << 10);
  std::u16string name = U16(path);
  platform::TFileEntryInfo info;
  for (auto _ : AState) benchmark::DoNotOptimize(platform::FindFileEntry(name, info));
}
BENCHMARK(BM_BareDirectoryLookup);

// A flagged request for a drawing put off before, which the cache does not
// hold: answered 0 after the directory search, without opening it.
void BM_DelayedRequestPutOffBefore(benchmark::State& AState) {
  RequestsPutOff(AState, DenseElementsFile());
}
BENCHMARK(BM_DelayedRequestPutOffBefore)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
