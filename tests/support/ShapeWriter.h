// The drawing shapes of bench_shapes: nine hostile but valid drawings, each made
// at an exact inflated size, gzip-compressed or plain, and streamed, so a drawing
// at the 256 MiB input ceiling never sits in memory while it is written. The
// plugin test of the shapes' fields writes the same shapes small.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

struct TDrawingShape {
  int Number;         // 1..9
  const char* Name;   // short, for tables
  const char* What;   // one line, also the drawing's metadata description
  bool Gzip;          // written as .svgz (gzip) or .svg (plain)
  double SizeFactor;  // inflated size = SizeFactor × the chosen size
};

// Every drawing but shape 9 (zero bytes only) is a complete document: an XML
// declaration, a "Created with bench_shapes" comment, an <svg> root with version
// 1.1, width 210mm, height 297mm, viewBox "0 0 210 297", id "shape-N",
// inkscape:version "1.2 (bench)" and sodipodi:docname "shape-N.svg", RDF metadata
// (title "Shape N", the shape's What as description, date 2024-05-06T07:08:09),
// the repeated body, and for shape 1 an embedded image just before </svg>.
const std::vector<TDrawingShape>& DrawingShapes();
const TDrawingShape* FindDrawingShape(int ANumber);

// "shape-N.svgz", or "shape-N.svg" for a plain shape.
std::string ShapeFileName(const TDrawingShape& AShape);

// Inflated bytes of a shape for a chosen size in MiB: 250 is the full size, just
// under the plugin's 256 MiB ceiling; the plain shape 8 is 256/250 of it.
std::uint64_t ShapeTargetBytes(const TDrawingShape& AShape, double ASizeMiB);

// Where a shape's bytes go.
class TByteSink {
 public:
  virtual ~TByteSink() = default;
  virtual bool Write(std::string_view ABytes) = 0;
  virtual bool Finish() { return true; }
};

// Keeps the bytes in memory.
class TStringSink : public TByteSink {
 public:
  bool Write(std::string_view ABytes) override {
    FText.append(ABytes);
    return true;
  }
  const std::string& Text() const { return FText; }

 private:
  std::string FText;
};

// Writes to a file, plain or gzip-compressed (zlib's default level); null with
// the reason in error when the file cannot be created.
std::unique_ptr<TByteSink> OpenFileSink(const std::filesystem::path& APath, bool AGzip,
                                        std::string& AError);

struct TShapeOutput {
  std::uint64_t InflatedBytes = 0;  // the target exactly, unless the frame alone is larger
  std::uint64_t Count = 0;          // elements, attributes, comments, levels or zero bytes
};

// Writes the uncompressed text of a shape of exactly targetBytes bytes: the body
// is as many whole units as fit, whitespace makes up the rest. A target smaller
// than the shape's frame gets the frame alone. False when the sink fails.
bool WriteShape(const TDrawingShape& AShape, std::uint64_t ATargetBytes, TByteSink& ASink,
                TShapeOutput& AOutput);

// The same into a file, gzip-compressed when the shape says so.
bool WriteShapeFile(const TDrawingShape& AShape, std::uint64_t ATargetBytes,
                    const std::filesystem::path& APath, TShapeOutput& AOutput, std::string& AError);

}  // namespace testing_support
