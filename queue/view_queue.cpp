// The queue's wake-up: one posted message per stretch of activity, not one
// per entry (see view_queue.h).
#include "queue/view_queue.h"

bool OpenViewQueue(ViewQueue* queue, size_t bytes, HWND notify, UINT notifyMessage) {
    queue->notify = notify;
    queue->notifyMessage = notifyMessage;
    queue->wakePending.store(false);
    return OpenEntryQueue(&queue->entries, bytes);
}

void CloseViewQueue(ViewQueue* queue) {
    CloseEntryQueue(&queue->entries);
}

bool QueueViewText(ViewQueue* queue, const char* bytes, size_t length) {
    if (!PushEntry(&queue->entries, bytes, length)) return false;
    if (!queue->wakePending.exchange(true)) PostMessageA(queue->notify, queue->notifyMessage, 0, 0);
    return true;
}

bool SleepUntilQueued(ViewQueue* queue) {
    queue->wakePending.store(false);
    size_t length = 0;
    // An entry queued just before the store found the flag set and did not
    // post: take the wake-up back, unless a producer has posted since.
    if (PeekEntry(&queue->entries, &length) && !queue->wakePending.exchange(true)) return false;
    return true;
}
