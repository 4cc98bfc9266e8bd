// Process, window and screen helpers for the end-to-end tests.
#include "driver.h"

#include <cstdio>
#include <cstdlib>

#include "../../res/resource.h"

namespace {

constexpr DWORD DEFAULT_WAIT_TIMEOUT_MS = 30000;
constexpr char WAIT_SETTING[] = "VELMORA_E2E_WAIT_MS";
constexpr DWORD POLL_INTERVAL_MS = 10;
constexpr DWORD CLOSE_TIMEOUT_MS = 5000;
constexpr int TEXT_BUFFER_SIZE = 512;

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectProcessWindow(HWND hwnd, LPARAM lParam) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner == search->processId) {
        search->windows.push_back(hwnd);
    }
    return TRUE;
}

std::vector<HWND> WindowsOf(DWORD processId) {
    WindowSearch search = {processId, {}};
    EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

std::string ClassName(HWND hwnd) {
    char name[TEXT_BUFFER_SIZE] = "";
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

DWORD WaitTimeoutSetting() {
    char text[16] = "";
    DWORD length = GetEnvironmentVariableA(WAIT_SETTING, text, sizeof text);
    if (length == 0 || length >= sizeof text) {
        return DEFAULT_WAIT_TIMEOUT_MS;
    }
    unsigned long value = std::strtoul(text, nullptr, 10);
    return value > 0 ? static_cast<DWORD>(value) : DEFAULT_WAIT_TIMEOUT_MS;
}

}  // namespace

const DWORD WAIT_TIMEOUT_MS = WaitTimeoutSetting();

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        PumpMessages();
        if (condition()) {
            return true;
        }
        if (GetTickCount() - start > timeoutMs) {
            return condition();
        }
        Sleep(POLL_INTERVAL_MS);
    }
}

ColouredWindow::ColouredWindow(const RECT& rect, COLORREF color,
                               bool topmost)
    : brush_(CreateSolidBrush(color)) {
    static LONG counter = 0;
    char className[64];
    std::snprintf(className, sizeof className, "VelmoraTestColour%ld",
                  InterlockedIncrement(&counter));
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = brush_;
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    hwnd_ = CreateWindowExA(topmost ? WS_EX_TOPMOST : 0, className, "",
                            WS_POPUP | WS_VISIBLE, rect.left, rect.top,
                            rect.right - rect.left, rect.bottom - rect.top,
                            nullptr, nullptr, windowClass.hInstance, nullptr);
    UpdateWindow(hwnd_);
    WaitUntil([&] { return ScreenPixel(rect.left, rect.top) == color; });
}

ColouredWindow::~ColouredWindow() {
    DestroyWindow(hwnd_);
    DeleteObject(brush_);
    PumpMessages();
}

std::string VelmoraPath() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string result = path;
    result.erase(result.find_last_of("\\/") + 1);
    return result + "Velmora.exe";
}

std::wstring Widen(const std::string& text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(),
                                     static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                        &wide[0], length);
    return wide;
}

TempDirectory::TempDirectory(const std::wstring& nameEnd) {
    static LONG counter = 0;
    wchar_t base[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, base);
    // Wine reuses small process ids, so the id alone is not unique.
    for (;;) {
        std::wstring name = std::wstring(base) + L"velmora-e2e-" +
                            std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(GetTickCount()) + L"-" +
                            std::to_wstring(InterlockedIncrement(&counter)) +
                            nameEnd;
        if (CreateDirectoryW(name.c_str(), nullptr)) {
            widePath_ = name;
            break;
        }
    }
    char ansi[MAX_PATH] = "";
    WideCharToMultiByte(CP_ACP, 0, widePath_.c_str(), -1, ansi, sizeof ansi,
                        nullptr, nullptr);
    path_ = ansi;
}

TempDirectory::~TempDirectory() {
    for (const std::string& name : FileNames()) {
        std::wstring path = WideFile(name);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(path.c_str())) {
            RemoveDirectoryW(path.c_str());
        }
    }
    RemoveDirectoryW(widePath_.c_str());
}

bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        return false;
    }
    bytes->clear();
    char buffer[TEXT_BUFFER_SIZE];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes->append(buffer, count);
    }
    std::fclose(file);
    return true;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    return ReadWholeFile(Widen(path), bytes);
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) {
        return false;
    }
    bool written =
        std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    return WriteWholeFile(Widen(path), bytes);
}

void TempDirectory::WriteFile(const char* name,
                              const std::string& bytes) const {
    WriteWholeFile(WideFile(name), bytes);
}

bool TempDirectory::ReadFile(const char* name, std::string* bytes) const {
    return ReadWholeFile(WideFile(name), bytes);
}

std::vector<std::string> TempDirectory::FileNames() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(WideFile("*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        char name[MAX_PATH] = "";
        WideCharToMultiByte(CP_ACP, 0, found.cFileName, -1, name, sizeof name,
                            nullptr, nullptr);
        if (std::string(name) != "." && std::string(name) != "..") {
            names.push_back(name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

ClockProcess::ClockProcess(const std::string& workingDirectory,
                           const LaunchOptions& options)
    : ClockProcess(Widen(workingDirectory), options) {}

ClockProcess::ClockProcess(const std::wstring& workingDirectory,
                           const LaunchOptions& options) {
    std::wstring executable = Widen(
        options.executable.empty() ? VelmoraPath() : options.executable);
    std::wstring commandLine = L"\"" + executable + L"\"";
    if (!options.arguments.empty()) {
        commandLine += L" " + Widen(options.arguments);
    }
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = options.showCommand;
    // The child takes the driver's environment, which the test command
    // runs without a TZ.
    if (options.timeZone != nullptr) {
        SetEnvironmentVariableA("TZ", options.timeZone);
    }
    if (!CreateProcessW(executable.c_str(), mutableLine.data(), nullptr,
                        nullptr, FALSE, 0, nullptr, workingDirectory.c_str(),
                        &startup, &info_)) {
        info_ = PROCESS_INFORMATION();
    }
    if (options.timeZone != nullptr) {
        SetEnvironmentVariableA("TZ", nullptr);
    }
}

ClockProcess::~ClockProcess() {
    if (!Started()) {
        return;
    }
    if (IsRunning()) {
        for (HWND hwnd : TopLevelWindows()) {
            if (IsWindowVisible(hwnd)) {
                PostMessageA(hwnd, WM_CLOSE, 0, 0);
            }
        }
        if (WaitForSingleObject(info_.hProcess, CLOSE_TIMEOUT_MS) !=
            WAIT_OBJECT_0) {
            TerminateProcess(info_.hProcess, 0);
            WaitForSingleObject(info_.hProcess, CLOSE_TIMEOUT_MS);
        }
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

std::vector<HWND> ClockProcess::TopLevelWindows() const {
    return WindowsOf(info_.dwProcessId);
}

HWND ClockProcess::Clock() {
    if (clock_ != nullptr && IsWindow(clock_)) {
        return clock_;
    }
    clock_ = nullptr;
    WaitUntil([this] {
        for (HWND hwnd : TopLevelWindows()) {
            if (IsWindowVisible(hwnd) && ClassName(hwnd) == "#32770" &&
                GetWindow(hwnd, GW_OWNER) != nullptr &&
                WindowText(GetDlgItem(hwnd, 1000)).size() == 8) {
                clock_ = hwnd;
                return true;
            }
        }
        return false;
    });
    return clock_;
}

bool ClockProcess::IsRunning() const {
    return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD ClockProcess::WaitForExit(DWORD timeoutMs) {
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        return STILL_ACTIVE;
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

std::string WindowText(HWND hwnd) {
    char text[TEXT_BUFFER_SIZE] = "";
    DWORD_PTR length = 0;
    if (hwnd == nullptr ||
        !SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text,
                             reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                             WAIT_TIMEOUT_MS, &length)) {
        return std::string();
    }
    return std::string(text, length);
}

HWND FindProcessWindow(DWORD processId, const char* className,
                       const char* title) {
    for (HWND hwnd : WindowsOf(processId)) {
        if (IsWindowVisible(hwnd) && ClassName(hwnd) == className &&
            (title == nullptr || WindowText(hwnd) == title)) {
            return hwnd;
        }
    }
    return nullptr;
}

COLORREF ScreenPixel(int x, int y) {
    HWND desktop = GetDesktopWindow();
    HDC hdc = GetWindowDC(desktop);
    COLORREF color = GetPixel(hdc, x, y);
    ReleaseDC(desktop, hdc);
    return color;
}

bool SaveScreenshot(const RECT& area, const std::string& path) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, previous);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    info.biSizeImage = rowBytes * static_cast<DWORD>(height);
    std::vector<char> pixels(info.biSizeImage);
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                   std::fwrite(&info, sizeof info, 1, out) == 1 &&
                   std::fwrite(pixels.data(), 1, pixels.size(), out) ==
                       pixels.size();
    return std::fclose(out) == 0 && written;
}

RECT WindowRect(HWND hwnd) {
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(hwnd, &rect);
    return rect;
}

bool SameRect(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != FALSE;
}

POINT Middle(const RECT& rect) {
    POINT middle = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    return middle;
}

bool RoundTrip(HWND hwnd) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG,
                               WAIT_TIMEOUT_MS, &result) != 0;
}

RECT WorkArea() {
    RECT area = {0, 0, 0, 0};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

POINT NeutralPoint() {
    constexpr POINT FROM_CORNER = {24, 28};
    POINT point = {GetSystemMetrics(SM_CXSCREEN) - FROM_CORNER.x,
                   GetSystemMetrics(SM_CYSCREEN) - FROM_CORNER.y};
    return point;
}

bool IsTopmost(HWND hwnd) {
    return (GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

int CountPixels(const RECT& area, COLORREF color) {
    HWND desktop = GetDesktopWindow();
    HDC hdc = GetWindowDC(desktop);
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            count += GetPixel(hdc, x, y) == color ? 1 : 0;
        }
    }
    ReleaseDC(desktop, hdc);
    return count;
}

std::string ExpectedClockText(const SYSTEMTIME& time) {
    int hour = time.wHour % 12 == 0 ? 12 : time.wHour % 12;
    char text[16];
    std::snprintf(text, sizeof text, "%2d:%02d %s", hour, time.wMinute,
                  time.wHour < 12 ? "AM" : "PM");
    return text;
}

std::string ConfigText(const ConfigValues& v) {
    char text[TEXT_BUFFER_SIZE];
    std::snprintf(text, sizeof text,
                  "%d %d %d\r\n%s\r\n%d %d %d\r\n%d %d %d\r\n%d %d %d\r\n"
                  "%d %d %d\r\n%d %ld %ld\r\n%ld %ld",
                  v.charSet, v.clipPrecision, v.escapement, v.face.c_str(),
                  v.height, v.italic, v.orientation, v.outPrecision,
                  v.pitchAndFamily, v.quality, v.strikeOut, v.underline,
                  v.weight, v.width, static_cast<int>(v.background),
                  static_cast<int>(v.text), v.onTop, v.window.bottom,
                  v.window.left, v.window.right, v.window.top);
    return text;
}

namespace {

constexpr int ABSOLUTE_RANGE = 65536;
constexpr int DRAG_STEPS = 8;
constexpr int MOVE_ATTEMPTS = 5;
constexpr DWORD MOVE_SETTLE_MS = 1000;
constexpr int ICON_SIZE = 32;
constexpr int MESSAGE_TEXT_ID = 0xFFFF;

void SendMouse(DWORD flags, LONG dx = 0, LONG dy = 0) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dy;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

// Rounds up so that the system's scaling back gives exactly this pixel.
LONG ToAbsolute(int pixel, int screenSize) {
    return static_cast<LONG>(
        (static_cast<long long>(pixel) * ABSOLUTE_RANGE + screenSize - 1) /
        screenSize);
}

bool PointerAt(int x, int y) {
    POINT pointer = {0, 0};
    GetCursorPos(&pointer);
    return pointer.x == x && pointer.y == y;
}

BOOL CALLBACK FindIconChild(HWND hwnd, LPARAM lParam) {
    if ((GetWindowLongA(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        *reinterpret_cast<HWND*>(lParam) = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

void MovePointer(int x, int y) {
    // A stale pointer event can land after this one and put the pointer
    // back, so the move is sent again until the pointer stays.
    for (int attempt = 0; attempt < MOVE_ATTEMPTS; ++attempt) {
        SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE,
                  ToAbsolute(x, GetSystemMetrics(SM_CXSCREEN)),
                  ToAbsolute(y, GetSystemMetrics(SM_CYSCREEN)));
        if (WaitUntil([&] { return PointerAt(x, y); }, MOVE_SETTLE_MS)) {
            return;
        }
    }
}

void PressButton(DWORD downFlag) { SendMouse(downFlag); }

void ReleaseButton(DWORD upFlag) { SendMouse(upFlag); }

void ClickAt(int x, int y, bool right) {
    MovePointer(x, y);
    PressButton(right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
    ReleaseButton(right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
}

void PressKey(WORD virtualKey) {
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = virtualKey;
    inputs[1] = inputs[0];
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof inputs[0]);
}

bool InMoveLoop(HWND hwnd) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info) &&
           (info.flags & GUI_INMOVESIZE) != 0;
}

bool StartDrag(HWND hwnd, POINT from) {
    MovePointer(from.x, from.y);
    PressButton(MOUSEEVENTF_LEFTDOWN);
    if (!WaitUntil([&] { return InMoveLoop(hwnd); })) {
        return false;
    }
    // The loop marks itself before it reads where the drag starts; a sent
    // message is only handled once it waits for input, after that read.
    return RoundTrip(hwnd);
}

bool MoveDuringDrag(HWND hwnd, POINT to, POINT expectedTopLeft) {
    auto arrived = [&] {
        RECT rect = WindowRect(hwnd);
        return rect.left == expectedTopLeft.x && rect.top == expectedTopLeft.y;
    };
    for (int attempt = 0; attempt < MOVE_ATTEMPTS; ++attempt) {
        if (attempt > 0) {
            MovePointer(to.x + (to.x > 0 ? -1 : 1), to.y);
        }
        MovePointer(to.x, to.y);
        if (WaitUntil(arrived, MOVE_SETTLE_MS)) {
            return true;
        }
    }
    return false;
}

void Drag(HWND hwnd, POINT from, POINT to, POINT expectedTopLeft) {
    StartDrag(hwnd, from);
    for (int step = 1; step < DRAG_STEPS; ++step) {
        MovePointer(from.x + (to.x - from.x) * step / DRAG_STEPS,
                    from.y + (to.y - from.y) * step / DRAG_STEPS);
    }
    MoveDuringDrag(hwnd, to, expectedTopLeft);
    ReleaseButton(MOUSEEVENTF_LEFTUP);
    WaitUntil([&] { return !InMoveLoop(hwnd); });
}

HWND FindPopupMenu() {
    HWND menu = FindWindowA("#32768", nullptr);
    return menu != nullptr && IsWindowVisible(menu) ? menu : nullptr;
}

HWND WaitForDialog(DWORD processId, const char* title) {
    HWND dialog = nullptr;
    WaitUntil([&] {
        dialog = FindProcessWindow(processId, "#32770", title);
        return dialog != nullptr;
    });
    return dialog;
}

std::string MessageBoxText(HWND box) {
    return WindowText(GetDlgItem(box, MESSAGE_TEXT_ID));
}

HWND FindIconControl(HWND dialog) {
    HWND icon = nullptr;
    EnumChildWindows(dialog, FindIconChild, reinterpret_cast<LPARAM>(&icon));
    return icon;
}

int IconPixelsMatching(HWND iconControl, LPCSTR systemIcon) {
    RECT rect = WindowRect(iconControl);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, ICON_SIZE, ICON_SIZE);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    // The icon is drawn over the control's own background, which its
    // transparent corner shows.
    HBRUSH background =
        CreateSolidBrush(GetPixel(screen, rect.left, rect.top));
    RECT square = {0, 0, ICON_SIZE, ICON_SIZE};
    FillRect(memory, &square, background);
    DeleteObject(background);
    DrawIconEx(memory, 0, 0, LoadIconA(nullptr, systemIcon), ICON_SIZE,
               ICON_SIZE, 0, nullptr, DI_NORMAL);
    int matching = 0;
    for (int y = 0; y < ICON_SIZE; ++y) {
        for (int x = 0; x < ICON_SIZE; ++x) {
            matching += GetPixel(memory, x, y) ==
                                GetPixel(screen, rect.left + x, rect.top + y)
                            ? 1
                            : 0;
        }
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return matching;
}

bool CloseWith(HWND dialog, UINT message, WPARAM wParam) {
    PostMessageA(dialog, message, wParam, 0);
    return WaitUntil(
        [&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); });
}

HWND OpenMenu(POINT at) {
    const POINT neutral = NeutralPoint();
    MovePointer(neutral.x, neutral.y);
    ClickAt(at.x, at.y, true);
    HWND menu = nullptr;
    WaitUntil([&] {
        menu = FindPopupMenu();
        return menu != nullptr;
    });
    MovePointer(neutral.x, neutral.y);
    return menu;
}

bool ChooseFromMenu(HWND clock, WORD mnemonic) {
    if (OpenMenu(Middle(WindowRect(clock))) == nullptr) {
        return false;
    }
    PressKey(mnemonic);
    return WaitUntil([] { return FindPopupMenu() == nullptr; });
}

bool MoveClock(HWND clock, int x, int y) {
    SetWindowPos(clock, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    return WaitUntil([&] {
        RECT rect = WindowRect(clock);
        return rect.left == x && rect.top == y;
    });
}

std::string SaveAndAnswer(DWORD processId, HWND clock,
                          const std::function<void()>& duringSave) {
    PostMessageA(clock, WM_COMMAND, ID_SAVE_CONFIG, 0);
    if (duringSave) {
        duringSave();
    }
    HWND box = WaitForDialog(processId, MESSAGE_TITLE);
    if (box == nullptr) {
        return "(no message box)";
    }
    std::string text = MessageBoxText(box);
    CloseWith(box, WM_COMMAND, IDOK);
    return text;
}

bool ParseConfig(const std::string& bytes, ConfigValues* v) {
    char face[64] = "";
    int background = 0;
    int text = 0;
    long bottom = 0, left = 0, right = 0, top = 0;
    int read = std::sscanf(
        bytes.c_str(), "%d %d %d %63s %d %d %d %d %d %d %d %d %d %d %d %d %d "
                       "%ld %ld %ld %ld",
        &v->charSet, &v->clipPrecision, &v->escapement, face, &v->height,
        &v->italic, &v->orientation, &v->outPrecision, &v->pitchAndFamily,
        &v->quality, &v->strikeOut, &v->underline, &v->weight, &v->width,
        &background, &text, &v->onTop, &bottom, &left, &right, &top);
    v->face = face;
    v->background = static_cast<COLORREF>(background);
    v->text = static_cast<COLORREF>(text);
    v->window = {left, top, right, bottom};
    return read == 21;
}

ConfigValues DefaultsAt(HWND clock) {
    ConfigValues values;
    values.background = GetSysColor(COLOR_BACKGROUND);
    values.window = WindowRect(clock);
    return values;
}

RECT ColourBounds(const RECT& area, COLORREF colour) {
    HWND desktop = GetDesktopWindow();
    HDC hdc = GetWindowDC(desktop);
    RECT bounds = {area.right, area.bottom, area.left, area.top};
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            if (GetPixel(hdc, x, y) == colour) {
                bounds.left = x < bounds.left ? x : bounds.left;
                bounds.right = x + 1 > bounds.right ? x + 1 : bounds.right;
                bounds.top = y < bounds.top ? y : bounds.top;
                bounds.bottom = y + 1 > bounds.bottom ? y + 1 : bounds.bottom;
            }
        }
    }
    ReleaseDC(desktop, hdc);
    return bounds;
}
