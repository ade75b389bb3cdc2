// The queue's wake-up: one posted message per stretch of activity, not one
// per entry (see view_queue.h).
#include "queue/view_queue.h"

bool OpenViewQueue(ViewQueue* queue, size_t bytes, HWND notify, UINT notifyMessage) {
    queue->notify = notify;
    queue->notifyMessage = notifyMessage;
    return OpenEntryQueue(&queue->entries, bytes);
}

void CloseViewQueue(ViewQueue* queue) {
    CloseEntryQueue(&queue->entries);
}

bool QueueViewText(ViewQueue* queue, const char* bytes, size_t length) {
    if (!PushEntry(&queue->entries, bytes, length)) return false;
    if (ClaimWakeUp(&queue->entries)) PostMessageA(queue->notify, queue->notifyMessage, 0, 0);
    return true;
}

bool SleepUntilQueued(ViewQueue* queue) {
    return SleepUntilPushed(&queue->entries);
}
