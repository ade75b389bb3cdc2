// Helpers shared by the unit tests: texts in code page 932 from UTF-8
// literals, and IPv4 senders, as the program's own units see them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "syslog/parser.h"

// The code page 932 bytes of a UTF-8 text, as the system converts it.
inline std::string Sjis(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0],
                                    static_cast<int>(wide.size())));
    std::string out(wide.size() * 2, '\0');
    out.resize(WideCharToMultiByte(932, 0, wide.data(), static_cast<int>(wide.size()), &out[0],
                                   static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

inline SenderAddress MakeSender(unsigned a, unsigned b, unsigned c, unsigned d, unsigned port) {
    return {
        kSenderIPv4,
        static_cast<uint16_t>(port),
        {static_cast<uint8_t>(a), static_cast<uint8_t>(b), static_cast<uint8_t>(c), static_cast<uint8_t>(d)},
        0};
}
