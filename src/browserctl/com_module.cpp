// The type library is read from the module's own file, not from the registry, so dispatch works before
// registration and in test programs that link the control statically.
#include "browserctl/com_module.h"

#include <oleauto.h>

#include <string>

#include "browserctl/option_store.h"

namespace tarnel {

namespace {

// Holds a critical section for a scope.
class Locked {
public:
    explicit Locked(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    ~Locked() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION& section_;
};

}  // namespace

ComModule::ComModule() { initialized_ = InitializeCriticalSectionEx(&typeLibLock_, 0, 0) != FALSE; }

ComModule::~ComModule() {
    if (initialized_) DeleteCriticalSection(&typeLibLock_);
}

ComModule& Module() {
    static ComModule module;
    return module;
}

HRESULT ComModule::GetTypeLib(ITypeLib** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!initialized_) return E_UNEXPECTED;
    Locked lock(typeLibLock_);
    if (!typeLib_) {
        std::wstring path = GetModulePath(ThisModule());
        if (path.empty()) return E_FAIL;
        HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, typeLib_.Put());
        if (FAILED(hr)) return hr;
    }
    return typeLib_.CopyTo(out);
}

HRESULT ComModule::GetTypeInfo(REFGUID guid, ITypeInfo** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ComPtr<ITypeLib> lib;
    HRESULT hr = GetTypeLib(lib.Put());
    if (FAILED(hr)) return hr;
    return lib->GetTypeInfoOfGuid(guid, out);
}

void ComModule::ReleaseTypeLib() {
    if (!initialized_) return;
    Locked lock(typeLibLock_);
    typeLib_.Reset();
}

bool SameObject(IUnknown* a, IUnknown* b) {
    if (!a || !b) return a == b;
    ComPtr<IUnknown> ua, ub;
    if (FAILED(a->QueryInterface(IID_IUnknown, ua.PutVoid())) ||
        FAILED(b->QueryInterface(IID_IUnknown, ub.PutVoid()))) {
        return false;
    }
    return ua.Get() == ub.Get();
}

}  // namespace tarnel
