// Puts a function of a test's own in place of one a module imports, in that
// module's import table, so that the module's own calls go through it (the
// system's calls made on its behalf do not). The end-to-end probe does this
// inside the clock's process, the soak in its own.
#pragma once

#include <windows.h>

#include <cstring>

// Replaces `name` of `dll` in the import table of `module` with
// `replacement`; the function it replaced, or null if the module imports
// no such function.
inline void* PatchImport(HMODULE module, const char* dll, const char* name,
                         void* replacement) {
    BYTE* base = reinterpret_cast<BYTE*>(module);
    const IMAGE_NT_HEADERS* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) {
        return nullptr;
    }
    for (const IMAGE_IMPORT_DESCRIPTOR* imported =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
                 base + directory.VirtualAddress);
         imported->Name != 0; ++imported) {
        if (imported->OriginalFirstThunk == 0 ||
            lstrcmpiA(reinterpret_cast<const char*>(base + imported->Name),
                      dll) != 0) {
            continue;
        }
        const IMAGE_THUNK_DATA* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
            base + imported->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots =
            reinterpret_cast<IMAGE_THUNK_DATA*>(base + imported->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                std::strcmp(reinterpret_cast<const char*>(
                                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(
                                    base + names->u1.AddressOfData)->Name),
                            name) != 0) {
                continue;
            }
            // The table may share a page with code: keep it executable.
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function,
                           PAGE_EXECUTE_READWRITE, &protection);
            void* replaced = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function,
                           protection, &protection);
            return replaced;
        }
    }
    return nullptr;
}
