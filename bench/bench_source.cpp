// Source loading throughput: OpenSvgStream plus reading the stream to its end,
// for a plain file, a gzip file and stored and deflated ZIP entries of 1 MiB of
// SVG text, and a gzip bomb cut at the ceiling.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/Streams.h"
#include "extract/SvgSource.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace {

std::string SvgText(std::size_t ALength) {
  std::string text = "<svg xmlns=\"http://www.w3.org/2000/svg\">\n";
  for (std::uint32_t i = 0; text.size() < ALength; ++i)
    text += "<path id=\"p" + std::to_string(i) + "\" d=\"M" + std::to_string(i * 7919u % 10007u) +
            " " + std::to_string(i * 104729u % 1009u) + "\"/>\n";
  text.resize(ALength);
  return text;
}

using testing_support::Deflate;

void Put(std::string& AOut, std::uint32_t AV, int ABytes) {
  for (int i = 0; i < ABytes; ++i) AOut.push_back(static_cast<char>((AV >> (8 * i)) & 0xFF));
}

// A one-entry archive.
std::string Zip(const std::string& AName, const std::string& AData, bool ADeflate) {
  const std::string packed = ADeflate ? Deflate(AData, -15) : AData;
  const auto crc = static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(AData.data()), static_cast<uInt>(AData.size())));
  auto header = [&](std::string& AOut, bool ACentral) {
    AOut += ACentral ? "PK\x01\x02" : "PK\x03\x04";
    if (ACentral) Put(AOut, 20, 2);
    Put(AOut, 20, 2);
    Put(AOut, 0, 2);
    Put(AOut, ADeflate ? 8 : 0, 2);
    Put(AOut, 0, 4);
    Put(AOut, crc, 4);
    Put(AOut, static_cast<std::uint32_t>(packed.size()), 4);
    Put(AOut, static_cast<std::uint32_t>(AData.size()), 4);
    Put(AOut, static_cast<std::uint32_t>(AName.size()), 2);
    Put(AOut, 0, 2);
    if (ACentral) {
      Put(AOut, 0, 2);  // comment length
      Put(AOut, 0, 2);  // disk
      Put(AOut, 0, 2);  // internal attributes
      Put(AOut, 0, 4);  // external attributes
      Put(AOut, 0, 4);  // local header offset
    }
    AOut += AName;
  };
  std::string out;
  header(out, false);
  out += packed;
  const auto directoryOffset = static_cast<std::uint32_t>(out.size());
  header(out, true);
  const auto directorySize = static_cast<std::uint32_t>(out.size()) - directoryOffset;
  out += "PK\x05\x06";
  Put(out, 0, 4);
  Put(out, 1, 2);
  Put(out, 1, 2);
  Put(out, directorySize, 4);
  Put(out, directoryOffset, 4);
  Put(out, 0, 2);
  return out;
}

class TFixtures {
 public:
  TFixtures() {
    std::random_device random;
    FFolder = std::filesystem::temp_directory_path() /
              ("vexmeta-bench-source-" + std::to_string(random()));
    std::filesystem::create_directories(FFolder);
    const std::string text = SvgText(1 << 20);
    Write("plain.svg", text);
    Write("gzip.svgz", Deflate(text, 15 + 16));
    std::filesystem::create_directories(FFolder / "stored");
    std::filesystem::create_directories(FFolder / "deflated");
    Write("stored/drawing.svgz", Zip("drawing.svg", text, false));
    Write("deflated/drawing.svgz", Zip("drawing.svg", text, true));
    WriteZerosGzip("bomb.svgz", 300);
  }
  ~TFixtures() {
    std::error_code ec;
    std::filesystem::remove_all(FFolder, ec);
  }
  std::u16string Path(const std::string& AName) const {
    return platform::Utf8ToUtf16((FFolder / AName).string());
  }

 private:
  void Write(const std::string& AName, const std::string& ABytes) {
    std::ofstream out(FFolder / AName, std::ios::binary);
    out.write(ABytes.data(), static_cast<std::streamsize>(ABytes.size()));
  }
  // A gzip file of mebibytes MiB of zeros, deflated in steps.
  void WriteZerosGzip(const std::string& AName, int AMebibytes) {
    std::ofstream out(FFolder / AName, std::ios::binary);
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> zeros(1 << 20, 0);
    std::vector<unsigned char> packed(1 << 16);
    for (int i = 0; i < AMebibytes; ++i) {
      z.next_in = zeros.data();
      z.avail_in = static_cast<uInt>(zeros.size());
      do {
        z.next_out = packed.data();
        z.avail_out = static_cast<uInt>(packed.size());
        deflate(&z, i + 1 == AMebibytes ? Z_FINISH : Z_NO_FLUSH);
        out.write(reinterpret_cast<const char*>(packed.data()),
                  static_cast<std::streamsize>(packed.size() - z.avail_out));
      } while (z.avail_out == 0);
    }
    deflateEnd(&z);
  }
  std::filesystem::path FFolder;
};

const TFixtures& TheFixtures() {
  static TFixtures fixtures;
  return fixtures;
}

void OpenAndRead(benchmark::State& AState, const std::string& AName, std::int64_t ALimit) {
  const std::u16string path = TheFixtures().Path(AName);
  std::vector<std::uint8_t> buffer(64 * 1024);
  std::int64_t bytes = 0;
  for (auto _ : AState) {
    std::unique_ptr<TStream> stream = OpenSvgStream(path, ALimit);
    if (!stream) {
      AState.SkipWithError("no stream");
      break;
    }
    stream->Seek(0);
    for (std::size_t n; (n = stream->Read(buffer.data(), buffer.size())) > 0;)
      bytes += static_cast<std::int64_t>(n);
  }
  AState.SetBytesProcessed(bytes);
}

}  // namespace

BENCHMARK_CAPTURE(OpenAndRead, plain_1MiB, std::string("plain.svg"), 0);
BENCHMARK_CAPTURE(OpenAndRead, plain_1MiB_limit_64KiB, std::string("plain.svg"), 64 * 1024);
BENCHMARK_CAPTURE(OpenAndRead, gzip_1MiB, std::string("gzip.svgz"), 0);
BENCHMARK_CAPTURE(OpenAndRead, zip_stored_1MiB, std::string("stored/drawing.svgz"), 0);
BENCHMARK_CAPTURE(OpenAndRead, zip_deflated_1MiB, std::string("deflated/drawing.svgz"), 0);
BENCHMARK_CAPTURE(OpenAndRead, gzip_bomb_to_ceiling, std::string("bomb.svgz"), 0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

BENCHMARK_MAIN();
