// Two real threads through a small entry queue, as reception and the window
// thread use it; shared by the unit test and the native run under the thread
// sanitizer. The producer sends bursts of numbered records of many lengths,
// and once a drop count is due, a line naming it before the next record, as
// the sink does; after each burst it waits for the consumer to take
// everything. The consumer takes what there is and, once it finds the queue
// empty, sleeps until woken, as the window thread does. A wake-up that is
// missed leaves it asleep with records waiting: the producer's wait then
// runs out, and the run says so.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>

#include "queue/entry_queue.h"

struct QueueStress {
    // The consumer's findings.
    uint64_t seen = 0;    // records taken
    bool whole = true;    // every record had its length and bytes, and nothing was left over
    bool ordered = true;  // and came after the one before it
    // The producer's.
    uint64_t told = 0;        // dropped records named by the lines, and by the count left at the end
    bool roomKept = true;     // every line that EndDropping let through was taken
    bool woken = true;        // the consumer took each burst in time
};

inline QueueStress StressQueue(uint32_t bursts, uint32_t perBurst) {
    EntryQueue queue;
    QueueStress result;
    if (!OpenEntryQueue(&queue, 4096, 512)) {
        result.whole = false;
        return result;
    }
    std::mutex lock;
    std::condition_variable posted;
    bool wake = false, done = false;
    const uint32_t records = bursts * perBurst;
    auto push = [&](const char* bytes, size_t length) {
        bool pushed = PushEntry(&queue, bytes, length);
        if (pushed && ClaimWakeUp(&queue)) {
            std::lock_guard<std::mutex> hold(lock);
            wake = true;
            posted.notify_one();
        }
        return pushed;
    };
    std::thread producer([&] {
        char bytes[300];
        for (uint32_t serial = 0; serial < records; ++serial) {
            size_t length = 1 + sizeof serial + serial * 7919 % (sizeof bytes - 1 - sizeof serial);
            bytes[0] = 'R';
            memcpy(bytes + 1, &serial, sizeof serial);
            memset(bytes + 1 + sizeof serial, static_cast<char>(serial), length - 1 - sizeof serial);
            uint64_t due = DropCountDue(&queue);
            if (due != 0 && EndDropping(&queue, 1 + sizeof due, length)) {
                char line[1 + sizeof due] = {'D'};
                memcpy(line + 1, &due, sizeof due);
                result.roomKept = push(line, sizeof line) && result.roomKept;
                result.told += due;
            }
            push(bytes, length);
            if ((serial + 1) % perBurst != 0) continue;
            // The burst is over: the consumer must take it all by itself.
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (queue.popped.load() != queue.pushed.load() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
            if (queue.popped.load() != queue.pushed.load()) {
                result.woken = false;
                break;
            }
        }
        std::lock_guard<std::mutex> hold(lock);
        done = true;
        posted.notify_one();
    });
    uint32_t last = 0;
    bool finishing = false;
    for (;;) {
        size_t length = 0;
        const char* record = PeekEntry(&queue, &length);
        if (record && record[0] == 'R') {
            uint32_t serial;
            memcpy(&serial, record + 1, sizeof serial);
            if (result.seen > 0 && serial <= last) result.ordered = false;
            if (length != 1 + sizeof serial + serial * 7919 % (300 - 1 - sizeof serial)) result.whole = false;
            for (size_t i = 1 + sizeof serial; i < length; ++i)
                result.whole = result.whole && record[i] == static_cast<char>(serial);
            last = serial;
            ++result.seen;
        }
        if (record) {
            PopEntry(&queue);
            continue;
        }
        if (finishing) break;
        // The window thread does other work between finding the queue empty
        // and going to sleep: a record may come in between.
        std::this_thread::yield();
        if (!SleepUntilPushed(&queue)) continue;
        std::unique_lock<std::mutex> hold(lock);
        posted.wait(hold, [&] { return wake || done; });
        finishing = done;
        wake = false;
    }
    producer.join();
    size_t length = 0;
    if (PeekEntry(&queue, &length) != nullptr) result.whole = false;
    result.told += queue.dropped;  // dropped at the end, with no line yet
    CloseEntryQueue(&queue);
    return result;
}
