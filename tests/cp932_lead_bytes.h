// Code page 932's lead bytes as the view's table holds them, for tests of
// the pure units that run without the system (natively, under libFuzzer).
#pragma once

#include "colorview/lead_bytes.h"

inline LeadBytes CodePage932() {
    LeadBytes t = {};
    for (int b = 0x81; b <= 0x9F; b++) t.lead[b] = 1;
    for (int b = 0xE0; b <= 0xFC; b++) t.lead[b] = 1;
    return t;
}
