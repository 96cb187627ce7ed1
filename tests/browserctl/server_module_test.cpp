// The built server DLL as COM sees it: exports by ordinal, class factory and unload rule, the embedded type
// library and resources, and a registered server used by ProgID and across apartments.
#include <gtest/gtest.h>
#include <olectl.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "browserctl/com_ptr.h"
#include "browserctl/file_version_info.h"
#include "browserctl/server_registration.h"
#include "browserctl/tarnel.h"
#include "server_dll.h"

namespace tarnel {
namespace {

// A thread locale that differs from the system default, so the registration's switch shows.
constexpr LCID kCallerLocale = 0x0409;

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using PlainFn = HRESULT(WINAPI*)();

class ServerModule : public testing::Test {
protected:
    static void SetUpTestSuite() { module_ = LoadLibraryW(DllPath().c_str()); }
    static void TearDownTestSuite() {
        // Stays loaded: COM may still hold it for the objects created through the registry.
        module_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(module_) << "cannot load " << testing::PrintToString(DllPath()); }
    template <typename F>
    static F Entry(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    static HMODULE module_;
};
HMODULE ServerModule::module_ = nullptr;

TEST_F(ServerModule, ExportsByOrdinal) {
    const char* names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                           "DllUnregisterServer"};
    for (int ordinal = 1; ordinal <= 4; ++ordinal) {
        SCOPED_TRACE(names[ordinal - 1]);
        FARPROC byName = GetProcAddress(module_, names[ordinal - 1]);
        ASSERT_TRUE(byName);
        EXPECT_EQ(GetProcAddress(module_, MAKEINTRESOURCEA(ordinal)), byName);
    }
}

TEST_F(ServerModule, ClassFactoryAndUnloadRule) {
    auto getClassObject = Entry<GetClassObjectFn>("DllGetClassObject");
    auto canUnload = Entry<PlainFn>("DllCanUnloadNow");
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(IID_IDispatch, IID_IClassFactory, factory.PutVoid()), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(canUnload(), S_OK);
    ASSERT_EQ(getClassObject(CLSID_BrowserHelperAx, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);  // a held factory keeps the server

    // Failures clear an out pointer that held something before the call.
    IUnknown* aggregate = reinterpret_cast<IUnknown*>(factory.Get());
    void* object = aggregate;
    EXPECT_EQ(factory->CreateInstance(aggregate, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    object = aggregate;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPersist, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(canUnload(), S_FALSE);  // the refused instance was destroyed; only the factory holds
    ComPtr<IBrowserHelperAx> control;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBrowserHelperAx, control.PutVoid()), S_OK);
    factory.Reset();
    EXPECT_EQ(canUnload(), S_FALSE);  // a living control keeps it too
    control.Reset();
    EXPECT_EQ(canUnload(), S_OK);

    ASSERT_EQ(getClassObject(CLSID_BrowserHelperAx, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(canUnload(), S_FALSE);
    ASSERT_EQ(getClassObject(CLSID_BrowserHelperAx, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(canUnload(), S_OK);
}

TEST_F(ServerModule, EmbeddedTypeLibraryAndResources) {
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibEx(DllPath().c_str(), REGKIND_NONE, lib.Put()), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, LIBID_TarnelLib);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    lib->ReleaseTLibAttr(attr);
    BStr name, help;
    ASSERT_EQ(lib->GetDocumentation(-1, name.Put(), help.Put(), nullptr, nullptr), S_OK);
    EXPECT_STREQ(name.CStr(), L"TarnelLib");
    EXPECT_STREQ(help.CStr(), L"Tarnel 1.0 タイプ ライブラリ");
    for (const GUID* guid : {&IID_IBrowserHelperAx, &DIID__IBrowserHelperAxEvents, &CLSID_BrowserHelperAx}) {
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(lib->GetTypeInfoOfGuid(*guid, info.Put()), S_OK);
    }

    wchar_t text[32] = {};
    EXPECT_GT(LoadStringW(module_, 100, text, 32), 0);
    EXPECT_STREQ(text, L"Tarnel");
    CFileVersionInfo version(DllPath().c_str());
    EXPECT_EQ(version.FileVersion, L"2, 7, 1, 7");
    EXPECT_EQ(version.ProductVersion, L"2, 7, 1, 7");
    EXPECT_EQ(version.FileDescription, L"Helper ActiveX");
    EXPECT_EQ(version.ProductName, L"Brisel");
    EXPECT_EQ(version.InternalName, L"Tarnel.dll");
    EXPECT_EQ(version.OriginalFilename, L"Tarnel.dll");
}

TEST_F(ServerModule, RegisteredServerWorksByProgIdAndAcrossApartments) {
    auto registerServer = Entry<PlainFn>("DllRegisterServer");
    auto unregisterServer = Entry<PlainFn>("DllUnregisterServer");
    ASSERT_NE(GetSystemDefaultLCID(), kCallerLocale);
    SetThreadLocale(kCallerLocale);
    ASSERT_EQ(registerServer(), S_OK);
    EXPECT_EQ(GetThreadLocale(), kCallerLocale);

    for (const wchar_t* progId : {L"Tarnel.BrowserHelperAx.1", L"Tarnel.BrowserHelperAx"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(progId)));
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
        EXPECT_EQ(clsid, CLSID_BrowserHelperAx);
    }

    ComPtr<IBrowserHelperAx> control;
    ASSERT_EQ(CoCreateInstance(CLSID_BrowserHelperAx, nullptr, CLSCTX_INPROC_SERVER, IID_IBrowserHelperAx,
                               control.PutVoid()),
              S_OK);
    IStream* stream = nullptr;
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IBrowserHelperAx, control.Get(), &stream), S_OK);
    HRESULT unmarshalled = E_FAIL, called = E_FAIL;
    std::wstring version;
    bool isProxy = false;
    std::atomic<bool> done{false};
    std::thread other([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        IBrowserHelperAx* proxy = nullptr;
        unmarshalled =
            CoGetInterfaceAndReleaseStream(stream, IID_IBrowserHelperAx, reinterpret_cast<void**>(&proxy));
        if (proxy) {
            isProxy = proxy != control.Get();
            BSTR text = nullptr;
            called = proxy->GetVersion(&text);
            if (text) version = text;
            SysFreeString(text);
            proxy->Release();
        }
        CoUninitialize();
        done = true;
    });
    // The call is served on this apartment's thread: pump messages until the other thread is done.
    while (!done) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    other.join();
    EXPECT_EQ(unmarshalled, S_OK);
    EXPECT_TRUE(isProxy);
    EXPECT_EQ(called, S_OK);
    EXPECT_EQ(version, L"2, 7, 1, 7");
    control.Reset();

    ASSERT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(GetThreadLocale(), kCallerLocale);
    CLSID clsid{};
    EXPECT_NE(CLSIDFromProgID(L"Tarnel.BrowserHelperAx", &clsid), S_OK);
}

// The registration steps run under the system-default locale, and the caller's locale comes back after
// success, failure and a step that throws.
TEST_F(ServerModule, RegistrationSwitchesTheThreadLocale) {
    ASSERT_NE(GetSystemDefaultLCID(), kCallerLocale);
    SetThreadLocale(kCallerLocale);
    std::vector<LCID> seen;
    auto record = [&] { seen.push_back(GetThreadLocale()); };
    const std::vector<LCID> threeSteps(3, GetSystemDefaultLCID());

    EXPECT_TRUE(FAILED(RegisterServer(DllPath(), [] { throw 1; })));
    EXPECT_EQ(GetThreadLocale(), kCallerLocale);
    ASSERT_EQ(RegisterServer(DllPath(), record), S_OK);
    EXPECT_EQ(seen, threeSteps);
    EXPECT_EQ(GetThreadLocale(), kCallerLocale);

    seen.clear();
    ASSERT_EQ(UnregisterServer(DllPath(), record), S_OK);
    EXPECT_EQ(seen, threeSteps);
    EXPECT_EQ(GetThreadLocale(), kCallerLocale);
    // Nothing registered now: removing the type library again fails, and the locale still comes back.
    EXPECT_TRUE(FAILED(UnregisterServer(DllPath(), record)));
    EXPECT_EQ(GetThreadLocale(), kCallerLocale);
}

}  // namespace
}  // namespace tarnel
