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

RECT Grow(const RECT& rect, int by) {
    RECT grown = {rect.left - by, rect.top - by, rect.right + by,
                  rect.bottom + by};
    if (grown.left < 0) grown.left = 0;
    if (grown.top < 0) grown.top = 0;
    return grown;
}

// The clock as it first opens, at the work area's corner.
bool ClockScene(const std::string& outDirectory) {
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
        } else {
            std::fprintf(stderr, "unknown scene %s\n", argv[i]);
        }
        std::printf("%s: %s\n", argv[i], taken ? "saved" : "FAILED");
        failures += taken ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
