// Parsing speed of the document reader on generated SVG drawings (many paths with
// long attribute values, text and nested groups) of about 1, 10 and 50 MB, next to
// two common XML parsers run on the same bytes in the same process. Each reports
// MB/s; the reader also reports the memory its tree takes per input byte.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>

#include "base/Streams.h"
#include "xml/XmlNodes.h"

#if VX_BENCH_PEERS
#include <expat.h>

#include <pugixml.hpp>
#endif

namespace {

// A drawing of roughly ATargetBytes bytes, the same for a given size.
const std::string& Drawing(std::size_t ATargetBytes) {
  static std::string Cache[3];
  std::size_t Slot = ATargetBytes <= (1u << 20) ? 0 : ATargetBytes <= (10u << 20) ? 1 : 2;
  std::string& S = Cache[Slot];
  if (!S.empty()) return S;
  std::mt19937 Rng(42);
  auto Num = [&] { return std::to_string(Rng() % 1000) + "." + std::to_string(Rng() % 100); };
  S = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
      "<!-- Created with a vector editor -->\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
      "width=\"210mm\" height=\"297mm\" viewBox=\"0 0 210 297\" version=\"1.1\" id=\"svg8\">\n"
      "  <metadata id=\"metadata5\"><title>Generated &amp; large</title></metadata>\n";
  int Id = 0;
  while (S.size() < ATargetBytes) {
    S += "  <g id=\"layer" + std::to_string(++Id) + "\" transform=\"translate(" + Num() + "," +
         Num() + ")\">\n";
    for (int P = 0; P < 20; ++P) {
      S += "    <path style=\"fill:#" + std::to_string(100000 + Rng() % 800000) +
           ";stroke:#000000;stroke-width:0.26458332px;stroke-opacity:1\" d=\"M " + Num() + "," +
           Num();
      for (int K = 0; K < 12; ++K) S += " C " + Num() + "," + Num() + " " + Num() + "," + Num();
      S += " Z\" id=\"path" + std::to_string(Id * 100 + P) + "\" />\n";
    }
    S += "    <text x=\"" + Num() + "\" y=\"" + Num() +
         "\" style=\"font-size:10px\"><tspan>Label number " + std::to_string(Id) +
         " with some words &amp; an entity</tspan></text>\n  </g>\n";
  }
  S += "</svg>\n";
  return S;
}

void Reader(benchmark::State& State) {
  const std::string& Text = Drawing(static_cast<std::size_t>(State.range(0)));
  std::size_t Nodes = 0, Arena = 0;
  for (auto _ : State) {
    TXmlDocument Doc;
    auto S = TMemoryStream::View(Text);
    Doc.LoadFromStream(*S);
    Nodes = static_cast<std::size_t>(Doc.Root()->NodeCount());
    Arena = Doc.Arena().BytesReserved();
    benchmark::DoNotOptimize(Nodes);
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Text.size()));
  State.counters["arena_bytes_per_input_byte"] =
      static_cast<double>(Arena) / static_cast<double>(Text.size());
}

#if VX_BENCH_PEERS
void Pugi(benchmark::State& State) {
  const std::string& Text = Drawing(static_cast<std::size_t>(State.range(0)));
  for (auto _ : State) {
    pugi::xml_document Doc;
    pugi::xml_parse_result R = Doc.load_buffer(Text.data(), Text.size());
    benchmark::DoNotOptimize(R.status);
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Text.size()));
}

void Expat(benchmark::State& State) {
  const std::string& Text = Drawing(static_cast<std::size_t>(State.range(0)));
  for (auto _ : State) {
    XML_Parser P = XML_ParserCreate(nullptr);
    XML_SetElementHandler(
        P, [](void*, const XML_Char*, const XML_Char**) {}, [](void*, const XML_Char*) {});
    XML_SetCharacterDataHandler(P, [](void*, const XML_Char*, int) {});
    auto Status = XML_Parse(P, Text.data(), static_cast<int>(Text.size()), 1);
    benchmark::DoNotOptimize(Status);
    XML_ParserFree(P);
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Text.size()));
}

#endif

constexpr std::int64_t kMB = 1 << 20;
BENCHMARK(Reader)->Arg(kMB)->Arg(10 * kMB)->Arg(50 * kMB)->Unit(benchmark::kMillisecond);
#if VX_BENCH_PEERS
BENCHMARK(Pugi)->Arg(kMB)->Arg(10 * kMB)->Arg(50 * kMB)->Unit(benchmark::kMillisecond);
BENCHMARK(Expat)->Arg(kMB)->Arg(10 * kMB)->Arg(50 * kMB)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
