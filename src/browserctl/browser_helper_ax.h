// CBrowserHelperAx: the scriptable control. It finds the browser that hosts it through its client site,
// follows that browser's navigation events, and offers the page version, navigation, location, options and
// visibility; every scripted call first passes the site check.
#pragma once

#include <windows.h>

#include <exdisp.h>
#include <objsafe.h>
#include <ocidl.h>

#include <atomic>

#include "browserctl/com_ptr.h"
#include "browserctl/connection_point.h"
#include "browserctl/dispatch.h"
#include "browserctl/ole_helpers.h"
#include "browserctl/tarnel.h"

namespace tarnel {

class CBrowserHelperAx;

inline constexpr DWORD kNotAdvised = 0xFEFEFEFE;

// The connection point of _IBrowserHelperAxEvents, with the two events.
class CProxy_IBrowserHelperAxEvents : public ConnectionPoint {
public:
    explicit CProxy_IBrowserHelperAxEvents(IUnknown* owner)
        : ConnectionPoint(owner, DIID__IBrowserHelperAxEvents) {}
    HRESULT Fire_NavigateComplete(BSTR Val) { return Fire(1, Val); }
    HRESULT Fire_DocumentComplete(BSTR Val) { return Fire(2, Val); }

private:
    HRESULT Fire(DISPID id, BSTR Val);
};

// DWebBrowserEvents2 sink, its own reference-counted object: the browser may keep it after the control is
// gone, and then its owner pointer is null and every event is a no-op.
class CWebBrowserEvents final : public IDispatch {
public:
    static CWebBrowserEvents* Create(CBrowserHelperAx* owner);

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

    void ClearOwner() { owner_ = nullptr; }
    DWORD Cookie() const { return cookie_; }
    void SetCookie(DWORD cookie) { cookie_ = cookie; }

private:
    explicit CWebBrowserEvents(CBrowserHelperAx* owner) : owner_(owner) {}
    std::atomic<ULONG> refs_{1};
    CBrowserHelperAx* owner_;
    DWORD cookie_ = kNotAdvised;
};

class CBrowserHelperAx final
    : public DispatchImpl<CBrowserHelperAx, IBrowserHelperAx>,
      public IConnectionPointContainer,
      public ObjectSafetyImpl<CBrowserHelperAx>,
      public OleObjectImpl<CBrowserHelperAx>,
      public ProvideClassInfo2Impl<&CLSID_BrowserHelperAx, &DIID__IBrowserHelperAxEvents> {
public:
    // For the class factory: a new control asked for riid (destroyed again when that fails).
    static HRESULT CreateInstance(REFIID riid, void** out);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override;

    // IBrowserHelperAx
    STDMETHODIMP GetVersion(BSTR* pVal) override;
    STDMETHODIMP Navigate(BSTR Val) override;
    STDMETHODIMP GetLocationURL(BSTR* pVal) override;
    STDMETHODIMP GetApplication(IDispatch** ppObj) override;
    STDMETHODIMP SetOptions(BSTR bstrName, LONG lVal, SHORT* pVal) override;
    STDMETHODIMP GetOptions(BSTR bstrName, LONG* plVal) override;
    STDMETHODIMP get_Visible(VARIANT_BOOL* pbVisible) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

    // The site check run before every scripted call.
    bool IsSiteAllowed() const;
    bool AllowInvoke() const { return IsSiteAllowed(); }
    HRESULT OnSetClientSite(IOleClientSite* site);

    // From the browser-event sink. The control's events reach the page only while the page passes the site
    // check: one that may call nothing must not learn where the browser goes either. It is asked at every
    // event, not at Advise, so a sink advised before the site is set, or before the page's address can be
    // read, gets the events as soon as the page passes, and none while it does not.
    void OnNavigateComplete2(IDispatch* pDisp, VARIANT* URL);
    void OnDocumentComplete(IDispatch* pDisp, VARIANT* URL);

    // The browser version from the registry ("svcVersion", else "Version"), 0.0 when neither reads.
    static double GetBrowserVersion();

    // For tests: the attached browser, and the sink object the browser holds.
    IWebBrowser2* AttachedBrowser() const { return browser_.Get(); }
    CWebBrowserEvents* BrowserEventSink() const { return sink_.Get(); }

private:
    CBrowserHelperAx();
    ~CBrowserHelperAx();
    void UnadviseBrowser();
    void AttachBrowser(const ComPtr<IWebBrowser2>& browser);
    // True when an event of browser pDisp is about the attached browser itself.
    bool IsAttachedBrowser(IDispatch* pDisp) const;

    std::atomic<ULONG> refs_{1};
    CProxy_IBrowserHelperAxEvents events_;
    ComPtr<IOleClientSite> site_;
    ComPtr<IWebBrowser2> browser_;
    ComPtr<CWebBrowserEvents> sink_;
};

}  // namespace tarnel
