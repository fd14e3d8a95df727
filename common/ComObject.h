// The one way a COM object is built here, in the product, the stand-ins and
// the tests. A class derives from ComObject<Itself, Interface...> and gets:
// - QueryInterface from its interface list: each interface's own IID, IUnknown,
//   and IDispatch for the first dual interface listed; a class may answer more
//   (an event interface chosen at run time) with a QueryOther member;
// - an atomic reference count, starting at one, that deletes the object when
//   the last reference goes;
// - a place in its module's count of live objects, for DllCanUnloadNow and
//   the stand-ins' report of objects still alive.
// CreateInstance and MakeObject create an object and hand on its first reference.
#pragma once

#include "module.h"
#include "result.h"

#include <unknwn.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <new>
#include <type_traits>
#include <utility>

namespace qs {

template <typename Derived, typename First, typename... Rest>
class ComObject : public First, public Rest... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = Find(iid);
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(::InterlockedIncrement(&refs_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = ::InterlockedDecrement(&refs_);
        if (left == 0) delete static_cast<Derived*>(this);
        return static_cast<ULONG>(left);
    }

protected:
    ComObject() noexcept { ::InterlockedIncrement(&ModuleObjectCount()); }
    ~ComObject() { ::InterlockedDecrement(&ModuleObjectCount()); }

    // Interfaces beyond the list; hidden by a class that answers more.
    void* QueryOther(REFIID) noexcept { return nullptr; }

private:
    void* Find(REFIID iid) noexcept {
        if (iid == IID_IUnknown) return static_cast<First*>(this);
        if (void* listed = FindListed<First, Rest...>(iid)) return listed;
        if (iid == IID_IDispatch)
            if (void* dual = FirstDual<First, Rest...>()) return dual;
        return static_cast<Derived*>(this)->QueryOther(iid);
    }
    template <typename Interface, typename... Others> void* FindListed(REFIID iid) noexcept {
        if (iid == __uuidof(Interface)) return static_cast<Interface*>(this);
        if constexpr (sizeof...(Others) > 0) return FindListed<Others...>(iid);
        return nullptr;
    }
    template <typename Interface, typename... Others> void* FirstDual() noexcept {
        if constexpr (std::is_base_of_v<IDispatch, Interface>) return static_cast<Interface*>(this);
        if constexpr (sizeof...(Others) > 0) return FirstDual<Others...>();
        return nullptr;
    }

    LONG refs_ = 1;
};

// Creates an object and hands its first reference to a ComPtr. (MinGW-w64's
// ComPtr::Attach adds a reference, unlike the Windows SDK's: never Attach a
// new object.) Throws std::bad_alloc when memory runs out.
template <typename T, typename... Args> Microsoft::WRL::ComPtr<T> MakeObject(Args&&... args) {
    T* created = new T(std::forward<Args>(args)...);
    Microsoft::WRL::ComPtr<T> object(created);
    created->Release();
    return object;
}

// Creates an object and asks it for `iid`: a class's create function.
template <typename T, typename... Args>
HRESULT CreateInstance(REFIID iid, void** object, Args&&... args) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    try {
        return MakeObject<T>(std::forward<Args>(args)...)->QueryInterface(iid, object);
    }
    QS_CATCH_RETURN()
}

} // namespace qs

namespace qs {

// The base of an event sink: a dispatch object for one event interface,
// chosen at run time, that describes nothing of itself (the event interface
// belongs to the source). A sink derives from it and implements Invoke.
template <typename Derived> class DispatchSink : public ComObject<Derived, IDispatch> {
public:
    // Answers `events` besides IUnknown and IDispatch; IID_NULL answers for none.
    explicit DispatchSink(REFIID events) noexcept : events_(events) {}

    void* QueryOther(REFIID iid) noexcept {
        return iid == events_ && iid != IID_NULL ? static_cast<IDispatch*>(this) : nullptr;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }

protected:
    const IID& Events() const noexcept { return events_; }

private:
    IID events_;
};

} // namespace qs
