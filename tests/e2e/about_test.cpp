// The About box: where it opens, what it shows, and that only OK closes it.
#include <windows.h>
#include <psapi.h>

#include <string>
#include <vector>

#include "../../res/resource.h"
#include "clock_test.h"
#include "tick_probe.h"

// Whether the process has the module of this base name loaded now; the
// look tests ask it too.
bool LoadsModule(HANDLE process, const char* name) {
    HMODULE modules[256];
    DWORD bytes = 0;
    if (!EnumProcessModules(process, modules, sizeof modules, &bytes)) {
        return false;
    }
    for (DWORD i = 0; i < bytes / sizeof modules[0]; ++i) {
        char path[MAX_PATH] = "";
        GetModuleBaseNameA(process, modules[i], path, sizeof path);
        if (lstrcmpiA(path, name) == 0) {
            return true;
        }
    }
    return false;
}

namespace {

constexpr char ABOUT_TITLE[] = "About...";
constexpr char VERSION_LINE[] = "Velmora v3.0\n";
constexpr char DATE_TEXT[] = "5-2001";

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lParam) {
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChild,
                     reinterpret_cast<LPARAM>(&children));
    return children;
}

bool HasClass(HWND hwnd, const char* name) {
    char actual[64] = "";
    GetClassNameA(hwnd, actual, sizeof actual);
    return lstrcmpiA(actual, name) == 0;
}

void ExpectCentredOnScreen(HWND box) {
    RECT r = WindowRect(box);
    RECT d = WindowRect(GetDesktopWindow());
    // Each size is halved on its own, as integers.
    EXPECT_EQ((d.right - d.left) / 2 - (r.right - r.left) / 2, r.left);
    EXPECT_EQ((d.bottom - d.top) / 2 - (r.bottom - r.top) / 2, r.top);
}

class AboutTest : public ClockTest {
protected:
    void SetUp() override { ASSERT_NE(nullptr, StartClock()); }

    HWND WaitForAbout() { return WaitForDialog(process->Id(), ABOUT_TITLE); }

    // Keys reach only the foreground window's thread.
    bool IsForeground(HWND box) {
        return WaitUntil([&] { return GetForegroundWindow() == box; });
    }

    void ExpectClosed(HWND box) {
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(box); }));
        EXPECT_TRUE(process->IsRunning());
        EXPECT_TRUE(IsWindowVisible(clock));
    }
};

TEST_F(AboutTest, ThroughMenuOwnedCentredWithItsTextsAndEnterClosesIt) {
    ASSERT_TRUE(ChooseFromMenu(clock, 'A'));

    HWND box = WaitForAbout();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(nullptr, FindPopupMenu());
    EXPECT_EQ(clock, GetWindow(box, GW_OWNER));
    ExpectCentredOnScreen(box);

    HWND ok = GetDlgItem(box, IDOK);
    ASSERT_NE(nullptr, ok);
    EXPECT_TRUE(HasClass(ok, "Button"));
    EXPECT_EQ("OK", WindowText(ok));
    bool sawDate = false;
    bool sawVersion = false;
    for (HWND child : Children(box)) {
        if (!HasClass(child, "Static")) {
            continue;
        }
        std::string text = WindowText(child);
        if (text == DATE_TEXT) {
            sawDate = true;
            EXPECT_NE(0, GetWindowLongA(child, GWL_STYLE) & WS_DISABLED);
        } else if (text.compare(0, sizeof VERSION_LINE - 1, VERSION_LINE) ==
                   0) {
            sawVersion = true;
            EXPECT_GT(text.size(), sizeof VERSION_LINE - 1) << "no credit";
        }
    }
    EXPECT_TRUE(sawDate);
    EXPECT_TRUE(sawVersion);

    TickProbe probe(clock);
    ASSERT_TRUE(probe.Installed());
    EXPECT_TRUE(probe.SeesTicks(2));
    ASSERT_TRUE(IsForeground(box));
    PressKey(VK_RETURN);
    ExpectClosed(box);
}

TEST_F(AboutTest, CentredWhereverTheClockIs) {
    for (POINT at : {POINT{700, 600}, POINT{40, 500}, POINT{500, 40}}) {
        ASSERT_TRUE(MoveClock(clock, at.x, at.y));
        PostMessageA(clock, WM_COMMAND, ID_ABOUT, 0);
        HWND box = WaitForAbout();
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(clock, GetWindow(box, GW_OWNER));
        ExpectCentredOnScreen(box);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        ExpectClosed(box);
    }
}

TEST_F(AboutTest, EscapeAndCloseLeaveItOpenUntilEnter) {
    TickProbe probe(clock);
    ASSERT_TRUE(probe.Installed());
    PostMessageA(clock, WM_COMMAND, ID_ABOUT, 0);
    HWND box = WaitForAbout();
    ASSERT_NE(nullptr, box);
    ASSERT_TRUE(IsForeground(box));

    // A timer message comes only when no posted or input message waits, so
    // two ticks after the key or the post mean it has been handled.
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(probe.SeesTicks(2));
    ASSERT_TRUE(IsWindowVisible(box)) << "Escape closed it";
    PostMessageA(box, WM_CLOSE, 0, 0);
    EXPECT_TRUE(probe.SeesTicks(2));
    ASSERT_TRUE(IsWindowVisible(box)) << "WM_CLOSE closed it";

    ASSERT_TRUE(IsForeground(box));
    PressKey(VK_RETURN);
    ExpectClosed(box);
}

TEST_F(AboutTest, ClickingOkWithTheMouseClosesIt) {
    PostMessageA(clock, WM_COMMAND, ID_ABOUT, 0);
    HWND box = WaitForAbout();
    ASSERT_NE(nullptr, box);
    HWND ok = GetDlgItem(box, IDOK);
    ASSERT_NE(nullptr, ok);
    POINT middle = Middle(WindowRect(ok));
    ClickAt(middle.x, middle.y);
    ExpectClosed(box);
}

// The themed controls library comes with the first dialog, not with the
// clock: the clock alone stays as small as a plain dialog program.
TEST_F(AboutTest, ControlsLibraryArrivesWithTheFirstDialog) {
    EXPECT_FALSE(LoadsModule(process->Handle(), "comctl32.dll"));
    EXPECT_FALSE(LoadsModule(process->Handle(), "comdlg32.dll"));
    PostMessageA(clock, WM_COMMAND, ID_ABOUT, 0);
    HWND box = WaitForAbout();
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(LoadsModule(process->Handle(), "comctl32.dll"));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ExpectClosed(box);
}

}  // namespace
