// The host-side services on Windows: loading a library, child processes, the
// peak working set, threads with a given stack, and the display width of text.
// Only programs that load the plugin link them.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: io.h and the rest rely on its types.
#include <io.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/HostPlatform.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 text is UTF-16");

namespace platform {
namespace {

const wchar_t* AsWide(const char16_t* p) {
  return reinterpret_cast<const wchar_t*>(p);
}

// A null-terminated copy for the Win32 calls; empty when the text holds a NUL.
std::wstring ToWide(std::u16string_view text) {
  if (text.find(u'\0') != std::u16string_view::npos) return {};
  return std::wstring(AsWide(text.data()), text.size());
}

std::string LastErrorText(DWORD error) {
  char* text = nullptr;
  DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out;
  if (n != 0 && text != nullptr) out.assign(text, n);
  if (text != nullptr) ::LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
    out.pop_back();
  char code[32];
  std::snprintf(code, sizeof code, "error %lu", static_cast<unsigned long>(error));
  return out.empty() ? std::string(code) : out + " (" + code + ")";
}

// A kernel handle closed when the owner goes.
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle = nullptr) : FHandle(handle) {}
  ~OwnedHandle() { Close(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
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
void InheritableStandardHandle(DWORD which, OwnedHandle& copy) {
  const HANDLE own = ::GetStdHandle(which);
  if (own == nullptr || own == INVALID_HANDLE_VALUE) return;
  const HANDLE process = ::GetCurrentProcess();
  if (!::DuplicateHandle(process, own, process, copy.Put(), 0, TRUE, DUPLICATE_SAME_ACCESS))
    copy.Close();
}

// Appends one argument so that the child's C runtime splits it back unchanged:
// quotes around it when it is empty or holds blanks or quotes; inside them a
// quote is escaped with a backslash, and backslashes are doubled only where they
// come before a quote.
void AppendArgument(std::wstring& line, std::u16string_view argument) {
  if (!line.empty()) line.push_back(L' ');
  if (!argument.empty() && argument.find_first_of(u" \t\n\v\"") == std::u16string_view::npos) {
    line.append(AsWide(argument.data()), argument.size());
    return;
  }
  line.push_back(L'"');
  std::size_t i = 0;
  for (;;) {
    std::size_t backslashes = 0;
    while (i < argument.size() && argument[i] == u'\\') {
      ++backslashes;
      ++i;
    }
    if (i == argument.size()) {
      line.append(backslashes * 2, L'\\');
      break;
    }
    if (argument[i] == u'"') {
      line.append(backslashes * 2 + 1, L'\\');
    } else {
      line.append(backslashes, L'\\');
    }
    line.push_back(static_cast<wchar_t>(argument[i]));
    ++i;
  }
  line.push_back(L'"');
}

}  // namespace

// ---------------------------------------------------------------------------
// Host side

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(std::u16string_view path, std::string* error) {
  std::wstring wide = ToWide(path);
  HMODULE module = wide.empty() ? nullptr : ::LoadLibraryW(wide.c_str());
  if (module == nullptr) {
    if (error != nullptr)
      *error = wide.empty() ? std::string("invalid library name") : LastErrorText(::GetLastError());
    return nullptr;
  }
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(module));
}

DynamicLibrary::~DynamicLibrary() {
  if (!FKeepLoaded) ::FreeLibrary(static_cast<HMODULE>(FHandle));
}

void* DynamicLibrary::Symbol(const char* name) const {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(FHandle), name));
}

bool StderrIsTerminal() {
  if (::_isatty(::_fileno(stderr)) == 0) return false;
  // The NUL device also counts as a character device; a console has a mode.
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int RunProcess(std::u16string_view program, const std::vector<std::u16string>& arguments,
               std::string& output, std::string* error) {
  output.clear();
  auto fail = [error](std::string reason) {
    if (error != nullptr) *error = std::move(reason);
    return -1;
  };
  const std::wstring application = ToWide(program);
  if (application.empty()) return fail("no valid program name");
  std::wstring line;
  AppendArgument(line, program);
  for (const std::u16string& argument : arguments) {
    if (argument.find(u'\0') != std::u16string::npos) return fail("a NUL in an argument");
    AppendArgument(line, argument);
  }

  // The child inherits the pipe's write end as its standard output; the read
  // end stays ours alone.
  SECURITY_ATTRIBUTES inherit{};
  inherit.nLength = sizeof inherit;
  inherit.bInheritHandle = TRUE;
  OwnedHandle readEnd;
  OwnedHandle writeEnd;
  if (!::CreatePipe(readEnd.Put(), writeEnd.Put(), &inherit, 0) ||
      !::SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0))
    return fail("pipe: " + LastErrorText(::GetLastError()));
  OwnedHandle input;
  OwnedHandle errors;
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
    return fail("cannot run " + Utf16ToUtf8(program) + ": " + LastErrorText(::GetLastError()));
  OwnedHandle process(started.hProcess);
  OwnedHandle thread(started.hThread);
  // Our copies go, so the pipe reports its end once the child's copy goes.
  writeEnd.Close();
  input.Close();
  errors.Close();

  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(readEnd.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
    output.append(buffer, read);
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

bool RunOnThreadWithStack(std::size_t stackBytes, const std::function<void()>& work) {
  auto entry = [](LPVOID arg) -> DWORD {
    (*static_cast<const std::function<void()>*>(arg))();
    return 0;
  };
  // The size is the reservation, so the thread really has no more stack than asked.
  HANDLE thread =
      ::CreateThread(nullptr, stackBytes, entry, const_cast<std::function<void()>*>(&work),
                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) return false;
  ::WaitForSingleObject(thread, INFINITE);
  ::CloseHandle(thread);
  return true;
}

std::size_t DisplayWidth(std::u16string_view text) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      const char32_t c = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[++i] - 0xDC00);
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

}  // namespace platform
