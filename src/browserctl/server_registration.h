// What the server writes to and removes from the registry: its AppID, ProgIDs, class key, the browser's
// pre-approval key and its type library. Registration runs under the system-default thread locale.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace tarnel {

inline constexpr LCID kRegistrationLocale = 0x0800;  // system default

// Registers the server at modulePath (its InprocServer32 path and the file holding TYPELIB 1). Stops at the
// first failing step and returns its HRESULT. afterStep, when given, runs after every step that succeeded,
// still under the registration locale.
HRESULT RegisterServer(const std::wstring& modulePath, const std::function<void()>& afterStep = {});
// Removes what is there of what RegisterServer wrote, keeping the shared parent keys; a key already gone is
// no failure, so it succeeds once nothing of it is left (after a partial removal, a second time, or when it
// was never registered). Stops at the first key it cannot remove; afterStep as above.
HRESULT UnregisterServer(const std::wstring& modulePath, const std::function<void()>& afterStep = {});

}  // namespace tarnel
