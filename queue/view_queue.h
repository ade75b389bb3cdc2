// The one place where the reception thread and the window thread meet: the
// bounded queue of entry view texts (entry_queue.h) and the wake-up that
// tells the window thread there is something to take. Producers (the sink,
// under its lock) push and wake; the window thread peeks, pops and, once
// the queue has stayed empty, goes back to waiting for the next wake-up.
//
// The wake-up: while the window thread is awake (from the first posted
// message until SleepUntilQueued), producers post nothing, so that a steady
// stream costs no message per entry; the window thread comes back by itself,
// on a timer or a message of its own, and calls SleepUntilQueued only when
// the queue has stayed empty for a while. The rule is the pure queue's
// (ClaimWakeUp, SleepUntilPushed); this unit posts.
#pragma once

#include <windows.h>

#include <cstddef>

#include "queue/entry_queue.h"

struct ViewQueue {
    EntryQueue entries;
    HWND notify;  // woken with `notifyMessage` when the queue turns non-empty
    UINT notifyMessage;
};

// Makes the queue (`bytes`, see OpenEntryQueue); false when memory is short.
bool OpenViewQueue(ViewQueue* queue, size_t bytes, HWND notify, UINT notifyMessage);
void CloseViewQueue(ViewQueue* queue);

// Producer: queues one record (PushEntry) and wakes the window thread unless
// it is awake already. False when the record was dropped.
bool QueueViewText(ViewQueue* queue, const char* bytes, size_t length);

// Window thread: lets the next queued entry post a wake-up. False when an
// entry is already waiting: the caller must then come back by itself.
bool SleepUntilQueued(ViewQueue* queue);
