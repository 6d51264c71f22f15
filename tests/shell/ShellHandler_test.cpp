// The property handler as Explorer drives it, under wine in a prefix of its
// own: the class found for .svg and .svgz in the registry after regsvr32,
// created with CoCreateInstance, handed a stream from SHCreateStreamOnFileEx,
// and asked for its properties. Every drawing of the examples and fixtures
// gives what the host tool reports for it; refused and damaged files are read
// in a child process each, so that a crash shows; the read-only contract,
// threads, unloading, the registration round trip and the installer follow.
// Wine has no shell property-store route (SHGetPropertyStoreFromParsingName),
// so the handler is driven directly, as that route would drive it.
#include <windows.h>
// The COM and shell headers follow windows.h.
#include <gtest/gtest.h>
#include <objbase.h>
#include <propsys.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/Utf16.h"
#include "base/Utf8.h"
#include "platform/HostPlatform.h"
#include "platform/Platform.h"
#include "support/HostileSet.h"
#include "support/TestSupport.h"
#include "support/ZipFixture.h"

namespace fs = std::filesystem;
using testing_support::Gzip;
using testing_support::TTempDir;

namespace {

const wchar_t* const cHandlersKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers";
const wchar_t* const cAssociationsKey = L"SOFTWARE\\Classes\\SystemFileAssociations";
const wchar_t* const cOurClass = L"{D906B8A7-26A3-4351-AC7A-C5DFD38B698E}";

std::wstring W(std::string_view AUtf8) {
  const std::u16string text = utf8::ToUtf16(AUtf8);
  return std::wstring(text.begin(), text.end());
}
std::string Utf8(std::wstring_view AText) {
  return platform::Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(AText.data()), AText.size()));
}

// ---- processes

std::u16string U16(std::wstring_view AText) {
  return std::u16string(AText.begin(), AText.end());
}

std::wstring SelfPath() {
  wchar_t path[MAX_PATH * 2] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  return path;
}

std::wstring SystemProgram(const wchar_t* AName) {
  wchar_t folder[MAX_PATH] = {};
  GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder) + L"\\" + AName;
}

int RunProgram(const std::wstring& AProgram, const std::vector<std::wstring>& AArguments,
               std::string* AOutput = nullptr) {
  std::vector<std::u16string> arguments;
  for (const std::wstring& argument : AArguments) arguments.push_back(U16(argument));
  std::string output, error;
  const int code = platform::RunProcess(U16(AProgram), arguments, output, &error);
  if (code == -1) ADD_FAILURE() << "cannot run " << Utf8(AProgram) << ": " << error;
  if (AOutput != nullptr) *AOutput = output;
  return code;
}

void Regsvr32(bool ARemove, const std::wstring& AModule = W(VX_SHELL_DLL)) {
  std::vector<std::wstring> arguments = {L"/s"};
  if (ARemove) arguments.push_back(L"/u");
  arguments.push_back(AModule);
  ASSERT_EQ(RunProgram(SystemProgram(L"regsvr32.exe"), arguments), 0)
      << "regsvr32 " << (ARemove ? "/u " : "") << Utf8(AModule);
}

// ---- the registry

bool ReadText(const std::wstring& AKey, const wchar_t* AName, std::wstring& AText) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  wchar_t buffer[4096] = {};
  DWORD bytes = sizeof buffer - sizeof(wchar_t), type = 0;
  const bool found = RegQueryValueExW(key, AName, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                                      &bytes) == ERROR_SUCCESS &&
                     type == REG_SZ;
  RegCloseKey(key);
  if (found) AText = buffer;
  return found;
}

void WriteText(const std::wstring& AKey, const wchar_t* AName, const std::wstring& AText) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, AKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, AName, 0, REG_SZ, reinterpret_cast<const BYTE*>(AText.c_str()),
                 static_cast<DWORD>((AText.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

// Every value under the key and its subkeys, as "key\[name]=value" lines.
void DumpKey(const std::wstring& AKey, std::vector<std::string>& ALines) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  ALines.push_back("HKLM\\" + Utf8(AKey));
  for (DWORD i = 0;; ++i) {
    wchar_t name[512] = {};
    wchar_t data[4096] = {};
    DWORD nameLength = 512, bytes = sizeof data - sizeof(wchar_t), type = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data),
                      &bytes) != ERROR_SUCCESS)
      break;
    ALines.push_back("HKLM\\" + Utf8(AKey) + "\\[" + Utf8(name) +
                     "]=" + (type == REG_SZ ? Utf8(data) : "(type " + std::to_string(type) + ")"));
  }
  std::vector<std::wstring> subkeys;
  for (DWORD i = 0;; ++i) {
    wchar_t name[512] = {};
    DWORD nameLength = 512;
    if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    subkeys.push_back(name);
  }
  RegCloseKey(key);
  for (const std::wstring& subkey : subkeys) DumpKey(AKey + L"\\" + subkey, ALines);
}

// Everything a registration of the handler can touch.
std::vector<std::string> Snapshot() {
  std::vector<std::string> lines;
  DumpKey(std::wstring(L"SOFTWARE\\Classes\\CLSID\\") + cOurClass, lines);
  for (const wchar_t* extension : {L".svg", L".svgz"}) {
    DumpKey(std::wstring(cHandlersKey) + L"\\" + extension, lines);
    DumpKey(std::wstring(cAssociationsKey) + L"\\" + extension, lines);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::string Joined(const std::vector<std::string>& ALines) {
  std::string text;
  for (const std::string& line : ALines) text += line + "\n";
  return text.empty() ? "(nothing)\n" : text;
}

// ---- the handler, as Explorer drives it

// A COM pointer released when it goes.
template <typename T>
struct TCom {
  T* P = nullptr;
  TCom() = default;
  TCom(const TCom&) = delete;
  TCom& operator=(const TCom&) = delete;
  ~TCom() {
    if (P != nullptr) P->Release();
  }
  T* operator->() const { return P; }
  T** operator&() { return &P; }
};

struct TComThread {
  TComThread() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~TComThread() { CoUninitialize(); }
};

// The property keys the handler may give, by the canonical names of the shell.
struct TKnownKey {
  const char* Name;
  PROPERTYKEY Key;
};
const GUID cSummary = {
    0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}};
const GUID cImage = {0x6444048F, 0x4C8B, 0x11D1, {0x8B, 0x70, 0x08, 0x00, 0x36, 0xB1, 0x1A, 0x03}};
const TKnownKey cKnownKeys[] = {
    {"System.Image.HorizontalSize", {cImage, 3}},
    {"System.Image.VerticalSize", {cImage, 4}},
    {"System.Image.Dimensions", {cImage, 13}},
    {"System.Title", {cSummary, 2}},
    {"System.Comment", {cSummary, 6}},
    {"System.ApplicationName", {cSummary, 18}},
    {"System.Document.DateCreated", {cSummary, 12}},
};

std::string NameOf(const PROPERTYKEY& AKey) {
  for (const TKnownKey& known : cKnownKeys)
    if (IsEqualGUID(known.Key.fmtid, AKey.fmtid) && known.Key.pid == AKey.pid) return known.Name;
  wchar_t guid[64] = {};
  StringFromGUID2(AKey.fmtid, guid, 64);
  return "unknown " + Utf8(guid) + " " + std::to_string(AKey.pid);
}

std::string FileTimeText(const FILETIME& ATime) {
  SYSTEMTIME time{};
  if (!FileTimeToSystemTime(&ATime, &time)) return "(no time)";
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth,
                time.wDay, time.wHour, time.wMinute, time.wSecond);
  const ULONGLONG ticks = (ULONGLONG{ATime.dwHighDateTime} << 32) | ATime.dwLowDateTime;
  std::string result = text;
  if (ticks % 10'000'000 != 0) {
    std::snprintf(text, sizeof text, ".%07llu", ticks % 10'000'000);
    result += text;
  }
  return result + " UTC";
}

std::string ValueText(const PROPVARIANT& AValue) {
  switch (AValue.vt) {
    case VT_UI4:
      return std::to_string(AValue.ulVal);
    case VT_LPWSTR:
      return Utf8(AValue.pwszVal);
    case VT_FILETIME:
      return FileTimeText(AValue.filetime);
    default:
      return "(type " + std::to_string(AValue.vt) + ")";
  }
}

// What a store holds, as "name=value" lines in its order; every value is also
// checked to be of its property's type.
std::vector<std::string> StoreLines(IPropertyStore* AStore) {
  std::vector<std::string> lines;
  DWORD count = 0;
  EXPECT_EQ(AStore->GetCount(&count), S_OK);
  for (DWORD i = 0; i < count; ++i) {
    PROPERTYKEY key{};
    EXPECT_EQ(AStore->GetAt(i, &key), S_OK);
    PROPVARIANT value;
    PropVariantInit(&value);
    EXPECT_EQ(AStore->GetValue(key, &value), S_OK);
    const std::string name = NameOf(key);
    const VARTYPE expected =
        name == "System.Image.HorizontalSize" || name == "System.Image.VerticalSize" ? VT_UI4
        : name == "System.Document.DateCreated"                                      ? VT_FILETIME
                                                                                     : VT_LPWSTR;
    EXPECT_EQ(value.vt, expected) << name;
    // Windows' own conversions would hide a lone surrogate: it is checked here.
    if (value.vt == VT_LPWSTR) {
      EXPECT_TRUE(utf16::IsWellFormed(U16(value.pwszVal))) << name;
    }
    lines.push_back(name + "=" + ValueText(value));
    PropVariantClear(&value);
  }
  return lines;
}

// The class registered for the file's extension, as Explorer looks it up.
bool HandlerClassFor(const fs::path& AFile, CLSID& AClass) {
  std::wstring text;
  std::wstring extension = AFile.extension().wstring();
  std::transform(extension.begin(), extension.end(), extension.begin(), ::towlower);
  return ReadText(std::wstring(cHandlersKey) + L"\\" + extension, nullptr, text) &&
         SUCCEEDED(CLSIDFromString(text.c_str(), &AClass));
}

struct TReading {
  HRESULT Created = E_FAIL;
  HRESULT Initialized = E_FAIL;
  std::vector<std::string> Lines;
};

TReading ReadThroughShell(const fs::path& AFile) {
  TReading reading;
  CLSID handler{};
  if (!HandlerClassFor(AFile, handler)) {
    ADD_FAILURE() << "no handler is registered for " << AFile.string();
    return reading;
  }
  TCom<IPropertyStore> store;
  reading.Created = CoCreateInstance(handler, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyStore,
                                     reinterpret_cast<void**>(&store));
  if (FAILED(reading.Created)) return reading;
  TCom<IInitializeWithStream> init;
  EXPECT_EQ(store->QueryInterface(IID_IInitializeWithStream, reinterpret_cast<void**>(&init)),
            S_OK);
  TCom<IStream> stream;
  const HRESULT opened = SHCreateStreamOnFileEx(
      AFile.wstring().c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0, FALSE, nullptr, &stream);
  EXPECT_EQ(opened, S_OK) << AFile.string();
  if (FAILED(opened)) return reading;
  reading.Initialized = init->Initialize(stream.P, STGM_READ);
  reading.Lines = StoreLines(store.P);
  if (FAILED(reading.Initialized)) {
    EXPECT_TRUE(reading.Lines.empty()) << AFile.string();
  }
  return reading;
}

// A value's line breaks written out ("\\r", "\\n"), so that a property is one
// line of the child's output and its breaks are compared byte for byte.
std::string OnOneLine(const std::string& AText) {
  std::string out;
  for (const char c : AText) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

// The child's work: one file read as Explorer reads it, printed.
int ReadInChild(const fs::path& AFile) {
  TComThread com;
  const TReading reading = ReadThroughShell(AFile);
  std::printf("Initialize: %s\n", SUCCEEDED(reading.Initialized) ? "ok" : "failed");
  for (const std::string& line : reading.Lines) std::printf("%s\n", OnOneLine(line).c_str());
  return ::testing::Test::HasFailure() ? 2 : 0;
}

struct TChildReading {
  int Code = -1;
  bool Initialized = false;
  std::vector<std::string> Lines;
  std::string Output;
};

TChildReading ReadInChildProcess(const fs::path& AFile) {
  TChildReading reading;
  reading.Code = RunProgram(SelfPath(), {L"--read", AFile.wstring()}, &reading.Output);
  std::string output = reading.Output;
  output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(start, end - start);
    if (line == "Initialize: ok")
      reading.Initialized = true;
    else if (line != "Initialize: failed" && !line.empty())
      reading.Lines.push_back(line);
    start = end + 1;
  }
  return reading;
}

// ---- what the host tool reports

// The fields of the first file object of the host tool's JSON report (strings,
// numbers and booleans as their texts; null fields left out).
std::map<std::string, std::string> ParseHostReport(const std::string& AJson) {
  std::map<std::string, std::string> fields;
  std::size_t pos = AJson.find('{');
  if (pos == std::string::npos) return fields;
  auto readString = [&](std::string& AOut) {
    AOut.clear();
    ++pos;  // the opening quote
    while (pos < AJson.size() && AJson[pos] != '"') {
      char c = AJson[pos++];
      if (c != '\\') {
        AOut += c;
        continue;
      }
      c = AJson[pos++];
      switch (c) {
        case 'n':
          AOut += '\n';
          break;
        case 't':
          AOut += '\t';
          break;
        case 'r':
          AOut += '\r';
          break;
        case 'b':
          AOut += '\b';
          break;
        case 'f':
          AOut += '\f';
          break;
        case 'u': {
          std::u16string units;
          units += static_cast<char16_t>(std::stoul(AJson.substr(pos, 4), nullptr, 16));
          pos += 4;
          if ((units[0] & 0xFC00) == 0xD800 && AJson.compare(pos, 2, "\\u") == 0) {
            units += static_cast<char16_t>(std::stoul(AJson.substr(pos + 2, 4), nullptr, 16));
            pos += 6;
          }
          AOut += platform::Utf16ToUtf8(units);
          break;
        }
        default:
          AOut += c;
      }
    }
    ++pos;  // the closing quote
  };
  ++pos;
  for (;;) {
    while (pos < AJson.size() && (AJson[pos] == ' ' || AJson[pos] == ',' || AJson[pos] == '\n'))
      ++pos;
    if (pos >= AJson.size() || AJson[pos] != '"') break;
    std::string name, value;
    readString(name);
    while (pos < AJson.size() && (AJson[pos] == ':' || AJson[pos] == ' ')) ++pos;
    if (AJson[pos] == '"') {
      readString(value);
      fields[name] = value;
    } else {
      const std::size_t end = AJson.find_first_of(",}", pos);
      value = AJson.substr(pos, end - pos);
      pos = end;
      if (value != "null") fields[name] = value;
    }
  }
  return fields;
}

bool IsSimpleIsoDate(const std::string& AText) {
  auto digitsAt = [&](std::size_t AFrom, std::size_t ACount) {
    for (std::size_t i = AFrom; i < AFrom + ACount; ++i)
      if (i >= AText.size() || AText[i] < '0' || AText[i] > '9') return false;
    return true;
  };
  const bool date =
      digitsAt(0, 4) && AText[4] == '-' && digitsAt(5, 2) && AText[7] == '-' && digitsAt(8, 2);
  if (AText.size() == 10) return date;
  return AText.size() == 19 && date && AText[10] == ' ' && digitsAt(11, 2) && AText[13] == ':' &&
         digitsAt(14, 2) && AText[16] == ':' && digitsAt(17, 2);
}

// What Explorer should learn of a file: the host tool's fields through the
// handler's mapping. A date the host tool shows in a form other than a plain
// date or date and time (zones, fractions) is checked by the date table
// instead, and left out here.
struct TExpected {
  std::vector<std::string> Lines;
  bool CheckDate = true;
};

TExpected ExpectedFromHostTool(const fs::path& AFile) {
  std::string json;
  RunProgram(W(VX_HOST_TOOL_PATH), {L"--json", AFile.wstring()}, &json);
  std::map<std::string, std::string> fields = ParseHostReport(json);
  TExpected expected;
  const std::string width = fields["Calculated Width (96)"];
  const std::string height = fields["Calculated Height (96)"];
  if (!width.empty() && !height.empty() && width != "0" && height != "0") {
    expected.Lines.push_back("System.Image.HorizontalSize=" + width);
    expected.Lines.push_back("System.Image.VerticalSize=" + height);
    // Between U+202A and U+202C, as Windows' image handlers write it.
    expected.Lines.push_back("System.Image.Dimensions=\xE2\x80\xAA" + width + " x " + height +
                             "\xE2\x80\xAC");
  }
  for (const auto& [field, property] :
       {std::pair<const char*, const char*>{"Metadata Title", "System.Title"},
        {"Metadata Description", "System.Comment"},
        {"Application", "System.ApplicationName"}})
    if (!fields[field].empty())
      expected.Lines.push_back(std::string(property) + "=" + OnOneLine(fields[field]));
  const std::string date = fields["Metadata Date"];
  if (IsSimpleIsoDate(date))
    expected.Lines.push_back("System.Document.DateCreated=" + date +
                             (date.size() == 10 ? " 00:00:00" : "") + " UTC");
  else
    expected.CheckDate = date.empty();
  return expected;
}

std::vector<std::string> WithoutDate(std::vector<std::string> ALines) {
  ALines.erase(std::remove_if(ALines.begin(), ALines.end(),
                              [](const std::string& ALine) {
                                return ALine.rfind("System.Document.DateCreated=", 0) == 0;
                              }),
               ALines.end());
  return ALines;
}

// Reads the file in a child process and holds it to the host tool's report.
void ExpectAsHostToolReports(const fs::path& AFile, bool APrint) {
  SCOPED_TRACE(AFile.string());
  const TChildReading reading = ReadInChildProcess(AFile);
  ASSERT_EQ(reading.Code, 0) << "the reading process failed or crashed:\n" << reading.Output;
  const TExpected expected = ExpectedFromHostTool(AFile);
  if (expected.CheckDate)
    EXPECT_EQ(reading.Lines, expected.Lines);
  else
    EXPECT_EQ(WithoutDate(reading.Lines), WithoutDate(expected.Lines));
  // A drawing Initialize accepts; one the engine refuses gives nothing at all.
  if (!reading.Initialized) {
    EXPECT_TRUE(reading.Lines.empty());
  }
  if (APrint) std::cout << AFile.filename().string() << "\n" << reading.Output;
}

std::vector<fs::path> Drawings() {
  std::vector<fs::path> files;
  for (const char* folder : {"examples", "tests/fixtures"})
    for (const fs::directory_entry& entry :
         fs::directory_iterator(fs::path(VX_SOURCE_DIR) / folder))
      if (entry.path().extension() == ".svg" || entry.path().extension() == ".svgz")
        files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

class TExplorer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Regsvr32(false); }
  TComThread FCom;
};

TEST_F(TExplorer, EveryDrawingGivesWhatTheHostToolReports) {
  const std::vector<fs::path> files = Drawings();
  ASSERT_GE(files.size(), 10u);
  for (const fs::path& file : files) ExpectAsHostToolReports(file, true);
}

// Files the engine refuses fail Initialize with an empty store; damaged and
// hostile ones give whatever the host tool reports. None may crash the child.
TEST_F(TExplorer, RefusedAndDamagedFilesNeverCrash) {
  const std::string drawing =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"30\">"
      "<metadata><rdf:RDF><cc:Work><dc:title>T</dc:title></cc:Work></rdf:RDF></metadata></svg>";
  const std::string gzip = Gzip(drawing);
  std::string corrupt = gzip;
  corrupt[corrupt.size() / 2] ^= 0x55;
  std::string deep = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"5\" height=\"6\">";
  for (int i = 0; i < 200000; ++i) deep += "<g>";
  struct TBadFile {
    const char* Name;
    std::string Bytes;
    bool Refused;
  };
  const std::vector<TBadFile> files = {
      {"empty.svg", "", true},
      {"text.svg", "this is no drawing", true},
      {"binary.svg", std::string("\x00\x01\x02\xFF\xFE\x80", 6), true},
      {"cut-gzip.svgz", gzip.substr(0, gzip.size() / 2), true},
      {"corrupt-gzip.svgz", corrupt, true},
      {"gzip-of-text.svgz", Gzip("plain words"), true},
      {"zip-without-drawing.svgz", testing_support::MakeZip({testing_support::Entry("a.txt", "x")}),
       true},
      {"cut-zip.svgz",
       testing_support::MakeZip({testing_support::Entry("cut-zip.svg", drawing, true)})
           .substr(0, 40),
       true},
      {"deep.svg", deep, false},
      {"huge-title.svg",
       "<svg xmlns=\"http://www.w3.org/2000/svg\"><metadata><rdf:RDF><cc:Work><dc:title>" +
           std::string(3'000'000, 'x') + "</dc:title></cc:Work></rdf:RDF></metadata></svg>",
       false},
      {"plain-as-svgz.svgz", drawing, false},
  };
  TTempDir dir;
  for (const TBadFile& file : files) {
    const fs::path path = dir.Write(file.Name, file.Bytes);
    if (std::string(file.Name) == "huge-title.svg") {
      // The record keeps the first 4,095 characters of a text; the host tool
      // shows one fewer, what fits its buffer with the terminator.
      const TChildReading reading = ReadInChildProcess(path);
      EXPECT_EQ(reading.Code, 0);
      EXPECT_EQ(reading.Lines, std::vector<std::string>{"System.Title=" + std::string(4095, 'x')});
      continue;
    }
    ExpectAsHostToolReports(path, false);
    if (file.Refused) {
      const TChildReading reading = ReadInChildProcess(path);
      EXPECT_FALSE(reading.Initialized) << file.Name;
      EXPECT_TRUE(reading.Lines.empty()) << file.Name;
    }
  }
}

// The hostile set as Explorer hands its files over, each read in a child
// process: no crash, no hang, every text well-formed UTF-16 (checked in the
// child). What is no regular file (a folder named .svg) Explorer never opens
// as a stream. Explorer opens a file denying others the right to write while
// it reads, so no file changes under the handler: the changing drawing is read
// as it lies (a writer would only make the open fail).
TEST_F(TExplorer, HostileSetNeverCrashes) {
  TTempDir dir;
  std::string error;
  const auto items = testing_support::WriteHostileSet(dir.Path(), error);
  ASSERT_FALSE(items.empty()) << error;
  for (const auto& item : items) {
    if (item.Kind == testing_support::THostileKind::hkNotAFile) continue;
    SCOPED_TRACE(item.Name + ": " + item.What);
    const TChildReading reading = ReadInChildProcess(dir.Path() / item.Name);
    EXPECT_EQ(reading.Code, 0) << reading.Output;
  }
}

// Metadata dates become FILETIMEs when they are ISO 8601 dates or date-times;
// a time without a zone is UTC.
TEST_F(TExplorer, MetadataDatesAreIsoDatesInUtc) {
  struct TDateCase {
    const char* Text;
    const char* Expected;  // empty: no date property
  };
  const std::vector<TDateCase> cases = {
      {"2024-05-17", "2024-05-17 00:00:00 UTC"},
      {"2024-05-17T08:30", "2024-05-17 08:30:00 UTC"},
      {" 2024-05-17T08:30:15.25Z ", "2024-05-17 08:30:15.2500000 UTC"},
      {"2024-05-17T08:30:15+02:00", "2024-05-17 06:30:15 UTC"},
      {"2024-05-17T23:30:00-0130", "2024-05-18 01:00:00 UTC"},
      {"2024-02-29T12:00:00+05", "2024-02-29 07:00:00 UTC"},
      {"1601-01-01", "1601-01-01 00:00:00 UTC"},
      {"2023-02-29", ""},
      {"2024-05-17T24:00", ""},
      {"2024-05-17T08:30+02:", ""},
      {"1600-12-31", ""},
      {"17.05.2024", ""},
      {"May 2024", ""},
      {"2024-05-17 evening", ""},
  };
  TTempDir dir;
  int n = 0;
  for (const TDateCase& c : cases) {
    const fs::path path = dir.Write(
        "date" + std::to_string(n++) + ".svg",
        std::string("<svg xmlns=\"http://www.w3.org/2000/svg\"><metadata><rdf:RDF><cc:Work>"
                    "<dc:date>") +
            c.Text + "</dc:date></cc:Work></rdf:RDF></metadata></svg>");
    const TReading reading = ReadThroughShell(path);
    EXPECT_EQ(reading.Initialized, S_OK) << c.Text;
    const std::vector<std::string> expected =
        *c.Expected
            ? std::vector<std::string>{std::string("System.Document.DateCreated=") + c.Expected}
            : std::vector<std::string>{};
    EXPECT_EQ(reading.Lines, expected) << c.Text;
  }
}

IStream* OpenFileStream(const fs::path& AFile) {
  IStream* stream = nullptr;
  EXPECT_EQ(SHCreateStreamOnFileEx(AFile.wstring().c_str(), STGM_READ, 0, FALSE, nullptr, &stream),
            S_OK);
  return stream;
}

ULONG References(IUnknown* AObject) {
  AObject->AddRef();
  return AObject->Release();
}

TEST_F(TExplorer, StoreIsReadOnlyAndInitializedOnce) {
  const fs::path examples = fs::path(VX_SOURCE_DIR) / "examples";
  CLSID handler{};
  ASSERT_TRUE(HandlerClassFor(examples / "editor-drawing.svg", handler));
  TCom<IPropertyStore> store;
  ASSERT_EQ(CoCreateInstance(handler, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyStore,
                             reinterpret_cast<void**>(&store)),
            S_OK);
  TCom<IInitializeWithStream> init;
  TCom<IPropertyStoreCapabilities> capabilities;
  TCom<IUnknown> other;
  ASSERT_EQ(store->QueryInterface(IID_IInitializeWithStream, reinterpret_cast<void**>(&init)),
            S_OK);
  ASSERT_EQ(store->QueryInterface(IID_IPropertyStoreCapabilities,
                                  reinterpret_cast<void**>(&capabilities)),
            S_OK);
  EXPECT_EQ(store->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&other)),
            E_NOINTERFACE);

  DWORD count = 99;
  EXPECT_EQ(store->GetCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(init->Initialize(nullptr, STGM_READ), E_POINTER);

  TCom<IStream> stream;
  stream.P = OpenFileStream(examples / "editor-drawing.svg");
  ASSERT_NE(stream.P, nullptr);
  ASSERT_EQ(init->Initialize(stream.P, STGM_READ), S_OK);
  EXPECT_EQ(References(stream.P), 1u) << "the handler keeps the stream";
  const std::vector<std::string> lines = StoreLines(store.P);
  EXPECT_EQ(lines.size(), 7u);

  // Once only, whatever the stream.
  EXPECT_EQ(init->Initialize(stream.P, STGM_READ), HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED));
  EXPECT_EQ(StoreLines(store.P), lines);

  // Nothing is written.
  PROPVARIANT value;
  PropVariantInit(&value);
  value.vt = VT_UI4;
  value.ulVal = 1;
  for (const TKnownKey& known : cKnownKeys) {
    EXPECT_EQ(capabilities->IsPropertyWritable(known.Key), S_FALSE) << known.Name;
    EXPECT_EQ(store->SetValue(known.Key, value), STG_E_ACCESSDENIED) << known.Name;
  }
  EXPECT_TRUE(FAILED(store->Commit()));
  EXPECT_EQ(StoreLines(store.P), lines);

  // Past the end, and a property it does not have.
  PROPERTYKEY key{};
  EXPECT_TRUE(FAILED(store->GetAt(static_cast<DWORD>(lines.size()), &key)));
  const PROPERTYKEY unknown = {cSummary, 4};  // System.Author
  EXPECT_EQ(store->GetValue(unknown, &value), S_OK);
  EXPECT_EQ(value.vt, VT_EMPTY);
}

TEST_F(TExplorer, RefusedStreamLeavesAnEmptyStoreAndIsReleased) {
  TTempDir dir;
  const fs::path file = dir.Write("no-drawing.svg", "<html><body>hello</body></html>");
  CLSID handler{};
  ASSERT_TRUE(HandlerClassFor(file, handler));
  TCom<IInitializeWithStream> init;
  ASSERT_EQ(CoCreateInstance(handler, nullptr, CLSCTX_INPROC_SERVER, IID_IInitializeWithStream,
                             reinterpret_cast<void**>(&init)),
            S_OK);
  TCom<IStream> stream;
  stream.P = OpenFileStream(file);
  ASSERT_NE(stream.P, nullptr);
  EXPECT_TRUE(FAILED(init->Initialize(stream.P, STGM_READ)));
  EXPECT_EQ(References(stream.P), 1u);
  TCom<IPropertyStore> store;
  ASSERT_EQ(init->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&store)), S_OK);
  EXPECT_TRUE(StoreLines(store.P).empty());
  EXPECT_EQ(init->Initialize(stream.P, STGM_READ), HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED));
}

// A stream from anywhere, with no file name: a ZIP-wrapped drawing is read
// from the archive's only .svg entry.
TEST_F(TExplorer, StreamWithoutANameIsRead) {
  const fs::path file = fs::path(VX_SOURCE_DIR) / "examples" / "zipped-map.svgz";
  const std::string bytes = testing_support::ReadFile(file);
  CLSID handler{};
  ASSERT_TRUE(HandlerClassFor(file, handler));
  TCom<IPropertyStore> store;
  ASSERT_EQ(CoCreateInstance(handler, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyStore,
                             reinterpret_cast<void**>(&store)),
            S_OK);
  TCom<IInitializeWithStream> init;
  ASSERT_EQ(store->QueryInterface(IID_IInitializeWithStream, reinterpret_cast<void**>(&init)),
            S_OK);
  TCom<IStream> stream;
  stream.P = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                               static_cast<UINT>(bytes.size()));
  ASSERT_NE(stream.P, nullptr);
  ASSERT_EQ(init->Initialize(stream.P, STGM_READ), S_OK);
  EXPECT_EQ(StoreLines(store.P), ReadThroughShell(file).Lines);
}

TEST_F(TExplorer, ThreadsReadTheSameFilesAlike) {
  const std::vector<fs::path> files = Drawings();
  std::map<fs::path, std::vector<std::string>> alone;
  for (const fs::path& file : files) alone[file] = ReadThroughShell(file).Lines;

  std::atomic<int> differences{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      TComThread com;
      for (int round = 0; round < 3; ++round)
        for (std::size_t i = 0; i < files.size(); ++i) {
          const fs::path& file = files[(i + static_cast<std::size_t>(t)) % files.size()];
          if (ReadThroughShell(file).Lines != alone[file]) ++differences;
        }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(differences.load(), 0);
}

TEST_F(TExplorer, ModuleCanUnloadAfterTheLastRelease) {
  const fs::path file = fs::path(VX_SOURCE_DIR) / "examples" / "editor-drawing.svg";
  CLSID handler{};
  ASSERT_TRUE(HandlerClassFor(file, handler));
  TCom<IPropertyStore> store;
  ASSERT_EQ(CoCreateInstance(handler, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyStore,
                             reinterpret_cast<void**>(&store)),
            S_OK);
  HMODULE module = GetModuleHandleW(L"VexmetaShell.dll");
  ASSERT_NE(module, nullptr);
  using TCanUnload = HRESULT(STDAPICALLTYPE*)();
  auto canUnload = reinterpret_cast<TCanUnload>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  ASSERT_NE(canUnload, nullptr);
  EXPECT_EQ(canUnload(), S_FALSE);
  store.P->Release();
  store.P = nullptr;
  EXPECT_EQ(canUnload(), S_OK);
}

// ---- registration

class TRegistration : public ::testing::Test {
 protected:
  TComThread FCom;
};

std::wstring ListValue(const wchar_t* AExtension, const wchar_t* AList) {
  std::wstring text;
  ReadText(std::wstring(cAssociationsKey) + L"\\" + AExtension, AList, text);
  return text;
}

// Another handler and other lists registered before ours are kept, merged
// with, and back as they were after removal; what was ours alone goes.
TEST_F(TRegistration, RoundTripGivesBackWhatWasThere) {
  Regsvr32(true);
  const std::wstring fake = L"{0BADF00D-0000-4000-8000-000000000001}";
  const std::wstring svgHandler = std::wstring(cHandlersKey) + L"\\.svg";
  const std::wstring svgLists = std::wstring(cAssociationsKey) + L"\\.svg";
  WriteText(svgHandler, nullptr, fake);
  WriteText(svgLists, L"PreviewDetails", L"prop:System.Size;*System.Title");
  WriteText(svgLists, L"InfoTip", L"prop:System.ItemTypeText");
  const std::vector<std::string> before = Snapshot();

  Regsvr32(false);
  Regsvr32(false);  // twice changes nothing more
  std::cout << "after regsvr32, with another handler for .svg before:\n" << Joined(Snapshot());
  std::wstring text;
  for (const wchar_t* extension : {L".svg", L".svgz"}) {
    ASSERT_TRUE(ReadText(std::wstring(cHandlersKey) + L"\\" + extension, nullptr, text));
    EXPECT_EQ(text, cOurClass);
  }
  const std::wstring server =
      std::wstring(L"SOFTWARE\\Classes\\CLSID\\") + cOurClass + L"\\InprocServer32";
  ASSERT_TRUE(ReadText(server, nullptr, text));
  EXPECT_EQ(fs::path(text), fs::path(W(VX_SHELL_DLL)));
  ASSERT_TRUE(ReadText(server, L"ThreadingModel", text));
  EXPECT_EQ(text, L"Both");
  EXPECT_EQ(ListValue(L".svg", L"PreviewDetails"),
            L"prop:System.Size;*System.Title;*System.Image.Dimensions;*System.Comment;"
            L"*System.ApplicationName;*System.Document.DateCreated");
  EXPECT_EQ(ListValue(L".svg", L"InfoTip"),
            L"prop:System.ItemTypeText;*System.Image.Dimensions;*System.Title");
  EXPECT_EQ(ListValue(L".svg", L"FullDetails"), ListValue(L".svgz", L"FullDetails"));
  EXPECT_EQ(ListValue(L".svgz", L"InfoTip"),
            L"prop:System.ItemTypeText;*System.Image.Dimensions;*System.Title;*System.Size;"
            L"*System.DateModified");

  // Explorer finds ours now.
  const TReading reading =
      ReadThroughShell(fs::path(VX_SOURCE_DIR) / "examples" / "editor-drawing.svg");
  EXPECT_EQ(reading.Initialized, S_OK);

  Regsvr32(true);
  EXPECT_EQ(Snapshot(), before);

  // A name someone else adds to a list after us stays there after removal.
  Regsvr32(false);
  WriteText(svgLists, L"PreviewDetails",
            ListValue(L".svg", L"PreviewDetails") + L";System.Keywords");
  Regsvr32(true);
  EXPECT_EQ(ListValue(L".svg", L"PreviewDetails"),
            L"prop:System.Size;*System.Title;System.Keywords");

  RegDeleteTreeW(HKEY_LOCAL_MACHINE, svgHandler.c_str());
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, svgLists.c_str());
  EXPECT_EQ(Joined(Snapshot()), Joined({}));
}

// ---- the installer

// Whether Windows lists the installed product among its programs.
bool ListedAsInstalled() {
  const std::wstring uninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstall.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  bool found = false;
  for (DWORD i = 0; !found; ++i) {
    wchar_t name[512] = {};
    DWORD nameLength = 512;
    if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    std::wstring display;
    found = ReadText(uninstall + L"\\" + name, L"DisplayName", display) &&
            display == L"Vexmeta SVG properties for Explorer";
  }
  RegCloseKey(key);
  return found;
}

// The registry after msiexec /i equals what regsvr32 writes on a machine that
// had nothing (bar regsvr32's own record and the DLL's place); the installed
// handler reads drawings; msiexec /x leaves what was there before, the
// product no longer listed among the installed programs.
class TInstaller : public ::testing::Test {};

TEST_F(TInstaller, InstallsAndRemovesWithoutTrace) {
  Regsvr32(true);
  const std::vector<std::string> clean = Snapshot();
  std::cout << "before installing:\n" << Joined(clean);

  Regsvr32(false);
  auto comparable = [](std::vector<std::string> ALines) {
    std::vector<std::string> kept;
    for (std::string& line : ALines) {
      if (line.find("\\Registration") != std::string::npos) continue;
      if (line.find("\\InprocServer32\\[]=") != std::string::npos)
        line = line.substr(0, line.find("]=") + 2) + "(the DLL)";
      kept.push_back(line);
    }
    return kept;
  };
  const std::vector<std::string> registered = comparable(Snapshot());
  Regsvr32(true);

  const std::wstring msi = W(VX_SHELL_MSI);
  ASSERT_EQ(RunProgram(SystemProgram(L"msiexec.exe"), {L"/i", msi, L"/qn"}), 0);
  const std::vector<std::string> installed = Snapshot();
  std::cout << "after msiexec /i:\n" << Joined(installed);
  EXPECT_EQ(comparable(installed), registered);
  EXPECT_TRUE(ListedAsInstalled());

  std::wstring dll;
  ASSERT_TRUE(ReadText(
      std::wstring(L"SOFTWARE\\Classes\\CLSID\\") + cOurClass + L"\\InprocServer32", nullptr, dll));
  wchar_t programFiles[MAX_PATH] = {};
  GetEnvironmentVariableW(L"ProgramW6432", programFiles, MAX_PATH);
  EXPECT_EQ(fs::path(dll), fs::path(programFiles) / "Vexmeta" / "VexmetaShell.dll");
  EXPECT_TRUE(fs::is_regular_file(dll));
  {
    const fs::path file = fs::path(VX_SOURCE_DIR) / "examples" / "compressed-icon.svgz";
    const TChildReading reading = ReadInChildProcess(file);
    EXPECT_EQ(reading.Code, 0);
    EXPECT_TRUE(reading.Initialized);
    EXPECT_EQ(reading.Lines, ExpectedFromHostTool(file).Lines);
  }

  ASSERT_EQ(RunProgram(SystemProgram(L"msiexec.exe"), {L"/x", msi, L"/qn"}), 0);
  const std::vector<std::string> removed = Snapshot();
  std::cout << "after msiexec /x:\n" << Joined(removed);
  EXPECT_EQ(removed, clean);
  EXPECT_FALSE(ListedAsInstalled());
  EXPECT_FALSE(fs::exists(fs::path(dll).parent_path()));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // The child's mode: read one file as Explorer does and print what it gives.
  if (argc == 3 && std::string(argv[1]) == "--read") {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    const int code = ReadInChild(count == 3 ? fs::path(arguments[2]) : fs::path(argv[2]));
    LocalFree(arguments);
    return code;
  }
  return RUN_ALL_TESTS();
}
