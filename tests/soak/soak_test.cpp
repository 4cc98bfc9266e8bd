// Runs the clock window in this process and drives every path that creates
// or deletes a graphics object, through the same code the commands run, ten
// thousand times each unless VELMORA_SOAK_ROUNDS says otherwise (the test
// command runs 500). After a warm-up the live GDI and USER objects must not
// grow at all.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "../../res/resource.h"
#include "../e2e/import_patch.h"
#include "clock/clock_look.h"
#include "clock/clock_menu.h"
#include "clock/clock_window.h"
#include "clock/look_commands.h"
#include "settings/settings.h"
#include "win/app_instance.h"

namespace {

constexpr int WARM_UP = 100;
constexpr int ROUNDS = 10000;  // VELMORA_SOAK_ROUNDS may ask for others
constexpr UINT_PTR TIMER_CLOCK = 100;
constexpr UINT_PTR TIMER_GRAB = 200;
constexpr UINT_PTR LAST_SMALL_HANDLE = 0xFFFF;
constexpr LPARAM MENU_CLICK_POINT = MAKELPARAM(5, 5);

struct ObjectCounts {
    DWORD gdi;
    DWORD user;
};

bool IsOwnWindow(HWND hwnd) {
    DWORD process = 0;
    return IsWindow(hwnd) && GetWindowThreadProcessId(hwnd, &process) &&
           process == GetCurrentProcessId();
}

// Wine answers 0 to GetGuiResources. Its handle tables take a handle's low
// 16 bits alone, so there the live objects are counted by trying them all:
// GDI objects and menus are the process's own, windows are everyone's.
DWORD CountByScan(bool gdi) {
    DWORD count = 0;
    for (UINT_PTR index = 1; index <= LAST_SMALL_HANDLE; ++index) {
        if (gdi) {
            count += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0;
        } else {
            count += IsOwnWindow(reinterpret_cast<HWND>(index)) ||
                     IsMenu(reinterpret_cast<HMENU>(index));
        }
    }
    return count;
}

ObjectCounts LiveObjects() {
    ObjectCounts counts;
    counts.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    counts.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (counts.gdi == 0) {
        counts.gdi = CountByScan(true);
    }
    if (counts.user == 0) {
        counts.user = CountByScan(false);
    }
    return counts;
}

int Rounds() {
    const char* asked = std::getenv("VELMORA_SOAK_ROUNDS");
    int rounds = asked != nullptr ? std::atoi(asked) : 0;
    return rounds > 0 ? rounds : ROUNDS;
}

// How the next modal dialog of this thread is closed as soon as it opens.
UINT closeMessage;
WPARAM closeCommand;
HHOOK dialogHook;
HHOOK menuHook;

// What the paths must leave as they found it besides the object counts:
// the grabber hidden with its swatch brush freed (the swatch then coloured
// as any label) and no command's themed scope left active.
int grabbersHidden;
int swatchBrushesKept;
int themesLeftActive;

LRESULT ColourOf(HWND dialog, int control) {
    HDC hdc = GetDC(dialog);
    LRESULT brush = SendMessageA(dialog, WM_CTLCOLORSTATIC,
                                 reinterpret_cast<WPARAM>(hdc),
                                 reinterpret_cast<LPARAM>(
                                     GetDlgItem(dialog, control)));
    ReleaseDC(dialog, hdc);
    return brush;
}

bool IsHidden(const CWPRETSTRUCT* call) {
    return call->message == WM_WINDOWPOSCHANGED &&
           (reinterpret_cast<const WINDOWPOS*>(call->lParam)->flags &
            SWP_HIDEWINDOW) != 0;
}

HANDLE ActiveTheme() {
    HANDLE context = nullptr;
    if (GetCurrentActCtx(&context) && context != nullptr) {
        ReleaseActCtx(context);
    }
    return context;
}

LRESULT CALLBACK CloseDialogOnOpen(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG) {
        // One sample first, so the grabber's brush is replaced as well.
        PostMessageA(call->hwnd, WM_TIMER, TIMER_GRAB, 0);
        PostMessageA(call->hwnd, closeMessage, closeCommand, 0);
    }
    if (code == HC_ACTION && IsHidden(call) &&
        GetDlgItem(call->hwnd, IDC_SWATCH) != nullptr) {
        ++grabbersHidden;
        swatchBrushesKept +=
            ColourOf(call->hwnd, IDC_SWATCH) != ColourOf(call->hwnd, IDC_RED);
    }
    return CallNextHookEx(dialogHook, code, wParam, lParam);
}

LRESULT CALLBACK DismissMenu(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_MENU) {
        EndMenu();
    }
    return CallNextHookEx(menuHook, code, wParam, lParam);
}

class SoakTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        hAppInstance = GetModuleHandleA(nullptr);
        ApplyDefaultSettings(&clockSettings, GetSysColor(COLOR_BACKGROUND));
        clock = CreateDialogParamA(hAppInstance, MAKEINTRESOURCEA(IDD_CLOCK),
                                   nullptr, ClockWindow, 0);
        ShowWindow(clock, SW_SHOWNOACTIVATE);
        DWORD thread = GetCurrentThreadId();
        dialogHook = SetWindowsHookExA(WH_CALLWNDPROCRET, CloseDialogOnOpen,
                                       nullptr, thread);
        menuHook = SetWindowsHookExA(WH_MSGFILTER, DismissMenu, nullptr, thread);
    }

    static void TearDownTestSuite() {
        UnhookWindowsHookEx(menuHook);
        UnhookWindowsHookEx(dialogHook);
        SendMessageA(clock, WM_CLOSE, 0, 0);
        DestroyWindow(clock);
    }

    // Runs the step for a warm-up, then ROUNDS times, and expects no object
    // left behind.
    template <typename Step>
    void ExpectNoGrowth(const char* path, Step step) {
        ASSERT_NE(nullptr, clock);
        grabbersHidden = swatchBrushesKept = themesLeftActive = 0;
        for (int i = 0; i < WARM_UP; ++i) {
            step(i);
        }
        ObjectCounts before = LiveObjects();
        const int rounds = Rounds();
        for (int i = 0; i < rounds; ++i) {
            step(i);
        }
        ObjectCounts after = LiveObjects();
        std::printf("%-34s GDI %4lu -> %4lu   USER %4lu -> %4lu\n", path,
                    before.gdi, after.gdi, before.user, after.user);
        EXPECT_EQ(before.gdi, after.gdi) << path;
        EXPECT_EQ(before.user, after.user) << path;
        EXPECT_EQ(0, swatchBrushesKept) << path;
        EXPECT_EQ(0, themesLeftActive) << path;
    }

    static void RunDialogCommand(WORD command, UINT message, WPARAM close) {
        closeMessage = message;
        closeCommand = close;
        HANDLE theme = ActiveTheme();
        RunClockCommand(clock, command);
        themesLeftActive += ActiveTheme() != theme;
    }

    static HWND clock;
};

HWND SoakTest::clock;

TEST_F(SoakTest, TickAndRefresh) {
    ExpectNoGrowth("tick and RefreshClock", [](int) {
        SendMessageA(clock, WM_TIMER, TIMER_CLOCK, 0);
        RefreshClock(clock);
    });
}

TEST_F(SoakTest, BackgroundBrush) {
    ExpectNoGrowth("background brush re-creation", [](int i) {
        clockSettings.crBackground = RGB(i % 256, 40, 80);
        RecreateBackgroundBrush();
        RefreshClock(clock);
    });
}

TEST_F(SoakTest, FontWithResize) {
    ExpectNoGrowth("font re-creation with the resize", [](int i) {
        clockSettings.lfFont.lfHeight = 10 + i % 20;
        ApplyClockFont(clock);
    });
}

// Each font and brush is freed before its successor is made, so the two
// never exist together: the creation calls, watched in this program's
// import table, find the object they replace already gone.
HGDIOBJ predecessor;
int madeWhilePredecessorLived;
void* realCreateFont;
void* realCreateBrush;

HFONT WINAPI CreateFontWatched(const LOGFONTA* font) {
    madeWhilePredecessorLived += GetObjectType(predecessor) != 0;
    return reinterpret_cast<HFONT(WINAPI*)(const LOGFONTA*)>(realCreateFont)(font);
}

HBRUSH WINAPI CreateBrushWatched(COLORREF colour) {
    madeWhilePredecessorLived += GetObjectType(predecessor) != 0;
    return reinterpret_cast<HBRUSH(WINAPI*)(COLORREF)>(realCreateBrush)(colour);
}

TEST_F(SoakTest, EachObjectIsFreedBeforeItsSuccessorIsMade) {
    HMODULE self = GetModuleHandleA(nullptr);
    realCreateFont = PatchImport(self, "gdi32.dll", "CreateFontIndirectA",
                                 reinterpret_cast<void*>(&CreateFontWatched));
    realCreateBrush = PatchImport(self, "gdi32.dll", "CreateSolidBrush",
                                  reinterpret_cast<void*>(&CreateBrushWatched));
    ASSERT_NE(nullptr, realCreateFont);
    ASSERT_NE(nullptr, realCreateBrush);
    predecessor = ClockFont();
    ASSERT_NE(nullptr, predecessor);
    RecreateClockFont(clock);
    predecessor = BackgroundBrush();
    ASSERT_NE(nullptr, predecessor);
    RecreateBackgroundBrush();
    PatchImport(self, "gdi32.dll", "CreateFontIndirectA", realCreateFont);
    PatchImport(self, "gdi32.dll", "CreateSolidBrush", realCreateBrush);
    EXPECT_EQ(0, madeWhilePredecessorLived);
}

struct GrabberClose {
    const char* path;
    WORD command;
    UINT message;
    WPARAM close;
};

class GrabberSoakTest : public SoakTest,
                        public ::testing::WithParamInterface<GrabberClose> {};

TEST_P(GrabberSoakTest, OpenedAndClosed) {
    RECT rect;
    GetWindowRect(clock, &rect);
    // Alternating between two colours makes every opening sample anew.
    const POINT spots[] = {{rect.left + 1, rect.top + 1},
                           {rect.right + 40, rect.bottom + 40}};
    const GrabberClose& way = GetParam();
    ExpectNoGrowth(way.path, [&](int i) {
        SetCursorPos(spots[i % 2].x, spots[i % 2].y);
        RunDialogCommand(way.command, way.message, way.close);
    });
    EXPECT_EQ(WARM_UP + Rounds(), grabbersHidden);
}

const GrabberClose GRABBER_CLOSES[] = {
    {"grabber closed by OK", ID_GRAB_FONT_COLOR, WM_COMMAND, IDOK},
    {"grabber closed by Cancel", ID_GRAB_BACKGROUND_COLOR, WM_COMMAND,
     IDCANCEL},
    {"grabber closed by WM_CLOSE", ID_GRAB_BACKGROUND_COLOR, WM_CLOSE, 0},
};
INSTANTIATE_TEST_SUITE_P(Ways, GrabberSoakTest,
                         ::testing::ValuesIn(GRABBER_CLOSES));

TEST_F(SoakTest, AboutBox) {
    ExpectNoGrowth("About box opened and closed", [](int) {
        RunDialogCommand(ID_ABOUT, WM_COMMAND, IDOK);
    });
}

TEST_F(SoakTest, ContextMenu) {
    ExpectNoGrowth("menu shown and dismissed", [](int) {
        // Something in the queue, so the menu's loop wakes at once.
        PostMessageA(clock, WM_NULL, 0, 0);
        ShowClockMenu(clock, MENU_CLICK_POINT);
    });
}

void* realLoadMenu = nullptr;
HMENU loadedMenu = nullptr;

HMENU WINAPI LoadMenuRecorded(HINSTANCE instance, LPCSTR name) {
    loadedMenu = reinterpret_cast<HMENU(WINAPI*)(HINSTANCE, LPCSTR)>(
        realLoadMenu)(instance, name);
    return loadedMenu;
}

// Freed when the clock closes, not only when a successor replaces them:
// a closed clock holds nothing.
TEST(ClockCloseTest, FontBrushAndMenuGoWithTheWindow) {
    hAppInstance = GetModuleHandleA(nullptr);
    ApplyDefaultSettings(&clockSettings, GetSysColor(COLOR_BACKGROUND));
    HWND clock = CreateDialogParamA(hAppInstance, MAKEINTRESOURCEA(IDD_CLOCK),
                                    nullptr, ClockWindow, 0);
    ASSERT_NE(nullptr, clock);
    HGDIOBJ font = ClockFont();
    HGDIOBJ brush = BackgroundBrush();
    ASSERT_NE(0u, GetObjectType(font));
    ASSERT_NE(0u, GetObjectType(brush));
    HMODULE self = GetModuleHandleA(nullptr);
    realLoadMenu = PatchImport(self, "user32.dll", "LoadMenuA",
                               reinterpret_cast<void*>(&LoadMenuRecorded));
    ASSERT_NE(nullptr, realLoadMenu);
    menuHook = SetWindowsHookExA(WH_MSGFILTER, DismissMenu, nullptr,
                                 GetCurrentThreadId());
    PostMessageA(clock, WM_NULL, 0, 0);
    ShowClockMenu(clock, MENU_CLICK_POINT);
    UnhookWindowsHookEx(menuHook);
    PatchImport(self, "user32.dll", "LoadMenuA", realLoadMenu);
    ASSERT_NE(nullptr, loadedMenu) << "an earlier clock's menu was kept";
    SendMessageA(clock, WM_CLOSE, 0, 0);
    DestroyWindow(clock);
    EXPECT_EQ(0u, GetObjectType(font));
    EXPECT_EQ(0u, GetObjectType(brush));
    EXPECT_FALSE(IsMenu(loadedMenu));
}

}  // namespace
