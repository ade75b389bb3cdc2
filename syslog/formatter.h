// Entry formatter and log file: turns each received datagram into coloured
// pieces for the view and plain CR LF lines for the "messages" log file, and
// writes the program's status lines the same way. GUI thread only.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstddef>
#include <ctime>

extern unsigned char g_lastSender[16];  // sockaddr_in image of the previous sender
extern char g_lastHost[256];            // host of the block being shown
extern int g_hostCounter;               // host blocks so far; starts at 1
extern HANDLE g_logFile;                // "messages", or INVALID_HANDLE_VALUE

// Writes one entry for a datagram; returns 0.
int FormatEntry(HWND view, const time_t* receiveTime, const sockaddr_in* sender, const char* text);
// Writes "hh:mm:ss text" in blue and red; returns 0. Leaves the block state alone.
int WriteStatusLine(HWND view, const char* text);
// Appends a text piece to the log file (when open) and to the view.
void WriteText(HWND view, const char* text);
// Appends a colour command to the view only; the send's result, 0 when either
// colour is not in the palette and nothing was sent.
LRESULT SendColor(HWND view, COLORREF fore, COLORREF back);

// The clock text of a time: two digits per field in 0..99, any other value as
// the plain number, so a malformed timestamp shows what it carried.
void FormatClock(int hour, int minute, int second, char* out, size_t size);
// "time(difference)" with the difference receive - message in seconds, or
// "time(?)" when the message time is (time_t)-1, mktime's "cannot represent".
void FormatLabel(char* out, size_t size, const char* timeText, time_t receive, time_t message);
