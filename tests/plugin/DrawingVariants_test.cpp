// The same drawing in other clothes: every example drawing and fixture written
// again with a UTF-8 byte-order mark, with blank lines before it, and as UTF-16
// little- and big-endian with a mark (its declared encoding rewritten to
// UTF-16), each also gzip-compressed, gives exactly the original's fields
// through the loaded plugin. A UTF-16 drawing whose title's surrogate pairs
// straddle the reader's chunk boundary keeps every character.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Utf8.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testing_support::TPluginHost;
using testing_support::TTempDir;

namespace {

constexpr std::string_view cUtf8Mark = "\xEF\xBB\xBF";

// Every field the plugin answers for a file, each unit of the sizes too, as one
// text; an empty field shows as "-".
std::string Fields(const TPluginHost& AHost, const fs::path& AFile) {
  std::string out;
  for (std::int32_t field = 0; field < 16; ++field) {
    for (std::int32_t unit = 0; unit < (field >= 14 ? 2 : 1); ++unit) {
      const TPluginHost::TAnswer a = AHost.Get(AFile, field, unit, 16384);
      out += std::to_string(field) + "=";
      if (a.Result == ft_stringw)
        out += platform::Utf16ToUtf8(a.Text);
      else if (a.Result > 0)
        out += std::to_string(a.Number);
      else
        out += "-";
      out += "\n";
    }
  }
  return out;
}

// The drawing's text without a UTF-8 mark it may begin with.
std::string_view Bare(std::string_view ABytes) {
  if (ABytes.starts_with(cUtf8Mark)) ABytes.remove_prefix(cUtf8Mark.size());
  return ABytes;
}

// The XML declaration's encoding, if the text begins with one that names it,
// set to UTF-16.
std::string DeclaringUtf16(std::string_view AText) {
  std::string text(AText);
  if (!text.starts_with("<?xml")) return text;
  const std::size_t end = text.find("?>");
  const std::size_t at = text.find("encoding", 0);
  if (end == std::string::npos || at == std::string::npos || at > end) return text;
  const std::size_t open = text.find_first_of("\"'", at);
  const std::size_t close = open == std::string::npos ? open : text.find(text[open], open + 1);
  if (close == std::string::npos || close > end) return text;
  return text.replace(open + 1, close - open - 1, "UTF-16");
}

// UTF-16 with a byte-order mark; the UTF-8 text is decoded as the plugin decodes
// what it reports, so ill-formed bytes give the same U+FFFD either way.
std::string Utf16WithMark(std::string_view AText, bool ABigEndian) {
  std::string out = ABigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t unit : utf8::ToUtf16(AText)) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    out += ABigEndian ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

struct TVariant {
  std::string Label;
  std::string Bytes;
};

std::vector<TVariant> VariantsOf(std::string_view ABytes) {
  const std::string_view bare = Bare(ABytes);
  std::vector<TVariant> variants = {
      {"UTF-8 mark", std::string(cUtf8Mark) + std::string(bare)},
      {"blank lines first", "\r\n\n  \t\n" + std::string(bare)},
      {"UTF-16LE with a mark", Utf16WithMark(DeclaringUtf16(bare), false)},
      {"UTF-16BE with a mark", Utf16WithMark(DeclaringUtf16(bare), true)},
  };
  for (std::size_t i = 0, n = variants.size(); i < n; ++i)
    variants.push_back({variants[i].Label + ", gzip", testing_support::Gzip(variants[i].Bytes)});
  return variants;
}

std::vector<fs::path> Drawings() {
  const fs::path root(VX_SOURCE_DIR);
  std::vector<fs::path> files;
  for (const fs::path& folder :
       {root / "examples", root / "scripts" / "example-sources", root / "tests" / "fixtures"})
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.is_regular_file() && entry.path().extension() == ".svg")
        files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

TEST(DrawingVariants, OtherClothesGiveTheSameFields) {
  TPluginHost host;
  ASSERT_TRUE(host.Loaded());
  TTempDir dir;
  const std::vector<fs::path> drawings = Drawings();
  ASSERT_GE(drawings.size(), 10u);
  for (const fs::path& drawing : drawings) {
    SCOPED_TRACE(drawing.filename().string());
    const std::string bytes = testing_support::ReadFile(drawing);
    const std::string expected = Fields(host, drawing);
    ASSERT_NE(expected.find("6="), std::string::npos);
    int n = 0;
    for (const TVariant& variant : VariantsOf(bytes)) {
      SCOPED_TRACE(variant.Label);
      const bool gzip = variant.Label.ends_with("gzip");
      const fs::path file =
          dir.Write(drawing.stem().string() + "-" + std::to_string(n++) + (gzip ? ".svgz" : ".svg"),
                    variant.Bytes);
      EXPECT_EQ(Fields(host, file), expected);
    }
  }
}

// The reader takes UTF-16 in chunks; wherever a chunk ends, a character beyond
// the basic plane stays one character. The title's pairs run across the first
// chunk boundaries the reader may use (every even byte offset near 64 KiB).
TEST(DrawingVariants, Utf16PairsSplitAcrossTheReadersChunks) {
  TPluginHost host;
  ASSERT_TRUE(host.Loaded());
  TTempDir dir;
  std::string title;
  for (int i = 0; i < 1500; ++i) title += "\xF0\x9F\x98\x80";  // U+1F600, a pair in UTF-16
  const std::string tail = "</dc:title></cc:Work></rdf:RDF></metadata></svg>\n";
  for (int shift = 0; shift < 2; ++shift) {
    SCOPED_TRACE(shift);
    std::string head =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg width=\"3in\" height=\"2in\">\n<!-- ";
    const std::string open = " -->\n<metadata><rdf:RDF><cc:Work><dc:title>";
    // The title starts 4 KiB before the 64 KiB mark (two bytes per code unit,
    // a mark first), one code unit later for the second drawing.
    const std::size_t titleUnit = (65536 - 4096) / 2 - 1 + static_cast<std::size_t>(shift);
    head += std::string(titleUnit - head.size() - open.size(), 'x') + open;
    const std::string text = head + title + tail;
    const fs::path utf8 = dir.Write("title-" + std::to_string(shift) + ".svg", text);
    const fs::path utf16 = dir.Write("title16-" + std::to_string(shift) + ".svg",
                                     Utf16WithMark(DeclaringUtf16(text), shift == 1));
    const TPluginHost::TAnswer got = host.Get(utf16, 11, 0, 65536);
    ASSERT_EQ(got.Result, ft_stringw);
    EXPECT_EQ(got.Text, utf8::ToUtf16(title));
    EXPECT_EQ(Fields(host, utf16), Fields(host, utf8));
    const fs::path gzip = dir.Write("title16-" + std::to_string(shift) + ".svgz",
                                    testing_support::Gzip(testing_support::ReadFile(utf16)));
    EXPECT_EQ(Fields(host, gzip), Fields(host, utf8));
  }
}
