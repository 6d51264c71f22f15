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
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::filesystem::path& Path() const { return FPath; }
  // Writes a file below the folder and returns its full path.
  std::filesystem::path Write(const std::string& AName, std::string_view ABytes) const;

 private:
  std::filesystem::path FPath;
};

std::u16string U16(const std::filesystem::path& APath);
std::string ReadFile(const std::filesystem::path& APath);

// Compressed bytes of data: windowBits 15 + 16 gives a gzip member, -15 raw deflate.
std::string Deflate(std::string_view AData, int AWindowBits);
// gzip-compressed bytes of data (a single gzip member).
std::string Gzip(std::string_view AData);
// gzip of head followed by count bytes of fill repeated (cut in its middle when
// count is no multiple of its size), made without holding the whole input.
std::string GzipFilled(std::string_view AHead, std::string_view AFill, std::size_t ACount);
inline std::string GzipFilled(std::string_view AHead, char AFill, std::size_t ACount) {
  return GzipFilled(AHead, std::string_view(&AFill, 1), ACount);
}

// The built plugin library's path, and a host for it.
std::filesystem::path BuiltPluginPath();

// A copy of the built library in a folder of its own, with a settings file
// beside it when ini is not empty.
struct TPluginCopy {
  TTempDir Dir;
  std::filesystem::path Library;
  explicit TPluginCopy(const std::string& AIni);
};

// The built plugin loaded with its exports bound, and a value request made easy.
class TPluginHost : public TLoadedPlugin {
 public:
  // Loads the library at path; fails the current test when it cannot.
  explicit TPluginHost(const std::filesystem::path& APath = BuiltPluginPath());
  bool Loaded() const { return Library != nullptr; }

  // One value request with a buffer of maxlen bytes. result is the return code;
  // text holds a string value, number an integer or boolean value.
  struct TAnswer {
    std::int32_t Result = 0;
    std::u16string Text;
    std::int32_t Number = 0;
  };
  TAnswer Get(const std::filesystem::path& AFile, std::int32_t AField, std::int32_t AUnit = 0,
              std::int32_t AMaxlen = 4096, std::int32_t AFlags = 0) const;
};

}  // namespace testing_support
