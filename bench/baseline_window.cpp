// The baseline's dialog procedure: the same time text as Velmora, set on
// every tick, and nothing else.
#include "baseline_window.h"

#include <ctime>

#include "baseline_resource.h"

namespace {

constexpr UINT_PTR TIMER_ID = 1;
constexpr UINT PERIOD_MS = 1000;
constexpr int NOON = 12;

void ShowTime(HWND hwnd) {
    std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    char text[16] = "";
    if (local != nullptr) {
        int hour = local->tm_hour % NOON == 0 ? NOON : local->tm_hour % NOON;
        // USER32's formatter: the C library's would add its whole engine.
        wsprintfA(text, "%2d:%02d %s", hour, local->tm_min,
                  local->tm_hour < NOON ? "AM" : "PM");
    }
    SetDlgItemTextA(hwnd, IDC_BASELINE_TEXT, text);
}

}  // namespace

INT_PTR CALLBACK BaselineWindow(HWND hwnd, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        ShowTime(hwnd);
        SetTimer(hwnd, TIMER_ID, PERIOD_MS, nullptr);
        return FALSE;
    case WM_TIMER:
        ShowTime(hwnd);
        return TRUE;
    case WM_CLOSE:
        KillTimer(hwnd, TIMER_ID);
        EndDialog(hwnd, 1);
        return TRUE;
    }
    return FALSE;
}
