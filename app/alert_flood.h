// Flood control for alerts: at most one call for attention (a balloon, the
// warning sound) every kAlertQuietMilliseconds, however many entries match.
// The matches in between are held and summed into the next call ("ほか N
// 件"), which comes once the quiet time is over even when nothing more
// matches. Pure arithmetic on the caller's clock (no window headers).
#pragma once

#include <cstdint>

enum : uint64_t { kAlertQuietMilliseconds = 10000 };

struct AlertFlood {
    bool called;        // a call has been made: lastCall holds its time
    uint64_t lastCall;  // milliseconds, on a clock that does not wrap (GetTickCount64's)
    uint64_t held;      // matches since then that had no call of their own
};

// A call to make: `matches` is how many it stands for (the one it shows
// and the others it counts); 0 for no call.
struct AlertCall {
    uint64_t matches;
};

void ResetAlertFlood(AlertFlood* flood);
// An entry matched at `now`: a call at once, for it and any held matches,
// when the quiet time since the last call is over; otherwise it is held.
AlertCall NoteAlertMatch(AlertFlood* flood, uint64_t now);
// The caller's timer at `now`: the call for the held matches once it is due
// (it shows the newest of them).
AlertCall TakeHeldCall(AlertFlood* flood, uint64_t now);
// Milliseconds from `now` until the held matches are due; 0 when they are
// due or none are held.
uint64_t HeldCallWait(const AlertFlood* flood, uint64_t now);
// The user looked (the window came to the front): held matches need no
// call any more. The quiet time since the last call still runs.
void DropHeldMatches(AlertFlood* flood);
