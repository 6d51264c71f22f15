// Fixture helpers (see TestSupport.h).
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

namespace testing_support {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    FPath = base / ("vexmeta-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
    if (std::filesystem::create_directory(FPath)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

// Names in the tests are UTF-8. On Windows a narrow name would be taken in the
// ANSI code page, so it goes through the UTF-8 constructor there.
std::filesystem::path TempDir::Write(const std::string& name, std::string_view bytes) const {
#ifdef _WIN32
  std::filesystem::path file =
      FPath / std::filesystem::path(std::u8string(name.begin(), name.end()));
#else
  std::filesystem::path file = FPath / name;
#endif
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return file;
}

std::u16string U16(const std::filesystem::path& path) {
#ifdef _WIN32
  return path.u16string();  // the native form is UTF-16 already
#else
  return platform::FileNameToUtf16(path.native());  // bytes that are no UTF-8 too
#endif
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Deflate(std::string_view data, int windowBits) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string Gzip(std::string_view data) {
  return Deflate(data, 15 + 16);
}

std::string GzipFilled(std::string_view head, std::string_view fill, std::size_t count) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
  std::string out;
  // A block of whole copies of fill, so that blocks join seamlessly.
  std::string block;
  while (!fill.empty() && block.size() < (1u << 20)) block += fill;
  if (block.empty()) count = 0;
  std::vector<char> buffer(1 << 16);
  auto pump = [&](const char* data, std::size_t size, int flush) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    z.avail_in = static_cast<uInt>(size);
    do {
      z.next_out = reinterpret_cast<Bytef*>(buffer.data());
      z.avail_out = static_cast<uInt>(buffer.size());
      deflate(&z, flush);
      out.append(buffer.data(), buffer.size() - z.avail_out);
    } while (z.avail_out == 0);
  };
  pump(head.data(), head.size(), Z_NO_FLUSH);
  while (count > 0) {
    std::size_t n = std::min(count, block.size());
    pump(block.data(), n, Z_NO_FLUSH);
    count -= n;
  }
  pump(nullptr, 0, Z_FINISH);
  deflateEnd(&z);
  return out;
}

std::filesystem::path BuiltPluginPath() {
  return VX_PLUGIN_PATH;
}

PluginCopy::PluginCopy(const std::string& ini) {
  Library = Dir.path() / "Vexmeta.wdx64";
  std::filesystem::copy_file(BuiltPluginPath(), Library);
  if (!ini.empty()) Dir.Write("Vexmeta.ini", ini);
}

PluginHost::PluginHost(const std::filesystem::path& path) {
  std::string error;
  if (!Load(U16(path), &error)) {
    ADD_FAILURE() << "cannot load " << path << ": " << error;
    if (!Library) return;
  }
  EXPECT_TRUE(Complete());
}

PluginHost::Answer PluginHost::Get(const std::filesystem::path& file, std::int32_t field,
                                   std::int32_t unit, std::int32_t maxlen,
                                   std::int32_t flags) const {
  Answer answer;
  std::vector<char16_t> buffer(static_cast<std::size_t>(maxlen > 0 ? maxlen : 0) / 2 + 8,
                               u'\xBEEF');
  std::u16string name = U16(file);
  answer.Result = GetValueW(name.c_str(), field, unit, buffer.data(), maxlen, flags);
  if (answer.Result == ft_stringw) {
    for (char16_t c : buffer) {
      if (c == 0) break;
      answer.Text.push_back(c);
    }
  } else if (answer.Result == ft_numeric_32 || answer.Result == ft_boolean) {
    std::memcpy(&answer.Number, buffer.data(), sizeof answer.Number);
  }
  return answer;
}

}  // namespace testing_support
