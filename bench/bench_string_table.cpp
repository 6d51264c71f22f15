// Interning cost of the string table (distinct path-like values, look-ups of
// existing strings, growth from 50,000 to 200,000 strings) and the scanning speed
// of the parser input over a few megabytes of markup.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "base/Streams.h"
#include "xml/XmlParser.h"
#include "xml/XmlStringTable.h"

namespace {

// Values like the path data of a drawing: distinct, 30 to 60 bytes, sharing most
// of their bytes and often their length.
std::vector<std::string> PathValues(std::size_t ACount) {
  std::vector<std::string> out;
  out.reserve(ACount);
  for (std::size_t i = 0; i < ACount; ++i) {
    out.push_back("M " + std::to_string(i % 1000) + "." + std::to_string(i / 1000) + ",12.5 L " +
                  std::to_string(i * 7 % 9973) + ",40 C 1,2 3,4 5,6 z");
  }
  return out;
}

void BM_InternDistinct(benchmark::State& AState) {
  const auto values = PathValues(static_cast<std::size_t>(AState.range(0)));
  for (auto _ : AState) {
    TXmlSymbolTable table(nullptr);
    for (const std::string& v : values) benchmark::DoNotOptimize(table.AddString(v));
  }
  AState.SetItemsProcessed(AState.iterations() * AState.range(0));
  AState.SetComplexityN(AState.range(0));
}
BENCHMARK(BM_InternDistinct)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_LookupExisting(benchmark::State& AState) {
  const auto values = PathValues(200000);
  TXmlSymbolTable table(nullptr);
  for (const std::string& v : values) table.AddString(v);
  const std::size_t lookups = 10000000;
  for (auto _ : AState) {
    std::size_t k = 0;
    for (std::size_t i = 0; i < lookups; ++i) {
      benchmark::DoNotOptimize(table.AddString(values[k]));
      k = k + 7919 < values.size() ? k + 7919 : k + 7919 - values.size();
    }
  }
  AState.SetItemsProcessed(AState.iterations() * static_cast<std::int64_t>(lookups));
}
BENCHMARK(BM_LookupExisting)->Unit(benchmark::kMillisecond)->Iterations(3);

// A drawing of about 4 MB: many elements with attributes, text and comments.
std::string Drawing() {
  std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<svg width=\"100\" height=\"100\">\r\n";
  for (int i = 0; doc.size() < 4 * 1024 * 1024; ++i) {
    doc += "  <path id=\"p" + std::to_string(i) +
           "\" style=\"fill:#ff0000;stroke:none\" d=\"M 10,20 L 30,40 C 1,2 3,4 5,6 z\"/>\r\n";
    if (i % 50 == 0)
      doc += "  <!-- group " + std::to_string(i) + " -->\r\n  <text>label</text>\r\n";
  }
  doc += "</svg>\r\n";
  return doc;
}

// Reads markup the way the node parsers do: text up to "<", the markup class,
// names, attribute values and comments, flushing at every element.
void BM_ParserScan(benchmark::State& AState) {
  const std::string doc = Drawing();
  std::size_t elements = 0;
  for (auto _ : AState) {
    auto stream = TMemoryStream::View(doc);
    TXmlParser parser(*stream, 256, nullptr);
    parser.ReadBOM();
    std::string blanks;
    for (;;) {
      benchmark::DoNotOptimize(parser.ReadStringUntilChar('<'));
      if (parser.InputEnded()) break;
      TXmlElementType type = parser.ReadOpenTag();
      if (type == xeError) break;
      if (type == xeComment) {
        benchmark::DoNotOptimize(parser.ReadStringUntil("-->"));
      } else if (type == xeElement) {
        parser.Flush();
        ++elements;
        benchmark::DoNotOptimize(parser.ReadStringUntilBlankOrEndTag());
        for (;;) {
          char c = parser.NextCharSkipBlanks(blanks);
          if (c == 0 || c == '>' || c == '/') break;
          parser.MoveBack();
          benchmark::DoNotOptimize(parser.ReadStringUntilChar('='));
          char q = parser.NextCharSkipBlanks(blanks);
          benchmark::DoNotOptimize(parser.ReadQuotedString(q));
        }
      } else {
        benchmark::DoNotOptimize(parser.ReadStringUntilChar('>'));
      }
    }
  }
  benchmark::DoNotOptimize(elements);
  AState.SetBytesProcessed(AState.iterations() * static_cast<std::int64_t>(doc.size()));
}
BENCHMARK(BM_ParserScan)->Unit(benchmark::kMillisecond);

// One attribute value of 16 MB with no element start to flush it: the buffer
// grows geometrically, so this stays linear.
void BM_ParserLongValue(benchmark::State& AState) {
  const std::string doc = "<a v=\"" + std::string(16 * 1024 * 1024, 'x') + "\"/>";
  for (auto _ : AState) {
    auto stream = TMemoryStream::View(doc);
    TXmlParser parser(*stream, 256, nullptr);
    parser.ReadBOM();
    parser.ReadStringUntilChar('"');
    benchmark::DoNotOptimize(parser.ReadQuotedString('"').size());
  }
  AState.SetBytesProcessed(AState.iterations() * static_cast<std::int64_t>(doc.size()));
}
BENCHMARK(BM_ParserLongValue)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
