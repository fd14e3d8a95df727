// Reference counting and live-object bookkeeping shared by every stand-in
// object. Each module that links this library has its own count, which the
// host reports as `live objects` (its own plus the MAPI library's).
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <utility>

namespace qs::standin {

inline LONG& live_object_count() noexcept {
    static LONG count = 0;
    return count;
}

// Counts one live object for as long as it exists; a base of every stand-in
// class, so that a reference still held anywhere shows up in the count.
class LiveObject {
public:
    LiveObject() noexcept { ::InterlockedIncrement(&live_object_count()); }
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;
    ~LiveObject() { ::InterlockedDecrement(&live_object_count()); }
};

class RefCount {
public:
    ULONG add() noexcept { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    ULONG release() noexcept { return static_cast<ULONG>(::InterlockedDecrement(&refs_)); }

private:
    LONG refs_ = 1;
};

// Creates a COM object (reference count 1) and hands that reference to a
// ComPtr. MinGW-w64's ComPtr::Attach adds a reference, unlike the Windows
// SDK's, so Attach(new T) would leak one: never use it for a new object.
template <typename T, typename... Args> Microsoft::WRL::ComPtr<T> make_object(Args&&... args) {
    T* created = new T(std::forward<Args>(args)...);
    Microsoft::WRL::ComPtr<T> object(created); // adds a reference
    created->Release();
    return object;
}

} // namespace qs::standin

// AddRef and Release of a final class that owns a RefCount member named refs_
// and is deleted when the last reference goes.
#define QS_IMPLEMENT_REFCOUNT()                                                                    \
    ULONG STDMETHODCALLTYPE AddRef() override {                                                    \
        return refs_.add();                                                                        \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE Release() override {                                                   \
        const ULONG left = refs_.release();                                                        \
        if (left == 0) delete this;                                                                \
        return left;                                                                               \
    }
