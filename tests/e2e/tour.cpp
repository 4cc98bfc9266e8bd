// Takes the pictures of Velmora that the README shows: it starts the real
// program, brings it into each state a user would see and saves the screen.
// Usage: velmora_tour.exe <output directory> <scene>...
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "../../res/resource.h"
#include "driver.h"

namespace {

constexpr int MARGIN = 8;  // pixels of desktop around what a picture shows
// The virtual display has no desktop picture; a plain window over the whole
// screen stands in.
constexpr COLORREF BACKDROP = RGB(0, 128, 128);

RECT Grow(const RECT& rect, int by) {
    RECT grown = {rect.left - by, rect.top - by, rect.right + by,
                  rect.bottom + by};
    if (grown.left < 0) grown.left = 0;
    if (grown.top < 0) grown.top = 0;
    return grown;
}

// The clock as it first opens, at the work area's corner.
bool ClockScene(const std::string& outDirectory) {
    ColouredWindow backdrop(WindowRect(GetDesktopWindow()), BACKDROP);
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
    ColouredWindow backdrop(WindowRect(GetDesktopWindow()), BACKDROP);
    TempDirectory directory;
    ConfigValues config;
    config.background = GetSysColor(COLOR_BACKGROUND);
    config.window = {START_LEFT, START_TOP, START_LEFT + 65, START_TOP + 18};
    directory.WriteFile(CONFIG, ConfigText(config));
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

RECT Union(const RECT& a, const RECT& b) {
    RECT both = {a.left < b.left ? a.left : b.left,
                 a.top < b.top ? a.top : b.top,
                 a.right > b.right ? a.right : b.right,
                 a.bottom > b.bottom ? a.bottom : b.bottom};
    return both;
}

// A running clock with its look settled, for the scenes that follow.
struct Stage {
    ColouredWindow backdrop{WindowRect(GetDesktopWindow()), BACKDROP};
    TempDirectory directory;
    std::unique_ptr<ClockProcess> process;
    HWND clock = nullptr;

    explicit Stage(const ConfigValues& config) {
        directory.WriteFile(CONFIG, ConfigText(config));
        process.reset(new ClockProcess(directory.Path()));
        clock = process->Clock();
        if (clock != nullptr) {
            RECT rect = WindowRect(clock);
            WaitUntil([&] {
                return CountPixels(rect, config.text) > 0 &&
                       ScreenPixel(rect.left + 1, rect.top + 1) ==
                           config.background;
            });
        }
    }
};

ConfigValues PlainLook(LONG left, LONG top) {
    ConfigValues config;
    config.background = GetSysColor(COLOR_BACKGROUND);
    config.window = {left, top, left + 65, top + 18};
    return config;
}

// The context menu, opened by a right click on the clock.
bool MenuScene(const std::string& outDirectory) {
    Stage stage(PlainLook(60, 40));
    if (stage.clock == nullptr) {
        return false;
    }
    RECT rect = WindowRect(stage.clock);
    ClickAt(rect.left + 20, rect.top + 9, true);
    HWND menu = nullptr;
    WaitUntil([&] { return (menu = FindPopupMenu()) != nullptr; });
    const POINT neutral = NeutralPoint();
    MovePointer(neutral.x, neutral.y);
    if (menu == nullptr) {
        return false;
    }
    RECT menuRect = WindowRect(menu);
    WaitUntil([&] {
        return ScreenPixel(menuRect.left + 2, menuRect.top + 2) != BACKDROP;
    });
    bool saved = SaveScreenshot(Grow(Union(rect, menuRect), MARGIN * 3),
                                outDirectory + "\\menu.bmp");
    PressKey(VK_ESCAPE);
    return saved;
}

// The colour grabber with the pointer on an orange patch.
bool GrabberScene(const std::string& outDirectory) {
    const COLORREF orange = RGB(255, 140, 0);
    const RECT patchRect = {300, 120, 420, 200};
    Stage stage(PlainLook(60, 40));
    ColouredWindow patch(patchRect, orange, true);
    if (stage.clock == nullptr) {
        return false;
    }
    PostMessageA(stage.clock, WM_COMMAND, ID_GRAB_BACKGROUND_COLOR, 0);
    HWND grabber = WaitForDialog(stage.process->Id(), "Grab Color");
    if (grabber == nullptr) {
        return false;
    }
    MovePointer((patchRect.left + patchRect.right) / 2,
                (patchRect.top + patchRect.bottom) / 2);
    WaitUntil([&] {
        return WindowText(GetDlgItem(grabber, IDC_GREEN)) == "140";
    });
    RECT shot = Grow(Union(Union(WindowRect(stage.clock), WindowRect(grabber)),
                           patchRect),
                     MARGIN * 3);
    bool saved = SaveScreenshot(shot, outDirectory + "\\grabber.bmp");
    PostMessageA(grabber, WM_COMMAND, IDOK, 0);
    return saved;
}

// The About box, centred on the screen.
bool AboutScene(const std::string& outDirectory) {
    Stage stage(PlainLook(60, 40));
    if (stage.clock == nullptr) {
        return false;
    }
    PostMessageA(stage.clock, WM_COMMAND, ID_ABOUT, 0);
    HWND about = WaitForDialog(stage.process->Id(), "About...");
    if (about == nullptr) {
        return false;
    }
    RECT rect = WindowRect(about);
    WaitUntil([&] {
        return ScreenPixel(rect.left + 20, rect.bottom - 10) != BACKDROP;
    });
    bool saved = SaveScreenshot(Grow(rect, MARGIN * 3),
                                outDirectory + "\\about.bmp");
    PostMessageA(about, WM_COMMAND, IDOK, 0);
    return saved;
}

// The clock in a font and colours of the user's choosing, sized to fit the
// font as Set Font sizes it.
bool CustomScene(const std::string& outDirectory) {
    ConfigValues config;
    config.face = "Tahoma";
    config.height = -27;
    config.weight = FW_BOLD;
    config.background = RGB(90, 0, 40);
    config.text = RGB(255, 220, 0);
    LOGFONTA font = {};
    font.lfHeight = config.height;
    font.lfWeight = config.weight;
    font.lfCharSet = static_cast<BYTE>(config.charSet);
    font.lfOutPrecision = static_cast<BYTE>(config.outPrecision);
    font.lfClipPrecision = static_cast<BYTE>(config.clipPrecision);
    lstrcpyA(font.lfFaceName, "Tahoma");
    HFONT hfont = CreateFontIndirectA(&font);
    HDC hdc = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(hdc, hfont);
    SIZE extent = {0, 0};
    GetTextExtentPoint32A(hdc, "88:88 MM", 8, &extent);
    SelectObject(hdc, previous);
    ReleaseDC(nullptr, hdc);
    DeleteObject(hfont);
    config.window = {60, 40, 60 + extent.cx + 2, 40 + extent.cy + 2};

    Stage stage(config);
    if (stage.clock == nullptr) {
        return false;
    }
    return SaveScreenshot(Grow(WindowRect(stage.clock), MARGIN * 3),
                          outDirectory + "\\custom.bmp");
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
        } else if (std::strcmp(argv[i], "menu") == 0) {
            taken = MenuScene(outDirectory);
        } else if (std::strcmp(argv[i], "grabber") == 0) {
            taken = GrabberScene(outDirectory);
        } else if (std::strcmp(argv[i], "about") == 0) {
            taken = AboutScene(outDirectory);
        } else if (std::strcmp(argv[i], "custom") == 0) {
            taken = CustomScene(outDirectory);
        } else {
            std::fprintf(stderr, "unknown scene %s\n", argv[i]);
        }
        std::printf("%s: %s\n", argv[i], taken ? "saved" : "FAILED");
        failures += taken ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
