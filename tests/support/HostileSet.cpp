// The hostile set (see HostileSet.h): each item written by a function of its
// own, streamed to disk where it is large. The bombs are built without
// compressing what they inflate to: one block of blanks, compressed once and
// ended by a full flush (so it refers to nothing before it), is repeated.
#include "support/HostileSet.h"

#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <system_error>

#include "support/ShapeWriter.h"
#include "support/ZipFixture.h"

namespace fs = std::filesystem;

namespace testing_support {

namespace {

constexpr const char* cRoot =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"10\" height=\"20\"";

bool WriteBytes(const fs::path& APath, const std::string& ABytes) {
  std::ofstream out(APath, std::ios::binary | std::ios::trunc);
  out.write(ABytes.data(), static_cast<std::streamsize>(ABytes.size()));
  return static_cast<bool>(out);
}

// AHead, then ACount bytes of AFill (in pieces), then ATail.
bool WriteLong(const fs::path& APath, const std::string& AHead, const std::string& AFill,
               std::uint64_t ACount, const std::string& ATail) {
  std::ofstream out(APath, std::ios::binary | std::ios::trunc);
  out << AHead;
  std::string piece;
  while (piece.size() < (1u << 20)) piece += AFill;
  piece.resize(piece.size() - piece.size() % AFill.size());
  for (std::uint64_t left = ACount; left > 0 && out;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, piece.size()));
    out.write(piece.data(), static_cast<std::streamsize>(n));
    left -= n;
  }
  out << ATail;
  return static_cast<bool>(out);
}

// Compressed data that inflates to AHead, ABlocks MiB of blanks and ATail: raw
// deflate (AWindowBits -15) or a gzip member (31). The CRC-32 and the length
// are those of the whole text.
struct TBomb {
  std::string Packed;
  std::uint32_t Crc = 0;
  std::uint64_t Length = 0;
};

TBomb MakeBomb(const std::string& AHead, std::uint64_t ABlocks, const std::string& ATail,
               int AWindowBits) {
  const std::string block(1u << 20, ' ');
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, AWindowBits, 9, Z_DEFAULT_STRATEGY);
  auto pack = [&](const std::string& AText, int AFlush) {
    std::string out(deflateBound(&z, static_cast<uLong>(AText.size())) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(AText.data()));
    z.avail_in = static_cast<uInt>(AText.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, AFlush);
    out.resize(out.size() - z.avail_out);
    return out;
  };
  TBomb bomb;
  const std::string head = pack(AHead, Z_FULL_FLUSH);
  const std::string repeated = pack(block, Z_FULL_FLUSH);
  std::string tail = pack(ATail, Z_FINISH);
  deflateEnd(&z);
  auto crcOf = [](const std::string& AText) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(AText.data()), static_cast<uInt>(AText.size())));
  };
  const std::uint32_t blockCrc = crcOf(block);
  bomb.Crc = crcOf(AHead);
  bomb.Packed = head;
  for (std::uint64_t i = 0; i < ABlocks; ++i) {
    bomb.Packed += repeated;
    bomb.Crc = static_cast<std::uint32_t>(
        crc32_combine(bomb.Crc, blockCrc, static_cast<z_off_t>(block.size())));
  }
  bomb.Crc = static_cast<std::uint32_t>(
      crc32_combine(bomb.Crc, crcOf(ATail), static_cast<z_off_t>(ATail.size())));
  bomb.Length = AHead.size() + ABlocks * block.size() + ATail.size();
  if (AWindowBits > 15) {
    // deflate wrote the gzip trailer for the text it saw; the whole text's goes
    // in its place.
    tail.resize(tail.size() - 8);
    for (std::uint32_t value : {bomb.Crc, static_cast<std::uint32_t>(bomb.Length)})
      for (int i = 0; i < 4; ++i) tail += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  bomb.Packed += tail;
  return bomb;
}

std::string Utf16Le(const std::u16string& AText) {
  std::string out = "\xFF\xFE";
  for (char16_t c : AText) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

struct TWriter {
  const char* Name;
  THostileKind Kind;
  const char* What;
  std::function<bool(const fs::path&, const THostileSizes&)> Write;
};

const std::vector<TWriter>& Writers() {
  static const std::vector<TWriter> writers = {
    {"huge-attribute.svg", THostileKind::hkDrawing, "a width of 64 MiB of digits",
     [](const fs::path& APath, const THostileSizes& ASizes) {
       return WriteLong(APath, "<svg xmlns=\"http://www.w3.org/2000/svg\" height=\"5\" width=\"",
                        "1234567890", ASizes.HugeAttributeBytes, "\"/>");
     }},
    {"huge-text.svg", THostileKind::hkDrawing, "a title of 16 MiB of two-byte characters",
     [](const fs::path& APath, const THostileSizes& ASizes) {
       return WriteLong(APath, std::string(cRoot) + "><title>", "\xC3\xA9", ASizes.HugeTextBytes,
                        "</title></svg>");
     }},
    {"huge-comment.svg", THostileKind::hkDrawing, "a generator comment of 16 MiB in the root",
     [](const fs::path& APath, const THostileSizes& ASizes) {
       return WriteLong(APath, std::string(cRoot) + "><!-- Created with ", "Tool ",
                        ASizes.HugeTextBytes, "--></svg>");
     }},
    {"entity-flood.svg", THostileKind::hkDrawing,
     "nested entities of a billion characters, a title of a million references",
     [](const fs::path& APath, const THostileSizes&) {
       std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE svg [\n<!ENTITY e0 \"lol\">\n";
       for (int i = 1; i < 10; ++i) {
         text += "<!ENTITY e" + std::to_string(i) + " \"";
         for (int k = 0; k < 10; ++k) text += "&e" + std::to_string(i - 1) + ";";
         text += "\">\n";
       }
       text += "]>\n" + std::string(cRoot) + " id=\"&e9;\"><desc>&e9;</desc><title>";
       for (int i = 0; i < 1000000; ++i) text += i % 2 ? "&amp;" : "&#x1F600;";
       return WriteBytes(APath, text + "</title></svg>");
     }},
    {"gzip-bomb.svgz", THostileKind::hkDrawing, "1 MiB of gzip that inflates to 1 GiB of blanks",
     [](const fs::path& APath, const THostileSizes& ASizes) {
       return WriteBytes(
           APath, MakeBomb(std::string(cRoot) + ">", ASizes.BombBytes >> 20, "</svg>", 31).Packed);
     }},
    {"zip-bomb.svgz", THostileKind::hkDrawing, "a ZIP entry that inflates to 1 GiB of blanks",
     [](const fs::path& APath, const THostileSizes& ASizes) {
       TBomb bomb = MakeBomb(std::string(cRoot) + ">", ASizes.BombBytes >> 20, "</svg>", -15);
       TZipFixtureEntry entry;
       entry.Name = "zip-bomb.svg";
       entry.Data = std::move(bomb.Packed);
       entry.RawDeflated = true;
       entry.Crc = bomb.Crc;
       entry.UncompressedSize = static_cast<std::uint32_t>(bomb.Length);
       return WriteBytes(APath, MakeZip({entry}));
     }},
    {"zip-size-lies.svgz", THostileKind::hkDrawing,
     "a ZIP entry that says 100 bytes and inflates to 1 GiB",
     [](const fs::path& APath, const THostileSizes& ASizes) {
       TBomb bomb = MakeBomb(std::string(cRoot) + ">", ASizes.BombBytes >> 20, "</svg>", -15);
       TZipFixtureEntry entry;
       entry.Name = "zip-size-lies.svg";
       entry.Data = std::move(bomb.Packed);
       entry.RawDeflated = true;
       entry.Crc = bomb.Crc;
       entry.UncompressedSize = 100;
       return WriteBytes(APath, MakeZip({entry}));
     }},
    {"truncated.svgz", THostileKind::hkDrawing, "gzip data cut in the middle",
     [](const fs::path& APath, const THostileSizes&) {
       std::string text = std::string(cRoot) + "><title>cut</title>";
       for (int i = 0; i < 20000; ++i) text += "<g id=\"g" + std::to_string(i) + "\"/>";
       std::string packed = MakeBomb(text + "</svg>", 0, "", 31).Packed;
       return WriteBytes(APath, packed.substr(0, packed.size() / 2));
     }},
    {"truncated-zip.svgz", THostileKind::hkDrawing, "a ZIP entry whose data is cut short",
     [](const fs::path& APath, const THostileSizes&) {
       std::string text = std::string(cRoot) + "><title>cut</title>";
       for (int i = 0; i < 20000; ++i) text += "<g id=\"g" + std::to_string(i) + "\"/>";
       TZipFixtureEntry entry = Entry("truncated-zip.svg", text + "</svg>", true);
       entry.CutCompressed = 1000;
       return WriteBytes(APath, MakeZip({entry}));
     }},
    {"invalid-utf8.svg", THostileKind::hkDrawing,
     "ill-formed UTF-8 in attributes, a title and a comment",
     [](const fs::path& APath, const THostileSizes&) {
       std::string bad = "\xFF\xFE\xC0\x80\xED\xA0\x80\xF4\x90\x80\x80\xE2\x82";
       std::string title;
       for (int i = 0; i < 100000; ++i) title += static_cast<char>(0x80 + i % 0x80);
       return WriteBytes(APath, "<!-- Created with " + bad + " -->" + cRoot + " id=\"" + bad +
                                    "\" viewBox=\"0 0 " + bad + "\"><title>" + title +
                                    "</title><desc>\xE2\x82</desc></svg>\xF0\x9F");
     }},
    {"lone-surrogates.svg", THostileKind::hkDrawing,
     "UTF-16 with lone surrogates in attributes and texts, a first half at the end",
     [](const fs::path& APath, const THostileSizes&) {
       std::u16string title;
       for (int i = 0; i < 5000; ++i) title += i % 3 ? u'\xD83D' : u'\xDE00';
       return WriteBytes(APath, Utf16Le(u"<svg id=\"\xD800\" width=\"1\xDC00\" height=\"2\">"
                                        u"<!-- Created with \xDBFF -->"
                                        u"<title>" +
                                        title +
                                        u"</title><desc>x\xD83D</desc>"
                                        u"</svg>\xD83D"));
     }},
    {"nul-bytes.svg", THostileKind::hkDrawing,
     "NUL bytes in attributes, texts and between elements",
     [](const fs::path& APath, const THostileSizes&) {
       using namespace std::string_literals;
       return WriteBytes(APath,
                         "<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"a\0b\" "s
                         "width=\"10\0\" height=\"1\0\"\0><title>x\0y</title>\0\0"
                         "<desc>\0</desc><!-- Created with \0 -->\0</svg>\0"s);
     }},
    {"nul-only.svg", THostileKind::hkDrawing, "a MiB of NUL bytes",
     [](const fs::path& APath, const THostileSizes&) {
       return WriteBytes(APath, std::string(1u << 20, '\0'));
     }},
    {"unreadable.svg", THostileKind::hkDrawing, "a drawing without read permission",
     [](const fs::path& APath, const THostileSizes&) {
       if (!WriteBytes(APath, std::string(cRoot) + " id=\"unreadable\"/>")) return false;
       std::error_code ec;
       fs::permissions(APath, fs::perms::none, ec);
       return true;
     }},
    {"folder.svg", THostileKind::hkNotAFile, "a folder",
     [](const fs::path& APath, const THostileSizes&) {
       std::error_code ec;
       fs::create_directory(APath, ec);
       return !ec && WriteBytes(APath / "inside.svg", std::string(cRoot) + "/>");
     }},
#if !defined(_WIN32)
    {"fifo.svg", THostileKind::hkNotAFile, "a FIFO no one writes to",
     [](const fs::path& APath, const THostileSizes&) {
       return std::system(("mkfifo '" + APath.string() + "'").c_str()) == 0;
     }},
    {"device.svg", THostileKind::hkNotAFile, "a link to the device /dev/zero",
     [](const fs::path& APath, const THostileSizes&) {
       std::error_code ec;
       fs::create_symlink("/dev/zero", APath, ec);
       return !ec;
     }},
    {"dangling.svg", THostileKind::hkNotAFile, "a link to a file that does not exist",
     [](const fs::path& APath, const THostileSizes&) {
       std::error_code ec;
       fs::create_symlink("no-such-file.svg", APath, ec);
       return !ec;
     }},
    {"loop.svg", THostileKind::hkNotAFile, "a link to itself, which no one can open",
     [](const fs::path& APath, const THostileSizes&) {
       std::error_code ec;
       fs::create_symlink(APath.filename(), APath, ec);
       return !ec;
     }},
#endif
    {cChangingName, THostileKind::hkChanging, "rewritten over and over while it is read",
     [](const fs::path& APath, const THostileSizes&) {
       return WriteBytes(APath, std::string(cRoot) + "/>");
     }},
  };
  return writers;
}

// The changing file's two forms: a drawing of some MiB, or a few bytes.
std::string ChangingText(bool ALong) {
  std::string text = std::string(cRoot) + "><title>changing</title>";
  if (ALong)
    for (int i = 0; i < 200000; ++i) text += "<g id=\"c" + std::to_string(i) + "\"/>";
  return text + "</svg>";
}

}  // namespace

std::vector<THostileItem> WriteHostileSet(const fs::path& AFolder, std::string& AError,
                                          const THostileSizes& ASizes) {
  std::vector<THostileItem> items;
  std::error_code ec;
  fs::create_directories(AFolder, ec);
  for (const TWriter& writer : Writers()) {
    // A set written before is written again: a FIFO or a link is not overwritten.
    fs::remove_all(AFolder / writer.Name, ec);
    if (!writer.Write(AFolder / writer.Name, ASizes)) {
      AError = std::string("cannot write ") + (AFolder / writer.Name).string();
      return {};
    }
    items.push_back({writer.Name, writer.Kind, writer.What});
  }
  for (const TDrawingShape& shape : DrawingShapes()) {
    TShapeOutput output;
    const std::string name = ShapeFileName(shape);
    if (!WriteShapeFile(shape, ASizes.ShapeBytes, AFolder / name, output, AError)) return {};
    items.push_back({name, THostileKind::hkDrawing, shape.What});
  }
  return items;
}

bool IsWellFormedUtf8(std::string_view AText) {
  const auto* s = reinterpret_cast<const unsigned char*>(AText.data());
  const std::size_t n = AText.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the second byte's range
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      if (c == 0xE0) low = 0xA0;   // overlong
      if (c == 0xED) high = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      if (c == 0xF0) low = 0x90;   // overlong
      if (c == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
      return false;
    }
    if (i + length > n || s[i + 1] < low || s[i + 1] > high) return false;
    for (std::size_t k = 2; k < length; ++k)
      if (s[i + k] < 0x80 || s[i + k] > 0xBF) return false;
    i += length;
  }
  return true;
}

TChangingFile::TChangingFile(const fs::path& AFolder) : FPath(AFolder / cChangingName) {
  FThread = std::thread([this] {
    const std::string forms[] = {ChangingText(true), ChangingText(false)};
    for (std::uint64_t i = 0; !FStop.load(); ++i) {
      {
        std::ofstream out(FPath, std::ios::binary | std::ios::trunc);
        const std::string& text = forms[i % 2];
        // Written in two halves, so a read may also find half a drawing.
        out.write(text.data(), static_cast<std::streamsize>(text.size() / 2));
        out.flush();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        out.write(text.data() + text.size() / 2,
                  static_cast<std::streamsize>(text.size() - text.size() / 2));
      }
      ++FRewrites;
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });
}

TChangingFile::~TChangingFile() {
  FStop.store(true);
  FThread.join();
}

}  // namespace testing_support
