// The settings record seen through the platform's own types. The asserts
// prove the platform-free twins match LOGFONTA and RECT field for field, so the
// font dialog may write the record's font in place.
#pragma once

#include <windows.h>

#include <cstddef>
#include <type_traits>

#include "settings.h"

static_assert(std::is_same<ColorRef, COLORREF>::value, "COLORREF twin");
static_assert(std::is_same<WinLong, LONG>::value, "LONG twin");
static_assert(FACE_NAME_SIZE == LF_FACESIZE, "face name size");

#define VELMORA_SAME_FIELD(twin, native, field)                       \
    static_assert(offsetof(twin, field) == offsetof(native, field) && \
                      sizeof(twin::field) == sizeof(native::field),   \
                  #field)

static_assert(sizeof(RectRecord) == sizeof(RECT), "RECT size");
VELMORA_SAME_FIELD(RectRecord, RECT, left);
VELMORA_SAME_FIELD(RectRecord, RECT, top);
VELMORA_SAME_FIELD(RectRecord, RECT, right);
VELMORA_SAME_FIELD(RectRecord, RECT, bottom);

static_assert(sizeof(LogFontRecord) == sizeof(LOGFONTA), "LOGFONTA size");
VELMORA_SAME_FIELD(LogFontRecord, LOGFONTA, lfHeight);
VELMORA_SAME_FIELD(LogFontRecord, LOGFONTA, lfWidth);
VELMORA_SAME_FIELD(LogFontRecord, LOGFONTA, lfEscapement);
VELMORA_SAME_FIELD(LogFontRecord, LOGFONTA, lfOrientation);
VELMORA_SAME_FIELD(LogFontRecord, LOGFONTA, lfWeight);
VELMORA_SAME_FIELD(LogFontRecord, LOGFONTA, lfItalic);
VELMORA_SAME_FIELD(LogFontRecord, LOGFONTA, lfUnderline);
VELMORA_SAME_FIELD(LogFontRecord, LOGFONTA, lfStrikeOut);
VELMORA_SAME_FIELD(LogFontRecord, LOGFONTA, lfCharSet);
VELMORA_SAME_FIELD(LogFontRecord, LOGFONTA, lfOutPrecision);
VELMORA_SAME_FIELD(LogFontRecord, LOGFONTA, lfClipPrecision);
VELMORA_SAME_FIELD(LogFontRecord, LOGFONTA, lfQuality);
VELMORA_SAME_FIELD(LogFontRecord, LOGFONTA, lfPitchAndFamily);
VELMORA_SAME_FIELD(LogFontRecord, LOGFONTA, lfFaceName);

#undef VELMORA_SAME_FIELD

inline LOGFONTA* AsLogFont(LogFontRecord* font) {
    return reinterpret_cast<LOGFONTA*>(font);
}

inline const LOGFONTA* AsLogFont(const LogFontRecord* font) {
    return reinterpret_cast<const LOGFONTA*>(font);
}

inline RECT* AsRect(RectRecord* rect) { return reinterpret_cast<RECT*>(rect); }
