// The log file's backlog: the lines waiting for the file, kept in order in
// memory made once, while the file cannot be written. When a new line does
// not fit, the oldest whole lines are dropped and counted; a line is never
// cut and never written twice, however short the writes. Pure code with no
// lock inside: the caller holds its lock around every call, never around a
// write.
#pragma once

#include <cstddef>

enum {
    kLogBacklogBytes = 32 << 20,  // the program's bound on the kept lines
    kLogRunBytes = 1 << 20,       // the most one write takes; also the longest line kept
    kLogRunLines = 1024,          // the most lines one write takes
};

// Lines move from the ring into the run, whole, when the writer asks for
// bytes. The writer reads the run without the lock while new lines go into
// the ring, and lines in the run are never dropped: they are on their way.
// A timed backlog keeps each line's time too (the file it goes to depends
// on it), and a run then holds lines of one time range only.
struct LogBacklog {
    unsigned char* ring;  // kept lines, each a 4-byte length, its time when timed, and its bytes
    size_t ringSize;
    size_t headerBytes;  // before each line's bytes: 4, or 12 when timed
    size_t head;         // where the oldest kept line's length starts
    size_t used;         // bytes of the ring in use, lengths included
    size_t lines;        // lines kept in the ring
    char* run;           // lines handed to the writer, back to back
    size_t runSize;
    size_t runLength;                 // bytes in the run
    size_t runDone;                   // of them, written
    size_t runLines;                  // lines in the run
    size_t runLinesDone;              // of them, written whole
    size_t runLineEnd[kLogRunLines];  // where each line of the run ends
    long long runTime;                // the time of the run's first line
    unsigned long long linesWritten;  // whole lines out since the counts were taken
    unsigned long long linesLost;     // lines dropped since then
};

// Makes the ring (ringSize bytes: lines and their 4-byte lengths, and their
// 8-byte times when `timed`) and the run (runSize bytes); false, with
// nothing held, when memory is short.
bool MakeLogBacklog(LogBacklog* backlog, size_t ringSize, size_t runSize, bool timed = false);
void FreeLogBacklog(LogBacklog* backlog);

// Keeps a copy of one line (any bytes; CR LF inside are the line's own).
// Drops the oldest kept lines when it does not fit. A line longer than the
// run or than the ring can take is itself dropped: false. An empty line is
// nothing to keep.
// `when` is the line's time (seconds since 1970), kept when timed.
bool AppendLogLine(LogBacklog* backlog, const char* bytes, size_t length, long long when = 0);

// The next bytes to write, in order: what is left of the run, or else a new
// run of whole kept lines. False when nothing waits. The bytes stay put
// until LogRunWritten, even while lines are appended.
bool NextLogRun(LogBacklog* backlog, const char** bytes, size_t* length);
// The same, a new run taking its first line and then only lines whose time
// lies in [from, to), so that all of it goes to one file.
bool NextLogRunWithin(LogBacklog* backlog, long long from, long long to, const char** bytes, size_t* length);
// The time of the next line to go out (the run's while one is unfinished);
// false when nothing waits.
bool NextLogTime(const LogBacklog* backlog, long long* when);
// The writer wrote `count` bytes of what NextLogRun gave (a short write
// counts what it wrote); the next run resumes right after them.
void LogRunWritten(LogBacklog* backlog, size_t count);

bool LogBacklogEmpty(const LogBacklog* backlog);

// The lines written whole and the lines dropped since the last call, and
// sets both counts to 0. Taken when writing first fails and again once the
// backlog is empty, they are the delayed and the lost lines in between.
void TakeLogCounts(LogBacklog* backlog, unsigned long long* written, unsigned long long* lost);

// nullptr when the backlog's invariants hold, else the one that is broken.
// Walks every kept line: for tests.
const char* CheckLogBacklog(const LogBacklog* backlog);
