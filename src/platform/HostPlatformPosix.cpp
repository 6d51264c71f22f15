// The host-side services on Linux and other POSIX systems: loading a library,
// child processes, the memory high-water mark, threads with a given stack, and
// the display width of text and case folding (ICU), folder listings. Only programs that load the
// plugin link them.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/HostPlatform.h"

extern char** environ;

namespace platform {
namespace {

// A file descriptor closed when the owner goes.
class TFileDescriptor {
 public:
  explicit TFileDescriptor(int AFd = -1) : FFd(AFd) {}
  ~TFileDescriptor() { Close(); }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  int Get() const { return FFd; }
  void Close() {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
  }

 private:
  int FFd;
};

// Spawn file actions destroyed when the owner goes.
class TSpawnActions {
 public:
  TSpawnActions() { FReady = ::posix_spawn_file_actions_init(&FActions) == 0; }
  ~TSpawnActions() {
    if (FReady) ::posix_spawn_file_actions_destroy(&FActions);
  }
  TSpawnActions(const TSpawnActions&) = delete;
  TSpawnActions& operator=(const TSpawnActions&) = delete;
  bool Ready() const { return FReady; }
  posix_spawn_file_actions_t* Get() { return &FActions; }

 private:
  posix_spawn_file_actions_t FActions;
  bool FReady = false;
};

std::string ErrnoText(const char* AWhat, int ACode) {
  return std::string(AWhat) + ": " + std::strerror(ACode);
}

}  // namespace

std::unique_ptr<TDynamicLibrary> TDynamicLibrary::Open(std::u16string_view APath,
                                                       std::string* AError) {
  std::string native = FileNameFromUtf16(APath);
  void* handle = ::dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    if (AError != nullptr) {
      const char* reason = ::dlerror();
      *AError = reason != nullptr ? reason : "cannot load library";
    }
    return nullptr;
  }
  return std::unique_ptr<TDynamicLibrary>(new TDynamicLibrary(handle));
}

TDynamicLibrary::~TDynamicLibrary() {
  if (!FKeepLoaded) ::dlclose(FHandle);
}

void* TDynamicLibrary::Symbol(const char* AName) const {
  return ::dlsym(FHandle, AName);
}

void SetEnvironmentValue(const char* AName, const std::optional<std::string>& AValue) {
  if (AValue)
    ::setenv(AName, AValue->c_str(), 1);
  else
    ::unsetenv(AName);
}

bool StderrIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

int RunProcess(std::u16string_view AProgram, const std::vector<std::u16string>& AArguments,
               std::string& AOutput, std::string* AError, std::int64_t* APeakBytes) {
  AOutput.clear();
  if (APeakBytes != nullptr) *APeakBytes = -1;
  auto fail = [AError](std::string AReason) {
    if (AError != nullptr) *AError = std::move(AReason);
    return -1;
  };
  // A NUL would silently cut a name or an argument short.
  auto hasNul = [](std::u16string_view AText) { return AText.find(u'\0') != AText.npos; };
  if (AProgram.empty() || hasNul(AProgram)) return fail("no valid program name");
  for (const std::u16string& argument : AArguments)
    if (hasNul(argument)) return fail("a NUL in an argument");
  // argv[0] is the program, as a shell passes it.
  std::vector<std::string> texts;
  texts.reserve(AArguments.size() + 1);
  texts.push_back(FileNameFromUtf16(AProgram));
  // Arguments are mostly names, which may hold escaped bytes.
  for (const std::u16string& argument : AArguments) texts.push_back(FileNameFromUtf16(argument));
  std::vector<char*> argv;
  argv.reserve(texts.size() + 1);
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return fail(ErrnoText("pipe", errno));
  TFileDescriptor readEnd(ends[0]);
  TFileDescriptor writeEnd(ends[1]);
  TSpawnActions actions;
  // The copy on standard output loses close-on-exec; both pipe ends close at exec.
  if (!actions.Ready() ||
      ::posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), STDOUT_FILENO) != 0)
    return fail("cannot prepare the child's output");
  pid_t child = 0;
  // glibc's posix_spawn reports a program that cannot be run as its result.
  const int spawned = ::posix_spawn(&child, argv[0], actions.Get(), nullptr, argv.data(), environ);
  writeEnd.Close();
  if (spawned != 0) return fail(ErrnoText(("cannot run " + texts[0]).c_str(), spawned));

  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(readEnd.Get(), buffer, sizeof buffer);
    if (n > 0) {
      AOutput.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  readEnd.Close();
  int status = 0;
  struct rusage usage {};
  while (::wait4(child, &status, 0, &usage) < 0) {
    if (errno != EINTR) return fail(ErrnoText("wait4", errno));
  }
  // Linux counts the high-water mark in KiB.
  if (APeakBytes != nullptr) *APeakBytes = std::int64_t{usage.ru_maxrss} * 1024;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return fail("the child neither exited nor was killed");
}

std::int64_t PeakResidentBytes() {
  // /proc/self/status is a few kilobytes; its VmHWM line counts kilobytes.
  TFileDescriptor status(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
  if (status.Get() >= 0) {
    std::string text;
    char chunk[4096];
    ssize_t n;
    while ((n = ::read(status.Get(), chunk, sizeof chunk)) > 0)
      text.append(chunk, static_cast<std::size_t>(n));
    const std::size_t at = text.find("\nVmHWM:");
    if (at != std::string::npos) {
      const long long kib = std::strtoll(text.c_str() + at + 7, nullptr, 10);
      if (kib > 0) return static_cast<std::int64_t>(kib) * 1024;
    }
  }
  // Without /proc: the maximum resident set size, in kilobytes on Linux.
  rusage usage{};
  if (::getrusage(RUSAGE_SELF, &usage) == 0 && usage.ru_maxrss > 0)
    return static_cast<std::int64_t>(usage.ru_maxrss) * 1024;
  return -1;
}

bool RunOnThreadWithStack(std::size_t AStackBytes, const std::function<void()>& AWork) {
  pthread_attr_t attr;
  if (::pthread_attr_init(&attr) != 0) return false;
  ::pthread_attr_setstacksize(&attr, AStackBytes);
  pthread_t thread;
  auto entry = [](void* AArg) -> void* {
    (*static_cast<const std::function<void()>*>(AArg))();
    return nullptr;
  };
  int rc = ::pthread_create(&thread, &attr, entry, const_cast<std::function<void()>*>(&AWork));
  ::pthread_attr_destroy(&attr);
  if (rc != 0) return false;
  ::pthread_join(thread, nullptr);
  return true;
}

std::size_t DisplayWidth(std::u16string_view AText) {
  std::size_t width = 0;
  const auto length = static_cast<int32_t>(std::min<std::size_t>(AText.size(), INT32_MAX));
  for (int32_t i = 0; i < length;) {
    UChar32 c = 0;
    U16_NEXT(AText.data(), i, length, c);
    const int8_t category = u_charType(c);
    if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK || category == U_FORMAT_CHAR)
      continue;
    const int32_t eastAsian = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
    const bool wide = eastAsian == U_EA_WIDE || eastAsian == U_EA_FULLWIDTH ||
                      u_hasBinaryProperty(c, UCHAR_EMOJI_PRESENTATION);
    width += wide ? 2 : 1;
  }
  return width;
}

std::u16string FoldCase(std::u16string_view AText) {
  if (AText.empty() || AText.size() > INT32_MAX / 3) return std::u16string(AText);
  // Full folding may lengthen a text, at most threefold.
  std::u16string out(AText.size() * 3, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length =
      u_strFoldCase(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                    reinterpret_cast<const UChar*>(AText.data()),
                    static_cast<int32_t>(AText.size()), U_FOLD_CASE_DEFAULT, &status);
  if (U_FAILURE(status)) return std::u16string(AText);
  out.resize(static_cast<std::size_t>(length));
  return out;
}

bool ListFolder(const std::filesystem::path& AFolder, std::vector<TFolderEntry>& AEntries) {
  AEntries.clear();
  const std::string& folder = AFolder.native();
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()),
                                          &::closedir);
  if (!dir) return false;
  const int dirFd = ::dirfd(dir.get());
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) return errno == 0;
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    TEntryKind kind = entry->d_type == DT_DIR ? TEntryKind::ekFolder : TEntryKind::ekOther;
    if (entry->d_type == DT_UNKNOWN) {
      // Some file systems leave the kind to a look of its own (not following a link).
      struct stat st;
      if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        kind = TEntryKind::ekUnknown;
      else
        kind = S_ISDIR(st.st_mode) ? TEntryKind::ekFolder : TEntryKind::ekOther;
    }
    AEntries.push_back({name, kind});
  }
}

}  // namespace platform
