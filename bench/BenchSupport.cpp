// The pieces bench_shapes and bench_corpus share (see BenchSupport.h); zlib
// inflates drawings for the pugixml side.
#include "BenchSupport.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <pugixml.hpp>
#include <random>

namespace bench {

std::u16string PathText(const std::filesystem::path& APath) {
#ifdef _WIN32
  return APath.u16string();  // the native form is UTF-16 already
#else
  return platform::FileNameToUtf16(APath.string());  // any bytes make a name
#endif
}

std::filesystem::path PathOf(std::u16string_view AText) {
#ifdef _WIN32
  return std::filesystem::path(std::u16string(AText));
#else
  return std::filesystem::path(platform::FileNameFromUtf16(AText));
#endif
}

std::filesystem::path SelfPath() {
  return PathOf(platform::ModulePath());
}

std::filesystem::path BuiltPluginPath() {
  return VX_BENCH_PLUGIN_PATH;
}

std::filesystem::path BuiltHostToolPath() {
  return VX_BENCH_HOST_TOOL_PATH;
}

bool LoadPlugin(const std::filesystem::path& APath, TPluginExports& APlugin, std::string& AError) {
  return APlugin.Load(PathText(APath), &AError);
}

TRequestTimes RequestAllFields(const TPluginExports& APlugin, const std::u16string& APath,
                               TFileAnswers& AAnswers) {
  TRequestTimes times;
  const std::int64_t start = NowNs();
  AAnswers[0].Result =
      APlugin.GetValueW(APath.c_str(), 0, 0, AAnswers[0].Value.data(), cHostValueBytes, 0);
  const std::int64_t first = NowNs();
  for (std::int32_t field = 1; field < cFieldCount; ++field) {
    TFieldAnswer& answer = AAnswers[static_cast<std::size_t>(field)];
    answer.Result =
        APlugin.GetValueW(APath.c_str(), field, 0, answer.Value.data(), cHostValueBytes, 0);
  }
  times.FirstNs = first - start;
  times.RestNs = NowNs() - first;
  return times;
}

std::string AnswerText(const TFieldAnswer& AAnswer, std::size_t AMaxChars) {
  std::int32_t number = 0;
  std::memcpy(&number, AAnswer.Value.data(), sizeof number);
  switch (AAnswer.Result) {
    case ft_fieldempty:
      return "-";
    case ft_numeric_32:
      return std::to_string(number);
    case ft_boolean:
      return number != 0 ? "true" : "false";
    case ft_stringw: {
      std::u16string text;
      for (std::size_t i = 0; i + 1 < AAnswer.Value.size(); i += 2) {
        char16_t unit;
        std::memcpy(&unit, AAnswer.Value.data() + i, sizeof unit);
        if (unit == 0) break;
        // One answer, one line.
        text.push_back(unit == u'\n' || unit == u'\r' || unit == u'\t' ? u' ' : unit);
      }
      std::string utf8 = platform::Utf16ToUtf8(text);
      if (utf8.size() > AMaxChars) {
        std::size_t cut = AMaxChars;
        while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
        utf8.resize(cut);
        utf8 += "...";
      }
      return "\"" + utf8 + "\"";
    }
    default:
      return std::string("?").append(std::to_string(AAnswer.Result));
  }
}

bool ReadFile(const std::filesystem::path& APath, std::string& ABytes) {
  std::ifstream in(APath, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  in.seekg(0, std::ios::beg);
  ABytes.resize(static_cast<std::size_t>(size));
  in.read(ABytes.data(), size);
  ABytes.resize(static_cast<std::size_t>(in.gcount()));
  return !in.bad();
}

std::uint64_t WarmFile(const std::filesystem::path& APath) {
  std::ifstream in(APath, std::ios::binary);
  std::vector<char> buffer(1 << 16);
  std::uint64_t total = 0;
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
    total += static_cast<std::uint64_t>(in.gcount());
  return total;
}

namespace {

std::uint32_t ReadLittleEndian(std::string_view ABytes, std::size_t AAt, int AWidth) {
  std::uint32_t value = 0;
  for (int i = AWidth - 1; i >= 0; --i)
    value = (value << 8) | static_cast<unsigned char>(ABytes[AAt + static_cast<std::size_t>(i)]);
  return value;
}

bool IsGzip(std::string_view AFile) {
  return AFile.size() >= 2 && static_cast<unsigned char>(AFile[0]) == 0x1F &&
         static_cast<unsigned char>(AFile[1]) == 0x8B;
}

bool IsZip(std::string_view AFile) {
  return AFile.substr(0, 4) == std::string_view("PK\x03\x04", 4);
}

// An inflate stream ended when the owner goes.
class TInflater {
 public:
  explicit TInflater(int AWindowBits) { FReady = inflateInit2(&FStream, AWindowBits) == Z_OK; }
  ~TInflater() {
    if (FReady) inflateEnd(&FStream);
  }
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;
  bool Ready() const { return FReady; }
  z_stream& Stream() { return FStream; }

 private:
  z_stream FStream{};
  bool FReady = false;
};

// Inflates in (windowBits as for inflateInit2) into out, up to the stream's end
// or maxBytes, whichever comes first; sizeHint sizes the buffer once in the
// usual case.
bool Inflate(std::string_view AIn, int AWindowBits, std::uint64_t AMaxBytes,
             std::uint64_t ASizeHint, std::string& AOut, std::string& AError) {
  TInflater inflater(AWindowBits);
  if (!inflater.Ready()) {
    AError = "inflateInit2 failed";
    return false;
  }
  z_stream& z = inflater.Stream();
  AOut.assign(static_cast<std::size_t>(std::min<std::uint64_t>(
                  AMaxBytes, std::max<std::uint64_t>(ASizeHint, 64 * 1024))),
              '\0');
  std::size_t have = 0;
  std::size_t offset = 0;
  bool ok = true;
  for (;;) {
    if (have == AOut.size()) {
      if (AOut.size() >= AMaxBytes) break;  // the ceiling: the rest is never read
      AOut.resize(static_cast<std::size_t>(std::min<std::uint64_t>(AMaxBytes, AOut.size() * 2)));
    }
    const std::size_t chunkIn = std::min<std::size_t>(AIn.size() - offset, 1u << 30);
    const std::size_t room = std::min<std::size_t>(AOut.size() - have, 1u << 30);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(AIn.data() + offset));
    z.avail_in = static_cast<uInt>(chunkIn);
    z.next_out = reinterpret_cast<Bytef*>(AOut.data() + have);
    z.avail_out = static_cast<uInt>(room);
    const int result = inflate(&z, Z_NO_FLUSH);
    offset += chunkIn - z.avail_in;
    have += room - z.avail_out;
    if (result == Z_STREAM_END) break;
    if (result == Z_BUF_ERROR && offset == AIn.size()) {
      AError = "compressed data ends early";
      ok = false;
      break;
    }
    if (result != Z_OK && result != Z_BUF_ERROR) {
      AError = std::string("inflate: ") + (z.msg != nullptr ? z.msg : "error");
      ok = false;
      break;
    }
  }
  AOut.resize(have);
  return ok;
}

}  // namespace

bool DecodeDrawing(std::string_view AFile, std::uint64_t AMaxBytes, std::string& ABytes,
                   std::string& AError) {
  if (IsGzip(AFile) && AFile.size() >= 18) {
    // The trailer holds the inflated size modulo 4 GiB.
    return Inflate(AFile, 16 + MAX_WBITS, AMaxBytes, ReadLittleEndian(AFile, AFile.size() - 4, 4),
                   ABytes, AError);
  }
  if (IsZip(AFile) && AFile.size() >= 30) {
    const std::uint32_t method = ReadLittleEndian(AFile, 8, 2);
    const std::uint32_t packed = ReadLittleEndian(AFile, 18, 4);
    const std::uint32_t unpacked = ReadLittleEndian(AFile, 22, 4);
    const std::size_t start = 30u + ReadLittleEndian(AFile, 26, 2) + ReadLittleEndian(AFile, 28, 2);
    if (start > AFile.size()) {
      AError = "ZIP entry header past the end";
      return false;
    }
    std::string_view data = AFile.substr(start);
    if (packed != 0 && packed < data.size()) data = data.substr(0, packed);
    if (method == 8) return Inflate(data, -MAX_WBITS, AMaxBytes, unpacked, ABytes, AError);
    if (method != 0) {
      AError = "ZIP method " + std::to_string(method);
      return false;
    }
    AFile = data;
  }
  ABytes.assign(
      AFile.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(AFile.size(), AMaxBytes))));
  return true;
}

bool ReadDrawing(const std::filesystem::path& APath, std::uint64_t AMaxBytes, std::string& ABytes,
                 std::string& AError) {
  std::string file;
  if (!ReadFile(APath, file)) {
    AError = "cannot read " + APath.string();
    return false;
  }
  if (IsGzip(file) || IsZip(file)) return DecodeDrawing(file, AMaxBytes, ABytes, AError);
  // A plain file is parsed where it was read, without a copy.
  if (file.size() > AMaxBytes) file.resize(static_cast<std::size_t>(AMaxBytes));
  ABytes = std::move(file);
  return true;
}

namespace {
constexpr unsigned cPugixmlOptions = pugi::parse_default | pugi::parse_comments;
}  // namespace

bool ParseWithPugixml(std::string& ABytes, pugi::xml_document& ADoc, std::string& AStatus) {
  const pugi::xml_parse_result result =
      ADoc.load_buffer_inplace(ABytes.data(), ABytes.size(), cPugixmlOptions, pugi::encoding_auto);
  AStatus = result.description();
  return static_cast<bool>(result);
}

std::string PugixmlDescription() {
  return std::to_string(PUGIXML_VERSION / 1000) + "." +
         std::to_string(PUGIXML_VERSION % 1000 / 10) + ", parse_default | parse_comments, in place";
}

TScratchDir::TScratchDir(const std::string& APrefix) {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (;;) {
    FPath = base / (APrefix + "-" + std::to_string(random()) + "-" + std::to_string(counter++));
    if (std::filesystem::create_directory(FPath)) break;
  }
}

TScratchDir::~TScratchDir() {
  if (FKeep) return;
  std::error_code ignored;
  std::filesystem::remove_all(FPath, ignored);
}

std::string TTable::Render() const {
  std::vector<std::size_t> widths(FHeaders.size(), 0);
  auto widen = [&widths](const std::vector<std::string>& ARow) {
    for (std::size_t i = 0; i < ARow.size() && i < widths.size(); ++i)
      widths[i] = std::max(widths[i], ARow[i].size());
  };
  widen(FHeaders);
  for (const auto& row : FRows) widen(row);
  std::string out;
  auto line = [&](const std::vector<std::string>& ARow) {
    std::string text;
    for (std::size_t i = 0; i < widths.size(); ++i) {
      const std::string cell = i < ARow.size() ? ARow[i] : "";
      const std::string pad(widths[i] - cell.size(), ' ');
      if (i > 0) text += "  ";
      text += i == 0 ? cell + pad : pad + cell;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += text + "\n";
  };
  line(FHeaders);
  std::size_t total = 0;
  for (std::size_t width : widths) total += width;
  out += std::string(total + 2 * (widths.size() - 1), '-') + "\n";
  for (const auto& row : FRows) line(row);
  return out;
}

std::string FormatFixed(double AValue, int ADecimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", ADecimals, AValue);
  return text;
}

std::string FormatBytes(double ABytes) {
  if (!(ABytes >= 0)) return "?";
  if (ABytes < static_cast<double>(cMiB)) return FormatFixed(ABytes / 1024.0, 1) + " KiB";
  const double mib = ABytes / static_cast<double>(cMiB);
  return FormatFixed(mib, mib < 10 ? 2 : 1) + " MiB";
}

std::string FormatSeconds(double ANs) {
  if (!(ANs >= 0)) return "?";
  const double s = ANs * 1e-9;
  if (s >= 1) return FormatFixed(s, 2) + " s";
  if (s >= 1e-3) return FormatFixed(s * 1e3, s >= 0.1 ? 0 : 1) + " ms";
  return FormatFixed(s * 1e6, 1) + " us";
}

std::string FormatCount(std::uint64_t ACount) {
  const double c = static_cast<double>(ACount);
  if (ACount >= 1000000) return FormatFixed(c / 1e6, 1) + "M";
  if (ACount >= 10000) return FormatFixed(c / 1e3, 1) + "k";
  return std::to_string(ACount);
}

std::string FormatRatio(double ARatio) {
  if (!(ARatio >= 0)) return "-";
  return FormatFixed(ARatio, ARatio >= 100 ? 0 : ARatio >= 10 ? 1 : 2) + "x";
}

}  // namespace bench
