// Decides whether the page that hosts the control may script it: a local page under a folder whose path holds
// the product word, or a page from a host inside the product's domain.
#pragma once

#include <windows.h>

#include <ole2.h>

#include <string>

namespace tarnel {

inline constexpr wchar_t kProductWord[] = L"Pexlo";       // case-sensitive
inline constexpr wchar_t kDomainSuffix[] = L".pexlo.jp";  // case-insensitive, must end the host

// The hosting page's address: the document URL through the browser service, else the container moniker's
// display name; empty without a site or when neither can be read.
std::wstring FindPageAddress(IOleClientSite* site);

// The decision on one address.
bool IsAddressAllowed(const std::wstring& address);

}  // namespace tarnel
