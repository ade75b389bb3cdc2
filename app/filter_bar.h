// The filter field above the view, one line, always shown, like a browser's
// address bar: Enter applies its text as the filter (empty: none), Esc puts
// back the text of the filter in force and returns the focus to the view.
// A filter that cannot be read changes nothing; the field keeps why, for
// the status bar, until a filter is applied or the field is restored.
#pragma once

#include <windows.h>

#include "app/view_feed.h"

// Makes the field as child `id` of `parent`, whose views `feed` (which
// outlives it) feeds; null on failure.
HWND CreateFilterBar(HWND parent, int id, HINSTANCE instance, ViewFeed* feed);
// Lays the field along the top of a client area `clientWidth` wide and
// returns its height, which the view leaves free.
int PlaceFilterBar(HWND bar, int clientWidth);
// Ctrl+L and 表示 ▸ フィルター: the focus into the field, its text selected.
void FocusFilterBar(HWND bar);

// Applies `text` as the filter and shows it in the field; false when it
// cannot be read (the reason is kept, see FilterBarError).
bool ApplyFilterText(HWND bar, const char* text);
// Adds the term `key`:`value` (with "=" when `exact`, "-" before it when
// `negated`, quoted as need be) to the field's filter and applies it; false
// when the filter has no room for it or cannot be read.
bool AddFilterTerm(HWND bar, const char* key, bool exact, bool negated, const char* value);
// Why the last filter tried was refused (Shift-JIS), or "".
const char* FilterBarError(HWND bar);
