// The server module's shared state: the module handle, the lock count that keeps the DLL loaded, the type
// library loaded from the module's own resources, a generic class factory and a guard for the thread locale.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <unknwn.h>

#include <atomic>
#include <new>

#include "browserctl/com_ptr.h"

namespace tarnel {

class ComModule {
public:
    ComModule();
    ~ComModule();
    ComModule(const ComModule&) = delete;
    ComModule& operator=(const ComModule&) = delete;

    // False when the module's start-up failed; the DLL then refuses to load.
    bool Initialized() const { return initialized_; }
    // The handle DllMain was given; null where the code is linked into a program instead.
    HINSTANCE Instance() const { return instance_; }
    void SetInstance(HINSTANCE instance) { instance_ = instance; }

    long Lock() { return ++locks_; }
    long Unlock() { return --locks_; }
    long LockCount() const { return locks_; }

    // TYPELIB 1 of the module that holds this code, loaded on first use and kept.
    HRESULT GetTypeLib(ITypeLib** out);
    HRESULT GetTypeInfo(REFGUID guid, ITypeInfo** out);
    // Drops the cached type library (the module is being unloaded).
    void ReleaseTypeLib();

private:
    std::atomic<long> locks_{0};
    HINSTANCE instance_ = nullptr;
    bool initialized_ = false;
    CRITICAL_SECTION typeLibLock_;  // controls may live in several apartments
    ComPtr<ITypeLib> typeLib_;
};

ComModule& Module();

// Sets the thread locale for a scope and restores it on every path.
class LocaleGuard {
public:
    explicit LocaleGuard(LCID locale) : saved_(GetThreadLocale()) { SetThreadLocale(locale); }
    LocaleGuard(const LocaleGuard&) = delete;
    LocaleGuard& operator=(const LocaleGuard&) = delete;
    ~LocaleGuard() { SetThreadLocale(saved_); }

private:
    LCID saved_;
};

// A class factory for T, created with new and asked for an interface. Every reference to the factory counts
// in the module's lock count, as do LockServer calls.
template <typename T>
class ClassFactory final : public IClassFactory {
public:
    static HRESULT Create(REFIID riid, void** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        auto* factory = new (std::nothrow) ClassFactory();
        if (!factory) return E_OUTOFMEMORY;
        HRESULT hr = factory->QueryInterface(riid, out);
        factory->Release();
        return hr;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        Module().Lock();
        return ++refs_;
    }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG n = --refs_;
        Module().Unlock();
        if (n == 0) delete this;
        return n;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (out) *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (!out) return E_POINTER;
        try {
            return T::CreateInstance(riid, out);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            Module().Lock();
        } else {
            Module().Unlock();
        }
        return S_OK;
    }

private:
    ClassFactory() : refs_(1) { Module().Lock(); }
    ~ClassFactory() = default;
    std::atomic<ULONG> refs_;
};

}  // namespace tarnel
