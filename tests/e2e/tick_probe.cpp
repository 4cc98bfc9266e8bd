// The test side of the tick counter: the shared counter and the hook.
#include "tick_probe.h"

#include "driver.h"

namespace {
constexpr char HOOK_DLL[] = "velmora_probe.dll";
constexpr char HOOK_NAME[] = "CountClockTicks";
constexpr char HOOK_DECORATED_NAME[] = "CountClockTicks@12";  // 32-bit stdcall
}  // namespace

TickProbe::TickProbe(HWND clock) {
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr,
                                  PAGE_READWRITE, 0, sizeof(TickProbeState),
                                  TICK_PROBE_MAPPING);
    if (mapping_ == nullptr) {
        return;
    }
    state_ = static_cast<volatile TickProbeState*>(MapViewOfFile(
        mapping_, FILE_MAP_WRITE, 0, 0, sizeof(TickProbeState)));
    std::string path = VelmoraPath();
    path.erase(path.find_last_of("\\/") + 1);
    module_ = LoadLibraryA((path + HOOK_DLL).c_str());
    if (module_ == nullptr || state_ == nullptr) {
        return;
    }
    FARPROC hook = GetProcAddress(module_, HOOK_NAME);
    if (hook == nullptr) {
        hook = GetProcAddress(module_, HOOK_DECORATED_NAME);
    }
    DWORD thread = GetWindowThreadProcessId(clock, nullptr);
    // Through void*: GetProcAddress knows no signatures.
    HOOKPROC procedure = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void*>(hook));
    hook_ = SetWindowsHookExA(WH_GETMESSAGE, procedure, module_, thread);
}

TickProbe::~TickProbe() {
    if (hook_ != nullptr) {
        UnhookWindowsHookEx(hook_);
    }
    if (module_ != nullptr) {
        FreeLibrary(module_);
    }
    if (state_ != nullptr) {
        state_->held = 0;
        UnmapViewOfFile(const_cast<TickProbeState*>(state_));
    }
    if (mapping_ != nullptr) {
        CloseHandle(mapping_);
    }
}

LONG TickProbe::Count() const { return state_ != nullptr ? state_->ticks : 0; }

void TickProbe::HoldTicks(bool held) {
    if (state_ != nullptr) {
        state_->held = held ? 1 : 0;
    }
}

void TickProbe::ReplaceWorkArea(bool answered, const RECT& area) {
    if (state_ != nullptr) {
        state_->workAreaResult = answered ? TRUE : FALSE;
        state_->workArea.left = area.left;
        state_->workArea.top = area.top;
        state_->workArea.right = area.right;
        state_->workArea.bottom = area.bottom;
        state_->workAreaReplaced = 1;
    }
}

bool TickProbe::ClearCalls() {
    if (state_ == nullptr ||
        !WaitUntil([&] { return state_->calls.recording != 0; })) {
        return false;
    }
    CallRecord* calls = const_cast<CallRecord*>(&state_->calls);
    HMODULE program = calls->program;
    ZeroMemory(calls, sizeof *calls);
    calls->program = program;
    calls->recording = 1;
    return true;
}

const CallRecord& TickProbe::Calls() const {
    static const CallRecord none = {};
    return state_ != nullptr ? const_cast<const CallRecord&>(state_->calls)
                             : none;
}

bool TickProbe::SeesTicks(LONG ticks) {
    LONG target = Count() + ticks;
    return WaitUntil([&] { return Count() >= target; });
}
