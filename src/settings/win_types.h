// Platform-free twins of COLORREF, RECT and LOGFONTA. The settings record is
// built from these so the configuration file can be tested without windows.h,
// yet the standard font dialog can still write the record's font in place.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
// LLP64: long is 32 bits, the very type of COLORREF's DWORD and of LONG.
typedef unsigned long ColorRef;
typedef long WinLong;
#else
typedef std::uint32_t ColorRef;
typedef std::int32_t WinLong;
#endif

typedef std::uint8_t WinByte;

constexpr std::size_t FACE_NAME_SIZE = 32;  // LF_FACESIZE, terminator included
constexpr ColorRef COLOR_WHITE = 0x00FFFFFF;

struct RectRecord {
    WinLong left;
    WinLong top;
    WinLong right;
    WinLong bottom;
};

struct LogFontRecord {
    WinLong lfHeight;
    WinLong lfWidth;
    WinLong lfEscapement;
    WinLong lfOrientation;
    WinLong lfWeight;
    WinByte lfItalic;
    WinByte lfUnderline;
    WinByte lfStrikeOut;
    WinByte lfCharSet;
    WinByte lfOutPrecision;
    WinByte lfClipPrecision;
    WinByte lfQuality;
    WinByte lfPitchAndFamily;
    char lfFaceName[FACE_NAME_SIZE];
};
