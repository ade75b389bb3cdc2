// The view's context menu (コピー, すべて選択 and the filter's items for the
// entry under the pointer), and the grey Copy it shares with the 編集 menu.
#pragma once

#include <windows.h>

#include "app/view_feed.h"

// Copy is grey while nothing is selected in `view`.
void EnableCopy(HMENU popup, HWND view);
// Opens the menu at `point` (screen coordinates, or -1, -1 from the keyboard:
// then at the caret's entry and the view's top left corner) and carries out
// the item chosen: the 編集 menu's commands go to `owner`, a filter item adds
// its term to `filterBar`'s filter for the entry shown there.
void ShowViewMenu(HWND owner, HWND view, HWND filterBar, ViewFeed* feed, LPARAM point, HINSTANCE instance);
