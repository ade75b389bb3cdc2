// Feeding the view: each queued record is an entry's fields; it is kept,
// matched against the filter in force and, when shown, composed with the
// view's own block state and appended. Each shown entry's offset in the
// view is counted as it goes in, from the text bytes composing wrote, so
// that a right click finds its entry and a trim of the store cuts exactly
// the entries that left it from the view. An entry whose host or text holds
// in-band codes (the view keeps fewer bytes than were sent) is measured by
// asking the view instead.
#include "app/view_feed.h"

#include <cstdlib>
#include <cstring>

#include "colorview/colorview.h"

namespace {

enum : size_t { kBatchBytes = 8u << 20 };  // bytes of view text per append when showing all again

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

// Status lines are shown under every filter.
bool IsShown(ViewFeed* feed, const StoredEntry* stored, const EntryFields* f) {
    if (stored->status || !feed->filtering) return true;
    FilterFields fields = {f->host, FromText(feed, &f->sender), f->viewText, f->viewLength, f->hasPri,
                           f->facility, f->severity};
    return FilterMatches(&feed->filter, &fields, &feed->leadBytes);
}

// Appends the composed entry as it is; false when the view refused some of it.
bool SendAppends(ViewFeed* feed) {
    bool whole = true;
    for (const char* append = FirstAppend(feed->entry); append; append = NextAppend(feed->entry, append))
        whole = SendMessageA(feed->view, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>(append)) != 0 && whole;
    return whole;
}

void FlushBatch(ViewFeed* feed) {
    if (feed->batchLength == 0) return;
    feed->batch[feed->batchLength] = '\0';
    feed->batchLength = 0;
    // Out of memory the view holds less than counted: count again from it.
    if (!SendMessageA(feed->view, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>(feed->batch)))
        feed->viewEnd = feed->viewBase + ViewLength(feed->view);
}

// Composes a shown entry and appends it: at once, or into the batch when
// `batched`. Its text starts where the view's counted end is.
void ShowStored(ViewFeed* feed, StoredEntry* stored, const EntryFields* fields, bool batched) {
    ComposeEntry(&feed->shown, fields, feed->entry, kComposeView);
    if (!fields->status) ++feed->shownEntries;
    if (!stored->plain) {
        // The view alone knows what its codes leave of the text.
        FlushBatch(feed);
        stored->viewStart = feed->viewEnd;
        SendAppends(feed);
        feed->viewEnd = feed->viewBase + ViewLength(feed->view);
        return;
    }
    stored->viewStart = feed->viewEnd;
    feed->viewEnd += static_cast<int64_t>(feed->entry->viewTextBytes);
    if (!batched) {
        if (!SendAppends(feed)) feed->viewEnd = feed->viewBase + ViewLength(feed->view);
        return;
    }
    // Without codes an entry is one append; its bytes join the batch's.
    size_t bytes = feed->entry->viewLength - 1;
    if (feed->batchLength + bytes >= kBatchBytes) FlushBatch(feed);
    memcpy(feed->batch + feed->batchLength, feed->entry->view, bytes);
    feed->batchLength += bytes;
}

// After the store dropped its oldest entries: the view drops the text of
// those it showed, which is all of its text before the first entry still
// kept and shown (or all of it).
void CutViewFront(ViewFeed* feed) {
    int64_t keepFrom = feed->viewEnd;
    StoreCursor cursor;
    for (StoredEntry* s = FirstStored(&feed->store, &cursor); s; s = NextStored(&feed->store, &cursor)) {
        if (s->viewStart >= 0) {
            keepFrom = s->viewStart;
            break;
        }
    }
    if (keepFrom <= feed->viewBase) return;
    feed->viewBase += SendMessageA(feed->view, CVM_CUTFRONT, static_cast<WPARAM>(keepFrom - feed->viewBase), 0);
}

void TrimKept(ViewFeed* feed) {
    uint64_t shownDropped = 0;
    if (TrimStore(&feed->store, feed->maxLines, &shownDropped) == 0) return;
    feed->shownEntries -= shownDropped;
    CutViewFront(feed);
}

// Empties the view and shows every kept entry that the filter in force lets
// through, in large appends. A view that followed its end follows it again;
// one scrolled back shows the first entry at or after the one it showed at
// its top.
void ShowAgain(ViewFeed* feed) {
    bool following = SendMessageA(feed->view, CVM_ISFOLLOWING, 0, 0) != 0;
    LRESULT topLine = SendMessageA(feed->view, EM_GETFIRSTVISIBLELINE, 0, 0);
    int64_t top = feed->viewBase + SendMessageA(feed->view, EM_LINEINDEX, topLine, 0);

    SendMessageA(feed->view, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    feed->viewBase = feed->viewEnd = 0;
    feed->shownEntries = 0;
    StartBlockState(&feed->shown);
    // The anchor: the first entry shown now at or after the one that held
    // the old top line (the last whose old start is at or before it).
    int64_t anchor = -1;
    bool reached = false;
    StoreCursor cursor;
    for (StoredEntry* s = FirstStored(&feed->store, &cursor); s; s = NextStored(&feed->store, &cursor)) {
        if (s->viewStart >= 0 && s->viewStart <= top) reached = true, anchor = -1;
        s->viewStart = -1;
        EntryFields fields;
        if (!UnpackEntryFields(StoredBytes(s), s->length, &fields) || !IsShown(feed, s, &fields)) continue;
        ShowStored(feed, s, &fields, true);
        if (reached && anchor < 0) anchor = s->viewStart;
    }
    FlushBatch(feed);
    if (following || anchor < 0) {
        SendMessageA(feed->view, WM_VSCROLL, SB_BOTTOM, 0);
        return;
    }
    SendMessageA(feed->view, EM_SETSEL, static_cast<WPARAM>(anchor), static_cast<LPARAM>(anchor));
    SendMessageA(feed->view, EM_SCROLLCARET, 0, 0);
}

}  // namespace

bool OpenViewFeed(ViewFeed* feed, HWND view, int maxLines) {
    feed->view = view;
    OpenEntryStore(&feed->store);
    feed->maxLines = maxLines > 0 ? static_cast<uint64_t>(maxLines) : 0;
    StartBlockState(&feed->shown);
    feed->batchLength = 0;
    feed->filtering = false;
    feed->filterText[0] = '\0';
    feed->viewBase = feed->viewEnd = 0;
    feed->shownEntries = 0;
    for (int b = 0; b < 256; b++) feed->leadBytes.lead[b] = IsDBCSLeadByte(static_cast<BYTE>(b)) ? 1 : 0;
    memset(&feed->fromSender, 0, sizeof feed->fromSender);
    feed->fromText[0] = '\0';
    feed->entry = static_cast<EntryText*>(malloc(sizeof(EntryText)));
    feed->batch = static_cast<char*>(malloc(kBatchBytes));
    if (feed->entry && feed->batch) return true;
    CloseViewFeed(feed);
    return false;
}

void CloseViewFeed(ViewFeed* feed) {
    CloseEntryStore(&feed->store);
    free(feed->entry);
    free(feed->batch);
    feed->entry = nullptr;
    feed->batch = nullptr;
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
        if (stored && UnpackEntryFields(StoredBytes(stored), stored->length, &fields) &&
            IsShown(feed, stored, &fields)) {
            ShowStored(feed, stored, &fields, false);
            if (taken) ++*taken;
        }
        TrimKept(feed);
        QueryPerformanceCounter(&now);
        if (now.QuadPart - start.QuadPart >= slice) return PeekEntry(entries, &length) != nullptr;
    }
    return false;
}

bool ApplyFilter(ViewFeed* feed, const char* text, char* error, size_t errorSize) {
    if (!ParseFilter(text, &feed->parsed, error, errorSize)) return false;
    feed->filter = feed->parsed;
    feed->filtering = !FilterIsEmpty(&feed->filter);
    size_t n = strlen(text);
    if (n >= sizeof feed->filterText) n = sizeof feed->filterText - 1;
    memcpy(feed->filterText, text, n);
    feed->filterText[n] = '\0';
    ShowAgain(feed);
    return true;
}

bool FieldsAtOffset(ViewFeed* feed, int offset, EntryFields* fields) {
    int64_t at = feed->viewBase + offset;
    if (at >= feed->viewEnd) return false;  // past the last line break: no entry's text
    const StoredEntry* found = nullptr;
    StoreCursor cursor;
    for (StoredEntry* s = FirstStored(&feed->store, &cursor); s; s = NextStored(&feed->store, &cursor)) {
        if (s->viewStart < 0) continue;
        if (s->viewStart > at) break;
        found = s;
    }
    return found && UnpackEntryFields(StoredBytes(found), found->length, fields);
}
