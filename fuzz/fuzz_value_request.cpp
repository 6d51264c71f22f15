// Writes the input to a file and asks for every field of it, as a host does:
// through the value request, the result cache and the source loading, for a
// plain and a compressed name. Nothing may crash, leak or hang.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Platform.h"
#include "plugin/SvgPlugin.h"

namespace {

struct TPlugin {
  TPlugin() { PluginStartup(); }
  ~TPlugin() { PluginShutdown(); }
};

// The folder the inputs are written to, removed at exit.
struct TFolder {
  TFolder() {
    Path = std::filesystem::temp_directory_path() /
           ("vexmeta-fuzz-value-" +
            std::to_string(std::hash<std::string>{}(std::filesystem::current_path().string())));
    std::filesystem::create_directories(Path);
  }
  ~TFolder() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
  }
  std::filesystem::path Path;
};

const std::filesystem::path& Folder() {
  static const TFolder folder;
  return folder.Path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  static TPlugin plugin;
  for (const char* name : {"drawing.svg", "drawing.svgz"}) {
    std::filesystem::path path = Folder() / name;
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(AData), static_cast<std::streamsize>(ASize));
    }
    // Every input gets a new time stamp, so the cache never serves an old entry.
    static std::int64_t tick = 0;
    std::filesystem::last_write_time(
        path, std::filesystem::file_time_type(std::chrono::seconds(1000000000 + ++tick)));
    std::u16string wide = platform::Utf8ToUtf16(path.string());
    alignas(8) char16_t buffer[600];
    for (std::int32_t field = 0; field <= 16; ++field)
      for (std::int32_t unit = 0; unit <= 2; ++unit)
        GetValueW(wide.c_str(), field, unit, buffer, sizeof buffer, 0);
  }
  return 0;
}
