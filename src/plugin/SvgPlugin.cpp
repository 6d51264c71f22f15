// The plugin unit: the module-wide state and its
// start-up and shutdown, value requests, state notifications and the host's
// default parameters. A request looks its file up and reads a drawing outside
// the plugin lock, with an extractor of its own, and holds the lock only while
// it uses the state (the cache, the put-off drawings, the settings); so
// requests on several threads read their drawings at once.
#include "plugin/SvgPlugin.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Streams.h"
#include "base/StrictInt.h"
#include "cache/CacheObject.h"
#include "extract/SvgExtractor.h"
#include "platform/Platform.h"
#include "plugin/FieldAnswers.h"
#include "plugin/contplug.h"

const char cDetectString[] = "EXT=\"SVG\" | EXT=\"SVGZ\"";
static_assert(sizeof(cDetectString) == 23);

namespace {

// A drawing a request with the delay-if-slow flag gave up on, as it was then.
struct TPutOff {
  std::int64_t Key = 0;  // TCacheID::i
  double Time = 0;
  std::int64_t Size = -1;
  // The fields (and units) flagged requests have asked of it since it was put
  // off or last read, one bit each (RequestBit): the same one asked again is
  // the host asking once more, as a properties dialog opened again does.
  std::uint64_t Asked = 0;
  bool SameFile(const TPutOff& AOther) const {
    return Key == AOther.Key && Time == AOther.Time && Size == AOther.Size;
  }
};

// The latest cPutOffRemembered drawings put off, oldest first. A drawing that
// has changed since (another time or size) is no longer held, so it is tried
// again.
class TPutOffFiles {
 public:
  // The entry of the unchanged drawing, or null.
  TPutOff* Find(const TPutOff& AFile) {
    const auto held = std::find_if(FFiles.begin(), FFiles.end(),
                                   [&](const TPutOff& AHeld) { return AHeld.SameFile(AFile); });
    return held != FFiles.end() ? &*held : nullptr;
  }
  void Add(const TPutOff& AFile) {
    std::erase_if(FFiles, [&](const TPutOff& AHeld) { return AHeld.Key == AFile.Key; });
    if (FFiles.size() >= cPutOffRemembered) FFiles.erase(FFiles.begin());
    FFiles.push_back(AFile);
  }

 private:
  std::vector<TPutOff> FFiles;
};

// A request's bit in TPutOff::Asked: two per field, one per unit (no field has
// more); 0 for a field that does not exist.
std::uint64_t RequestBit(std::int32_t AFieldIndex, std::int32_t AUnitIndex) {
  static_assert(cFieldCount * 2 <= 64);
  if (AFieldIndex < 0 || AFieldIndex >= cFieldCount) return 0;
  const std::int32_t unit = AUnitIndex == 1 && UnitCount(cFieldRows[AFieldIndex]) > 1 ? 1 : 0;
  return std::uint64_t{1} << (AFieldIndex * 2 + unit);
}

// A name the host gave with '?' for bytes it could not convert, and the file
// it was found to name.
struct TReplacedName {
  std::u16string Given;
  std::u16string Found;
};

// Extractors kept for the next reads: a reading request takes one (or makes
// one when none is left) and gives it back after the read, so that threads
// never share one and a small drawing costs no reader set-up.
constexpr std::size_t cIdleExtractorsKept = 4;

// How many paths' cache keys are kept: one for each of the threads a host
// asks from at once, as a rule.
constexpr std::size_t cKeptKeys = 4;

struct TPluginState {
  TSettings Settings;  // changed only under the plugin lock
  std::vector<std::unique_ptr<TSvgExtractor>> IdleExtractors;
  // Counts the changes of the settings that decide what a record holds; a read
  // that began under other settings is answered but not cached.
  std::uint64_t RecordsGeneration = 0;
  std::u16string ModulePath;
  std::unique_ptr<TwdxCache> Cache;
  std::u16string LastRequestedFileName;
  std::int64_t AnswerAtOnceNs = cAnswerAtOnceNs;
  TPutOffFiles PutOff;
  TReplacedName ReplacedName;  // the latest: a host asks the fields of one file in a row
  // The cache keys of the paths asked for last, kept for the same reason: a
  // host's sixteen requests for a file hash its path once, also where several
  // threads ask for files in turn.
  struct TKeptKey {
    std::u16string Path;
    TCacheID Key = TCacheID::FromInt(0);
  };
  std::array<TKeptKey, cKeptKeys> KeptKeys;
  std::size_t NextKeptKey = 0;  // the one a new path takes
};

// The cache key of APath, from the ones kept for the paths asked for last.
// Called under the plugin lock.
TCacheID KeyOf(TPluginState& AState, const std::u16string& APath) {
  for (const TPluginState::TKeptKey& kept : AState.KeptKeys) {
    // Compared as bytes: a long path compares in a few steps.
    if (!kept.Path.empty() && kept.Path.size() == APath.size() &&
        std::memcmp(kept.Path.data(), APath.data(), APath.size() * sizeof(char16_t)) == 0)
      return kept.Key;
  }
  TPluginState::TKeptKey& kept = AState.KeptKeys[AState.NextKeptKey];
  AState.NextKeptKey = (AState.NextKeptKey + 1) % cKeptKeys;
  kept.Key = CacheKey(APath);
  kept.Path = APath;
  return kept.Key;
}

// The owner of the module state: start-up creates the state and shutdown
// releases it, and nothing else does. The owner has no destructor, so no
// global's destructor can release the state behind the unload hook's back when
// a host exits without unloading the library (the loader runs the unload hook
// at exit then); after shutdown a new start-up begins afresh.
class TModuleState {
 public:
  TPluginState* Get() const { return FState; }
  void Create(std::unique_ptr<TPluginState> AState) { FState = AState.release(); }
  std::unique_ptr<TPluginState> Take() {
    return std::unique_ptr<TPluginState>(std::exchange(FState, nullptr));
  }

 private:
  TPluginState* FState = nullptr;
};

// The plugin lock guards the state; it is taken before the state is looked at,
// so shutdown, which takes it too, waits for a request still running (a host
// that exits while one of its threads asks for a value) and the request after
// it finds no state.
platform::TLock gLock;
constinit TModuleState gModule;

// Holds the plugin lock for one request or notification; a request lets it go
// while it reads a drawing and takes it again for the result.
class TLockGuard {
 public:
  explicit TLockGuard(platform::TLock& ALock) : FLock(ALock) { FLock.Enter(); }
  ~TLockGuard() {
    if (FHeld) FLock.Leave();
  }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;
  void Leave() {
    FLock.Leave();
    FHeld = false;
  }
  void Enter() {
    FLock.Enter();
    FHeld = true;
  }

 private:
  platform::TLock& FLock;
  bool FHeld = true;
};

// The time budget of a flagged request: cAnswerAtOnceNs, or what the test seam
// cAnswerAtOnceVariable names.
std::int64_t AnswerAtOnceBudget() {
  const std::optional<std::string> text = platform::EnvironmentValue(cAnswerAtOnceVariable);
  std::int32_t milliseconds = 0;
  if (text && TryStrToInt(*text, milliseconds) && milliseconds > 0)
    return std::int64_t{milliseconds} * 1'000'000;
  return cAnswerAtOnceNs;
}

// True when AName, the name part of a path that names no file, may stand for a
// name on disk with each byte that is no UTF-8 replaced by '?', as a host whose
// names are UTF-8 text passes such a name: it matches ANameOnDisk (as
// FileNameToUtf16 gives it, such a byte one of U+DC80..U+DCFF) when every '?'
// stands for one such byte or for itself and everything else is the same.
bool MatchesWithReplacedBytes(std::u16string_view AName, std::u16string_view ANameOnDisk) {
  if (AName.size() != ANameOnDisk.size()) return false;
  for (std::size_t i = 0; i < AName.size(); ++i) {
    const char16_t onDisk = ANameOnDisk[i];
    if (AName[i] == onDisk) continue;
    if (AName[i] != u'?' || onDisk < 0xDC80 || onDisk > 0xDCFF) return false;
  }
  return true;
}

// The path of the one file in APath's folder that APath's name stands for with
// '?' for bytes that are no UTF-8 (see MatchesWithReplacedBytes); empty when no
// file or several match. Where names are UTF-16 no name on disk holds such
// bytes, so nothing is found there.
std::u16string FindNameWithReplacedBytes(std::u16string_view APath) {
  const std::u16string_view name = platform::FileNamePart(APath);
  if (name.find(u'?') == std::u16string_view::npos) return {};
  const std::u16string_view folder = platform::FolderPart(APath);
  std::u16string found;
  for (const std::u16string& candidate : platform::NamesThatAreNoUtf8(folder)) {
    if (!MatchesWithReplacedBytes(name, candidate)) continue;
    if (!found.empty()) return {};  // several: none is the one meant
    found.assign(folder).append(candidate);
  }
  return found;
}

// For a path that FindFileEntry found no file for: when it holds '?', it is
// looked for as a name with replaced bytes, and APath is then made the path of
// the file found. The latest such name is remembered, so that the host's
// requests for the other fields of the file do not search its folder again
// while the file is there. Called under the plugin lock.
bool FindReplacedName(TPluginState& AState, std::u16string& APath,
                      platform::TFileEntryInfo& AEntry) {
  if (APath.find(u'?') == std::u16string::npos) return false;
  if (AState.ReplacedName.Given != APath ||
      !platform::FindFileEntry(AState.ReplacedName.Found, AEntry)) {
    std::u16string found = FindNameWithReplacedBytes(APath);
    if (found.empty() || !platform::FindFileEntry(found, AEntry)) return false;
    AState.ReplacedName = {APath, std::move(found)};
  }
  APath = AState.ReplacedName.Found;
  return true;
}

// Puts ASettings in force, as start-up does: the cache's item limit follows
// CacheSize_x64, records read under other reading settings are forgotten, and
// the flagged requests' time budget is looked up again.
// Called under the plugin lock (or before any request can run).
void ApplySettings(TPluginState& AState, const TSettings& ASettings) {
  const bool recordsDiffer = ASettings.ParseImageNode != AState.Settings.ParseImageNode ||
                             ASettings.ReadLimitBytes != AState.Settings.ReadLimitBytes;
  AState.Settings = ASettings;
  AState.AnswerAtOnceNs = AnswerAtOnceBudget();
  if (recordsDiffer) ++AState.RecordsGeneration;
  if (!AState.Cache) return;
  if (recordsDiffer) AState.Cache->Clear();
  AState.Cache->SetMaxCount(ASettings.CacheSize_x64 + 1);
}

// An extractor for one read: an idle one, or a new one. Called under the
// plugin lock.
std::unique_ptr<TSvgExtractor> TakeExtractor(TPluginState& AState) {
  if (AState.IdleExtractors.empty()) return std::make_unique<TSvgExtractor>();
  std::unique_ptr<TSvgExtractor> extractor = std::move(AState.IdleExtractors.back());
  AState.IdleExtractors.pop_back();
  return extractor;
}

// Keeps an extractor after its read, unless enough are kept already. Called
// under the plugin lock.
void GiveBackExtractor(TPluginState& AState, std::unique_ptr<TSvgExtractor> AExtractor) {
  if (AState.IdleExtractors.size() < cIdleExtractorsKept) {
    try {
      AState.IdleExtractors.push_back(std::move(AExtractor));
    } catch (...) {
      // No room to keep it: it goes with this request.
    }
  }
}

}  // namespace

std::unique_ptr<TCacheObject> BuildCacheObject(std::u16string_view APath, double ATime,
                                               std::int64_t ASize, const TExtractOptions& AOptions,
                                               TSvgExtractor& AExtractor, bool* AOverBudget) {
  try {
    auto object = std::make_unique<TCacheObject>();
    object->FileDateTime = ATime;
    object->FileSize = ASize;
    // The value request's directory search has just found a regular file.
    const TFileRead read = AExtractor.ReadFile(APath, AOptions, object->Vexmeta, true);
    if (read == TFileRead::frOverBudget) {
      if (AOverBudget != nullptr) *AOverBudget = true;
      return nullptr;
    }
    // A file that failed while read is not remembered: the next request reads it again.
    if (read == TFileRead::frUnreadable) return nullptr;
    object->Valid = read == TFileRead::frDrawing;
    return object;
  } catch (...) {
    return nullptr;
  }
}

void GetDetectString(char* ADetectString, std::int32_t AMaxLen) {
  CopyHostText(ADetectString, cDetectString, AMaxLen);
}

namespace {

// Reads the settings file beside the library and sets up the result cache;
// errors are swallowed: the library loads whatever the settings file holds.
void LoadSettings(TPluginState& AState) {
  try {
    AState.Cache = CreatePluginCache();
    AState.ModulePath = platform::ModulePath();
    ApplySettings(AState, EffectiveSettings(AState.ModulePath, u""));
  } catch (...) {
  }
}

}  // namespace

void PluginStartup() {
  try {
    TLockGuard guard(gLock);
    if (gModule.Get() != nullptr) return;
    gModule.Create(std::make_unique<TPluginState>());
    LoadSettings(*gModule.Get());
  } catch (...) {
  }
}

void PluginShutdown() {
  std::unique_ptr<TPluginState> state;
  {
    TLockGuard guard(gLock);
    state = gModule.Take();
  }
  // No request can reach the state any more; freeing it frees every cached
  // object with it.
  if (state && state->Cache) state->Cache->Clear();
}

std::int32_t GetValueW(const char16_t* AFileName, std::int32_t AFieldIndex, std::int32_t AUnitIndex,
                       void* AFieldValue, std::int32_t AMaxLen, std::int32_t AFlags) {
  // A request the host may put off never waits long: the lock is held only
  // while a request uses the state, never while it reads a file, and a drawing
  // that takes long to read is given up after the time budget. What is cheap
  // (a current cache entry, a drawing read within the budget) it answers as
  // any request.
  const bool delayIfSlow = (AFlags & CONTENT_DELAYIFSLOW) != 0;
  const bool sameFile = (AFlags & cContentSameFile) != 0;
  if (AFileName == nullptr) return ft_fieldempty;

  std::u16string_view fileName(AFileName);
  std::u16string path = platform::LongPathForm(fileName);
  // Where file names ignore case, the lower-cased path is the key and the name
  // searched and opened; where they do not, the path as given is both, so that
  // names differing only in case never share an entry.
  if (!platform::FileNamesAreCaseSensitive()) platform::LowerCaseInPlace(path);

  // The directory search also answers whether the path names an existing file
  // that is no directory (only regular files are found), so a cached request
  // costs one look-up of the file. It needs no state, so requests on several
  // threads look their files up at once.
  platform::TFileEntryInfo entry;
  bool found = !sameFile && platform::FindFileEntry(path, entry);

  TLockGuard guard(gLock);
  TPluginState* const module = gModule.Get();
  if (module == nullptr) return ft_fieldempty;
  TPluginState& state = *module;
  // A put-off request leaves the last requested name alone; it is stored below
  // once the request is sure to be answered.
  if (!delayIfSlow) state.LastRequestedFileName.assign(fileName);
  const auto answer = [&](const TCacheObject* AObject) {
    if (delayIfSlow) state.LastRequestedFileName.assign(fileName);
    if (AObject == nullptr || !AObject->Valid) return ft_fieldempty;
    if (AFieldValue == nullptr) return ft_fieldempty;
    if (AFieldIndex < 0 || AFieldIndex >= cFieldCount) return ft_fieldempty;
    return AnswerField(cFieldRows[AFieldIndex], AObject->Vexmeta, AUnitIndex,
                       state.Settings.ParseImageNode, AFieldValue, AMaxLen);
  };
  if (sameFile) {
    // The host vouches for the entry the cache holds; without one, the file is
    // looked up as for any request.
    if (void* data = state.Cache ? state.Cache->GetItem(KeyOf(state, path)) : nullptr)
      if (const TCacheObject* cached = TwdxCache::ObjectOf(data)) return answer(cached);
    guard.Leave();
    found = platform::FindFileEntry(path, entry);
    guard.Enter();
    if (gModule.Get() != module) return ft_fieldempty;
  }

  if (!found && !FindReplacedName(state, path, entry))
    return delayIfSlow ? ft_delayed : ft_fieldempty;
  if (!state.Cache) return ft_fieldempty;

  const TCacheID key = KeyOf(state, path);
  const TCacheObject* object = nullptr;
  if (void* data = state.Cache->GetItem(key)) {
    if (EntryServes(data, entry.LastWriteTime, entry.Size))
      object = TwdxCache::ObjectOf(data);
    else
      state.Cache->InvalidateItem(key);
  }
  std::unique_ptr<TCacheObject> built;
  if (object == nullptr) {
    // A drawing put off before is not tried again with the flag, but for a
    // field asked again; any other is read until the budget is spent, then put
    // off and remembered. The budget also bounds compressed data that inflates
    // a thousandfold.
    TPutOff file{key.i, entry.LastWriteTime, entry.Size, RequestBit(AFieldIndex, AUnitIndex)};
    bool budgeted = delayIfSlow;
    if (TPutOff* held = state.PutOff.Find(file)) {
      // A host whose list asks again without the flag from a worker never asks
      // the same field twice with it before that; a properties dialog asks
      // only with it, so its second request of a field, opened again, is read
      // whole. Any request read here starts the count afresh.
      if (delayIfSlow && (file.Asked == 0 || (held->Asked & file.Asked) == 0)) {
        held->Asked |= file.Asked;
        return ft_delayed;
      }
      held->Asked = 0;
      budgeted = false;
    }
    TExtractOptions options{state.Settings.ParseImageNode, state.Settings.ReadLimitBytes};
    if (budgeted) options.TimeBudgetNs = state.AnswerAtOnceNs;
    const std::uint64_t generation = state.RecordsGeneration;
    std::unique_ptr<TSvgExtractor> extractor = TakeExtractor(state);

    // The read needs nothing of the state: the lock is free meanwhile. The
    // state may be gone when it is taken again (the library is shutting down).
    guard.Leave();
    bool overBudget = false;
    built =
        BuildCacheObject(path, entry.LastWriteTime, entry.Size, options, *extractor, &overBudget);
    guard.Enter();
    if (gModule.Get() != module) return ft_fieldempty;
    GiveBackExtractor(state, std::move(extractor));

    if (overBudget) {
      state.PutOff.Add(file);
      return ft_delayed;
    }
    object = built.get();
    // A read under settings that have changed since is answered, not kept. A
    // request on another thread may have read the same file meanwhile: the
    // entry it made gives way to this one.
    if (built && generation == state.RecordsGeneration) {
      if (state.Cache->GetItem(key) != nullptr) state.Cache->DeleteItem(key);
      void* data = state.Cache->AddItem(key);
      state.Cache->StoreObject(data, std::move(built));
    }
  }
  // From here on the request is answered.
  return answer(object);
}

std::int32_t GetValueA(const char* AFileName, std::int32_t AFieldIndex, std::int32_t AUnitIndex,
                       void* AFieldValue, std::int32_t AMaxLen, std::int32_t AFlags) {
  if (AFileName == nullptr) return ft_fieldempty;
  std::u16string name = platform::AnsiToUtf16(AFileName);
  return GetValueW(name.c_str(), AFieldIndex, AUnitIndex, AFieldValue, AMaxLen, AFlags);
}

void SendStateInformation(std::int32_t AState, const char16_t*) {
  if (AState != CONTST_READNEWDIR && AState != CONTST_REFRESHPRESSED) return;
  TLockGuard guard(gLock);
  TPluginState* state = gModule.Get();
  if (state == nullptr || !state->Cache) return;
  if (AState == CONTST_READNEWDIR) {
    if (state->Cache->Count() > state->Settings.CacheSize_x64) state->Cache->Clear();
  } else if (platform::TextEqualsIgnoreCase(platform::FolderPart(state->LastRequestedFileName),
                                            platform::FolderPart(state->ModulePath))) {
    state->Cache->Clear();
  }
}

std::u16string HostIniName(const ContentDefaultParamStruct* AParams) {
  if (AParams == nullptr) return {};
  constexpr std::size_t cNameOffset = offsetof(ContentDefaultParamStruct, DefaultIniName);
  // No path is longer than this; a larger size is no reason to look further.
  constexpr std::size_t cMaxNameBytes = 65536;
  if (AParams->size <= static_cast<std::int32_t>(cNameOffset)) return {};
  const std::size_t room =
      std::min(static_cast<std::size_t>(AParams->size) - cNameOffset, cMaxNameBytes);
  // The host's array may be longer than ours: the name is read within its size.
  const char* name = reinterpret_cast<const char*>(AParams) + cNameOffset;
  const void* end = std::memchr(name, '\0', room);
  if (end == nullptr) return {};
  return platform::AnsiToUtf16(std::string_view(name, static_cast<const char*>(end) - name));
}

void SetDefaultParams(const ContentDefaultParamStruct* AParams) {
  const std::u16string hostIniName = HostIniName(AParams);
  TLockGuard guard(gLock);
  TPluginState* state = gModule.Get();
  if (state == nullptr) return;
  // Every call starts again from the defaults, so the latest host file is the
  // only one that counts.
  ApplySettings(*state, EffectiveSettings(state->ModulePath, hostIniName));
}
