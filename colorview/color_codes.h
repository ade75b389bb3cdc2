// In-band codes of the colour text view: the bytes that switch styles, the
// colour command (0x03 followed by "fg[,bg]" in decimal palette indexes), the
// 16-entry palette and the two attribute bytes kept beside every text byte.
// Pure code: a colour is a 32-bit 0x00BBGGRR value, no window headers needed.
#pragma once

#include <cstdint>

typedef uint32_t ColorValue;  // same bits as a COLORREF

enum { kPaletteSize = 16, kColorCommandSize = 16 };

// In-band bytes of appended text.
enum : unsigned char {
    kCodeBold = 0x02,
    kCodeColor = 0x03,
    kCodeItalic = 0x14,
    kCodeReverse = 0x16,
    kCodeUnderline = 0x1F,
    kCodeHot = 0xFF,
};

// Bits of the flag byte: what changes when drawing reaches the byte.
enum : unsigned char {
    kAttrFore = 0x01,       // foreground = palette[colors & 0x0F]
    kAttrBack = 0x02,       // background = palette[colors >> 4]
    kAttrReset = 0x04,      // both colours back to the view's defaults
    kAttrBold = 0x08,       // toggles
    kAttrUnderline = 0x10,  // toggles
    kAttrReverse = 0x20,    // toggles
    kAttrItalic = 0x40,     // toggles
    kAttrHot = 0x80,        // byte lies in a hot region; no visual effect
};

enum { kHotColorIndex = 12 };

ColorValue PaletteColor(int index);

// Reads the digits after a 0x03 at `p` into the attribute bytes of the write
// position; returns the first byte after the command.
const char* ParseColorCommand(const char* p, unsigned char* flags, unsigned char* colors);

// Writes the decimal palette index of `color` and a NUL at `out`; returns the
// position of the NUL, or nullptr (nothing written) when the colour is not in
// the palette.
char* ColorToCode(ColorValue color, char* out);

// Builds 0x03 fg "," bg NUL into `out` (kColorCommandSize bytes); false, with
// nothing usable in `out`, when either colour is not in the palette.
bool MakeColorCommand(ColorValue fore, ColorValue back, char* out);
