// Extraction cost: ParseSvgDocument on the editor-made example drawing, on 1 MiB
// of path elements, and on a root with many attributes and children (the nine
// lookups each walk the root's node list; loading alone for comparison); and
// CalcDimensions on its own.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "base/Streams.h"
#include "extract/Dimensions.h"
#include "extract/SvgExtractor.h"
#include "xml/XmlDocument.h"

namespace {

std::string ReadExample(const char* AName) {
  std::ifstream in(std::filesystem::path(VX_SOURCE_DIR) / "examples" / AName, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ManyPaths(std::size_t ALength) {
  std::string text = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10cm\" height=\"5cm\">\n";
  for (std::uint32_t i = 0; text.size() < ALength; ++i)
    text += "<path id=\"p" + std::to_string(i) + "\" d=\"M" + std::to_string(i % 1009u) + " " +
            std::to_string(i % 997u) + " l 5 5\"/>\n";
  return text + "</svg>\n";
}

// Attributes and children that none of the lookups asks for come first.
std::string WideRoot(int ACount) {
  std::string text = "<svg";
  for (int i = 0; i < ACount; ++i) text += " a" + std::to_string(i) + "=\"1\"";
  text += ">";
  for (int i = 0; i < ACount; ++i) text += "<g/>";
  return text + "</svg>";
}

void Extract(benchmark::State& AState, const std::string& ASvg) {
  for (auto _ : AState) {
    auto stream = TMemoryStream::View(ASvg);
    TVexmeta record;
    benchmark::DoNotOptimize(ParseSvgDocument(*stream, record, true));
  }
  AState.SetBytesProcessed(static_cast<std::int64_t>(AState.iterations()) *
                           static_cast<std::int64_t>(ASvg.size()));
}

void BM_ExtractEditorDrawing(benchmark::State& AState) {
  Extract(AState, ReadExample("editor-drawing.svg"));
}
BENCHMARK(BM_ExtractEditorDrawing);

void BM_ExtractManyPaths1MiB(benchmark::State& AState) {
  Extract(AState, ManyPaths(1 << 20));
}
BENCHMARK(BM_ExtractManyPaths1MiB);

void BM_ExtractWideRoot(benchmark::State& AState) {
  Extract(AState, WideRoot(static_cast<int>(AState.range(0))));
}
BENCHMARK(BM_ExtractWideRoot)->Arg(1000)->Arg(100000);

// Loading alone, to tell the reader's share from that of the lookups.
void BM_LoadWideRoot(benchmark::State& AState) {
  const std::string svg = WideRoot(static_cast<int>(AState.range(0)));
  for (auto _ : AState) {
    auto stream = TMemoryStream::View(svg);
    TXmlDocument document;
    document.LoadFromStream(*stream);
    benchmark::DoNotOptimize(document.IsEmpty());
  }
}
BENCHMARK(BM_LoadWideRoot)->Arg(1000)->Arg(100000);

void BM_CalcDimensions(benchmark::State& AState) {
  TVexmeta record;
  record.Width = u"50%";
  record.Height = u"12.7mm";
  record.ViewBox = u"0 0 800 600";
  for (auto _ : AState) {
    CalcDimensions(record, 96);
    benchmark::DoNotOptimize(record.IntWidth);
  }
}
BENCHMARK(BM_CalcDimensions);

}  // namespace

BENCHMARK_MAIN();
