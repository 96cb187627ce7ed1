// Registry content as tables (see registry_table.h) in place of registrar scripts, then the type library. The
// thread locale is switched for the whole run and restored on every path, also when a step throws.
#include "browserctl/server_registration.h"

#include <oleauto.h>

#include <vector>

#include "browserctl/com_module.h"
#include "browserctl/com_ptr.h"
#include "browserctl/registry_table.h"

namespace tarnel {
namespace {

constexpr wchar_t kAppId[] = L"{FFD586E5-6F14-45BC-99EE-F8C2238FB0A7}";
constexpr wchar_t kClsidKey[] = L"CLSID\\{C9169A8E-F20B-463E-B3BD-345D359418CF}";
constexpr wchar_t kClsidText[] = L"{C9169A8E-F20B-463E-B3BD-345D359418CF}";
constexpr wchar_t kPreApproved[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Ext\\PreApproved";

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

// What registering the type library writes: its version key under its LIBID, and a key per interface it
// describes (the dual interface and the event dispinterface).
const std::vector<RegEntry>& TypeLibTable() {
    static const std::vector<RegEntry> table = {
        {HKEY_CLASSES_ROOT, L"TypeLib", KeyKind::Shared, {}},
        {HKEY_CLASSES_ROOT, L"TypeLib\\{0F240A97-B9E7-402B-B19E-01D27EF40D2B}", KeyKind::OwnParent, {}},
        {HKEY_CLASSES_ROOT, L"TypeLib\\{0F240A97-B9E7-402B-B19E-01D27EF40D2B}\\1.0", KeyKind::Own, {}},
        {HKEY_CLASSES_ROOT, L"Interface", KeyKind::Shared, {}},
        {HKEY_CLASSES_ROOT, L"Interface\\{238A51A3-29EF-42BA-A131-93BBAE9C69E5}", KeyKind::Own, {}},
        {HKEY_CLASSES_ROOT, L"Interface\\{DEB3E6E7-C5B7-44EC-A848-17B9A1AD8609}", KeyKind::Own, {}},
    };
    return table;
}

// The system's removal stops at the first key it misses (a LIBID key removed by hand leaves the interface
// keys behind), so its result is not the answer: what it left of ours is removed after it, and only what
// cannot be removed fails.
HRESULT UnregisterTypeLibrary(const std::wstring& path) {
    ComPtr<ITypeLib> lib;
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.Put())) &&
        SUCCEEDED(lib->GetLibAttr(&attr))) {
        UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
        lib->ReleaseTLibAttr(attr);
    }
    return UnregisterTable(TypeLibTable());
}

// Runs steps in order under the registration locale; stops at the first failure.
HRESULT RunSteps(std::initializer_list<std::function<HRESULT()>> steps,
                 const std::function<void()>& afterStep) {
    try {
        LocaleGuard locale(kRegistrationLocale);
        for (const auto& step : steps) {
            HRESULT hr = step();
            if (FAILED(hr)) return hr;
            if (afterStep) afterStep();
        }
        return S_OK;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace

HRESULT RegisterServer(const std::wstring& modulePath, const std::function<void()>& afterStep) {
    if (modulePath.empty()) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    return RunSteps({[] {
                         return RegisterTable(AppIdTable(), {{L"APPID", kAppId}});
                     },
                     [&] {
                         return RegisterTable(ServerTable(), {{L"MODULE", modulePath}, {L"APPID", kAppId}});
                     },
                     [&] { return RegisterTypeLibrary(modulePath); }},
                    afterStep);
}

HRESULT UnregisterServer(const std::wstring& modulePath, const std::function<void()>& afterStep) {
    if (modulePath.empty()) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    return RunSteps(
        {[] { return UnregisterTable(ServerTable()); }, [&] { return UnregisterTypeLibrary(modulePath); },
         [] { return UnregisterTable(AppIdTable()); }},
        afterStep);
}

}  // namespace tarnel
