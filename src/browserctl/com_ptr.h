// Owning holders for COM interface pointers, BSTRs and VARIANTs, so every reference and every string the
// control receives from the browser is released on every path.
#pragma once

#include <windows.h>

#include <oleauto.h>
#include <unknwn.h>

#include <utility>

namespace tarnel {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference to p.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~ComPtr() { Reset(); }
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases what is held first.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Release() { return std::exchange(p_, nullptr); }
    void Reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Adopts a reference the caller already owns.
    void Attach(T* p) {
        Reset();
        p_ = p;
    }
    template <typename U>
    HRESULT As(ComPtr<U>& out) const {
        if (!p_) return E_NOINTERFACE;
        return p_->QueryInterface(__uuidof(U), out.PutVoid());
    }
    HRESULT CopyTo(T** out) const {
        if (!out) return E_POINTER;
        *out = p_;
        if (p_) p_->AddRef();
        return S_OK;
    }

private:
    T* p_ = nullptr;
};

// True when both pointers lead to the same COM object (identity through IUnknown), or both are null.
bool SameObject(IUnknown* a, IUnknown* b);

class BStr {
public:
    BStr() = default;
    explicit BStr(const wchar_t* s) : s_(s ? SysAllocString(s) : nullptr) {}
    BStr(const wchar_t* s, UINT len) : s_(SysAllocStringLen(s, len)) {}
    BStr(const BStr&) = delete;
    BStr& operator=(const BStr&) = delete;
    BStr(BStr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
    BStr& operator=(BStr&& o) noexcept {
        if (this != &o) Attach(o.Release());
        return *this;
    }
    ~BStr() { SysFreeString(s_); }

    BSTR Get() const { return s_; }
    BSTR* Put() {
        Reset();
        return &s_;
    }
    BSTR Release() { return std::exchange(s_, nullptr); }
    void Reset() { SysFreeString(std::exchange(s_, nullptr)); }
    void Attach(BSTR s) {
        SysFreeString(s_);
        s_ = s;
    }
    UINT Length() const { return SysStringLen(s_); }
    bool Empty() const { return Length() == 0; }
    // Never null, for APIs that want a C string.
    const wchar_t* CStr() const { return s_ ? s_ : L""; }

private:
    BSTR s_ = nullptr;
};

class Variant {
public:
    Variant() { VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v_); }
    VARIANT* Get() { return &v_; }
    const VARIANT* Get() const { return &v_; }
    VARIANT* operator->() { return &v_; }
    // Cleared first, for out-parameters.
    VARIANT* Put() {
        VariantClear(&v_);
        return &v_;
    }

private:
    VARIANT v_;
};

}  // namespace tarnel
