// Fuzzes source loading: the input is written to a file named x.svgz (so a ZIP
// entry looked for is x.svg) and opened with and without a small read limit; the
// stream is read to its end, where corrupt compressed data raises EStreamError
// as it should. Seeds are gzip and ZIP data; mutations reach plain files too.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "base/Streams.h"
#include "extract/SvgSource.h"
#include "platform/Platform.h"

namespace {

// One file per process, so that parallel fuzzing jobs do not share it; removed
// at exit.
struct TFuzzFile {
  TFuzzFile() {
    std::random_device random;
    Folder = std::filesystem::temp_directory_path() /
             ("vexmeta-fuzz-source-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(Folder);
    Path = Folder / "x.svgz";
  }
  ~TFuzzFile() {
    std::error_code ec;
    std::filesystem::remove_all(Folder, ec);
  }
  std::filesystem::path Folder;
  std::filesystem::path Path;
};

void Consume(std::unique_ptr<TStream> AStream) {
  if (!AStream) return;
  try {
    AStream->Seek(0);
    std::uint8_t buffer[4096];
    while (AStream->Read(buffer, sizeof buffer) > 0) {
    }
  } catch (const EStreamError&) {
    // Corrupt or truncated compressed data, or a ZIP entry that fails its check.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  static TFuzzFile file;
  {
    std::ofstream out(file.Path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(AData), static_cast<std::streamsize>(ASize));
  }
  const std::u16string path = platform::Utf8ToUtf16(file.Path.string());
  Consume(OpenSvgStream(path, 0));
  Consume(OpenSvgStream(path, 1024));
  return 0;
}
