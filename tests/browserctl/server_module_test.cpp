// The built server DLL as COM sees it: exports by ordinal, class factory and unload rule, the embedded type
// library and resources, and a registered server used by ProgID and across apartments.
#include <gtest/gtest.h>
#include <olectl.h>
#include <windows.h>

#include <algorithm>
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
    EXPECT_TRUE(FAILED(UnregisterServer(DllPath(), [] { throw 1; })));
    EXPECT_EQ(GetThreadLocale(), kCallerLocale);
}

constexpr wchar_t kClassKey[] = L"CLSID\\{C9169A8E-F20B-463E-B3BD-345D359418CF}";
constexpr wchar_t kLibKey[] = L"TypeLib\\{0F240A97-B9E7-402B-B19E-01D27EF40D2B}";
constexpr wchar_t kPreApprovedKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Ext\\PreApproved\\{C9169A8E-F20B-463E-B3BD-345D359418CF}";

struct Key {
    HKEY root;
    const wchar_t* path;
};

// Every key the server writes, and the shared parents that removal keeps.
const Key kOurKeys[] = {
    {HKEY_CLASSES_ROOT, L"AppID\\{FFD586E5-6F14-45BC-99EE-F8C2238FB0A7}"},
    {HKEY_CLASSES_ROOT, L"AppID\\Tarnel.DLL"},
    {HKEY_CLASSES_ROOT, L"Tarnel.BrowserHelperAx.1"},
    {HKEY_CLASSES_ROOT, L"Tarnel.BrowserHelperAx"},
    {HKEY_CLASSES_ROOT, kClassKey},
    {HKEY_LOCAL_MACHINE, kPreApprovedKey},
    {HKEY_CLASSES_ROOT, kLibKey},
    {HKEY_CLASSES_ROOT, L"Interface\\{238A51A3-29EF-42BA-A131-93BBAE9C69E5}"},
    {HKEY_CLASSES_ROOT, L"Interface\\{DEB3E6E7-C5B7-44EC-A848-17B9A1AD8609}"},
};
const Key kSharedKeys[] = {
    {HKEY_CLASSES_ROOT, L"AppID"},
    {HKEY_CLASSES_ROOT, L"CLSID"},
    {HKEY_CLASSES_ROOT, L"TypeLib"},
    {HKEY_CLASSES_ROOT, L"Interface"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Ext\\PreApproved"},
};

bool Exists(const Key& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(key.root, key.path, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

void RemoveByHand(const Key& key) {
    RegDeleteTreeW(key.root, key.path);
    RegDeleteKeyW(key.root, key.path);
    ASSERT_FALSE(Exists(key)) << testing::PrintToString(std::wstring(key.path));
}

// Removal after a partial one by hand, a second removal and the removal of a server never registered take
// away whatever is left and succeed; the shared parents stay.
TEST_F(ServerModule, RemovalRemovesWhatIsLeft) {
    const struct {
        const char* name;
        bool registered;
        std::vector<Key> removedByHand;
    } cases[] = {
        {"type library key", true, {{HKEY_CLASSES_ROOT, kLibKey}}},
        {"type library version key",
         true,
         {{HKEY_CLASSES_ROOT, L"TypeLib\\{0F240A97-B9E7-402B-B19E-01D27EF40D2B}\\1.0"}}},
        {"interface key", true, {kOurKeys[7]}},
        {"class and AppID keys", true, {kOurKeys[4], kOurKeys[0]}},
        {"ProgID and PreApproved keys", true, {kOurKeys[2], kOurKeys[5]}},
        {"everything", true, std::vector<Key>(std::begin(kOurKeys), std::end(kOurKeys))},
        {"never registered", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.registered) {
            ASSERT_EQ(RegisterServer(DllPath()), S_OK);
        }
        for (const Key& key : c.removedByHand) RemoveByHand(key);
        EXPECT_EQ(UnregisterServer(DllPath()), S_OK);
        for (const Key& key : kOurKeys) {
            EXPECT_FALSE(Exists(key)) << "left: " << testing::PrintToString(std::wstring(key.path));
        }
        for (const Key& key : kSharedKeys) {
            EXPECT_TRUE(Exists(key)) << "removed: " << testing::PrintToString(std::wstring(key.path));
        }
        EXPECT_EQ(UnregisterServer(DllPath()), S_OK);  // and again, with nothing left
    }
}

// Another version of the type library under the same LIBID is not this server's: removal keeps it, and
// the LIBID key with it.
TEST_F(ServerModule, RemovalKeepsAnotherTypeLibraryVersion) {
    const std::wstring other = std::wstring(kLibKey) + L"\\9.9";
    ASSERT_EQ(RegisterServer(DllPath()), S_OK);
    HKEY h = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CLASSES_ROOT, other.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr),
        ERROR_SUCCESS);
    RegCloseKey(h);
    EXPECT_EQ(UnregisterServer(DllPath()), S_OK);
    EXPECT_TRUE(Exists({HKEY_CLASSES_ROOT, other.c_str()}));
    const std::wstring ours = std::wstring(kLibKey) + L"\\1.0";
    EXPECT_FALSE(Exists({HKEY_CLASSES_ROOT, ours.c_str()}));
    RemoveByHand({HKEY_CLASSES_ROOT, kLibKey});
}

// The class key as lines "subkey|value=data", subkeys in sorted order.
void DumpKey(HKEY root, const std::wstring& path, const std::wstring& relative,
             std::vector<std::wstring>& out) {
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &h), ERROR_SUCCESS);
    std::vector<std::wstring> lines, subkeys;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256], data[1024];
        DWORD nameLength = 256, dataSize = sizeof(data), type = 0;
        if (RegEnumValueW(h, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data),
                          &dataSize) != ERROR_SUCCESS) {
            break;
        }
        lines.push_back(relative + L"|" + name + L"=" + (type == REG_SZ ? data : L"(not text)"));
    }
    lines.push_back(relative + L"|");  // the key itself, also when it has no values
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(h, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        subkeys.push_back(name);
    }
    RegCloseKey(h);
    std::sort(lines.begin(), lines.end());
    std::sort(subkeys.begin(), subkeys.end());
    out.insert(out.end(), lines.begin(), lines.end());
    for (const std::wstring& sub : subkeys) {
        DumpKey(root, path + L"\\" + sub, relative.empty() ? sub : relative + L"\\" + sub, out);
    }
}

// The class key is written afresh: subkeys and values left by an older registration under it are gone.
TEST_F(ServerModule, RegisteringOverStaleClassKeyContent) {
    ASSERT_EQ(RegisterServer(DllPath()), S_OK);
    const std::wstring cls = kClassKey;
    const struct {
        std::wstring key;
        const wchar_t* value;  // nullptr: the default value
    } stale[] = {
        {cls + L"\\LocalServer32", nullptr},
        {cls, L"Stale"},
        {cls + L"\\InprocServer32", L"Stale"},
        {cls + L"\\Implemented Categories\\{0BADF00D-0000-4000-8000-000000000002}", nullptr},
        {cls + L"\\Programmable\\Old", L"Stale"},
    };
    for (const auto& s : stale) {
        const wchar_t text[] = L"C:\\old\\Tarnel.dll";
        ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, s.key.c_str(), s.value, REG_SZ, text, sizeof(text)),
                  ERROR_SUCCESS);
    }
    ASSERT_EQ(RegisterServer(DllPath()), S_OK);

    std::vector<std::wstring> actual;
    DumpKey(HKEY_CLASSES_ROOT, cls, L"", actual);
    const std::vector<std::wstring> expected = {
        L"|",
        L"|=Brisel アプリ ヘルパーActiveX",
        L"|AppID={FFD586E5-6F14-45BC-99EE-F8C2238FB0A7}",
        L"Implemented Categories|",
        L"Implemented Categories\\{59FB2056-D625-48D0-A944-1A85B5AB2640}|",
        L"InprocServer32|",
        L"InprocServer32|=" + DllPath(),
        L"InprocServer32|ThreadingModel=Apartment",
        L"ProgID|",
        L"ProgID|=Tarnel.BrowserHelperAx.1",
        L"Programmable|",
        L"TypeLib|",
        L"TypeLib|={0F240A97-B9E7-402B-B19E-01D27EF40D2B}",
        L"VersionIndependentProgID|",
        L"VersionIndependentProgID|=Tarnel.BrowserHelperAx",
    };
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(UnregisterServer(DllPath()), S_OK);
}

}  // namespace
}  // namespace tarnel
