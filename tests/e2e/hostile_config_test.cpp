// Velmora.exe against damaged and hostile configuration files: it must start,
// keep answering, end normally and never touch the file.
#include <string>

#include "clock_test.h"

namespace {

constexpr size_t ONE_MEGABYTE = 1024 * 1024;

std::string Canonical() { return ConfigText(ConfigValues()); }

std::string WithWindow(LONG left, LONG top, LONG right, LONG bottom) {
    ConfigValues values;
    values.window = {left, top, right, bottom};
    return ConfigText(values);
}

std::string WithFont(int height, int weight, const std::string& face) {
    ConfigValues values;
    values.height = height;
    values.weight = weight;
    values.face = face;
    return ConfigText(values);
}

std::string Replaced(std::string text, const std::string& from,
                     const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::string Utf16WithBom(const std::string& text) {
    std::string wide = "\xFF\xFE";
    for (char c : text) {
        wide += c;
        wide += '\0';
    }
    return wide;
}

std::string BinaryJunk(size_t size) {
    std::string junk(size, '\0');
    unsigned state = 12345;
    for (char& c : junk) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return junk;
}

struct HostileFile {
    const char* name;
    std::string bytes;
};

std::vector<HostileFile> HostileFiles() {
    std::string canonical = Canonical();
    return {
        {"Empty", ""},
        {"OnlyWhiteSpace", std::string(4096, ' ') + "\r\n\t\v\f"},
        {"BinaryJunk", BinaryJunk(4096)},
        {"NulBytes", std::string(512, '\0')},
        {"NulInsideValues", Replaced(canonical, " ", std::string(1, '\0'))},
        {"OneMegabyteWord", std::string(ONE_MEGABYTE, 'W')},
        {"OneMegabyteFaceName",
         Replaced(canonical, "MS+Sans+Serif", std::string(ONE_MEGABYTE, 'F'))},
        {"OneMegabyteNumber", std::string(ONE_MEGABYTE, '7')},
        {"NumbersFarBeyond32Bits",
         Replaced(canonical, "16777215", "99999999999999999999999999")},
        {"NegativeBeyond32Bits", Replaced(canonical, "400", "-2147483649")},
        {"Utf16ByteOrderMark", Utf16WithBom(canonical)},
        {"Utf8ByteOrderMark", "\xEF\xBB\xBF" + canonical},
        {"InvertedRectangle", WithWindow(500, 400, 100, 50)},
        {"ZeroSizeRectangle", WithWindow(200, 200, 200, 200)},
        {"FarOffScreen", WithWindow(2000000000, 2000000000, 2000000065,
                                    2000000018)},
        {"ExtremeRectangle", WithWindow(-2147483647 - 1, -2147483647 - 1,
                                        2147483647, 2147483647)},
        {"CarriageReturnsOnly", Replaced(canonical, "\r\n", "\r")},
        {"TruncatedCanonical", canonical.substr(0, canonical.size() / 2)},
        {"HugeFontHeight", WithFont(2147483647, 400, "MS+Sans+Serif")},
        {"NegativeHugeFontHeight", WithFont(-2147483647 - 1, 400, "Tahoma")},
        {"HugeFontWidth", []() {
             ConfigValues values;
             values.width = 2147483647;
             values.escapement = -2147483647 - 1;
             values.orientation = 2147483647;
             return ConfigText(values);
         }()},
        {"AbsurdWeightAndUnknownFace", WithFont(12, -99999, "No+Such+Font")},
        {"ControlCharactersInFace", WithFont(12, 400, "\x01\x02\x7F\x1B")},
        {"LettersWhereNumbersGo", Replaced(canonical, "12 0 0", "twelve 0 0")},
        {"SignsWithoutDigits", Replaced(canonical, "65 0", "- +")},
    };
}

class HostileConfigTest : public ClockTest,
                          public ::testing::WithParamInterface<HostileFile> {};

TEST_P(HostileConfigTest, StartsAnswersAndEndsWithoutTouchingTheFile) {
    ASSERT_NE(nullptr, StartClock(GetParam().bytes));
    EXPECT_TRUE(RoundTrip(clock));
    ExpectClosesWithExitCode();
    std::string after;
    ASSERT_TRUE(directory.ReadFile(CONFIG, &after));
    EXPECT_TRUE(after == GetParam().bytes) << "the file was modified";
    EXPECT_EQ(1u, directory.FileNames().size());
}

// A stored width or height beyond 32 bits is held at the nearest end of the
// int range: the widest window there is, or none at all, never the other.
TEST_F(ClockTest, SidesBeyondTheIntRangeGiveTheWidestOrNarrowestClock) {
    const LONG low = -2147483647 - 1, high = 2147483647;
    ASSERT_NE(nullptr, StartClock(WithWindow(low, low, high, high)));
    RECT widest = WindowRect(clock);
    ExpectClosesWithExitCode();
    ASSERT_NE(nullptr, StartClock(WithWindow(high, high, low, low)));
    RECT narrowest = WindowRect(clock);
    EXPECT_GE(widest.right - widest.left, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_GE(widest.bottom - widest.top, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(0, narrowest.right - narrowest.left);
    EXPECT_EQ(0, narrowest.bottom - narrowest.top);
}

INSTANTIATE_TEST_SUITE_P(
    Files, HostileConfigTest, ::testing::ValuesIn(HostileFiles()),
    [](const ::testing::TestParamInfo<HostileFile>& info) {
        return std::string(info.param.name);
    });

}  // namespace
