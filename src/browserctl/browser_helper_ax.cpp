// The control holds a reference to its client site and to the attached browser; the browser holds the event
// sink, which points back here only while the control lives. Every string and VARIANT obtained from the
// browser is owned by a holder, so no path leaks one.
#include "browserctl/browser_helper_ax.h"

#include <olectl.h>
#include <servprov.h>
#include <shlguid.h>

#include <cwchar>
#include <new>

#include "browserctl/file_version_info.h"
#include "browserctl/option_store.h"
#include "browserctl/registry_table.h"
#include "browserctl/site_check.h"

namespace tarnel {
namespace {

constexpr wchar_t kBrowserKey[] = L"Software\\Microsoft\\Internet Explorer";

// DWebBrowserEvents2 DISPIDs the sink answers.
enum : DISPID {
    kBeforeNavigate2 = 250,
    kNewWindow2 = 251,
    kNavigateComplete2 = 252,
    kOnFullScreen = 258,
    kDocumentComplete = 259,
    kOnTheaterMode = 260,
    kDownloadBegin = 106,
    kDownloadComplete = 104,
    kProgressChange = 108,
    kFileDownload = 270,
    kNavigateError = 271,
    kCommandStateChange = 105,
    kWindowStateChanged = 283,
};

// The URL argument as the browser sends it: a value, possibly behind one VT_VARIANT reference. A reference
// that leads nowhere, or a VT_VARIANT reference behind another, is malformed: nothing is read through it.
const VARIANT* UrlValue(const VARIANT* url) {
    if (url && V_VT(url) == (VT_VARIANT | VT_BYREF)) url = V_VARIANTREF(url);
    if (!url || V_VT(url) == (VT_VARIANT | VT_BYREF)) return nullptr;
    if ((V_VT(url) & VT_BYREF) && !V_BYREF(url)) return nullptr;
    return url;
}

// The text of an event's URL argument, by value or by reference; false when it does not convert.
bool UrlText(const VARIANT* url, BStr& text) {
    url = UrlValue(url);
    if (!url) return false;
    Variant copy;
    if (FAILED(VariantCopyInd(copy.Get(), const_cast<VARIANT*>(url)))) return false;
    if (V_VT(copy.Get()) != VT_BSTR && FAILED(VariantChangeType(copy.Get(), copy.Get(), 0, VT_BSTR))) {
        return false;
    }
    text.Attach(V_BSTR(copy.Get()));
    V_VT(copy.Get()) = VT_EMPTY;
    return true;
}

// The browser object of an event argument (VT_DISPATCH or VT_UNKNOWN, possibly by reference).
IDispatch* FrameOf(const VARIANT& arg) {
    VARTYPE vt = V_VT(&arg);
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) return static_cast<IDispatch*>(V_DISPATCH(&arg));
    if ((vt == (VT_DISPATCH | VT_BYREF) || vt == (VT_UNKNOWN | VT_BYREF)) && V_DISPATCHREF(&arg)) {
        return *V_DISPATCHREF(&arg);
    }
    if (vt == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(&arg)) return FrameOf(*V_VARIANTREF(&arg));
    return nullptr;
}

double ReadVersionValue(HKEY key, const wchar_t* name) {
    wchar_t buffer[MAX_PATH] = {};
    DWORD type = 0;
    // One character short of the buffer, so the forced terminator always fits.
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return -1.0;
    }
    buffer[bytes / sizeof(wchar_t)] = 0;
    return wcstod(buffer, nullptr);
}

}  // namespace

// ---- events of the control ----

HRESULT CProxy_IBrowserHelperAxEvents::Fire(DISPID id, BSTR Val) {
    HRESULT hr = S_OK;
    for (size_t slot = 0; slot < SlotCount(); ++slot) {
        ComPtr<IUnknown> sink = Sink(slot);
        if (!sink) continue;
        // The stored pointer is the event interface, a dispinterface.
        auto* disp = static_cast<IDispatch*>(static_cast<IUnknown*>(sink.Get()));
        Variant arg;
        V_VT(arg.Get()) = VT_BSTR;
        V_BSTR(arg.Get()) = SysAllocStringLen(Val, SysStringLen(Val));
        if (Val && !V_BSTR(arg.Get())) return E_OUTOFMEMORY;
        DISPPARAMS params{arg.Get(), nullptr, 1, 0};
        hr = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                          nullptr);
    }
    return hr;
}

// ---- browser-event sink ----

CWebBrowserEvents* CWebBrowserEvents::Create(CBrowserHelperAx* owner) {
    return new (std::nothrow) CWebBrowserEvents(owner);
}

STDMETHODIMP CWebBrowserEvents::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2) {
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CWebBrowserEvents::Release() {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
}

STDMETHODIMP CWebBrowserEvents::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CWebBrowserEvents::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                       EXCEPINFO*, UINT*) {
    try {
        if (!owner_) return S_OK;
        // A sink of ours may release the last reference to the control while we are firing.
        ComPtr<IBrowserHelperAx> keepAlive(static_cast<IBrowserHelperAx*>(owner_));
        // Arguments arrive last first: rgvarg[cArgs - 1] is the browser, rgvarg[cArgs - 2] the URL.
        bool twoArgs = params && params->rgvarg && params->cArgs >= 2;
        VARIANT* url = twoArgs ? &params->rgvarg[params->cArgs - 2] : nullptr;
        IDispatch* frame = twoArgs ? FrameOf(params->rgvarg[params->cArgs - 1]) : nullptr;
        switch (id) {
            case kBeforeNavigate2: {
                BStr ignored;
                UrlText(url, ignored);
                break;
            }
            case kNavigateComplete2:
                if (twoArgs) owner_->OnNavigateComplete2(frame, url);
                break;
            case kDocumentComplete:
                if (twoArgs) owner_->OnDocumentComplete(frame, url);
                break;
            case kNewWindow2:
            case kOnFullScreen:
            case kOnTheaterMode:
            case kDownloadBegin:
            case kDownloadComplete:
            case kProgressChange:
            case kFileDownload:
            case kNavigateError:
            case kCommandStateChange:
            case kWindowStateChanged:
            default:
                break;
        }
        return S_OK;
    } catch (...) {
        return S_OK;
    }
}

// ---- the control ----

HRESULT CBrowserHelperAx::CreateInstance(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* control = new (std::nothrow) CBrowserHelperAx();
    if (!control) return E_OUTOFMEMORY;
    if (!control->sink_) {
        control->Release();
        return E_OUTOFMEMORY;
    }
    HRESULT hr = control->QueryInterface(riid, out);
    control->Release();
    return hr;
}

CBrowserHelperAx::CBrowserHelperAx() : events_(static_cast<IBrowserHelperAx*>(this)) {
    sink_.Attach(CWebBrowserEvents::Create(this));
    Module().Lock();
}

CBrowserHelperAx::~CBrowserHelperAx() {
    // The owner goes first: an event the browser sends while it is unadvised must not reach a dying control.
    if (sink_) sink_->ClearOwner();
    UnadviseBrowser();
    Module().Unlock();
    browser_.Reset();
    site_.Reset();
    events_.Clear();
}

STDMETHODIMP CBrowserHelperAx::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IBrowserHelperAx || riid == IID_IDispatch) {
        *out = static_cast<IBrowserHelperAx*>(this);
    } else if (riid == IID_IConnectionPointContainer) {
        *out = static_cast<IConnectionPointContainer*>(this);
    } else if (riid == IID_IObjectSafety) {
        *out = static_cast<IObjectSafety*>(this);
    } else if (riid == IID_IOleObject) {
        *out = static_cast<IOleObject*>(this);
    } else if (riid == IID_IProvideClassInfo2) {
        *out = static_cast<IProvideClassInfo2*>(this);
    } else if (riid == IID_IProvideClassInfo) {
        *out = static_cast<IProvideClassInfo*>(static_cast<IProvideClassInfo2*>(this));
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CBrowserHelperAx::Release() {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
}

STDMETHODIMP CBrowserHelperAx::GetVersion(BSTR* pVal) {
    if (!pVal) return E_INVALIDARG;
    try {
        CFileVersionInfo info(GetModulePath(ThisModule()).c_str());
        *pVal = SysAllocString(info.FileVersion.c_str());
        return *pVal ? S_OK : E_OUTOFMEMORY;
    } catch (...) {
        *pVal = nullptr;
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP CBrowserHelperAx::Navigate(BSTR Val) {
    try {
        if (!browser_) return E_FAIL;
        Variant url, flags, frame, post, headers;
        V_VT(url.Get()) = VT_BSTR;
        V_BSTR(url.Get()) = SysAllocStringLen(Val, SysStringLen(Val));
        if (Val && !V_BSTR(url.Get())) return E_OUTOFMEMORY;
        return browser_->Navigate2(url.Get(), flags.Get(), frame.Get(), post.Get(), headers.Get());
    } catch (...) {
        return E_FAIL;
    }
}

STDMETHODIMP CBrowserHelperAx::GetLocationURL(BSTR* pVal) {
    if (!pVal) return E_INVALIDARG;
    try {
        if (!browser_) return E_FAIL;
        BStr url;
        if (FAILED(browser_->get_LocationURL(url.Put()))) return E_FAIL;
        *pVal = url.Empty() ? nullptr : url.Release();
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

STDMETHODIMP CBrowserHelperAx::GetApplication(IDispatch** ppObj) {
    if (!ppObj || *ppObj) return E_INVALIDARG;
    try {
        if (!browser_) return E_FAIL;
        ComPtr<IWebBrowser2> app;
        if (FAILED(browser_->QueryInterface(IID_IWebBrowser2, app.PutVoid())) || !app) return E_FAIL;
        *ppObj = app.Release();
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

// The name as the BSTR holds it, with its length, so that a NUL inside is seen (and a null name is empty).
STDMETHODIMP CBrowserHelperAx::SetOptions(BSTR bstrName, LONG lVal, SHORT* pVal) {
    return tarnel::SetOptions(std::wstring_view(bstrName, SysStringLen(bstrName)), lVal, pVal);
}

STDMETHODIMP CBrowserHelperAx::GetOptions(BSTR bstrName, LONG* plVal) {
    return tarnel::GetOptions(std::wstring_view(bstrName, SysStringLen(bstrName)), plVal);
}

STDMETHODIMP CBrowserHelperAx::get_Visible(VARIANT_BOOL* pbVisible) {
    try {
        bool visible = false;
        ComPtr<IOleWindow> window;
        HWND hwnd = nullptr;
        if (site_ && SUCCEEDED(site_->QueryInterface(IID_IOleWindow, window.PutVoid())) && window &&
            SUCCEEDED(window->GetWindow(&hwnd)) && hwnd) {
            visible = IsWindowVisible(hwnd) != FALSE;
        }
        if (!pbVisible) return E_POINTER;
        *pbVisible = visible ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    } catch (...) {
        if (!pbVisible) return E_POINTER;
        *pbVisible = VARIANT_FALSE;
        return S_OK;
    }
}

STDMETHODIMP CBrowserHelperAx::EnumConnectionPoints(IEnumConnectionPoints** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
        return CreateEnumConnectionPoints({&events_}, out);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP CBrowserHelperAx::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid != DIID__IBrowserHelperAxEvents) return CONNECT_E_NOCONNECTION;
    *out = &events_;
    events_.AddRef();
    return S_OK;
}

bool CBrowserHelperAx::IsSiteAllowed() const { return IsAddressAllowed(FindPageAddress(site_.Get())); }

HRESULT CBrowserHelperAx::OnSetClientSite(IOleClientSite* site) {
    try {
        site_ = ComPtr<IOleClientSite>(site);
        if (!site) {
            UnadviseBrowser();
            browser_.Reset();
            return S_OK;
        }
        ComPtr<IServiceProvider> provider, topLevel;
        ComPtr<IWebBrowserApp> app;
        if (FAILED(site->QueryInterface(IID_IServiceProvider, provider.PutVoid())) || !provider ||
            FAILED(provider->QueryService(SID_STopLevelBrowser, IID_IServiceProvider, topLevel.PutVoid())) ||
            !topLevel ||
            FAILED(topLevel->QueryService(SID_SWebBrowserApp, IID_IWebBrowserApp, app.PutVoid())) || !app) {
            return S_OK;
        }

        // Inside a browser that hosts another one, follow the outer browser.
        Variant outer;
        BStr property(L"OuterWebBrowser");
        if (SUCCEEDED(app->GetProperty(property.Get(), outer.Get())) &&
            (V_VT(outer.Get()) == VT_DISPATCH || V_VT(outer.Get()) == VT_UNKNOWN) && V_UNKNOWN(outer.Get())) {
            ComPtr<IWebBrowser2> outerBrowser;
            if (SUCCEEDED(V_UNKNOWN(outer.Get())->QueryInterface(IID_IWebBrowser2, outerBrowser.PutVoid())) &&
                outerBrowser) {
                UnadviseBrowser();
                AttachBrowser(outerBrowser);
                return S_OK;
            }
        }

        VARIANT_BOOL topLevelContainer = VARIANT_FALSE;
        if (SUCCEEDED(app->get_TopLevelContainer(&topLevelContainer)) &&
            (topLevelContainer != VARIANT_FALSE || GetBrowserVersion() < 7.0)) {
            if (SameObject(app.Get(), browser_.Get())) return S_OK;
            ComPtr<IWebBrowser2> appBrowser;
            if (FAILED(app->QueryInterface(IID_IWebBrowser2, appBrowser.PutVoid())) || !appBrowser)
                return S_OK;
            UnadviseBrowser();
            AttachBrowser(appBrowser);
        }
        return S_OK;
    } catch (...) {
        return S_OK;
    }
}

void CBrowserHelperAx::AttachBrowser(const ComPtr<IWebBrowser2>& browser) {
    if (!SameObject(browser.Get(), browser_.Get())) browser_ = browser;
    DWORD cookie = 0;
    if (sink_ && SUCCEEDED(AdviseSink(browser_.Get(), DIID_DWebBrowserEvents2,
                                      static_cast<IDispatch*>(sink_.Get()), &cookie))) {
        sink_->SetCookie(cookie);
    }
}

void CBrowserHelperAx::UnadviseBrowser() {
    if (!browser_ || !sink_ || sink_->Cookie() == kNotAdvised) return;
    UnadviseSink(browser_.Get(), DIID_DWebBrowserEvents2, sink_->Cookie());
    sink_->SetCookie(kNotAdvised);
}

bool CBrowserHelperAx::IsAttachedBrowser(IDispatch* pDisp) const { return SameObject(pDisp, browser_.Get()); }

void CBrowserHelperAx::OnNavigateComplete2(IDispatch* pDisp, VARIANT* URL) {
    BStr url;
    if (!UrlText(URL, url) || !IsAttachedBrowser(pDisp) || !IsSiteAllowed()) return;
    events_.Fire_NavigateComplete(url.Get());
}

void CBrowserHelperAx::OnDocumentComplete(IDispatch* pDisp, VARIANT* URL) {
    BStr url;
    if (!UrlText(URL, url) || !IsAttachedBrowser(pDisp) || !IsSiteAllowed()) return;
    events_.Fire_DocumentComplete(url.Get());
}

double CBrowserHelperAx::GetBrowserVersion() {
    RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBrowserKey, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
        return 0.0;
    double version = ReadVersionValue(key.Get(), L"svcVersion");
    if (version < 0) version = ReadVersionValue(key.Get(), L"Version");
    return version < 0 ? 0.0 : version;
}

}  // namespace tarnel
