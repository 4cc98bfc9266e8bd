// Takes the pictures of Velmora that the README shows: it starts the real
// program, brings it into each state a user would see and saves the screen.
// Usage: velmora_tour.exe <output directory> <scene>...
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "../../res/resource.h"
#include "driver.h"

namespace {

constexpr int MARGIN = 8;  // pixels of desktop around what a picture shows
// The virtual display has no desktop picture; a plain window stands in.
constexpr COLORREF BACKDROP = RGB(0, 128, 128);
const RECT BACKDROP_AREA = {0, 0, 640, 400};

RECT Grow(const RECT& rect, int by) {
    RECT grown = {rect.left - by, rect.top - by, rect.right + by,
                  rect.bottom + by};
    if (grown.left < 0) grown.left = 0;
    if (grown.top < 0) grown.top = 0;
    return grown;
}

// The clock as it first opens, at the work area's corner.
bool ClockScene(const std::string& outDirectory) {
    ColouredWindow backdrop(BACKDROP_AREA, BACKDROP);
    TempDirectory directory;
    ClockProcess process(directory.Path());
    HWND clock = process.Clock();
    if (clock == nullptr) {
        return false;
    }
    RECT rect = WindowRect(clock);
    COLORREF background = GetSysColor(COLOR_BACKGROUND);
    WaitUntil([&] {
        return ScreenPixel(rect.left + 1, rect.top + 1) == background &&
               CountPixels(rect, RGB(255, 255, 255)) > 0;
    });
    return SaveScreenshot(Grow(rect, MARGIN * 4), outDirectory + "\\clock.bmp");
}

// A drag in three pictures: where it starts, half way, and snapped to the
// work area's corner when dropped a few pixels short of it.
bool DragScene(const std::string& outDirectory) {
    constexpr int START_LEFT = 300;
    constexpr int START_TOP = 220;
    constexpr int MIDDLE_LEFT = 160;
    constexpr int MIDDLE_TOP = 110;
    constexpr int SHORT_OF_EDGE = 7;
    const RECT area = {0, 0, 440, 300};
    ColouredWindow backdrop(BACKDROP_AREA, BACKDROP);
    TempDirectory directory;
    ConfigValues config;
    config.background = GetSysColor(COLOR_BACKGROUND);
    config.window = {START_LEFT, START_TOP, START_LEFT + 65, START_TOP + 18};
    directory.WriteFile("Velmora.cfg", ConfigText(config));
    ClockProcess process(directory.Path());
    HWND clock = process.Clock();
    if (clock == nullptr) {
        return false;
    }
    RECT rect = WindowRect(clock);
    POINT grab = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    POINT offset = {grab.x - rect.left, grab.y - rect.top};
    WaitUntil([&] { return CountPixels(rect, RGB(255, 255, 255)) > 0; });
    bool saved = SaveScreenshot(area, outDirectory + "\\drag-1-start.bmp");

    saved = StartDrag(clock, grab) && saved;
    saved = MoveDuringDrag(clock,
                           {MIDDLE_LEFT + offset.x, MIDDLE_TOP + offset.y},
                           {MIDDLE_LEFT, MIDDLE_TOP}) &&
            saved;
    // The backdrop repaints where the clock was once the driver pumps it.
    WaitUntil([&] { return ScreenPixel(grab.x, grab.y) == BACKDROP; });
    saved = SaveScreenshot(area, outDirectory + "\\drag-2-middle.bmp") && saved;
    RECT work = WorkArea();
    saved = MoveDuringDrag(clock,
                           {work.left + SHORT_OF_EDGE + offset.x,
                            work.top + SHORT_OF_EDGE + offset.y},
                           {work.left, work.top}) &&
            saved;
    ReleaseButton(MOUSEEVENTF_LEFTUP);
    WaitUntil([&] { return !InMoveLoop(clock); });
    MovePointer(area.right, area.bottom);
    WaitUntil([&] {
        return ScreenPixel(MIDDLE_LEFT + offset.x, MIDDLE_TOP + offset.y) ==
               BACKDROP;
    });
    return SaveScreenshot(area, outDirectory + "\\drag-3-snapped.bmp") &&
           saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <output directory> <scene>...\n",
                     argv[0]);
        return 2;
    }
    const std::string outDirectory = argv[1];
    int failures = 0;
    for (int i = 2; i < argc; ++i) {
        bool taken = false;
        if (std::strcmp(argv[i], "clock") == 0) {
            taken = ClockScene(outDirectory);
        } else if (std::strcmp(argv[i], "drag") == 0) {
            taken = DragScene(outDirectory);
        } else {
            std::fprintf(stderr, "unknown scene %s\n", argv[i]);
        }
        std::printf("%s: %s\n", argv[i], taken ? "saved" : "FAILED");
        failures += taken ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
