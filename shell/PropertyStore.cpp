// The property handler's COM object (see PropertyStore.h). Every method catches
// whatever is raised below it: nothing may end the process that loaded us.
#include "PropertyStore.h"

#include <cstring>
#include <memory>
#include <string>

#include "ComStream.h"
#include "extract/SvgExtractor.h"

// {D906B8A7-26A3-4351-AC7A-C5DFD38B698E}
const CLSID cHandlerClassId = {
    0xD906B8A7, 0x26A3, 0x4351, {0xAC, 0x7A, 0xC5, 0xDF, 0xD3, 0x8B, 0x69, 0x8E}};

std::atomic<long> gModuleUsers{0};

namespace {

bool SameKey(const TShellKey& AKey, REFPROPERTYKEY AOther) {
  return AKey.Pid == AOther.pid && AKey.Data1 == AOther.fmtid.Data1 &&
         AKey.Data2 == AOther.fmtid.Data2 && AKey.Data3 == AOther.fmtid.Data3 &&
         std::memcmp(AKey.Data4, AOther.fmtid.Data4, sizeof AKey.Data4) == 0;
}

PROPERTYKEY ToPropertyKey(const TShellKey& AKey) {
  PROPERTYKEY key{};
  key.fmtid.Data1 = AKey.Data1;
  key.fmtid.Data2 = AKey.Data2;
  key.fmtid.Data3 = AKey.Data3;
  std::memcpy(key.fmtid.Data4, AKey.Data4, sizeof AKey.Data4);
  key.pid = AKey.Pid;
  return key;
}

// The file name the stream came from, when it tells one: the ZIP entry of a
// ZIP-wrapped drawing is named after it.
std::u16string StreamName(IStream* AStream) {
  STATSTG stat{};
  if (FAILED(AStream->Stat(&stat, STATFLAG_DEFAULT))) return {};
  std::u16string name;
  if (stat.pwcsName != nullptr) {
    name = reinterpret_cast<const char16_t*>(stat.pwcsName);
    CoTaskMemFree(stat.pwcsName);
  }
  return name;
}

HRESULT FillValue(const TFact& AFact, PROPVARIANT& AValue) {
  switch (AFact.Row->Form) {
    case pfPixels:
      AValue.vt = VT_UI4;
      AValue.ulVal = AFact.Number;
      return S_OK;
    case pfDate:
      AValue.vt = VT_FILETIME;
      AValue.filetime.dwLowDateTime = static_cast<DWORD>(AFact.FileTime & 0xFFFFFFFFu);
      AValue.filetime.dwHighDateTime = static_cast<DWORD>(AFact.FileTime >> 32);
      return S_OK;
    case pfText:
    case pfDimensions: {
      const std::size_t bytes = (AFact.Text.size() + 1) * sizeof(char16_t);
      auto* text = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
      if (text == nullptr) return E_OUTOFMEMORY;
      std::memcpy(text, AFact.Text.c_str(), bytes);
      AValue.vt = VT_LPWSTR;
      AValue.pwszVal = text;
      return S_OK;
    }
  }
  return E_UNEXPECTED;
}

}  // namespace

TSvgPropertyStore::TSvgPropertyStore() {
  ++gModuleUsers;
}

TSvgPropertyStore::~TSvgPropertyStore() {
  --gModuleUsers;
}

HRESULT TSvgPropertyStore::QueryInterface(REFIID AIid, void** AObject) noexcept {
  if (AObject == nullptr) return E_POINTER;
  if (IsEqualIID(AIid, IID_IUnknown) || IsEqualIID(AIid, IID_IPropertyStore)) {
    *AObject = static_cast<IPropertyStore*>(this);
  } else if (IsEqualIID(AIid, IID_IInitializeWithStream)) {
    *AObject = static_cast<IInitializeWithStream*>(this);
  } else if (IsEqualIID(AIid, IID_IPropertyStoreCapabilities)) {
    *AObject = static_cast<IPropertyStoreCapabilities*>(this);
  } else {
    *AObject = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG TSvgPropertyStore::AddRef() noexcept {
  return ++FReferences;
}

ULONG TSvgPropertyStore::Release() noexcept {
  const ULONG left = --FReferences;
  if (left == 0) delete this;
  return left;
}

HRESULT TSvgPropertyStore::Initialize(IStream* AStream, DWORD /*AMode*/) noexcept {
  try {
    std::lock_guard<std::mutex> guard(FLock);
    if (FInitialized) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
    if (AStream == nullptr) return E_POINTER;
    FInitialized = true;

    TVexmeta record;
    TFileRead read = TFileRead::frNoDrawing;
    {
      // The engine's stream holds the only reference taken here, and goes
      // with the extraction: the IStream is released before this returns.
      const std::u16string name = StreamName(AStream);
      TSvgExtractor extractor;
      TExtractOptions options;
      options.ParseImageNode = false;  // no property comes from it
      read = extractor.ReadStream(std::make_unique<TComStream>(AStream), name, options, record);
    }
    if (read != TFileRead::frDrawing) return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
    FFacts = FactsOf(record);
    return S_OK;
  } catch (const std::bad_alloc&) {
    FFacts.clear();
    return E_OUTOFMEMORY;
  } catch (...) {
    FFacts.clear();
    return E_FAIL;
  }
}

HRESULT TSvgPropertyStore::GetCount(DWORD* ACount) noexcept {
  if (ACount == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> guard(FLock);
  *ACount = static_cast<DWORD>(FFacts.size());
  return S_OK;
}

HRESULT TSvgPropertyStore::GetAt(DWORD AIndex, PROPERTYKEY* AKey) noexcept {
  if (AKey == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> guard(FLock);
  if (AIndex >= FFacts.size()) {
    *AKey = PROPERTYKEY{};
    return E_INVALIDARG;
  }
  *AKey = ToPropertyKey(FFacts[AIndex].Row->Key);
  return S_OK;
}

HRESULT TSvgPropertyStore::GetValue(REFPROPERTYKEY AKey, PROPVARIANT* AValue) noexcept {
  if (AValue == nullptr) return E_POINTER;
  PropVariantInit(AValue);
  std::lock_guard<std::mutex> guard(FLock);
  for (const TFact& fact : FFacts)
    if (SameKey(fact.Row->Key, AKey)) return FillValue(fact, *AValue);
  // A property the drawing does not have is empty, not an error.
  return S_OK;
}

HRESULT TSvgPropertyStore::SetValue(REFPROPERTYKEY /*AKey*/, REFPROPVARIANT /*AValue*/) noexcept {
  return STG_E_ACCESSDENIED;
}

HRESULT TSvgPropertyStore::Commit() noexcept {
  return STG_E_ACCESSDENIED;
}

HRESULT TSvgPropertyStore::IsPropertyWritable(REFPROPERTYKEY /*AKey*/) noexcept {
  return S_FALSE;
}
