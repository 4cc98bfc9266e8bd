// A message hook that Windows loads into the clock's process: it counts the
// clock timer's ticks in a named shared counter, so tests can see the clock
// keep ticking while a menu or dialog runs its own modal loop, and, when the
// test holds them, turns them into WM_NULL before the clock sees them.
#include <windows.h>

#include "tick_probe.h"

extern "C" __declspec(dllexport) LRESULT CALLBACK
CountClockTicks(int code, WPARAM wParam, LPARAM lParam) {
    MSG* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE &&
        message->message == WM_TIMER &&
        message->wParam == TICK_PROBE_TIMER_ID) {
        HANDLE mapping =
            OpenFileMappingA(FILE_MAP_WRITE, FALSE, TICK_PROBE_MAPPING);
        if (mapping != nullptr) {
            TickProbeState* state = static_cast<TickProbeState*>(MapViewOfFile(
                mapping, FILE_MAP_WRITE, 0, 0, sizeof(TickProbeState)));
            if (state != nullptr) {
                InterlockedIncrement(&state->ticks);
                if (state->held != 0) {
                    message->message = WM_NULL;
                }
                UnmapViewOfFile(state);
            }
            CloseHandle(mapping);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
