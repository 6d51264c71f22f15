// The operating-system services that only hosts of the plugin need: the host
// tool, the tests and the benchmarks, which load the library as a file manager
// does. Built as a library of its own, so the plugin module carries none of it.
// One implementation per platform (HostPlatformPosix.cpp, HostPlatformWin32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace platform {

// ---------------------------------------------------------------------------
// Host side (used by the host tool, the tests and the benchmarks that load the
// library as a file manager does)

// A shared library loaded at run time; unloaded when destroyed.
class TDynamicLibrary {
 public:
  // Null on failure, with the system's reason in error (if given).
  static std::unique_ptr<TDynamicLibrary> Open(std::u16string_view APath, std::string* AError);
  ~TDynamicLibrary();
  TDynamicLibrary(const TDynamicLibrary&) = delete;
  TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;
  // The address of an exported function, or null.
  void* Symbol(const char* AName) const;
  // Leaves the library loaded when this object goes, as a host that never
  // unloads its plugins does: the library then goes with the process.
  void KeepLoaded() { FKeepLoaded = true; }

 private:
  explicit TDynamicLibrary(void* AHandle) : FHandle(AHandle) {}
  void* FHandle;
  bool FKeepLoaded = false;
};

// What a folder's listing says an entry is.
enum class TEntryKind : std::uint8_t {
  ekFolder,   // a folder itself; a link to a folder is none
  ekOther,    // anything else: a file, a link, a device, a pipe...
  ekUnknown,  // the listing did not say, and the entry could not be looked at
};

// One entry of a folder: its name alone, as the system gives it, and its kind.
struct TFolderEntry {
  std::filesystem::path::string_type Name;
  TEntryKind Kind;
};

// The entries of AFolder but "." and "..", in the order the system lists them,
// into AEntries (cleared first); false when the folder cannot be listed. The
// kind comes with the listing where the file system gives it, so most entries
// cost no call of their own, and no path is made for any entry.
bool ListFolder(const std::filesystem::path& AFolder, std::vector<TFolderEntry>& AEntries);

// Sets the process's environment variable AName (ASCII) to AValue, or removes
// it given none. Not safe while another thread reads the environment.
void SetEnvironmentValue(const char* AName, const std::optional<std::string>& AValue);

// True when the standard error stream is a terminal.
bool StderrIsTerminal();

// Runs program (a path: the search path is not consulted) with the given
// arguments, waits for it to end and returns its exit code; everything it wrote
// to standard output is in output, its standard input and error are ours. -1
// when it could not be started, with the reason in error (if given). A POSIX
// program ended by signal N gives 128 + N, as shells report it. Benchmarks use
// it to measure each case in a fresh process. APeakBytes, if given, receives
// the most memory the program held resident as the system counts it (-1 where
// the system does not tell: Windows here). On Linux that count starts from the
// caller's own high-water mark, carried over into the program started, so it
// tells a program's peak only when that is above the caller's; a benchmark
// that needs a small program's own peak starts it through GNU time.
int RunProcess(std::u16string_view AProgram, const std::vector<std::u16string>& AArguments,
               std::string& AOutput, std::string* AError = nullptr,
               std::int64_t* APeakBytes = nullptr);

// The most memory this process has held resident so far, in bytes (Linux: the
// high-water mark VmHWM; Windows: the peak working set); -1 when the system does
// not tell.
std::int64_t PeakResidentBytes();

// Runs work on a new thread whose stack has stackBytes, and waits for it; false
// when no such thread could be started. Tests use it to run code on a stack as
// small as a host's worker thread may have.
bool RunOnThreadWithStack(std::size_t AStackBytes, const std::function<void()>& AWork);

// The terminal cells a text takes in a fixed-width font: 2 for each East Asian
// wide or full-width character and each emoji shown as a picture, 0 for each
// combining mark and format character (a zero-width joiner, a variation
// selector), 1 for the rest. Host side: the host tool pads its table with it.
std::size_t DisplayWidth(std::u16string_view AText);

// The text with letter case folded, for comparing texts without regard to
// case: Unicode full case folding on Linux (ICU; "Straße" and "STRASSE" fold
// alike), the system's invariant lower case on Windows. Host side: the host
// tool's "~" looks for a folded text in another.
std::u16string FoldCase(std::u16string_view AText);

}  // namespace platform
