// The font and colour commands. Each changes the settings in memory, renews
// the font or brush it affects and repaints at once; a cancelled standard
// dialog changes nothing.
#include "look_commands.h"

#include <commdlg.h>

#include "../../res/resource.h"
#include "../app/app.h"
#include "../dialogs/color_grabber.h"
#include "../settings/settings_win32.h"
#include "clock_logic.h"
#include "clock_window.h"

namespace {

constexpr char MEASURE_TEXT[] = "88:88 MM";
constexpr int MEASURE_TEXT_LENGTH = sizeof MEASURE_TEXT - 1;
constexpr int TEXT_MARGIN = 2;  // pixels added to the text's extent

// The clock font's extent of the widest time text, in pixels.
SIZE MeasureClockText(HWND hwnd) {
    SIZE extent = {0, 0};
    HDC hdc = GetWindowDC(hwnd);
    HGDIOBJ previous = SelectObject(hdc, ClockFont());
    GetTextExtentPoint32A(hdc, MEASURE_TEXT, MEASURE_TEXT_LENGTH, &extent);
    SelectObject(hdc, previous);
    ReleaseDC(hwnd, hdc);
    return extent;
}

// Runs the colour dialog on *color; TRUE when the user chose one.
BOOL ChooseColorFor(HWND hwnd, int systemColorIndex, ColorRef* color) {
    CustomColors custom = MakeCustomColors(GetSysColor(systemColorIndex),
                                           *color);
    CHOOSECOLORA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd;
    dialog.rgbResult = *color;
    dialog.lpCustColors = custom.colors;
    dialog.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (!ChooseColorA(&dialog)) {
        return FALSE;
    }
    *color = dialog.rgbResult;
    return TRUE;
}

void RunColorGrabber(HWND hwnd, ColorRef* target) {
    pGrabTarget = target;
    DialogBoxParamA(hAppInstance, MAKEINTRESOURCEA(IDD_GRABCOLOR), hwnd,
                    ColorGrabber, 0);
}

}  // namespace

void SetClockFont(HWND hwnd) {
    // The dialog edits a copy: Wine's writes the font back even on Cancel,
    // and a cancelled dialog must change nothing.
    LogFontRecord chosen = clockSettings.lfFont;
    CHOOSEFONTA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd;
    dialog.lpLogFont = AsLogFont(&chosen);
    dialog.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_FORCEFONTEXIST;
    if (ChooseFontA(&dialog)) {
        clockSettings.lfFont = chosen;
        ApplyClockFont(hwnd);
    }
}

void ApplyClockFont(HWND hwnd) {
    RecreateClockFont(hwnd);
    SIZE extent = MeasureClockText(hwnd);
    int width = extent.cx + TEXT_MARGIN;
    int height = extent.cy + TEXT_MARGIN;
    SetWindowPos(hwnd, nullptr, 0, 0, width, height,
                 SWP_NOMOVE | SWP_NOZORDER);
    ResizeTimeLabel(hwnd, width, height);
    RefreshClock(hwnd);
}

void SetFontColor(HWND hwnd) {
    if (ChooseColorFor(hwnd, COLOR_WINDOWTEXT, &clockSettings.crText)) {
        RefreshClock(hwnd);
    }
}

void SetBackgroundColor(HWND hwnd) {
    if (ChooseColorFor(hwnd, COLOR_BACKGROUND, &clockSettings.crBackground)) {
        RecreateBackgroundBrush();
        RefreshClock(hwnd);
    }
}

void GrabFontColor(HWND hwnd) {
    RunColorGrabber(hwnd, &clockSettings.crText);
    RefreshClock(hwnd);
}

void GrabBackgroundColor(HWND hwnd) {
    RunColorGrabber(hwnd, &clockSettings.crBackground);
    // Renewed after a cancel too, with the same colour.
    RecreateBackgroundBrush();
    RefreshClock(hwnd);
}
