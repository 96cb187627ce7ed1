// The control against fake browsers: interfaces, every method before and after a site, the attach rules,
// browser events turned into the control's events, connection points, safety, class info and Invoke.
#include "browserctl/browser_helper_ax.h"

#include <gtest/gtest.h>
#include <olectl.h>
#include <windows.h>

#include <optional>
#include <string>

#include "browserctl/option_store.h"
#include "fakes.h"

namespace tarnel {
namespace {

constexpr wchar_t kIeKey[] = L"Software\\Microsoft\\Internet Explorer";

ComPtr<IBrowserHelperAx> NewControl() {
    ComPtr<IBrowserHelperAx> control;
    EXPECT_EQ(CBrowserHelperAx::CreateInstance(IID_IBrowserHelperAx, control.PutVoid()), S_OK);
    return control;
}

CBrowserHelperAx* Impl(const ComPtr<IBrowserHelperAx>& control) {
    return static_cast<CBrowserHelperAx*>(control.Get());
}

HRESULT SetSite(const ComPtr<IBrowserHelperAx>& control, IOleClientSite* site) {
    ComPtr<IOleObject> ole;
    EXPECT_EQ(control.As(ole), S_OK);
    return ole->SetClientSite(site);
}

// A top-level browser, its document and a site that leads to both.
struct Host {
    FakeBrowser* browser = FakeBrowser_Create();
    FakeDocument* document = FakeDocument_Create(L"http://www.pexlo.jp/page.html");
    FakeSite* site = FakeSite_Create();
    Host() {
        site->topLevel = browser;
        site->app = browser;
        browser->document = FakeDocument_Dispatch(document);
    }
    ~Host() {
        FakeSite_Release(site);
        FakeBrowser_Release(browser);
        FakeDocument_Release(document);
    }
    IOleClientSite* Site() const { return FakeSite_Site(site); }
};

// Sets or removes one value of the browser's registry key for a scope, restoring what was there.
class BrowserVersionValue {
public:
    BrowserVersionValue(const wchar_t* name, const wchar_t* value) : name_(name) {
        wchar_t buffer[MAX_PATH];
        DWORD size = sizeof(buffer);
        if (RegGetValueW(HKEY_LOCAL_MACHINE, kIeKey, name, RRF_RT_REG_SZ, nullptr, buffer, &size) ==
            ERROR_SUCCESS) {
            saved_ = buffer;
        }
        Put(value);
    }
    ~BrowserVersionValue() { Put(saved_ ? saved_->c_str() : nullptr); }

private:
    void Put(const wchar_t* value) {
        if (value) {
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, kIeKey, name_, REG_SZ, value,
                            static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
        } else {
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kIeKey, name_);
        }
    }
    const wchar_t* name_;
    std::optional<std::wstring> saved_;
};

TEST(BrowserHelperAx, AnswersExactlyItsInterfaces) {
    ComPtr<IBrowserHelperAx> control = NewControl();
    const struct {
        const char* name;
        const IID& iid;
        bool answered;
    } cases[] = {
        {"IUnknown", IID_IUnknown, true},
        {"IDispatch", IID_IDispatch, true},
        {"IBrowserHelperAx", IID_IBrowserHelperAx, true},
        {"IConnectionPointContainer", IID_IConnectionPointContainer, true},
        {"IObjectSafety", IID_IObjectSafety, true},
        {"IOleObject", IID_IOleObject, true},
        {"IProvideClassInfo2", IID_IProvideClassInfo2, true},
        {"IProvideClassInfo", IID_IProvideClassInfo, true},
        {"IObjectWithSite", IID_IObjectWithSite, false},
        {"IPersist", IID_IPersist, false},
        {"IOleControl", IID_IOleControl, false},
        {"IViewObject", IID_IViewObject, false},
        {"IMarshal", IID_IMarshal, false},
        {"events", DIID__IBrowserHelperAxEvents, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ComPtr<IUnknown> p;
        HRESULT hr = control->QueryInterface(c.iid, p.PutVoid());
        EXPECT_EQ(hr, c.answered ? S_OK : E_NOINTERFACE);
        EXPECT_EQ(p.Get() != nullptr, c.answered);
    }
    ComPtr<IDispatch> disp;
    ASSERT_EQ(control->QueryInterface(IID_IDispatch, disp.PutVoid()), S_OK);
    EXPECT_EQ(static_cast<void*>(disp.Get()), static_cast<void*>(control.Get()));
}

TEST(BrowserHelperAx, MethodsWithoutSite) {
    ComPtr<IBrowserHelperAx> control = NewControl();
    BStr version;
    EXPECT_EQ(control->GetVersion(version.Put()), S_OK);
    EXPECT_STREQ(version.CStr(), L"2, 7, 1, 7");
    EXPECT_EQ(control->GetVersion(nullptr), E_INVALIDARG);

    BStr url(L"http://www.pexlo.jp/");
    EXPECT_EQ(control->Navigate(url.Get()), E_FAIL);
    BStr location;
    EXPECT_EQ(control->GetLocationURL(nullptr), E_INVALIDARG);
    EXPECT_EQ(control->GetLocationURL(location.Put()), E_FAIL);

    IDispatch* app = nullptr;
    EXPECT_EQ(control->GetApplication(nullptr), E_INVALIDARG);
    EXPECT_EQ(control->GetApplication(&app), E_FAIL);
    IDispatch* held = reinterpret_cast<IDispatch*>(control.Get());
    EXPECT_EQ(control->GetApplication(&held), E_INVALIDARG);
    EXPECT_EQ(held, reinterpret_cast<IDispatch*>(control.Get()));

    VARIANT_BOOL visible = VARIANT_TRUE;
    EXPECT_EQ(control->get_Visible(&visible), S_OK);
    EXPECT_EQ(visible, VARIANT_FALSE);
    EXPECT_EQ(control->get_Visible(nullptr), E_POINTER);
    EXPECT_EQ(control->GetOptions(url.Get(), nullptr), E_POINTER);
}

TEST(BrowserHelperAx, MethodsWithSite) {
    Host host;
    host.browser->locationUrl = L"http://www.pexlo.jp/now.html";
    ComPtr<IBrowserHelperAx> control = NewControl();
    EXPECT_EQ(SetSite(control, host.Site()), S_OK);
    ASSERT_TRUE(Impl(control)->AttachedBrowser());

    BStr url(L"http://www.pexlo.jp/next.html");
    EXPECT_EQ(control->Navigate(url.Get()), S_OK);
    EXPECT_STREQ(host.browser->navigated, L"http://www.pexlo.jp/next.html");
    EXPECT_EQ(host.browser->navigatedType, VT_BSTR);
    host.browser->navigateHr = E_ACCESSDENIED;
    EXPECT_EQ(control->Navigate(url.Get()), E_ACCESSDENIED);

    BStr location;
    EXPECT_EQ(control->GetLocationURL(location.Put()), S_OK);
    EXPECT_STREQ(location.CStr(), L"http://www.pexlo.jp/now.html");
    host.browser->locationUrl = L"";
    EXPECT_EQ(control->GetLocationURL(location.Put()), S_OK);
    EXPECT_EQ(location.Get(), nullptr);
    host.browser->locationHr = E_UNEXPECTED;
    EXPECT_EQ(control->GetLocationURL(location.Put()), E_FAIL);

    IDispatch* app = nullptr;
    LONG before = host.browser->refs;
    EXPECT_EQ(control->GetApplication(&app), S_OK);
    EXPECT_TRUE(SameObject(app, FakeBrowser_Browser(host.browser)));
    EXPECT_EQ(host.browser->refs, before + 1);
    app->Release();

    VARIANT_BOOL visible = VARIANT_TRUE;
    EXPECT_EQ(control->get_Visible(&visible), S_OK);  // the site has no window
    EXPECT_EQ(visible, VARIANT_FALSE);
}

TEST(BrowserHelperAx, ChoosesTheBrowserToAttach) {
    enum Expect { kNone, kApp, kOuter };
    const struct {
        const char* name;
        bool outer;
        HRESULT topLevelHr;
        VARIANT_BOOL topLevel;
        const wchar_t* svcVersion;  // nullptr: value absent
        const wchar_t* version;
        bool siteServices;
        bool appService;
        Expect expect;
    } cases[] = {
        {"outer browser", true, S_OK, VARIANT_FALSE, L"11.0", L"9.11.1", true, true, kOuter},
        {"top-level container", false, S_OK, VARIANT_TRUE, L"11.0", L"9.11.1", true, true, kApp},
        {"modern browser, inner container", false, S_OK, VARIANT_FALSE, L"11.0", L"9.11.1", true, true,
         kNone},
        {"old service version", false, S_OK, VARIANT_FALSE, L"6.0", L"9.11.1", true, true, kApp},
        {"old version, no service version", false, S_OK, VARIANT_FALSE, nullptr, L"6.0.2900", true, true,
         kApp},
        {"version with two dots is 7.1", false, S_OK, VARIANT_FALSE, L"7.1.5", nullptr, true, true, kNone},
        {"no version at all", false, S_OK, VARIANT_FALSE, nullptr, nullptr, true, true, kApp},
        {"container query fails", false, E_FAIL, VARIANT_TRUE, L"6.0", nullptr, true, true, kNone},
        {"site without services", false, S_OK, VARIANT_TRUE, L"11.0", nullptr, false, true, kNone},
        {"no browser application", true, S_OK, VARIANT_TRUE, L"11.0", nullptr, true, false, kNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BrowserVersionValue svc(L"svcVersion", c.svcVersion);
        BrowserVersionValue ver(L"Version", c.version);
        Host host;
        FakeBrowser* outer = FakeBrowser_Create();
        if (c.outer) host.browser->outer = reinterpret_cast<IDispatch*>(FakeBrowser_Browser(outer));
        host.browser->topLevelHr = c.topLevelHr;
        host.browser->topLevel = c.topLevel;
        host.site->hasServiceProvider = c.siteServices;
        host.browser->serviceApp = c.appService ? host.browser : nullptr;
        {
            ComPtr<IBrowserHelperAx> control = NewControl();
            EXPECT_EQ(SetSite(control, host.Site()), S_OK);
            IWebBrowser2* attached = Impl(control)->AttachedBrowser();
            IWebBrowser2* expected = c.expect == kApp     ? FakeBrowser_Browser(host.browser)
                                     : c.expect == kOuter ? FakeBrowser_Browser(outer)
                                                          : nullptr;
            EXPECT_TRUE(SameObject(attached, expected));
            EXPECT_EQ(host.browser->adviseCount, c.expect == kApp ? 1 : 0);
            EXPECT_EQ(outer->adviseCount, c.expect == kOuter ? 1 : 0);
        }
        // Released with the control: no reference left behind, every advise undone.
        EXPECT_EQ(host.browser->refs, 1);
        EXPECT_EQ(outer->refs, 1);
        EXPECT_EQ(host.site->refs, 1);
        EXPECT_EQ(host.browser->sink, nullptr);
        EXPECT_EQ(outer->sink, nullptr);
        FakeBrowser_Release(outer);
    }
}

TEST(BrowserHelperAx, SiteReplacementAndRelease) {
    Host first, second;
    ComPtr<IBrowserHelperAx> control = NewControl();
    EXPECT_EQ(SetSite(control, first.Site()), S_OK);
    EXPECT_EQ(first.site->refs, 2);  // the control holds its site
    EXPECT_EQ(first.browser->adviseCount, 1);

    // The same browser again is not advised twice.
    EXPECT_EQ(SetSite(control, first.Site()), S_OK);
    EXPECT_EQ(first.browser->adviseCount, 1);
    EXPECT_EQ(first.site->refs, 2);

    EXPECT_EQ(SetSite(control, second.Site()), S_OK);
    EXPECT_EQ(first.site->refs, 1);
    EXPECT_EQ(first.browser->unadviseCount, 1);
    EXPECT_EQ(first.browser->refs, 1);
    EXPECT_TRUE(SameObject(Impl(control)->AttachedBrowser(), FakeBrowser_Browser(second.browser)));

    // A site that leads nowhere keeps the previous browser.
    FakeSite* empty = FakeSite_Create();
    EXPECT_EQ(SetSite(control, FakeSite_Site(empty)), S_OK);
    EXPECT_TRUE(SameObject(Impl(control)->AttachedBrowser(), FakeBrowser_Browser(second.browser)));
    EXPECT_EQ(second.site->refs, 1);
    EXPECT_EQ(empty->refs, 2);

    EXPECT_EQ(SetSite(control, nullptr), S_OK);
    EXPECT_EQ(empty->refs, 1);
    EXPECT_EQ(Impl(control)->AttachedBrowser(), nullptr);
    EXPECT_EQ(second.browser->unadviseCount, 1);
    EXPECT_EQ(second.browser->refs, 1);
    FakeSite_Release(empty);
}

struct Recorder {
    FakeEventSink* sink = FakeEventSink_Create(&DIID__IBrowserHelperAxEvents);
    ~Recorder() { FakeEventSink_Release(sink); }
};

DWORD Advise(const ComPtr<IBrowserHelperAx>& control, FakeEventSink* sink) {
    ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(control.As(container), S_OK);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(DIID__IBrowserHelperAxEvents, point.Put()), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(reinterpret_cast<IUnknown*>(FakeEventSink_Dispatch(sink)), &cookie), S_OK);
    return cookie;
}

TEST(BrowserHelperAx, BrowserEventsBecomeControlEvents) {
    Host host;
    FakeBrowser* frame = FakeBrowser_Create();
    Recorder recorder;
    ComPtr<IBrowserHelperAx> control = NewControl();
    ASSERT_EQ(SetSite(control, host.Site()), S_OK);
    Advise(control, recorder.sink);
    IDispatch* top = reinterpret_cast<IDispatch*>(FakeBrowser_Browser(host.browser));
    IDispatch* inner = reinterpret_cast<IDispatch*>(FakeBrowser_Browser(frame));

    const struct {
        const char* name;
        DISPID browserEvent;
        IDispatch* source;
        BOOL byRef;
        int count;
        DISPID fired;
    } cases[] = {
        {"document complete, by reference", 259, top, TRUE, 1, 2},
        {"document complete, plain string", 259, top, FALSE, 2, 2},
        {"navigate complete, by reference", 252, top, TRUE, 3, 1},
        {"navigate complete, plain string", 252, top, FALSE, 4, 1},
        {"frame document", 259, inner, TRUE, 4, 1},
        {"frame navigation", 252, inner, FALSE, 4, 1},
        {"before navigate", 250, top, TRUE, 4, 1},
        {"download complete", 104, top, TRUE, 4, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring url = std::wstring(L"http://www.pexlo.jp/") + std::to_wstring(c.browserEvent);
        EXPECT_EQ(FakeBrowser_Fire(host.browser, c.browserEvent, c.source, url.c_str(), c.byRef), S_OK);
        EXPECT_EQ(recorder.sink->count, c.count);
        EXPECT_EQ(recorder.sink->lastId, c.fired);
        if (c.source == top && (c.browserEvent == 259 || c.browserEvent == 252)) {
            EXPECT_STREQ(recorder.sink->lastUrl, url.c_str());
        }
    }

    // Late events, after the control is gone, reach a sink without an owner and do nothing.
    ComPtr<IDispatch> browserSink(static_cast<IDispatch*>(Impl(control)->BrowserEventSink()));
    control.Reset();
    EXPECT_EQ(host.browser->sink, nullptr);
    VARIANT args[2];
    V_VT(&args[0]) = VT_BSTR;
    BStr late(L"http://www.pexlo.jp/late");
    V_BSTR(&args[0]) = late.Get();
    V_VT(&args[1]) = VT_DISPATCH;
    V_DISPATCH(&args[1]) = top;
    DISPPARAMS params{args, nullptr, 2, 0};
    EXPECT_EQ(browserSink->Invoke(259, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(recorder.sink->count, 4);
    FakeBrowser_Release(frame);
}

// Without an attached browser, an event that names no browser is the control's own and is raised; one that
// names a browser is not. The page passes the site check, but its site leads to no top-level browser.
TEST(BrowserHelperAx, EventsWithoutAnyBrowser) {
    Host host;
    host.site->topLevel = nullptr;
    Recorder recorder;
    ComPtr<IBrowserHelperAx> control = NewControl();
    ASSERT_EQ(SetSite(control, host.Site()), S_OK);
    Advise(control, recorder.sink);
    ASSERT_EQ(Impl(control)->AttachedBrowser(), nullptr);
    IDispatch* browserSink = Impl(control)->BrowserEventSink();
    FakeBrowser* frame = FakeBrowser_Create();
    const struct {
        const char* name;
        DISPID browserEvent;
        VARTYPE frameType;
        IDispatch* frame;
        int count;
        DISPID fired;
    } cases[] = {
        {"document, null browser", 259, VT_DISPATCH, nullptr, 1, 2},
        {"navigation, null browser", 252, VT_DISPATCH, nullptr, 2, 1},
        {"document, empty argument", 259, VT_EMPTY, nullptr, 3, 2},
        {"document of a browser", 259, VT_DISPATCH, reinterpret_cast<IDispatch*>(FakeBrowser_Browser(frame)),
         3, 2},
        {"navigation of a browser", 252, VT_DISPATCH,
         reinterpret_cast<IDispatch*>(FakeBrowser_Browser(frame)), 3, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BStr url(L"http://www.pexlo.jp/alone");
        VARIANT args[2];
        V_VT(&args[0]) = VT_BSTR;
        V_BSTR(&args[0]) = url.Get();
        V_VT(&args[1]) = c.frameType;
        V_DISPATCH(&args[1]) = c.frame;
        DISPPARAMS params{args, nullptr, 2, 0};
        EXPECT_EQ(browserSink->Invoke(c.browserEvent, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr,
                                      nullptr),
                  S_OK);
        EXPECT_EQ(recorder.sink->count, c.count);
        EXPECT_EQ(recorder.sink->lastId, c.fired);
        if (c.count > 0) {
            EXPECT_STREQ(recorder.sink->lastUrl, L"http://www.pexlo.jp/alone");
        }
    }
    control.Reset();
    EXPECT_EQ(frame->refs, 1);
    FakeBrowser_Release(frame);
}

// A page the site check refuses learns nothing of where the browser goes; the check is made at every event,
// so a page that passes later, or a sink advised before the site is set, gets the events from then on.
TEST(BrowserHelperAx, EventsOnlyReachPagesThatPassTheSiteCheck) {
    Host host;
    host.document->url = L"http://evil.com/";
    Recorder early, late;
    ComPtr<IBrowserHelperAx> control = NewControl();
    Advise(control, early.sink);  // before the site is set
    ASSERT_EQ(SetSite(control, host.Site()), S_OK);
    Advise(control, late.sink);
    IDispatch* top = reinterpret_cast<IDispatch*>(FakeBrowser_Browser(host.browser));

    const struct {
        const char* name;
        const wchar_t* page;  // the hosting document's address; nullptr: no document
        DISPID browserEvent;
        int count;  // events each sink has received after this step
    } steps[] = {
        {"refused page, document", L"http://evil.com/", 259, 0},
        {"refused page, navigation", L"http://evil.com/", 252, 0},
        {"look-alike host", L"http://www.pexlo.jp.evil.com/", 259, 0},
        {"no page address", nullptr, 259, 0},
        {"allowed page, document", L"http://www.pexlo.jp/page.html", 259, 1},
        {"allowed page, navigation", L"https://shop.pexlo.jp/", 252, 2},
        {"refused again", L"http://evil.com/", 252, 2},
        {"allowed local page", L"file:///C:/Pexlo/index.html", 259, 3},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        host.document->url = step.page;
        host.browser->document = step.page ? FakeDocument_Dispatch(host.document) : nullptr;
        EXPECT_EQ(FakeBrowser_Fire(host.browser, step.browserEvent, top,
                                   L"https://www.pexlo.jp/account?token=secret", TRUE),
                  S_OK);
        for (Recorder* r : {&early, &late}) {
            EXPECT_EQ(r->sink->count, step.count);
            if (step.count > 0) {
                EXPECT_STREQ(r->sink->lastUrl, L"https://www.pexlo.jp/account?token=secret");
            }
        }
    }
}

// A malformed DocumentComplete or NavigateComplete2 (a reference that leads nowhere, arguments missing) is
// ignored; the sink still serves the next good event.
TEST(BrowserHelperAx, MalformedBrowserEventsAreIgnored) {
    Host host;
    Recorder recorder;
    ComPtr<IBrowserHelperAx> control = NewControl();
    ASSERT_EQ(SetSite(control, host.Site()), S_OK);
    Advise(control, recorder.sink);
    IDispatch* sink = Impl(control)->BrowserEventSink();
    IDispatch* top = reinterpret_cast<IDispatch*>(FakeBrowser_Browser(host.browser));

    VARIANT nullBstrRef;
    V_VT(&nullBstrRef) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&nullBstrRef) = nullptr;
    BStr text(L"http://www.pexlo.jp/inner");
    VARIANT inner;
    V_VT(&inner) = VT_BSTR;
    V_BSTR(&inner) = text.Get();
    VARIANT innerRef;
    V_VT(&innerRef) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&innerRef) = &inner;

    struct Case {
        const char* name;
        VARTYPE vt;
        void* ref;   // the by-reference pointer (or the value's pointer)
        UINT args;   // arguments passed
        bool array;  // false: no argument array at all
    } const cases[] = {
        {"null variant reference", VT_VARIANT | VT_BYREF, nullptr, 2, true},
        {"null string reference", VT_BSTR | VT_BYREF, nullptr, 2, true},
        {"reference to a null string reference", VT_VARIANT | VT_BYREF, &nullBstrRef, 2, true},
        {"reference to a reference", VT_VARIANT | VT_BYREF, &innerRef, 2, true},
        {"null object reference", VT_DISPATCH | VT_BYREF, nullptr, 2, true},
        {"null unknown reference", VT_UNKNOWN | VT_BYREF, nullptr, 2, true},
        {"null array reference", VT_ARRAY | VT_BSTR | VT_BYREF, nullptr, 2, true},
        {"null object", VT_DISPATCH, nullptr, 2, true},
        {"null array", VT_ARRAY | VT_BSTR, nullptr, 2, true},
        {"URL only", VT_BSTR, nullptr, 1, true},
        {"no arguments", VT_BSTR, nullptr, 0, true},
        {"no argument array", VT_BSTR, nullptr, 2, false},
    };
    for (const Case& c : cases) {
        for (DISPID id : {259, 252}) {
            SCOPED_TRACE(testing::Message() << c.name << ", event " << id);
            VARIANT args[2];
            V_VT(&args[0]) = c.vt;
            V_BYREF(&args[0]) = c.ref;
            V_VT(&args[1]) = VT_DISPATCH;
            V_DISPATCH(&args[1]) = top;
            // With fewer arguments the browser argument stays last.
            VARIANT* first = c.args == 1 ? &args[1] : args;
            DISPPARAMS params{c.array ? first : nullptr, nullptr, c.args, 0};
            EXPECT_EQ(sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
                      S_OK);
            EXPECT_EQ(recorder.sink->count, 0);
        }
    }
    EXPECT_EQ(sink->Invoke(259, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(FakeBrowser_Fire(host.browser, 259, top, L"http://www.pexlo.jp/good", TRUE), S_OK);
    EXPECT_EQ(recorder.sink->count, 1);
    EXPECT_STREQ(recorder.sink->lastUrl, L"http://www.pexlo.jp/good");
}

// The browser may still call the sink while the control is being destroyed; that must not revive it.
TEST(BrowserHelperAx, EventDuringTeardownIsIgnored) {
    Host host;
    Recorder recorder;
    long locks = Module().LockCount();
    {
        ComPtr<IBrowserHelperAx> control = NewControl();
        ASSERT_EQ(SetSite(control, host.Site()), S_OK);
        Advise(control, recorder.sink);
        host.browser->fireOnUnadvise = TRUE;
    }
    EXPECT_FALSE(host.browser->fireOnUnadvise);  // the event was sent
    EXPECT_EQ(recorder.sink->count, 0);
    EXPECT_EQ(Module().LockCount(), locks);
    EXPECT_EQ(host.browser->refs, 1);
    EXPECT_EQ(recorder.sink->refs, 1);
}

void UnadviseFirst(FakeEventSink*, void* context) {
    auto* control = static_cast<IBrowserHelperAx*>(context);
    ComPtr<IConnectionPointContainer> container;
    control->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
    ComPtr<IConnectionPoint> point;
    container->FindConnectionPoint(DIID__IBrowserHelperAxEvents, point.Put());
    point->Unadvise(1);
}

TEST(BrowserHelperAx, SinkMayUnadviseDuringItsOwnEvent) {
    Host host;
    Recorder first, second;
    ComPtr<IBrowserHelperAx> control = NewControl();
    ASSERT_EQ(SetSite(control, host.Site()), S_OK);
    EXPECT_EQ(Advise(control, first.sink), 1u);
    EXPECT_EQ(Advise(control, second.sink), 2u);
    first.sink->onEvent = UnadviseFirst;
    first.sink->context = control.Get();
    IDispatch* top = reinterpret_cast<IDispatch*>(FakeBrowser_Browser(host.browser));
    FakeBrowser_Fire(host.browser, 259, top, L"http://a.pexlo.jp/", TRUE);
    EXPECT_EQ(first.sink->count, 1);
    EXPECT_EQ(second.sink->count, 1);
    EXPECT_EQ(first.sink->refs, 1);
    FakeBrowser_Fire(host.browser, 259, top, L"http://a.pexlo.jp/", TRUE);
    EXPECT_EQ(first.sink->count, 1);
    EXPECT_EQ(second.sink->count, 2);
}

TEST(BrowserHelperAx, ConnectionPoints) {
    ComPtr<IBrowserHelperAx> control = NewControl();
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(control.As(container), S_OK);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, point.Put()), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(container->FindConnectionPoint(DIID__IBrowserHelperAxEvents, nullptr), E_POINTER);
    ASSERT_EQ(container->FindConnectionPoint(DIID__IBrowserHelperAxEvents, point.Put()), S_OK);

    IID iid{};
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, DIID__IBrowserHelperAxEvents);
    ComPtr<IConnectionPointContainer> back;
    EXPECT_EQ(point->GetConnectionPointContainer(back.Put()), S_OK);
    EXPECT_TRUE(SameObject(back.Get(), control.Get()));

    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.Put()), S_OK);
    IConnectionPoint* listed[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(2, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(listed[0], point.Get());
    listed[0]->Release();

    Recorder a, b, c;
    FakeEventSink* stranger = FakeEventSink_Create(nullptr);
    DWORD cookie = 77;
    EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(cookie, 0u);
    IUnknown* ua = reinterpret_cast<IUnknown*>(FakeEventSink_Dispatch(a.sink));
    EXPECT_EQ(point->Advise(ua, nullptr), E_POINTER);
    cookie = 77;
    EXPECT_EQ(point->Advise(reinterpret_cast<IUnknown*>(FakeEventSink_Dispatch(stranger)), &cookie),
              CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(stranger->refs, 1);
    FakeEventSink_Release(stranger);

    DWORD ca = 0, cb = 0, cc = 0;
    EXPECT_EQ(point->Advise(ua, &ca), S_OK);
    EXPECT_EQ(point->Advise(reinterpret_cast<IUnknown*>(FakeEventSink_Dispatch(b.sink)), &cb), S_OK);
    EXPECT_EQ(ca, 1u);
    EXPECT_EQ(cb, 2u);
    EXPECT_EQ(point->Unadvise(ca), S_OK);
    EXPECT_EQ(a.sink->refs, 1);
    EXPECT_EQ(point->Unadvise(ca), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(99), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Advise(reinterpret_cast<IUnknown*>(FakeEventSink_Dispatch(c.sink)), &cc), S_OK);
    EXPECT_EQ(cc, 1u);  // the first empty slot is reused

    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(connections.Put()), S_OK);
    CONNECTDATA data[3] = {};
    EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, 1u);
    EXPECT_TRUE(SameObject(data[0].pUnk, reinterpret_cast<IUnknown*>(FakeEventSink_Dispatch(c.sink))));
    EXPECT_EQ(data[1].dwCookie, 2u);
    for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();

    // Sinks still advised are released with the control.
    point.Reset();
    back.Reset();
    container.Reset();
    connections.Reset();
    points.Reset();
    control.Reset();
    EXPECT_EQ(b.sink->refs, 1);
    EXPECT_EQ(c.sink->refs, 1);
}

TEST(BrowserHelperAx, ObjectSafetyAndOleObject) {
    ComPtr<IBrowserHelperAx> control = NewControl();
    ComPtr<IObjectSafety> safety;
    ASSERT_EQ(control->QueryInterface(IID_IObjectSafety, safety.PutVoid()), S_OK);
    DWORD supported = 9, enabled = 9;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, 3u);
    EXPECT_EQ(enabled, 0u);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IPersist, &supported, &enabled), E_NOINTERFACE);
    EXPECT_EQ(supported, 0u);
    EXPECT_EQ(enabled, 0u);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled), E_POINTER);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 4, 4), E_FAIL);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IPersist, 1, 1), E_NOINTERFACE);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 1), S_OK);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IBrowserHelperAx, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, 1u);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 2, 2), S_OK);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, 3u);

    ComPtr<IOleObject> ole;
    ASSERT_EQ(control.As(ole), S_OK);
    ComPtr<IOleClientSite> site;
    EXPECT_EQ(ole->GetClientSite(site.Put()), E_NOTIMPL);
    EXPECT_EQ(ole->Unadvise(1), E_NOTIMPL);
    EXPECT_EQ(ole->DoVerb(OLEIVERB_SHOW, nullptr, nullptr, 0, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(ole->Close(OLECLOSE_NOSAVE), E_NOTIMPL);
}

TEST(BrowserHelperAx, ClassInfo) {
    ComPtr<IBrowserHelperAx> control = NewControl();
    ComPtr<IProvideClassInfo2> info;
    ASSERT_EQ(control->QueryInterface(IID_IProvideClassInfo2, info.PutVoid()), S_OK);
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(info->GetClassInfo(coclass.Put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, CLSID_BrowserHelperAx);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    coclass->ReleaseTypeAttr(attr);
    GUID source{};
    EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_EQ(source, DIID__IBrowserHelperAxEvents);
    EXPECT_EQ(info->GetGUID(7, &source), E_INVALIDARG);
    EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr), E_POINTER);
}

HRESULT InvokeMethod(IDispatch* disp, const wchar_t* name, VARIANT* result,
                     std::initializer_list<VARIANT> args, WORD flags = DISPATCH_METHOD) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::vector<VARIANT> reversed(args.begin(), args.end());
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    return disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

TEST(BrowserHelperAx, InvokeChecksTheSiteFirst) {
    ComPtr<IBrowserHelperAx> control = NewControl();
    IDispatch* disp = control.Get();
    DISPID id = 0;
    LPOLESTR name[] = {const_cast<LPOLESTR>(L"GetVersion")};
    EXPECT_EQ(disp->GetIDsOfNames(IID_NULL, name, 1, 0, &id), S_OK);  // not checked
    EXPECT_EQ(id, 1);
    UINT count = 0;
    EXPECT_EQ(disp->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);

    Variant result;
    EXPECT_EQ(InvokeMethod(disp, L"GetVersion", result.Get(), {}), S_FALSE);
    EXPECT_EQ(V_VT(result.Get()), VT_EMPTY);

    Host host;
    host.document->url = L"http://evil.example/";
    ASSERT_EQ(SetSite(control, host.Site()), S_OK);
    EXPECT_EQ(InvokeMethod(disp, L"GetVersion", result.Put(), {}), S_FALSE);
    EXPECT_EQ(V_VT(result.Get()), VT_EMPTY);

    host.document->url = L"http://www.pexlo.jp/page.html";
    EXPECT_EQ(InvokeMethod(disp, L"GetVersion", result.Put(), {}), S_OK);
    ASSERT_EQ(V_VT(result.Get()), VT_BSTR);
    EXPECT_STREQ(V_BSTR(result.Get()), L"2, 7, 1, 7");

    BStr option(L"InvokeOption");
    VARIANT nameArg, valueArg;
    V_VT(&nameArg) = VT_BSTR;
    V_BSTR(&nameArg) = option.Get();
    V_VT(&valueArg) = VT_I4;
    V_I4(&valueArg) = 31;
    EXPECT_EQ(InvokeMethod(disp, L"SetOptions", result.Put(), {nameArg, valueArg}), S_OK);
    EXPECT_EQ(V_VT(result.Get()), VT_I2);
    EXPECT_EQ(V_I2(result.Get()), 1);
    EXPECT_EQ(InvokeMethod(disp, L"GetOptions", result.Put(), {nameArg}), S_OK);
    EXPECT_EQ(V_I4(result.Get()), 31);
    // A write that fails answers 0 through Invoke too (a value name longer than the registry allows).
    BStr tooLong(std::wstring(20000, L'n').c_str());
    V_BSTR(&nameArg) = tooLong.Get();
    EXPECT_EQ(InvokeMethod(disp, L"SetOptions", result.Put(), {nameArg, valueArg}), S_OK);
    EXPECT_EQ(V_VT(result.Get()), VT_I2);
    EXPECT_EQ(V_I2(result.Get()), 0);

    EXPECT_EQ(InvokeMethod(disp, L"Visible", result.Put(), {}, DISPATCH_PROPERTYGET), S_OK);
    EXPECT_EQ(V_VT(result.Get()), VT_BOOL);
    EXPECT_EQ(V_BOOL(result.Get()), VARIANT_FALSE);  // the site has no window
    host.browser->locationUrl = L"http://www.pexlo.jp/now.html";
    EXPECT_EQ(InvokeMethod(disp, L"GetLocationURL", result.Put(), {}), S_OK);
    ASSERT_EQ(V_VT(result.Get()), VT_BSTR);
    EXPECT_STREQ(V_BSTR(result.Get()), L"http://www.pexlo.jp/now.html");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, OptionsKeyPath(), L"InvokeOption");
}

// The empty name is the options key's default value, and a null BSTR is the empty name: what one writes the
// other reads, and the named options stay as they were.
TEST(BrowserHelperAx, EmptyOptionNameIsTheKeysDefaultValue) {
    RegDeleteTreeW(HKEY_CURRENT_USER, OptionsKeyPath());
    ComPtr<IBrowserHelperAx> control = NewControl();
    BStr other(L"Other"), empty(L"");
    ASSERT_FALSE(empty.Get() == nullptr);
    SHORT ok = 0;
    ASSERT_EQ(control->SetOptions(other.Get(), 5, &ok), S_OK);
    ASSERT_EQ(ok, 1);
    LONG value = 0;
    EXPECT_EQ(control->GetOptions(nullptr, &value), S_OK);
    EXPECT_EQ(value, -1) << "no default value yet";

    const struct {
        const char* what;
        BSTR written;
        BSTR read;
        LONG value;
    } cases[] = {
        {"null, read as empty", nullptr, empty.Get(), 9},
        {"empty, read as null", empty.Get(), nullptr, -4},
        {"empty, read as empty", empty.Get(), empty.Get(), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ok = 7;
        EXPECT_EQ(control->SetOptions(c.written, c.value, &ok), S_OK);
        EXPECT_EQ(ok, 1);
        value = 123;
        EXPECT_EQ(control->GetOptions(c.read, &value), S_OK);
        EXPECT_EQ(value, c.value);
        DWORD data = 0, size = sizeof(data);
        EXPECT_EQ(
            RegGetValueW(HKEY_CURRENT_USER, OptionsKeyPath(), L"", RRF_RT_REG_DWORD, nullptr, &data, &size),
            ERROR_SUCCESS);
        EXPECT_EQ(static_cast<LONG>(data), c.value);
    }
    EXPECT_EQ(control->SetOptions(nullptr, 11, nullptr), S_OK);
    EXPECT_EQ(control->GetOptions(empty.Get(), &value), S_OK);
    EXPECT_EQ(value, 11);
    EXPECT_EQ(control->GetOptions(other.Get(), &value), S_OK);
    EXPECT_EQ(value, 5);
    RegDeleteTreeW(HKEY_CURRENT_USER, OptionsKeyPath());
}

// A name the registry cannot hold is refused: with a NUL inside it would be cut there and name another option
// (or the default value), and one too long fails. It reads -1 and writes nothing, neither the default value
// nor the option its first part names.
TEST(BrowserHelperAx, OptionNamesThatNameNoOption) {
    RegDeleteTreeW(HKEY_CURRENT_USER, OptionsKeyPath());
    ComPtr<IBrowserHelperAx> control = NewControl();
    BStr other(L"Other");
    SHORT ok = 0;
    ASSERT_EQ(control->SetOptions(other.Get(), 5, &ok), S_OK);
    ASSERT_EQ(ok, 1);
    const DWORD planted = 3;
    ASSERT_EQ(
        RegSetKeyValueW(HKEY_CURRENT_USER, OptionsKeyPath(), nullptr, REG_DWORD, &planted, sizeof(planted)),
        ERROR_SUCCESS);

    const struct {
        const char* name;
        std::wstring text;
    } cases[] = {
        {"NUL after a name", std::wstring(L"Other\0x", 7)},
        {"NUL first", std::wstring(L"\0Other", 6)},
        {"NUL alone", std::wstring(L"\0", 1)},
        {"NUL last", std::wstring(L"Other\0", 6)},
        {"too long", std::wstring(20000, L'n')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BStr name(c.text.data(), static_cast<UINT>(c.text.size()));
        LONG value = 0;
        EXPECT_EQ(control->GetOptions(name.Get(), &value), S_OK);
        EXPECT_EQ(value, -1);
        ok = 7;
        EXPECT_EQ(control->SetOptions(name.Get(), 9, &ok), S_OK);
        EXPECT_EQ(ok, 0);
        EXPECT_EQ(control->SetOptions(name.Get(), 9, nullptr), S_OK);
    }
    LONG value = 0;
    EXPECT_EQ(control->GetOptions(other.Get(), &value), S_OK);
    EXPECT_EQ(value, 5);
    DWORD data = 0, size = sizeof(data);
    EXPECT_EQ(
        RegGetValueW(HKEY_CURRENT_USER, OptionsKeyPath(), nullptr, RRF_RT_REG_DWORD, nullptr, &data, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(data, planted);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, OptionsKeyPath(), 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD values = 0;
    EXPECT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 2u);  // "Other" and the planted default value
    RegCloseKey(key);
    RegDeleteTreeW(HKEY_CURRENT_USER, OptionsKeyPath());
}

// Needs a window station with a display; the ctest wrapper runs it under Xvfb.
TEST(BrowserHelperAxWindow, VisibleFollowsTheSiteWindow) {
    HWND window =
        CreateWindowExW(0, L"STATIC", L"site", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    if (!window) GTEST_SKIP() << "no display for windows";
    Host host;
    host.site->hasWindow = TRUE;
    host.site->window = window;
    ComPtr<IBrowserHelperAx> control = NewControl();
    ASSERT_EQ(SetSite(control, host.Site()), S_OK);
    VARIANT_BOOL visible = VARIANT_TRUE;
    EXPECT_EQ(control->get_Visible(&visible), S_OK);
    EXPECT_EQ(visible, VARIANT_FALSE);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    EXPECT_EQ(control->get_Visible(&visible), S_OK);
    EXPECT_EQ(visible, VARIANT_TRUE);
    Variant result;
    EXPECT_EQ(InvokeMethod(control.Get(), L"Visible", result.Get(), {}, DISPATCH_PROPERTYGET), S_OK);
    ASSERT_EQ(V_VT(result.Get()), VT_BOOL);
    EXPECT_EQ(V_BOOL(result.Get()), VARIANT_TRUE);
    EXPECT_EQ(control->get_Visible(nullptr), E_POINTER);
    control.Reset();
    DestroyWindow(window);
}

}  // namespace
}  // namespace tarnel
