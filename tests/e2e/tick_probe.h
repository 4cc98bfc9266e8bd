// Counts the clock's timer ticks from outside its process, and can hold them
// back (see tick_probe_hook.cpp, the hook that does this inside it).
#pragma once

#include <windows.h>

constexpr char TICK_PROBE_MAPPING[] = "VelmoraTickProbe";
constexpr UINT_PTR TICK_PROBE_TIMER_ID = 100;  // the clock's own timer

// What the test and the hook share.
struct TickProbeState {
    LONG ticks;
    LONG held;  // non-zero: the clock's ticks are swallowed
};

class TickProbe {
public:
    // Starts counting the ticks of the clock window's thread.
    explicit TickProbe(HWND clock);
    ~TickProbe();
    TickProbe(const TickProbe&) = delete;
    TickProbe& operator=(const TickProbe&) = delete;

    bool Installed() const { return hook_ != nullptr; }
    LONG Count() const;
    // True once `ticks` more ticks have come, within the time-out.
    bool SeesTicks(LONG ticks);
    // While held, the clock's ticks reach the hook but not the clock, so
    // whatever it shows then, a command drew itself.
    void HoldTicks(bool held);

private:
    HANDLE mapping_ = nullptr;
    volatile TickProbeState* state_ = nullptr;
    HMODULE module_ = nullptr;
    HHOOK hook_ = nullptr;
};
