// Alerts: the rule (an expression of the filter language, with the calls it
// makes: a balloon, the warning sound, the taskbar button flashing), its
// dialog (ツール ▸ 通知の条件...), and the calls for attention when an entry
// matches while the window is not in front, kept down by the flood control
// (alert_flood.h). Never a modal box. All on the window thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/settings.h"
#include "syslog/filter.h"

// The owner's timer for the held matches' call.
enum { kAlertTimer = 3 };

struct AlertRule {
    char expression[kSettingTextSize];  // "" for no rule: no alerts
    bool balloon, sound, flash;
};

// The rule from now on; the matches counted so far are forgotten. False,
// with the rule in force kept, for an expression that does not read.
bool SetAlertRule(const AlertRule* rule);
const AlertRule* CurrentAlertRule();
// The dialog, modal to `owner`, showing `rule`; true when OK was chosen,
// with the rule as the user left it in `rule`. An expression that does not
// read keeps the dialog open, with the reason under it.
bool EditAlertRule(HWND owner, HINSTANCE instance, AlertRule* rule);

// Whether there is a rule (an expression of blanks only is none): only then
// need entries be handed to NoteEntryForAlerts.
bool HasAlertRule();
// Every entry that arrives, shown or hidden by the view's filter. One that
// matches the rule is counted, and while `owner` is not in front makes its
// calls, as the flood control allows, titled with its host and severity
// and showing the start of its message as the view shows it.
void NoteEntryForAlerts(HWND owner, const FilterFields* fields, const LeadBytes* leadBytes);
// The owner's kAlertTimer: the call for the matches held meanwhile.
void OnAlertTimer(HWND owner);
// The owner came to the front: the count starts again, the flashing stops
// and held matches need no call.
void OnOwnerActivated(HWND owner);
// Matches since the owner was last activated; -1 while there is no rule
// (an expression of blanks only is none either).
int64_t AlertsSinceActivated();

// For the tests, which cannot hear or see the calls: how many sounds the
// system played and how many flashes it was asked for.
uint64_t AlertSoundsPlayed();
uint64_t AlertFlashesStarted();
