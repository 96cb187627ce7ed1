// The server module: DLL entry, class objects, unload rule, and self-registration. Marshalling of the dual
// interface goes through the registered type library, so there is no proxy/stub code of our own to register.
#include <windows.h>

#include <olectl.h>

#include "browserctl/browser_helper_ax.h"
#include "browserctl/com_module.h"
#include "browserctl/option_store.h"
#include "browserctl/server_registration.h"
#include "browserctl/tarnel.h"

using namespace tarnel;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    // The module's state is built on first use, here at process attach: a start-up that failed refuses the
    // load rather than serve a class factory without its lock.
    Module().SetInstance(instance);
    if (reason == DLL_PROCESS_ATTACH) return Module().Initialized() ? TRUE : FALSE;
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

extern "C" HRESULT WINAPI DllRegisterServer() { return RegisterServer(GetModulePath(ThisModule())); }

extern "C" HRESULT WINAPI DllUnregisterServer() { return UnregisterServer(GetModulePath(ThisModule())); }
