// Decides whether the page that hosts the control may script it: a page stored on a local drive under a
// folder whose path holds the product word, or an http or https page from a host inside the product's domain.
#pragma once

#include <windows.h>

#include <ole2.h>
#include <wininet.h>

#include <string>

namespace tarnel {

inline constexpr wchar_t kProductWord[] = L"Pexlo";       // case-sensitive
inline constexpr wchar_t kDomainSuffix[] = L".pexlo.jp";  // case-insensitive, must end the host

// The hosting page's address: the document URL through the browser service, else the container moniker's
// display name; empty without a site or when neither can be read.
std::wstring FindPageAddress(IOleClientSite* site);

// The system's URL splitter, or a stand-in with its contract.
using UrlSplitter = BOOL(WINAPI*)(LPCWSTR url, DWORD length, DWORD flags, LPURL_COMPONENTSW parts);

// The decision on one address; anything that is not plainly one of the two kinds is refused. The host rule
// reads the host both by hand and through split, and the two must agree.
bool IsAddressAllowed(const std::wstring& address, UrlSplitter split = InternetCrackUrlW);

}  // namespace tarnel
