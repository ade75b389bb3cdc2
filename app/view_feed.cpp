// Feeding the view: each queued record is one entry's appends back to back,
// read in place and popped once the view has them.
#include "app/view_feed.h"

#include <cstring>

#include "colorview/colorview.h"

bool FeedView(ViewQueue* queue, HWND view, DWORD sliceMs, uint64_t* taken) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const LONGLONG slice = frequency.QuadPart * sliceMs / 1000;
    EntryQueue* entries = &queue->entries;
    size_t length = 0;
    while (const char* record = PeekEntry(entries, &length)) {
        // A record is the entry's appends back to back, each NUL-terminated.
        for (const char* append = record; append < record + length; append += strlen(append) + 1)
            SendMessageA(view, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>(append));
        PopEntry(entries);
        if (taken) ++*taken;
        QueryPerformanceCounter(&now);
        if (now.QuadPart - start.QuadPart >= slice) return PeekEntry(entries, &length) != nullptr;
    }
    return false;
}
