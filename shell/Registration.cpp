// Registration (see Registration.h). The class key keeps a record, under
// "Registration", of what registering changed beside it: the handler an
// extension had before (given back on removal when ours is still the one), the
// property names added to each list (removed again, the list deleted when
// nothing is left), and the keys that were created (deleted when empty).
#include "Registration.h"

#include <combaseapi.h>

#include <array>
#include <cwctype>
#include <string_view>
#include <vector>

#include "PropertyFacts.h"
#include "PropertyStore.h"

namespace {

constexpr std::array<const wchar_t*, 2> cExtensions = {L".svg", L".svgz"};

// A property list of Explorer and the names of this handler's properties it
// shows, with the prefix each gets in it. A list that does not exist yet gets
// the usual file facts around ours (Lead before, Rest after), so the view keeps
// what it shows for a file with no list. The installer (shell/CMakeLists.txt)
// writes the same lists; its test holds the two to each other.
struct TListSpec {
  const wchar_t* Name;
  const wchar_t* Prefix;  // "*": shown only when it has a value
  std::vector<std::string_view> Ours;
  const wchar_t* Lead;
  const wchar_t* Rest;
};

const std::vector<TListSpec>& ListSpecs() {
  static const std::vector<TListSpec> specs = {
      {L"PreviewDetails",
       L"*",
       {"System.Image.Dimensions", "System.Title", "System.Comment", "System.ApplicationName",
        "System.Document.DateCreated"},
       L"",
       L"*System.DateModified;*System.Size;*System.DateCreated"},
      {L"FullDetails",
       L"",
       {"System.Title", "System.Comment", "System.Image.Dimensions", "System.Image.HorizontalSize",
        "System.Image.VerticalSize", "System.ApplicationName", "System.Document.DateCreated"},
       L"System.PropGroup.Description",
       L"System.PropGroup.FileSystem;System.ItemNameDisplay;System.ItemTypeText;"
       L"System.ItemFolderPathDisplay;System.Size;System.DateCreated;System.DateModified;"
       L"System.FileAttributes;System.FileOwner;System.ComputerName"},
      {L"InfoTip",
       L"*",
       {"System.Image.Dimensions", "System.Title"},
       L"System.ItemTypeText",
       L"*System.Size;*System.DateModified"},
  };
  return specs;
}

std::wstring Wide(std::string_view AText) {
  return std::wstring(AText.begin(), AText.end());
}

std::wstring ClassIdText() {
  wchar_t text[64] = {};
  StringFromGUID2(cHandlerClassId, text, 64);
  return text;
}

// An open registry key, closed when it goes.
class TKey {
 public:
  TKey() = default;
  ~TKey() {
    if (FKey != nullptr) RegCloseKey(FKey);
  }
  TKey(const TKey&) = delete;
  TKey& operator=(const TKey&) = delete;

  // Opens (or, with ACreate, creates) HKLM\APath. ACreated tells whether it
  // was created just now.
  LSTATUS Open(const std::wstring& APath, bool ACreate, bool* ACreated = nullptr) {
    if (!ACreate)
      return RegOpenKeyExW(HKEY_LOCAL_MACHINE, APath.c_str(), 0, KEY_READ | KEY_WRITE, &FKey);
    DWORD disposition = 0;
    const LSTATUS status =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, APath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &FKey, &disposition);
    if (ACreated != nullptr)
      *ACreated = status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
    return status;
  }
  HKEY Get() const { return FKey; }

  // A string value (AName null or empty: the default value); false when missing.
  bool ReadText(const wchar_t* AName, std::wstring& AText) const {
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(FKey, AName, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
      return false;
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(FKey, AName, nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                         &bytes) != ERROR_SUCCESS)
      return false;
    text.resize(text.find(L'\0') == std::wstring::npos ? text.size() : text.find(L'\0'));
    AText = text;
    return true;
  }
  LSTATUS WriteText(const wchar_t* AName, const std::wstring& AText) const {
    return RegSetValueExW(FKey, AName, 0, REG_SZ, reinterpret_cast<const BYTE*>(AText.c_str()),
                          static_cast<DWORD>((AText.size() + 1) * sizeof(wchar_t)));
  }
  bool HasValue(const wchar_t* AName) const {
    return RegQueryValueExW(FKey, AName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  }
  void DeleteValue(const wchar_t* AName) const { RegDeleteValueW(FKey, AName); }
  bool IsEmpty() const {
    DWORD subkeys = 0, values = 0;
    return RegQueryInfoKeyW(FKey, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
  }

 private:
  HKEY FKey = nullptr;
};

HRESULT Result(LSTATUS AStatus) {
  return AStatus == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(AStatus);
}

// The names of a "prop:" list, without their prefixes ("*", "~", "#", ...).
std::vector<std::wstring> ListNames(const std::wstring& AList) {
  std::wstring_view rest = AList;
  if (rest.substr(0, 5) == L"prop:") rest.remove_prefix(5);
  std::vector<std::wstring> names;
  while (!rest.empty()) {
    const std::size_t end = rest.find(L';');
    std::wstring_view item = rest.substr(0, end);
    while (!item.empty() && !(std::iswalnum(item.front()) || item.front() == L'_'))
      item.remove_prefix(1);
    if (!item.empty()) names.emplace_back(item);
    if (end == std::wstring_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return names;
}

bool Contains(const std::vector<std::wstring>& ANames, const std::wstring& AName) {
  for (const std::wstring& name : ANames)
    if (CompareStringOrdinal(name.c_str(), -1, AName.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
  return false;
}

// The list without the given names; their items are dropped with their prefixes.
std::wstring WithoutNames(const std::wstring& AList, const std::vector<std::wstring>& ANames) {
  std::wstring_view rest = AList;
  if (rest.substr(0, 5) == L"prop:") rest.remove_prefix(5);
  std::wstring kept;
  while (!rest.empty()) {
    const std::size_t end = rest.find(L';');
    const std::wstring item(rest.substr(0, end));
    const std::vector<std::wstring> name = ListNames(item);
    if (!item.empty() && (name.empty() || !Contains(ANames, name.front())))
      kept += (kept.empty() ? L"" : L";") + item;
    if (end == std::wstring_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return kept.empty() ? std::wstring() : L"prop:" + kept;
}

std::wstring Joined(const std::vector<std::wstring>& ANames) {
  std::wstring text;
  for (const std::wstring& name : ANames) text += (text.empty() ? L"" : L";") + name;
  return text;
}

std::wstring ClassKeyPath() {
  return std::wstring(cClassesKey) + L"\\" + ClassIdText();
}

std::wstring RecordKeyPath() {
  return ClassKeyPath() + L"\\Registration";
}

// The record's value names.
std::wstring HandlerEntry(const wchar_t* AExtension) {
  return std::wstring(L"PropertyHandlers\\") + AExtension;
}
std::wstring AssociationEntry(const wchar_t* AExtension) {
  return std::wstring(L"SystemFileAssociations\\") + AExtension;
}
std::wstring ListEntry(const wchar_t* AExtension, const wchar_t* AList) {
  return AssociationEntry(AExtension) + L"\\" + AList;
}

HRESULT RegisterClass(const std::wstring& AModulePath) {
  TKey classKey;
  if (LSTATUS status = classKey.Open(ClassKeyPath(), true); status != ERROR_SUCCESS)
    return Result(status);
  if (LSTATUS status = classKey.WriteText(nullptr, L"Vexmeta SVG property handler");
      status != ERROR_SUCCESS)
    return Result(status);
  TKey server;
  if (LSTATUS status = server.Open(ClassKeyPath() + L"\\InprocServer32", true);
      status != ERROR_SUCCESS)
    return Result(status);
  if (LSTATUS status = server.WriteText(nullptr, AModulePath); status != ERROR_SUCCESS)
    return Result(status);
  return Result(server.WriteText(L"ThreadingModel", L"Both"));
}

HRESULT RegisterExtension(const wchar_t* AExtension, const TKey& ARecord) {
  const std::wstring ours = ClassIdText();

  // The handler: ours, the one before remembered unless it was ours already.
  TKey handler;
  bool created = false;
  if (LSTATUS status =
          handler.Open(std::wstring(cHandlersKey) + L"\\" + AExtension, true, &created);
      status != ERROR_SUCCESS)
    return Result(status);
  const std::wstring handlerEntry = HandlerEntry(AExtension);
  std::wstring before;
  if (created) {
    ARecord.WriteText(handlerEntry.c_str(), L"");
  } else if (handler.ReadText(nullptr, before) &&
             CompareStringOrdinal(before.c_str(), -1, ours.c_str(), -1, TRUE) != CSTR_EQUAL &&
             !ARecord.HasValue(handlerEntry.c_str())) {
    ARecord.WriteText(handlerEntry.c_str(), before);
  }
  if (LSTATUS status = handler.WriteText(nullptr, ours); status != ERROR_SUCCESS)
    return Result(status);

  // The lists: our names added to what each names.
  TKey association;
  if (LSTATUS status =
          association.Open(std::wstring(cAssociationsKey) + L"\\" + AExtension, true, &created);
      status != ERROR_SUCCESS)
    return Result(status);
  const std::wstring associationEntry = AssociationEntry(AExtension);
  if (created) ARecord.WriteText(associationEntry.c_str(), L"created");

  for (const TListSpec& spec : ListSpecs()) {
    std::wstring list;
    const bool existed = association.ReadText(spec.Name, list);
    const std::vector<std::wstring> present =
        existed ? ListNames(list) : std::vector<std::wstring>();
    const std::wstring entry = ListEntry(AExtension, spec.Name);
    std::wstring addedBefore;
    ARecord.ReadText(entry.c_str(), addedBefore);
    std::vector<std::wstring> added = ListNames(addedBefore);

    std::wstring items;
    for (std::string_view name : spec.Ours) {
      const std::wstring wide = Wide(name);
      if (Contains(present, wide)) continue;
      items += (items.empty() ? L"" : L";") + std::wstring(spec.Prefix) + wide;
      added.push_back(wide);
    }
    if (!existed) {
      const std::wstring lead = spec.Lead;
      items = (lead.empty() ? L"" : lead + L";") + items + L";" + spec.Rest;
      for (const std::wstring& name : ListNames(lead + L";" + spec.Rest))
        if (!Contains(added, name)) added.push_back(name);
    }
    if (items.empty()) continue;  // it names all of ours already
    if (existed) {
      list += list.size() > 5 && list.back() != L';' ? L";" : L"";
      if (list.substr(0, 5) != L"prop:") list.insert(0, L"prop:");
    } else {
      list = L"prop:";
    }
    if (LSTATUS status = association.WriteText(spec.Name, list + items); status != ERROR_SUCCESS)
      return Result(status);
    ARecord.WriteText(entry.c_str(), Joined(added));
  }
  return S_OK;
}

void UnregisterExtension(const wchar_t* AExtension, const TKey& ARecord) {
  const std::wstring ours = ClassIdText();

  const std::wstring handlerPath = std::wstring(cHandlersKey) + L"\\" + AExtension;
  std::wstring before;
  const bool recorded = ARecord.ReadText(HandlerEntry(AExtension).c_str(), before);
  {
    TKey handler;
    std::wstring now;
    if (handler.Open(handlerPath, false) == ERROR_SUCCESS && handler.ReadText(nullptr, now) &&
        CompareStringOrdinal(now.c_str(), -1, ours.c_str(), -1, TRUE) == CSTR_EQUAL) {
      // Still ours: the one before comes back, or the key goes when we made it.
      if (recorded && !before.empty())
        handler.WriteText(nullptr, before);
      else
        handler.DeleteValue(nullptr);
    }
  }
  bool handlerEmpty = false;
  {
    TKey handler;
    handlerEmpty = handler.Open(handlerPath, false) == ERROR_SUCCESS && handler.IsEmpty();
  }
  if (handlerEmpty) RegDeleteKeyW(HKEY_LOCAL_MACHINE, handlerPath.c_str());

  const std::wstring associationPath = std::wstring(cAssociationsKey) + L"\\" + AExtension;
  bool empty = false;
  {
    TKey association;
    if (association.Open(associationPath, false) != ERROR_SUCCESS) return;
    for (const TListSpec& spec : ListSpecs()) {
      std::wstring added, list;
      if (!ARecord.ReadText(ListEntry(AExtension, spec.Name).c_str(), added)) continue;
      if (!association.ReadText(spec.Name, list)) continue;
      const std::wstring left = WithoutNames(list, ListNames(added));
      if (left.empty())
        association.DeleteValue(spec.Name);
      else
        association.WriteText(spec.Name, left);
    }
    empty = association.IsEmpty();
  }
  if (empty && ARecord.HasValue(AssociationEntry(AExtension).c_str()))
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, associationPath.c_str());
}

}  // namespace

HRESULT RegisterHandler(const std::wstring& AModulePath) {
  if (HRESULT result = RegisterClass(AModulePath); FAILED(result)) return result;
  TKey record;
  if (LSTATUS status = record.Open(RecordKeyPath(), true); status != ERROR_SUCCESS)
    return Result(status);
  for (const wchar_t* extension : cExtensions)
    if (HRESULT result = RegisterExtension(extension, record); FAILED(result)) return result;
  return S_OK;
}

HRESULT UnregisterHandler() {
  {
    TKey record;
    // Without a record there is nothing of ours beside the class key.
    if (record.Open(RecordKeyPath(), false) == ERROR_SUCCESS)
      for (const wchar_t* extension : cExtensions) UnregisterExtension(extension, record);
  }
  const LSTATUS status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassKeyPath().c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : Result(status);
}
