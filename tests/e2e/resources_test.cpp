// The resources inside Velmora.exe, read back from the executable: dialog
// templates, menu, icon, About picture and version record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../../res/resource.h"
#include "driver.h"
#include "pe_image.h"

namespace {

constexpr WORD ENGLISH_US = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD ORDINAL_MARK = 0xFFFF;
constexpr WORD STATIC_CLASS = 0x0082;
constexpr WORD BUTTON_CLASS = 0x0080;
constexpr DWORD VISIBLE_CHILD = WS_CHILD | WS_VISIBLE;

struct Item {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    WORD id;
    WORD classOrdinal;
    std::string text;  // "#n" when the text is an ordinal
};

struct Dialog {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    std::string menu, className, title, font;
    WORD pointSize;
    std::vector<Item> items;
};

class Module {
public:
    Module()
        : handle_(LoadLibraryExA(VelmoraPath().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE)) {}
    ~Module() {
        if (handle_ != nullptr) {
            FreeLibrary(handle_);
        }
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    HMODULE Get() const { return handle_; }

    // The bytes of a resource in U.S. English, empty if there is none.
    std::string Bytes(LPCSTR type, WORD id) const {
        HRSRC found = FindResourceExA(handle_, type, MAKEINTRESOURCEA(id),
                                      ENGLISH_US);
        if (found == nullptr) {
            return std::string();
        }
        const char* data =
            static_cast<const char*>(LockResource(LoadResource(handle_, found)));
        return std::string(data, SizeofResource(handle_, found));
    }

private:
    HMODULE handle_;
};

class TemplateReader {
public:
    explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}

    WORD Word() {
        WORD value = 0;
        std::memcpy(&value, bytes_.data() + offset_, sizeof value);
        offset_ += sizeof value;
        return value;
    }
    DWORD Dword() { return Word() | static_cast<DWORD>(Word()) << 16; }
    short Short() { return static_cast<short>(Word()); }

    // A string of UTF-16 units (ASCII here), or "#n" for an ordinal.
    std::string StringOrOrdinal() {
        WORD first = Word();
        if (first == ORDINAL_MARK) {
            return "#" + std::to_string(Word());
        }
        std::string text;
        for (WORD unit = first; unit != 0; unit = Word()) {
            text += static_cast<char>(unit);
        }
        return text;
    }
    void AlignToDword() { offset_ = (offset_ + 3) & ~static_cast<size_t>(3); }

private:
    const std::string& bytes_;
    size_t offset_ = 0;
};

// A control class given by name means the same as its predefined ordinal.
WORD ClassOrdinal(const std::string& name) {
    if (!name.empty() && name[0] == '#') {
        return static_cast<WORD>(std::stoi(name.substr(1)));
    }
    if (lstrcmpiA(name.c_str(), "Static") == 0) {
        return STATIC_CLASS;
    }
    return lstrcmpiA(name.c_str(), "Button") == 0 ? BUTTON_CLASS : 0;
}

Dialog ParseDialog(const std::string& bytes) {
    TemplateReader reader(bytes);
    Dialog dialog = {};
    dialog.style = reader.Dword();
    dialog.exStyle = reader.Dword();
    WORD count = reader.Word();
    dialog.x = reader.Short();
    dialog.y = reader.Short();
    dialog.cx = reader.Short();
    dialog.cy = reader.Short();
    dialog.menu = reader.StringOrOrdinal();
    dialog.className = reader.StringOrOrdinal();
    dialog.title = reader.StringOrOrdinal();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = reader.Word();
        dialog.font = reader.StringOrOrdinal();
    }
    for (WORD i = 0; i < count; ++i) {
        reader.AlignToDword();
        Item item = {};
        item.style = reader.Dword();
        item.exStyle = reader.Dword();
        item.x = reader.Short();
        item.y = reader.Short();
        item.cx = reader.Short();
        item.cy = reader.Short();
        item.id = reader.Word();
        item.classOrdinal = ClassOrdinal(reader.StringOrOrdinal());
        item.text = reader.StringOrOrdinal();
        WORD extra = reader.Word();
        for (WORD skip = 0; skip < extra / 2; ++skip) {
            reader.Word();
        }
        dialog.items.push_back(item);
    }
    return dialog;
}

void ExpectFrame(const Dialog& d, DWORD style, short cx, short cy,
                 const char* title) {
    EXPECT_EQ(style, d.style);
    EXPECT_EQ(0u, d.exStyle);
    EXPECT_EQ(0, d.x);
    EXPECT_EQ(0, d.y);
    EXPECT_EQ(cx, d.cx);
    EXPECT_EQ(cy, d.cy);
    EXPECT_EQ("", d.menu);
    EXPECT_EQ("", d.className);
    EXPECT_EQ(title, d.title);
    EXPECT_EQ(8, d.pointSize);
    EXPECT_EQ("MS Sans Serif", d.font);
}

void ExpectItem(const Item& item, WORD id, WORD classOrdinal,
                const std::string& text, DWORD style, short x, short y,
                short cx, short cy) {
    SCOPED_TRACE("control \"" + text + "\"");
    EXPECT_EQ(id, item.id);
    EXPECT_EQ(classOrdinal, item.classOrdinal);
    EXPECT_EQ(text, item.text);
    EXPECT_EQ(style | VISIBLE_CHILD, item.style);
    EXPECT_EQ(0u, item.exStyle);
    EXPECT_EQ(x, item.x);
    EXPECT_EQ(y, item.y);
    EXPECT_EQ(cx, item.cx);
    EXPECT_EQ(cy, item.cy);
}

class ResourcesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(nullptr, module.Get()); }
    Dialog DialogTemplate(WORD id) {
        std::string bytes = module.Bytes(RT_DIALOG, id);
        EXPECT_FALSE(bytes.empty());
        return bytes.empty() ? Dialog() : ParseDialog(bytes);
    }
    Module module;
};

TEST_F(ResourcesTest, HostTemplateIsBareHiddenPopup) {
    Dialog host = DialogTemplate(IDD_HOST);
    ExpectFrame(host, WS_POPUP | DS_SETFONT, 186, 95, "");
    EXPECT_TRUE(host.items.empty());
}

TEST_F(ResourcesTest, ClockTemplateHasOnlyTheTimeLabel) {
    Dialog clock = DialogTemplate(IDD_CLOCK);
    ExpectFrame(clock, WS_POPUP | DS_SETFONT, 43, 11, "");
    ASSERT_EQ(1u, clock.items.size());
    ExpectItem(clock.items[0], IDC_TIME, STATIC_CLASS, "12:00 am",
               WS_GROUP | SS_CENTER | SS_CENTERIMAGE, 0, 0, 43, 11);
}

TEST_F(ResourcesTest, AboutTemplate) {
    Dialog about = DialogTemplate(IDD_ABOUT);
    ExpectFrame(about, WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT, 186,
                46, "About...");
    ASSERT_EQ(4u, about.items.size());
    const WORD none = 0xFFFF;
    ExpectItem(about.items[0], IDOK, BUTTON_CLASS, "OK",
               BS_DEFPUSHBUTTON | WS_TABSTOP, 129, 9, 50, 14);
    ExpectItem(about.items[1], none, STATIC_CLASS, "#106", SS_BITMAP, 7, 9, 29,
               28);
    EXPECT_EQ(0u, about.items[2].text.find("Velmora v3.0\n"));
    EXPECT_GT(about.items[2].text.size(), std::strlen("Velmora v3.0\n"));
    ExpectItem(about.items[2], none, STATIC_CLASS, about.items[2].text,
               SS_LEFT | WS_GROUP, 41, 14, 60, 18);
    ExpectItem(about.items[3], none, STATIC_CLASS, "5-2001",
               SS_LEFT | WS_GROUP | WS_DISABLED, 41, 32, 23, 8);
}

TEST_F(ResourcesTest, GrabberTemplate) {
    Dialog grab = DialogTemplate(IDD_GRABCOLOR);
    ExpectFrame(grab,
                WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT |
                    DS_SYSMODAL,
                176, 39, "Grab Color");
    ASSERT_EQ(9u, grab.items.size());
    const WORD none = 0xFFFF;
    const DWORD label = WS_GROUP | SS_CENTERIMAGE;
    ExpectItem(grab.items[0], IDOK, BUTTON_CLASS, "&OK",
               BS_DEFPUSHBUTTON | WS_TABSTOP, 119, 4, 50, 14);
    ExpectItem(grab.items[1], IDCANCEL, BUTTON_CLASS, "&Cancel",
               BS_PUSHBUTTON | WS_TABSTOP, 119, 20, 50, 14);
    ExpectItem(grab.items[2], none, STATIC_CLASS, "Red:", label | SS_RIGHT,
               52, 4, 16, 8);
    ExpectItem(grab.items[3], none, STATIC_CLASS, "Green:", label | SS_RIGHT,
               46, 15, 22, 8);
    ExpectItem(grab.items[4], none, STATIC_CLASS, "Blue:", label | SS_RIGHT,
               51, 26, 17, 8);
    ExpectItem(grab.items[5], IDC_RED, STATIC_CLASS, "255", label | SS_LEFT,
               73, 4, 19, 8);
    ExpectItem(grab.items[6], IDC_GREEN, STATIC_CLASS, "255",
               label | SS_LEFT, 73, 15, 19, 8);
    ExpectItem(grab.items[7], IDC_BLUE, STATIC_CLASS, "255", label | SS_LEFT,
               73, 26, 19, 8);
    ExpectItem(grab.items[8], IDC_SWATCH, STATIC_CLASS, "",
               label | SS_CENTER | SS_NOTIFY | SS_SUNKEN, 6, 4, 35, 30);
}

TEST_F(ResourcesTest, MenuHasTwelveEntriesInOrder) {
    HMENU menu = LoadMenuA(module.Get(), MAKEINTRESOURCEA(IDR_CLOCKMENU));
    ASSERT_NE(nullptr, menu);
    char caption[64] = "";
    GetMenuStringA(menu, 0, caption, sizeof caption, MF_BYPOSITION);
    EXPECT_STREQ("MENU", caption);
    EXPECT_EQ(1, GetMenuItemCount(menu));
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(nullptr, popup);

    struct Entry {
        UINT id;
        const char* text;
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
    std::string group = module.Bytes(RT_GROUP_ICON, IDI_APP);
    constexpr size_t HEADER = 6;
    constexpr size_t ENTRY = 14;
    ASSERT_EQ(HEADER + 2 * ENTRY, group.size());
    const BYTE* bytes = reinterpret_cast<const BYTE*>(group.data());
    EXPECT_EQ(2, bytes[4]);
    const int sizes[] = {32, 16};
    for (int i = 0; i < 2; ++i) {
        const BYTE* entry = bytes + HEADER + i * ENTRY;
        SCOPED_TRACE("image " + std::to_string(i + 1));
        EXPECT_EQ(sizes[i], entry[0]);
        EXPECT_EQ(sizes[i], entry[1]);
        EXPECT_EQ(16, entry[2]);
        WORD planes;
        WORD bits;
        WORD id;
        std::memcpy(&planes, entry + 4, 2);
        std::memcpy(&bits, entry + 6, 2);
        std::memcpy(&id, entry + 12, 2);
        EXPECT_EQ(1, planes);
        EXPECT_EQ(4, bits);
        std::string image = module.Bytes(RT_ICON, id);
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER header;
        std::memcpy(&header, image.data(), sizeof header);
        EXPECT_EQ(sizes[i], header.biWidth);
        EXPECT_EQ(2 * sizes[i], header.biHeight);
        EXPECT_EQ(4, header.biBitCount);
    }
}

TEST_F(ResourcesTest, AboutPictureFormat) {
    std::string bitmap = module.Bytes(RT_BITMAP, IDB_ABOUT);
    ASSERT_GE(bitmap.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, bitmap.data(), sizeof header);
    EXPECT_EQ(44, header.biWidth);
    EXPECT_EQ(45, header.biHeight);  // positive: bottom-up
    EXPECT_EQ(24, header.biBitCount);
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), header.biCompression);
    EXPECT_EQ(2834, header.biXPelsPerMeter);
    EXPECT_EQ(2834, header.biYPelsPerMeter);
    EXPECT_EQ(0u, header.biClrUsed);
    const size_t rowBytes = (44 * 3 + 3) & ~3u;
    EXPECT_EQ(sizeof header + rowBytes * 45, bitmap.size());
}

TEST_F(ResourcesTest, VersionRecord) {
    std::string path = VelmoraPath();
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\",
                               reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(0, 3), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(0, 3), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), fixed->dwProductVersionLS);
    EXPECT_EQ(0x3Fu, fixed->dwFileFlagsMask);
    EXPECT_EQ(0u, fixed->dwFileFlags);
    EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), fixed->dwFileOS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);
    EXPECT_EQ(0u, fixed->dwFileSubtype);
    EXPECT_EQ(0u, fixed->dwFileDateMS);
    EXPECT_EQ(0u, fixed->dwFileDateLS);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    struct Value {
        const char* key;
        const char* text;  // null: present, text our own
    };
    const Value values[] = {
        {"Comments", "released 5-10-2001"},
        {"CompanyName", nullptr},
        {"FileDescription", "Velmora"},
        {"FileVersion", "3, 0, 0, 1"},
        {"InternalName", "Velmora"},
        {"LegalCopyright", nullptr},
        {"LegalTrademarks", ""},
        {"OriginalFilename", "Velmora.exe"},
        {"PrivateBuild", ""},
        {"ProductName", "  Velmora"},
        {"ProductVersion", "3, 0, 0, 1"},
        {"SpecialBuild", ""},
    };
    for (const Value& value : values) {
        SCOPED_TRACE(value.key);
        std::string query =
            std::string("\\StringFileInfo\\040904b0\\") + value.key;
        char* text = nullptr;
        length = 0;
        ASSERT_TRUE(VerQueryValueA(data.data(), query.c_str(),
                                   reinterpret_cast<void**>(&text), &length));
        if (value.text != nullptr) {
            EXPECT_STREQ(value.text, length == 0 ? "" : text);
        } else {
            EXPECT_GT(length, 1u);
        }
    }
}

// Checks that every element is closed in the order it was opened; the
// declaration, comments and self-closing elements stand alone.
bool IsWellFormedXml(const std::string& text) {
    std::vector<std::string> open;
    size_t at = 0;
    while ((at = text.find('<', at)) != std::string::npos) {
        size_t end = text.find('>', at);
        if (end == std::string::npos) {
            return false;
        }
        std::string tag = text.substr(at + 1, end - at - 1);
        if (tag.compare(0, 3, "!--") == 0) {
            end = text.find("-->", at);
            if (end == std::string::npos) {
                return false;
            }
            end += 2;
        } else if (!tag.empty() && tag[0] == '/') {
            if (open.empty() || open.back() != tag.substr(1)) {
                return false;
            }
            open.pop_back();
        } else if (!tag.empty() && tag[0] != '?' &&
                   tag[tag.size() - 1] != '/') {
            open.push_back(tag.substr(0, tag.find_first_of(" \t\r\n")));
        }
        at = end + 1;
    }
    return open.empty();
}

std::string ManifestText(HMODULE module, LPCSTR id) {
    HRSRC found = FindResourceA(module, id, RT_MANIFEST);
    if (found == nullptr) {
        return std::string();
    }
    return std::string(
        static_cast<const char*>(LockResource(LoadResource(module, found))),
        SizeofResource(module, found));
}

TEST_F(ResourcesTest, ManifestsArePresentAndWellFormed) {
    std::string program =
        ManifestText(module.Get(), CREATEPROCESS_MANIFEST_RESOURCE_ID);
    std::string dialogs =
        ManifestText(module.Get(), ISOLATIONAWARE_MANIFEST_RESOURCE_ID);
    for (const std::string* manifest : {&program, &dialogs}) {
        EXPECT_EQ(0u, manifest->find("<?xml"));
        EXPECT_TRUE(IsWellFormedXml(*manifest));
    }
    const char* required[] = {
        "level=\"asInvoker\"",
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
        ">true</gdiScaling>",
    };
    for (const char* text : required) {
        EXPECT_NE(std::string::npos, program.find(text)) << text;
    }
    // The file keeps its meaning in pixels: the program is not DPI-aware.
    EXPECT_EQ(std::string::npos, program.find("dpiAware"));
    // Themed controls come with the dialogs, not with the clock itself.
    const char* commonControls =
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"";
    EXPECT_EQ(std::string::npos, program.find(commonControls));
    EXPECT_NE(std::string::npos, dialogs.find(commonControls));
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
