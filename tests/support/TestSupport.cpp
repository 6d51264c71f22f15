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

TTempDir::TTempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    FPath = base / ("vexmeta-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
    if (std::filesystem::create_directory(FPath)) break;
  }
}

TTempDir::~TTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

// Names in the tests are UTF-8. On Windows a narrow name would be taken in the
// ANSI code page, so it goes through the UTF-8 constructor there.
std::filesystem::path TTempDir::Write(const std::string& AName, std::string_view ABytes) const {
#ifdef _WIN32
  std::filesystem::path file =
      FPath / std::filesystem::path(std::u8string(AName.begin(), AName.end()));
#else
  std::filesystem::path file = FPath / AName;
#endif
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(ABytes.data(), static_cast<std::streamsize>(ABytes.size()));
  return file;
}

std::u16string U16(const std::filesystem::path& APath) {
#ifdef _WIN32
  return APath.u16string();  // the native form is UTF-16 already
#else
  return platform::FileNameToUtf16(APath.native());  // bytes that are no UTF-8 too
#endif
}

std::string ReadFile(const std::filesystem::path& APath) {
  std::ifstream in(APath, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Deflate(std::string_view AData, int AWindowBits) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, AWindowBits, 9, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(AData.size())) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(AData.data()));
  z.avail_in = static_cast<uInt>(AData.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string Gzip(std::string_view AData) {
  return Deflate(AData, 15 + 16);
}

std::string GzipFilled(std::string_view AHead, std::string_view AFill, std::size_t ACount) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
  std::string out;
  // A block of whole copies of fill, so that blocks join seamlessly.
  std::string block;
  while (!AFill.empty() && block.size() < (1u << 20)) block += AFill;
  if (block.empty()) ACount = 0;
  std::vector<char> buffer(1 << 16);
  auto pump = [&](const char* AData, std::size_t ASize, int AFlush) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(AData));
    z.avail_in = static_cast<uInt>(ASize);
    do {
      z.next_out = reinterpret_cast<Bytef*>(buffer.data());
      z.avail_out = static_cast<uInt>(buffer.size());
      deflate(&z, AFlush);
      out.append(buffer.data(), buffer.size() - z.avail_out);
    } while (z.avail_out == 0);
  };
  pump(AHead.data(), AHead.size(), Z_NO_FLUSH);
  while (ACount > 0) {
    std::size_t n = std::min(ACount, block.size());
    pump(block.data(), n, Z_NO_FLUSH);
    ACount -= n;
  }
  pump(nullptr, 0, Z_FINISH);
  deflateEnd(&z);
  return out;
}

std::filesystem::path BuiltPluginPath() {
  return VX_PLUGIN_PATH;
}

TPluginCopy::TPluginCopy(const std::string& AIni) {
  Library = Dir.Path() / "Vexmeta.wdx64";
  std::filesystem::copy_file(BuiltPluginPath(), Library);
  if (!AIni.empty()) Dir.Write("Vexmeta.ini", AIni);
}

TPluginHost::TPluginHost(const std::filesystem::path& APath) {
  std::string error;
  if (!Load(U16(APath), &error)) {
    ADD_FAILURE() << "cannot load " << APath << ": " << error;
    if (!Library) return;
  }
  EXPECT_TRUE(Complete());
}

TPluginHost::TAnswer TPluginHost::Get(const std::filesystem::path& AFile, std::int32_t AField,
                                      std::int32_t AUnit, std::int32_t AMaxlen,
                                      std::int32_t AFlags) const {
  TAnswer answer;
  std::vector<char16_t> buffer(static_cast<std::size_t>(AMaxlen > 0 ? AMaxlen : 0) / 2 + 8,
                               u'\xBEEF');
  std::u16string name = U16(AFile);
  answer.Result = GetValueW(name.c_str(), AField, AUnit, buffer.data(), AMaxlen, AFlags);
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
