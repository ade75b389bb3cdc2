// Tests of the alerts' flood control: times of matches, of the timer and of
// the user looking, each with the call it gives (the matches it stands for)
// and the wait left for the held ones.
#include "app/alert_flood.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

enum Event { kMatch, kTimer, kLook };

struct Step {
    Event event;
    uint64_t at;       // milliseconds
    uint64_t call;     // matches the call stands for; 0 for none
    uint64_t waitAfter;  // HeldCallWait right after the step
};

struct FloodCase {
    const char* what;
    std::vector<Step> steps;
};

TEST(AlertFlood, MatchesGiveAtMostOneCallEveryTenSeconds) {
    const uint64_t start = 5000000000ull;  // past 32 bits: the clock does not wrap
    std::vector<Step> burst = {{kMatch, start, 1, 0}};
    for (uint64_t i = 1; i <= 500; i++) burst.push_back({kMatch, start + i * 10, 0, 10000 - i * 10});
    burst.push_back({kTimer, start + 9999, 0, 1});
    burst.push_back({kTimer, start + 10000, 500, 0});  // the newest shown, 499 more counted
    burst.push_back({kTimer, start + 30000, 0, 0});    // nothing held: no call
    const FloodCase cases[] = {
        {"one match, then another after the quiet time", {{kMatch, 0, 1, 0}, {kMatch, 10000, 1, 0}}},
        {"the first match calls even at time 0, a second within 10 s is held",
         {{kMatch, 0, 1, 0}, {kMatch, 9999, 0, 1}, {kTimer, 10000, 1, 0}}},
        {"a burst: one call, then one that sums the rest", burst},
        {"a late timer: the next match calls for itself and the held ones",
         {{kMatch, 100, 1, 0}, {kMatch, 200, 0, 9900}, {kMatch, 300, 0, 9800}, {kMatch, 25000, 3, 0},
          {kTimer, 25001, 0, 0}}},
        {"the timer before the quiet time is over calls nothing",
         {{kMatch, 0, 1, 0}, {kMatch, 5000, 0, 5000}, {kTimer, 6000, 0, 4000}, {kTimer, 10000, 1, 0},
          {kMatch, 12000, 0, 8000}, {kTimer, 20000, 1, 0}}},
        {"the user looks: held matches need no call, the quiet time still runs",
         {{kMatch, 0, 1, 0}, {kMatch, 1000, 0, 9000}, {kLook, 2000, 0, 0}, {kMatch, 3000, 0, 7000},
          {kTimer, 10000, 1, 0}}},
    };
    for (const FloodCase& c : cases) {
        AlertFlood flood;
        ResetAlertFlood(&flood);
        for (size_t i = 0; i < c.steps.size(); i++) {
            const Step& s = c.steps[i];
            uint64_t call = 0;
            if (s.event == kMatch) call = NoteAlertMatch(&flood, s.at).matches;
            if (s.event == kTimer) call = TakeHeldCall(&flood, s.at).matches;
            if (s.event == kLook) DropHeldMatches(&flood);
            EXPECT_EQ(s.call, call) << c.what << ", step " << i;
            EXPECT_EQ(s.waitAfter, HeldCallWait(&flood, s.at)) << c.what << ", step " << i;
        }
    }
}

}  // namespace
