// Window thread: takes entries off the queue from the reception thread,
// keeps them (app/entry_store.h), and shows them in two views, of which one
// is on screen: the view of every kept entry, and, while a filter is in
// force, the view of the entries it lets through, with every status line,
// as if only they had arrived: separators, sender headers and block colours
// decided over the entries shown. A filter is applied by composing its view
// afresh from the kept entries, and taken away by showing the view of every
// entry again, which never stopped taking them.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/entry_store.h"
#include "colorview/lead_bytes.h"
#include "queue/view_queue.h"
#include "syslog/entry_text.h"
#include "syslog/filter.h"

// What one of the views shows.
struct ShownView {
    HWND view;
    BlockState blocks;  // the block decisions over the entries it shows
    // Offsets into the view counted from the first byte appended since it
    // was last emptied: each record's viewStart[] is one. The view's own
    // offsets are these less `base`, the bytes cut from its front.
    int64_t base;
    int64_t end;
    uint64_t entries;  // kept entries it shows (status lines not counted)
};

struct ViewFeed {
    ShownView views[kStoredViews];  // kAllEntries and kFilteredEntries
    int onScreen;                   // the one shown: kFilteredEntries while a filter is in force
    EntryStore store;
    uint64_t maxLines;  // the kept entries' lines, counted without a filter; 0: no limit
    EntryText* entry;   // the entry being composed
    Filter filter;      // in force while `filtering`
    bool filtering;
    char filterText[kMaxFilterText];  // the text of the filter in force, "" for none
    LeadBytes leadBytes;              // the system code page's, as the views'
    // The last sender's text, which a filter matches "from:" against.
    SenderAddress fromSender;
    char fromText[kSenderTextSize];
    // Given every entry taken (not the status lines), shown or hidden, with
    // its fields as a filter sees them (valid during the call), when set:
    // the alerts' rule is matched there.
    void (*onEntry)(void* context, const FilterFields* fields, const LeadBytes* leadBytes);
    void* onEntryContext;
};

// Makes the feed of the two views (same size and place, children of one
// window, `all` visible, `filtered` hidden), keeping `maxLines` lines (0: no
// limit); false when memory is short. Showing the other view swaps their
// visibility and their control ids, so that the one on screen always has
// the id `all` had. Nothing is filtered until a filter is applied.
bool OpenViewFeed(ViewFeed* feed, HWND all, HWND filtered, int maxLines);
void CloseViewFeed(ViewFeed* feed);
// The view on screen.
inline HWND ViewOnScreen(const ViewFeed* feed) {
    return feed->views[feed->onScreen].view;
}

// Takes queued entries for about `sliceMs` milliseconds, and adds the
// entries and status lines the view on screen took to `*taken` when given.
// Returns true when entries remain.
bool FeedView(ViewFeed* feed, ViewQueue* queue, DWORD sliceMs, uint64_t* taken = nullptr);

// Reads `text` as a filter; when it is good, it comes into force (an empty
// one takes the filter away) and the view on screen shows the kept entries
// under it. A bad one changes nothing: false, with the reason in `error`.
bool ApplyFilter(ViewFeed* feed, const char* text, char* error, size_t errorSize);

// The fields of the kept entry or status line whose text holds offset
// `offset` of the view on screen, pointing into the store (valid until the
// feed next takes or drops entries); false when there is none there.
bool FieldsAtOffset(ViewFeed* feed, int offset, EntryFields* fields);
