// Entry formatter and log file: sends each received datagram's entry, built
// by the entry text unit, to the view and appends its line to the "messages"
// log file, and writes the program's status lines the same way. Owns the log
// file. GUI thread only.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <ctime>

#include "syslog/entry_text.h"

// Opens "messages" in the current directory for appending, readable by
// others; false when it cannot be opened, and the program then runs without.
bool OpenLog();
// Closes the log file; nothing is written to it afterwards.
void CloseLog();

// Writes one entry for a datagram: one write to the log file, one append to
// the view (more only around a datagram piece holding a hot marker). Returns
// 1 when the view took every append, else 0 (also when a piece did not fit).
// The current time in seconds since 1970, as time(NULL) gives it, from the
// system clock alone: the C run-time's time() also looks up the time zone,
// which under Wine costs a round trip to the server for every datagram.
time_t CurrentTime();

LRESULT FormatEntry(HWND view, const time_t* receiveTime, const sockaddr_in* sender, const char* text);
// Writes "hh:mm:ss text" in blue and red the same way; the same result.
// Leaves the block state alone.
LRESULT WriteStatusLine(HWND view, const char* text);
