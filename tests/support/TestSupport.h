// Fixture helpers shared by the test programs: temporary folders and files, gzip
// data, and a host that loads a built plugin library the way a file manager does.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/LoadedPlugin.h"
#include "platform/HostPlatform.h"
#include "plugin/contplug.h"

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with its contents
// when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return FPath; }
  // Writes a file below the folder and returns its full path.
  std::filesystem::path Write(const std::string& name, std::string_view bytes) const;

 private:
  std::filesystem::path FPath;
};

std::u16string U16(const std::filesystem::path& path);
std::string ReadFile(const std::filesystem::path& path);

// Compressed bytes of data: windowBits 15 + 16 gives a gzip member, -15 raw deflate.
std::string Deflate(std::string_view data, int windowBits);
// gzip-compressed bytes of data (a single gzip member).
std::string Gzip(std::string_view data);
// gzip of head followed by count bytes of fill repeated (cut in its middle when
// count is no multiple of its size), made without holding the whole input.
std::string GzipFilled(std::string_view head, std::string_view fill, std::size_t count);
inline std::string GzipFilled(std::string_view head, char fill, std::size_t count) {
  return GzipFilled(head, std::string_view(&fill, 1), count);
}

// The built plugin library's path, and a host for it.
std::filesystem::path BuiltPluginPath();

// A copy of the built library in a folder of its own, with a settings file
// beside it when ini is not empty.
struct PluginCopy {
  TempDir Dir;
  std::filesystem::path Library;
  explicit PluginCopy(const std::string& ini);
};

// The built plugin loaded with its exports bound, and a value request made easy.
class PluginHost : public TLoadedPlugin {
 public:
  // Loads the library at path; fails the current test when it cannot.
  explicit PluginHost(const std::filesystem::path& path = BuiltPluginPath());
  bool loaded() const { return Library != nullptr; }

  // One value request with a buffer of maxlen bytes. result is the return code;
  // text holds a string value, number an integer or boolean value.
  struct Answer {
    std::int32_t Result = 0;
    std::u16string Text;
    std::int32_t Number = 0;
  };
  Answer Get(const std::filesystem::path& file, std::int32_t field, std::int32_t unit = 0,
             std::int32_t maxlen = 4096, std::int32_t flags = 0) const;
};

}  // namespace testing_support
