// Feeding the views: each queued record is an entry's fields; it is kept,
// composed with the block state of every entry's view and appended there,
// and, while a filter is in force and lets it through, composed again for
// the filter's view. Each entry's offset in each view is counted as it goes
// in, from the text bytes composing wrote, so that a right click finds its
// entry and a trim of the store cuts exactly the entries that left it from
// the views. An entry whose host or text holds in-band codes (the view
// keeps fewer bytes than were sent) is measured by asking the view instead.
#include "app/view_feed.h"

#include <cstdlib>
#include <cstring>

#include "colorview/colorview.h"

namespace {

// Bytes of view text per append when the filter's view is composed afresh.
enum : size_t { kBatchBytes = 8u << 20 };

// Many entries' view text in one append.
struct Batch {
    char* bytes;  // kBatchBytes; null: each entry goes in alone
    size_t length;
};

int64_t ViewLength(HWND view) {
    return static_cast<int64_t>(SendMessageA(view, WM_GETTEXTLENGTH, 0, 0));
}

// The sender as a filter's "from:" sees it; entries from one sender come in
// runs, so its text is made once per run.
const char* FromText(ViewFeed* feed, const SenderAddress* sender) {
    if (memcmp(sender, &feed->fromSender, sizeof *sender) != 0) {
        feed->fromSender = *sender;
        FormatSender(sender, feed->fromText, sizeof feed->fromText);
    }
    return feed->fromText;
}

// An entry's fields as a filter sees them.
FilterFields AsFilterFields(ViewFeed* feed, const EntryFields* f) {
    return FilterFields{f->host, FromText(feed, &f->sender), f->viewText, f->viewLength, f->hasPri,
                        f->facility, f->severity};
}

// Whether the filter in force lets the record through; status lines pass
// every filter.
bool Passes(ViewFeed* feed, const StoredEntry* stored, const EntryFields* f) {
    if (stored->status) return true;
    FilterFields fields = AsFilterFields(feed, f);
    return FilterMatches(&feed->filter, &fields, &feed->leadBytes);
}

// Appends the composed entry as it is; false when the view refused some of it.
bool SendAppends(HWND view, const EntryText* entry) {
    bool whole = true;
    for (const char* append = FirstAppend(entry); append; append = NextAppend(entry, append))
        whole = SendMessageA(view, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>(append)) != 0 && whole;
    return whole;
}

void FlushBatch(ShownView* shown, Batch* batch) {
    if (!batch || batch->length == 0) return;
    batch->bytes[batch->length] = '\0';
    batch->length = 0;
    // Out of memory the view holds less than counted: count again from it.
    if (!SendMessageA(shown->view, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>(batch->bytes)))
        shown->end = shown->base + ViewLength(shown->view);
}

// Composes a record for view `v` and appends it: at once, or into `batch`.
// Its text starts where the view's counted end is, once the batch has gone
// out if it must go first.
void ShowStored(ViewFeed* feed, int v, StoredEntry* stored, const EntryFields* fields, Batch* batch) {
    ShownView* shown = &feed->views[v];
    EntryText* entry = feed->entry;
    ComposeEntry(&shown->blocks, fields, entry, kComposeView);
    if (!fields->status) ++shown->entries;
    // Without codes an entry is one append, whose bytes may join the batch's.
    size_t bytes = entry->viewLength - 1;
    bool joins = batch && stored->plain;
    if (!joins || batch->length + bytes >= kBatchBytes) FlushBatch(shown, batch);
    stored->viewStart[v] = shown->end;
    if (joins) {
        memcpy(batch->bytes + batch->length, entry->view, bytes);
        batch->length += bytes;
        shown->end += static_cast<int64_t>(entry->viewTextBytes);
        return;
    }
    // The view alone knows what its codes leave of the text, and what it
    // kept when it refused some.
    if (SendAppends(shown->view, entry) && stored->plain)
        shown->end += static_cast<int64_t>(entry->viewTextBytes);
    else
        shown->end = shown->base + ViewLength(shown->view);
}

// After the store dropped its oldest entries: each view drops the text of
// those it showed, which is all of its text before the first entry still
// kept and shown there (or all of it).
void CutViewFront(ViewFeed* feed, int v) {
    ShownView* shown = &feed->views[v];
    int64_t keepFrom = shown->end;
    StoreCursor cursor;
    for (StoredEntry* s = FirstStored(&feed->store, &cursor); s; s = NextStored(&feed->store, &cursor)) {
        if (s->viewStart[v] >= 0) {
            keepFrom = s->viewStart[v];
            break;
        }
    }
    if (keepFrom <= shown->base) return;
    shown->base += SendMessageA(shown->view, CVM_CUTFRONT, static_cast<WPARAM>(keepFrom - shown->base), 0);
}

void TrimKept(ViewFeed* feed) {
    uint64_t shownDropped[kStoredViews];
    if (TrimStore(&feed->store, feed->maxLines, shownDropped) == 0) return;
    for (int v = 0; v < kStoredViews; ++v) {
        feed->views[v].entries -= shownDropped[v];
        if (v == kAllEntries || feed->filtering) CutViewFront(feed, v);
    }
}

// Empties a view: it shows nothing. The caller marks the records.
void EmptyView(ShownView* shown) {
    SendMessageA(shown->view, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    shown->base = shown->end = 0;
    shown->entries = 0;
    StartBlockState(&shown->blocks);
}

// The filter's view emptied: no record is shown there.
void EmptyFiltered(ViewFeed* feed) {
    EmptyView(&feed->views[kFilteredEntries]);
    StoreCursor cursor;
    for (StoredEntry* s = FirstStored(&feed->store, &cursor); s; s = NextStored(&feed->store, &cursor))
        s->viewStart[kFilteredEntries] = -1;
}

// The filter's view composed afresh: every kept record that the filter in
// force lets through, in large appends.
void ComposeFiltered(ViewFeed* feed) {
    EmptyView(&feed->views[kFilteredEntries]);
    Batch batch = {static_cast<char*>(malloc(kBatchBytes)), 0};
    StoreCursor cursor;
    for (StoredEntry* s = FirstStored(&feed->store, &cursor); s; s = NextStored(&feed->store, &cursor)) {
        s->viewStart[kFilteredEntries] = -1;
        EntryFields fields;
        if (UnpackEntryFields(StoredBytes(s), s->length, &fields) && Passes(feed, s, &fields))
            ShowStored(feed, kFilteredEntries, s, &fields, batch.bytes ? &batch : nullptr);
    }
    FlushBatch(&feed->views[kFilteredEntries], batch.bytes ? &batch : nullptr);
    free(batch.bytes);  // only while composing: it costs no memory after
}

// The record whose text holds offset `at` of view `v` (counted as its
// viewStart[] are), and where it stands in the store; null when none does.
StoredEntry* RecordAt(ViewFeed* feed, int v, int64_t at, StoreCursor* where) {
    StoredEntry* found = nullptr;
    StoreCursor cursor;
    for (StoredEntry* s = FirstStored(&feed->store, &cursor); s; s = NextStored(&feed->store, &cursor)) {
        if (s->viewStart[v] < 0) continue;
        if (s->viewStart[v] > at) break;
        found = s;
        *where = cursor;
    }
    return found;
}

// The record that holds the top line of view `v`, and where it stands in
// the store; null when the view shows nothing.
StoredEntry* RecordAtTop(ViewFeed* feed, int v, StoreCursor* at) {
    const ShownView* shown = &feed->views[v];
    LRESULT line = SendMessageA(shown->view, EM_GETFIRSTVISIBLELINE, 0, 0);
    return RecordAt(feed, v, shown->base + SendMessageA(shown->view, EM_LINEINDEX, line, 0), at);
}

// Puts view `to` on screen in place of view `from`, swapping their
// visibility, control ids and the focus. One that follows its end goes on
// following it; one scrolled back shows the first entry at or after the one
// at the top of `from`.
void PutOnScreen(ViewFeed* feed, int from, int to, StoredEntry* top, StoreCursor at, bool following) {
    HWND old = feed->views[from].view, now = feed->views[to].view;
    feed->onScreen = to;
    if (old != now) {
        LONG_PTR oldId = GetWindowLongPtrA(old, GWLP_ID);
        SetWindowLongPtrA(old, GWLP_ID, GetWindowLongPtrA(now, GWLP_ID));
        SetWindowLongPtrA(now, GWLP_ID, oldId);
        ShowWindow(now, SW_SHOWNA);
        if (GetFocus() == old) SetFocus(now);
        ShowWindow(old, SW_HIDE);
    }
    for (StoredEntry* s = top; s && !following; s = NextStored(&feed->store, &at)) {
        if (s->viewStart[to] < 0) continue;
        int64_t offset = s->viewStart[to] - feed->views[to].base;
        SendMessageA(now, EM_SETSEL, static_cast<WPARAM>(offset), static_cast<LPARAM>(offset));
        SendMessageA(now, EM_SCROLLCARET, 0, 0);
        return;
    }
    LRESULT length = SendMessageA(now, WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(now, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageA(now, WM_VSCROLL, SB_BOTTOM, 0);
}

}  // namespace

bool OpenViewFeed(ViewFeed* feed, HWND all, HWND filtered, int maxLines) {
    const HWND views[kStoredViews] = {all, filtered};
    for (int v = 0; v < kStoredViews; ++v) {
        memset(&feed->views[v], 0, sizeof feed->views[v]);
        feed->views[v].view = views[v];
        StartBlockState(&feed->views[v].blocks);
    }
    feed->onScreen = kAllEntries;
    OpenEntryStore(&feed->store);
    feed->maxLines = maxLines > 0 ? static_cast<uint64_t>(maxLines) : 0;
    feed->filtering = false;
    feed->filterText[0] = '\0';
    for (int b = 0; b < 256; b++) feed->leadBytes.lead[b] = IsDBCSLeadByte(static_cast<BYTE>(b)) ? 1 : 0;
    memset(&feed->fromSender, 0, sizeof feed->fromSender);
    feed->fromText[0] = '\0';
    feed->onEntry = nullptr;
    feed->onEntryContext = nullptr;
    feed->entry = static_cast<EntryText*>(malloc(sizeof(EntryText)));
    return feed->entry != nullptr;
}

void CloseViewFeed(ViewFeed* feed) {
    CloseEntryStore(&feed->store);
    free(feed->entry);
    feed->entry = nullptr;
}

bool FeedView(ViewFeed* feed, ViewQueue* queue, DWORD sliceMs, uint64_t* taken) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const LONGLONG slice = frequency.QuadPart * sliceMs / 1000;
    EntryQueue* entries = &queue->entries;
    size_t length = 0;
    while (const char* record = PeekEntry(entries, &length)) {
        // Short of memory for keeping it, the entry is in the log file only.
        StoredEntry* stored = StoreEntry(&feed->store, record, length);
        PopEntry(entries);
        EntryFields fields;
        if (stored && UnpackEntryFields(StoredBytes(stored), stored->length, &fields)) {
            ShowStored(feed, kAllEntries, stored, &fields, nullptr);
            bool filtered = feed->filtering && Passes(feed, stored, &fields);
            if (filtered) ShowStored(feed, kFilteredEntries, stored, &fields, nullptr);
            if (taken && (filtered || !feed->filtering)) ++*taken;
            if (feed->onEntry && !fields.status) {
                FilterFields forRule = AsFilterFields(feed, &fields);
                feed->onEntry(feed->onEntryContext, &forRule, &feed->leadBytes);
            }
        }
        TrimKept(feed);
        QueryPerformanceCounter(&now);
        if (now.QuadPart - start.QuadPart >= slice) return PeekEntry(entries, &length) != nullptr;
    }
    return false;
}

bool ApplyFilter(ViewFeed* feed, const char* text, char* error, size_t errorSize) {
    // A filter that cannot be read leaves the one in force untouched.
    if (!ParseFilter(text, &feed->filter, error, errorSize)) return false;
    feed->filtering = !FilterIsEmpty(&feed->filter);
    strcpy(feed->filterText, text);  // read, so shorter than kMaxFilterText
    int from = feed->onScreen;
    bool following = SendMessageA(feed->views[from].view, CVM_ISFOLLOWING, 0, 0) != 0;
    StoreCursor at = {0, 0};
    StoredEntry* top = following ? nullptr : RecordAtTop(feed, from, &at);
    // Every entry's view never stopped taking entries: without a filter it
    // is shown again as it is, and the filter's view lets its text go.
    if (feed->filtering) {
        ComposeFiltered(feed);
        PutOnScreen(feed, from, kFilteredEntries, top, at, following);
    } else if (from == kFilteredEntries) {
        PutOnScreen(feed, from, kAllEntries, top, at, following);
        EmptyFiltered(feed);
    }
    return true;
}

bool FieldsAtOffset(ViewFeed* feed, int offset, EntryFields* fields) {
    const int v = feed->onScreen;
    int64_t at = feed->views[v].base + offset;
    if (at >= feed->views[v].end) return false;  // past the last line break: no entry's text
    StoreCursor cursor;
    const StoredEntry* found = RecordAt(feed, v, at, &cursor);
    return found && UnpackEntryFields(StoredBytes(found), found->length, fields);
}
