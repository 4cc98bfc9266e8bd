// Counts the clock's timer ticks from outside its process, can hold them
// back, and records what the clock passes to the calls whose records and
// flags Windows checks and Wine may let pass (see tick_probe_hook.cpp, the
// hook that does all this inside it).
#pragma once

#include <windows.h>
#include <commdlg.h>

constexpr char TICK_PROBE_MAPPING[] = "VelmoraTickProbe";
constexpr UINT_PTR TICK_PROBE_TIMER_ID = 100;  // the clock's own timer
constexpr int RECORDED_LOOKUPS = 8;
constexpr int RECORDED_NAME_SIZE = 32;
constexpr int CUSTOM_COLOUR_COUNT = 16;

// A function the clock looked up by name, and whether it was there.
struct RecordedLookup {
    char name[RECORDED_NAME_SIZE];
    LONG found;
};

// The clock's calls since the last clear: counts, and the last call's
// arguments as it passed them (records copied before the call runs).
struct CallRecord {
    LONG recording;  // non-zero once the hook watches the clock's calls
    HMODULE program;
    LONG lookups;
    RecordedLookup lookup[RECORDED_LOOKUPS];
    LONG fontDialogs;
    CHOOSEFONTA fontDialog;
    LOGFONTA fontDialogFont;
    LONG colourDialogs;
    CHOOSECOLORA colourDialog;
    COLORREF customColours[CUSTOM_COLOUR_COUNT];
    LONG contextsCreated;
    ACTCTXA context;
    HANDLE createdContext;
    LONG activations;
    HANDLE activatedContext;
    ULONG_PTR activationCookie;
    LONG deactivations;
    DWORD deactivationFlags;
    ULONG_PTR deactivatedCookie;
    LONG deactivationsRefused;
    LONG contextsReleased;
    LONG positionChanges;
    HWND positionInsertAfter;
    UINT positionFlags;
    LONG backgroundColoursSet;  // SetBkColor: what the text is drawn on
    COLORREF backgroundColour;
    LONG timersSet;
    UINT timerPeriod;
    LONG physicalPointerReads;  // through the GetPhysicalCursorPos found
};

// What the test and the hook share.
struct TickProbeState {
    LONG ticks;
    LONG held;  // non-zero: the clock's ticks are swallowed
    // Non-zero: the clock's SPI_GETWORKAREA answers `workAreaResult` and
    // writes `workArea`, as a failed or a scaled screen's call may.
    LONG workAreaReplaced;
    LONG workAreaResult;
    RECT workArea;
    CallRecord calls;
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
    // From now on the clock asking for the work area gets `area`, and
    // `answered` for the call's result.
    void ReplaceWorkArea(bool answered, const RECT& area);
    // Forgets the calls recorded so far; false if the hook never began
    // recording the clock's calls within the time-out.
    bool ClearCalls();
    const CallRecord& Calls() const;

private:
    HANDLE mapping_ = nullptr;
    volatile TickProbeState* state_ = nullptr;
    HMODULE module_ = nullptr;
    HHOOK hook_ = nullptr;
};
