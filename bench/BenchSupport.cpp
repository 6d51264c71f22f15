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

std::u16string PathText(const std::filesystem::path& path) {
#ifdef _WIN32
  return path.u16string();  // the native form is UTF-16 already
#else
  return platform::Utf8ToUtf16(path.string());
#endif
}

std::filesystem::path PathOf(std::u16string_view text) {
#ifdef _WIN32
  return std::filesystem::path(std::u16string(text));
#else
  return std::filesystem::path(platform::Utf16ToUtf8(text));
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

bool LoadPlugin(const std::filesystem::path& path, PluginExports& plugin, std::string& error) {
  return plugin.Load(PathText(path), &error);
}

RequestTimes RequestAllFields(const PluginExports& plugin, const std::u16string& path,
                              FileAnswers& answers) {
  RequestTimes times;
  const std::int64_t start = NowNs();
  answers[0].Result =
      plugin.GetValueW(path.c_str(), 0, 0, answers[0].Value.data(), kHostValueBytes, 0);
  const std::int64_t first = NowNs();
  for (std::int32_t field = 1; field < kFieldCount; ++field) {
    FieldAnswer& answer = answers[static_cast<std::size_t>(field)];
    answer.Result =
        plugin.GetValueW(path.c_str(), field, 0, answer.Value.data(), kHostValueBytes, 0);
  }
  times.FirstNs = first - start;
  times.RestNs = NowNs() - first;
  return times;
}

std::string AnswerText(const FieldAnswer& answer, std::size_t maxChars) {
  std::int32_t number = 0;
  std::memcpy(&number, answer.Value.data(), sizeof number);
  switch (answer.Result) {
    case ft_fieldempty:
      return "-";
    case ft_numeric_32:
      return std::to_string(number);
    case ft_boolean:
      return number != 0 ? "true" : "false";
    case ft_stringw: {
      std::u16string text;
      for (std::size_t i = 0; i + 1 < answer.Value.size(); i += 2) {
        char16_t unit;
        std::memcpy(&unit, answer.Value.data() + i, sizeof unit);
        if (unit == 0) break;
        // One answer, one line.
        text.push_back(unit == u'\n' || unit == u'\r' || unit == u'\t' ? u' ' : unit);
      }
      std::string utf8 = platform::Utf16ToUtf8(text);
      if (utf8.size() > maxChars) {
        std::size_t cut = maxChars;
        while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
        utf8.resize(cut);
        utf8 += "...";
      }
      return "\"" + utf8 + "\"";
    }
    default:
      return std::string("?").append(std::to_string(answer.Result));
  }
}

bool ReadFile(const std::filesystem::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  in.seekg(0, std::ios::beg);
  bytes.resize(static_cast<std::size_t>(size));
  in.read(bytes.data(), size);
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return !in.bad();
}

std::uint64_t WarmFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buffer(1 << 16);
  std::uint64_t total = 0;
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
    total += static_cast<std::uint64_t>(in.gcount());
  return total;
}

namespace {

std::uint32_t ReadLittleEndian(std::string_view bytes, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i)
    value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}

bool IsGzip(std::string_view file) {
  return file.size() >= 2 && static_cast<unsigned char>(file[0]) == 0x1F &&
         static_cast<unsigned char>(file[1]) == 0x8B;
}

bool IsZip(std::string_view file) {
  return file.substr(0, 4) == std::string_view("PK\x03\x04", 4);
}

// An inflate stream ended when the owner goes.
class Inflater {
 public:
  explicit Inflater(int windowBits) { FReady = inflateInit2(&FStream, windowBits) == Z_OK; }
  ~Inflater() {
    if (FReady) inflateEnd(&FStream);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  bool Ready() const { return FReady; }
  z_stream& Stream() { return FStream; }

 private:
  z_stream FStream{};
  bool FReady = false;
};

// Inflates in (windowBits as for inflateInit2) into out, up to the stream's end
// or maxBytes, whichever comes first; sizeHint sizes the buffer once in the
// usual case.
bool Inflate(std::string_view in, int windowBits, std::uint64_t maxBytes, std::uint64_t sizeHint,
             std::string& out, std::string& error) {
  Inflater inflater(windowBits);
  if (!inflater.Ready()) {
    error = "inflateInit2 failed";
    return false;
  }
  z_stream& z = inflater.Stream();
  out.assign(static_cast<std::size_t>(
                 std::min<std::uint64_t>(maxBytes, std::max<std::uint64_t>(sizeHint, 64 * 1024))),
             '\0');
  std::size_t have = 0;
  std::size_t offset = 0;
  bool ok = true;
  for (;;) {
    if (have == out.size()) {
      if (out.size() >= maxBytes) break;  // the ceiling: the rest is never read
      out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(maxBytes, out.size() * 2)));
    }
    const std::size_t chunkIn = std::min<std::size_t>(in.size() - offset, 1u << 30);
    const std::size_t room = std::min<std::size_t>(out.size() - have, 1u << 30);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data() + offset));
    z.avail_in = static_cast<uInt>(chunkIn);
    z.next_out = reinterpret_cast<Bytef*>(out.data() + have);
    z.avail_out = static_cast<uInt>(room);
    const int result = inflate(&z, Z_NO_FLUSH);
    offset += chunkIn - z.avail_in;
    have += room - z.avail_out;
    if (result == Z_STREAM_END) break;
    if (result == Z_BUF_ERROR && offset == in.size()) {
      error = "compressed data ends early";
      ok = false;
      break;
    }
    if (result != Z_OK && result != Z_BUF_ERROR) {
      error = std::string("inflate: ") + (z.msg != nullptr ? z.msg : "error");
      ok = false;
      break;
    }
  }
  out.resize(have);
  return ok;
}

}  // namespace

bool DecodeDrawing(std::string_view file, std::uint64_t maxBytes, std::string& bytes,
                   std::string& error) {
  if (IsGzip(file) && file.size() >= 18) {
    // The trailer holds the inflated size modulo 4 GiB.
    return Inflate(file, 16 + MAX_WBITS, maxBytes, ReadLittleEndian(file, file.size() - 4, 4),
                   bytes, error);
  }
  if (IsZip(file) && file.size() >= 30) {
    const std::uint32_t method = ReadLittleEndian(file, 8, 2);
    const std::uint32_t packed = ReadLittleEndian(file, 18, 4);
    const std::uint32_t unpacked = ReadLittleEndian(file, 22, 4);
    const std::size_t start = 30u + ReadLittleEndian(file, 26, 2) + ReadLittleEndian(file, 28, 2);
    if (start > file.size()) {
      error = "ZIP entry header past the end";
      return false;
    }
    std::string_view data = file.substr(start);
    if (packed != 0 && packed < data.size()) data = data.substr(0, packed);
    if (method == 8) return Inflate(data, -MAX_WBITS, maxBytes, unpacked, bytes, error);
    if (method != 0) {
      error = "ZIP method " + std::to_string(method);
      return false;
    }
    file = data;
  }
  bytes.assign(
      file.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), maxBytes))));
  return true;
}

bool ReadDrawing(const std::filesystem::path& path, std::uint64_t maxBytes, std::string& bytes,
                 std::string& error) {
  std::string file;
  if (!ReadFile(path, file)) {
    error = "cannot read " + path.string();
    return false;
  }
  if (IsGzip(file) || IsZip(file)) return DecodeDrawing(file, maxBytes, bytes, error);
  // A plain file is parsed where it was read, without a copy.
  if (file.size() > maxBytes) file.resize(static_cast<std::size_t>(maxBytes));
  bytes = std::move(file);
  return true;
}

namespace {
constexpr unsigned kPugixmlOptions = pugi::parse_default | pugi::parse_comments;
}  // namespace

bool ParseWithPugixml(std::string& bytes, pugi::xml_document& doc, std::string& status) {
  const pugi::xml_parse_result result =
      doc.load_buffer_inplace(bytes.data(), bytes.size(), kPugixmlOptions, pugi::encoding_auto);
  status = result.description();
  return static_cast<bool>(result);
}

std::string PugixmlDescription() {
  return std::to_string(PUGIXML_VERSION / 1000) + "." +
         std::to_string(PUGIXML_VERSION % 1000 / 10) + ", parse_default | parse_comments, in place";
}

ScratchDir::ScratchDir(const std::string& prefix) {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (;;) {
    FPath = base / (prefix + "-" + std::to_string(random()) + "-" + std::to_string(counter++));
    if (std::filesystem::create_directory(FPath)) break;
  }
}

ScratchDir::~ScratchDir() {
  if (FKeep) return;
  std::error_code ignored;
  std::filesystem::remove_all(FPath, ignored);
}

std::string Table::Render() const {
  std::vector<std::size_t> widths(FHeaders.size(), 0);
  auto widen = [&widths](const std::vector<std::string>& row) {
    for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i)
      widths[i] = std::max(widths[i], row[i].size());
  };
  widen(FHeaders);
  for (const auto& row : FRows) widen(row);
  std::string out;
  auto line = [&](const std::vector<std::string>& row) {
    std::string text;
    for (std::size_t i = 0; i < widths.size(); ++i) {
      const std::string cell = i < row.size() ? row[i] : "";
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

std::string FormatFixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string FormatBytes(double bytes) {
  if (!(bytes >= 0)) return "?";
  if (bytes < static_cast<double>(kMiB)) return FormatFixed(bytes / 1024.0, 1) + " KiB";
  const double mib = bytes / static_cast<double>(kMiB);
  return FormatFixed(mib, mib < 10 ? 2 : 1) + " MiB";
}

std::string FormatSeconds(double ns) {
  if (!(ns >= 0)) return "?";
  const double s = ns * 1e-9;
  if (s >= 1) return FormatFixed(s, 2) + " s";
  if (s >= 1e-3) return FormatFixed(s * 1e3, s >= 0.1 ? 0 : 1) + " ms";
  return FormatFixed(s * 1e6, 1) + " us";
}

std::string FormatCount(std::uint64_t count) {
  const double c = static_cast<double>(count);
  if (count >= 1000000) return FormatFixed(c / 1e6, 1) + "M";
  if (count >= 10000) return FormatFixed(c / 1e3, 1) + "k";
  return std::to_string(count);
}

std::string FormatRatio(double ratio) {
  if (!(ratio >= 0)) return "-";
  return FormatFixed(ratio, ratio >= 100 ? 0 : ratio >= 10 ? 1 : 2) + "x";
}

}  // namespace bench
