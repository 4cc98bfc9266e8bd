// Counts the clock's timer ticks from outside its process (see
// tick_probe_hook.cpp, the hook that does the counting inside it).
#pragma once

#include <windows.h>

constexpr char TICK_PROBE_MAPPING[] = "VelmoraTickProbe";
constexpr UINT_PTR TICK_PROBE_TIMER_ID = 100;  // the clock's own timer

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

private:
    HANDLE mapping_ = nullptr;
    volatile LONG* counter_ = nullptr;
    HMODULE module_ = nullptr;
    HHOOK hook_ = nullptr;
};
