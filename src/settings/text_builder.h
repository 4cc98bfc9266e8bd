// Builds short texts of words and decimal integers in a caller's buffer,
// without the C library's formatting engine: snprintf drags its floating-point,
// wide-character and locale code into the executable, about 26 KiB, for what
// is only ever small integers here.
#pragma once

#include <cstddef>
#include <cstdint>

class TextBuilder {
public:
    // The buffer holds the text and its terminator.
    TextBuilder(char* buffer, std::size_t size);

    void Append(const char* text);

    // Writes value as "%d" would; a width pads it on the left to that many
    // characters, with blanks ("%2d") or with zeros after any sign ("%02d").
    void AppendDecimal(std::int32_t value, int width = 0, char fill = ' ');

    // The text's length, or 0 once anything did not fit.
    std::size_t Length() const;

private:
    void Put(char c);

    char* buffer_;
    std::size_t size_;
    std::size_t length_ = 0;
    bool overflowed_ = false;
};
