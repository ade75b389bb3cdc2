// Finding text in the colour text view (CVM_FIND): the match is selected and
// brought into view as a selection made with the keys would be.
#pragma once

#include "colorview/view_state.h"

LRESULT OnFind(HWND hwnd, WPARAM options, const char* pattern);
