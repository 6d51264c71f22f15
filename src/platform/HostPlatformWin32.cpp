// The host-side services on Windows: loading a library, child processes, the
// peak working set, threads with a given stack, the display width of text and
// folder listings.
// Only programs that load the plugin link them.
#include "platform/Win32.h"
// windows.h (through Win32.h) first: io.h and psapi.h rely on its types.
#include <io.h>
#include <psapi.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/HostPlatform.h"

namespace platform {
namespace {

using win32::AsWide;
using win32::ToWide;

std::string LastErrorText(DWORD AError) {
  char* text = nullptr;
  DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, AError, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out;
  if (n != 0 && text != nullptr) out.assign(text, n);
  if (text != nullptr) ::LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
    out.pop_back();
  char code[32];
  std::snprintf(code, sizeof code, "error %lu", static_cast<unsigned long>(AError));
  return out.empty() ? std::string(code) : out + " (" + code + ")";
}

// A kernel handle closed when the owner goes.
class TOwnedHandle {
 public:
  explicit TOwnedHandle(HANDLE AHandle = nullptr) : FHandle(AHandle) {}
  ~TOwnedHandle() { Close(); }
  TOwnedHandle(const TOwnedHandle&) = delete;
  TOwnedHandle& operator=(const TOwnedHandle&) = delete;
  HANDLE Get() const { return FHandle; }
  HANDLE* Put() {
    Close();
    return &FHandle;
  }
  void Close() {
    if (FHandle != nullptr && FHandle != INVALID_HANDLE_VALUE) ::CloseHandle(FHandle);
    FHandle = nullptr;
  }

 private:
  HANDLE FHandle;
};

// An inheritable copy of one of our standard handles for a child; null when we
// have none (a program without a console).
void InheritableStandardHandle(DWORD AWhich, TOwnedHandle& ACopy) {
  const HANDLE own = ::GetStdHandle(AWhich);
  if (own == nullptr || own == INVALID_HANDLE_VALUE) return;
  const HANDLE process = ::GetCurrentProcess();
  if (!::DuplicateHandle(process, own, process, ACopy.Put(), 0, TRUE, DUPLICATE_SAME_ACCESS))
    ACopy.Close();
}

// Appends one argument so that the child's C runtime splits it back unchanged:
// quotes around it when it is empty or holds blanks or quotes; inside them a
// quote is escaped with a backslash, and backslashes are doubled only where they
// come before a quote.
void AppendArgument(std::wstring& ALine, std::u16string_view AArgument) {
  if (!ALine.empty()) ALine.push_back(L' ');
  if (!AArgument.empty() && AArgument.find_first_of(u" \t\n\v\"") == std::u16string_view::npos) {
    ALine.append(AsWide(AArgument.data()), AArgument.size());
    return;
  }
  ALine.push_back(L'"');
  std::size_t i = 0;
  for (;;) {
    std::size_t backslashes = 0;
    while (i < AArgument.size() && AArgument[i] == u'\\') {
      ++backslashes;
      ++i;
    }
    if (i == AArgument.size()) {
      ALine.append(backslashes * 2, L'\\');
      break;
    }
    if (AArgument[i] == u'"') {
      ALine.append(backslashes * 2 + 1, L'\\');
    } else {
      ALine.append(backslashes, L'\\');
    }
    ALine.push_back(static_cast<wchar_t>(AArgument[i]));
    ++i;
  }
  ALine.push_back(L'"');
}

}  // namespace

// ---------------------------------------------------------------------------
// Host side

std::unique_ptr<TDynamicLibrary> TDynamicLibrary::Open(std::u16string_view APath,
                                                       std::string* AError) {
  std::wstring wide = ToWide(APath);
  HMODULE module = wide.empty() ? nullptr : ::LoadLibraryW(wide.c_str());
  if (module == nullptr) {
    if (AError != nullptr)
      *AError =
          wide.empty() ? std::string("invalid library name") : LastErrorText(::GetLastError());
    return nullptr;
  }
  return std::unique_ptr<TDynamicLibrary>(new TDynamicLibrary(module));
}

TDynamicLibrary::~TDynamicLibrary() {
  if (!FKeepLoaded) ::FreeLibrary(static_cast<HMODULE>(FHandle));
}

void* TDynamicLibrary::Symbol(const char* AName) const {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(FHandle), AName));
}

void SetEnvironmentValue(const char* AName, const std::optional<std::string>& AValue) {
  const std::wstring name(AName, AName + std::strlen(AName));
  if (!AValue) {
    ::SetEnvironmentVariableW(name.c_str(), nullptr);
    return;
  }
  ::SetEnvironmentVariableW(name.c_str(), ToWide(Utf8ToUtf16(*AValue)).c_str());
}

bool StderrIsTerminal() {
  if (::_isatty(::_fileno(stderr)) == 0) return false;
  // The NUL device also counts as a character device; a console has a mode.
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int RunProcess(std::u16string_view AProgram, const std::vector<std::u16string>& AArguments,
               std::string& AOutput, std::string* AError, std::int64_t* APeakBytes) {
  AOutput.clear();
  if (APeakBytes != nullptr) *APeakBytes = -1;
  auto fail = [AError](std::string AReason) {
    if (AError != nullptr) *AError = std::move(AReason);
    return -1;
  };
  const std::wstring application = ToWide(AProgram);
  if (application.empty()) return fail("no valid program name");
  std::wstring line;
  AppendArgument(line, AProgram);
  for (const std::u16string& argument : AArguments) {
    if (argument.find(u'\0') != std::u16string::npos) return fail("a NUL in an argument");
    AppendArgument(line, argument);
  }

  // The child inherits the pipe's write end as its standard output; the read
  // end stays ours alone.
  SECURITY_ATTRIBUTES inherit{};
  inherit.nLength = sizeof inherit;
  inherit.bInheritHandle = TRUE;
  TOwnedHandle readEnd;
  TOwnedHandle writeEnd;
  if (!::CreatePipe(readEnd.Put(), writeEnd.Put(), &inherit, 0) ||
      !::SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0))
    return fail("pipe: " + LastErrorText(::GetLastError()));
  TOwnedHandle input;
  TOwnedHandle errors;
  InheritableStandardHandle(STD_INPUT_HANDLE, input);
  InheritableStandardHandle(STD_ERROR_HANDLE, errors);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.Get();
  startup.hStdOutput = writeEnd.Get();
  startup.hStdError = errors.Get();
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &started))
    return fail("cannot run " + Utf16ToUtf8(AProgram) + ": " + LastErrorText(::GetLastError()));
  TOwnedHandle process(started.hProcess);
  TOwnedHandle thread(started.hThread);
  // Our copies go, so the pipe reports its end once the child's copy goes.
  writeEnd.Close();
  input.Close();
  errors.Close();

  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(readEnd.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
    AOutput.append(buffer, read);
  ::WaitForSingleObject(process.Get(), INFINITE);
  DWORD code = 0;
  if (!::GetExitCodeProcess(process.Get(), &code))
    return fail("exit code: " + LastErrorText(::GetLastError()));
  return static_cast<int>(code);
}

std::int64_t PeakResidentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return -1;
  return static_cast<std::int64_t>(counters.PeakWorkingSetSize);
}

bool RunOnThreadWithStack(std::size_t AStackBytes, const std::function<void()>& AWork) {
  auto entry = [](LPVOID AArg) -> DWORD {
    (*static_cast<const std::function<void()>*>(AArg))();
    return 0;
  };
  // The size is the reservation, so the thread really has no more stack than asked.
  HANDLE thread =
      ::CreateThread(nullptr, AStackBytes, entry, const_cast<std::function<void()>*>(&AWork),
                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) return false;
  ::WaitForSingleObject(thread, INFINITE);
  ::CloseHandle(thread);
  return true;
}

std::size_t DisplayWidth(std::u16string_view AText) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < AText.size(); ++i) {
    const char16_t unit = AText[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < AText.size() && AText[i + 1] >= 0xDC00 &&
        AText[i + 1] <= 0xDFFF) {
      const char32_t c = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (AText[++i] - 0xDC00);
      // The system's character types cover the first plane only. Beyond it the
      // emoji pictures and the ideographs of the second and third planes are wide.
      width += (c >= 0x1F300 && c <= 0x1FAFF) || (c >= 0x20000 && c <= 0x3FFFD) ? 2 : 1;
      continue;
    }
    const wchar_t wide = static_cast<wchar_t>(unit);
    WORD type1 = 0;
    WORD type3 = 0;
    ::GetStringTypeW(CT_CTYPE1, &wide, 1, &type1);
    ::GetStringTypeW(CT_CTYPE3, &wide, 1, &type3);
    // A precomposed letter with an accent is typed non-spacing too; only marks
    // that are no letters take no cell. Format characters (a joiner) are controls.
    if ((type1 & C1_CNTRL) != 0 || ((type3 & C3_NONSPACING) != 0 && (type3 & C3_ALPHA) == 0))
      continue;
    const bool kana =
        (type3 & C3_HIRAGANA) != 0 || ((type3 & C3_KATAKANA) != 0 && (type3 & C3_HALFWIDTH) == 0);
    // Hangul syllables and leading jamo are typed as letters only.
    const bool hangul = (unit >= 0x1100 && unit <= 0x115F) || (unit >= 0xAC00 && unit <= 0xD7A3);
    width += (type3 & (C3_FULLWIDTH | C3_IDEOGRAPH)) != 0 || kana || hangul ? 2 : 1;
  }
  return width;
}

std::u16string FoldCase(std::u16string_view AText) {
  if (AText.empty() || AText.size() > INT_MAX) return std::u16string(AText);
  std::u16string out(AText);
  // Lower case keeps the length; the invariant locale makes it the same for
  // every user.
  const int length = static_cast<int>(out.size());
  if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, win32::AsWide(AText.data()), length,
                      win32::AsWide(out.data()), length, nullptr, nullptr, 0) != length)
    return std::u16string(AText);
  return out;
}

bool ListFolder(const std::filesystem::path& AFolder, std::vector<TFolderEntry>& AEntries) {
  AEntries.clear();
  std::wstring pattern = AFolder.native();
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data;
  HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  bool ok = true;
  do {
    const wchar_t* name = data.cFileName;
    if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) continue;
    // A folder that is a link or junction (a reparse point) is not walked into.
    const DWORD attributes = data.dwFileAttributes;
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    AEntries.push_back({name, folder ? TEntryKind::ekFolder : TEntryKind::ekOther});
  } while (::FindNextFileW(search, &data));
  if (::GetLastError() != ERROR_NO_MORE_FILES) ok = false;
  ::FindClose(search);
  return ok;
}

}  // namespace platform
