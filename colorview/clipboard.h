// Copying the view's selection to the clipboard as CF_TEXT: the real text,
// never the masked picture, and the clipboard always closed again.
#pragma once

#include "colorview/view_state.h"

// Puts the bytes of `text` from offset `start` up to `end` on the clipboard,
// owned by `owner`; true on success. Every failure is silent.
bool CopyRangeToClipboard(HWND owner, const char* text, int start, int end);

LRESULT OnCopy(HWND hwnd);
