// Enumerators take a snapshot with their own references, so they stay valid whatever the sinks do later.
#include "browserctl/connection_point.h"

#include <olectl.h>

#include <atomic>
#include <new>

namespace tarnel {
namespace {

struct ConnectDataTraits {
    static void Copy(CONNECTDATA& to, const CONNECTDATA& from) {
        to = from;
        if (to.pUnk) to.pUnk->AddRef();
    }
    static void Destroy(CONNECTDATA& item) {
        if (item.pUnk) item.pUnk->Release();
    }
};

struct PointTraits {
    static void Copy(IConnectionPoint*& to, IConnectionPoint* const& from) {
        to = from;
        if (to) to->AddRef();
    }
    static void Destroy(IConnectionPoint*& item) {
        if (item) item->Release();
    }
};

template <typename IEnum, typename Item, typename Traits>
class Enumerator final : public IEnum {
public:
    static HRESULT Create(const std::vector<Item>& items, size_t position, IEnum** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        auto* e = new (std::nothrow) Enumerator();
        if (!e) return E_OUTOFMEMORY;
        try {
            e->items_.resize(items.size());
        } catch (...) {
            delete e;
            return E_OUTOFMEMORY;
        }
        for (size_t i = 0; i < items.size(); ++i) Traits::Copy(e->items_[i], items[i]);
        e->position_ = position;
        *out = e;
        return S_OK;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == __uuidof(IEnum)) {
            *out = static_cast<IEnum*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
        if (!out || (count > 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        while (n < count && position_ < items_.size()) Traits::Copy(out[n++], items_[position_++]);
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        size_t left = items_.size() - position_;
        position_ += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnum** out) override { return Create(items_, position_, out); }

private:
    Enumerator() = default;
    ~Enumerator() {
        for (Item& item : items_) Traits::Destroy(item);
    }
    std::atomic<ULONG> refs_{1};
    std::vector<Item> items_;
    size_t position_ = 0;
};

}  // namespace

HRESULT CreateEnumConnections(const std::vector<CONNECTDATA>& items, IEnumConnections** out) {
    return Enumerator<IEnumConnections, CONNECTDATA, ConnectDataTraits>::Create(items, 0, out);
}

HRESULT CreateEnumConnectionPoints(const std::vector<IConnectionPoint*>& items, IEnumConnectionPoints** out) {
    return Enumerator<IEnumConnectionPoints, IConnectionPoint*, PointTraits>::Create(items, 0, out);
}

ConnectionPoint::~ConnectionPoint() { Clear(); }

void ConnectionPoint::Clear() {
    std::vector<IUnknown*> sinks;
    sinks.swap(sinks_);
    for (IUnknown* sink : sinks) {
        if (sink) sink->Release();
    }
}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
    if (!out) return E_POINTER;
    return owner_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(out));
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (cookie) *cookie = 0;
    if (!sink || !cookie) return E_POINTER;
    IUnknown* held = nullptr;
    HRESULT hr = sink->QueryInterface(iid_, reinterpret_cast<void**>(&held));
    if (hr == E_NOINTERFACE) return CONNECT_E_CANNOTCONNECT;
    if (FAILED(hr)) return hr;
    if (!held) return CONNECT_E_CANNOTCONNECT;
    size_t slot = 0;
    while (slot < sinks_.size() && sinks_[slot]) ++slot;
    try {
        if (slot >= 0xFFFFFFFEu) throw std::bad_alloc();
        if (slot == sinks_.size()) sinks_.push_back(nullptr);
    } catch (...) {
        held->Release();
        return CONNECT_E_ADVISELIMIT;
    }
    sinks_[slot] = held;
    *cookie = static_cast<DWORD>(slot + 1);
    return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
    if (cookie == 0 || cookie > sinks_.size() || !sinks_[cookie - 1]) return CONNECT_E_NOCONNECTION;
    IUnknown* sink = sinks_[cookie - 1];
    sinks_[cookie - 1] = nullptr;
    sink->Release();
    return S_OK;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
        std::vector<CONNECTDATA> items;
        for (size_t i = 0; i < sinks_.size(); ++i) {
            if (sinks_[i]) items.push_back(CONNECTDATA{sinks_[i], static_cast<DWORD>(i + 1)});
        }
        return CreateEnumConnections(items, out);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

namespace {

HRESULT FindPoint(IUnknown* source, REFIID iid, ComPtr<IConnectionPoint>& point) {
    if (!source) return E_POINTER;
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
    if (FAILED(hr)) return hr;
    return container->FindConnectionPoint(iid, point.Put());
}

}  // namespace

HRESULT AdviseSink(IUnknown* source, REFIID iid, IUnknown* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    ComPtr<IConnectionPoint> point;
    HRESULT hr = FindPoint(source, iid, point);
    return FAILED(hr) ? hr : point->Advise(sink, cookie);
}

HRESULT UnadviseSink(IUnknown* source, REFIID iid, DWORD cookie) {
    ComPtr<IConnectionPoint> point;
    HRESULT hr = FindPoint(source, iid, point);
    return FAILED(hr) ? hr : point->Unadvise(cookie);
}

}  // namespace tarnel
