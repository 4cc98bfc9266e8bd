// Words and decimals into a fixed buffer; see text_builder.h. The digits are
// written backwards from the unsigned magnitude, so the most negative value
// needs no special case.
#include "text_builder.h"

namespace {

constexpr int MAX_DIGITS = 10;  // 4294967295
constexpr std::uint32_t BASE = 10;

}  // namespace

TextBuilder::TextBuilder(char* buffer, std::size_t size)
    : buffer_(buffer), size_(size) {
    if (size_ == 0) {
        overflowed_ = true;
    } else {
        buffer_[0] = '\0';
    }
}

void TextBuilder::Put(char c) {
    if (length_ + 1 >= size_) {
        overflowed_ = true;
        return;
    }
    buffer_[length_++] = c;
    buffer_[length_] = '\0';
}

void TextBuilder::Append(const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        Put(*p);
    }
}

void TextBuilder::AppendDecimal(std::int32_t value, int width, char fill) {
    bool negative = value < 0;
    // Unsigned negation is defined for every value, INT32_MIN included.
    std::uint32_t magnitude = static_cast<std::uint32_t>(value);
    if (negative) {
        magnitude = 0u - magnitude;
    }
    char digits[MAX_DIGITS];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % BASE);
        magnitude /= BASE;
    } while (magnitude != 0);

    int padding = width - count - (negative ? 1 : 0);
    if (fill != '0') {
        for (; padding > 0; --padding) {
            Put(fill);
        }
    }
    if (negative) {
        Put('-');
    }
    for (; padding > 0; --padding) {
        Put('0');
    }
    while (count > 0) {
        Put(digits[--count]);
    }
}

std::size_t TextBuilder::Length() const { return overflowed_ ? 0 : length_; }
