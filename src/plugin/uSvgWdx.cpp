// The plugin unit: field table and enumeration, the module-wide state and its
// start-up and shutdown, value requests and state notifications. Requests run
// wholly under the plugin lock; everything below them is single-threaded.
#include "plugin/uSvgWdx.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "cache/CacheObject.h"
#include "extract/Dimensions.h"
#include "extract/SvgSource.h"
#include "extract/Vexmeta.h"
#include "platform/Platform.h"
#include "plugin/contplug.h"
#include "xml/sdStreams.h"

const TFieldInfo cFields[cFieldCount] = {
    {"SVG Version", ft_stringw, ""},
    {"Application", ft_stringw, ""},
    {"Width", ft_stringw, ""},
    {"Height", ft_stringw, ""},
    {"ViewBox", ft_stringw, ""},
    {"Have Embedded Image", ft_boolean, ""},
    {"ID", ft_stringw, ""},
    {"Inkscape Version", ft_stringw, ""},
    {"Sodipodi Version", ft_stringw, ""},
    {"Sodipodi Docbase", ft_stringw, ""},
    {"Sodipodi Docname", ft_stringw, ""},
    {"Metadata Title", ft_stringw, ""},
    {"Metadata Description", ft_stringw, ""},
    {"Metadata Date", ft_stringw, ""},
    {"Calculated Width", ft_numeric_32, "96|90"},
    {"Calculated Height", ft_numeric_32, "96|90"},
};

const char cDetectString[] = "EXT=\"SVG\" | EXT=\"SVGZ\"";
static_assert(sizeof(cDetectString) == 23);

namespace {

// Copies a zero-terminated text into a host buffer of AMaxLen bytes: at most
// AMaxLen - 1 bytes and a zero byte; nothing when there is no room at all.
void CopyHostText(char* ADest, const char* ASource, std::int32_t AMaxLen) {
  if (ADest == nullptr || AMaxLen <= 0) return;
  std::size_t n = std::strlen(ASource);
  std::size_t room = static_cast<std::size_t>(AMaxLen) - 1;
  if (n > room) n = room;
  std::memcpy(ADest, ASource, n);
  ADest[n] = '\0';
}

struct TPluginState {
  platform::Lock Lock;
  TSettings Settings;
  std::u16string ModulePath;
  std::unique_ptr<TwdxCache> Cache;
  std::u16string LastRequestedFileName;
};

// Created at load, destroyed at unload; requests run only in between.
std::unique_ptr<TPluginState> gState;
const TSettings kDefaultSettings{};

// Holds the plugin lock for one request or notification.
class TLockGuard {
 public:
  explicit TLockGuard(platform::Lock& ALock) : FLock(ALock) { FLock.Enter(); }
  ~TLockGuard() { FLock.Leave(); }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;

 private:
  platform::Lock& FLock;
};

// The folder part of a path: up to and including its last separator. Besides "\"
// and ":" a "/" separates too, so that POSIX paths have a folder part.
std::u16string_view DirectoryPart(std::u16string_view APath) {
  std::size_t last = APath.find_last_of(u"\\:/");
  return last == std::u16string_view::npos ? std::u16string_view() : APath.substr(0, last + 1);
}

std::u16string IntToText(std::int32_t AValue) {
  std::string digits = std::to_string(AValue);
  return std::u16string(digits.begin(), digits.end());
}

// The text of a field; empty when the field has no value.
std::u16string FieldText(const TVexmeta& ARecord, std::int32_t AFieldIndex, bool AParseImageNode) {
  switch (AFieldIndex) {
    case 0:
      return ARecord.Version;
    case 1:
      return ARecord.Application;
    case 2:
      return ARecord.Width;
    case 3:
      return ARecord.Height;
    case 4:
      return ARecord.ViewBox;
    case 5:
      return AParseImageNode ? IntToText(ARecord.EmbeddedImage ? 1 : 0) : std::u16string();
    case 6:
      return ARecord.ID;
    case 7:
      return ARecord.InkscapeVersion;
    case 8:
      return ARecord.SodipodiVersion;
    case 9:
      return ARecord.SodipodiDocbase;
    case 10:
      return ARecord.SodipodiDocname;
    case 11:
      return ARecord.MetadataTitle;
    case 12:
      return ARecord.MetadataDescription;
    case 13:
      return ARecord.MetadataDate;
    case 14:
      return ARecord.IntWidth > 0 ? IntToText(ARecord.IntWidth) : std::u16string();
    case 15:
      return ARecord.IntHeight > 0 ? IntToText(ARecord.IntHeight) : std::u16string();
    default:
      return {};
  }
}

// Writes a value into the host's buffer of AMaxLen bytes and returns the type
// code, or field empty when the buffer cannot hold it.
std::int32_t WriteValue(std::int32_t AFieldIndex, const TVexmeta& ARecord,
                        const std::u16string& AText, void* AFieldValue, std::int32_t AMaxLen) {
  const std::int32_t type = cFields[AFieldIndex].Type;
  if (type != ft_stringw) {
    // Integers and booleans are four bytes; a host buffer smaller than that
    // gets nothing rather than an overrun.
    if (AMaxLen < static_cast<std::int32_t>(sizeof(std::int32_t))) return ft_fieldempty;
    std::int32_t value = AFieldIndex == 5    ? (ARecord.EmbeddedImage ? 1 : 0)
                         : AFieldIndex == 14 ? ARecord.IntWidth
                                             : ARecord.IntHeight;
    std::memcpy(AFieldValue, &value, sizeof value);
    return type;
  }
  // At most maxlen/2 - 2 code units and a terminator; the terminator is written
  // only when the buffer has room for one code unit.
  std::int32_t room = AMaxLen / 2 - 2;
  std::size_t count =
      room < 0 ? 0 : std::min<std::size_t>(AText.size(), static_cast<std::size_t>(room));
  if (AMaxLen >= 2) {
    auto* out = static_cast<unsigned char*>(AFieldValue);
    std::memcpy(out, AText.data(), count * sizeof(char16_t));
    const char16_t zero = 0;
    std::memcpy(out + count * sizeof(char16_t), &zero, sizeof zero);
  }
  return type;
}

}  // namespace

std::unique_ptr<TCacheObject> BuildCacheObject(std::u16string_view APath, double ATime,
                                               std::int64_t ASize) {
  try {
    auto object = std::make_unique<TCacheObject>();
    object->FileDateTime = ATime;
    object->FileSize = ASize;
    object->Valid = false;
    std::unique_ptr<TStream> stream = OpenSvgStream(APath, Settings().MaxKBytesRead);
    if (stream)
      object->Valid = ParseSvgDocument(*stream, object->Vexmeta, Settings().ParseImageNode);
    return object;
  } catch (...) {
    return nullptr;
  }
}

void GetDetectString(char* ADetectString, std::int32_t AMaxLen) {
  CopyHostText(ADetectString, cDetectString, AMaxLen);
}

std::int32_t GetSupportedField(std::int32_t AFieldIndex, char* AFieldName, char* AUnits,
                               std::int32_t AMaxLen) {
  if (AFieldIndex < 0 || AFieldIndex >= cFieldCount) return ft_nomorefields;
  const TFieldInfo& field = cFields[AFieldIndex];
  CopyHostText(AFieldName, field.Name, AMaxLen);
  CopyHostText(AUnits, field.Units, AMaxLen);
  return field.Type;
}

const TSettings& Settings() {
  return gState ? gState->Settings : kDefaultSettings;
}

void LoadSettings() {
  try {
    gState->Cache = CreatePluginCache();
    gState->ModulePath = platform::ModulePath();
    ReadSettings(SettingsPathFor(gState->ModulePath), gState->Settings);
    gState->Cache->SetMaxCount(gState->Settings.CacheSize_x64 + 1);
  } catch (...) {
    // The library loads whatever the settings file holds.
  }
}

void PluginStartup() {
  try {
    gState = std::make_unique<TPluginState>();
    LoadSettings();
  } catch (...) {
  }
}

void PluginShutdown() {
  try {
    if (gState && gState->Cache) gState->Cache->Clear();
    gState.reset();
  } catch (...) {
  }
}

std::int32_t GetValueW(const char16_t* AFileName, std::int32_t AFieldIndex, std::int32_t AUnitIndex,
                       void* AFieldValue, std::int32_t AMaxLen, std::int32_t AFlags) {
  if ((AFlags & CONTENT_DELAYIFSLOW) != 0) return ft_delayed;
  if (!gState || AFileName == nullptr) return ft_fieldempty;
  TPluginState& state = *gState;
  TLockGuard guard(state.Lock);

  std::u16string_view fileName(AFileName);
  std::u16string path = platform::LongPathForm(fileName);
  state.LastRequestedFileName.assign(fileName);

  // The key is made from the lower-cased path; where file names are
  // case-sensitive the file is still searched and opened under its own name.
  std::u16string keyPath = path;
  platform::LowerCaseInPlace(keyPath);
  const std::u16string& filePath = platform::FileNamesAreCaseSensitive() ? path : keyPath;

  // The directory search also answers whether the path names an existing file
  // that is no directory (only regular files are found), so a cached request
  // costs one look-up of the file.
  platform::FileEntryInfo entry;
  if (!platform::FindFileEntry(filePath, entry)) return ft_fieldempty;
  if (!state.Cache) return ft_fieldempty;

  const TDICacheID key = CacheKey(keyPath);
  const TCacheObject* object = nullptr;
  if (void* data = state.Cache->GetItem(key)) {
    if (EntryServes(data, entry.lastWriteTime, entry.size))
      object = TwdxCache::ObjectOf(data);
    else
      state.Cache->InvalidateItem(key);
  }
  if (object == nullptr) {
    std::unique_ptr<TCacheObject> built =
        BuildCacheObject(filePath, entry.lastWriteTime, entry.size);
    if (!built) return ft_fieldempty;
    void* data = state.Cache->AddItem(key);
    object = built.get();
    TwdxCache::StoreObject(data, std::move(built));
  }
  if (!object->Valid) return ft_fieldempty;
  if (AFieldValue == nullptr) return ft_fieldempty;

  const TVexmeta* record = &object->Vexmeta;
  TVexmeta sizes;  // the pixel sizes at another resolution, on a copy
  if ((AFieldIndex == 14 || AFieldIndex == 15) && AUnitIndex > 0) {
    sizes.Width = record->Width;
    sizes.Height = record->Height;
    sizes.ViewBox = record->ViewBox;
    if (AUnitIndex == 1) CalcDimensions(sizes, 90);
    record = &sizes;
  }
  std::u16string text = FieldText(*record, AFieldIndex, state.Settings.ParseImageNode);
  if (text.empty()) return ft_fieldempty;
  return WriteValue(AFieldIndex, *record, text, AFieldValue, AMaxLen);
}

std::int32_t GetValueA(const char* AFileName, std::int32_t AFieldIndex, std::int32_t AUnitIndex,
                       void* AFieldValue, std::int32_t AMaxLen, std::int32_t AFlags) {
  if ((AFlags & CONTENT_DELAYIFSLOW) != 0) return ft_delayed;
  if (AFileName == nullptr) return ft_fieldempty;
  std::u16string name = platform::AnsiToUtf16(AFileName);
  return GetValueW(name.c_str(), AFieldIndex, AUnitIndex, AFieldValue, AMaxLen, AFlags);
}

void SendStateInformation(std::int32_t AState, const char16_t*) {
  if (!gState) return;
  TPluginState& state = *gState;
  if (AState == CONTST_READNEWDIR) {
    TLockGuard guard(state.Lock);
    if (state.Cache && state.Cache->Count() > state.Settings.CacheSize_x64) state.Cache->Clear();
  } else if (AState == CONTST_REFRESHPRESSED) {
    TLockGuard guard(state.Lock);
    if (state.Cache && platform::TextEqualsIgnoreCase(DirectoryPart(state.LastRequestedFileName),
                                                      DirectoryPart(state.ModulePath)))
      state.Cache->Clear();
  }
}
