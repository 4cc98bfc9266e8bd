// Start-up, the clock window's look and its end, as a user meets them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "../../res/resource.h"
#include "clock_test.h"
#include "tick_probe.h"

namespace {

// A tick, however late a loaded machine brings it: the wait ends once the
// label shows the time.
constexpr DWORD TICK_ALLOWANCE_MS = 5 * CLOCK_TICK_MS;
// A timer may fire up to a scheduler tick early; ticks never come closer.
constexpr DWORD TIMER_SLACK_MS = 100;
// The label's text in the dialog template, lower case as the clock never
// writes it: shown only until the clock first sets the time.
constexpr char TEMPLATE_TEXT[] = "12:00 am";
// The zone the test command's VELMORA_NEW_ZONE names, and the one TZ gives
// below: India, UTC+5:30 all year, half an hour off every whole-hour zone
// the clock could have shown (the tests run in UTC).
constexpr int NEW_ZONE_MINUTES_EAST = 330;
constexpr char NEW_ZONE_TZ[] = "IST-5:30";
constexpr ULONGLONG FILETIME_TICKS_PER_MINUTE = 600000000ULL;

class StartupTest : public ClockTest {};

std::string Label(HWND clock) {
    return WindowText(GetDlgItem(clock, IDC_TIME));
}

bool SetLabel(HWND clock, const char* text) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(GetDlgItem(clock, IDC_TIME), WM_SETTEXT, 0,
                               reinterpret_cast<LPARAM>(text),
                               SMTO_ABORTIFHUNG, WAIT_TIMEOUT_MS,
                               &result) != 0;
}

std::string LocalClockText() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return ExpectedClockText(now);
}

// The label shows this time within the allowance: just after a minute turns
// it may still show the last one until its next tick.
void ExpectShows(HWND clock, std::string (*time)(),
                 DWORD allowanceMs = TICK_ALLOWANCE_MS) {
    std::string text;
    std::string expected;
    bool shown = WaitUntil([&] {
        expected = time();
        text = Label(clock);
        return text == expected;
    }, allowanceMs);
    EXPECT_TRUE(shown) << "label shows \"" << text << "\", expected \""
                       << expected << "\"";
}

// Under Wine the Windows time zone follows the Linux side's /etc/localtime.
// The test command binds a writable copy of UTC's zone file over it, in a
// mount namespace of the tests' own, and names that file and another zone's
// in VELMORA_ZONE_FILE and VELMORA_NEW_ZONE (Windows paths). This puts the
// other zone in place for its life, and UTC back after.
class ZoneChange {
public:
    ZoneChange()
        : zoneFile_(std::getenv("VELMORA_ZONE_FILE")),
          newZone_(std::getenv("VELMORA_NEW_ZONE")) {}
    ~ZoneChange() {
        if (changed_) {
            WriteWholeFile(zoneFile_, original_);
            SetModified(originalTime_);
        }
    }
    ZoneChange(const ZoneChange&) = delete;
    ZoneChange& operator=(const ZoneChange&) = delete;

    bool Available() const {
        return zoneFile_ != nullptr && newZone_ != nullptr;
    }

    // In place: the zone file is a bind mount, which a file renamed over it
    // would not go through.
    bool Change() {
        std::string zone;
        WIN32_FILE_ATTRIBUTE_DATA attributes;
        if (!ReadWholeFile(zoneFile_, &original_) ||
            !ReadWholeFile(newZone_, &zone) ||
            !GetFileAttributesExA(zoneFile_, GetFileExInfoStandard,
                                  &attributes)) {
            return false;
        }
        originalTime_ = attributes.ftLastWriteTime;
        changed_ = true;
        ULARGE_INTEGER earlier;
        earlier.LowPart = originalTime_.dwLowDateTime;
        earlier.HighPart = originalTime_.dwHighDateTime;
        earlier.QuadPart -= FILETIME_TICKS_PER_MINUTE;
        FILETIME changedTime = {earlier.LowPart, earlier.HighPart};
        return WriteWholeFile(zoneFile_, zone) && SetModified(changedTime);
    }

private:
    // The C library tells a changed zone file by its modification time in
    // whole seconds, so a change within the second of the last one would
    // pass unseen: each state of the file gets a time of its own.
    bool SetModified(const FILETIME& time) const {
        HANDLE file = CreateFileA(zoneFile_, FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        BOOL set = SetFileTime(file, nullptr, nullptr, &time);
        CloseHandle(file);
        return set != FALSE;
    }

    const char* zoneFile_;
    const char* newZone_;
    std::string original_;
    FILETIME originalTime_ = {0, 0};
    bool changed_ = false;
};

std::string TextInNewZone() {
    FILETIME utc;
    GetSystemTimeAsFileTime(&utc);
    ULARGE_INTEGER ticks;
    ticks.LowPart = utc.dwLowDateTime;
    ticks.HighPart = utc.dwHighDateTime;
    ticks.QuadPart += NEW_ZONE_MINUTES_EAST * FILETIME_TICKS_PER_MINUTE;
    FILETIME shifted;
    shifted.dwLowDateTime = ticks.LowPart;
    shifted.dwHighDateTime = ticks.HighPart;
    SYSTEMTIME time;
    FileTimeToSystemTime(&shifted, &time);
    return ExpectedClockText(time);
}

struct ZoneMessage {
    const char* name;
    UINT message;
};

void PrintTo(const ZoneMessage& m, std::ostream* out) { *out << m.name; }

class ZoneChangeTest : public StartupTest,
                       public ::testing::WithParamInterface<ZoneMessage> {};

// The run-time reads the zone once; the clock must read it again when told.
TEST_P(ZoneChangeTest, NewZoneShowsAtOnce) {
    ZoneChange zone;
    if (!zone.Available()) {
        GTEST_SKIP() << "no zone file to change (VELMORA_ZONE_FILE)";
    }
    ASSERT_NE(nullptr, StartClock());
    ExpectShows(clock, LocalClockText);
    // Held, no tick can show it later: the message must, at once.
    TickProbe probe(clock);
    ASSERT_TRUE(probe.Installed());
    probe.HoldTicks(true);

    ASSERT_TRUE(zone.Change());
    // A minute may turn while the message is handled.
    const std::string before = TextInNewZone();
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(clock, GetParam().message, 0, 0,
                                    SMTO_ABORTIFHUNG, WAIT_TIMEOUT_MS,
                                    &result));
    const std::string shown = Label(clock);
    EXPECT_TRUE(shown == before || shown == TextInNewZone()) << shown;
}

// The C library's TZ names a zone for the clock's process alone: a clock
// that showed UTC, or the driver's zone, would show another hour.
TEST_F(StartupTest, ShowsLocalTimeNotUtc) {
    LaunchOptions options;
    options.timeZone = NEW_ZONE_TZ;
    ASSERT_NE(nullptr, StartClock(options));
    ExpectShows(clock, TextInNewZone);
}

// Each tick sets the time afresh, for the clock's whole life: a label
// overwritten from outside shows the time again within a tick, every time.
// Held, the ticks leave it as overwritten, so what the tests that hold them
// see, a command drew at once.
TEST_F(StartupTest, EveryTickSetsTheTimeAfresh) {
    ASSERT_NE(nullptr, StartClock());
    EXPECT_NE(TEMPLATE_TEXT, Label(clock)) << "the time waited for the first tick";
    TickProbe probe(clock);
    ASSERT_TRUE(probe.Installed());
    // One tick a second and no more: three take two seconds at least.
    DWORD start = GetTickCount();
    ASSERT_TRUE(probe.SeesTicks(3));
    EXPECT_GE(GetTickCount() - start, 2 * CLOCK_TICK_MS - TIMER_SLACK_MS);
    for (const char* stale : {"stale", "--:--", "stale"}) {
        ASSERT_TRUE(SetLabel(clock, stale));
        ExpectShows(clock, LocalClockText);
    }
    probe.HoldTicks(true);
    ASSERT_TRUE(SetLabel(clock, "held"));
    ASSERT_TRUE(probe.SeesTicks(2));
    EXPECT_EQ("held", Label(clock)) << "a held tick reached the clock";
}

const ZoneMessage ZONE_MESSAGES[] = {
    {"TimeChange", WM_TIMECHANGE},
    {"SettingChange", WM_SETTINGCHANGE},
};
INSTANTIATE_TEST_SUITE_P(Zone, ZoneChangeTest,
                         ::testing::ValuesIn(ZONE_MESSAGES),
                         [](const ::testing::TestParamInfo<ZoneMessage>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(StartupTest, WithoutFileOpensDefaultClockAtWorkAreaCorner) {
    ASSERT_NE(nullptr, StartClock());

    RECT work = WorkArea();
    RECT expected = {work.left, work.top, work.left + DEFAULT_WIDTH,
                     work.top + DEFAULT_HEIGHT};
    RECT actual = WindowRect(clock);
    EXPECT_TRUE(SameRect(expected, actual))
        << actual.left << "," << actual.top << "," << actual.right << ","
        << actual.bottom;
    EXPECT_TRUE(IsTopmost(clock));

    LONG style = GetWindowLongA(clock, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_EQ(0, style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_BORDER |
                          WS_DLGFRAME));
    EXPECT_EQ(0, GetWindowLongA(clock, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    ExpectShows(clock, LocalClockText);

    // The default background is the desktop colour, and the text is white.
    COLORREF desktop = GetSysColor(COLOR_BACKGROUND);
    EXPECT_TRUE(WaitUntil([&] {
        return ScreenPixel(actual.left + 1, actual.top + 1) == desktop;
    }));
    EXPECT_GT(CountPixels(actual, RGB(255, 255, 255)), 0);
}

TEST_F(StartupTest, OwnedByHiddenUnownedWindowOfSameProcess) {
    ASSERT_NE(nullptr, StartClock());

    HWND host = GetWindow(clock, GW_OWNER);
    ASSERT_NE(nullptr, host);
    DWORD hostProcess = 0;
    GetWindowThreadProcessId(host, &hostProcess);
    EXPECT_EQ(process->Id(), hostProcess);
    EXPECT_FALSE(IsWindowVisible(host));
    EXPECT_EQ(nullptr, GetWindow(host, GW_OWNER));
    // Its own empty template: no caption, no controls.
    EXPECT_EQ(0, GetWindowLongA(host, GWL_STYLE) & WS_CAPTION);
    EXPECT_EQ(nullptr, GetWindow(host, GW_CHILD));
    // Hidden, it is still asked before a log-off, and a no would hold the
    // session up.
    DWORD_PTR mayEnd = FALSE;
    ASSERT_TRUE(SendMessageTimeoutA(host, WM_QUERYENDSESSION, 0, 0,
                                    SMTO_ABORTIFHUNG, WAIT_TIMEOUT_MS, &mayEnd));
    EXPECT_NE(DWORD_PTR{FALSE}, mayEnd);

    // No window of the program could earn a taskbar button.
    for (HWND hwnd : process->TopLevelWindows()) {
        EXPECT_EQ(0, GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
        if (IsWindowVisible(hwnd)) {
            EXPECT_EQ(clock, hwnd);
        }
    }
}

TEST_F(StartupTest, SeededFileGivesPlaceSizeColoursAndZOrder) {
    ConfigValues config;
    RECT work = WorkArea();
    config.window = {work.left + 200, work.top + 150, work.left + 330,
                     work.top + 190};
    config.background = RGB(200, 30, 40);
    config.text = RGB(10, 220, 90);
    config.onTop = 0;
    config.face = "Tahoma";
    config.height = -30;
    ASSERT_NE(nullptr, StartClock(ConfigText(config)));
    RECT actual = WindowRect(clock);
    EXPECT_TRUE(SameRect(config.window, actual));
    EXPECT_FALSE(IsTopmost(clock));
    EXPECT_TRUE(WaitUntil([&] {
        return ScreenPixel(actual.left + 1, actual.top + 1) ==
               config.background;
    }));
    // Drawn in the stored font: its digits are taller than the whole
    // default clock, as the dialog's own font's are not.
    RECT text = {0, 0, 0, 0};
    EXPECT_TRUE(WaitUntil([&] {
        text = ColourBounds(actual, config.text);
        return text.bottom - text.top > DEFAULT_HEIGHT;
    })) << "text " << text.bottom - text.top << " pixels high";
    ExpectShows(clock, LocalClockText);
}

TEST_F(StartupTest, AnyNonZeroFlagMeansTopmost) {
    ConfigValues config;
    config.onTop = -7;
    ASSERT_NE(nullptr, StartClock(ConfigText(config)));
    EXPECT_TRUE(IsTopmost(clock));
}

TEST_F(StartupTest, ArgumentsAndShowStateChangeNothing) {
    RECT expected;
    {
        ClockProcess plain(directory.Path());
        ASSERT_NE(nullptr, plain.Clock());
        expected = WindowRect(plain.Clock());
    }

    LaunchOptions options;
    options.arguments = "/minimize --config other.cfg -x";
    options.showCommand = SW_SHOWMINIMIZED;
    TempDirectory other;
    ClockProcess withArguments(other.Path(), options);
    HWND clock = withArguments.Clock();
    ASSERT_NE(nullptr, clock);
    EXPECT_TRUE(SameRect(expected, WindowRect(clock)));
    EXPECT_FALSE(IsIconic(clock));
    EXPECT_TRUE(IsTopmost(clock));
}

TEST_F(StartupTest, EnterAndEscapeCommandsDoNotCloseIt) {
    ASSERT_NE(nullptr, StartClock());
    // Sent, not posted: EndDialog would hide the window before the send
    // returns, so visibility afterwards proves the command was refused.
    for (WPARAM command : {IDOK, IDCANCEL}) {
        DWORD_PTR result = 0;
        ASSERT_TRUE(SendMessageTimeoutA(clock, WM_COMMAND, command, 0,
                                        SMTO_ABORTIFHUNG, WAIT_TIMEOUT_MS,
                                        &result));
        EXPECT_TRUE(IsWindowVisible(clock));
        EXPECT_TRUE(process->IsRunning());
    }
    ExpectClosesWithExitCode();
}

TEST_F(StartupTest, CloseEndsWithExitCodeOneAndWritesNothing) {
    ASSERT_NE(nullptr, StartClock());
    ExpectClosesWithExitCode();
    EXPECT_TRUE(directory.FileNames().empty());
}

TEST_F(StartupTest, ReadsFileFromCurrentDirectoryNotExecutables) {
    // A copy of the program beside a file that must be ignored...
    TempDirectory programDirectory;
    std::string copy = programDirectory.File("Velmora.exe");
    ASSERT_TRUE(CopyFileA(VelmoraPath().c_str(), copy.c_str(), FALSE));
    ConfigValues besideProgram;
    besideProgram.window = {300, 300, 400, 340};
    programDirectory.WriteFile(CONFIG, ConfigText(besideProgram));
    // ...started in a directory whose file must be read.
    ConfigValues inCurrent;
    RECT work = WorkArea();
    inCurrent.window = {work.left + 120, work.top + 60, work.left + 220,
                        work.top + 90};
    LaunchOptions options;
    options.executable = copy;
    ASSERT_NE(nullptr, StartClock(ConfigText(inCurrent), options));
    EXPECT_TRUE(SameRect(inCurrent.window, WindowRect(clock)));
    ExpectClosesWithExitCode();
}

}  // namespace
