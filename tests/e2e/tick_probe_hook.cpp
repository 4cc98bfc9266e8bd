// A message hook that Windows loads into the clock's process: it counts the
// clock timer's ticks in a named shared counter, so tests can see the clock
// keep ticking while a menu or dialog runs its own modal loop.
#include <windows.h>

#include "tick_probe.h"

extern "C" __declspec(dllexport) LRESULT CALLBACK
CountClockTicks(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE &&
        message->message == WM_TIMER &&
        message->wParam == TICK_PROBE_TIMER_ID) {
        HANDLE mapping =
            OpenFileMappingA(FILE_MAP_WRITE, FALSE, TICK_PROBE_MAPPING);
        if (mapping != nullptr) {
            LONG* counter = static_cast<LONG*>(
                MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
            if (counter != nullptr) {
                InterlockedIncrement(counter);
                UnmapViewOfFile(counter);
            }
            CloseHandle(mapping);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
