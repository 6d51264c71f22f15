// Parsing speed of the document reader on generated SVG drawings (many paths with
// long attribute values, text and nested groups) of about 1, 10 and 50 MB, next to
// two common XML parsers run on the same bytes in the same process. Each reports
// MB/s; the reader also reports the memory its tree takes per input byte.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>

#include "base/Streams.h"
#include "xml/XmlBuild.h"
#include "xml/XmlNodes.h"

#if VX_BENCH_PEERS
#include <expat.h>

#include <pugixml.hpp>
#endif

namespace {

// A drawing of roughly ATargetBytes bytes, the same for a given size.
const std::string& Drawing(std::size_t ATargetBytes) {
  static std::string cache[3];
  std::size_t slot = ATargetBytes <= (1u << 20) ? 0 : ATargetBytes <= (10u << 20) ? 1 : 2;
  std::string& s = cache[slot];
  if (!s.empty()) return s;
  std::mt19937 rng(42);
  auto num = [&rng] { return std::to_string(rng() % 1000) + "." + std::to_string(rng() % 100); };
  s = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
      "<!-- Created with a vector editor -->\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
      "width=\"210mm\" height=\"297mm\" viewBox=\"0 0 210 297\" version=\"1.1\" id=\"svg8\">\n"
      "  <metadata id=\"metadata5\"><title>Generated &amp; large</title></metadata>\n";
  int id = 0;
  while (s.size() < ATargetBytes) {
    s += "  <g id=\"layer" + std::to_string(++id) + "\" transform=\"translate(" + num() + "," +
         num() + ")\">\n";
    for (int p = 0; p < 20; ++p) {
      s += "    <path style=\"fill:#" + std::to_string(100000 + rng() % 800000) +
           ";stroke:#000000;stroke-width:0.26458332px;stroke-opacity:1\" d=\"M " + num() + "," +
           num();
      for (int k = 0; k < 12; ++k) s += " C " + num() + "," + num() + " " + num() + "," + num();
      s += " Z\" id=\"path" + std::to_string(id * 100 + p) + "\" />\n";
    }
    s += "    <text x=\"" + num() + "\" y=\"" + num() +
         "\" style=\"font-size:10px\"><tspan>Label number " + std::to_string(id) +
         " with some words &amp; an entity</tspan></text>\n  </g>\n";
  }
  s += "</svg>\n";
  return s;
}

void Reader(benchmark::State& AState) {
  const std::string& text = Drawing(static_cast<std::size_t>(AState.range(0)));
  std::size_t nodes = 0, arena = 0;
  for (auto _ : AState) {
    TXmlDocument doc;
    auto s = TMemoryStream::View(text);
    doc.LoadFromStream(*s);
    nodes = static_cast<std::size_t>(doc.Root()->NodeCount());
    arena = TXmlBuild::Arena(doc).BytesReserved();
    benchmark::DoNotOptimize(nodes);
  }
  AState.SetBytesProcessed(static_cast<std::int64_t>(AState.iterations() * text.size()));
  AState.counters["arena_bytes_per_input_byte"] =
      static_cast<double>(arena) / static_cast<double>(text.size());
}

#if VX_BENCH_PEERS
void Pugi(benchmark::State& AState) {
  const std::string& text = Drawing(static_cast<std::size_t>(AState.range(0)));
  for (auto _ : AState) {
    pugi::xml_document doc;
    pugi::xml_parse_result r = doc.load_buffer(text.data(), text.size());
    benchmark::DoNotOptimize(r.status);
  }
  AState.SetBytesProcessed(static_cast<std::int64_t>(AState.iterations() * text.size()));
}

void Expat(benchmark::State& AState) {
  const std::string& text = Drawing(static_cast<std::size_t>(AState.range(0)));
  for (auto _ : AState) {
    XML_Parser p = XML_ParserCreate(nullptr);
    XML_SetElementHandler(
        p, [](void*, const XML_Char*, const XML_Char**) {}, [](void*, const XML_Char*) {});
    XML_SetCharacterDataHandler(p, [](void*, const XML_Char*, int) {});
    auto status = XML_Parse(p, text.data(), static_cast<int>(text.size()), 1);
    benchmark::DoNotOptimize(status);
    XML_ParserFree(p);
  }
  AState.SetBytesProcessed(static_cast<std::int64_t>(AState.iterations() * text.size()));
}

#endif

constexpr std::int64_t cMb = 1 << 20;
BENCHMARK(Reader)->Arg(cMb)->Arg(10 * cMb)->Arg(50 * cMb)->Unit(benchmark::kMillisecond);
#if VX_BENCH_PEERS
BENCHMARK(Pugi)->Arg(cMb)->Arg(10 * cMb)->Arg(50 * cMb)->Unit(benchmark::kMillisecond);
BENCHMARK(Expat)->Arg(cMb)->Arg(10 * cMb)->Arg(50 * cMb)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
