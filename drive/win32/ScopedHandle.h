// Owning wrappers for the platform's handles and heap blocks, so that every
// path out of an operation releases them. Each handle kind names its invalid
// value and how it is closed; no copies, explicit Take().
#pragma once

#include <utility>

#include "drive/win32/FloppyPlatform.h"

template <typename Traits>
class ScopedHandle {
public:
    using Handle = typename Traits::Handle;

    ScopedHandle() = default;
    explicit ScopedHandle(Handle h) : m_h(h) {}
    ~ScopedHandle() { Reset(); }

    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : m_h(other.Take()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_h = other.Take();
        }
        return *this;
    }

    Handle Get() const { return m_h; }
    bool IsValid() const { return Traits::IsValid(m_h); }
    explicit operator bool() const { return IsValid(); }

    Handle Take()
    {
        return std::exchange(m_h, Traits::Invalid());
    }

    void Reset(Handle h = Traits::Invalid())
    {
        if (Traits::IsValid(m_h)) {
            Traits::Close(m_h);
        }
        m_h = h;
    }

private:
    Handle m_h = Traits::Invalid();
};

// A kernel handle closed through the current platform. CreateFile fails with
// INVALID_HANDLE_VALUE and CreateEvent with NULL: both count as empty.
struct PlatformHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CurrentPlatform().CloseHandle(h); }
};

// A block from the platform's process heap.
struct PlatformHeapTraits {
    using Handle = void*;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle p) { return p != nullptr; }
    static void Close(Handle p) { CurrentPlatform().HeapFree(p); }
};

using ScopedPlatformHandle = ScopedHandle<PlatformHandleTraits>;
using ScopedHeapBlock = ScopedHandle<PlatformHeapTraits>;

#ifdef _WIN32
// A handle of the real Win32 layer itself, closed by ::CloseHandle directly:
// the current platform may be a test's, which never made it.
struct Win32HandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};

using ScopedWin32Handle = ScopedHandle<Win32HandleTraits>;
#endif
