// RAII for the painting, COM and shell objects a dialog uses, so that every
// way out of a handler releases them.
#pragma once

#include "platform/Win32.h"
#include <shlobj.h>

// BeginPaint .. EndPaint of one WM_PAINT.
class PaintDC {
public:
    explicit PaintDC(HWND window) : m_hWnd(window) { m_hDC = ::BeginPaint(window, &m_paint); }
    ~PaintDC() { ::EndPaint(m_hWnd, &m_paint); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;

    HDC GetHandle() const { return m_hDC; }

private:
    HWND m_hWnd;
    PAINTSTRUCT m_paint{};
    HDC m_hDC = nullptr;
};

// One reference to a COM object, released at the end of its scope.
template <class Interface>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr()
    {
        if (m_p) {
            m_p->Release();
        }
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    // For a call that delivers a new reference; the pointer must be empty.
    Interface** Receive() { return &m_p; }
    Interface* Get() const { return m_p; }
    Interface* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    Interface* m_p = nullptr;
};

// A shell item list, freed with the allocator it came from. That allocator
// must outlive this object.
class ItemIdList {
public:
    ItemIdList(IMalloc& allocator, PIDLIST_ABSOLUTE list) : m_allocator(allocator), m_list(list) {}
    ~ItemIdList() { m_allocator.Free(m_list); }
    ItemIdList(const ItemIdList&) = delete;
    ItemIdList& operator=(const ItemIdList&) = delete;

    PIDLIST_ABSOLUTE Get() const { return m_list; }
    explicit operator bool() const { return m_list != nullptr; }

private:
    IMalloc& m_allocator;
    PIDLIST_ABSOLUTE m_list;
};

// COM on this thread as a single-threaded apartment, for as long as the object
// lives: the shell's folder browser needs it.
class ComApartment {
public:
    ComApartment() : m_initialised(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment()
    {
        if (m_initialised) {
            ::CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool m_initialised;
};
