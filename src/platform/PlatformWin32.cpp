// The platform services on Windows: the Win32 calls the plugin was designed
// around (CompareStringW, CharLowerBuffW, the code-page converters, the profile
// reader, directory searches, CreateFileW). (What only hosts of the plugin need
// is in HostPlatformWin32.cpp.) File names are UTF-16 throughout.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <map>
#include <mutex>

#include "platform/Platform.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 text is UTF-16");

namespace platform {
namespace {

const wchar_t* AsWide(const char16_t* p) {
  return reinterpret_cast<const wchar_t*>(p);
}
wchar_t* AsWide(char16_t* p) {
  return reinterpret_cast<wchar_t*>(p);
}

// A null-terminated copy for the Win32 calls; empty when the text holds a NUL
// (which would silently shorten the name the system sees).
std::wstring ToWide(std::u16string_view text) {
  if (text.find(u'\0') != std::u16string_view::npos) return {};
  return std::wstring(AsWide(text.data()), text.size());
}

// A byte of a code page to UTF-16 for all 256 bytes, built once per code page.
struct CodePageTable {
  std::array<char16_t, 256> ToUnicode{};
};

std::unique_ptr<CodePageTable> BuildTable(std::int32_t codePage) {
  auto table = std::make_unique<CodePageTable>();
  const UINT cp = static_cast<UINT>(codePage);
  for (int b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    wchar_t out[4] = {};
    // MB_ERR_INVALID_CHARS makes unmapped bytes (a lone lead byte of a
    // double-byte code page) fail instead of turning into the code page's
    // default; some code pages accept no flags at all.
    int n = ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, &in, 1, out, 4);
    if (n == 0 && ::GetLastError() == ERROR_INVALID_FLAGS)
      n = ::MultiByteToWideChar(cp, 0, &in, 1, out, 4);
    table->ToUnicode[static_cast<std::size_t>(b)] =
        n == 1 ? static_cast<char16_t>(out[0]) : u'\xFFFD';
  }
  return table;
}

// Tables live while the library is loaded; the mutex guards only the map, a
// built table is read-only.
const CodePageTable& TableFor(std::int32_t codePage) {
  static std::mutex mutex;
  static std::map<std::int32_t, std::unique_ptr<CodePageTable>> tables;
  std::lock_guard<std::mutex> guard(mutex);
  auto& slot = tables[codePage];
  if (!slot) slot = BuildTable(codePage);
  return *slot;
}

std::u16string MultiByteToUtf16(UINT codePage, std::string_view text) {
  if (text.empty() || text.size() > INT_MAX / 2) return {};
  const int inLength = static_cast<int>(text.size());
  int length = ::MultiByteToWideChar(codePage, 0, text.data(), inLength, nullptr, 0);
  if (length <= 0) return {};
  std::u16string out(static_cast<std::size_t>(length), u'\0');
  length = ::MultiByteToWideChar(codePage, 0, text.data(), inLength, AsWide(out.data()), length);
  if (length <= 0) return {};
  out.resize(static_cast<std::size_t>(length));
  return out;
}

// GetFullPathNameW of a path; empty when the call fails or the path holds a NUL.
std::u16string FullPathName(std::u16string_view path) {
  const std::wstring wide = ToWide(path);
  if (wide.empty()) return {};
  std::u16string full(wide.size() + MAX_PATH, u'\0');
  // A second round when the current folder made the path longer than guessed.
  for (int round = 0; round < 2; ++round) {
    const DWORD n = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()),
                                       AsWide(full.data()), nullptr);
    if (n == 0) return {};
    if (n < full.size()) {
      full.resize(n);
      return full;
    }
    full.assign(n, u'\0');  // n counts the terminator when the buffer was too small
  }
  return {};
}

// A file that exists and is neither a directory nor a device.
bool IsPlainFileAttributes(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// Days since 1899-12-30 of a Gregorian date (the civil-from-days inverse).
std::int64_t DaysSince18991230(int year, int month, int day) {
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const std::int64_t daysSince1970 = static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
  return daysSince1970 + 25569;
}

// The directory entry's last-write time as a local date-time; 0 when the time
// cannot be converted.
double LocalDateTime(const FILETIME& fileTime) {
  SYSTEMTIME utc;
  SYSTEMTIME local;
  if (!::FileTimeToSystemTime(&fileTime, &utc)) return 0;
  if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return 0;
  const std::int64_t days = DaysSince18991230(local.wYear, local.wMonth, local.wDay);
  const std::int64_t msOfDay =
      ((static_cast<std::int64_t>(local.wHour) * 60 + local.wMinute) * 60 + local.wSecond) * 1000 +
      local.wMilliseconds;
  return static_cast<double>(days) + static_cast<double>(msOfDay) / 86400000.0;
}

// Wildcards in the searched name would make a directory search match other files.
bool NameHasWildcards(std::u16string_view path) {
  return FileNamePart(path).find_first_of(u"*?") != std::u16string_view::npos;
}

HANDLE AsHandle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// What ends the folder part of a path.
constexpr std::u16string_view kFolderSeparators = u"\\/:";

}  // namespace

// ---------------------------------------------------------------------------
// Text

bool TextEqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() > INT_MAX || b.size() > INT_MAX) return false;
  // An empty view may carry a null pointer, which CompareStringW rejects.
  if (a.empty() || b.empty()) return a.empty() && b.empty();
  return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, AsWide(a.data()),
                          static_cast<int>(a.size()), AsWide(b.data()),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

void LowerCaseInPlace(std::u16string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const std::size_t chunk = std::min<std::size_t>(text.size() - done, 1u << 30);
    ::CharLowerBuffW(AsWide(text.data() + done), static_cast<DWORD>(chunk));
    done += chunk;
  }
}

char16_t CodePageByteToUtf16(std::int32_t codePage, std::uint8_t byte) {
  return TableFor(codePage).ToUnicode[byte];
}

std::uint8_t Utf16ToCodePageByte(std::int32_t codePage, char16_t unit, char defaultChar,
                                 bool* usedDefault) {
  const UINT cp = static_cast<UINT>(codePage);
  const wchar_t in = static_cast<wchar_t>(unit);
  char out[8] = {};
  BOOL used = FALSE;
  int n;
  if (cp == CP_UTF8 || cp == CP_UTF7) {
    // These code pages take no default character; only ASCII is a single byte.
    n = ::WideCharToMultiByte(cp, 0, &in, 1, out, sizeof out, nullptr, nullptr);
  } else {
    n = ::WideCharToMultiByte(cp, 0, &in, 1, out, sizeof out, &defaultChar, &used);
  }
  const bool single = n == 1 && !used;
  if (usedDefault != nullptr) *usedDefault = !single;
  return single ? static_cast<std::uint8_t>(out[0]) : static_cast<std::uint8_t>(defaultChar);
}

std::u16string Utf8ToUtf16(std::string_view text) {
  // Without MB_ERR_INVALID_CHARS every invalid sequence becomes U+FFFD.
  return MultiByteToUtf16(CP_UTF8, text);
}

std::string Utf16ToUtf8(std::u16string_view text) {
  if (text.empty() || text.size() > INT_MAX / 3) return {};
  const int inLength = static_cast<int>(text.size());
  int length = ::WideCharToMultiByte(CP_UTF8, 0, AsWide(text.data()), inLength, nullptr, 0, nullptr,
                                     nullptr);
  if (length <= 0) return {};
  std::string out(static_cast<std::size_t>(length), '\0');
  length = ::WideCharToMultiByte(CP_UTF8, 0, AsWide(text.data()), inLength, out.data(), length,
                                 nullptr, nullptr);
  if (length <= 0) return {};
  out.resize(static_cast<std::size_t>(length));
  return out;
}

std::u16string FileNameToUtf16(std::string_view bytes) {
  return Utf8ToUtf16(bytes);
}

std::string FileNameFromUtf16(std::u16string_view name) {
  return Utf16ToUtf8(name);
}

std::u16string AnsiToUtf16(std::string_view text) {
  return MultiByteToUtf16(CP_ACP, text);
}

// ---------------------------------------------------------------------------
// Files

std::u16string LongPathForm(std::u16string_view path) {
  constexpr std::u16string_view kLocalPrefix = u"\\\\?\\";
  constexpr std::u16string_view kDevicePrefix = u"\\\\.\\";
  constexpr std::u16string_view kUncPrefix = u"\\\\?\\UNC\\";
  if (path.size() < 256 || path.substr(0, 4) == kLocalPrefix) return std::u16string(path);
  // The system takes a prefixed path as it stands: "/" is no separator there and
  // "." and ".." are names. The full path has "\" only, with both resolved (and
  // a relative path made absolute); the call looks at no disk.
  const std::u16string full = FullPathName(path);
  if (full.empty()) return std::u16string(path);
  // A device path ("//?/", "\\.\") comes back in its own form; it takes no prefix.
  if (full.starts_with(kLocalPrefix) || full.starts_with(kDevicePrefix)) return full;
  std::u16string out;
  if (full.starts_with(u"\\\\")) {
    out.reserve(kUncPrefix.size() + full.size() - 2);
    out.append(kUncPrefix).append(std::u16string_view(full).substr(2));
  } else {
    out.reserve(kLocalPrefix.size() + full.size());
    out.append(kLocalPrefix).append(full);
  }
  return out;
}

std::u16string_view FolderPart(std::u16string_view path) {
  const std::size_t last = path.find_last_of(kFolderSeparators);
  return last == std::u16string_view::npos ? std::u16string_view() : path.substr(0, last + 1);
}

std::u16string_view FileNamePart(std::u16string_view path) {
  return path.substr(FolderPart(path).size());
}

bool IsExistingFile(std::u16string_view path) {
  std::wstring wide = ToWide(path);
  if (wide.empty()) return false;
  return IsPlainFileAttributes(::GetFileAttributesW(wide.c_str()));
}

bool FindFileEntry(std::u16string_view path, FileEntryInfo& info) {
  // Only what IsExistingFile accepts is searched: the file's attributes say
  // whether it is a plain file, which a directory entry of a device does not.
  if (!IsExistingFile(path)) return false;
  std::wstring wide = ToWide(path);
  if (wide.empty() || NameHasWildcards(path)) return false;
  WIN32_FIND_DATAW data;
  HANDLE search = ::FindFirstFileW(wide.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  // Every attribute but the directory one is accepted (mask 0x1EF).
  bool found = true;
  while ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    if (!::FindNextFileW(search, &data)) {
      found = false;
      break;
    }
  }
  ::FindClose(search);
  if (!found) return false;
  info.Size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                        data.nFileSizeLow);
  info.LastWriteTime = LocalDateTime(data.ftLastWriteTime);
  return true;
}

bool FileNamesAreCaseSensitive() {
  return false;
}

std::unique_ptr<ReadOnlyFile> ReadOnlyFile::Open(std::u16string_view path) {
  std::wstring wide = ToWide(path);
  if (wide.empty()) return nullptr;
  HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  // A pipe, console or other device opens too; only a file on disk is wanted.
  // A raw volume is of the disk type as well but has no file information.
  BY_HANDLE_FILE_INFORMATION information;
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    ::CloseHandle(file);
    return nullptr;
  }
  const auto size = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow);
  return std::unique_ptr<ReadOnlyFile>(
      new ReadOnlyFile(reinterpret_cast<std::intptr_t>(file), size));
}

ReadOnlyFile::~ReadOnlyFile() {
  ::CloseHandle(AsHandle(FHandle));
}

std::int64_t ReadOnlyFile::Read(void* buffer, std::size_t count) {
  const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
  DWORD read = 0;
  if (!::ReadFile(AsHandle(FHandle), buffer, chunk, &read, nullptr)) return -1;
  return static_cast<std::int64_t>(read);
}

std::int64_t ReadOnlyFile::ReadAt(std::int64_t offset, void* buffer, std::size_t count) {
  if (offset < 0) return -1;
  const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  DWORD read = 0;
  if (!::ReadFile(AsHandle(FHandle), buffer, chunk, &read, &at))
    return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  return static_cast<std::int64_t>(read);
}

bool ReadOnlyFile::Seek(std::int64_t position) {
  if (position < 0) return false;
  LARGE_INTEGER distance;
  distance.QuadPart = position;
  return ::SetFilePointerEx(AsHandle(FHandle), distance, nullptr, FILE_BEGIN) != 0;
}

// ---------------------------------------------------------------------------
// Module and settings

std::u16string ModulePath() {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ModulePath), &module))
    return {};
  // The name is cut silently when the buffer is too small; grow until it fits.
  for (DWORD capacity = MAX_PATH; capacity <= 65536; capacity *= 2) {
    std::u16string path(capacity, u'\0');
    DWORD n = ::GetModuleFileNameW(module, AsWide(path.data()), capacity);
    if (n == 0) return {};
    if (n < capacity) {
      path.resize(n);
      return path;
    }
  }
  return {};
}

bool ReadIniValue(std::u16string_view iniPath, std::u16string_view section, std::u16string_view key,
                  std::u16string& value) {
  std::wstring path = ToWide(iniPath);
  std::wstring sectionName = ToWide(section);
  std::wstring keyName = ToWide(key);
  if (path.empty() || sectionName.size() != section.size() || keyName.size() != key.size())
    return false;
  // The profile reader looks for a bare name in the Windows folder; resolve it
  // against the current folder as every other file name is.
  std::wstring full(MAX_PATH, L'\0');
  DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n >= full.size()) {
    full.assign(n, L'\0');
    n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (n == 0 || n >= full.size()) return false;
  full.resize(n);
  // A device or folder given as the settings file is not read.
  if (!IsPlainFileAttributes(::GetFileAttributesW(full.c_str()))) return false;

  // A line feed cannot occur in a value, so it marks a missing section or key.
  constexpr wchar_t kMissing[] = L"\n";
  wchar_t buffer[2048];
  DWORD length = ::GetPrivateProfileStringW(sectionName.c_str(), keyName.c_str(), kMissing, buffer,
                                            2048, full.c_str());
  if (length == 1 && buffer[0] == L'\n') return false;
  value.assign(reinterpret_cast<const char16_t*>(buffer), std::min<DWORD>(length, 2047));
  return true;
}

// ---------------------------------------------------------------------------
// Lock

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(Lock) &&
                  alignof(CRITICAL_SECTION) <= alignof(Lock),
              "the lock holds a critical section in place");

namespace {
CRITICAL_SECTION* SectionOf(unsigned char* storage) {
  return reinterpret_cast<CRITICAL_SECTION*>(storage);
}
}  // namespace

Lock::Lock() {
  ::InitializeCriticalSection(SectionOf(FSection));
}
Lock::~Lock() {
  ::DeleteCriticalSection(SectionOf(FSection));
}
void Lock::Enter() {
  ::EnterCriticalSection(SectionOf(FSection));
}
bool Lock::TryEnter() {
  return ::TryEnterCriticalSection(SectionOf(FSection)) != 0;
}
void Lock::Leave() {
  ::LeaveCriticalSection(SectionOf(FSection));
}

}  // namespace platform
