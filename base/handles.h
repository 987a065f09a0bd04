// Move-only owners for the platform handles the program opens, so that every
// return path closes what it opened. The public operations stay plain functions
// over raw handles; these live inside them.
#pragma once

#include <windows.h>
#include <winsvc.h>

template <typename Traits>
class UniqueAny {
public:
    using Type = typename Traits::Type;

    UniqueAny() = default;
    explicit UniqueAny(Type value) : value_(value) {}
    ~UniqueAny() { reset(); }

    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    Type get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::Invalid(); }

    Type release()
    {
        Type value = value_;
        value_ = Traits::Invalid();
        return value;
    }

    // Keeps the caller's last error: a cleanup must not hide why an operation failed.
    void reset(Type value = Traits::Invalid())
    {
        if (value_ != Traits::Invalid()) {
            DWORD error = GetLastError();
            Traits::Close(value_);
            SetLastError(error);
        }
        value_ = value;
    }

    // For out-parameters: drops the current value first, so a reused holder never leaks.
    Type* put()
    {
        reset();
        return &value_;
    }

private:
    Type value_ = Traits::Invalid();
};

template <typename T, auto CloseFn>
struct NullInvalidTraits {
    using Type = T;
    static Type Invalid() { return nullptr; }
    static void Close(Type value) { CloseFn(value); }
};

inline void CloseHeapBlock(void* block) { HeapFree(GetProcessHeap(), 0, block); }
inline void DeleteGdiObject(HGDIOBJ object) { DeleteObject(object); }

using UniqueKey = UniqueAny<NullInvalidTraits<HKEY, RegCloseKey>>;
using UniqueServiceHandle = UniqueAny<NullInvalidTraits<SC_HANDLE, CloseServiceHandle>>;
using UniqueMenu = UniqueAny<NullInvalidTraits<HMENU, DestroyMenu>>;
using UniqueGdiObject = UniqueAny<NullInvalidTraits<HGDIOBJ, DeleteGdiObject>>;
using UniqueFont = UniqueAny<NullInvalidTraits<HFONT, DeleteGdiObject>>;
using UniqueIcon = UniqueAny<NullInvalidTraits<HICON, DestroyIcon>>;
using UniqueHeapBlock = UniqueAny<NullInvalidTraits<void*, CloseHeapBlock>>;
using UniqueLocalBlock = UniqueAny<NullInvalidTraits<HLOCAL, LocalFree>>;
using UniqueHandle = UniqueAny<NullInvalidTraits<HANDLE, CloseHandle>>;
// A file's handle, which the platform gives as INVALID_HANDLE_VALUE for none.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type value) { CloseHandle(value); }
};
using UniqueFile = UniqueAny<FileHandleTraits>;
using UniqueMemoryDC = UniqueAny<NullInvalidTraits<HDC, DeleteDC>>;

// A window's device context pairs the DC with the window it must be released to.
class UniqueWindowDC {
public:
    explicit UniqueWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~UniqueWindowDC()
    {
        if (dc_)
            ReleaseDC(window_, dc_);
    }
    UniqueWindowDC(const UniqueWindowDC&) = delete;
    UniqueWindowDC& operator=(const UniqueWindowDC&) = delete;

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// Selects `object` into `dc` while alive and puts the previous object back; does
// nothing for a missing DC or object.
class UniqueSelectObject {
public:
    UniqueSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr)
    {
    }
    ~UniqueSelectObject()
    {
        if (previous_)
            SelectObject(dc_, previous_);
    }
    UniqueSelectObject(const UniqueSelectObject&) = delete;
    UniqueSelectObject& operator=(const UniqueSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A service with the manager connection it was opened through; both close together,
// the service first. `service` is empty when either open failed, and the thread's
// last error says why.
struct OpenedService {
    UniqueServiceHandle manager;
    UniqueServiceHandle service;
};

inline OpenedService OpenServiceByName(const wchar_t* name, DWORD access, DWORD managerAccess = GENERIC_READ)
{
    OpenedService opened;
    opened.manager.reset(OpenSCManagerW(nullptr, nullptr, managerAccess));
    if (opened.manager)
        opened.service.reset(OpenServiceW(opened.manager.get(), name, access));
    return opened;
}

// Heap block sized at run time, for the size-then-fill platform queries.
inline UniqueHeapBlock AllocateHeapBlock(SIZE_T bytes)
{
    return UniqueHeapBlock(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes ? bytes : 1));
}
