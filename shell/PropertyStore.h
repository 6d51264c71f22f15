// The property handler's COM object: IPropertyStore, IInitializeWithStream and
// IPropertyStoreCapabilities over the facts of one drawing. Explorer, its
// Properties dialog and the search indexer create one per file, on threads of
// their own; the object reads the stream once in Initialize and keeps only
// the facts.
#pragma once

#include <propsys.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "PropertyFacts.h"

// The class identifier the handler is registered under.
extern const CLSID cHandlerClassId;

// Objects and server locks alive in the module; DllCanUnloadNow answers from it.
extern std::atomic<long> gModuleUsers;

class TSvgPropertyStore final : public IPropertyStore,
                                public IInitializeWithStream,
                                public IPropertyStoreCapabilities {
 public:
  TSvgPropertyStore();
  TSvgPropertyStore(const TSvgPropertyStore&) = delete;
  TSvgPropertyStore& operator=(const TSvgPropertyStore&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID AIid, void** AObject) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override;
  ULONG STDMETHODCALLTYPE Release() noexcept override;

  // IInitializeWithStream: reads the drawing; fails, leaving the store empty,
  // when it is none or cannot be read. The stream is released before it returns.
  HRESULT STDMETHODCALLTYPE Initialize(IStream* AStream, DWORD AMode) noexcept override;

  // IPropertyStore, read-only.
  HRESULT STDMETHODCALLTYPE GetCount(DWORD* ACount) noexcept override;
  HRESULT STDMETHODCALLTYPE GetAt(DWORD AIndex, PROPERTYKEY* AKey) noexcept override;
  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY AKey, PROPVARIANT* AValue) noexcept override;
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY AKey, REFPROPVARIANT AValue) noexcept override;
  HRESULT STDMETHODCALLTYPE Commit() noexcept override;

  // IPropertyStoreCapabilities: nothing is writable.
  HRESULT STDMETHODCALLTYPE IsPropertyWritable(REFPROPERTYKEY AKey) noexcept override;

 private:
  ~TSvgPropertyStore();

  std::atomic<ULONG> FReferences{1};
  std::mutex FLock;  // one object may be called from several threads
  bool FInitialized = false;
  std::vector<TFact> FFacts;
};
