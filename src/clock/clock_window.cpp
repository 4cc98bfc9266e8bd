// The clock window: opening, the one-second tick, painting, closing, and the
// dragging with edge snapping. The procedure only dispatches; the context menu
// and its commands live in clock_menu.cpp.
#include "clock_window.h"

#include <climits>
#include <ctime>

#include "../../res/resource.h"
#include "../app/gdi_object.h"
#include "../settings/settings_win32.h"
#include "clock_logic.h"
#include "clock_menu.h"

namespace {

constexpr UINT_PTR TIMER_CLOCK = 100;
constexpr UINT CLOCK_PERIOD_MS = 1000;
constexpr INT_PTR DIALOG_DONE = 1;

FontHandle hFont;
BrushHandle hBackgroundBrush;

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
    std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    ClockText text = local != nullptr
                         ? FormatClockText(local->tm_hour, local->tm_min)
                         : FormatClockText(-1, -1);
    SetDlgItemTextA(hwnd, IDC_TIME, text.text);
    return TRUE;
}

INT_PTR OnCtlColor(HDC hdc) {
    SelectObject(hdc, hFont.Get());
    SetBkColor(hdc, clockSettings.crBackground);
    SetTextColor(hdc, clockSettings.crText);
    return reinterpret_cast<INT_PTR>(hBackgroundBrush.Get());
}

BOOL OnLButtonDown(HWND hwnd) {
    // The window has no caption; pretending the press hit one hands the drag
    // to the system's move loop, which returns when the button is released.
    SendMessageA(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    return TRUE;
}

RectRecord WorkArea() {
    RectRecord area;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, AsRect(&area), 0)) {
        area.left = 0;
        area.top = 0;
        area.right = GetSystemMetrics(SM_CXSCREEN);
        area.bottom = GetSystemMetrics(SM_CYSCREEN);
    }
    return area;
}

BOOL OnWindowPosChanging(WINDOWPOS* position) {
    SnapPosition snapped = SnapToWorkArea(WorkArea(), position->x, position->y,
                                          position->cx, position->cy);
    position->x = snapped.x;
    position->y = snapped.y;
    return TRUE;
}

}  // namespace

void RecreateClockFont(HWND hwnd) {
    HWND label = GetDlgItem(hwnd, IDC_TIME);
    // The label must never hold a deleted font.
    SendMessageA(label, WM_SETFONT, 0, FALSE);
    hFont.Release();
    LogFontRecord drawn = FontForDrawing(clockSettings.lfFont);
    hFont.Adopt(CreateFontIndirectA(AsLogFont(&drawn)));
    // The font selected in WM_CTLCOLORSTATIC is enough on Windows, but Wine's
    // static selects its own font after that message; giving the label the
    // clock font as its own works on both.
    SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(hFont.Get()),
                 FALSE);
}

void RecreateBackgroundBrush() {
    hBackgroundBrush.Release();
    hBackgroundBrush.Adopt(CreateSolidBrush(clockSettings.crBackground));
}

void ResizeTimeLabel(HWND hwnd, int width, int height) {
    MoveWindow(GetDlgItem(hwnd, IDC_TIME), 0, 0, width, height, TRUE);
}

void RefreshClock(HWND hwnd) { SendMessageA(hwnd, WM_TIMER, 0, 0); }

HFONT ClockFont() { return hFont.Get(); }

void CloseClockWindow(HWND hwnd) {
    KillTimer(hwnd, TIMER_CLOCK);
    ReleaseClockMenu();
    SendDlgItemMessageA(hwnd, IDC_TIME, WM_SETFONT, 0, FALSE);
    hFont.Release();
    hBackgroundBrush.Release();
    EndDialog(hwnd, DIALOG_DONE);
}

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
        CloseClockWindow(hwnd);
        return TRUE;
    case WM_LBUTTONDOWN:
        return OnLButtonDown(hwnd);
    case WM_WINDOWPOSCHANGING:
        return OnWindowPosChanging(reinterpret_cast<WINDOWPOS*>(lParam));
    case WM_RBUTTONDOWN:
        return ShowClockMenu(hwnd, lParam);
    case WM_COMMAND:
        return RunClockCommand(hwnd, LOWORD(wParam));
    }
    return FALSE;
}
