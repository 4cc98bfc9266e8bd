// The resources inside Velmora.exe, read back from the executable: dialog
// templates, menu, icon, About picture and version record.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "../../res/resource.h"
#include "clock_test.h"
#include "pe_image.h"

namespace {

constexpr WORD ENGLISH_US = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD ORDINAL_MARK = 0xFFFF;
constexpr WORD NO_ID = 0xFFFF;

// Reads a dialog template front to back; past its end, only zeros.
struct TemplateReader {
    const std::string& bytes;
    size_t at;

    template <typename T>
    T Get() {
        T value = {};
        if (at + sizeof value <= bytes.size()) {
            std::memcpy(&value, bytes.data() + at, sizeof value);
        }
        at += sizeof value;
        return value;
    }
    void Align() { at = (at + 3) & ~static_cast<size_t>(3); }

    // A string of UTF-16 units (ASCII here), or "#n" for an ordinal.
    std::string Text() {
        WORD unit = Get<WORD>();
        if (unit == ORDINAL_MARK) {
            return "#" + std::to_string(Get<WORD>());
        }
        std::string text;
        for (; unit != 0; unit = Get<WORD>()) {
            text += static_cast<char>(unit);
        }
        return text;
    }
    // A predefined control class, by ordinal or by name, named alike.
    std::string Class() {
        const std::string name = Text();
        if (name == "#128") {
            return "Button";
        }
        return name == "#130" ? "Static" : name;
    }
};

struct ExpectedControl {
    WORD id;
    const char* className;
    const char* text;  // "#n" for an ordinal; see ExpectText for "..."
    DWORD style;       // besides WS_CHILD | WS_VISIBLE, which all have
    short x, y, cx, cy;
};

// Every template also sits at 0,0 in 8-point MS Sans Serif, with no menu,
// no class of its own and no extended style; so does every control.
struct ExpectedTemplate {
    const char* name;
    WORD id;
    DWORD style;
    short cx, cy;
    const char* title;
    std::vector<ExpectedControl> controls;
};

const DWORD LABEL = WS_GROUP | SS_CENTERIMAGE;
const DWORD MODAL = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT;
const DWORD DEFAULT_BUTTON = BS_DEFPUSHBUTTON | WS_TABSTOP;

const ExpectedTemplate TEMPLATES[] = {
    {"IDD_HOST", IDD_HOST, WS_POPUP | DS_SETFONT, 186, 95, "", {}},
    {"IDD_CLOCK", IDD_CLOCK, WS_POPUP | DS_SETFONT, 43, 11, "",
     {{IDC_TIME, "Static", "12:00 am", LABEL | SS_CENTER, 0, 0, 43, 11}}},
    {"IDD_ABOUT", IDD_ABOUT, MODAL, 186, 46, "About...",
     {{IDOK, "Button", "OK", DEFAULT_BUTTON, 129, 9, 50, 14},
      {NO_ID, "Static", "#106", SS_BITMAP, 7, 9, 29, 28},
      {NO_ID, "Static", "Velmora v3.0\n...", SS_LEFT | WS_GROUP, 41, 14,
       60, 18},
      {NO_ID, "Static", "5-2001", SS_LEFT | WS_GROUP | WS_DISABLED, 41, 32,
       23, 8}}},
    {"IDD_GRABCOLOR", IDD_GRABCOLOR, MODAL | DS_SYSMODAL, 176, 39, "Grab Color",
     {{IDOK, "Button", "&OK", DEFAULT_BUTTON, 119, 4, 50, 14},
      {IDCANCEL, "Button", "&Cancel", BS_PUSHBUTTON | WS_TABSTOP, 119, 20,
       50, 14},
      {NO_ID, "Static", "Red:", LABEL | SS_RIGHT, 52, 4, 16, 8},
      {NO_ID, "Static", "Green:", LABEL | SS_RIGHT, 46, 15, 22, 8},
      {NO_ID, "Static", "Blue:", LABEL | SS_RIGHT, 51, 26, 17, 8},
      {IDC_RED, "Static", "255", LABEL | SS_LEFT, 73, 4, 19, 8},
      {IDC_GREEN, "Static", "255", LABEL | SS_LEFT, 73, 15, 19, 8},
      {IDC_BLUE, "Static", "255", LABEL | SS_LEFT, 73, 26, 19, 8},
      {IDC_SWATCH, "Static", "", LABEL | SS_CENTER | SS_NOTIFY | SS_SUNKEN,
       6, 4, 35, 30}}},
};

// An expected text ending in "..." is only the start of the real one, which
// must go on past it: the About box's build line.
void ExpectText(const std::string& want, const std::string& got) {
    const size_t n = want.size();
    if (n >= 3 && want.compare(n - 3, 3, "...") == 0) {
        const std::string start = want.substr(0, n - 3);
        EXPECT_EQ(start, got.substr(0, start.size())) << "field: text";
        EXPECT_GT(got.size(), start.size()) << "field: text, " << got;
    } else {
        EXPECT_EQ(want, got) << "field: text";
    }
}

void ExpectControl(const ExpectedControl& want, TemplateReader& read) {
    read.Align();
    const DLGITEMTEMPLATE item = read.Get<DLGITEMTEMPLATE>();
    const std::string className = read.Class();
    const std::string text = read.Text();
    read.at += read.Get<WORD>();  // creation data, none expected
    ExpectFields({{"id", want.id, item.id},
                  {"style", want.style | WS_CHILD | WS_VISIBLE, item.style},
                  {"extended style", 0, item.dwExtendedStyle},
                  {"x", want.x, item.x}, {"y", want.y, item.y},
                  {"cx", want.cx, item.cx}, {"cy", want.cy, item.cy}});
    EXPECT_STRCASEEQ(want.className, className.c_str()) << "field: class";
    ExpectText(want.text, text);
}

void ExpectTemplate(const ExpectedTemplate& want, const std::string& bytes) {
    TemplateReader read = {bytes, 0};
    const DLGTEMPLATE frame = read.Get<DLGTEMPLATE>();
    const std::string menu = read.Text(), className = read.Text();
    const std::string title = read.Text();
    const bool hasFont = (frame.style & DS_SETFONT) != 0;
    const WORD points = hasFont ? read.Get<WORD>() : WORD(0);
    const std::string font = hasFont ? read.Text() : std::string();
    ExpectFields({{"style", want.style, frame.style},
                  {"extended style", 0, frame.dwExtendedStyle},
                  {"x", 0, frame.x}, {"y", 0, frame.y},
                  {"cx", want.cx, frame.cx}, {"cy", want.cy, frame.cy},
                  {"point size", 8, points}});
    EXPECT_EQ("", menu);
    EXPECT_EQ("", className);
    EXPECT_EQ(want.title, title);
    EXPECT_EQ("MS Sans Serif", font);
    ASSERT_EQ(want.controls.size(), static_cast<size_t>(frame.cdit))
        << "number of controls";
    for (size_t i = 0; i < want.controls.size(); ++i) {
        SCOPED_TRACE("control " + std::to_string(i + 1) + " \"" +
                     want.controls[i].text + "\"");
        ExpectControl(want.controls[i], read);
    }
}

class ResourcesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(nullptr, module); }
    void TearDown() override {
        if (module != nullptr) {
            FreeLibrary(module);
        }
    }
    // The bytes of a resource, empty if there is none: a manifest in any
    // language, anything else in U.S. English.
    std::string Bytes(LPCSTR type, LPCSTR name) const {
        HRSRC found = type == RT_MANIFEST
                          ? FindResourceA(module, name, type)
                          : FindResourceExA(module, type, name, ENGLISH_US);
        if (found == nullptr) {
            return std::string();
        }
        return std::string(
            static_cast<const char*>(LockResource(LoadResource(module, found))),
            SizeofResource(module, found));
    }
    const HMODULE module = LoadLibraryExA(VelmoraPath().c_str(), nullptr,
                                          LOAD_LIBRARY_AS_DATAFILE);
};

TEST_F(ResourcesTest, DialogTemplates) {
    for (const ExpectedTemplate& want : TEMPLATES) {
        SCOPED_TRACE(want.name);
        const std::string bytes = Bytes(RT_DIALOG, MAKEINTRESOURCEA(want.id));
        EXPECT_FALSE(bytes.empty()) << "no such template";
        if (!bytes.empty()) {
            ExpectTemplate(want, bytes);
        }
    }
}

TEST_F(ResourcesTest, MenuHasTwelveEntriesInOrder) {
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(IDR_CLOCKMENU));
    ASSERT_NE(nullptr, menu);
    char caption[64] = "";
    GetMenuStringA(menu, 0, caption, sizeof caption, MF_BYPOSITION);
    EXPECT_STREQ("MENU", caption);
    EXPECT_EQ(1, GetMenuItemCount(menu));
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(nullptr, popup);

    struct Entry {
        UINT id;
        const char* text;  // null for a separator
    };
    const Entry entries[] = {
        {ID_SET_FONT, "Set &Font"},
        {ID_SET_FONT_COLOR, "&Set Font Color"},
        {ID_GRAB_FONT_COLOR, "Grab Font &Color"},
        {ID_SET_BACKGROUND_COLOR, "Set &Background Color"},
        {ID_GRAB_BACKGROUND_COLOR, "&Grab Background Color"},
        {0, nullptr},
        {ID_TOGGLE_ONTOP, "Toggle Always &OnTop"},
        {0, nullptr},
        {ID_SAVE_CONFIG, "Save &Default Configuration"},
        {ID_ABOUT, "&About..."},
        {0, nullptr},
        {ID_EXIT, "E&xit"},
    };
    const int count = sizeof entries / sizeof entries[0];
    ASSERT_EQ(count, GetMenuItemCount(popup));
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE("position " + std::to_string(i + 1));
        MENUITEMINFOA info = {};
        char text[64] = "";
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        ASSERT_TRUE(GetMenuItemInfoA(popup, i, TRUE, &info));
        if (entries[i].text == nullptr) {
            EXPECT_TRUE(info.fType & MFT_SEPARATOR);
            continue;
        }
        EXPECT_EQ(entries[i].id, info.wID);
        EXPECT_STREQ(entries[i].text, text);
        EXPECT_EQ(0u, info.fState & (MFS_CHECKED | MFS_GRAYED));
    }
    DestroyMenu(menu);
}

TEST_F(ResourcesTest, IconHasTwoSixteenColourImages) {
    const std::string group = Bytes(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_APP));
    constexpr size_t HEADER = 6, ENTRY = 14;
    ASSERT_EQ(HEADER + 2 * ENTRY, group.size());
    const BYTE* bytes = reinterpret_cast<const BYTE*>(group.data());
    EXPECT_EQ(2, bytes[4]) << "number of images";
    const int sizes[] = {32, 16};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE("image " + std::to_string(i + 1));
        const BYTE* entry = bytes + HEADER + i * ENTRY;
        WORD planes, bits, id;
        std::memcpy(&planes, entry + 4, 2);
        std::memcpy(&bits, entry + 6, 2);
        std::memcpy(&id, entry + 12, 2);
        ExpectFields({{"width", sizes[i], entry[0]},
                      {"height", sizes[i], entry[1]}, {"colours", 16, entry[2]},
                      {"planes", 1, planes}, {"bits per pixel", 4, bits}});
        const std::string image = Bytes(RT_ICON, MAKEINTRESOURCEA(id));
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER header;
        std::memcpy(&header, image.data(), sizeof header);
        ExpectFields({{"image width", sizes[i], header.biWidth},
                      {"image height with mask", 2 * sizes[i], header.biHeight},
                      {"image bits per pixel", 4, header.biBitCount}});
    }
}

TEST_F(ResourcesTest, AboutPictureFormat) {
    const std::string bitmap = Bytes(RT_BITMAP, MAKEINTRESOURCEA(IDB_ABOUT));
    ASSERT_GE(bitmap.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, bitmap.data(), sizeof header);
    ExpectFields({{"width", 44, header.biWidth},
                  {"height, positive: bottom-up", 45, header.biHeight},
                  {"bits per pixel", 24, header.biBitCount},
                  {"compression", BI_RGB, header.biCompression},
                  {"x pixels per metre", 2834, header.biXPelsPerMeter},
                  {"y pixels per metre", 2834, header.biYPelsPerMeter},
                  {"colours used", 0, header.biClrUsed}});
    const size_t rowBytes = (44 * 3 + 3) & ~3u;
    EXPECT_EQ(sizeof header + rowBytes * 45, bitmap.size());
}

TEST_F(ResourcesTest, VersionRecord) {
    const std::string path = VelmoraPath();
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));

    UINT length = 0;
    auto query = [&data, &length](const std::string& path, void* value) {
        length = 0;
        return VerQueryValueA(data.data(), path.c_str(),
                              static_cast<void**>(value), &length) != FALSE;
    };
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(query("\\", &fixed));
    const long long v3_0 = MAKELONG(0, 3), v0_1 = MAKELONG(1, 0);
    ExpectFields({{"file version, high", v3_0, fixed->dwFileVersionMS},
                  {"file version, low", v0_1, fixed->dwFileVersionLS},
                  {"product version, high", v3_0, fixed->dwProductVersionMS},
                  {"product version, low", v0_1, fixed->dwProductVersionLS},
                  {"flags mask", 0x3F, fixed->dwFileFlagsMask},
                  {"flags", 0, fixed->dwFileFlags},
                  {"OS", VOS__WINDOWS32, fixed->dwFileOS},
                  {"type", VFT_APP, fixed->dwFileType},
                  {"subtype", 0, fixed->dwFileSubtype},
                  {"date, high", 0, fixed->dwFileDateMS},
                  {"date, low", 0, fixed->dwFileDateLS}});

    WORD* translation = nullptr;
    ASSERT_TRUE(query("\\VarFileInfo\\Translation", &translation));
    ASSERT_EQ(4u, length);
    ExpectFields({{"language", 0x0409, translation[0]},
                  {"code page", 1200, translation[1]}});

    struct Value {
        const char* key;
        const char* text;  // null: present, text our own
    };
    const Value values[] = {
        {"Comments", "released 5-10-2001"}, {"CompanyName", nullptr},
        {"FileDescription", "Velmora"},     {"FileVersion", "3, 0, 0, 1"},
        {"InternalName", "Velmora"},        {"LegalCopyright", nullptr},
        {"LegalTrademarks", ""},            {"OriginalFilename", "Velmora.exe"},
        {"PrivateBuild", ""},               {"ProductName", "  Velmora"},
        {"ProductVersion", "3, 0, 0, 1"},   {"SpecialBuild", ""},
    };
    const std::string strings = "\\StringFileInfo\\040904b0\\";
    for (const Value& value : values) {
        SCOPED_TRACE(value.key);
        char* text = nullptr;
        ASSERT_TRUE(query(strings + value.key, &text));
        if (value.text != nullptr) {
            EXPECT_STREQ(value.text, length == 0 ? "" : text);
        } else {
            EXPECT_GT(length, 1u);
        }
    }
}

// The executable file itself: a hardened GUI program for the platform it
// was built for, importing nothing but Windows' own DLLs.
TEST(ExecutableTest, HardenedGuiProgramImportingOnlySystemDlls) {
    PeSummary image = ReadPeSummary(VelmoraPath());
    ASSERT_TRUE(image.valid);
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, image.subsystem);
    EXPECT_TRUE(image.dllCharacteristics &
                IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_TRUE(image.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
#ifdef _WIN64
    EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, image.machine);
    EXPECT_TRUE(image.dllCharacteristics &
                IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA);
#else
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, image.machine);
#endif
    const char* systemDlls[] = {"kernel32.dll", "user32.dll", "gdi32.dll",
                                "comdlg32.dll", "msvcrt.dll"};
    for (const std::string& name : image.imports) {
        bool known = false;
        for (const char* dll : systemDlls) {
            known = known || lstrcmpiA(name.c_str(), dll) == 0;
        }
        EXPECT_TRUE(known) << "imports " << name;
    }
    EXPECT_GE(image.imports.size(), 4u);
    EXPECT_GT(image.importedFunctions.size(), 0u);
    auto expectNotImported = [&image](const char* function) {
        for (const std::string& name : image.importedFunctions) {
            EXPECT_NE(name, function);
        }
    };
    // Missing from some Windows the program starts on (XP): looked up at run
    // time, never imported, or the program would not start there at all.
    std::string program;
    ASSERT_TRUE(ReadWholeFile(VelmoraPath(), &program));
    for (const char* function : {"GetPhysicalCursorPos"}) {
        expectNotImported(function);
        EXPECT_NE(std::string::npos, program.find(function)) << function;
    }
#ifndef _WIN64
    // msvcrt's plain time functions count 32-bit seconds, which run out in
    // January 2038; the clock must use the 64-bit forms.
    for (const char* function :
         {"time", "localtime", "_time32", "_localtime32", "mktime", "gmtime"}) {
        expectNotImported(function);
    }
#endif
}

}  // namespace
