// The find box (検索): a small modeless dialog with the text to find, 大文字と
// 小文字を区別する, and 次を検索 / 前を検索. The search itself is the view's
// (CVM_FIND): the box only sends it and shows the wrap note or
// 見つかりません. F3 and Shift+F3 search again with the box's settings,
// also while it is hidden.
#pragma once

#include <windows.h>

// The box, for the message loop's IsDialogMessage; null until first opened.
HWND FindBoxWindow();
// Shows the box (made on first use, owned by `owner`, searching the view on
// screen, the child of `owner` with the view's id)
// with its text selected and the keyboard focus in it.
void OpenFindBox(HWND owner, HINSTANCE instance);
// F3 (forward) and Shift+F3 (backward): the next match of the box's text.
// With no text to find yet, it opens the box instead.
void FindAgain(HWND owner, HINSTANCE instance, bool backward);
// The fields of the program take Ctrl+A as newer edit fields do, selecting
// all of their text: true when `msg` was that key (or the character it
// types), which the field's subclass then swallows.
bool TakeSelectAllKey(HWND field, UINT msg, WPARAM wParam);
// The box's text and case choice, remembered from run to run: given at
// start (before the box is made), read when the settings are saved. After
// each search the box sends its owner IDM_REMEMBER.
void SetFindSettings(const char* text, bool matchCase);
void GetFindSettings(char* text, size_t size, bool* matchCase);
