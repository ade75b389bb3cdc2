// The store of kept entries: records back to back in blocks of 1 MiB, each
// a StoredEntry head and the packed fields, padded to 8 bytes. A record
// never spans two blocks. The oldest block is freed as soon as its last
// record is dropped, and one emptied block is kept for the next, so that a
// store going round at its limit neither grows nor asks for memory.
#include "app/entry_store.h"

#include <cstdlib>
#include <cstring>

#include "colorview/color_codes.h"

namespace {

static_assert(kMaxPackedFields + sizeof(StoredEntry) + 8 <= kStoreBlockBytes, "a block holds any record");

size_t RecordSize(size_t length) {
    return sizeof(StoredEntry) + ((length + 7) & ~static_cast<size_t>(7));
}

// True when the bytes hold none of the view's in-band codes: the text the
// view then gets is the bytes themselves, so its length is known without
// the view (the caller counts view offsets that way).
bool HasNoCodes(const char* text, size_t length) {
    static const unsigned char kCodes[] = {kCodeBold, kCodeColor, kCodeItalic, kCodeReverse, kCodeUnderline,
                                           kCodeHot};
    for (unsigned char code : kCodes)
        if (memchr(text, code, length) != nullptr) return false;
    return true;
}

size_t CountLineFeeds(const char* text, size_t length) {
    size_t count = 0;
    for (const char* p = text; (p = static_cast<const char*>(memchr(p, '\n', text + length - p))); ++p) ++count;
    return count;
}

StoreBlock* BlockAt(EntryStore* store, size_t block) {
    return &store->blocks[(store->first + block) % store->capacity];
}

// A block for the newest records: the spare, or a new one; false when
// memory is short.
bool AddBlock(EntryStore* store) {
    if (store->count == store->capacity) {
        size_t capacity = store->capacity ? store->capacity * 2 : 16;
        StoreBlock* blocks = static_cast<StoreBlock*>(malloc(capacity * sizeof(StoreBlock)));
        if (!blocks) return false;
        for (size_t i = 0; i < store->count; ++i) blocks[i] = *BlockAt(store, i);
        free(store->blocks);
        store->blocks = blocks;
        store->capacity = capacity;
        store->first = 0;
    }
    char* bytes = store->spare ? store->spare : static_cast<char*>(malloc(kStoreBlockBytes));
    if (!bytes) return false;
    store->spare = nullptr;
    StoreBlock* block = BlockAt(store, store->count++);
    block->bytes = bytes;
    block->used = 0;
    return true;
}

// The oldest block is empty: it becomes the spare, or goes.
void DropOldestBlock(EntryStore* store) {
    StoreBlock* block = BlockAt(store, 0);
    if (store->spare)
        free(block->bytes);
    else
        store->spare = block->bytes;
    store->first = (store->first + 1) % store->capacity;
    --store->count;
    store->headAt = 0;
}

}  // namespace

void OpenEntryStore(EntryStore* store) {
    memset(store, 0, sizeof *store);
    StartBlockState(&store->unfiltered);
}

void CloseEntryStore(EntryStore* store) {
    for (size_t i = 0; i < store->count; ++i) free(BlockAt(store, i)->bytes);
    free(store->blocks);
    free(store->spare);
    OpenEntryStore(store);
}

StoredEntry* StoreEntry(EntryStore* store, const char* record, size_t length) {
    EntryFields fields;
    if (!UnpackEntryFields(record, length, &fields)) return nullptr;
    size_t need = RecordSize(length);
    if ((store->count == 0 || BlockAt(store, store->count - 1)->used + need > kStoreBlockBytes) && !AddBlock(store))
        return nullptr;
    StoreBlock* block = BlockAt(store, store->count - 1);
    StoredEntry* stored = reinterpret_cast<StoredEntry*>(block->bytes + block->used);
    block->used += need;
    memcpy(stored + 1, record, length);

    // The lines as a view without a filter shows the entry: a separator
    // where a block opens, and one per line feed of its text.
    size_t lines = 1 + CountLineFeeds(fields.viewText, fields.viewLength);
    if (!fields.status) {
        char source[kSenderTextSize];
        if (NoteBlock(&store->unfiltered, &fields.sender, fields.host, source, sizeof source)) ++lines;
        ++store->entries;
    }
    stored->length = static_cast<uint32_t>(length);
    stored->lines = static_cast<uint32_t>(lines);
    stored->status = fields.status;
    stored->plain = HasNoCodes(fields.host, strlen(fields.host)) && HasNoCodes(fields.viewText, fields.viewLength);
    for (int64_t& start : stored->viewStart) start = -1;
    ++store->records;
    store->lines += lines;
    return stored;
}

uint64_t TrimStore(EntryStore* store, uint64_t maxLines, uint64_t shownDropped[kStoredViews]) {
    for (int v = 0; v < kStoredViews; ++v) shownDropped[v] = 0;
    if (maxLines == 0 || store->lines <= maxLines + maxLines / 10) return 0;
    uint64_t dropped = 0;
    // The newest stays, however many lines it has.
    while (store->lines > maxLines && store->records > 1) {
        StoreBlock* block = BlockAt(store, 0);
        const StoredEntry* stored = reinterpret_cast<const StoredEntry*>(block->bytes + store->headAt);
        if (!stored->status) {
            --store->entries;
            for (int v = 0; v < kStoredViews; ++v) shownDropped[v] += stored->viewStart[v] >= 0;
        }
        store->lines -= stored->lines;
        --store->records;
        ++dropped;
        store->headAt += RecordSize(stored->length);
        if (store->headAt >= block->used) DropOldestBlock(store);
    }
    return dropped;
}

StoredEntry* FirstStored(EntryStore* store, StoreCursor* cursor) {
    cursor->block = 0;
    cursor->at = store->headAt;
    if (store->records == 0) return nullptr;
    return reinterpret_cast<StoredEntry*>(BlockAt(store, 0)->bytes + cursor->at);
}

StoredEntry* NextStored(EntryStore* store, StoreCursor* cursor) {
    if (cursor->block >= store->count) return nullptr;
    StoreBlock* block = BlockAt(store, cursor->block);
    const StoredEntry* stored = reinterpret_cast<const StoredEntry*>(block->bytes + cursor->at);
    cursor->at += RecordSize(stored->length);
    if (cursor->at >= block->used) {
        if (++cursor->block >= store->count) return nullptr;
        cursor->at = 0;
        block = BlockAt(store, cursor->block);
    }
    return reinterpret_cast<StoredEntry*>(block->bytes + cursor->at);
}
