// Mouse selection and notifications of the colour text view: the cursor over
// text, press, drag and release with capture and auto-scroll, Shift+click,
// and the text at the pointer sent to the parent on a double or right click.
#pragma once

#include "colorview/view_state.h"

// WM_MOUSEMOVE, WM_LBUTTONDOWN and WM_LBUTTONUP.
LRESULT OnMouseSelect(HWND hwnd, UINT msg, WPARAM keys, LPARAM point);
// WM_LBUTTONDBLCLK (CVN_DBLCLKTEXT) and WM_RBUTTONDOWN (CVN_RCLICKTEXT).
LRESULT OnMouseNotify(HWND hwnd, UINT msg, WPARAM keys, LPARAM point);
LRESULT OnSetHotCursor(HWND hwnd, HCURSOR cursor);
// WM_CONTEXTMENU: passed on to the parent unless the left button is still
// held from a press in the view (that press already sent CVN_RCLICKTEXT).
LRESULT OnContextMenu(HWND hwnd, WPARAM wParam, LPARAM lParam);
// CVM_POSFROMPOINT: where a click at the client point would put the caret,
// on the picture the user sees (the screen catches up first).
LRESULT OnPosFromPoint(HWND hwnd, const POINT* point);
