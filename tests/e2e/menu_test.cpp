// The context menu and the commands that act on the window and the program:
// always-on-top, saving the configuration and Exit, chosen as a user does.
#include <string>
#include <vector>

#include "../../res/resource.h"
#include "clock_test.h"
#include "tick_probe.h"

namespace {

constexpr int ICON_PIXELS = 32 * 32;
constexpr int NEARLY_ALL_ICON_PIXELS = ICON_PIXELS * 9 / 10;
constexpr int CLEAR_MARGIN = ICON_PIXELS / 10;
constexpr RECT OTHER_RECT = {600, 400, 700, 500};
constexpr COLORREF OTHER_COLOUR = RGB(90, 160, 60);

class MenuTest : public ClockTest {
protected:
    // Checks the box a save shows while the clock ticks on, then closes it.
    void ExpectSaveBox(const std::string& text, LPCSTR icon,
                       LPCSTR wrongIcon) {
        HWND box = WaitForDialog(process->Id(), MESSAGE_TITLE);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(clock, GetWindow(box, GW_OWNER));
        EXPECT_EQ(text, MessageBoxText(box));
        HWND iconControl = FindIconControl(box);
        EXPECT_NE(nullptr, iconControl);
        if (iconControl != nullptr) {
            // The first read can come before the icon is painted.
            int right = 0;
            WaitUntil([&] {
                right = IconPixelsMatching(iconControl, icon);
                return right >= NEARLY_ALL_ICON_PIXELS;
            });
            EXPECT_GE(right, NEARLY_ALL_ICON_PIXELS);
            EXPECT_GT(right, IconPixelsMatching(iconControl, wrongIcon) +
                                 CLEAR_MARGIN);
        }
        TickProbe probe(clock);
        ASSERT_TRUE(probe.Installed());
        EXPECT_TRUE(probe.SeesTicks(2));
        EXPECT_TRUE(CloseWith(box, WM_COMMAND, IDOK));
    }

    void ExpectSavedFile(const ConfigValues& values) {
        std::string bytes;
        ASSERT_TRUE(directory.ReadFile(CONFIG, &bytes));
        EXPECT_EQ(ConfigText(values), bytes);
        EXPECT_EQ(std::vector<std::string>{CONFIG}, directory.FileNames());
    }

    // One flip through the menu, one by command; the rectangle stays put.
    void ExpectTogglesFrom(bool initiallyTopmost) {
        std::vector<std::string> files = directory.FileNames();
        std::string stored;
        directory.ReadFile(CONFIG, &stored);
        ASSERT_NE(nullptr, StartClock());
        // Wine leaves an owned window topmost when its owner lies right
        // below it; on a real desktop other windows lie between them.
        ColouredWindow other(OTHER_RECT, OTHER_COLOUR);
        // Away from the corner, so that a move to 0,0 would show.
        ASSERT_TRUE(MoveClock(clock, 250, 150));
        SetWindowPos(other.Get(), HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        RECT before = WindowRect(clock);
        ASSERT_EQ(initiallyTopmost, IsTopmost(clock));

        ASSERT_TRUE(ChooseFromMenu(clock, 'O'));
        EXPECT_TRUE(WaitUntil([&] {
            return IsTopmost(clock) != initiallyTopmost;
        }));
        ASSERT_TRUE(RoundTrip(clock));
        EXPECT_TRUE(SameRect(before, WindowRect(clock)));

        PostMessageA(clock, WM_COMMAND, ID_TOGGLE_ONTOP, 0);
        EXPECT_TRUE(WaitUntil([&] {
            return IsTopmost(clock) == initiallyTopmost;
        }));
        ASSERT_TRUE(RoundTrip(clock));
        EXPECT_TRUE(SameRect(before, WindowRect(clock)));
        // Toggling alone stores nothing.
        EXPECT_EQ(files, directory.FileNames());
        std::string after;
        directory.ReadFile(CONFIG, &after);
        EXPECT_EQ(stored, after);
    }
};

TEST_F(MenuTest, OpensAtEachClickPointWhileTickingAndEscapeChangesNothing) {
    ASSERT_NE(nullptr, StartClock());
    TickProbe probe(clock);
    ASSERT_TRUE(probe.Installed());

    // The second click is on the moved clock: client and screen points
    // differ only there.
    HMENU shown[2] = {nullptr, nullptr};
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            ASSERT_TRUE(MoveClock(clock, 400, 300));
        }
        RECT rect = WindowRect(clock);
        bool topmost = IsTopmost(clock);
        POINT at = round == 0 ? POINT{rect.left + 10, rect.top + 5}
                              : POINT{rect.right - 8, rect.bottom - 4};
        HWND menu = OpenMenu(at);
        ASSERT_NE(nullptr, menu);
        DWORD menuProcess = 0;
        GetWindowThreadProcessId(menu, &menuProcess);
        EXPECT_EQ(process->Id(), menuProcess);
        RECT menuRect = WindowRect(menu);
        EXPECT_EQ(at.x, menuRect.left);
        EXPECT_EQ(at.y, menuRect.top);
        DWORD_PTR handle = 0;
        SendMessageTimeoutA(menu, MN_GETHMENU, 0, 0, SMTO_ABORTIFHUNG,
                            WAIT_TIMEOUT_MS, &handle);
        shown[round] = reinterpret_cast<HMENU>(handle);
        EXPECT_TRUE(probe.SeesTicks(2));

        PressKey(VK_ESCAPE);
        EXPECT_TRUE(WaitUntil([] { return FindPopupMenu() == nullptr; }));
        ASSERT_TRUE(RoundTrip(clock));
        EXPECT_TRUE(SameRect(rect, WindowRect(clock)));
        EXPECT_EQ(topmost, IsTopmost(clock));
        EXPECT_TRUE(process->IsRunning());
        for (HWND hwnd : process->TopLevelWindows()) {
            if (IsWindowVisible(hwnd)) {
                EXPECT_EQ(clock, hwnd) << "a command ran: \""
                                       << WindowText(hwnd) << "\"";
            }
        }
        EXPECT_TRUE(directory.FileNames().empty());
    }
    EXPECT_NE(nullptr, shown[0]);
    EXPECT_EQ(shown[0], shown[1]);
    EXPECT_TRUE(probe.SeesTicks(1));
}

TEST_F(MenuTest, ToggleFromDefaultTopmostAndBack) { ExpectTogglesFrom(true); }

TEST_F(MenuTest, ToggleFromStoredNotTopmostAndBack) {
    ConfigValues values;
    values.onTop = 0;
    directory.WriteFile(CONFIG, ConfigText(values));
    ExpectTogglesFrom(false);
}

TEST_F(MenuTest, SaveWritesRectAndSettingsThenReportsSuccess) {
    ASSERT_NE(nullptr, StartClock());

    ConfigValues values = DefaultsAt(clock);
    ASSERT_TRUE(ChooseFromMenu(clock, 'D'));
    ExpectSaveBox(SAVED_TEXT, IDI_INFORMATION, IDI_ERROR);
    ExpectSavedFile(values);

    // Moved and toggled, the clock stores its new rectangle and flag.
    ASSERT_TRUE(MoveClock(clock, 300, 200));
    PostMessageA(clock, WM_COMMAND, ID_TOGGLE_ONTOP, 0);
    PostMessageA(clock, WM_COMMAND, ID_SAVE_CONFIG, 0);
    ExpectSaveBox(SAVED_TEXT, IDI_INFORMATION, IDI_ERROR);
    values.window = {300, 200, 300 + 65, 200 + 18};
    values.onTop = 0;
    EXPECT_TRUE(SameRect(values.window, WindowRect(clock)));
    ExpectSavedFile(values);

    // Toggled back on, it stores the very value it reads as on.
    PostMessageA(clock, WM_COMMAND, ID_TOGGLE_ONTOP, 0);
    PostMessageA(clock, WM_COMMAND, ID_SAVE_CONFIG, 0);
    ExpectSaveBox(SAVED_TEXT, IDI_INFORMATION, IDI_ERROR);
    values.onTop = 1;
    ExpectSavedFile(values);
    EXPECT_TRUE(process->IsRunning());
}

TEST_F(MenuTest, SaveOverDirectoryFailsHarmlesslyThenSucceedsOnceItGoes) {
    ASSERT_NE(nullptr, StartClock());
    std::string path = directory.File(CONFIG);
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));

    PostMessageA(clock, WM_COMMAND, ID_SAVE_CONFIG, 0);
    ExpectSaveBox(SAVE_FAILED_TEXT, IDI_ERROR,
                  IDI_INFORMATION);
    DWORD attributes = GetFileAttributesA(path.c_str());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_NE(0u, attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(std::vector<std::string>{CONFIG}, directory.FileNames());
    EXPECT_TRUE(process->IsRunning());
    EXPECT_TRUE(IsWindowVisible(clock));

    ASSERT_TRUE(RemoveDirectoryA(path.c_str()));
    ConfigValues values = DefaultsAt(clock);
    ASSERT_TRUE(ChooseFromMenu(clock, 'D'));
    ExpectSaveBox(SAVED_TEXT, IDI_INFORMATION, IDI_ERROR);
    ExpectSavedFile(values);
}

TEST_F(MenuTest, ExitThroughMenuEndsWithCodeOneAndWritesNothing) {
    ASSERT_NE(nullptr, StartClock());
    ASSERT_TRUE(ChooseFromMenu(clock, 'X'));
    EXPECT_EQ(EXPECTED_EXIT_CODE, process->WaitForExit());
    EXPECT_TRUE(directory.FileNames().empty());
}

}  // namespace
