/* Hand-made COM objects that stand in for the browser around the control: a client site (with
 * IServiceProvider and IOleWindow), a browser application with its event connection point, a document and a
 * moniker. Plain C with COBJMACROS; every vtable slot answers E_NOTIMPL unless a test needs it. Each object
 * is created with one reference owned by the test; pointers in the public fields do not own (the test keeps
 * those objects alive); the public fields steer what it answers and record what the control did to it. */
#ifndef TARNEL_TESTS_FAKES_H
#define TARNEL_TESTS_FAKES_H

#include <windows.h>

#include <exdisp.h>
#include <mshtml.h>
#include <ocidl.h>
#include <oleidl.h>
#include <servprov.h>

#ifdef __cplusplus
extern "C" {
/* C++ sees the interfaces as abstract classes; the layout is the same one vtable pointer. */
#define FAKE_IFACE(type, name) \
    struct {                   \
        void *lpVtbl;          \
    } name
#else
#define FAKE_IFACE(type, name) type name
#endif

typedef struct FakeBrowser {
    FAKE_IFACE(IWebBrowser2, IWebBrowser2_iface);
    FAKE_IFACE(IServiceProvider, IServiceProvider_iface);
    FAKE_IFACE(IConnectionPointContainer, IConnectionPointContainer_iface);
    FAKE_IFACE(IConnectionPoint, IConnectionPoint_iface);
    LONG refs;
    /* answers */
    struct FakeBrowser
        *serviceApp;  /* SID_SWebBrowserApp through this object's service provider; NULL: fail */
    IDispatch *outer; /* the "OuterWebBrowser" property (VT_DISPATCH); NULL: GetProperty fails */
    HRESULT topLevelHr;
    VARIANT_BOOL topLevel;
    IDispatch *document; /* get_Document; NULL: E_FAIL */
    const wchar_t *locationUrl;
    HRESULT locationHr;
    HRESULT navigateHr;
    BOOL fireOnUnadvise; /* once: a DocumentComplete to the sink from inside Unadvise, before it is dropped */
    /* records */
    wchar_t navigated[256];
    VARTYPE navigatedType;
    int navigateCount;
    IDispatch *sink; /* the advised DWebBrowserEvents2 sink */
    int adviseCount;
    int unadviseCount;
} FakeBrowser;

typedef struct FakeSite {
    FAKE_IFACE(IOleClientSite, IOleClientSite_iface);
    FAKE_IFACE(IServiceProvider, IServiceProvider_iface);
    FAKE_IFACE(IOleWindow, IOleWindow_iface);
    LONG refs;
    BOOL hasServiceProvider; /* TRUE by default */
    FakeBrowser *topLevel;   /* SID_STopLevelBrowser answer (its IServiceProvider); NULL: fail */
    FakeBrowser *app;        /* SID_SWebBrowserApp answer of the site itself; NULL: fail */
    IMoniker *moniker;       /* container moniker; NULL: fail */
    BOOL hasWindow;
    HWND window;
} FakeSite;

typedef struct FakeDocument {
    FAKE_IFACE(IHTMLDocument2, IHTMLDocument2_iface);
    LONG refs;
    const wchar_t *url; /* NULL: get_URL fails */
} FakeDocument;

typedef struct FakeMoniker {
    FAKE_IFACE(IMoniker, IMoniker_iface);
    LONG refs;
    const wchar_t *name; /* NULL: GetDisplayName fails */
} FakeMoniker;

FakeBrowser *FakeBrowser_Create(void);
FakeSite *FakeSite_Create(void);
FakeDocument *FakeDocument_Create(const wchar_t *url);
FakeMoniker *FakeMoniker_Create(const wchar_t *name);

void FakeBrowser_Release(FakeBrowser *b);
IWebBrowser2 *FakeBrowser_Browser(FakeBrowser *b);
IOleClientSite *FakeSite_Site(FakeSite *s);
IDispatch *FakeDocument_Dispatch(FakeDocument *d);
IMoniker *FakeMoniker_Moniker(FakeMoniker *m);
void FakeSite_Release(FakeSite *s);
void FakeDocument_Release(FakeDocument *d);
void FakeMoniker_Release(FakeMoniker *m);

/* Sends one browser event (NavigateComplete2 252, DocumentComplete 259) to the advised sink the way the
 * browser does: rgvarg[1] the frame's browser, rgvarg[0] the URL, either by reference (VT_VARIANT|VT_BYREF to
 * a VT_BSTR) or as a plain VT_BSTR. Returns the sink's answer, or E_UNEXPECTED without a sink. */
HRESULT FakeBrowser_Fire(FakeBrowser *b, DISPID id, IDispatch *frame, const wchar_t *url, BOOL byRef);

/* A recording sink for the control's own events (_IBrowserHelperAxEvents): DISPID and URL of each call. */
typedef struct FakeEventSink {
    FAKE_IFACE(IDispatch, IDispatch_iface);
    LONG refs;
    const IID *iid; /* the interface it answers besides IUnknown and IDispatch */
    int count;
    DISPID lastId;
    wchar_t lastUrl[256];
    /* Called once from inside an event, if set (a sink that unadvises itself). */
    void (*onEvent)(struct FakeEventSink *self, void *context);
    void *context;
} FakeEventSink;

FakeEventSink *FakeEventSink_Create(const IID *iid);
void FakeEventSink_Release(FakeEventSink *s);
IDispatch *FakeEventSink_Dispatch(FakeEventSink *s);

#ifdef __cplusplus
}
#endif

#endif
