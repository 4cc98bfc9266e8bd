// The small formatter that writes the file's and the clock's integers in
// place of the C library's: it must give what printf would, to the byte.
#include "settings/text_builder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

// The edges the file and the clock never reach together: the extremes, zero,
// and negatives under both kinds of padding.
TEST(TextBuilder, DecimalsAsPrintfWritesThem) {
    struct Case { std::int32_t value; int width; char fill; const char* text; };
    const Case cases[] = {
        {INT_MIN, 0, ' ', "-2147483648"}, {INT_MAX, 0, ' ', "2147483647"},
        {0, 0, ' ', "0"},     {-1, 0, ' ', "-1"},   {-10, 0, ' ', "-10"},
        {0, 2, '0', "00"},    {7, 2, ' ', " 7"},    {-7, 3, ' ', " -7"},
        {-7, 3, '0', "-07"},  {123, 2, '0', "123"},
        {INT_MIN, 12, '0', "-02147483648"},
    };
    for (const Case& c : cases) {
        char text[16];
        TextBuilder out(text, sizeof text);
        out.AppendDecimal(c.value, c.width, c.fill);
        EXPECT_STREQ(text, c.text) << c.value;
        EXPECT_EQ(out.Length(), std::strlen(c.text)) << c.value;
    }
}

TEST(TextBuilder, TextThatDoesNotFitHasNoLength) {
    char text[4];
    TextBuilder out(text, sizeof text);
    out.Append("ab");
    out.AppendDecimal(-1);
    EXPECT_EQ(out.Length(), 0u);
    EXPECT_STREQ(text, "ab-");
}

// Before anything is written the buffer already holds a text, the empty one,
// even where only its terminator fits.
TEST(TextBuilder, NothingWrittenYetIsTheEmptyText) {
    for (std::size_t size : {std::size_t{1}, std::size_t{4}}) {
        char text[4] = "old";
        TextBuilder out(text, size);
        EXPECT_STREQ(text, "") << size;
    }
}

}  // namespace
