// Small interface bases for the control: IOleObject that only takes a client site, IObjectSafety over the
// interfaces the object answers, and IProvideClassInfo2 from the module's type library. Each forwards what is
// the object's own business to it (T::OnSetClientSite, T::QueryInterface).
#pragma once

#include <windows.h>

#include <objsafe.h>
#include <ocidl.h>
#include <oleidl.h>

#include "browserctl/com_module.h"

namespace tarnel {

inline constexpr DWORD kSafetySupported =
    INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

template <typename T>
class OleObjectImpl : public IOleObject {
public:
    STDMETHODIMP SetClientSite(IOleClientSite* site) override {
        return static_cast<T*>(this)->OnSetClientSite(site);
    }
    STDMETHODIMP GetClientSite(IOleClientSite**) override { return E_NOTIMPL; }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP Close(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) override { return E_NOTIMPL; }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return E_NOTIMPL; }
    STDMETHODIMP IsUpToDate() override { return E_NOTIMPL; }
    STDMETHODIMP GetUserClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }
};

template <typename T>
class ObjectSafetyImpl : public IObjectSafety {
public:
    HRESULT WINAPI GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) override {
        if (!supported || !enabled) return E_POINTER;
        HRESULT hr = Answers(riid);
        if (FAILED(hr)) {
            *supported = 0;
            *enabled = 0;
            return hr;
        }
        *supported = kSafetySupported;
        *enabled = safety_;
        return S_OK;
    }
    HRESULT WINAPI SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override {
        if (FAILED(Answers(riid))) return E_NOINTERFACE;
        if (mask & ~kSafetySupported) return E_FAIL;
        safety_ = (safety_ & ~mask) | (enabled & mask);
        return S_OK;
    }

private:
    HRESULT Answers(REFIID riid) {
        IUnknown* p = nullptr;
        HRESULT hr = static_cast<T*>(this)->QueryInterface(riid, reinterpret_cast<void**>(&p));
        if (SUCCEEDED(hr) && p) p->Release();
        return hr;
    }
    DWORD safety_ = 0;
};

// Class info of coclass Clsid, with SourceIid as the default source interface.
template <const CLSID* Clsid, const IID* SourceIid>
class ProvideClassInfo2Impl : public IProvideClassInfo2 {
public:
    STDMETHODIMP GetClassInfo(ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return Module().GetTypeInfo(*Clsid, out);
    }
    STDMETHODIMP GetGUID(DWORD kind, GUID* out) override {
        if (!out) return E_POINTER;
        if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
            *out = GUID_NULL;
            return E_INVALIDARG;
        }
        *out = *SourceIid;
        return S_OK;
    }
};

}  // namespace tarnel
