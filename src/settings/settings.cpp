// Reading and writing "Velmora.cfg": 21 values on 8 lines in a fixed order.
// The reader accepts any white space between values, as people edit the file
// by hand, but takes a file only when every value is there and in range.
#include "settings.h"

#include "config_file_os.h"
#include "text_builder.h"

#include <cstdio>
#include <cstring>

ClockSettings clockSettings;

namespace {

constexpr int DEFAULT_FONT_HEIGHT = 12;
constexpr int DEFAULT_FONT_WEIGHT = 400;       // FW_NORMAL
constexpr int DEFAULT_CHARSET = 1;             // DEFAULT_CHARSET
constexpr int DEFAULT_OUT_PRECISION = 2;       // OUT_CHARACTER_PRECIS
constexpr int DEFAULT_CLIP_PRECISION = 1;      // CLIP_CHARACTER_PRECIS
constexpr char DEFAULT_FACE_NAME[] = "MS Sans Serif";
constexpr RectRecord DEFAULT_WINDOW_RECT = {0, 0, 65, 18};

constexpr char TEMP_SUFFIX[] = ".new";

constexpr char FACE_BLANK = ' ';
constexpr char FACE_BLANK_IN_FILE = '+';

// One word per face name, cut to what lfFaceName holds.
constexpr std::size_t FACE_BUFFER_SIZE = FACE_NAME_SIZE;
constexpr std::int64_t INT32_LIMIT = 2147483648LL;  // 2^31
constexpr std::int64_t UINT32_RANGE = 4294967296LL; // 2^32
constexpr unsigned BYTE_MASK = 0xFF;

// Three numbers to a line, the face name on a line of its own after the
// first three. Line ends are CR LF on every platform, as a text-mode write on
// Windows gives them, and the last value has none.
constexpr int NUMBERS_BEFORE_FACE = 3;
constexpr int NUMBERS_PER_LINE = 3;
constexpr char LINE_END[] = "\r\n";
constexpr char VALUE_SEPARATOR[] = " ";

bool IsWhiteSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
           c == '\r';
}

int SkipWhiteSpace(std::FILE* file) {
    int c;
    do {
        c = std::getc(file);
    } while (IsWhiteSpace(c));
    return c;
}

// Reads one decimal the way "%d" does (optional sign, then digits), but a value
// outside the signed 32-bit range fails instead of being undefined.
bool ReadInt32(std::FILE* file, std::int32_t* value) {
    int c = SkipWhiteSpace(file);
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = (c == '-');
        c = std::getc(file);
    }
    if (c < '0' || c > '9') {
        return false;
    }
    std::int64_t magnitude = 0;
    bool outOfRange = false;
    for (; c >= '0' && c <= '9'; c = std::getc(file)) {
        if (!outOfRange) {
            magnitude = magnitude * 10 + (c - '0');
            outOfRange = magnitude > INT32_LIMIT;
        }
    }
    if (c != EOF) {
        std::ungetc(c, file);
    }
    if (outOfRange || (!negative && magnitude == INT32_LIMIT)) {
        return false;
    }
    *value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

// Reads one white-space-delimited word, keeping what fits in the buffer.
bool ReadWord(std::FILE* file, char* buffer, std::size_t size) {
    int c = SkipWhiteSpace(file);
    if (c == EOF) {
        return false;
    }
    std::size_t length = 0;
    for (; c != EOF && !IsWhiteSpace(c); c = std::getc(file)) {
        if (length + 1 < size) {
            buffer[length++] = static_cast<char>(c);
        }
    }
    buffer[length] = '\0';
    return true;
}

int AsSignedInt(ColorRef color) {
    std::int64_t bits = static_cast<std::int64_t>(color & 0xFFFFFFFFu);
    return static_cast<int>(bits < INT32_LIMIT ? bits : bits - UINT32_RANGE);
}

ColorRef AsColorRef(std::int32_t value) {
    return static_cast<ColorRef>(static_cast<std::uint32_t>(value));
}

// A name the reader can give back unchanged: one word, blanks aside.
bool IsStorableFaceName(const char* name) {
    if (name[0] == '\0') {
        return false;
    }
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p != FACE_BLANK && IsWhiteSpace(static_cast<unsigned char>(*p))) {
            return false;
        }
    }
    return true;
}

}  // namespace

int ReadSettings(std::FILE* file, ClockSettings* settings) {
    enum {
        CHARSET, CLIP_PRECISION, ESCAPEMENT, HEIGHT, ITALIC, ORIENTATION,
        OUT_PRECISION, PITCH_AND_FAMILY, QUALITY, STRIKE_OUT, UNDERLINE,
        WEIGHT, WIDTH, BACKGROUND, TEXT, ON_TOP, BOTTOM, LEFT, RIGHT, TOP,
        NUMBER_COUNT
    };
    std::int32_t n[NUMBER_COUNT] = {};
    char face[FACE_BUFFER_SIZE] = {};

    for (int i = 0; i < NUMBER_COUNT; ++i) {
        if (i == NUMBERS_BEFORE_FACE &&
            !ReadWord(file, face, sizeof face)) {
            return 0;
        }
        if (!ReadInt32(file, &n[i])) {
            return 0;
        }
    }
    if (std::ferror(file) || face[0] == '\0') {
        return 0;
    }
    ReplaceChar(face, FACE_BLANK_IN_FILE, FACE_BLANK);

    ClockSettings loaded = {};
    loaded.bAlwaysOnTop = n[ON_TOP];
    loaded.crBackground = AsColorRef(n[BACKGROUND]);
    loaded.crText = AsColorRef(n[TEXT]);
    SetLogFont(&loaded.lfFont, n[HEIGHT], n[WIDTH], n[ESCAPEMENT],
               n[ORIENTATION], n[WEIGHT], n[ITALIC], n[UNDERLINE],
               n[STRIKE_OUT], n[CHARSET], n[OUT_PRECISION],
               n[CLIP_PRECISION], n[QUALITY], n[PITCH_AND_FAMILY], face);
    loaded.rcWindow.left = n[LEFT];
    loaded.rcWindow.top = n[TOP];
    loaded.rcWindow.right = n[RIGHT];
    loaded.rcWindow.bottom = n[BOTTOM];
    *settings = loaded;
    return 1;
}

int FormatSettings(const ClockSettings& settings, char* text,
                   std::size_t size) {
    const LogFontRecord& font = settings.lfFont;
    char face[FACE_NAME_SIZE];
    std::memcpy(face, font.lfFaceName, sizeof face);
    face[sizeof face - 1] = '\0';
    if (!IsStorableFaceName(face)) {
        return 0;
    }
    ReplaceChar(face, FACE_BLANK, FACE_BLANK_IN_FILE);
    const RectRecord& rc = settings.rcWindow;
    const std::int32_t numbers[] = {
        font.lfCharSet, font.lfClipPrecision,
        static_cast<std::int32_t>(font.lfEscapement),
        static_cast<std::int32_t>(font.lfHeight), font.lfItalic,
        static_cast<std::int32_t>(font.lfOrientation), font.lfOutPrecision,
        font.lfPitchAndFamily, font.lfQuality, font.lfStrikeOut,
        font.lfUnderline, static_cast<std::int32_t>(font.lfWeight),
        static_cast<std::int32_t>(font.lfWidth),
        AsSignedInt(settings.crBackground), AsSignedInt(settings.crText),
        settings.bAlwaysOnTop, static_cast<std::int32_t>(rc.bottom),
        static_cast<std::int32_t>(rc.left), static_cast<std::int32_t>(rc.right),
        static_cast<std::int32_t>(rc.top)};
    TextBuilder out(text, size);
    int index = 0;
    for (std::int32_t number : numbers) {
        if (index == NUMBERS_BEFORE_FACE) {
            out.Append(LINE_END);
            out.Append(face);
            out.Append(LINE_END);
        } else if (index > 0) {
            out.Append(index % NUMBERS_PER_LINE == 0 ? LINE_END
                                                     : VALUE_SEPARATOR);
        }
        out.AppendDecimal(number);
        ++index;
    }
    return static_cast<int>(out.Length());
}

void ReplaceChar(char* text, char from, char to) {
    for (char* p = text; *p != '\0'; ++p) {
        if (*p == from) {
            *p = to;
            if (to == '\0') {
                return;  // the text now ends here
            }
        }
    }
}

void SetLogFont(LogFontRecord* font, int height, int width, int escapement,
                int orientation, int weight, int italic, int underline,
                int strikeOut, int charSet, int outPrecision,
                int clipPrecision, int quality, int pitchAndFamily,
                const char* faceName) {
    font->lfHeight = height;
    font->lfWidth = width;
    font->lfEscapement = escapement;
    font->lfOrientation = orientation;
    font->lfWeight = weight;
    font->lfItalic = static_cast<WinByte>(italic & BYTE_MASK);
    font->lfUnderline = static_cast<WinByte>(underline & BYTE_MASK);
    font->lfStrikeOut = static_cast<WinByte>(strikeOut & BYTE_MASK);
    font->lfCharSet = static_cast<WinByte>(charSet & BYTE_MASK);
    font->lfOutPrecision = static_cast<WinByte>(outPrecision & BYTE_MASK);
    font->lfClipPrecision = static_cast<WinByte>(clipPrecision & BYTE_MASK);
    font->lfQuality = static_cast<WinByte>(quality & BYTE_MASK);
    font->lfPitchAndFamily = static_cast<WinByte>(pitchAndFamily & BYTE_MASK);
    std::size_t length = std::strlen(faceName);
    if (length >= FACE_NAME_SIZE) {
        length = FACE_NAME_SIZE - 1;
    }
    std::memcpy(font->lfFaceName, faceName, length);
    std::memset(font->lfFaceName + length, 0, FACE_NAME_SIZE - length);
}

void ApplyDefaultSettings(ClockSettings* settings, ColorRef desktopColor) {
    SetLogFont(&settings->lfFont, DEFAULT_FONT_HEIGHT, 0, 0, 0,
               DEFAULT_FONT_WEIGHT, 0, 0, 0, DEFAULT_CHARSET,
               DEFAULT_OUT_PRECISION, DEFAULT_CLIP_PRECISION, 0, 0,
               DEFAULT_FACE_NAME);
    settings->crBackground = desktopColor;
    settings->crText = COLOR_WHITE;
    settings->bAlwaysOnTop = 1;
    settings->rcWindow = DEFAULT_WINDOW_RECT;
}

int LoadSettingsFrom(const char* path, ClockSettings* settings) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return 0;
    }
    int loaded = ReadSettings(file, settings);
    std::fclose(file);
    return loaded;
}

int SaveSettingsTo(const char* path, const ClockSettings& settings) {
    char text[SETTINGS_TEXT_SIZE];
    int length = FormatSettings(settings, text, sizeof text);
    if (length == 0) {
        return 0;
    }
    // One fixed name, not a unique one: a save cut short by a crash leaves at
    // most this file, and the next save overwrites it.
    char tempPath[TEMP_PATH_SIZE];
    std::size_t pathLength = std::strlen(path);
    if (pathLength + sizeof TEMP_SUFFIX > sizeof tempPath) {
        return 0;
    }
    std::memcpy(tempPath, path, pathLength);
    std::memcpy(tempPath + pathLength, TEMP_SUFFIX, sizeof TEMP_SUFFIX);
    return WriteFileReplacing(tempPath, path, text,
                              static_cast<std::size_t>(length));
}

int LoadSettings() { return LoadSettingsFrom(CONFIG_FILE_NAME, &clockSettings); }

int SaveSettings() { return SaveSettingsTo(CONFIG_FILE_NAME, clockSettings); }
