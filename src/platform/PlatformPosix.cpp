// The platform services on Linux and other POSIX systems: ICU for case-insensitive
// comparison, lower-casing and code pages; POSIX for files, the module path and
// the lock. (What only hosts of the plugin need is in HostPlatformPosix.cpp.) File names are UTF-8
// on disk; the plugin hands them over as UTF-16.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <langinfo.h>
#include <link.h>
#include <sys/stat.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/CodePages.h"
#include "platform/Platform.h"

namespace platform {
namespace {

const UChar* AsUChar(const char16_t* AP) {
  return reinterpret_cast<const UChar*>(AP);
}

struct TConverterCloser {
  void operator()(UConverter* AConverter) const { ucnv_close(AConverter); }
};

// ICU knows most Windows code pages under a numbered alias; try them in turn.
// The ISO and EBCDIC pages that Windows numbers differently go by name.
UConverter* OpenConverter(std::int32_t ACodePage) {
  char names[4][32];
  std::snprintf(names[0], sizeof names[0], "windows-%d", static_cast<int>(ACodePage));
  std::snprintf(names[1], sizeof names[1], "cp%d", static_cast<int>(ACodePage));
  std::snprintf(names[2], sizeof names[2], "ibm-%d", static_cast<int>(ACodePage));
  names[3][0] = '\0';
  switch (ACodePage) {
    case 708:
      std::snprintf(names[3], sizeof names[3], "ISO-8859-6");
      break;
    case 20127:
      std::snprintf(names[3], sizeof names[3], "US-ASCII");
      break;
    case 28591:
      std::snprintf(names[3], sizeof names[3], "ISO-8859-1");
      break;
    case 38598:
      std::snprintf(names[3], sizeof names[3], "ISO-8859-8");
      break;
    default:
      // 20273 and its neighbours are the EBCDIC pages IBM numbers 273 and so on.
      if (ACodePage > 20000 && ACodePage < 21000)
        std::snprintf(names[3], sizeof names[3], "ibm-%d", static_cast<int>(ACodePage - 20000));
  }
  for (const char* name : names) {
    if (name[0] == '\0') continue;
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name, &status);
    if (U_SUCCESS(status) && converter != nullptr) return converter;
  }
  return nullptr;
}

std::string ToNativePath(std::u16string_view APath) {
  return FileNameFromUtf16(APath);
}

bool IsAscii(std::string_view AText) {
  return std::all_of(AText.begin(), AText.end(),
                     [](char AC) { return static_cast<unsigned char>(AC) < 0x80; });
}

// Opens a path read-only without ever blocking (a FIFO would otherwise wait for a
// writer) and keeps it only when it is a regular file; ASize receives its size.
int OpenRegular(std::u16string_view APath, std::int64_t& ASize) {
  std::string native = ToNativePath(APath);
  if (native.empty() || native.find('\0') != std::string::npos) return -1;
  int fd = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  ASize = static_cast<std::int64_t>(st.st_size);
  return fd;
}

bool StatRegular(std::u16string_view APath, struct stat& ASt) {
  std::string native = ToNativePath(APath);
  if (native.empty() || native.find('\0') != std::string::npos) return false;
  return ::stat(native.c_str(), &ASt) == 0 && S_ISREG(ASt.st_mode);
}

bool IsBlank(char16_t AC) {
  return AC == u' ' || AC == u'\t';
}

std::u16string_view TrimBlanks(std::u16string_view AS) {
  while (!AS.empty() && IsBlank(AS.front())) AS.remove_prefix(1);
  while (!AS.empty() && (IsBlank(AS.back()) || AS.back() == u'\r')) AS.remove_suffix(1);
  return AS;
}

// What ends the folder part of a path.
constexpr std::u16string_view cFolderSeparators = u"/";

}  // namespace

// Each byte through ICU's converter for the code page; without one, ASCII
// only.
std::unique_ptr<TCodePageTable> BuildCodePageTable(std::int32_t ACodePage) {
  auto table = std::make_unique<TCodePageTable>();
  UConverter* converter = OpenConverter(ACodePage);
  for (int b = 0; b < 256; ++b) {
    char16_t unit = 0xFFFD;
    if (converter != nullptr) {
      ucnv_reset(converter);
      char in = static_cast<char>(b);
      UChar out[4];
      UErrorCode err = U_ZERO_ERROR;
      ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
      err = U_ZERO_ERROR;
      int32_t n = ucnv_toUChars(converter, out, 4, &in, 1, &err);
      if (U_SUCCESS(err) && n == 1) unit = static_cast<char16_t>(out[0]);
    } else if (b < 128) {
      unit = static_cast<char16_t>(b);
    }
    table->ToUnicode[static_cast<std::size_t>(b)] = unit;
    if (unit != 0xFFFD) table->FromUnicode.emplace(unit, static_cast<std::uint8_t>(b));
  }
  if (converter != nullptr) ucnv_close(converter);
  return table;
}

bool TextEqualsIgnoreCase(std::u16string_view ALeft, std::u16string_view ARight) {
  if (ALeft.size() > INT32_MAX || ARight.size() > INT32_MAX) return false;
  UErrorCode status = U_ZERO_ERROR;
  int32_t r = u_strCaseCompare(AsUChar(ALeft.data()), static_cast<int32_t>(ALeft.size()),
                               AsUChar(ARight.data()), static_cast<int32_t>(ARight.size()),
                               U_FOLD_CASE_DEFAULT, &status);
  return U_SUCCESS(status) && r == 0;
}

void LowerCaseInPlace(std::u16string& AText) {
  for (char16_t& c : AText) {
    if (c < 0x80) {
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    } else if (c < 0xD800 || c > 0xDFFF) {
      UChar32 lower = u_tolower(c);
      if (lower <= 0xFFFF) c = static_cast<char16_t>(lower);
    }
  }
}

std::uint8_t Utf16ToCodePageByte(std::int32_t ACodePage, char16_t AUnit, char ADefaultChar,
                                 bool* AUsedDefault) {
  const TCodePageTable& table = CodePageTableFor(ACodePage);
  auto it = table.FromUnicode.find(AUnit);
  bool found = it != table.FromUnicode.end();
  if (AUsedDefault != nullptr) *AUsedDefault = !found;
  return found ? it->second : static_cast<std::uint8_t>(ADefaultChar);
}

std::u16string Utf8ToUtf16(std::string_view AText) {
  if (AText.empty()) return {};
  if (AText.size() > INT32_MAX / 2) return {};
  std::u16string out(AText.size(), u'\0');  // UTF-16 never needs more units than UTF-8 bytes
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                       &length, AText.data(), static_cast<int32_t>(AText.size()), 0xFFFD, nullptr,
                       &status);
  if (U_FAILURE(status)) return {};
  out.resize(static_cast<std::size_t>(length));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view AText) {
  if (AText.empty()) return {};
  // File names are mostly ASCII, and every request converts one.
  if (std::all_of(AText.begin(), AText.end(), [](char16_t AC) { return AC < 0x80; })) {
    std::string ascii(AText.size(), '\0');
    std::transform(AText.begin(), AText.end(), ascii.begin(),
                   [](char16_t AC) { return static_cast<char>(AC); });
    return ascii;
  }
  if (AText.size() > INT32_MAX / 3) return {};
  std::string out(AText.size() * 3, '\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, AsUChar(AText.data()),
                     static_cast<int32_t>(AText.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) return {};
  out.resize(static_cast<std::size_t>(length));
  return out;
}

namespace {

bool IsWellFormedUtf8(std::string_view ABytes) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(ABytes.data());
  const auto length = static_cast<int32_t>(std::min<std::size_t>(ABytes.size(), INT32_MAX));
  for (int32_t i = 0; i < length;) {
    UChar32 c = 0;
    U8_NEXT(s, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

}  // namespace

std::u16string FileNameToUtf16(std::string_view ABytes) {
  if (IsAscii(ABytes)) return std::u16string(ABytes.begin(), ABytes.end());
  if (ABytes.size() > INT32_MAX) return {};
  std::u16string out;
  out.reserve(ABytes.size());
  const auto* s = reinterpret_cast<const std::uint8_t*>(ABytes.data());
  const auto length = static_cast<int32_t>(ABytes.size());
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c = 0;
    U8_NEXT(s, i, length, c);
    if (c < 0) {
      // Only the first byte of an ill-formed sequence is escaped; the next one
      // may start a well-formed sequence of its own.
      out.push_back(static_cast<char16_t>(0xDC00 + s[start]));
      i = start + 1;
    } else if (c <= 0xFFFF) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      out.push_back(static_cast<char16_t>(U16_LEAD(c)));
      out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
    }
  }
  return out;
}

std::string FileNameFromUtf16(std::u16string_view AName) {
  if (std::all_of(AName.begin(), AName.end(), [](char16_t AC) { return AC < 0x80; }))
    return std::string(AName.begin(), AName.end());
  if (AName.size() > INT32_MAX / 3) return {};
  std::string out;
  out.reserve(AName.size() * 3);
  const auto length = static_cast<int32_t>(AName.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c = 0;
    U16_NEXT(AName.data(), i, length, c);
    if (c >= 0xDC80 && c <= 0xDCFF) {
      out.push_back(static_cast<char>(c - 0xDC00));
      continue;
    }
    if (U_IS_SURROGATE(c)) c = 0xFFFD;
    std::uint8_t units[4];
    int32_t n = 0;
    U8_APPEND_UNSAFE(units, n, c);
    out.append(reinterpret_cast<const char*>(units), static_cast<std::size_t>(n));
  }
  return out;
}

std::u16string AnsiToUtf16(std::string_view AText) {
  if (AText.empty()) return {};
  if (AText.size() > INT32_MAX / 2) return {};
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, TConverterCloser> converter(ucnv_open(nl_langinfo(CODESET), &status));
  if (U_FAILURE(status) || !converter) return FileNameToUtf16(AText);
  // A locale of ASCII only (ICU's canonical name for all its aliases) is the "C"
  // locale of a host that never called setlocale; such hosts pass file names as
  // they are on disk, which is UTF-8 by convention, as a UTF-8 locale does.
  UErrorCode nameStatus = U_ZERO_ERROR;
  const char* name = ucnv_getName(converter.get(), &nameStatus);
  if (name != nullptr && (std::strcmp(name, "US-ASCII") == 0 || std::strcmp(name, "UTF-8") == 0))
    return FileNameToUtf16(AText);
  std::u16string out(AText.size() * 2, u'\0');
  int32_t n = ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(out.data()),
                            static_cast<int32_t>(out.size()), AText.data(),
                            static_cast<int32_t>(AText.size()), &status);
  if (U_FAILURE(status)) return {};
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// No path-length limit calls for another form here.
std::u16string LongPathForm(std::u16string_view APath) {
  return std::u16string(APath);
}

std::u16string_view FolderSeparators() {
  return cFolderSeparators;
}

bool IsExistingFile(std::u16string_view APath) {
  struct stat st;
  return StatRegular(APath, st);
}

std::vector<std::u16string> NamesThatAreNoUtf8(std::u16string_view AFolder) {
  std::vector<std::u16string> names;
  const std::string folder = AFolder.empty() ? std::string(".") : FileNameFromUtf16(AFolder);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view bytes(entry->d_name);
    if (IsAscii(bytes)) continue;
    // The same test as the conversion's: ICU's well-formed UTF-8.
    if (IsWellFormedUtf8(bytes)) continue;
    names.push_back(FileNameToUtf16(bytes));
  }
  return names;
}

bool FindFileEntry(std::u16string_view APath, TFileEntryInfo& AInfo) {
  struct stat st;
  if (!StatRegular(APath, st)) return false;
  AInfo.Size = static_cast<std::int64_t>(st.st_size);
  std::time_t seconds = st.st_mtim.tv_sec;
  std::tm local{};
  if (::localtime_r(&seconds, &local) == nullptr) {
    AInfo.LastWriteTime = 0;
    return true;
  }
  // Seconds since 1970-01-01 in local time, then days since 1899-12-30; the day
  // fraction keeps milliseconds.
  std::int64_t localSeconds = static_cast<std::int64_t>(seconds) + local.tm_gmtoff;
  std::int64_t days = localSeconds / 86400;
  std::int64_t secondOfDay = localSeconds % 86400;
  if (secondOfDay < 0) {
    secondOfDay += 86400;
    days -= 1;
  }
  std::int64_t msOfDay = secondOfDay * 1000 + st.st_mtim.tv_nsec / 1000000;
  AInfo.LastWriteTime =
      static_cast<double>(days + 25569) + static_cast<double>(msOfDay) / 86400000.0;
  return true;
}

bool FileNamesAreCaseSensitive() {
  return true;
}

namespace {

bool OpenFile(std::u16string_view APath, std::intptr_t& AHandle, std::int64_t& ASize) {
  const int fd = OpenRegular(APath, ASize);
  AHandle = fd;
  return fd >= 0;
}

std::int64_t ReadFileAt(std::intptr_t AHandle, std::int64_t AOffset, void* ABuffer,
                        std::size_t ACount) {
  if (AOffset < 0) return -1;
  for (;;) {
    const ssize_t n =
        ::pread(static_cast<int>(AHandle), ABuffer, ACount, static_cast<off_t>(AOffset));
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

void CloseFile(std::intptr_t AHandle) {
  ::close(static_cast<int>(AHandle));
}

}  // namespace

const TFileCalls& SystemFileCalls() {
  static constexpr TFileCalls cCalls{OpenFile, ReadFileAt, CloseFile};
  return cCalls;
}

std::u16string ModulePath() {
  Dl_info info{};
  link_map* map = nullptr;
  if (::dladdr1(reinterpret_cast<void*>(&ModulePath), &info, reinterpret_cast<void**>(&map),
                RTLD_DL_LINKMAP) == 0 ||
      info.dli_fname == nullptr)
    return {};
  // For the program itself the loader reports the name it was started by, which
  // may be a bare name found on the search path; the kernel knows the file.
  if (map != nullptr && map->l_name != nullptr && map->l_name[0] == '\0') {
    std::string self(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size());
    if (n > 0 && static_cast<std::size_t>(n) < self.size()) {
      self.resize(static_cast<std::size_t>(n));
      return FileNameToUtf16(self);
    }
  }
  char* resolved = ::realpath(info.dli_fname, nullptr);
  std::string path = resolved != nullptr ? resolved : info.dli_fname;
  std::free(resolved);
  return FileNameToUtf16(path);
}

std::vector<std::optional<std::u16string>> ReadIniValues(
    std::u16string_view AIniPath, std::u16string_view ASection,
    const std::vector<std::u16string_view>& AKeys) {
  std::vector<std::optional<std::u16string>> values(AKeys.size());
  auto file = TReadOnlyFile::Open(AIniPath);
  if (!file) return values;
  // A settings file is a few lines; anything past 1 MiB is not read.
  constexpr std::size_t cMaxIniBytes = 1 << 20;
  std::string bytes;
  char chunk[4096];
  while (bytes.size() < cMaxIniBytes) {
    const std::int64_t n =
        file->ReadAt(static_cast<std::int64_t>(bytes.size()), chunk, sizeof chunk);
    if (n <= 0) break;
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  file.reset();
  if (bytes.size() > cMaxIniBytes) bytes.resize(cMaxIniBytes);
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  std::u16string text = Utf8ToUtf16(bytes);

  bool inSection = false;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    std::u16string_view line = TrimBlanks(std::u16string_view(text).substr(start, end - start));
    start = end + 1;
    if (!line.empty() && line.front() == u'[') {
      std::size_t close = line.find(u']');
      std::u16string_view name = TrimBlanks(
          line.substr(1, close == std::u16string_view::npos ? line.size() - 1 : close - 1));
      if (inSection) break;  // the first section of that name was searched
      inSection = TextEqualsIgnoreCase(name, ASection);
      continue;
    }
    if (!inSection || line.empty() || line.front() == u';') continue;
    std::size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos) continue;
    const std::u16string_view key = TrimBlanks(line.substr(0, eq));
    std::u16string_view v = TrimBlanks(line.substr(eq + 1));
    // The reader drops one pair of enclosing quotes, as the Windows reader does.
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
      v = v.substr(1, v.size() - 2);
    if (v.size() > 2047) v = v.substr(0, 2047);
    // The first line of a key counts.
    for (std::size_t i = 0; i < AKeys.size(); ++i)
      if (!values[i] && TextEqualsIgnoreCase(key, AKeys[i])) values[i].emplace(v);
  }
  return values;
}

std::optional<std::string> EnvironmentValue(const char* AName) {
  const char* value = std::getenv(AName);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void TLock::Enter() {
  FMutex.lock();
}
bool TLock::TryEnter() {
  return FMutex.try_lock();
}
void TLock::Leave() {
  FMutex.unlock();
}

}  // namespace platform
