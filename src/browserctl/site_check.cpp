// Only two kinds of page pass, and each is judged on the address as written, so that no quirk of a URL
// parser lets a third kind through:
// - an http or https page whose host, read both by hand and by the system's URL splitter, is the same plain
//   host name (letters, digits, dots, hyphens) ending in the product domain under at least one label;
// - a "file://" page on a local drive (no host of any kind) whose canonical folder holds the product word.
#include "browserctl/site_check.h"

#include <exdisp.h>
#include <mshtml.h>
#include <servprov.h>
#include <shlguid.h>
#include <shlwapi.h>
#include <wininet.h>

#include <optional>
#include <vector>

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

bool IsControl(wchar_t c) { return c < 0x20 || c == 0x7F; }

bool IsAsciiAlnum(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    size_t n = wcslen(prefix);
    return text.size() >= n && CompareStringOrdinal(text.c_str(), static_cast<int>(n), prefix,
                                                    static_cast<int>(n), TRUE) == CSTR_EQUAL;
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// ---- host rule ----

// A host name of plain labels: ASCII letters, digits and hyphens, separated by single dots.
bool IsPlainHostName(const std::wstring& host) {
    if (host.empty() || host.size() >= kPathBuffer) return false;
    wchar_t previous = L'.';
    for (wchar_t c : host) {
        if (c == L'.') {
            if (previous == L'.') return false;  // empty label
        } else if (!IsAsciiAlnum(c) && c != L'-') {
            return false;
        }
        previous = c;
    }
    return previous != L'.';
}

// The host as the address writes it: after "scheme://", up to the first "/", "\", "?" or "#", without one
// user-information part and the port. Nothing is decoded: a percent escape makes the address odd.
std::optional<std::wstring> WrittenHost(const std::wstring& address, size_t authorityStart) {
    size_t end = address.find_first_of(L"/\\?#", authorityStart);
    if (end == std::wstring::npos) end = address.size();
    std::wstring authority = address.substr(authorityStart, end - authorityStart);
    for (wchar_t c : authority) {
        if (IsControl(c) || c == L' ' || c == L'%') return std::nullopt;
    }
    // Parsers disagree on which "@" ends the user information; with more than one the host is ambiguous.
    size_t at = authority.find(L'@');
    if (at != std::wstring::npos) {
        if (authority.find(L'@', at + 1) != std::wstring::npos) return std::nullopt;
        authority.erase(0, at + 1);
    }
    size_t colon = authority.find(L':');
    if (colon != std::wstring::npos) {
        std::wstring port = authority.substr(colon + 1);
        if (port.empty() || port.size() > 5) return std::nullopt;
        for (wchar_t c : port) {
            if (c < L'0' || c > L'9') return std::nullopt;
        }
        authority.resize(colon);
    }
    return authority;
}

// The host as the URL splitter reads it (decoded), or nothing when it cannot split the address. The host is
// taken at the length the splitter reports: decoding "%00" puts a NUL inside, and the host read as a C string
// would be cut there and look like the part before it.
std::optional<std::wstring> SplitHost(const std::wstring& address, UrlSplitter split) {
    wchar_t host[kPathBuffer] = {};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = static_cast<DWORD>(std::size(host));  // characters, terminator included
    if (!split || !split(address.c_str(), 0, ICU_DECODE, &parts)) return std::nullopt;
    if (parts.dwHostNameLength >= std::size(host)) return std::nullopt;
    return std::wstring(host, parts.dwHostNameLength);
}

bool HostRuleAllows(const std::wstring& address, UrlSplitter split) {
    size_t authorityStart = 0;
    if (StartsWithNoCase(address, L"http://")) {
        authorityStart = 7;
    } else if (StartsWithNoCase(address, L"https://")) {
        authorityStart = 8;
    } else {
        return false;
    }
    std::optional<std::wstring> written = WrittenHost(address, authorityStart);
    if (!written || !IsPlainHostName(*written)) return false;
    std::optional<std::wstring> splitHost = SplitHost(address, split);
    if (!splitHost || !IsPlainHostName(*splitHost) || !EqualNoCase(*splitHost, *written)) return false;
    // The first occurrence of the suffix must end the host, after at least one label.
    const wchar_t* host = splitHost->c_str();
    const wchar_t* found = StrStrIW(host, kDomainSuffix);
    return found && found != host && found + wcslen(kDomainSuffix) == host + splitHost->size();
}

// ---- local-file rule ----

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// Percent escapes decoded as UTF-8; nothing for a broken escape or a byte sequence that is not UTF-8.
std::optional<std::wstring> DecodePercent(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        if (text[i] != L'%') {
            out += text[i++];
            continue;
        }
        std::string bytes;
        while (i < text.size() && text[i] == L'%') {
            if (i + 2 >= text.size()) return std::nullopt;
            int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            bytes += static_cast<char>(high * 16 + low);
            i += 3;
        }
        int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                    static_cast<int>(bytes.size()), nullptr, 0);
        if (n <= 0) return std::nullopt;
        std::wstring decoded(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                            decoded.data(), n);
        out += decoded;
    }
    return out;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Windows drops trailing dots and spaces from a name, so "..." or ".. " would act as a dot segment.
bool IsDotLike(const std::wstring& segment) { return segment.find_first_not_of(L". ") == std::wstring::npos; }

bool IsPathNameChar(wchar_t c) { return !IsControl(c) && !wcschr(L"<>:\"|?*", c); }

// The canonical folder (drive, then the folders above the file name) of a "file://" address naming a path
// on a local drive; nothing for any other form.
std::optional<std::wstring> LocalFolder(const std::wstring& address) {
    constexpr size_t kPrefix = 7;  // "file://", case-sensitive
    if (address.compare(0, kPrefix, L"file://") != 0) return std::nullopt;
    size_t end = address.find_first_of(L"?#", kPrefix);
    std::wstring path =
        address.substr(kPrefix, end == std::wstring::npos ? std::wstring::npos : end - kPrefix);
    // "file:///C:/..." has an empty host before its rooted path; "file://C:\..." names the drive at once.
    if (!path.empty() && path[0] == L'/') path.erase(0, 1);
    std::optional<std::wstring> decoded = DecodePercent(path);
    if (!decoded) return std::nullopt;
    path = *decoded;
    if (path.size() < 3 || !((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) ||
        path[1] != L':' || !IsSeparator(path[2])) {
        return std::nullopt;
    }

    std::vector<std::wstring> folders;
    bool lastIsFolder = true;  // a path that ends in a separator names a folder
    for (size_t at = 3; at <= path.size();) {
        size_t next = at;
        while (next < path.size() && !IsSeparator(path[next])) ++next;
        std::wstring segment = path.substr(at, next - at);
        bool atEnd = next >= path.size();
        if (segment.empty() || segment == L".") {
            lastIsFolder = true;
        } else if (segment == L"..") {
            if (folders.empty()) return std::nullopt;  // above the drive's root
            folders.pop_back();
            lastIsFolder = true;
        } else {
            if (IsDotLike(segment)) return std::nullopt;
            for (wchar_t c : segment) {
                if (!IsPathNameChar(c)) return std::nullopt;
            }
            folders.push_back(segment);
            lastIsFolder = !atEnd;
        }
        at = next + 1;
    }

    std::wstring full = path.substr(0, 2);
    for (const std::wstring& segment : folders) full += L"\\" + segment;
    if (full.size() + 1 >= kPathBuffer) return std::nullopt;  // not a path the folder buffer could hold
    if (!lastIsFolder) folders.pop_back();
    std::wstring folder = path.substr(0, 2) + L"\\";
    for (size_t i = 0; i < folders.size(); ++i) folder += (i ? L"\\" : L"") + folders[i];
    return folder;
}

bool FileRuleAllows(const std::wstring& address) {
    std::optional<std::wstring> folder = LocalFolder(address);
    return folder && folder->find(kProductWord) != std::wstring::npos;
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

bool IsAddressAllowed(const std::wstring& address, UrlSplitter split) {
    if (address.empty()) return false;
    try {
        for (wchar_t c : address) {
            if (IsControl(c)) return false;
        }
        return FileRuleAllows(address) || HostRuleAllows(address, split);
    } catch (...) {
        return false;
    }
}

}  // namespace tarnel
