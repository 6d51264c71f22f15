// The platform services on Windows: the Win32 calls the plugin was designed
// around (CompareStringW, CharLowerBuffW, the code-page converters, the profile
// reader, directory searches, CreateFileW). (What only hosts of the plugin need
// is in HostPlatformWin32.cpp.) File names are UTF-16 throughout.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/CodePages.h"
#include "platform/Platform.h"
#include "platform/Win32.h"

namespace platform {
namespace {

using win32::AsWide;
using win32::ToWide;

std::u16string MultiByteToUtf16(UINT ACodePage, std::string_view AText) {
  if (AText.empty() || AText.size() > INT_MAX / 2) return {};
  const int inLength = static_cast<int>(AText.size());
  int length = ::MultiByteToWideChar(ACodePage, 0, AText.data(), inLength, nullptr, 0);
  if (length <= 0) return {};
  std::u16string out(static_cast<std::size_t>(length), u'\0');
  length = ::MultiByteToWideChar(ACodePage, 0, AText.data(), inLength, AsWide(out.data()), length);
  if (length <= 0) return {};
  out.resize(static_cast<std::size_t>(length));
  return out;
}

// GetFullPathNameW of a path; empty when the call fails or the path holds a NUL.
std::u16string FullPathName(std::u16string_view APath) {
  const std::wstring wide = ToWide(APath);
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
bool IsPlainFileAttributes(DWORD AAttributes) {
  return AAttributes != INVALID_FILE_ATTRIBUTES &&
         (AAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// Days since 1899-12-30 of a Gregorian date (the civil-from-days inverse).
std::int64_t DaysSince18991230(int AYear, int AMonth, int ADay) {
  const int y = AYear - (AMonth <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (AMonth + (AMonth > 2 ? -3 : 9)) + 2) / 5 + ADay - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const std::int64_t daysSince1970 = static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
  return daysSince1970 + 25569;
}

// The directory entry's last-write time as a local date-time; 0 when the time
// cannot be converted.
double LocalDateTime(const FILETIME& AFileTime) {
  SYSTEMTIME utc;
  SYSTEMTIME local;
  if (!::FileTimeToSystemTime(&AFileTime, &utc)) return 0;
  if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return 0;
  const std::int64_t days = DaysSince18991230(local.wYear, local.wMonth, local.wDay);
  const std::int64_t msOfDay =
      ((static_cast<std::int64_t>(local.wHour) * 60 + local.wMinute) * 60 + local.wSecond) * 1000 +
      local.wMilliseconds;
  return static_cast<double>(days) + static_cast<double>(msOfDay) / 86400000.0;
}

// Wildcards in the searched name would make a directory search match other files.
bool NameHasWildcards(std::u16string_view APath) {
  return FileNamePart(APath).find_first_of(u"*?") != std::u16string_view::npos;
}

HANDLE AsHandle(std::intptr_t AHandle) {
  return reinterpret_cast<HANDLE>(AHandle);
}

// What ends the folder part of a path.
constexpr std::u16string_view cFolderSeparators = u"\\/:";

}  // namespace

// ---------------------------------------------------------------------------
// Text

// A byte of a code page to UTF-16 for all 256 bytes; the reverse is left to the
// system's converter (Utf16ToCodePageByte).
std::unique_ptr<TCodePageTable> BuildCodePageTable(std::int32_t ACodePage) {
  auto table = std::make_unique<TCodePageTable>();
  const UINT cp = static_cast<UINT>(ACodePage);
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

bool TextEqualsIgnoreCase(std::u16string_view AA, std::u16string_view AB) {
  if (AA.size() > INT_MAX || AB.size() > INT_MAX) return false;
  // An empty view may carry a null pointer, which CompareStringW rejects.
  if (AA.empty() || AB.empty()) return AA.empty() && AB.empty();
  return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, AsWide(AA.data()),
                          static_cast<int>(AA.size()), AsWide(AB.data()),
                          static_cast<int>(AB.size())) == CSTR_EQUAL;
}

void LowerCaseInPlace(std::u16string& AText) {
  std::size_t done = 0;
  while (done < AText.size()) {
    const std::size_t chunk = std::min<std::size_t>(AText.size() - done, 1u << 30);
    ::CharLowerBuffW(AsWide(AText.data() + done), static_cast<DWORD>(chunk));
    done += chunk;
  }
}

std::uint8_t Utf16ToCodePageByte(std::int32_t ACodePage, char16_t AUnit, char ADefaultChar,
                                 bool* AUsedDefault) {
  const UINT cp = static_cast<UINT>(ACodePage);
  const wchar_t in = static_cast<wchar_t>(AUnit);
  char out[8] = {};
  BOOL used = FALSE;
  int n;
  if (cp == CP_UTF8 || cp == CP_UTF7) {
    // These code pages take no default character; only ASCII is a single byte.
    n = ::WideCharToMultiByte(cp, 0, &in, 1, out, sizeof out, nullptr, nullptr);
  } else {
    n = ::WideCharToMultiByte(cp, 0, &in, 1, out, sizeof out, &ADefaultChar, &used);
  }
  const bool single = n == 1 && !used;
  if (AUsedDefault != nullptr) *AUsedDefault = !single;
  return single ? static_cast<std::uint8_t>(out[0]) : static_cast<std::uint8_t>(ADefaultChar);
}

std::u16string Utf8ToUtf16(std::string_view AText) {
  // Without MB_ERR_INVALID_CHARS every invalid sequence becomes U+FFFD.
  return MultiByteToUtf16(CP_UTF8, AText);
}

std::string Utf16ToUtf8(std::u16string_view AText) {
  if (AText.empty() || AText.size() > INT_MAX / 3) return {};
  const int inLength = static_cast<int>(AText.size());
  int length = ::WideCharToMultiByte(CP_UTF8, 0, AsWide(AText.data()), inLength, nullptr, 0,
                                     nullptr, nullptr);
  if (length <= 0) return {};
  std::string out(static_cast<std::size_t>(length), '\0');
  length = ::WideCharToMultiByte(CP_UTF8, 0, AsWide(AText.data()), inLength, out.data(), length,
                                 nullptr, nullptr);
  if (length <= 0) return {};
  out.resize(static_cast<std::size_t>(length));
  return out;
}

std::u16string FileNameToUtf16(std::string_view ABytes) {
  return Utf8ToUtf16(ABytes);
}

std::string FileNameFromUtf16(std::u16string_view AName) {
  return Utf16ToUtf8(AName);
}

std::u16string AnsiToUtf16(std::string_view AText) {
  return MultiByteToUtf16(CP_ACP, AText);
}

// ---------------------------------------------------------------------------
// Files

std::u16string LongPathForm(std::u16string_view APath) {
  constexpr std::u16string_view cLocalPrefix = u"\\\\?\\";
  constexpr std::u16string_view cDevicePrefix = u"\\\\.\\";
  constexpr std::u16string_view cUncPrefix = u"\\\\?\\UNC\\";
  if (APath.size() < 256 || APath.substr(0, 4) == cLocalPrefix) return std::u16string(APath);
  // The system takes a prefixed path as it stands: "/" is no separator there and
  // "." and ".." are names. The full path has "\" only, with both resolved (and
  // a relative path made absolute); the call looks at no disk.
  const std::u16string full = FullPathName(APath);
  if (full.empty()) return std::u16string(APath);
  // A device path ("//?/", "\\.\") comes back in its own form; it takes no prefix.
  if (full.starts_with(cLocalPrefix) || full.starts_with(cDevicePrefix)) return full;
  std::u16string out;
  if (full.starts_with(u"\\\\")) {
    out.reserve(cUncPrefix.size() + full.size() - 2);
    out.append(cUncPrefix).append(std::u16string_view(full).substr(2));
  } else {
    out.reserve(cLocalPrefix.size() + full.size());
    out.append(cLocalPrefix).append(full);
  }
  return out;
}

std::u16string_view FolderSeparators() {
  return cFolderSeparators;
}

bool IsExistingFile(std::u16string_view APath) {
  std::wstring wide = ToWide(APath);
  if (wide.empty()) return false;
  return IsPlainFileAttributes(::GetFileAttributesW(wide.c_str()));
}

bool FindFileEntry(std::u16string_view APath, TFileEntryInfo& AInfo) {
  // Only what IsExistingFile accepts is searched: the file's attributes say
  // whether it is a plain file, which a directory entry of a device does not.
  if (!IsExistingFile(APath)) return false;
  std::wstring wide = ToWide(APath);
  if (wide.empty() || NameHasWildcards(APath)) return false;
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
  AInfo.Size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                         data.nFileSizeLow);
  AInfo.LastWriteTime = LocalDateTime(data.ftLastWriteTime);
  return true;
}

// Names are UTF-16 here, so none is a byte sequence that is no UTF-8.
std::vector<std::u16string> NamesThatAreNoUtf8(std::u16string_view) {
  return {};
}

bool FileNamesAreCaseSensitive() {
  return false;
}

namespace {

bool OpenFile(std::u16string_view APath, std::intptr_t& AHandle, std::int64_t& ASize) {
  std::wstring wide = ToWide(APath);
  if (wide.empty()) return false;
  HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // A pipe, console or other device opens too; only a file on disk is wanted.
  // A raw volume is of the disk type as well but has no file information.
  BY_HANDLE_FILE_INFORMATION information;
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    ::CloseHandle(file);
    return false;
  }
  AHandle = reinterpret_cast<std::intptr_t>(file);
  ASize = static_cast<std::int64_t>((static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) |
                                    information.nFileSizeLow);
  return true;
}

std::int64_t ReadFileAt(std::intptr_t AHandle, std::int64_t AOffset, void* ABuffer,
                        std::size_t ACount) {
  if (AOffset < 0) return -1;
  const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(ACount, 1u << 30));
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(AOffset) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(AOffset) >> 32);
  DWORD read = 0;
  if (!::ReadFile(AsHandle(AHandle), ABuffer, chunk, &read, &at))
    return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  return static_cast<std::int64_t>(read);
}

void CloseFile(std::intptr_t AHandle) {
  ::CloseHandle(AsHandle(AHandle));
}

}  // namespace

const TFileCalls& SystemFileCalls() {
  static constexpr TFileCalls cCalls{OpenFile, ReadFileAt, CloseFile};
  return cCalls;
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

std::vector<std::optional<std::u16string>> ReadIniValues(
    std::u16string_view AIniPath, std::u16string_view ASection,
    const std::vector<std::u16string_view>& AKeys) {
  std::vector<std::optional<std::u16string>> values(AKeys.size());
  std::wstring path = ToWide(AIniPath);
  std::wstring sectionName = ToWide(ASection);
  if (path.empty() || sectionName.size() != ASection.size()) return values;
  // The profile reader looks for a bare name in the Windows folder; resolve it
  // against the current folder as every other file name is.
  std::wstring full(MAX_PATH, L'\0');
  DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n >= full.size()) {
    full.assign(n, L'\0');
    n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (n == 0 || n >= full.size()) return values;
  full.resize(n);
  // A device or folder given as the settings file is not read.
  if (!IsPlainFileAttributes(::GetFileAttributesW(full.c_str()))) return values;

  // The system's profile reader keeps the file it read last, so the keys after
  // the first are answered from memory.
  for (std::size_t i = 0; i < AKeys.size(); ++i) {
    std::wstring keyName = ToWide(AKeys[i]);
    if (keyName.size() != AKeys[i].size()) continue;
    // A line feed cannot occur in a value, so it marks a missing section or key.
    constexpr wchar_t cMissing[] = L"\n";
    wchar_t buffer[2048];
    DWORD length = ::GetPrivateProfileStringW(sectionName.c_str(), keyName.c_str(), cMissing,
                                              buffer, 2048, full.c_str());
    if (length == 1 && buffer[0] == L'\n') continue;
    values[i].emplace(reinterpret_cast<const char16_t*>(buffer), std::min<DWORD>(length, 2047));
  }
  return values;
}

std::optional<std::string> EnvironmentValue(const char* AName) {
  wchar_t buffer[256];
  const std::wstring name(AName, AName + std::strlen(AName));
  const DWORD n = ::GetEnvironmentVariableW(name.c_str(), buffer, 256);
  if (n == 0 || n >= 256) return std::nullopt;  // unset, or longer than any value asked for
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(buffer), n));
}

// ---------------------------------------------------------------------------
// Lock

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(TLock) &&
                  alignof(CRITICAL_SECTION) <= alignof(TLock),
              "the lock holds a critical section in place");

namespace {
CRITICAL_SECTION* SectionOf(unsigned char* AStorage) {
  return reinterpret_cast<CRITICAL_SECTION*>(AStorage);
}
}  // namespace

TLock::TLock() {
  ::InitializeCriticalSection(SectionOf(FSection));
}
TLock::~TLock() {
  ::DeleteCriticalSection(SectionOf(FSection));
}
void TLock::Enter() {
  ::EnterCriticalSection(SectionOf(FSection));
}
bool TLock::TryEnter() {
  return ::TryEnterCriticalSection(SectionOf(FSection)) != 0;
}
void TLock::Leave() {
  ::LeaveCriticalSection(SectionOf(FSection));
}

}  // namespace platform
