// Flood control for alerts (see alert_flood.h).
#include "app/alert_flood.h"

namespace {

bool Quiet(const AlertFlood* f, uint64_t now) {
    return !f->called || now - f->lastCall >= kAlertQuietMilliseconds;
}

AlertCall Call(AlertFlood* f, uint64_t now, uint64_t matches) {
    f->called = true;
    f->lastCall = now;
    f->held = 0;
    return AlertCall{matches};
}

}  // namespace

void ResetAlertFlood(AlertFlood* f) {
    *f = AlertFlood{false, 0, 0};
}

AlertCall NoteAlertMatch(AlertFlood* f, uint64_t now) {
    if (Quiet(f, now)) return Call(f, now, f->held + 1);
    f->held++;
    return AlertCall{0};
}

AlertCall TakeHeldCall(AlertFlood* f, uint64_t now) {
    if (f->held == 0 || !Quiet(f, now)) return AlertCall{0};
    return Call(f, now, f->held);
}

uint64_t HeldCallWait(const AlertFlood* f, uint64_t now) {
    if (f->held == 0 || Quiet(f, now)) return 0;
    return f->lastCall + kAlertQuietMilliseconds - now;
}

void DropHeldMatches(AlertFlood* f) {
    f->held = 0;
}
