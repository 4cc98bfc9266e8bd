// The context menu, its dispatch, and the commands that act on the window and
// the program: always-on-top, saving the configuration, About and Exit. The
// commands that change the look are in look_commands.cpp.
#include "clock_menu.h"

#include "../../res/resource.h"
#include "../dialogs/about_box.h"
#include "../settings/settings_win32.h"
#include "../win/app_instance.h"
#include "../win/gdi_object.h"
#include "../win/visual_styles.h"
#include "look_commands.h"

namespace {

constexpr int POPUP_POSITION = 0;
constexpr char MESSAGE_CAPTION[] = "Velmora";
constexpr char SAVED_TEXT[] = "Successfully saved configuration.";
constexpr char SAVE_FAILED_TEXT[] = "Could not save configuration.";

// Loaded on the first right click and kept until the window closes.
MenuHandle hMenu;
HMENU hPopupMenu;

void ToggleAlwaysOnTop(HWND hwnd) {
    clockSettings.bAlwaysOnTop = clockSettings.bAlwaysOnTop ? 0 : 1;
    HWND zOrder = clockSettings.bAlwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST;
    SetWindowPos(hwnd, zOrder, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void SaveConfiguration(HWND hwnd) {
    GetWindowRect(hwnd, AsRect(&clockSettings.rcWindow));
    if (SaveSettings()) {
        MessageBoxA(hwnd, SAVED_TEXT, MESSAGE_CAPTION,
                    MB_OK | MB_ICONINFORMATION);
    } else {
        MessageBoxA(hwnd, SAVE_FAILED_TEXT, MESSAGE_CAPTION,
                    MB_OK | MB_ICONERROR);
    }
}

void ShowAbout(HWND hwnd) {
    DialogBoxParamA(hAppInstance, MAKEINTRESOURCEA(IDD_ABOUT), hwnd, AboutBox,
                    0);
}

}  // namespace

BOOL ShowClockMenu(HWND hwnd, LPARAM clickPoint) {
    if (hPopupMenu == nullptr) {
        hMenu.Adopt(LoadMenuA(hAppInstance, MAKEINTRESOURCEA(IDR_CLOCKMENU)));
        hPopupMenu = hMenu.Get() != nullptr
                         ? GetSubMenu(hMenu.Get(), POPUP_POSITION)
                         : nullptr;
        if (hPopupMenu == nullptr) {
            return TRUE;  // no menu to show; the clock goes on without one
        }
    }
    POINT point = {LOWORD(clickPoint), HIWORD(clickPoint)};
    ClientToScreen(hwnd, &point);
    TrackPopupMenu(hPopupMenu, 0, point.x, point.y, 0, hwnd, nullptr);
    return TRUE;
}

BOOL RunClockCommand(HWND hwnd, WORD commandId) {
    if (commandId < ID_EXIT || commandId > ID_SET_FONT_COLOR) {
        return FALSE;
    }
    // Whatever dialog or message box the command opens is themed.
    VisualStylesScope styles;
    switch (commandId) {
    case ID_EXIT:
        // Through the window's own way out, which frees what it holds.
        SendMessageA(hwnd, WM_CLOSE, 0, 0);
        break;
    case ID_SET_FONT:
        SetClockFont(hwnd);
        break;
    case ID_SET_BACKGROUND_COLOR:
        SetBackgroundColor(hwnd);
        break;
    case ID_TOGGLE_ONTOP:
        ToggleAlwaysOnTop(hwnd);
        break;
    case ID_ABOUT:
        ShowAbout(hwnd);
        break;
    case ID_SAVE_CONFIG:
        SaveConfiguration(hwnd);
        break;
    case ID_GRAB_BACKGROUND_COLOR:
        GrabBackgroundColor(hwnd);
        break;
    case ID_GRAB_FONT_COLOR:
        GrabFontColor(hwnd);
        break;
    case ID_SET_FONT_COLOR:
        SetFontColor(hwnd);
        break;
    }
    return TRUE;
}

void ReleaseClockMenu() {
    hMenu.Release();
    hPopupMenu = nullptr;
}
