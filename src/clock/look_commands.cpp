// The font and colour commands. Each changes the settings in memory, renews
// the font or brush it affects and repaints at once; a cancelled standard
// dialog changes nothing.
#include "look_commands.h"

#include <commdlg.h>

#include "../../res/resource.h"
#include "../dialogs/color_grabber.h"
#include "../settings/settings_win32.h"
#include "../win/app_instance.h"
#include "clock_logic.h"
#include "clock_look.h"

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

constexpr char COMMON_DIALOGS_DLL[] = "comdlg32.dll";

// The common dialogs' DLL, loaded only while one of its dialogs runs: most
// runs of the clock never open one, and importing it would load it, and all
// it needs, at every start.
class CommonDialogs {
public:
    CommonDialogs() : module_(LoadLibraryA(COMMON_DIALOGS_DLL)) {}
    ~CommonDialogs() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    CommonDialogs(const CommonDialogs&) = delete;
    CommonDialogs& operator=(const CommonDialogs&) = delete;

    BOOL ChooseFont(CHOOSEFONTA* dialog) const {
        typedef BOOL(WINAPI * Function)(CHOOSEFONTA*);
        Function function = Find<Function>("ChooseFontA");
        return function != nullptr && function(dialog);
    }

    BOOL ChooseColor(CHOOSECOLORA* dialog) const {
        typedef BOOL(WINAPI * Function)(CHOOSECOLORA*);
        Function function = Find<Function>("ChooseColorA");
        return function != nullptr && function(dialog);
    }

private:
    template <typename Function>
    Function Find(const char* name) const {
        if (module_ == nullptr) {
            return nullptr;
        }
        // Through void*: GetProcAddress knows no signatures.
        return reinterpret_cast<Function>(
            reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

    HMODULE module_;
};

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
    if (!CommonDialogs().ChooseColor(&dialog)) {
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
    if (CommonDialogs().ChooseFont(&dialog)) {
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
