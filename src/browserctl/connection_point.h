// Outgoing-interface plumbing: a connection point whose sinks live in numbered slots (cookie = slot + 1),
// enumerators for connections and connection points, and helpers to advise a sink on another object.
#pragma once

#include <windows.h>

#include <ocidl.h>

#include <vector>

#include "browserctl/com_ptr.h"

namespace tarnel {

// Lives inside its container object and shares its reference count.
class ConnectionPoint : public IConnectionPoint {
public:
    ConnectionPoint(IUnknown* owner, REFIID iid) : owner_(owner), iid_(iid) {}
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;
    virtual ~ConnectionPoint();

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** out) override;

    REFIID Iid() const { return iid_; }
    // Slots are read by index on every pass: a sink may advise or unadvise while it is being called.
    size_t SlotCount() const { return sinks_.size(); }
    ComPtr<IUnknown> Sink(size_t slot) const {
        return slot < sinks_.size() ? ComPtr<IUnknown>(sinks_[slot]) : ComPtr<IUnknown>();
    }
    // Releases every sink (the owner is going away).
    void Clear();

private:
    IUnknown* owner_;
    IID iid_;
    std::vector<IUnknown*> sinks_;  // each holds a reference; null = empty slot
};

HRESULT CreateEnumConnections(const std::vector<CONNECTDATA>& items, IEnumConnections** out);
HRESULT CreateEnumConnectionPoints(const std::vector<IConnectionPoint*>& items, IEnumConnectionPoints** out);

// Advises sink on the connection point for iid of source; *cookie is 0 on failure.
HRESULT AdviseSink(IUnknown* source, REFIID iid, IUnknown* sink, DWORD* cookie);
HRESULT UnadviseSink(IUnknown* source, REFIID iid, DWORD cookie);

}  // namespace tarnel
