// The value path: a cold request (open, parse, extract) on small and large
// drawings, and a repeated request for a cached file compared with one bare
// directory look-up of the same file, the floor of the cached path.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "cache/CacheObject.h"
#include "platform/Platform.h"
#include "plugin/SvgPlugin.h"

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

fs::path WriteDrawing(const std::string& name, std::size_t bytes) {
  fs::path path = BenchFolder() / name;
  if (!fs::exists(path)) {
    std::ofstream out(path, std::ios::binary);
    out << MakeDrawing(bytes);
  }
  return path;
}

std::u16string U16(const fs::path& p) {
  return platform::Utf8ToUtf16(p.string());
}

void BM_ColdRequest(benchmark::State& state) {
  fs::path path = WriteDrawing("cold-" + std::to_string(state.range(0)) + ".svg",
                               static_cast<std::size_t>(state.range(0)));
  std::u16string name = U16(path);
  std::int64_t size = static_cast<std::int64_t>(fs::file_size(path));
  TSvgExtractor extractor;
  for (auto _ : state) {
    auto object = BuildCacheObject(name, 1.0, size, {}, extractor);
    if (!object || !object->Valid) state.SkipWithError("not parsed");
    benchmark::DoNotOptimize(object);
  }
  state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_ColdRequest)->Arg(2 << 10)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

void BM_ColdRequestExamples(benchmark::State& state) {
  std::vector<std::pair<std::u16string, std::int64_t>> files;
  for (const auto& entry : fs::directory_iterator(fs::path(VX_SOURCE_DIR) / "examples"))
    if (entry.is_regular_file())
      files.emplace_back(U16(entry.path()), static_cast<std::int64_t>(entry.file_size()));
  std::int64_t bytes = 0;
  TSvgExtractor extractor;
  for (auto _ : state) {
    for (const auto& [name, size] : files) {
      benchmark::DoNotOptimize(BuildCacheObject(name, 1.0, size, {}, extractor));
      bytes += size;
    }
  }
  state.SetBytesProcessed(bytes);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(files.size()));
}
BENCHMARK(BM_ColdRequestExamples);

void BM_CachedRequest(benchmark::State& state) {
  PluginStartup();
  fs::path path = WriteDrawing("cached.svg", 4 << 10);
  std::u16string name = U16(path);
  char16_t buffer[1024];
  GetValueW(name.c_str(), 2, 0, buffer, sizeof buffer, 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetValueW(name.c_str(), 2, 0, buffer, sizeof buffer, 0));
  }
  PluginShutdown();
}
BENCHMARK(BM_CachedRequest);

void BM_BareDirectoryLookup(benchmark::State& state) {
  fs::path path = WriteDrawing("cached.svg", 4 << 10);
  std::u16string name = U16(path);
  platform::FileEntryInfo info;
  for (auto _ : state) benchmark::DoNotOptimize(platform::FindFileEntry(name, info));
}
BENCHMARK(BM_BareDirectoryLookup);

}  // namespace

BENCHMARK_MAIN();
