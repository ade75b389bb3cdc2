// Window thread: takes entries off the queue from the reception thread and
// appends them to the view, a slice of time at a time.
#pragma once

#include <windows.h>

#include <cstdint>

#include "queue/view_queue.h"

// Appends queued entries to `view` for about `sliceMs` milliseconds, and adds
// the entries (and status lines) it appended to `*taken` when given. Returns
// true when entries remain.
bool FeedView(ViewQueue* queue, HWND view, DWORD sliceMs, uint64_t* taken = nullptr);
