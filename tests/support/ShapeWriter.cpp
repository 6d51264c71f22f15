// The nine drawing shapes (see ShapeWriter.h): a frame of prolog, root, metadata
// and closing tag around a body of repeated units, written through a 1 MiB
// buffer to memory, to a plain file or through zlib to a gzip file.
#include "support/ShapeWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace testing_support {

namespace {

constexpr std::size_t cChunk = 1 << 20;

// Collects small writes into chunks for the sink, and counts what was written.
class TChunkedWriter {
 public:
  explicit TChunkedWriter(TByteSink& ASink) : FSink(ASink) { FBuffer.reserve(cChunk); }
  void Put(std::string_view ABytes) {
    FBuffer.append(ABytes);
    FWritten += ABytes.size();
    if (FBuffer.size() >= cChunk) Flush();
  }
  void PutRepeated(char AC, std::uint64_t ACount) {
    while (ACount > 0) {
      const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(ACount, cChunk));
      FBuffer.append(step, AC);
      FWritten += step;
      ACount -= step;
      if (FBuffer.size() >= cChunk) Flush();
    }
  }
  void Flush() {
    if (!FBuffer.empty() && !FSink.Write(FBuffer)) FOk = false;
    FBuffer.clear();
  }
  bool Ok() const { return FOk; }
  std::uint64_t Written() const { return FWritten; }

 private:
  TByteSink& FSink;
  std::string FBuffer;
  std::uint64_t FWritten = 0;
  bool FOk = true;
};

class TFileSink : public TByteSink {
 public:
  TFileSink(const std::filesystem::path& APath, bool AGzip)
      : FOut(APath, std::ios::binary | std::ios::trunc), FGzip(AGzip) {
    if (FGzip) {
      FDeflating = deflateInit2(&FStream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8,
                                Z_DEFAULT_STRATEGY) == Z_OK;
      FPacked.resize(cChunk);
    }
  }
  ~TFileSink() override {
    if (FDeflating) deflateEnd(&FStream);
  }
  TFileSink(const TFileSink&) = delete;
  TFileSink& operator=(const TFileSink&) = delete;

  bool Opened() const { return FOut.good() && (!FGzip || FDeflating); }
  bool Write(std::string_view ABytes) override {
    if (FGzip) return Deflate(ABytes, Z_NO_FLUSH);
    return static_cast<bool>(
        FOut.write(ABytes.data(), static_cast<std::streamsize>(ABytes.size())));
  }
  bool Finish() override {
    if (FGzip && !Deflate({}, Z_FINISH)) return false;
    FOut.flush();
    return FOut.good();
  }

 private:
  bool Deflate(std::string_view ABytes, int AFlush) {
    FStream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(ABytes.data()));
    FStream.avail_in = static_cast<uInt>(ABytes.size());
    for (;;) {
      FStream.next_out = reinterpret_cast<Bytef*>(FPacked.data());
      FStream.avail_out = static_cast<uInt>(FPacked.size());
      const int result = deflate(&FStream, AFlush);
      if (result == Z_STREAM_ERROR) return false;
      const std::size_t packed = FPacked.size() - FStream.avail_out;
      if (packed > 0 && !FOut.write(FPacked.data(), static_cast<std::streamsize>(packed)))
        return false;
      const bool done = AFlush == Z_FINISH ? result == Z_STREAM_END
                                           : FStream.avail_in == 0 && FStream.avail_out != 0;
      if (done) return true;
    }
  }

  std::ofstream FOut;
  bool FGzip;
  z_stream FStream{};
  bool FDeflating = false;
  std::string FPacked;
};

std::string Prolog() {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
         "<!-- Created with bench_shapes -->\n";
}

std::string RootOpen(int ANumber) {
  const std::string n = std::to_string(ANumber);
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\"\n"
         "   xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
         "xmlns:cc=\"http://creativecommons.org/ns#\"\n"
         "   xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"\n"
         "   xmlns:sodipodi=\"http://sodipodi.sourceforge.net/DTD/sodipodi-0.dtd\"\n"
         "   xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\"\n"
         "   version=\"1.1\" width=\"210mm\" height=\"297mm\" viewBox=\"0 0 210 297\" "
         "id=\"shape-" +
         n + "\"\n   inkscape:version=\"1.2 (bench)\" sodipodi:docname=\"shape-" + n + ".svg\"";
}

std::string Escaped(std::string_view AText) {
  std::string out;
  for (char c : AText) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Metadata(const TDrawingShape& AShape) {
  return "<metadata id=\"metadata1\"><rdf:RDF><cc:Work rdf:about=\"\">"
         "<dc:title>Shape " +
         std::to_string(AShape.Number) + "</dc:title><dc:description>" + Escaped(AShape.What) +
         "</dc:description><dc:date>2024-05-06T07:08:09</dc:date>"
         "</cc:Work></rdf:RDF></metadata>\n";
}

constexpr std::string_view cImage = "<image xlink:href=\"data:image/png;base64,AAAA\"/>\n";
constexpr std::string_view cRootEnd = ">\n";
constexpr std::string_view cEnd = "</svg>\n";

// Writes unit(0), unit(1), ... while they fit in budget; returns how many.
template <typename Unit>
std::uint64_t Fill(TChunkedWriter& AOut, std::uint64_t ABudget, Unit AUnit) {
  std::uint64_t count = 0;
  std::uint64_t used = 0;
  for (;;) {
    const std::string_view next = AUnit(count);
    if (used + next.size() > ABudget) return count;
    AOut.Put(next);
    used += next.size();
    ++count;
  }
}

// The body of shapes 1 and 3 to 8 within budget; returns the unit count.
std::uint64_t WriteBody(int ANumber, TChunkedWriter& AOut, std::uint64_t ABudget) {
  switch (ANumber) {
    case 1:
    case 8:
      return Fill(AOut, ABudget, [](std::uint64_t) { return std::string_view("<g/>"); });
    case 3: {
      // Each level costs "<g>" and "</g>".
      const std::uint64_t levels = ABudget / 7;
      for (std::uint64_t i = 0; i < levels; ++i) AOut.Put("<g>");
      for (std::uint64_t i = 0; i < levels; ++i) AOut.Put("</g>");
      return levels;
    }
    case 4:
      return Fill(AOut, ABudget, [](std::uint64_t) { return std::string_view("<!--c-->"); });
    case 5:
      return Fill(AOut, ABudget, [](std::uint64_t) { return std::string_view("<t>x</t>"); });
    case 6:
      return Fill(AOut, ABudget,
                  [](std::uint64_t) { return std::string_view("<path d=\"M0 0L1 1\"/>"); });
    case 7: {
      char path[96];
      return Fill(AOut, ABudget, [&path](std::uint64_t AI) {
        // A second coordinate that jumps about keeps every value distinct and
        // the compressed file large.
        const unsigned long long scrambled = (AI * 2654435761ull) % 9999991ull;
        const int n = std::snprintf(path, sizeof path, "<path d=\"M%llu %lluL1 1\"/>",
                                    static_cast<unsigned long long>(AI), scrambled);
        return std::string_view(path, static_cast<std::size_t>(n));
      });
    }
    default:
      return 0;
  }
}

}  // namespace

const std::vector<TDrawingShape>& DrawingShapes() {
  static const std::vector<TDrawingShape> shapes = {
      {1, "empty elements", "<g/> repeated, an embedded image last", true, 1.0},
      {2, "root attributes", "distinct attributes on the root element", true, 1.0},
      {3, "nested groups", "<g> opened N times, then closed", true, 1.0},
      {4, "comments", "comments inside the root", true, 1.0},
      {5, "text elements", "<t>x</t> repeated", true, 1.0},
      {6, "small paths", "<path d=\"M0 0L1 1\"/> repeated", true, 1.0},
      {7, "distinct paths", "path elements, each d different", true, 1.0},
      {8, "empty elements, plain", "<g/> repeated, plain file at the ceiling", false,
       256.0 / 250.0},
      {9, "zero bytes", "zero bytes only", true, 1.0},
  };
  return shapes;
}

const TDrawingShape* FindDrawingShape(int ANumber) {
  for (const TDrawingShape& shape : DrawingShapes())
    if (shape.Number == ANumber) return &shape;
  return nullptr;
}

std::string ShapeFileName(const TDrawingShape& AShape) {
  return "shape-" + std::to_string(AShape.Number) + (AShape.Gzip ? ".svgz" : ".svg");
}

std::uint64_t ShapeTargetBytes(const TDrawingShape& AShape, double ASizeMiB) {
  return static_cast<std::uint64_t>(ASizeMiB * AShape.SizeFactor * 1024.0 * 1024.0 + 0.5);
}

std::unique_ptr<TByteSink> OpenFileSink(const std::filesystem::path& APath, bool AGzip,
                                        std::string& AError) {
  auto sink = std::make_unique<TFileSink>(APath, AGzip);
  if (!sink->Opened()) {
    AError = "cannot write " + APath.string();
    return nullptr;
  }
  return sink;
}

bool WriteShape(const TDrawingShape& AShape, std::uint64_t ATargetBytes, TByteSink& ASink,
                TShapeOutput& AOutput) {
  TChunkedWriter out(ASink);
  AOutput = TShapeOutput{};
  if (AShape.Number == 9) {
    out.PutRepeated('\0', ATargetBytes);
    AOutput.Count = ATargetBytes;
  } else {
    const std::string prolog = Prolog();
    const std::string root = RootOpen(AShape.Number);
    const std::string metadata = Metadata(AShape);
    const std::string_view tail = AShape.Number == 1 ? cImage : std::string_view();
    const std::uint64_t frame =
        prolog.size() + root.size() + cRootEnd.size() + metadata.size() + tail.size() + cEnd.size();
    const std::uint64_t budget = ATargetBytes > frame ? ATargetBytes - frame : 0;
    out.Put(prolog);
    out.Put(root);
    if (AShape.Number == 2) {
      // The body is the root's own attributes; blanks between them make up the rest.
      const std::uint64_t start = out.Written();
      char attribute[64];
      AOutput.Count = Fill(out, budget, [&attribute](std::uint64_t AI) {
        const int n =
            std::snprintf(attribute, sizeof attribute, " a%08llx=\"%08llx\"",
                          static_cast<unsigned long long>(AI), static_cast<unsigned long long>(AI));
        return std::string_view(attribute, static_cast<std::size_t>(n));
      });
      out.PutRepeated(' ', budget - (out.Written() - start));
      out.Put(cRootEnd);
      out.Put(metadata);
    } else {
      out.Put(cRootEnd);
      out.Put(metadata);
      const std::uint64_t start = out.Written();
      AOutput.Count = WriteBody(AShape.Number, out, budget);
      out.PutRepeated('\n', budget - (out.Written() - start));
    }
    out.Put(tail);
    out.Put(cEnd);
  }
  out.Flush();
  AOutput.InflatedBytes = out.Written();
  return out.Ok() && ASink.Finish();
}

bool WriteShapeFile(const TDrawingShape& AShape, std::uint64_t ATargetBytes,
                    const std::filesystem::path& APath, TShapeOutput& AOutput,
                    std::string& AError) {
  std::unique_ptr<TByteSink> sink = OpenFileSink(APath, AShape.Gzip, AError);
  if (!sink) return false;
  if (!WriteShape(AShape, ATargetBytes, *sink, AOutput)) {
    AError = "cannot write " + APath.string();
    return false;
  }
  return true;
}

}  // namespace testing_support
