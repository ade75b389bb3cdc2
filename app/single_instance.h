// One instance per port. The first start for a port holds a named mutex for
// it; a later start for the same port finds that instance's main window,
// hands it --filter and --alert if given (WM_COPYDATA), has it come to the
// front (from the tray too), and ends. Another port is another instance;
// a port that some other program holds is no instance of ours, and its bind
// error stays as it is.
#pragma once

#include <windows.h>

#include "app/options.h"

// Sent to a main window (by a later start): the port it receives on.
#define WM_PORTQUERY (WM_APP + 6)

// What a WM_COPYDATA of a later start carries (its dwData).
enum HandOverKind {
    kHandOverFilter = 0x4f524e31,  // the text of --filter
    kHandOverAlert,                // the text of --alert
    kHandOverShow,                 // come to the front; no text
};

// Takes `port` for this process; false when another instance has it.
bool ClaimPort(int port);
// A later start for `port`: hands `options` to the instance that has it,
// whose main window is of `className`; false when none answered within a
// few seconds (the caller then starts as usual).
bool HandOverToFirst(int port, const char* className, const Options* options);
// The first instance's side of WM_COPYDATA: the kind and its text (cut to
// `size` bytes, NUL-terminated); false for anything that is no hand-over.
bool ReadHandOver(const COPYDATASTRUCT* data, HandOverKind* kind, char* text, size_t size);
