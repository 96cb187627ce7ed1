// The file rule looks only at the folder part (before any query or fragment) so that "?x=\Pexlo\" in a URL
// does not pass; the host rule takes the host from the system's URL splitter and wants the suffix at its very
// end.
#include "browserctl/site_check.h"

#include <exdisp.h>
#include <mshtml.h>
#include <servprov.h>
#include <shlguid.h>
#include <shlwapi.h>
#include <wininet.h>

#include "browserctl/com_ptr.h"
#include "browserctl/option_store.h"

namespace tarnel {
namespace {

std::wstring DocumentUrl(IOleClientSite* site) {
    ComPtr<IServiceProvider> provider;
    if (FAILED(site->QueryInterface(IID_IServiceProvider, provider.PutVoid())) || !provider) return {};
    ComPtr<IWebBrowserApp> app;
    if (FAILED(provider->QueryService(SID_SWebBrowserApp, IID_IWebBrowserApp, app.PutVoid())) || !app)
        return {};
    ComPtr<IDispatch> document;
    if (FAILED(app->get_Document(document.Put())) || !document) return {};
    ComPtr<IHTMLDocument2> html;
    if (FAILED(document.As(html)) || !html) return {};
    BStr url;
    if (FAILED(html->get_URL(url.Put()))) return {};
    return std::wstring(url.CStr(), url.Length());
}

std::wstring MonikerName(IOleClientSite* site) {
    ComPtr<IMoniker> moniker;
    if (FAILED(site->GetMoniker(OLEGETMONIKER_TEMPFORUSER, OLEWHICHMK_CONTAINER, moniker.Put())) ||
        !moniker) {
        return {};
    }
    LPOLESTR name = nullptr;
    if (FAILED(moniker->GetDisplayName(nullptr, nullptr, &name)) || !name) return {};
    std::wstring result(name);
    CoTaskMemFree(name);
    return result;
}

bool FileRuleAllows(const std::wstring& address) {
    if (address.compare(0, 7, L"file://") != 0) return false;
    std::wstring folder = address.substr(0, address.find_first_of(L"?#"));
    // Too long for the folder buffer: not judged here rather than judged on a truncated path.
    std::optional<std::wstring> parent = GetParentPath(folder.c_str());
    return parent && parent->find(kProductWord) != std::wstring::npos;
}

bool HostRuleAllows(const std::wstring& address) {
    wchar_t host[kPathBuffer] = {};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = static_cast<DWORD>(std::size(host));  // characters, terminator included
    if (!InternetCrackUrlW(address.c_str(), 0, ICU_DECODE, &parts)) return false;
    size_t hostLen = wcsnlen(host, std::size(host));
    if (hostLen >= std::size(host)) return false;
    const wchar_t* found = StrStrIW(host, kDomainSuffix);
    return found && found + wcslen(kDomainSuffix) == host + hostLen;
}

}  // namespace

std::wstring FindPageAddress(IOleClientSite* site) {
    if (!site) return {};
    try {
        std::wstring address = DocumentUrl(site);
        if (address.empty()) address = MonikerName(site);
        return address;
    } catch (...) {
        return {};
    }
}

bool IsAddressAllowed(const std::wstring& address) {
    if (address.empty()) return false;
    try {
        if (FileRuleAllows(address)) return true;
        return HostRuleAllows(address);
    } catch (...) {
        return false;
    }
}

}  // namespace tarnel
