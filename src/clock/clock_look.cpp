// The clock's font and background brush, each with one owner, and the label
// that shows the time in them.
#include "clock_look.h"

#include <ctime>

#include "../../res/resource.h"
#include "../settings/settings_win32.h"
#include "../win/gdi_object.h"
#include "clock_logic.h"

namespace {

FontHandle hFont;
BrushHandle hBackgroundBrush;

}  // namespace

void RecreateClockFont(HWND hwnd) {
    HWND label = GetDlgItem(hwnd, IDC_TIME);
    // The label must never hold a deleted font.
    SendMessageA(label, WM_SETFONT, 0, FALSE);
    hFont.Release();
    LogFontRecord drawn = FontForDrawing(clockSettings.lfFont);
    hFont.Adopt(CreateFontIndirectA(AsLogFont(&drawn)));
    // The font selected in WM_CTLCOLORSTATIC is enough on Windows, but Wine's
    // static then selects the font it holds (the dialog's, from the
    // template); giving the label the clock font as its own works on both.
    SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(hFont.Get()),
                 FALSE);
}

void RecreateBackgroundBrush() {
    hBackgroundBrush.Release();
    hBackgroundBrush.Adopt(CreateSolidBrush(clockSettings.crBackground));
}

void ReleaseClockLook(HWND hwnd) {
    SendDlgItemMessageA(hwnd, IDC_TIME, WM_SETFONT, 0, FALSE);
    hFont.Release();
    hBackgroundBrush.Release();
}

void ResizeTimeLabel(HWND hwnd, int width, int height) {
    MoveWindow(GetDlgItem(hwnd, IDC_TIME), 0, 0, width, height, TRUE);
}

void RefreshClock(HWND hwnd) {
    std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    ClockText text = local != nullptr
                         ? FormatClockText(local->tm_hour, local->tm_min)
                         : FormatClockText(-1, -1);
    SetDlgItemTextA(hwnd, IDC_TIME, text.text);
}

HFONT ClockFont() { return hFont.Get(); }

HBRUSH BackgroundBrush() { return hBackgroundBrush.Get(); }
