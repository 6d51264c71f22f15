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

constexpr std::size_t kChunk = 1 << 20;

// Collects small writes into chunks for the sink, and counts what was written.
class ChunkedWriter {
 public:
  explicit ChunkedWriter(ByteSink& sink) : FSink(sink) { FBuffer.reserve(kChunk); }
  void Put(std::string_view bytes) {
    FBuffer.append(bytes);
    FWritten += bytes.size();
    if (FBuffer.size() >= kChunk) Flush();
  }
  void PutRepeated(char c, std::uint64_t count) {
    while (count > 0) {
      const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(count, kChunk));
      FBuffer.append(step, c);
      FWritten += step;
      count -= step;
      if (FBuffer.size() >= kChunk) Flush();
    }
  }
  void Flush() {
    if (!FBuffer.empty() && !FSink.Write(FBuffer)) FOk = false;
    FBuffer.clear();
  }
  bool Ok() const { return FOk; }
  std::uint64_t Written() const { return FWritten; }

 private:
  ByteSink& FSink;
  std::string FBuffer;
  std::uint64_t FWritten = 0;
  bool FOk = true;
};

class FileSink : public ByteSink {
 public:
  FileSink(const std::filesystem::path& path, bool gzip)
      : FOut(path, std::ios::binary | std::ios::trunc), FGzip(gzip) {
    if (FGzip) {
      FDeflating = deflateInit2(&FStream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8,
                                Z_DEFAULT_STRATEGY) == Z_OK;
      FPacked.resize(kChunk);
    }
  }
  ~FileSink() override {
    if (FDeflating) deflateEnd(&FStream);
  }
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  bool Opened() const { return FOut.good() && (!FGzip || FDeflating); }
  bool Write(std::string_view bytes) override {
    if (FGzip) return Deflate(bytes, Z_NO_FLUSH);
    return static_cast<bool>(FOut.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
  }
  bool Finish() override {
    if (FGzip && !Deflate({}, Z_FINISH)) return false;
    FOut.flush();
    return FOut.good();
  }

 private:
  bool Deflate(std::string_view bytes, int flush) {
    FStream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    FStream.avail_in = static_cast<uInt>(bytes.size());
    for (;;) {
      FStream.next_out = reinterpret_cast<Bytef*>(FPacked.data());
      FStream.avail_out = static_cast<uInt>(FPacked.size());
      const int result = deflate(&FStream, flush);
      if (result == Z_STREAM_ERROR) return false;
      const std::size_t packed = FPacked.size() - FStream.avail_out;
      if (packed > 0 && !FOut.write(FPacked.data(), static_cast<std::streamsize>(packed)))
        return false;
      const bool done = flush == Z_FINISH ? result == Z_STREAM_END
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

std::string RootOpen(int number) {
  const std::string n = std::to_string(number);
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

std::string Escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
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

std::string Metadata(const DrawingShape& shape) {
  return "<metadata id=\"metadata1\"><rdf:RDF><cc:Work rdf:about=\"\">"
         "<dc:title>Shape " +
         std::to_string(shape.Number) + "</dc:title><dc:description>" + Escaped(shape.What) +
         "</dc:description><dc:date>2024-05-06T07:08:09</dc:date>"
         "</cc:Work></rdf:RDF></metadata>\n";
}

constexpr std::string_view kImage = "<image xlink:href=\"data:image/png;base64,AAAA\"/>\n";
constexpr std::string_view kRootEnd = ">\n";
constexpr std::string_view kEnd = "</svg>\n";

// Writes unit(0), unit(1), ... while they fit in budget; returns how many.
template <typename Unit>
std::uint64_t Fill(ChunkedWriter& out, std::uint64_t budget, Unit unit) {
  std::uint64_t count = 0;
  std::uint64_t used = 0;
  for (;;) {
    const std::string_view next = unit(count);
    if (used + next.size() > budget) return count;
    out.Put(next);
    used += next.size();
    ++count;
  }
}

// The body of shapes 1 and 3 to 8 within budget; returns the unit count.
std::uint64_t WriteBody(int number, ChunkedWriter& out, std::uint64_t budget) {
  switch (number) {
    case 1:
    case 8:
      return Fill(out, budget, [](std::uint64_t) { return std::string_view("<g/>"); });
    case 3: {
      // Each level costs "<g>" and "</g>".
      const std::uint64_t levels = budget / 7;
      for (std::uint64_t i = 0; i < levels; ++i) out.Put("<g>");
      for (std::uint64_t i = 0; i < levels; ++i) out.Put("</g>");
      return levels;
    }
    case 4:
      return Fill(out, budget, [](std::uint64_t) { return std::string_view("<!--c-->"); });
    case 5:
      return Fill(out, budget, [](std::uint64_t) { return std::string_view("<t>x</t>"); });
    case 6:
      return Fill(out, budget,
                  [](std::uint64_t) { return std::string_view("<path d=\"M0 0L1 1\"/>"); });
    case 7: {
      char path[96];
      return Fill(out, budget, [&path](std::uint64_t i) {
        // A second coordinate that jumps about keeps every value distinct and
        // the compressed file large.
        const unsigned long long scrambled = (i * 2654435761ull) % 9999991ull;
        const int n = std::snprintf(path, sizeof path, "<path d=\"M%llu %lluL1 1\"/>",
                                    static_cast<unsigned long long>(i), scrambled);
        return std::string_view(path, static_cast<std::size_t>(n));
      });
    }
    default:
      return 0;
  }
}

}  // namespace

const std::vector<DrawingShape>& DrawingShapes() {
  static const std::vector<DrawingShape> shapes = {
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

const DrawingShape* FindDrawingShape(int number) {
  for (const DrawingShape& shape : DrawingShapes())
    if (shape.Number == number) return &shape;
  return nullptr;
}

std::string ShapeFileName(const DrawingShape& shape) {
  return "shape-" + std::to_string(shape.Number) + (shape.Gzip ? ".svgz" : ".svg");
}

std::uint64_t ShapeTargetBytes(const DrawingShape& shape, double sizeMiB) {
  return static_cast<std::uint64_t>(sizeMiB * shape.SizeFactor * 1024.0 * 1024.0 + 0.5);
}

std::unique_ptr<ByteSink> OpenFileSink(const std::filesystem::path& path, bool gzip,
                                       std::string& error) {
  auto sink = std::make_unique<FileSink>(path, gzip);
  if (!sink->Opened()) {
    error = "cannot write " + path.string();
    return nullptr;
  }
  return sink;
}

bool WriteShape(const DrawingShape& shape, std::uint64_t targetBytes, ByteSink& sink,
                ShapeOutput& output) {
  ChunkedWriter out(sink);
  output = ShapeOutput{};
  if (shape.Number == 9) {
    out.PutRepeated('\0', targetBytes);
    output.Count = targetBytes;
  } else {
    const std::string prolog = Prolog();
    const std::string root = RootOpen(shape.Number);
    const std::string metadata = Metadata(shape);
    const std::string_view tail = shape.Number == 1 ? kImage : std::string_view();
    const std::uint64_t frame =
        prolog.size() + root.size() + kRootEnd.size() + metadata.size() + tail.size() + kEnd.size();
    const std::uint64_t budget = targetBytes > frame ? targetBytes - frame : 0;
    out.Put(prolog);
    out.Put(root);
    if (shape.Number == 2) {
      // The body is the root's own attributes; blanks between them make up the rest.
      const std::uint64_t start = out.Written();
      char attribute[64];
      output.Count = Fill(out, budget, [&attribute](std::uint64_t i) {
        const int n =
            std::snprintf(attribute, sizeof attribute, " a%08llx=\"%08llx\"",
                          static_cast<unsigned long long>(i), static_cast<unsigned long long>(i));
        return std::string_view(attribute, static_cast<std::size_t>(n));
      });
      out.PutRepeated(' ', budget - (out.Written() - start));
      out.Put(kRootEnd);
      out.Put(metadata);
    } else {
      out.Put(kRootEnd);
      out.Put(metadata);
      const std::uint64_t start = out.Written();
      output.Count = WriteBody(shape.Number, out, budget);
      out.PutRepeated('\n', budget - (out.Written() - start));
    }
    out.Put(tail);
    out.Put(kEnd);
  }
  out.Flush();
  output.InflatedBytes = out.Written();
  return out.Ok() && sink.Finish();
}

bool WriteShapeFile(const DrawingShape& shape, std::uint64_t targetBytes,
                    const std::filesystem::path& path, ShapeOutput& output, std::string& error) {
  std::unique_ptr<ByteSink> sink = OpenFileSink(path, shape.Gzip, error);
  if (!sink) return false;
  if (!WriteShape(shape, targetBytes, *sink, output)) {
    error = "cannot write " + path.string();
    return false;
  }
  return true;
}

}  // namespace testing_support
