// Writes the probe drawings of scripts/check-cross-platform: names and texts a
// corpus of ASCII-named UTF-8 files never shows, for the Linux and the Windows
// host tools to read alike. Usage: make_cross_probes PROBE_FOLDER LONG_FOLDER.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "support/ZipFixture.h"

namespace fs = std::filesystem;
using testing_support::Entry;
using testing_support::Gzip;
using testing_support::MakeZip;
using testing_support::TZipFixtureEntry;

namespace {

// One instant for every probe, so that nothing depends on when they were made.
const fs::file_time_type cTime = fs::file_time_type::clock::from_sys(
    std::chrono::sys_seconds(std::chrono::sys_days(std::chrono::year(2021) / 6 / 1)) +
    std::chrono::hours(12));

void Write(const fs::path& APath, std::string_view ABytes) {
  fs::create_directories(APath.parent_path());
  std::ofstream out(APath, std::ios::binary | std::ios::trunc);
  out.write(ABytes.data(), static_cast<std::streamsize>(ABytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + APath.string());
  fs::last_write_time(APath, cTime);
}

// UTF-16 bytes of a text, in either order, with or without a byte-order mark.
std::string Utf16(std::u16string_view AText, bool ABigEndian, bool AMark) {
  std::u16string text = AMark ? u"\uFEFF" : u"";
  text += AText;
  std::string out;
  for (char16_t c : text) {
    const char high = static_cast<char>(c >> 8);
    const char low = static_cast<char>(c & 0xFF);
    out += ABigEndian ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

std::string Drawing(std::string_view AId, std::string_view ATitle = "") {
  std::string svg = "<svg version=\"1.1\" id=\"" + std::string(AId) +
                    "\" width=\"20mm\" height=\"1in\" viewBox=\"0 0 20 25\">";
  if (!ATitle.empty())
    svg += "<metadata><rdf:RDF><cc:Work><dc:title>" + std::string(ATitle) +
           "</dc:title></cc:Work></rdf:RDF></metadata>";
  return svg + "</svg>";
}

// A ZIP archive named ANameUtf8 + ".svgz" holding its drawing under the stored
// name bytes AEntryName (UTF-8 when AUtf8Flag, else code page 437).
void WriteArchive(const fs::path& AFolder, const std::string& ANameUtf8,
                  const std::string& AEntryName, bool AUtf8Flag, std::string_view AId) {
  TZipFixtureEntry entry = Entry(AEntryName, Drawing(AId, AId), true);
  if (AUtf8Flag) entry.Flags = 0x0800;
  Write(AFolder / (ANameUtf8 + ".svgz"), MakeZip({Entry("other.svg", Drawing("other")), entry}));
}

// The characters of the bytes 80 to FF of code page 437, in four quarters, as
// Windows and ZIP tools read them.
const std::u16string_view cCodePage437[4] = {
    u"\u00C7\u00FC\u00E9\u00E2\u00E4\u00E0\u00E5\u00E7"
    u"\u00EA\u00EB\u00E8\u00EF\u00EE\u00EC\u00C4\u00C5"
    u"\u00C9\u00E6\u00C6\u00F4\u00F6\u00F2\u00FB\u00F9"
    u"\u00FF\u00D6\u00DC\u00A2\u00A3\u00A5\u20A7\u0192",
    u"\u00E1\u00ED\u00F3\u00FA\u00F1\u00D1\u00AA\u00BA"
    u"\u00BF\u2310\u00AC\u00BD\u00BC\u00A1\u00AB\u00BB"
    u"\u2591\u2592\u2593\u2502\u2524\u2561\u2562\u2556"
    u"\u2555\u2563\u2551\u2557\u255D\u255C\u255B\u2510",
    u"\u2514\u2534\u252C\u251C\u2500\u253C\u255E\u255F"
    u"\u255A\u2554\u2569\u2566\u2560\u2550\u256C\u2567"
    u"\u2568\u2564\u2565\u2559\u2558\u2552\u2553\u256B"
    u"\u256A\u2518\u250C\u2588\u2584\u258C\u2590\u2580",
    u"\u03B1\u00DF\u0393\u03C0\u03A3\u03C3\u00B5\u03C4"
    u"\u03A6\u0398\u03A9\u03B4\u221E\u03C6\u03B5\u2229"
    u"\u2261\u00B1\u2265\u2264\u2320\u2321\u00F7\u2248"
    u"\u00B0\u2219\u00B7\u221A\u207F\u00B2\u25A0\u00A0",
};

void WriteProbes(const fs::path& AFolder) {
  // Names beyond ASCII: composed and decomposed, and outside the Latin script.
  Write(AFolder / "caf\xC3\xA9.svg",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!-- Created with \xC3\x89"
        "diteur 1.0 -->\n"
        "<svg version=\"1.1\" id=\"caf\xC3\xA9\" width=\"210mm\" height=\"297mm\" "
        "viewBox=\"0 0 210 297\" sodipodi:docname=\"caf\xC3\xA9.svg\">"
        "<metadata><rdf:RDF><cc:Work><dc:title>Caf\xC3\xA9 au lait</dc:title>"
        "<dc:description>Tasse \xC3\xA0 caf\xC3\xA9 \xE2\x80\x94 \xC2\xABnoir\xC2\xBB"
        "</dc:description><dc:date>2024-05-06T07:08:09</dc:date></cc:Work></rdf:RDF>"
        "</metadata></svg>\n");
  Write(AFolder / "cafe\xCC\x81.svg", Drawing("decomposed"));
  Write(AFolder / "\xE5\x9B\xB3\xE9\x9D\xA2.svg",
        Drawing("\xE5\x9B\xB3\xE9\x9D\xA2", "\xE8\xA8\xAD\xE8\xA8\x88\xE5\x9B\xB3"));
  Write(AFolder / "a b (1).svg", Drawing("blanks"));

  // Names differing only in case, of one size and time: only the name tells them apart.
  Write(AFolder / "Pair.svg", "<svg id=\"upper\"/>");
  Write(AFolder / "pair.svg", "<svg id=\"lower\"/>");

  // A title on its own line and a description over several lines, written with
  // CR LF, LF and CR: each line break is LF on Linux, CR LF on Windows.
  Write(AFolder / "lines.svg",
        "<svg id=\"lines\">\r\n  <title>\r\n    Lemon tree\r\n  </title>\r\n"
        "  <desc>one\r\ntwo\nthree\rfour</desc>\r\n</svg>\r\n");

  // Upper-case extensions.
  Write(AFolder / "UPPER.SVG", Drawing("upper-extension"));
  Write(AFolder / "Packed.SVGZ", Gzip(Drawing("gzip", "packed")));

  // Ill-formed UTF-8 in attributes, the metadata and the comment. Each literal
  // ends after an escape so the next character is not read as a hex digit.
  Write(AFolder / "broken-utf8.svg",
        "<!-- Created with Tool \xED\xA0\xBD\xED\xB8\x80 -->"
        "<svg version=\"1.\xC0\xAF\" id=\"A\xF4\x90\x80\x80"
        "B\" width=\"\x80\xBF"
        "\" height=\"\xE2\x82\" viewBox=\"0 0 \xF5\x80 1\" inkscape:version=\"\xF0\x9F\x98\" "
        "sodipodi:docbase=\"\xE0\x80\xAF\xF0\x80\x80\xAF\" sodipodi:docname=\"\xFE\xFF.svg\">"
        "<metadata><rdf:RDF><cc:Work><dc:title>x\xF0\x9F\x98</dc:title>"
        "<dc:description>\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF"
        "d</dc:description>"
        "<dc:date>2020\xC3T\xED\x9F\xBF</dc:date></cc:Work></rdf:RDF></metadata></svg>");

  // Texts of an 8-bit code page the drawing declares.
  std::string cp1252 =
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?><svg id=\"cp1252\">"
      "<metadata><rdf:RDF><cc:Work><dc:title>";
  for (int b = 0x80; b < 0x100; ++b)
    if (b != '<' && b != '&') cp1252.push_back(static_cast<char>(b));
  cp1252 += "</dc:title></cc:Work></rdf:RDF></metadata></svg>";
  Write(AFolder / "cp1252.svg", cp1252);

  // UTF-16 drawings, with a byte-order mark in either order and without one;
  // and UTF-8 with a mark and blank lines before the declaration.
  const std::u16string utf16 =
      u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><svg id=\"utf16\" width=\"3cm\" height=\"2cm\">"
      u"<metadata><rdf:RDF><cc:Work><dc:title>\u00C9t\u00E9 \u56F3 \U0001F600</dc:title>"
      u"</cc:Work></rdf:RDF></metadata></svg>";
  Write(AFolder / "utf16le-bom.svg", Utf16(utf16, false, true));
  Write(AFolder / "utf16be-bom.svg", Utf16(utf16, true, true));
  Write(AFolder / "utf16le.svg", Utf16(utf16, false, false));
  Write(AFolder / "utf8-bom.svg",
        "\xEF\xBB\xBF\r\n\r\n<?xml version=\"1.0\"?>" + Drawing("utf8-bom", "Mark \xE2\x9C\x93"));

  // ZIP entries: a name in code page 437, one flagged as UTF-8, one flagged as
  // UTF-8 but ill-formed, and every upper byte of code page 437 in four names.
  WriteArchive(AFolder, "\xC3\x84rger", "\x8Erger.svg", false, "cp437");
  WriteArchive(AFolder,
               "Stra\xC3\x9F"
               "e",
               "Stra\xC3\x9F"
               "e.svg",
               true, "utf8-name");
  WriteArchive(AFolder, "zip-broken-\xEF\xBF\xBD\xEF\xBF\xBD", "zip-broken-\xF4\x90.svg", true,
               "ill-formed-name");
  for (int quarter = 0; quarter < 4; ++quarter) {
    const std::string label = "cp437-" + std::to_string(quarter + 1);
    std::string bytes = label + " ";
    for (int b = 0x80 + quarter * 0x20; b < 0xA0 + quarter * 0x20; ++b)
      bytes.push_back(static_cast<char>(b));
    WriteArchive(AFolder, label + " " + platform::Utf16ToUtf8(cCodePage437[quarter]),
                 bytes + ".svg", false, label);
  }
}

// A drawing whose full path passes the short limit of Windows paths.
void WriteLongPath(const fs::path& AFolder) {
  fs::path folder = AFolder;
  for (int i = 0; i < 6; ++i) folder /= std::string(50, static_cast<char>('a' + i));
  Write(folder / "Long Drawing.svg", Drawing("long-path", "deep down"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_cross_probes PROBE_FOLDER LONG_FOLDER\n");
    return 2;
  }
  try {
    WriteProbes(argv[1]);
    WriteLongPath(argv[2]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_cross_probes: %s\n", error.what());
    return 1;
  }
  return 0;
}
