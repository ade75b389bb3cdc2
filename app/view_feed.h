// Window thread: takes entries off the queue from the reception thread,
// keeps them (app/entry_store.h), and shows in the view those that the
// filter in force lets through, with every status line, as if only they had
// arrived: separators, sender headers and block colours are decided over the
// entries shown. A new filter shows the kept entries again under it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/entry_store.h"
#include "colorview/lead_bytes.h"
#include "queue/view_queue.h"
#include "syslog/entry_text.h"
#include "syslog/filter.h"

struct ViewFeed {
    HWND view;
    EntryStore store;
    uint64_t maxLines;  // the kept entries' lines, counted without a filter; 0: no limit
    BlockState shown;   // the block decisions over the entries shown
    EntryText* entry;   // the entry being composed
    char* batch;        // many entries' view text in one append, when all are shown again
    size_t batchLength;
    Filter filter;      // in force while `filtering`
    Filter parsed;      // a filter being read
    bool filtering;
    char filterText[kMaxFilterText];  // the text of the filter in force, "" for none
    // Offsets into the view counted from the first byte ever appended since
    // it was last emptied: each shown entry's viewStart is one. The view's
    // own offsets are these less `viewBase`, the bytes cut from its front.
    int64_t viewBase;
    int64_t viewEnd;
    uint64_t shownEntries;  // kept entries in the view (status lines not counted)
    LeadBytes leadBytes;    // the system code page's, as the view's
    // The last sender's text, which a filter matches "from:" against.
    SenderAddress fromSender;
    char fromText[kSenderTextSize];
};

// Makes the feed of `view`, keeping `maxLines` lines (0: no limit); false
// when memory is short. Nothing is filtered until a filter is applied.
bool OpenViewFeed(ViewFeed* feed, HWND view, int maxLines);
void CloseViewFeed(ViewFeed* feed);

// Takes queued entries for about `sliceMs` milliseconds, and adds the
// entries and status lines it showed to `*taken` when given. Returns true
// when entries remain.
bool FeedView(ViewFeed* feed, ViewQueue* queue, DWORD sliceMs, uint64_t* taken = nullptr);

// Reads `text` as a filter; when it is good, it comes into force (an empty
// one shows everything) and the view shows the kept entries again under it.
// A bad one changes nothing: false, with the reason in `error`.
bool ApplyFilter(ViewFeed* feed, const char* text, char* error, size_t errorSize);

// The fields of the kept entry or status line whose text holds the view's
// offset `offset`, pointing into the store (valid until the feed next takes
// or drops entries); false when there is none there.
bool FieldsAtOffset(ViewFeed* feed, int offset, EntryFields* fields);
