// The clock window: opening, the one-second tick, painting, closing, the
// dragging with edge snapping, and keeping up with a desktop that changes
// under it (time zone, screen, work area). The procedure only dispatches; the
// context menu and its commands live in clock_menu.cpp.
#include "clock_window.h"

#include <time.h>

#include <climits>

#include "../../res/resource.h"
#include "../settings/settings_win32.h"
#include "clock_logic.h"
#include "clock_look.h"
#include "clock_menu.h"

namespace {

constexpr UINT_PTR TIMER_CLOCK = 100;
constexpr UINT CLOCK_PERIOD_MS = 1000;
constexpr INT_PTR DIALOG_DONE = 1;

int ClampedDifference(LONG high, LONG low) {
    long long difference = static_cast<long long>(high) - low;
    if (difference > INT_MAX) {
        return INT_MAX;
    }
    return difference < INT_MIN ? INT_MIN : static_cast<int>(difference);
}

BOOL OnInitDialog(HWND hwnd) {
    RecreateBackgroundBrush();
    RecreateClockFont(hwnd);
    const RECT& stored = *AsRect(&clockSettings.rcWindow);
    int width = ClampedDifference(stored.right, stored.left);
    int height = ClampedDifference(stored.bottom, stored.top);
    HWND zOrder = clockSettings.bAlwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST;
    // Snapping (WM_WINDOWPOSCHANGING) pulls a stored position into view.
    SetWindowPos(hwnd, zOrder, stored.left, stored.top, width, height, 0);
    ResizeTimeLabel(hwnd, width, height);
    RefreshClock(hwnd);
    SetTimer(hwnd, TIMER_CLOCK, CLOCK_PERIOD_MS, nullptr);
    return FALSE;
}

BOOL OnTimer(HWND hwnd) {
    RefreshClock(hwnd);
    return TRUE;
}

INT_PTR OnCtlColor(HDC hdc) {
    SelectObject(hdc, ClockFont());
    SetBkColor(hdc, clockSettings.crBackground);
    SetTextColor(hdc, clockSettings.crText);
    return reinterpret_cast<INT_PTR>(BackgroundBrush());
}

BOOL OnLButtonDown(HWND hwnd) {
    // The window has no caption; pretending the press hit one hands the drag
    // to the system's move loop, which returns when the button is released.
    SendMessageA(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    return TRUE;
}

// Held to the screen as this program sees it: on a scaled screen Windows
// gives the work area in physical pixels and everything else scaled.
RectRecord WorkArea() {
    std::int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    std::int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
    RectRecord area;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, AsRect(&area), 0)) {
        area.left = 0;
        area.top = 0;
        area.right = screenWidth;
        area.bottom = screenHeight;
    }
    return ClipToScreen(area, screenWidth, screenHeight);
}

// A resize alone keeps its place. A move alone (SWP_NOSIZE, as window tools
// and scripts send it) may carry no size at all, so the window's own counts.
BOOL OnWindowPosChanging(WINDOWPOS* position) {
    if (position->flags & SWP_NOMOVE) {
        return TRUE;
    }
    int width = position->cx;
    int height = position->cy;
    if (position->flags & SWP_NOSIZE) {
        RECT window;
        GetWindowRect(position->hwnd, &window);
        width = window.right - window.left;
        height = window.bottom - window.top;
    }
    SnapPosition snapped =
        SnapToWorkArea(WorkArea(), position->x, position->y, width, height);
    position->x = snapped.x;
    position->y = snapped.y;
    return TRUE;
}

// The run-time reads the time zone once and keeps it; a zone changed in the
// control panel, or by Windows after a journey, shows only once it is read
// again. A TZ in the environment still wins, as it does at start-up.
BOOL OnTimeChange(HWND hwnd) {
    _tzset();
    RefreshClock(hwnd);
    return TRUE;
}

// Without a taskbar button or an Alt+Tab entry, a clock left outside a
// smaller screen or work area could not be reached again. One that lies
// inside stays exactly where it is; one that does not is moved to where it
// is, which lets WM_WINDOWPOSCHANGING's snapping pull it back in.
BOOL KeepInWorkArea(HWND hwnd) {
    RECT window;
    GetWindowRect(hwnd, &window);
    RectRecord area = WorkArea();
    RECT visible;
    if (IntersectRect(&visible, &window, AsRect(&area)) &&
        EqualRect(&visible, &window)) {
        return TRUE;
    }
    SetWindowPos(hwnd, nullptr, window.left, window.top,
                 window.right - window.left, window.bottom - window.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

// A zone change may come as WM_SETTINGCHANGE alone; re-reading the zone
// costs little, so any setting change does it.
BOOL OnSettingChange(HWND hwnd, WPARAM action) {
    OnTimeChange(hwnd);
    if (action == SPI_SETWORKAREA) {
        KeepInWorkArea(hwnd);
    }
    return TRUE;
}

// Stops the timer, frees the font, brush and menu and ends the dialog: the
// one way out, for WM_CLOSE and so for the Exit command too.
BOOL Close(HWND hwnd) {
    KillTimer(hwnd, TIMER_CLOCK);
    ReleaseClockMenu();
    ReleaseClockLook(hwnd);
    EndDialog(hwnd, DIALOG_DONE);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK ClockWindow(HWND hwnd, UINT message, WPARAM wParam,
                             LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(hwnd);
    case WM_TIMER:
        return OnTimer(hwnd);
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return OnCtlColor(reinterpret_cast<HDC>(wParam));
    case WM_CLOSE:
        return Close(hwnd);
    case WM_LBUTTONDOWN:
        return OnLButtonDown(hwnd);
    case WM_WINDOWPOSCHANGING:
        return OnWindowPosChanging(reinterpret_cast<WINDOWPOS*>(lParam));
    case WM_RBUTTONDOWN:
        return ShowClockMenu(hwnd, lParam);
    case WM_COMMAND:
        return RunClockCommand(hwnd, LOWORD(wParam));
    case WM_TIMECHANGE:
        return OnTimeChange(hwnd);
    case WM_SETTINGCHANGE:
        return OnSettingChange(hwnd, wParam);
    case WM_DISPLAYCHANGE:
        return KeepInWorkArea(hwnd);
    }
    return FALSE;
}
