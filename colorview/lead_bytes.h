// The double-byte rule of the view's text, free of window headers so that
// the pure units (the code reader, the search) apply the very rule the
// window units do: a byte that leads a double-byte character in the system's
// code page, followed by a byte that is neither NUL nor a line break, forms
// one character with it. The view fills the table once, from the system.
#pragma once

struct LeadBytes {
    unsigned char lead[256];  // non-zero for a lead byte
};

// True when `lead` and `next` form one double-byte character. A line break
// never serves as a trail byte: text from the network in another encoding
// often ends a line on a lead byte, and its line break must stay one.
inline bool IsPairIn(const LeadBytes* table, unsigned char lead, unsigned char next) {
    return table->lead[lead] && next != 0 && next != '\r' && next != '\n';
}

// Bytes of the character at offset `pos` of NUL-terminated `text`: 2 for a
// double-byte pair, else 1.
inline int CharBytesIn(const LeadBytes* table, const char* text, int pos) {
    return IsPairIn(table, static_cast<unsigned char>(text[pos]), static_cast<unsigned char>(text[pos + 1])) ? 2 : 1;
}
