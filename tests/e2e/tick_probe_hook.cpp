// A message hook that Windows loads into the clock's process: it counts the
// clock timer's ticks in a named shared counter, so tests can see the clock
// keep ticking while a menu or dialog runs its own modal loop, and, when the
// test holds them, turns them into WM_NULL before the clock sees them.
//
// Loaded into the clock, it also puts recorders in the clock's import table
// in front of the calls whose records and flags Windows checks while Wine
// may let a wrong one pass: the lookups by name (and the dialogs and the
// pointer reading found that way), the activation-context calls, the
// position changes and the timers' periods. Each
// recorder writes what it was given to the shared record, then makes the
// real call.
#include <windows.h>
#include <commdlg.h>

#include <cstring>

#include "import_patch.h"
#include "tick_probe.h"

namespace {

constexpr char PROGRAM_NAME[] = "velmora.exe";

// Runs `write` on the shared state, if the test has one open.
template <typename Write>
void WithState(Write write) {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, TICK_PROBE_MAPPING);
    if (mapping == nullptr) {
        return;
    }
    TickProbeState* state = static_cast<TickProbeState*>(
        MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(TickProbeState)));
    if (state != nullptr) {
        write(state);
        UnmapViewOfFile(state);
    }
    CloseHandle(mapping);
}

// Through void*: function pointers of other signatures.
template <typename To, typename From>
To Cast(From function) {
    return reinterpret_cast<To>(reinterpret_cast<void*>(function));
}

typedef FARPROC(WINAPI* GetProcAddressFunction)(HMODULE, LPCSTR);
typedef BOOL(WINAPI* ChooseFontFunction)(CHOOSEFONTA*);
typedef BOOL(WINAPI* ChooseColorFunction)(CHOOSECOLORA*);
typedef HANDLE(WINAPI* CreateActCtxFunction)(const ACTCTXA*);
typedef BOOL(WINAPI* ActivateActCtxFunction)(HANDLE, ULONG_PTR*);
typedef BOOL(WINAPI* DeactivateActCtxFunction)(DWORD, ULONG_PTR);
typedef void(WINAPI* ReleaseActCtxFunction)(HANDLE);
typedef BOOL(WINAPI* SetWindowPosFunction)(HWND, HWND, int, int, int, int,
                                           UINT);
typedef COLORREF(WINAPI* SetBkColorFunction)(HDC, COLORREF);
typedef BOOL(WINAPI* SystemParametersInfoFunction)(UINT, UINT, void*, UINT);
typedef UINT_PTR(WINAPI* SetTimerFunction)(HWND, UINT_PTR, UINT, TIMERPROC);
typedef BOOL(WINAPI* PointerPositionFunction)(POINT*);

GetProcAddressFunction realGetProcAddress;
ChooseFontFunction realChooseFont;
ChooseColorFunction realChooseColor;
CreateActCtxFunction realCreateActCtx;
ActivateActCtxFunction realActivateActCtx;
DeactivateActCtxFunction realDeactivateActCtx;
ReleaseActCtxFunction realReleaseActCtx;
SetWindowPosFunction realSetWindowPos;
SetBkColorFunction realSetBkColor;
SystemParametersInfoFunction realSystemParametersInfo;
SetTimerFunction realSetTimer;
PointerPositionFunction realGetPhysicalCursorPos;

BOOL WINAPI RecordChooseFont(CHOOSEFONTA* dialog) {
    WithState([dialog](TickProbeState* state) {
        CallRecord& calls = state->calls;
        ++calls.fontDialogs;
        calls.fontDialog = *dialog;
        if (dialog->lpLogFont != nullptr) {
            calls.fontDialogFont = *dialog->lpLogFont;
        }
    });
    return realChooseFont(dialog);
}

BOOL WINAPI RecordChooseColor(CHOOSECOLORA* dialog) {
    WithState([dialog](TickProbeState* state) {
        CallRecord& calls = state->calls;
        ++calls.colourDialogs;
        calls.colourDialog = *dialog;
        if (dialog->lpCustColors != nullptr) {
            std::memcpy(calls.customColours, dialog->lpCustColors,
                        sizeof calls.customColours);
        }
    });
    return realChooseColor(dialog);
}

// Wine, like an unscaled Windows display, gives GetCursorPos's point too:
// only the call tells the physical position was read.
BOOL WINAPI RecordGetPhysicalCursorPos(POINT* pointer) {
    WithState(
        [](TickProbeState* state) { ++state->calls.physicalPointerReads; });
    return realGetPhysicalCursorPos(pointer);
}

// The dialogs are looked up by name too: their recorders are handed out
// in their place.
FARPROC WINAPI RecordGetProcAddress(HMODULE module, LPCSTR name) {
    FARPROC found = realGetProcAddress(module, name);
    if (IS_INTRESOURCE(name)) {
        return found;
    }
    WithState([name, found](TickProbeState* state) {
        CallRecord& calls = state->calls;
        if (calls.lookups < RECORDED_LOOKUPS) {
            RecordedLookup& lookup = calls.lookup[calls.lookups];
            lstrcpynA(lookup.name, name, RECORDED_NAME_SIZE);
            lookup.found = found != nullptr;
        }
        ++calls.lookups;
    });
    if (found != nullptr && std::strcmp(name, "ChooseFontA") == 0) {
        realChooseFont = Cast<ChooseFontFunction>(found);
        return Cast<FARPROC>(&RecordChooseFont);
    }
    if (found != nullptr && std::strcmp(name, "ChooseColorA") == 0) {
        realChooseColor = Cast<ChooseColorFunction>(found);
        return Cast<FARPROC>(&RecordChooseColor);
    }
    if (found != nullptr && std::strcmp(name, "GetPhysicalCursorPos") == 0) {
        realGetPhysicalCursorPos = Cast<PointerPositionFunction>(found);
        return Cast<FARPROC>(&RecordGetPhysicalCursorPos);
    }
    return found;
}

HANDLE WINAPI RecordCreateActCtx(const ACTCTXA* request) {
    HANDLE context = realCreateActCtx(request);
    WithState([request, context](TickProbeState* state) {
        ++state->calls.contextsCreated;
        state->calls.context = *request;
        state->calls.createdContext = context;
    });
    return context;
}

BOOL WINAPI RecordActivateActCtx(HANDLE context, ULONG_PTR* cookie) {
    BOOL done = realActivateActCtx(context, cookie);
    WithState([context, cookie, done](TickProbeState* state) {
        ++state->calls.activations;
        state->calls.activatedContext = context;
        state->calls.activationCookie = done ? *cookie : 0;
    });
    return done;
}

BOOL WINAPI RecordDeactivateActCtx(DWORD flags, ULONG_PTR cookie) {
    BOOL done = realDeactivateActCtx(flags, cookie);
    WithState([flags, cookie, done](TickProbeState* state) {
        ++state->calls.deactivations;
        state->calls.deactivationFlags = flags;
        state->calls.deactivatedCookie = cookie;
        state->calls.deactivationsRefused += done ? 0 : 1;
    });
    return done;
}

void WINAPI RecordReleaseActCtx(HANDLE context) {
    WithState([](TickProbeState* state) { ++state->calls.contextsReleased; });
    realReleaseActCtx(context);
}

BOOL WINAPI RecordSetWindowPos(HWND hwnd, HWND insertAfter, int x, int y,
                               int width, int height, UINT flags) {
    WithState([insertAfter, flags](TickProbeState* state) {
        ++state->calls.positionChanges;
        state->calls.positionInsertAfter = insertAfter;
        state->calls.positionFlags = flags;
    });
    return realSetWindowPos(hwnd, insertAfter, x, y, width, height, flags);
}

// A period wrong by half still samples and ticks; only its cost shows.
UINT_PTR WINAPI RecordSetTimer(HWND hwnd, UINT_PTR id, UINT period,
                               TIMERPROC callback) {
    WithState([period](TickProbeState* state) {
        ++state->calls.timersSet;
        state->calls.timerPeriod = period;
    });
    return realSetTimer(hwnd, id, period, callback);
}

// The colour the label's text is drawn on: the pixels the tests read do not
// tell it from the brush's, so the call itself is recorded.
COLORREF WINAPI RecordSetBkColor(HDC hdc, COLORREF colour) {
    WithState([colour](TickProbeState* state) {
        ++state->calls.backgroundColoursSet;
        state->calls.backgroundColour = colour;
    });
    return realSetBkColor(hdc, colour);
}

BOOL WINAPI ReplaceWorkArea(UINT action, UINT number, void* data,
                            UINT update) {
    BOOL result = realSystemParametersInfo(action, number, data, update);
    if (action == SPI_GETWORKAREA) {
        WithState([data, &result](TickProbeState* state) {
            if (state->workAreaReplaced != 0) {
                *static_cast<RECT*>(data) = state->workArea;
                result = state->workAreaResult;
            }
        });
    }
    return result;
}

struct ImportPatch {
    const char* dll;
    const char* name;
    void* recorder;
    void** real;
};

// The recorders go in the program's own import table, so only its calls
// are seen, not those the system makes on its behalf.
void PatchImports(HMODULE program) {
    const ImportPatch patches[] = {
        {"kernel32.dll", "GetProcAddress", Cast<void*>(&RecordGetProcAddress),
         reinterpret_cast<void**>(&realGetProcAddress)},
        {"kernel32.dll", "CreateActCtxA", Cast<void*>(&RecordCreateActCtx),
         reinterpret_cast<void**>(&realCreateActCtx)},
        {"kernel32.dll", "ActivateActCtx", Cast<void*>(&RecordActivateActCtx),
         reinterpret_cast<void**>(&realActivateActCtx)},
        {"kernel32.dll", "DeactivateActCtx",
         Cast<void*>(&RecordDeactivateActCtx),
         reinterpret_cast<void**>(&realDeactivateActCtx)},
        {"kernel32.dll", "ReleaseActCtx", Cast<void*>(&RecordReleaseActCtx),
         reinterpret_cast<void**>(&realReleaseActCtx)},
        {"user32.dll", "SetWindowPos", Cast<void*>(&RecordSetWindowPos),
         reinterpret_cast<void**>(&realSetWindowPos)},
        {"gdi32.dll", "SetBkColor", Cast<void*>(&RecordSetBkColor),
         reinterpret_cast<void**>(&realSetBkColor)},
        {"user32.dll", "SystemParametersInfoA", Cast<void*>(&ReplaceWorkArea),
         reinterpret_cast<void**>(&realSystemParametersInfo)},
        {"user32.dll", "SetTimer", Cast<void*>(&RecordSetTimer),
         reinterpret_cast<void**>(&realSetTimer)},
    };
    for (const ImportPatch& patch : patches) {
        *patch.real = PatchImport(program, patch.dll, patch.name, patch.recorder);
    }
}

bool InTheClock() {
    char path[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const char* name = path + length;
    while (name > path && name[-1] != '\\' && name[-1] != '/') {
        --name;
    }
    return lstrcmpiA(name, PROGRAM_NAME) == 0;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
CountClockTicks(int code, WPARAM wParam, LPARAM lParam) {
    MSG* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE &&
        message->message == WM_TIMER &&
        message->wParam == TICK_PROBE_TIMER_ID) {
        WithState([message](TickProbeState* state) {
            InterlockedIncrement(&state->ticks);
            if (state->held != 0) {
                message->message = WM_NULL;
            }
        });
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH || !InTheClock()) {
        return TRUE;
    }
    // The recorders must outlive the hook: the clock may be inside one (a
    // dialog's modal loop) when the test removes it, and the system would
    // then unload this DLL under it.
    HMODULE pinned = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN |
                           GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(self), &pinned);
    HMODULE program = GetModuleHandleA(nullptr);
    PatchImports(program);
    WithState([program](TickProbeState* state) {
        state->calls.program = program;
        state->calls.recording = 1;
    });
    return TRUE;
}
