// Entry formatter and log file. Every entry and status line is a sequence of
// pieces: colour commands go to the view alone, text pieces go to the log file
// (one WriteFile each) and then to the view, so both see the same order.
#include "syslog/formatter.h"

#include "colorview/color_codes.h"
#include "colorview/colorview.h"
#include "syslog/parser.h"

#include <cstdio>
#include <cstring>

static_assert(sizeof(time_t) == 8, "time differences assume a 64-bit time_t");
static_assert(sizeof(sockaddr_in) == sizeof(g_lastSender), "sender image is a whole sockaddr_in");

unsigned char g_lastSender[16] = {};
char g_lastHost[256] = "";
int g_hostCounter = 1;
HANDLE g_logFile = INVALID_HANDLE_VALUE;

namespace {

const COLORREF kColorWhite = 0xFFFFFF;  // background of every piece
const COLORREF kColorBlue = 0xFF0000;   // times
const COLORREF kColorRed = 0x0000FF;    // status text and source header

enum {
    kSeparatorColorIndex = 9,  // grey; entry 7 holds the same value
    kFirstHostColorIndex = 10,
    kHostColorCount = 5,
    kTimeTextSize = 256,
    kLabelSize = kTimeTextSize + 32,
};

const char kSeparator[] = "--------------------------------------------------\r\n";

COLORREF TextColor(unsigned severity) {
    return PaletteColor(severity == 0 ? kSeparatorColorIndex : static_cast<int>(severity) + 1);
}

COLORREF HostColor(int counter) {
    int slot = counter % kHostColorCount;
    if (slot < 0)  // only after the counter wrapped around
        slot += kHostColorCount;
    return PaletteColor(kFirstHostColorIndex + slot);
}

// Field as strftime's %H/%M/%S would print it when in range; the plain number
// otherwise (a malformed timestamp must never reach strftime, whose range
// check in the C run-time may abort the process).
void FormatClockField(int value, char* out, size_t size) {
    if (value >= 0 && value <= 99)
        snprintf(out, size, "%02d", value);
    else
        snprintf(out, size, "%d", value);
}

}  // namespace

void FormatClock(int hour, int minute, int second, char* out, size_t size) {
    if (size == 0) return;
    char fields[3][16];
    FormatClockField(hour, fields[0], sizeof fields[0]);
    FormatClockField(minute, fields[1], sizeof fields[1]);
    FormatClockField(second, fields[2], sizeof fields[2]);
    snprintf(out, size, "%s:%s:%s", fields[0], fields[1], fields[2]);
}

void FormatLabel(char* out, size_t size, const char* timeText, time_t receive, time_t message) {
    // mktime gives -1 for a time it cannot represent (under the Windows C
    // run-time: before 1970 or after 3000); a difference from it would be a
    // made-up number, so the label says "?" instead.
    if (message == static_cast<time_t>(-1)) {
        snprintf(out, size, "%s(?)", timeText);
        return;
    }
    // Subtracting as doubles cannot overflow; times of the run-time's range are exact.
    double difference = static_cast<double>(receive) - static_cast<double>(message);
    snprintf(out, size, "%s(%.0f)", timeText, difference);
}

void WriteText(HWND view, const char* text) {
    if (g_logFile != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        // A failed or short write loses the piece from the file only.
        WriteFile(g_logFile, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    }
    SendMessageA(view, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>(text));
}

LRESULT SendColor(HWND view, COLORREF fore, COLORREF back) {
    char command[kColorCommandSize];
    if (!MakeColorCommand(fore, back, command)) return 0;
    return SendMessageA(view, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>(command));
}

int WriteStatusLine(HWND view, const char* text) {
    time_t now = time(nullptr);
    const struct tm* local = localtime(&now);
    char timeText[kTimeTextSize];
    if (local != nullptr)
        FormatClock(local->tm_hour, local->tm_min, local->tm_sec, timeText, sizeof timeText);
    else
        FormatClock(0, 0, 0, timeText, sizeof timeText);

    SendColor(view, kColorBlue, kColorWhite);
    WriteText(view, timeText);
    WriteText(view, " ");
    SendColor(view, kColorRed, kColorWhite);
    WriteText(view, text);
    WriteText(view, "\r\n");
    return 0;
}

int FormatEntry(HWND view, const time_t* receiveTime, const sockaddr_in* sender, const char* text) {
    // A changed address record (address, port or padding) announces a source.
    char source[kSenderTextSize] = "";
    if (memcmp(sender, g_lastSender, sizeof g_lastSender) != 0) {
        memcpy(g_lastSender, sender, sizeof g_lastSender);
        FormatSender(sender, source, sizeof source);
    }

    // The message record is about 4.5 KB; the GUI thread's stack holds it.
    SyslogMessage msg;
    ParseMessage(text, sender, *receiveTime, &msg);

    // The clock shows the fields as parsed; mktime then normalises its copy.
    char timeText[kTimeTextSize];
    FormatClock(msg.time.tm_hour, msg.time.tm_min, msg.time.tm_sec, timeText, sizeof timeText);
    struct tm messageTm = msg.time;
    time_t messageTime = mktime(&messageTm);
    char label[kLabelSize];
    FormatLabel(label, sizeof label, timeText, *receiveTime, messageTime);

    // The header has no line break: the separator continues its line.
    if (source[0] != '\0') {
        SendColor(view, kColorRed, kColorWhite);
        WriteText(view, "<<");
        WriteText(view, source);
        WriteText(view, ">> ");
    }

    // A new source or host opens a block.
    if (strcmp(msg.host, g_lastHost) != 0 || source[0] != '\0') {
        ++g_hostCounter;
        snprintf(g_lastHost, sizeof g_lastHost, "%s", msg.host);
        SendColor(view, PaletteColor(kSeparatorColorIndex), kColorWhite);
        WriteText(view, kSeparator);
    }

    COLORREF hostColor = HostColor(g_hostCounter);
    SendColor(view, kColorBlue, kColorWhite);
    WriteText(view, label);
    WriteText(view, " ");

    // Names only when both are non-zero, so "kern" and "emerg" never show.
    SendColor(view, hostColor, kColorWhite);
    WriteText(view, "<");
    WriteText(view, msg.host);
    if (msg.facility != 0 && msg.severity != 0) {
        WriteText(view, " ");
        WriteText(view, LookupName(FacilityNames, msg.facility));
        WriteText(view, ".");
        WriteText(view, LookupName(SeverityNames, msg.severity));
    }
    WriteText(view, "> ");

    SendColor(view, TextColor(msg.severity), kColorWhite);
    WriteText(view, msg.message);
    WriteText(view, "\r\n");
    return 0;
}
