// Dragging the clock with the real mouse, and the snapping to the work
// area's edges that every move goes through.
#include <memory>

#include "clock_test.h"
#include "tick_probe.h"

namespace {

constexpr int SNAP_DISTANCE = 10;
constexpr int CLOCK_WIDTH = DEFAULT_WIDTH;
constexpr int CLOCK_HEIGHT = DEFAULT_HEIGHT;
constexpr int START_LEFT = 300;
constexpr int START_TOP = 250;
// Start coordinates count from the work area's near edge, and FAR_EDGE - n
// puts the clock's near side n pixels before its far edge, whatever the
// screen's size.
constexpr int FAR_EDGE = 1 << 20;

POINT Offset(POINT point, int dx, int dy) {
    POINT moved = {point.x + dx, point.y + dy};
    return moved;
}

bool IsAt(HWND hwnd, int left, int top) {
    RECT rect = WindowRect(hwnd);
    return rect.left == left && rect.top == top &&
           rect.right - rect.left == CLOCK_WIDTH &&
           rect.bottom - rect.top == CLOCK_HEIGHT;
}

::testing::AssertionResult EndsAt(HWND hwnd, int left, int top,
                                  DWORD timeoutMs = WAIT_TIMEOUT_MS) {
    if (WaitUntil([&] { return IsAt(hwnd, left, top); }, timeoutMs)) {
        return ::testing::AssertionSuccess();
    }
    RECT rect = WindowRect(hwnd);
    return ::testing::AssertionFailure()
           << "window at (" << rect.left << ", " << rect.top << ") size "
           << rect.right - rect.left << "x" << rect.bottom - rect.top
           << ", expected (" << left << ", " << top << ")";
}

class DragTest : public ClockTest {
protected:
    // A clock placed away from every edge, so only the drag decides where
    // it ends.
    HWND StartClockAt(int left = START_LEFT, int top = START_TOP) {
        ConfigValues config;
        config.window = {left, top, left + CLOCK_WIDTH, top + CLOCK_HEIGHT};
        return StartClock(ConfigText(config));
    }

    void TearDown() override {
        ReleaseButton(MOUSEEVENTF_LEFTUP);
        process.reset();
    }

    RECT work = WorkArea();
};

TEST_F(DragTest, WindowFollowsThePointerUntilReleased) {
    ASSERT_NE(nullptr, StartClockAt());
    POINT grab = Middle(WindowRect(clock));
    ASSERT_TRUE(StartDrag(clock, grab));
    const POINT steps[] = {{40, 30}, {150, 90}, {-120, 200}};
    for (const POINT& step : steps) {
        POINT to = Offset(grab, step.x, step.y);
        EXPECT_TRUE(MoveDuringDrag(
            clock, to, {START_LEFT + step.x, START_TOP + step.y}))
            << "mid-drag, moved by " << step.x << ", " << step.y;
    }
    ReleaseButton(MOUSEEVENTF_LEFTUP);
    EXPECT_TRUE(WaitUntil([&] { return !InMoveLoop(clock); }));
    // After the release the pointer moves alone.
    MovePointer(grab.x + 5, grab.y + 5);
    EXPECT_TRUE(EndsAt(clock, START_LEFT - 120, START_TOP + 200));
}

struct SnapCase {
    const char* name;
    int dropLeft;  // where the window's corner is dropped, from the work
    int dropTop;   // area's top-left; a negative value counts from the far edge
    int endLeft;
    int endTop;
};

void PrintTo(const SnapCase& c, std::ostream* out) { *out << c.name; }

class DragSnapTest : public DragTest,
                     public ::testing::WithParamInterface<SnapCase> {};

int FromEdge(int value, LONG nearEdge, LONG farEdge, int size) {
    return value >= 0 ? nearEdge + value : farEdge - size + value + 1;
}

int StartCoordinate(int value, LONG nearEdge, LONG farEdge) {
    return value > FAR_EDGE / 2 ? farEdge + value - FAR_EDGE : nearEdge + value;
}

TEST_P(DragSnapTest, DropPositionIsSnapped) {
    const SnapCase& c = GetParam();
    ASSERT_NE(nullptr, StartClockAt());
    int dropLeft = FromEdge(c.dropLeft, work.left, work.right, CLOCK_WIDTH);
    int dropTop = FromEdge(c.dropTop, work.top, work.bottom, CLOCK_HEIGHT);
    POINT end = {FromEdge(c.endLeft, work.left, work.right, CLOCK_WIDTH),
                 FromEdge(c.endTop, work.top, work.bottom, CLOCK_HEIGHT)};
    POINT grab = Middle(WindowRect(clock));
    Drag(clock, grab, Offset(grab, dropLeft - START_LEFT, dropTop - START_TOP),
         end);
    EXPECT_TRUE(EndsAt(clock, end.x, end.y));
}

// -1 is flush with the far edge, -1 - n is n pixels short of it.
const SnapCase SNAP_CASES[] = {
    {"LeftAtTenSnaps", SNAP_DISTANCE, 200, 0, 200},
    {"LeftAtElevenStays", SNAP_DISTANCE + 1, 200, SNAP_DISTANCE + 1, 200},
    {"TopAtTenSnaps", 300, SNAP_DISTANCE, 300, 0},
    {"TopAtElevenStays", 300, SNAP_DISTANCE + 1, 300, SNAP_DISTANCE + 1},
    {"RightAtTenSnaps", -1 - SNAP_DISTANCE, 200, -1, 200},
    {"RightAtElevenStays", -2 - SNAP_DISTANCE, 200, -2 - SNAP_DISTANCE, 200},
    {"BottomAtTenSnaps", 300, -1 - SNAP_DISTANCE, 300, -1},
    {"BottomAtElevenStays", 300, -2 - SNAP_DISTANCE, 300, -2 - SNAP_DISTANCE},
    {"BothNearEdgesAtOnce", 4, 7, 0, 0},
};
INSTANTIATE_TEST_SUITE_P(Edges, DragSnapTest, ::testing::ValuesIn(SNAP_CASES),
                         [](const ::testing::TestParamInfo<SnapCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(DragTest, DraggedPastRightAndBottomIsHeldInside) {
    ASSERT_NE(nullptr, StartClockAt());
    POINT grab = Middle(WindowRect(clock));
    // The pointer goes to the screen's last pixel; the window would reach
    // past the work area's corner.
    POINT farCorner = {work.right - CLOCK_WIDTH, work.bottom - CLOCK_HEIGHT};
    Drag(clock, grab, {work.right - 1, work.bottom - 1}, farCorner);
    EXPECT_TRUE(EndsAt(clock, farCorner.x, farCorner.y));
    // And back past the top-left corner.
    POINT nearCorner = {work.left, work.top};
    Drag(clock, Middle(WindowRect(clock)), nearCorner, nearCorner);
    EXPECT_TRUE(EndsAt(clock, nearCorner.x, nearCorner.y));
}

TEST_F(DragTest, RightButtonDragNeverMoves) {
    ASSERT_NE(nullptr, StartClockAt());
    POINT grab = Middle(WindowRect(clock));
    MovePointer(grab.x, grab.y);
    PressButton(MOUSEEVENTF_RIGHTDOWN);
    MovePointer(grab.x + 120, grab.y + 90);
    ReleaseButton(MOUSEEVENTF_RIGHTUP);
    EXPECT_FALSE(InMoveLoop(clock));
    // The right button opens the menu instead; close it and look.
    ASSERT_TRUE(WaitUntil([] { return FindPopupMenu() != nullptr; }));
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(WaitUntil([] { return FindPopupMenu() == nullptr; }));
    EXPECT_TRUE(IsAt(clock, START_LEFT, START_TOP));
}

TEST_F(DragTest, SaveAfterDragStoresTheNewPlace) {
    ASSERT_NE(nullptr, StartClockAt());
    POINT end = {START_LEFT + 170, START_TOP - 90};
    POINT grab = Middle(WindowRect(clock));
    Drag(clock, grab, Offset(grab, end.x - START_LEFT, end.y - START_TOP), end);
    ASSERT_TRUE(EndsAt(clock, end.x, end.y));

    EXPECT_EQ(SAVED_TEXT, SaveAndAnswer(process->Id(), clock));
    ConfigValues expected;
    expected.window = {end.x, end.y, end.x + CLOCK_WIDTH, end.y + CLOCK_HEIGHT};
    std::string saved;
    ASSERT_TRUE(directory.ReadFile(CONFIG, &saved));
    EXPECT_EQ(ConfigText(expected), saved);
}

struct StoredCase {
    const char* name;
    int left;  // as a start coordinate
    int top;
    int endLeft;  // negative: from the far edge, as in SnapCase
    int endTop;
};

void PrintTo(const StoredCase& c, std::ostream* out) { *out << c.name; }

class StoredPlaceTest : public DragTest,
                        public ::testing::WithParamInterface<StoredCase> {};

TEST_P(StoredPlaceTest, OutsideWorkAreaIsPulledInAtStart) {
    const StoredCase& c = GetParam();
    ASSERT_NE(nullptr, StartClockAt(
                        StartCoordinate(c.left, work.left, work.right),
                        StartCoordinate(c.top, work.top, work.bottom)));
    EXPECT_TRUE(EndsAt(clock,
                       FromEdge(c.endLeft, work.left, work.right, CLOCK_WIDTH),
                       FromEdge(c.endTop, work.top, work.bottom, CLOCK_HEIGHT)));
}

const StoredCase STORED_CASES[] = {
    {"AboveAndLeft", -500, -300, 0, 0},
    {"BelowAndRight", 5000, 4000, -1, -1},
    {"PartlyOffLeft", -30, 200, 0, 200},
    {"WithinSnapOfTop", 400, 6, 400, 0},
};
INSTANTIATE_TEST_SUITE_P(Start, StoredPlaceTest,
                         ::testing::ValuesIn(STORED_CASES),
                         [](const ::testing::TestParamInfo<StoredCase>& info) {
                             return std::string(info.param.name);
                         });

// A smaller screen or work area leaves a running clock where it was, now
// outside. Wine keeps a work area set by one process to that process, so the
// clock is put outside the one it sees instead, past its snapping
// (SWP_NOSENDCHANGING), and then told that the desktop changed. With no
// message, the move itself is another program's, and snapping must hold it.
struct ChangeCase {
    const char* name;
    UINT message;
    WPARAM action;
    int left;  // FAR_EDGE - n: from the far edge
    int top;
    int endLeft;  // negative: from the far edge, as in SnapCase
    int endTop;
};

void PrintTo(const ChangeCase& c, std::ostream* out) { *out << c.name; }

class DesktopChangeTest : public DragTest,
                          public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(DesktopChangeTest, RunningClockIsKeptInsideTheWorkArea) {
    const ChangeCase& c = GetParam();
    ASSERT_NE(nullptr, StartClockAt());
    const int endLeft = FromEdge(c.endLeft, work.left, work.right, CLOCK_WIDTH);
    const int endTop = FromEdge(c.endTop, work.top, work.bottom, CLOCK_HEIGHT);
    const int left = StartCoordinate(c.left, work.left, work.right);
    const int top = StartCoordinate(c.top, work.top, work.bottom);
    const UINT unsnapped = c.message != 0 ? SWP_NOSENDCHANGING : 0;
    // A move alone says nothing of the z-order either, as a script's may.
    const UINT keepOrder = c.message != 0 ? SWP_NOZORDER : 0;
    SetWindowPos(clock, nullptr, left, top, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE | keepOrder | unsnapped);
    if (c.message == 0) {
        EXPECT_TRUE(EndsAt(clock, endLeft, endTop));
        return;
    }
    ASSERT_TRUE(EndsAt(clock, left, top));
    TickProbe probe(clock);
    ASSERT_TRUE(probe.ClearCalls());

    LPARAM screen = MAKELPARAM(GetSystemMetrics(SM_CXSCREEN),
                               GetSystemMetrics(SM_CYSCREEN));
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(
        clock, c.message, c.action, c.message == WM_DISPLAYCHANGE ? screen : 0,
        SMTO_ABORTIFHUNG, WAIT_TIMEOUT_MS, &result));
    EXPECT_TRUE(EndsAt(clock, endLeft, endTop));
    // Moved where it is, for the snapping to pull it in: Windows refuses
    // flags it does not know, which Wine lets pass.
    bool moved = endLeft != left || endTop != top;
    ExpectFields({{"position changes", moved ? 1 : 0, probe.Calls().positionChanges},
                  {"insert after", 0, Address(probe.Calls().positionInsertAfter)},
                  {"position flags", moved ? SWP_NOZORDER | SWP_NOACTIVATE : 0,
                   probe.Calls().positionFlags}});
}

const ChangeCase CHANGE_CASES[] = {
    {"ScreenChangedBelowAndRight", WM_DISPLAYCHANGE, 0, 5000, 4000, -1, -1},
    {"WorkAreaChangedAboveAndLeft", WM_SETTINGCHANGE, SPI_SETWORKAREA, -500,
     -300, 0, 0},
    {"WorkAreaChangedPartlyOffBottom", WM_SETTINGCHANGE, SPI_SETWORKAREA, 300,
     FAR_EDGE - 8, 300, -1},
    {"ScreenChangedPartlyOffRight", WM_DISPLAYCHANGE, 0, FAR_EDGE - 8, 300, -1,
     300},
    // Inside, yet within snapping distance: a change must not move it.
    {"InsideStaysOnScreenChange", WM_DISPLAYCHANGE, 0, 400, 6, 400, 6},
    {"InsideStaysOnWorkAreaChange", WM_SETTINGCHANGE, SPI_SETWORKAREA, 5, 300,
     5, 300},
    // SWP_NOSIZE: the move carries no size, the clock's own must count.
    {"MovedWithoutSizePastRightAndBottom", 0, 0, FAR_EDGE - 9, FAR_EDGE - 8,
     -1, -1},
};
INSTANTIATE_TEST_SUITE_P(Change, DesktopChangeTest,
                         ::testing::ValuesIn(CHANGE_CASES),
                         [](const ::testing::TestParamInfo<ChangeCase>& info) {
                             return std::string(info.param.name);
                         });

// Work areas this desktop never gives: a call that failed and left its
// rectangle as it pleased, and a scaled screen's, in physical pixels, past
// the screen. Either way the clock keeps to the screen's own edges.
struct WorkAreaCase {
    const char* name;
    bool answered;
    int outside;  // how far the answer reaches past each screen edge
};

void PrintTo(const WorkAreaCase& c, std::ostream* out) { *out << c.name; }

class WorkAreaAnswerTest : public DragTest,
                           public ::testing::WithParamInterface<WorkAreaCase> {};

TEST_P(WorkAreaAnswerTest, ClockKeepsToTheScreen) {
    const WorkAreaCase& c = GetParam();
    ASSERT_NE(nullptr, StartClockAt());
    TickProbe probe(clock);
    ASSERT_TRUE(probe.ClearCalls());
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    probe.ReplaceWorkArea(c.answered, {-c.outside, -c.outside,
                                       width + c.outside, height + c.outside});
    const UINT moveOnly = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(clock, nullptr, -SNAP_DISTANCE, -SNAP_DISTANCE, 0, 0, moveOnly);
    EXPECT_TRUE(EndsAt(clock, 0, 0));
    SetWindowPos(clock, nullptr, width, height, 0, 0, moveOnly);
    EXPECT_TRUE(EndsAt(clock, width - CLOCK_WIDTH, height - CLOCK_HEIGHT));
}

const WorkAreaCase WORK_AREA_CASES[] = {
    {"Failed", false, -150},
    {"PastTheScreen", true, 40},
};
INSTANTIATE_TEST_SUITE_P(Answer, WorkAreaAnswerTest,
                         ::testing::ValuesIn(WORK_AREA_CASES),
                         [](const ::testing::TestParamInfo<WorkAreaCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
