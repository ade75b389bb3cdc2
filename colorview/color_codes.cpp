// The colour command of the view's in-band codes: its 16-entry palette, the
// reader that turns "fg[,bg]" after a 0x03 into attribute bytes, and the
// writer that producers use to turn colours back into a command.
#include "color_codes.h"

static const ColorValue g_palette[kPaletteSize] = {
    0xFFFFFF, 0x0000FF, 0x2020FF, 0x4040FF, 0x8080FF, 0x804080, 0x000000, 0x808080,
    0xE0E0E0, 0x808080, 0x808000, 0x008080, 0x000080, 0x008000, 0x800080, 0xFF0000,
};

ColorValue PaletteColor(int index) {
    return g_palette[index & (kPaletteSize - 1)];
}

// Reads at most two ASCII digits; the count read goes to *digits.
static const char* ReadIndex(const char* p, int* value, int* digits) {
    *value = 0;
    *digits = 0;
    while (*digits < 2 && *p >= '0' && *p <= '9') {
        *value = *value * 10 + (*p - '0');
        ++*digits;
        ++p;
    }
    return p;
}

const char* ParseColorCommand(const char* p, unsigned char* flags, unsigned char* colors) {
    int fore = 0, back = 0, digits = 0;
    p = ReadIndex(p, &fore, &digits);
    if (digits == 0) {
        // A bare command resets; whatever follows it is text.
        *flags |= kAttrReset;
        return p;
    }
    *flags |= kAttrFore;
    if (*p == ',') {
        p = ReadIndex(p + 1, &back, &digits);
        if (digits > 0) *flags |= kAttrBack;
    }
    *colors = static_cast<unsigned char>((fore % kPaletteSize) | ((back % kPaletteSize) << 4));
    return p;
}

char* ColorToCode(ColorValue color, char* out) {
    for (int index = 0; index < kPaletteSize; ++index) {
        if (g_palette[index] != color) continue;
        if (index >= 10) *out++ = static_cast<char>('0' + index / 10);
        *out++ = static_cast<char>('0' + index % 10);
        *out = '\0';
        return out;
    }
    return nullptr;
}

bool MakeColorCommand(ColorValue fore, ColorValue back, char* out) {
    out[0] = static_cast<char>(kCodeColor);
    char* end = ColorToCode(fore, out + 1);
    if (end != nullptr) {
        *end = ',';
        end = ColorToCode(back, end + 1);
    }
    if (end == nullptr) {
        out[0] = '\0';
        return false;
    }
    return true;
}
