// The operating-system services the plugin, its host tool, tests and benchmarks
// need, and nothing more.
// One implementation per platform is picked by the build (PlatformPosix.cpp,
// PlatformWin32.cpp); no other file of the project includes an OS header.
// Every function here is safe to call from any thread unless it says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// ---------------------------------------------------------------------------
// Text

// A line break inside a text as the platform's programs write it: the texts the
// engine hands every consumer carry their line breaks in this form.
#if defined(_WIN32)
inline constexpr std::u16string_view cLineBreak = u"\r\n";
#else
inline constexpr std::u16string_view cLineBreak = u"\n";
#endif

// True when the two texts are equal under the user's default locale with letter
// case ignored (the linguistic ignore-case comparison of the platform; on Linux
// Unicode simple case folding).
bool TextEqualsIgnoreCase(std::u16string_view ALeft, std::u16string_view ARight);

// Lower-cases the text code unit by code unit, keeping its length.
void LowerCaseInPlace(std::u16string& AText);

// One byte of a code page to one UTF-16 code unit. A byte the code page does not
// map, or an unknown code page, gives U+FFFD.
char16_t CodePageByteToUtf16(std::int32_t ACodePage, std::uint8_t AByte);

// One UTF-16 code unit to one byte of a code page. When the code page has no
// single byte for it, defaultChar is returned and usedDefault (if given) is set.
std::uint8_t Utf16ToCodePageByte(std::int32_t ACodePage, char16_t AUnit, char ADefaultChar,
                                 bool* AUsedDefault);

// UTF-8 to UTF-16: each invalid sequence becomes U+FFFD, the rest is kept. For
// names, settings and the host side; how many U+FFFD ill-formed input gives is
// the system's choice, so the texts the plugin reports use utf8::ToUtf16 instead.
std::u16string Utf8ToUtf16(std::string_view AText);

// UTF-16 to UTF-8: a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view AText);

// File names as bytes and as UTF-16. POSIX systems name files with bytes, by
// convention UTF-8, but any bytes make a name: a byte that is no part of a
// well-formed UTF-8 sequence becomes one lone surrogate U+DC80..U+DCFF and turns
// back into the same byte, so every name survives the trip to UTF-16 and back.
// Other lone surrogates become U+FFFD. Only names take this form; text never
// does. On Windows, whose names are UTF-16, they are the UTF-8 conversions above.
std::u16string FileNameToUtf16(std::string_view ABytes);
std::string FileNameFromUtf16(std::u16string_view AName);

// A file name in the system's 8-bit code page to UTF-16: the ANSI code page on
// Windows; on Linux the current locale's character set, except that where it
// is UTF-8 or ASCII only (a host that never called setlocale) the name is taken
// as the bytes on disk are, with FileNameToUtf16.
std::u16string AnsiToUtf16(std::string_view AText);

// ---------------------------------------------------------------------------
// Files

// The form of path that a value request searches and opens. On Windows a path
// of 256 or more code units is made a full path first ("/" turned into "\", "."
// and ".." resolved, as a prefixed path needs them) and then gets the long-path
// prefix: "\\?\UNC\" in place of the leading "\\" of a network path, "\\?\"
// before any other; a path that already has the prefix, or a shorter one, is
// kept. Elsewhere the path is kept.
std::u16string LongPathForm(std::u16string_view APath);

// The folder part of a path, up to and including its last folder separator
// (on Windows "\", "/" and a drive's ":"; elsewhere "/", where the others may be
// part of a name), empty when there is none; and the file name after it.
std::u16string_view FolderSeparators();
inline std::u16string_view FolderPart(std::u16string_view APath) {
  const std::size_t last = APath.find_last_of(FolderSeparators());
  return last == std::u16string_view::npos ? std::u16string_view() : APath.substr(0, last + 1);
}
inline std::u16string_view FileNamePart(std::u16string_view APath) {
  return APath.substr(FolderPart(APath).size());
}

// True when path names an existing file that can be read as one: a regular file
// after following symbolic links (a directory, pipe, socket or device is not).
bool IsExistingFile(std::u16string_view APath);

// What a directory search reports about a file.
struct TFileEntryInfo {
  double LastWriteTime = 0;  // local date-time: days since 1899-12-30 plus day fraction
  std::int64_t Size = 0;
};

// Looks the file up in its directory; false unless IsExistingFile(path) holds
// and an entry other than a directory is found.
bool FindFileEntry(std::u16string_view APath, TFileEntryInfo& AInfo);

// The names in the folder AFolder (a path ending in a folder separator, or empty
// for the current folder) whose bytes are no UTF-8, as FileNameToUtf16 gives
// them: each byte that is no part of a well-formed UTF-8 sequence one of
// U+DC80..U+DCFF. None when the folder cannot be read, and none on Windows,
// whose names are UTF-16.
std::vector<std::u16string> NamesThatAreNoUtf8(std::u16string_view AFolder);

// True when the file system treats file names case-sensitively.
bool FileNamesAreCaseSensitive();

// The system calls behind TReadOnlyFile, as one table. The platform's own table
// serves unless a test installs another with SetFileCalls: wrapping the
// system's, it can make an open or a read fail, come up short or end early, as
// a failing disk or another program changing the file does. Nothing of the
// program installs one.
struct TFileCalls {
  // Opens APath read-only, a regular file only, without ever blocking: its
  // handle and size, or false.
  bool (*Open)(std::u16string_view APath, std::intptr_t& AHandle, std::int64_t& ASize);
  // Reads up to ACount bytes at AOffset: the count read (0 at the end of the
  // file), or -1 on an error.
  std::int64_t (*ReadAt)(std::intptr_t AHandle, std::int64_t AOffset, void* ABuffer,
                         std::size_t ACount);
  void (*Close)(std::intptr_t AHandle);
};

// The platform's own file calls.
const TFileCalls& SystemFileCalls();

// Installs ACalls (null: the system's) for the files opened from now on and
// returns the table installed before, for a test to put back. A file keeps the
// table it was opened with, which must outlive it. For tests only.
const TFileCalls* SetFileCalls(const TFileCalls* ACalls);

// A file opened read-only; others may read it at the same time but not write it
// where the platform has sharing modes. Opening never blocks: only regular files
// are opened.
class TReadOnlyFile {
 public:
  // Null when the file cannot be opened or is not a regular file.
  static std::unique_ptr<TReadOnlyFile> Open(std::u16string_view APath);
  ~TReadOnlyFile();
  TReadOnlyFile(const TReadOnlyFile&) = delete;
  TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;

  // Reads up to ACount bytes at AOffset; returns the count read (0 at the end
  // of the file, possibly fewer than asked before it) or -1 on an error.
  std::int64_t ReadAt(std::int64_t AOffset, void* ABuffer, std::size_t ACount) {
    return FCalls.ReadAt(FHandle, AOffset, ABuffer, ACount);
  }
  // The file's size when it was opened.
  std::int64_t Size() const { return FSize; }

 private:
  TReadOnlyFile(const TFileCalls& ACalls, std::intptr_t AHandle, std::int64_t ASize)
      : FCalls(ACalls), FHandle(AHandle), FSize(ASize) {}
  const TFileCalls& FCalls;
  std::intptr_t FHandle;
  std::int64_t FSize;
};

// ---------------------------------------------------------------------------
// Module and settings

// The full path of the library or program this code is linked into; a program
// started by a bare name found on the search path gets its full path too.
std::u16string ModulePath();

// The values of keys of one section of an INI file, the file read once: the
// i-th is AKeys[i]'s, none when the file (a regular file only), the section or
// the key is missing. Section and key names match without regard to letter
// case; a value is trimmed of surrounding blanks and cut to 2047 code units.
std::vector<std::optional<std::u16string>> ReadIniValues(
    std::u16string_view AIniPath, std::u16string_view ASection,
    const std::vector<std::u16string_view>& AKeys);
// One value, as ReadIniValues reads it; false when it is missing.
inline bool ReadIniValue(std::u16string_view AIniPath, std::u16string_view ASection,
                         std::u16string_view AKey, std::u16string& AValue) {
  std::optional<std::u16string> value = ReadIniValues(AIniPath, ASection, {AKey}).front();
  if (!value) return false;
  AValue = std::move(*value);
  return true;
}

// The value of the process's environment variable AName (ASCII); none when it is
// not set.
std::optional<std::string> EnvironmentValue(const char* AName);

// ---------------------------------------------------------------------------
// Lock

// A process-wide mutual-exclusion lock; not recursive. A lock with static
// storage is ready before any code of the module runs and never goes while the
// module is mapped: on POSIX systems it is constant-initialised and has nothing
// to destroy; on Windows its critical section is initialised when the module
// loads and deleted when it unloads, after the last caller has gone.
class TLock {
 public:
#if defined(_WIN32)
  TLock();
  ~TLock();
#else
  constexpr TLock() noexcept = default;
#endif
  TLock(const TLock&) = delete;
  TLock& operator=(const TLock&) = delete;
  void Enter();
  // Takes the lock when no other thread holds it; never waits.
  bool TryEnter();
  void Leave();

 private:
#if defined(_WIN32)
  alignas(void*) unsigned char FSection[40];  // the CRITICAL_SECTION
#else
  std::mutex FMutex;
#endif
};

}  // namespace platform
