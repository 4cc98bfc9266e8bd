// libFuzzer target: any bytes as the content of "Velmora.cfg". A load must
// take all 21 values or leave the record untouched, keep the face name
// terminated inside lfFaceName, and whatever it accepts must save to a text
// that loads back to the same record and saves to the same bytes again.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/settings.h"

namespace {

constexpr unsigned char UNTOUCHED = 0xA5;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

// Loads from memory through the same stream reader the file load uses.
int LoadFromBytes(const void* data, std::size_t size, ClockSettings* out) {
    // fmemopen refuses a zero-sized buffer; an empty file is one byte short
    // of a single blank, which reads the same.
    static const char blank = ' ';
    std::FILE* stream = size == 0
                            ? fmemopen(const_cast<char*>(&blank), 1, "rb")
                            : fmemopen(const_cast<void*>(data), size, "rb");
    Require(stream != nullptr, "fmemopen");
    int loaded = ReadSettings(stream, out);
    std::fclose(stream);
    return loaded;
}

bool FaceTerminated(const ClockSettings& settings) {
    return std::memchr(settings.lfFont.lfFaceName, '\0', FACE_NAME_SIZE) !=
           nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data,
                                      std::size_t size) {
    ClockSettings first;
    std::memset(&first, UNTOUCHED, sizeof first);
    ClockSettings untouched = first;
    if (!LoadFromBytes(data, size, &first)) {
        Require(std::memcmp(&first, &untouched, sizeof first) == 0,
                "a failed load changed the record");
        return 0;
    }
    Require(FaceTerminated(first), "face name not terminated");
    Require(first.lfFont.lfFaceName[0] != '\0', "empty face name accepted");

    char text[SETTINGS_TEXT_SIZE];
    int length = FormatSettings(first, text, sizeof text);
    Require(length > 0, "an accepted record cannot be saved");

    ClockSettings second;
    std::memset(&second, UNTOUCHED, sizeof second);
    Require(LoadFromBytes(text, static_cast<std::size_t>(length), &second) == 1,
            "a saved text does not load");
    char again[SETTINGS_TEXT_SIZE];
    int againLength = FormatSettings(second, again, sizeof again);
    Require(againLength == length && std::memcmp(text, again, length) == 0,
            "saving is not a fixed point");
    return 0;
}
