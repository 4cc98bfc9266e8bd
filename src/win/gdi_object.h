// Owning wrappers for GDI objects and menus: each handle has one owner that
// frees it before taking a successor and when its window closes. Copying is
// disabled so no handle is ever freed twice.
#pragma once

#include <windows.h>

// The owners are globals, and there is no destructor on purpose: a global's
// destructor is registered by start-up code that the program's own entry
// point does not run (the link checks that no global needs any). The windows
// release their objects when they close.
template <typename Handle, BOOL(WINAPI* Free)(Handle)>
class OwnedHandle {
public:
    OwnedHandle() = default;
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    Handle Get() const { return handle_; }

    // Frees the handle held, if any. Call before creating the successor so
    // that the old and the new object never exist together.
    void Release() {
        if (handle_ != nullptr) {
            Free(handle_);
            handle_ = nullptr;
        }
    }

    void Adopt(Handle handle) {
        Release();
        handle_ = handle;
    }

private:
    Handle handle_ = nullptr;
};

// Our own functions, not the imported ones: the address of a DLL import is
// not a constant that a template argument may take.
inline BOOL WINAPI FreeFont(HFONT font) { return DeleteObject(font); }
inline BOOL WINAPI FreeBrush(HBRUSH brush) { return DeleteObject(brush); }
inline BOOL WINAPI FreeMenu(HMENU menu) { return DestroyMenu(menu); }

typedef OwnedHandle<HFONT, FreeFont> FontHandle;
typedef OwnedHandle<HBRUSH, FreeBrush> BrushHandle;
typedef OwnedHandle<HMENU, FreeMenu> MenuHandle;
