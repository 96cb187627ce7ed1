/* The fakes of fakes.h. Each vtable is filled with a stub first and then the slots the control uses are set
 * by name, so a call the control is not expected to make answers E_NOTIMPL instead of jumping nowhere. */
#define COBJMACROS
#include "fakes.h"

#include <shlguid.h>
#include <stdlib.h>
#include <wchar.h>

/* On x64 every method shares one calling convention, so one stub serves any slot. */
static HRESULT STDMETHODCALLTYPE Stub_NotImpl(void *self) {
    (void)self;
    return E_NOTIMPL;
}

static void FillStubs(void *vtbl, size_t size) {
    void **slot = (void **)vtbl;
    for (size_t i = 0; i < size / sizeof(void *); ++i) slot[i] = (void *)Stub_NotImpl;
}

#define IMPL(type, field, iface) ((type *)((char *)(iface)-offsetof(type, field)))

static void CopyText(wchar_t *target, size_t size, const wchar_t *text) {
    if (!text) text = L"";
    wcsncpy(target, text, size - 1);
    target[size - 1] = 0;
}

/* ---- browser ---- */

static HRESULT Browser_QI(FakeBrowser *b, REFIID riid, void **out) {
    if (!out) return E_POINTER;
    *out = NULL;
    if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch) ||
        IsEqualIID(riid, &IID_IWebBrowser) || IsEqualIID(riid, &IID_IWebBrowserApp) ||
        IsEqualIID(riid, &IID_IWebBrowser2)) {
        *out = &b->IWebBrowser2_iface;
    } else if (IsEqualIID(riid, &IID_IServiceProvider)) {
        *out = &b->IServiceProvider_iface;
    } else if (IsEqualIID(riid, &IID_IConnectionPointContainer)) {
        *out = &b->IConnectionPointContainer_iface;
    } else {
        return E_NOINTERFACE;
    }
    InterlockedIncrement(&b->refs);
    return S_OK;
}

static ULONG Browser_AddRefImpl(FakeBrowser *b) { return InterlockedIncrement(&b->refs); }

static ULONG Browser_ReleaseImpl(FakeBrowser *b) {
    LONG n = InterlockedDecrement(&b->refs);
    if (n == 0) {
        if (b->sink) IDispatch_Release(b->sink);
        free(b);
    }
    return n;
}

#define BROWSER(iface) IMPL(FakeBrowser, IWebBrowser2_iface, iface)

static HRESULT STDMETHODCALLTYPE Wb_QueryInterface(IWebBrowser2 *This, REFIID riid, void **out) {
    return Browser_QI(BROWSER(This), riid, out);
}
static ULONG STDMETHODCALLTYPE Wb_AddRef(IWebBrowser2 *This) { return Browser_AddRefImpl(BROWSER(This)); }
static ULONG STDMETHODCALLTYPE Wb_Release(IWebBrowser2 *This) { return Browser_ReleaseImpl(BROWSER(This)); }

static HRESULT STDMETHODCALLTYPE Wb_get_Document(IWebBrowser2 *This, IDispatch **out) {
    FakeBrowser *b = BROWSER(This);
    if (!out) return E_POINTER;
    *out = b->document;
    if (!b->document) return E_FAIL;
    IDispatch_AddRef(b->document);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Wb_get_TopLevelContainer(IWebBrowser2 *This, VARIANT_BOOL *out) {
    FakeBrowser *b = BROWSER(This);
    if (!out) return E_POINTER;
    if (FAILED(b->topLevelHr)) return b->topLevelHr;
    *out = b->topLevel;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Wb_get_LocationURL(IWebBrowser2 *This, BSTR *out) {
    FakeBrowser *b = BROWSER(This);
    if (!out) return E_POINTER;
    *out = NULL;
    if (FAILED(b->locationHr)) return b->locationHr;
    *out = b->locationUrl ? SysAllocString(b->locationUrl) : NULL;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Wb_GetProperty(IWebBrowser2 *This, BSTR name, VARIANT *value) {
    FakeBrowser *b = BROWSER(This);
    if (!value) return E_POINTER;
    VariantInit(value);
    if (!name || wcscmp(name, L"OuterWebBrowser") != 0 || !b->outer) return E_FAIL;
    V_VT(value) = VT_DISPATCH;
    V_DISPATCH(value) = b->outer;
    IDispatch_AddRef(b->outer);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Wb_Navigate2(IWebBrowser2 *This, VARIANT *url, VARIANT *flags,
                                              VARIANT *frame, VARIANT *post, VARIANT *headers) {
    FakeBrowser *b = BROWSER(This);
    b->navigateCount++;
    b->navigatedType = url ? V_VT(url) : VT_EMPTY;
    CopyText(b->navigated, 256, url && V_VT(url) == VT_BSTR ? V_BSTR(url) : NULL);
    if (!flags || !frame || !post || !headers) return E_POINTER;
    if (V_VT(flags) != VT_EMPTY || V_VT(frame) != VT_EMPTY || V_VT(post) != VT_EMPTY ||
        V_VT(headers) != VT_EMPTY) {
        return E_INVALIDARG;
    }
    return b->navigateHr;
}

#define BROWSER_SP(iface) IMPL(FakeBrowser, IServiceProvider_iface, iface)

static HRESULT STDMETHODCALLTYPE BSp_QueryInterface(IServiceProvider *This, REFIID riid, void **out) {
    return Browser_QI(BROWSER_SP(This), riid, out);
}
static ULONG STDMETHODCALLTYPE BSp_AddRef(IServiceProvider *This) {
    return Browser_AddRefImpl(BROWSER_SP(This));
}
static ULONG STDMETHODCALLTYPE BSp_Release(IServiceProvider *This) {
    return Browser_ReleaseImpl(BROWSER_SP(This));
}
static HRESULT STDMETHODCALLTYPE BSp_QueryService(IServiceProvider *This, REFGUID sid, REFIID riid,
                                                  void **out) {
    FakeBrowser *b = BROWSER_SP(This);
    if (!out) return E_POINTER;
    *out = NULL;
    if (IsEqualGUID(sid, &SID_SWebBrowserApp) && b->serviceApp) return Browser_QI(b->serviceApp, riid, out);
    return E_NOINTERFACE;
}

#define BROWSER_CPC(iface) IMPL(FakeBrowser, IConnectionPointContainer_iface, iface)

static HRESULT STDMETHODCALLTYPE Cpc_QueryInterface(IConnectionPointContainer *This, REFIID riid,
                                                    void **out) {
    return Browser_QI(BROWSER_CPC(This), riid, out);
}
static ULONG STDMETHODCALLTYPE Cpc_AddRef(IConnectionPointContainer *This) {
    return Browser_AddRefImpl(BROWSER_CPC(This));
}
static ULONG STDMETHODCALLTYPE Cpc_Release(IConnectionPointContainer *This) {
    return Browser_ReleaseImpl(BROWSER_CPC(This));
}
static HRESULT STDMETHODCALLTYPE Cpc_FindConnectionPoint(IConnectionPointContainer *This, REFIID riid,
                                                         IConnectionPoint **out) {
    FakeBrowser *b = BROWSER_CPC(This);
    if (!out) return E_POINTER;
    *out = NULL;
    if (!IsEqualIID(riid, &DIID_DWebBrowserEvents2)) return CONNECT_E_NOCONNECTION;
    *out = &b->IConnectionPoint_iface;
    InterlockedIncrement(&b->refs);
    return S_OK;
}

#define BROWSER_CP(iface) IMPL(FakeBrowser, IConnectionPoint_iface, iface)

static HRESULT STDMETHODCALLTYPE Cp_QueryInterface(IConnectionPoint *This, REFIID riid, void **out) {
    FakeBrowser *b = BROWSER_CP(This);
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IConnectionPoint)) {
        *out = This;
        InterlockedIncrement(&b->refs);
        return S_OK;
    }
    *out = NULL;
    return E_NOINTERFACE;
}
static ULONG STDMETHODCALLTYPE Cp_AddRef(IConnectionPoint *This) {
    return Browser_AddRefImpl(BROWSER_CP(This));
}
static ULONG STDMETHODCALLTYPE Cp_Release(IConnectionPoint *This) {
    return Browser_ReleaseImpl(BROWSER_CP(This));
}
static HRESULT STDMETHODCALLTYPE Cp_Advise(IConnectionPoint *This, IUnknown *sink, DWORD *cookie) {
    FakeBrowser *b = BROWSER_CP(This);
    IDispatch *disp = NULL;
    if (!sink || !cookie) return E_POINTER;
    if (b->sink) return CONNECT_E_ADVISELIMIT;
    if (FAILED(IUnknown_QueryInterface(sink, &DIID_DWebBrowserEvents2, (void **)&disp))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    b->sink = disp;
    b->adviseCount++;
    *cookie = 0x1234;
    return S_OK;
}
static HRESULT STDMETHODCALLTYPE Cp_Unadvise(IConnectionPoint *This, DWORD cookie) {
    FakeBrowser *b = BROWSER_CP(This);
    if (cookie != 0x1234 || !b->sink) return CONNECT_E_NOCONNECTION;
    if (b->fireOnUnadvise) {
        b->fireOnUnadvise = FALSE;
        FakeBrowser_Fire(b, 259, (IDispatch *)&b->IWebBrowser2_iface, L"http://www.pexlo.jp/unadvise", FALSE);
    }
    IDispatch_Release(b->sink);
    b->sink = NULL;
    b->unadviseCount++;
    return S_OK;
}

static IWebBrowser2Vtbl g_browserVtbl;
static IServiceProviderVtbl g_browserSpVtbl;
static IConnectionPointContainerVtbl g_cpcVtbl;
static IConnectionPointVtbl g_cpVtbl;

FakeBrowser *FakeBrowser_Create(void) {
    if (!g_browserVtbl.QueryInterface) {
        FillStubs(&g_browserVtbl, sizeof(g_browserVtbl));
        g_browserVtbl.QueryInterface = Wb_QueryInterface;
        g_browserVtbl.AddRef = Wb_AddRef;
        g_browserVtbl.Release = Wb_Release;
        g_browserVtbl.get_Document = Wb_get_Document;
        g_browserVtbl.get_TopLevelContainer = Wb_get_TopLevelContainer;
        g_browserVtbl.get_LocationURL = Wb_get_LocationURL;
        g_browserVtbl.GetProperty = Wb_GetProperty;
        g_browserVtbl.Navigate2 = Wb_Navigate2;
        FillStubs(&g_browserSpVtbl, sizeof(g_browserSpVtbl));
        g_browserSpVtbl.QueryInterface = BSp_QueryInterface;
        g_browserSpVtbl.AddRef = BSp_AddRef;
        g_browserSpVtbl.Release = BSp_Release;
        g_browserSpVtbl.QueryService = BSp_QueryService;
        FillStubs(&g_cpcVtbl, sizeof(g_cpcVtbl));
        g_cpcVtbl.QueryInterface = Cpc_QueryInterface;
        g_cpcVtbl.AddRef = Cpc_AddRef;
        g_cpcVtbl.Release = Cpc_Release;
        g_cpcVtbl.FindConnectionPoint = Cpc_FindConnectionPoint;
        FillStubs(&g_cpVtbl, sizeof(g_cpVtbl));
        g_cpVtbl.QueryInterface = Cp_QueryInterface;
        g_cpVtbl.AddRef = Cp_AddRef;
        g_cpVtbl.Release = Cp_Release;
        g_cpVtbl.Advise = Cp_Advise;
        g_cpVtbl.Unadvise = Cp_Unadvise;
    }
    FakeBrowser *b = (FakeBrowser *)calloc(1, sizeof(FakeBrowser));
    b->IWebBrowser2_iface.lpVtbl = &g_browserVtbl;
    b->IServiceProvider_iface.lpVtbl = &g_browserSpVtbl;
    b->IConnectionPointContainer_iface.lpVtbl = &g_cpcVtbl;
    b->IConnectionPoint_iface.lpVtbl = &g_cpVtbl;
    b->refs = 1;
    b->serviceApp = b;
    b->topLevel = VARIANT_TRUE;
    b->topLevelHr = S_OK;
    b->locationHr = S_OK;
    b->navigateHr = S_OK;
    return b;
}

void FakeBrowser_Release(FakeBrowser *b) { Browser_ReleaseImpl(b); }

HRESULT FakeBrowser_Fire(FakeBrowser *b, DISPID id, IDispatch *frame, const wchar_t *url, BOOL byRef) {
    VARIANT args[2];
    VARIANT urlValue;
    DISPPARAMS params;
    HRESULT hr;
    if (!b->sink) return E_UNEXPECTED;
    VariantInit(&urlValue);
    V_VT(&urlValue) = VT_BSTR;
    V_BSTR(&urlValue) = SysAllocString(url);
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    if (byRef) {
        V_VT(&args[0]) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&args[0]) = &urlValue;
    } else {
        V_VT(&args[0]) = VT_BSTR;
        V_BSTR(&args[0]) = V_BSTR(&urlValue);
    }
    V_VT(&args[1]) = VT_DISPATCH;
    V_DISPATCH(&args[1]) = frame;
    params.rgvarg = args;
    params.rgdispidNamedArgs = NULL;
    params.cArgs = 2;
    params.cNamedArgs = 0;
    hr = IDispatch_Invoke(b->sink, id, &IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, NULL, NULL,
                          NULL);
    VariantClear(&urlValue);
    return hr;
}

/* ---- client site ---- */

static HRESULT Site_QI(FakeSite *s, REFIID riid, void **out) {
    if (!out) return E_POINTER;
    *out = NULL;
    if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IOleClientSite)) {
        *out = &s->IOleClientSite_iface;
    } else if (IsEqualIID(riid, &IID_IServiceProvider) && s->hasServiceProvider) {
        *out = &s->IServiceProvider_iface;
    } else if (IsEqualIID(riid, &IID_IOleWindow) && s->hasWindow) {
        *out = &s->IOleWindow_iface;
    } else {
        return E_NOINTERFACE;
    }
    InterlockedIncrement(&s->refs);
    return S_OK;
}

static ULONG Site_ReleaseImpl(FakeSite *s) {
    LONG n = InterlockedDecrement(&s->refs);
    if (n == 0) {
        free(s);
    }
    return n;
}

#define SITE(iface) IMPL(FakeSite, IOleClientSite_iface, iface)
#define SITE_SP(iface) IMPL(FakeSite, IServiceProvider_iface, iface)
#define SITE_WIN(iface) IMPL(FakeSite, IOleWindow_iface, iface)

static HRESULT STDMETHODCALLTYPE Site_QueryInterface(IOleClientSite *This, REFIID riid, void **out) {
    return Site_QI(SITE(This), riid, out);
}
static ULONG STDMETHODCALLTYPE Site_AddRef(IOleClientSite *This) {
    return InterlockedIncrement(&SITE(This)->refs);
}
static ULONG STDMETHODCALLTYPE Site_Release(IOleClientSite *This) { return Site_ReleaseImpl(SITE(This)); }
static HRESULT STDMETHODCALLTYPE Site_GetMoniker(IOleClientSite *This, DWORD assign, DWORD which,
                                                 IMoniker **out) {
    FakeSite *s = SITE(This);
    if (!out) return E_POINTER;
    *out = NULL;
    if (assign != OLEGETMONIKER_TEMPFORUSER || which != OLEWHICHMK_CONTAINER || !s->moniker) return E_FAIL;
    *out = s->moniker;
    IMoniker_AddRef(s->moniker);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE SiteSp_QueryInterface(IServiceProvider *This, REFIID riid, void **out) {
    return Site_QI(SITE_SP(This), riid, out);
}
static ULONG STDMETHODCALLTYPE SiteSp_AddRef(IServiceProvider *This) {
    return InterlockedIncrement(&SITE_SP(This)->refs);
}
static ULONG STDMETHODCALLTYPE SiteSp_Release(IServiceProvider *This) {
    return Site_ReleaseImpl(SITE_SP(This));
}
static HRESULT STDMETHODCALLTYPE SiteSp_QueryService(IServiceProvider *This, REFGUID sid, REFIID riid,
                                                     void **out) {
    FakeSite *s = SITE_SP(This);
    if (!out) return E_POINTER;
    *out = NULL;
    if (IsEqualGUID(sid, &SID_STopLevelBrowser) && s->topLevel) return Browser_QI(s->topLevel, riid, out);
    if (IsEqualGUID(sid, &SID_SWebBrowserApp) && s->app) return Browser_QI(s->app, riid, out);
    return E_NOINTERFACE;
}

static HRESULT STDMETHODCALLTYPE SiteWin_QueryInterface(IOleWindow *This, REFIID riid, void **out) {
    return Site_QI(SITE_WIN(This), riid, out);
}
static ULONG STDMETHODCALLTYPE SiteWin_AddRef(IOleWindow *This) {
    return InterlockedIncrement(&SITE_WIN(This)->refs);
}
static ULONG STDMETHODCALLTYPE SiteWin_Release(IOleWindow *This) { return Site_ReleaseImpl(SITE_WIN(This)); }
static HRESULT STDMETHODCALLTYPE SiteWin_GetWindow(IOleWindow *This, HWND *out) {
    if (!out) return E_POINTER;
    *out = SITE_WIN(This)->window;
    return *out ? S_OK : E_FAIL;
}

static IOleClientSiteVtbl g_siteVtbl;
static IServiceProviderVtbl g_siteSpVtbl;
static IOleWindowVtbl g_siteWinVtbl;

FakeSite *FakeSite_Create(void) {
    if (!g_siteVtbl.QueryInterface) {
        FillStubs(&g_siteVtbl, sizeof(g_siteVtbl));
        g_siteVtbl.QueryInterface = Site_QueryInterface;
        g_siteVtbl.AddRef = Site_AddRef;
        g_siteVtbl.Release = Site_Release;
        g_siteVtbl.GetMoniker = Site_GetMoniker;
        FillStubs(&g_siteSpVtbl, sizeof(g_siteSpVtbl));
        g_siteSpVtbl.QueryInterface = SiteSp_QueryInterface;
        g_siteSpVtbl.AddRef = SiteSp_AddRef;
        g_siteSpVtbl.Release = SiteSp_Release;
        g_siteSpVtbl.QueryService = SiteSp_QueryService;
        FillStubs(&g_siteWinVtbl, sizeof(g_siteWinVtbl));
        g_siteWinVtbl.QueryInterface = SiteWin_QueryInterface;
        g_siteWinVtbl.AddRef = SiteWin_AddRef;
        g_siteWinVtbl.Release = SiteWin_Release;
        g_siteWinVtbl.GetWindow = SiteWin_GetWindow;
    }
    FakeSite *s = (FakeSite *)calloc(1, sizeof(FakeSite));
    s->IOleClientSite_iface.lpVtbl = &g_siteVtbl;
    s->IServiceProvider_iface.lpVtbl = &g_siteSpVtbl;
    s->IOleWindow_iface.lpVtbl = &g_siteWinVtbl;
    s->refs = 1;
    s->hasServiceProvider = TRUE;
    return s;
}

void FakeSite_Release(FakeSite *s) { Site_ReleaseImpl(s); }

/* ---- single-interface objects: document, moniker, event sink ----
 * Each starts with its interface and its reference count, so they share IUnknown. */

typedef struct SimpleObject {
    void *lpVtbl;
    LONG refs;
} SimpleObject;

static HRESULT SimpleQI(void *self, REFIID riid, const IID *a, const IID *b, const IID *c, void **out) {
    if (!out) return E_POINTER;
    *out = NULL;
    if (!IsEqualIID(riid, &IID_IUnknown) && !(a && IsEqualIID(riid, a)) && !(b && IsEqualIID(riid, b)) &&
        !(c && IsEqualIID(riid, c))) {
        return E_NOINTERFACE;
    }
    *out = self;
    InterlockedIncrement(&((SimpleObject *)self)->refs);
    return S_OK;
}
static ULONG STDMETHODCALLTYPE Simple_AddRef(void *self) {
    return InterlockedIncrement(&((SimpleObject *)self)->refs);
}
static ULONG STDMETHODCALLTYPE Simple_Release(void *self) {
    LONG n = InterlockedDecrement(&((SimpleObject *)self)->refs);
    if (n == 0) free(self);
    return n;
}

static void *SimpleCreate(size_t size, void *vtbl) {
    SimpleObject *o = (SimpleObject *)calloc(1, size);
    o->lpVtbl = vtbl;
    o->refs = 1;
    return o;
}

static void InitSimpleVtbl(void *vtbl, size_t size, void *qi) {
    void **slot = (void **)vtbl;
    FillStubs(vtbl, size);
    slot[0] = qi;
    slot[1] = (void *)Simple_AddRef;
    slot[2] = (void *)Simple_Release;
}

#define DOC(iface) IMPL(FakeDocument, IHTMLDocument2_iface, iface)

static HRESULT STDMETHODCALLTYPE Doc_QueryInterface(IHTMLDocument2 *This, REFIID riid, void **out) {
    return SimpleQI(This, riid, &IID_IDispatch, &IID_IHTMLDocument, &IID_IHTMLDocument2, out);
}
static HRESULT STDMETHODCALLTYPE Doc_get_URL(IHTMLDocument2 *This, BSTR *out) {
    FakeDocument *d = DOC(This);
    if (!out) return E_POINTER;
    *out = NULL;
    if (!d->url) return E_FAIL;
    *out = SysAllocString(d->url);
    return S_OK;
}

static IHTMLDocument2Vtbl g_docVtbl;

FakeDocument *FakeDocument_Create(const wchar_t *url) {
    if (!g_docVtbl.QueryInterface) {
        InitSimpleVtbl(&g_docVtbl, sizeof(g_docVtbl), (void *)Doc_QueryInterface);
        g_docVtbl.get_URL = Doc_get_URL;
    }
    FakeDocument *d = (FakeDocument *)SimpleCreate(sizeof(FakeDocument), &g_docVtbl);
    d->url = url;
    return d;
}

void FakeDocument_Release(FakeDocument *d) { Simple_Release(d); }

#define MONIKER(iface) IMPL(FakeMoniker, IMoniker_iface, iface)

static HRESULT STDMETHODCALLTYPE Mk_QueryInterface(IMoniker *This, REFIID riid, void **out) {
    return SimpleQI(This, riid, &IID_IMoniker, NULL, NULL, out);
}
static HRESULT STDMETHODCALLTYPE Mk_GetDisplayName(IMoniker *This, IBindCtx *ctx, IMoniker *left,
                                                   LPOLESTR *out) {
    FakeMoniker *m = MONIKER(This);
    size_t bytes;
    if (!out) return E_POINTER;
    *out = NULL;
    if (ctx || left || !m->name) return E_FAIL;
    bytes = (wcslen(m->name) + 1) * sizeof(wchar_t);
    *out = (LPOLESTR)CoTaskMemAlloc(bytes);
    memcpy(*out, m->name, bytes);
    return S_OK;
}

static IMonikerVtbl g_monikerVtbl;

FakeMoniker *FakeMoniker_Create(const wchar_t *name) {
    if (!g_monikerVtbl.QueryInterface) {
        InitSimpleVtbl(&g_monikerVtbl, sizeof(g_monikerVtbl), (void *)Mk_QueryInterface);
        g_monikerVtbl.GetDisplayName = Mk_GetDisplayName;
    }
    FakeMoniker *m = (FakeMoniker *)SimpleCreate(sizeof(FakeMoniker), &g_monikerVtbl);
    m->name = name;
    return m;
}

void FakeMoniker_Release(FakeMoniker *m) { Simple_Release(m); }

#define SINK(iface) IMPL(FakeEventSink, IDispatch_iface, iface)

static HRESULT STDMETHODCALLTYPE Sink_QueryInterface(IDispatch *This, REFIID riid, void **out) {
    return SimpleQI(This, riid, &IID_IDispatch, SINK(This)->iid, NULL, out);
}
static HRESULT STDMETHODCALLTYPE Sink_Invoke(IDispatch *This, DISPID id, REFIID riid, LCID lcid, WORD flags,
                                             DISPPARAMS *params, VARIANT *result, EXCEPINFO *info,
                                             UINT *argErr) {
    FakeEventSink *s = SINK(This);
    (void)riid;
    (void)lcid;
    (void)result;
    (void)info;
    (void)argErr;
    if (flags != DISPATCH_METHOD || !params || params->cArgs != 1 || params->cNamedArgs != 0)
        return E_INVALIDARG;
    if (V_VT(&params->rgvarg[0]) != VT_BSTR) return DISP_E_TYPEMISMATCH;
    s->count++;
    s->lastId = id;
    CopyText(s->lastUrl, 256, V_BSTR(&params->rgvarg[0]));
    if (s->onEvent) {
        void (*fn)(FakeEventSink *, void *) = s->onEvent;
        s->onEvent = NULL;
        fn(s, s->context);
    }
    return S_OK;
}

static IDispatchVtbl g_sinkVtbl;

FakeEventSink *FakeEventSink_Create(const IID *iid) {
    if (!g_sinkVtbl.QueryInterface) {
        InitSimpleVtbl(&g_sinkVtbl, sizeof(g_sinkVtbl), (void *)Sink_QueryInterface);
        g_sinkVtbl.Invoke = Sink_Invoke;
    }
    FakeEventSink *s = (FakeEventSink *)SimpleCreate(sizeof(FakeEventSink), &g_sinkVtbl);
    s->iid = iid;
    return s;
}

void FakeEventSink_Release(FakeEventSink *s) { Simple_Release(s); }

IWebBrowser2 *FakeBrowser_Browser(FakeBrowser *b) { return &b->IWebBrowser2_iface; }
IOleClientSite *FakeSite_Site(FakeSite *s) { return &s->IOleClientSite_iface; }
IDispatch *FakeDocument_Dispatch(FakeDocument *d) { return (IDispatch *)&d->IHTMLDocument2_iface; }
IMoniker *FakeMoniker_Moniker(FakeMoniker *m) { return &m->IMoniker_iface; }
IDispatch *FakeEventSink_Dispatch(FakeEventSink *s) { return &s->IDispatch_iface; }
