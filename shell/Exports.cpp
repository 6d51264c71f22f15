// The DLL's exports: the class factory COM asks for the handler's class, the
// unload test, and registration. No exception leaves any of them.
#include <windows.h>

#include <new>
#include <string>

#include "PropertyStore.h"
#include "Registration.h"

namespace {

HMODULE gModule = nullptr;

class TClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID AIid, void** AObject) noexcept override {
    if (AObject == nullptr) return E_POINTER;
    if (IsEqualIID(AIid, IID_IUnknown) || IsEqualIID(AIid, IID_IClassFactory)) {
      *AObject = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *AObject = nullptr;
    return E_NOINTERFACE;
  }
  // One factory lives as long as the module; its references count as module
  // users, as COM expects of a factory it keeps.
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return static_cast<ULONG>(++gModuleUsers); }
  ULONG STDMETHODCALLTYPE Release() noexcept override { return static_cast<ULONG>(--gModuleUsers); }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* AOuter, REFIID AIid,
                                           void** AObject) noexcept override {
    if (AObject == nullptr) return E_POINTER;
    *AObject = nullptr;
    if (AOuter != nullptr) return CLASS_E_NOAGGREGATION;
    auto* store = new (std::nothrow) TSvgPropertyStore();
    if (store == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = store->QueryInterface(AIid, AObject);
    store->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL ALock) noexcept override {
    if (ALock)
      ++gModuleUsers;
    else
      --gModuleUsers;
    return S_OK;
  }
};

TClassFactory gFactory;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE AInstance, DWORD AReason, LPVOID /*AReserved*/) {
  // Thread notifications stay on: the runtime linked in statically needs them.
  if (AReason == DLL_PROCESS_ATTACH) gModule = AInstance;
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID AClassId, REFIID AIid,
                                                    void** AObject) {
  if (AObject == nullptr) return E_POINTER;
  *AObject = nullptr;
  if (!IsEqualCLSID(AClassId, cHandlerClassId)) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(AIid, AObject);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return gModuleUsers.load() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  try {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
      const DWORD length =
          GetModuleFileNameW(gModule, path.data(), static_cast<DWORD>(path.size()));
      if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
      if (length < path.size()) {
        path.resize(length);
        break;
      }
      path.resize(path.size() * 2);
    }
    return RegisterHandler(path);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  try {
    return UnregisterHandler();
  } catch (...) {
    return E_FAIL;
  }
}
