// The server module: DLL entry, class objects, unload rule, and self-registration. Marshalling of the dual
// interface goes through the registered type library, so there is no proxy/stub code of our own to register.
#include <windows.h>

#include <oleauto.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "browserctl/browser_helper_ax.h"
#include "browserctl/com_module.h"
#include "browserctl/option_store.h"
#include "browserctl/registry_table.h"
#include "browserctl/tarnel.h"

namespace tarnel {
namespace {

constexpr wchar_t kAppId[] = L"{FFD586E5-6F14-45BC-99EE-F8C2238FB0A7}";
constexpr wchar_t kClsidKey[] = L"CLSID\\{C9169A8E-F20B-463E-B3BD-345D359418CF}";
constexpr wchar_t kClsidText[] = L"{C9169A8E-F20B-463E-B3BD-345D359418CF}";
constexpr wchar_t kPreApproved[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Ext\\PreApproved";
constexpr LCID kRegistrationLocale = 0x0800;  // system default

const std::vector<RegEntry>& AppIdTable() {
    static const std::vector<RegEntry> table = {
        {HKEY_CLASSES_ROOT, L"AppID", KeyKind::Shared, {}},
        {HKEY_CLASSES_ROOT,
         L"AppID\\{FFD586E5-6F14-45BC-99EE-F8C2238FB0A7}",
         KeyKind::Own,
         {{nullptr, L"Tarnel"}}},
        {HKEY_CLASSES_ROOT, L"AppID\\Tarnel.DLL", KeyKind::Own, {{L"AppID", L"%APPID%"}}},
    };
    return table;
}

const std::vector<RegEntry>& ServerTable() {
    static const std::wstring clsid = kClsidKey;
    static const std::wstring preApproved = std::wstring(kPreApproved) + L"\\" + kClsidText;
    static const std::wstring paths[] = {
        clsid + L"\\ProgID",
        clsid + L"\\VersionIndependentProgID",
        clsid + L"\\Programmable",
        clsid + L"\\InprocServer32",
        clsid + L"\\TypeLib",
        clsid + L"\\Implemented Categories",
        clsid + L"\\Implemented Categories\\{59FB2056-D625-48D0-A944-1A85B5AB2640}",
    };
    static const std::vector<RegEntry> table = {
        {HKEY_CLASSES_ROOT, L"Tarnel.BrowserHelperAx.1", KeyKind::Own, {{nullptr, L"BrowserHelperAx Class"}}},
        {HKEY_CLASSES_ROOT, L"Tarnel.BrowserHelperAx.1\\CLSID", KeyKind::Own, {{nullptr, kClsidText}}},
        {HKEY_CLASSES_ROOT, L"Tarnel.BrowserHelperAx", KeyKind::Own, {{nullptr, L"BrowserHelperAx Class"}}},
        {HKEY_CLASSES_ROOT, L"Tarnel.BrowserHelperAx\\CLSID", KeyKind::Own, {{nullptr, kClsidText}}},
        {HKEY_CLASSES_ROOT,
         L"Tarnel.BrowserHelperAx\\CurVer",
         KeyKind::Own,
         {{nullptr, L"Tarnel.BrowserHelperAx.1"}}},
        {HKEY_CLASSES_ROOT, L"CLSID", KeyKind::Shared, {}},
        {HKEY_CLASSES_ROOT,
         kClsidKey,
         KeyKind::OwnReplaced,
         {{nullptr, L"Brisel アプリ ヘルパーActiveX"}, {L"AppID", L"%APPID%"}}},
        {HKEY_CLASSES_ROOT, paths[0].c_str(), KeyKind::Own, {{nullptr, L"Tarnel.BrowserHelperAx.1"}}},
        {HKEY_CLASSES_ROOT, paths[1].c_str(), KeyKind::Own, {{nullptr, L"Tarnel.BrowserHelperAx"}}},
        {HKEY_CLASSES_ROOT, paths[2].c_str(), KeyKind::Own, {}},
        {HKEY_CLASSES_ROOT,
         paths[3].c_str(),
         KeyKind::Own,
         {{nullptr, L"%MODULE%"}, {L"ThreadingModel", L"Apartment"}}},
        {HKEY_CLASSES_ROOT,
         paths[4].c_str(),
         KeyKind::Own,
         {{nullptr, L"{0F240A97-B9E7-402B-B19E-01D27EF40D2B}"}}},
        {HKEY_CLASSES_ROOT, paths[5].c_str(), KeyKind::Own, {}},
        {HKEY_CLASSES_ROOT, paths[6].c_str(), KeyKind::Own, {}},
        {HKEY_LOCAL_MACHINE, kPreApproved, KeyKind::Shared, {}},
        {HKEY_LOCAL_MACHINE, preApproved.c_str(), KeyKind::Own, {}},
    };
    return table;
}

HRESULT RegisterTypeLibrary(const std::wstring& path) {
    ComPtr<ITypeLib> lib;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.Put());
    if (FAILED(hr)) return hr;
    return RegisterTypeLib(lib.Get(), const_cast<wchar_t*>(path.c_str()), nullptr);
}

HRESULT UnregisterTypeLibrary(const std::wstring& path) {
    ComPtr<ITypeLib> lib;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.Put());
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    hr = lib->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    lib->ReleaseTLibAttr(attr);
    return hr;
}

}  // namespace
}  // namespace tarnel

using namespace tarnel;

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // Only on FreeLibrary: at process exit oleaut32 may already be gone.
    if (reason == DLL_PROCESS_DETACH && !reserved) Module().ReleaseTypeLib();
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != CLSID_BrowserHelperAx) return CLASS_E_CLASSNOTAVAILABLE;
    return ClassFactory<CBrowserHelperAx>::Create(riid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return Module().LockCount() > 0 ? S_FALSE : S_OK; }

extern "C" HRESULT WINAPI DllRegisterServer() {
    try {
        LocaleGuard locale(kRegistrationLocale);
        std::wstring path = GetModulePath(ThisModule());
        if (path.empty()) return HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_MOD_NOT_FOUND);
        HRESULT hr = RegisterTable(AppIdTable(), {{L"APPID", kAppId}});
        if (SUCCEEDED(hr)) hr = RegisterTable(ServerTable(), {{L"MODULE", path}, {L"APPID", kAppId}});
        if (SUCCEEDED(hr)) hr = RegisterTypeLibrary(path);
        return hr;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    try {
        LocaleGuard locale(kRegistrationLocale);
        std::wstring path = GetModulePath(ThisModule());
        if (path.empty()) return HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_MOD_NOT_FOUND);
        HRESULT hr = UnregisterTable(ServerTable());
        if (SUCCEEDED(hr)) hr = UnregisterTypeLibrary(path);
        if (SUCCEEDED(hr)) hr = UnregisterTable(AppIdTable());
        return hr;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
