// The clock's one settings record, its defaults and "Velmora.cfg", the text
// file that keeps it between runs. No platform header: the file format is
// tested natively, and only the file replacement comes from the OS layer.
#pragma once

#include <cstdio>

#include "win_types.h"

struct ClockSettings {
    std::int32_t bAlwaysOnTop;
    ColorRef crBackground;
    ColorRef crText;
    LogFontRecord lfFont;
    RectRecord rcWindow;
};

// The process-wide record, filled once at start-up.
extern ClockSettings clockSettings;

constexpr char CONFIG_FILE_NAME[] = "Velmora.cfg";

// Fill clockSettings from "Velmora.cfg" in the current directory. Returns 1 when
// all 21 values were read, 0 otherwise; on 0 the record is left as it was.
int LoadSettings();

// Write clockSettings to "Velmora.cfg" without ever losing the previous file:
// returns 1 once the new file has replaced it, 0 on any failure.
int SaveSettings();

// The same, for any record and file path.
int LoadSettingsFrom(const char* path, ClockSettings* settings);
int SaveSettingsTo(const char* path, const ClockSettings& settings);

// The reading and formatting underneath, for an open stream and a buffer.
// ReadSettings returns 1 and fills the record only when all 21 values were
// read; FormatSettings returns the text's length, or 0 when the record cannot
// be stored (an empty face name, or one that would not read back as a word).
int ReadSettings(std::FILE* file, ClockSettings* settings);
int FormatSettings(const ClockSettings& settings, char* text,
                   std::size_t size);
constexpr std::size_t SETTINGS_TEXT_SIZE = 512;

// Every field's built-in default; the background follows the desktop colour.
void ApplyDefaultSettings(ClockSettings* settings, ColorRef desktopColor);

// Byte-wide fields keep the low 8 bits of their int; the face name is cut to
// fit lfFaceName with its terminator.
void SetLogFont(LogFontRecord* font, int height, int width, int escapement,
                int orientation, int weight, int italic, int underline,
                int strikeOut, int charSet, int outPrecision,
                int clipPrecision, int quality, int pitchAndFamily,
                const char* faceName);

// In place, every `from` in the terminated text becomes `to`.
void ReplaceChar(char* text, char from, char to);
