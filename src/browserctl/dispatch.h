// IDispatch for a dual interface through the module's type library, with a pre-call hook: the object's
// AllowInvoke() decides before every Invoke, and a refused call answers S_FALSE without running anything.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include "browserctl/com_module.h"

namespace tarnel {

template <typename T, typename I>
class DispatchImpl : public I {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return LoadInfo(out);
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        ComPtr<ITypeInfo> info;
        HRESULT hr = LoadInfo(info.Put());
        if (FAILED(hr)) return hr;
        return info->GetIDsOfNames(names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) override {
        try {
            if (!static_cast<T*>(this)->AllowInvoke()) return S_FALSE;
            if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
            ComPtr<ITypeInfo> info;
            HRESULT hr = LoadInfo(info.Put());
            if (FAILED(hr)) return hr;
            return info->Invoke(static_cast<I*>(this), id, flags, params, result, excep, argErr);
        } catch (...) {
            return E_FAIL;
        }
    }

private:
    HRESULT LoadInfo(ITypeInfo** out) {
        if (!info_) {
            ComPtr<ITypeInfo> info;
            HRESULT hr = Module().GetTypeInfo(__uuidof(I), info.Put());
            if (FAILED(hr)) return hr;
            // A dual interface is found as its dispatch half; Invoke needs the vtable half.
            HREFTYPE ref = 0;
            ComPtr<ITypeInfo> vtableInfo;
            if (SUCCEEDED(info->GetRefTypeOfImplType(-1, &ref)) &&
                SUCCEEDED(info->GetRefTypeInfo(ref, vtableInfo.Put()))) {
                info = vtableInfo;
            }
            info_ = info;
        }
        return info_.CopyTo(out);
    }
    ComPtr<ITypeInfo> info_;
};

}  // namespace tarnel
