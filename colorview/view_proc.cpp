// The colour text view's window class and procedure, at the top of the view's
// units: creation and destruction of the record, and a switch that hands
// every other message to the unit that owns its concern.
#include "colorview/append_layout.h"
#include "colorview/caret_keyboard.h"
#include "colorview/clipboard.h"
#include "colorview/edit_queries.h"
#include "colorview/find.h"
#include "colorview/fonts.h"
#include "colorview/mouse.h"
#include "colorview/paint.h"
#include "colorview/scroll.h"
#include "colorview/view_state.h"

static LRESULT OnCreate(HWND hwnd) {
    ViewState* vs = static_cast<ViewState*>(ViewAlloc(sizeof(ViewState)));
    if (!vs) return -1;
    vs->textLimit = 0;
    vs->maxLines = 0;
    vs->tabWidth = 8;
    vs->leftMargin = 1;
    vs->rightMargin = 1;
    vs->lineSpacing = 2;
    vs->capacity = kInitialCapacity;
    vs->lineCapacity = kInitialLineCapacity;
    vs->lineCount = 1;
    vs->logicalLineCount = 1;

    // ViewAlloc zero-fills: the text is empty and every attribute byte is 0.
    vs->text = static_cast<char*>(ViewAlloc(vs->capacity));
    if (vs->text) vs->attrColors = static_cast<unsigned char*>(ViewAlloc(vs->capacity));
    if (vs->attrColors) vs->attrFlags = static_cast<unsigned char*>(ViewAlloc(vs->capacity));
    if (vs->attrFlags) vs->lineStart = static_cast<int*>(ViewAlloc(vs->lineCapacity * sizeof(int)));
    if (vs->lineStart) vs->lineLength = static_cast<int*>(ViewAlloc(vs->lineCapacity * sizeof(int)));
    if (!vs->lineLength) {
        FreeViewState(vs);
        return -1;
    }
    vs->length = 0;
    vs->caret = vs->anchor = 0;
    vs->dirtyLine = 0x7FFFFFFF;
    // The code page is the process's: its lead bytes are read once, not per character.
    for (int b = 0; b < 256; b++) vs->leadBytes.lead[b] = IsDBCSLeadByte(static_cast<BYTE>(b)) ? 1 : 0;

    if (!CreateBackBuffer(hwnd, vs)) {
        FreeViewState(vs);
        return -1;
    }
    vs->faceName[0] = 0;
    vs->pointSize = 9;
    vs->charSet = SHIFTJIS_CHARSET;
    vs->textColor = GetSysColor(COLOR_WINDOWTEXT);
    vs->backColor = GetSysColor(COLOR_WINDOW);
    vs->backBrush = CreateSolidBrush(vs->backColor);
    if (!vs->backBrush) {
        ReleaseBackBuffer(vs);
        FreeViewState(vs);
        return -1;
    }

    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(vs));
    SendMessageA(hwnd, CVM_RECALCFONT, 0, 0);
    return 0;
}

static void OnDestroy(HWND hwnd) {
    ViewState* vs = GetViewState(hwnd);
    if (vs) {
        // Detach first: anything sent from here on finds no record.
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        ReleaseBackBuffer(vs);
        DeleteObject(vs->backBrush);
        FreeViewState(vs);
    }
    if (GetFocus() == hwnd) DestroyCaret();
}

static LRESULT CALLBACK ViewWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            return OnCreate(hwnd);
        case WM_DESTROY:
            OnDestroy(hwnd);
            return DefWindowProcA(hwnd, msg, wParam, lParam);
        case WM_SIZE:
            return OnSize(hwnd);
        case WM_SETTEXT:
            return OnSetText(hwnd, reinterpret_cast<const char*>(lParam));
        case WM_GETTEXT:
            return OnGetText(hwnd, wParam, reinterpret_cast<char*>(lParam));
        case WM_GETTEXTLENGTH:
            return OnGetTextLength(hwnd);
        case WM_PAINT:
            return OnPaint(hwnd);
        case WM_ERASEBKGND:
            return OnEraseBkgnd(hwnd);
        case WM_TIMER:
            return OnTimer(hwnd, wParam);
        case WM_VSCROLL:
            return OnVScroll(hwnd, LOWORD(wParam));
        case WM_MOUSEWHEEL:
            return OnMouseWheel(hwnd, wParam);
        case EM_SCROLL:
            return OnEmScroll(hwnd, wParam);
        case WM_SETFONT:
            return OnSetFont(hwnd, reinterpret_cast<HFONT>(wParam));
        case WM_SETFOCUS:
            return OnSetFocus(hwnd);
        case WM_KILLFOCUS:
            return OnKillFocus(hwnd);
        case WM_GETDLGCODE:
            return DLGC_WANTALLKEYS;
        case WM_KEYDOWN:
            return OnKeyDown(hwnd, wParam);
        case EM_GETSEL:
            return OnGetSel(hwnd, reinterpret_cast<DWORD*>(wParam), reinterpret_cast<DWORD*>(lParam));
        case EM_SETSEL:
            return OnSetSel(hwnd, wParam, lParam);
        case EM_SCROLLCARET:
            return OnScrollCaret(hwnd);
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            return OnMouseSelect(hwnd, msg, wParam, lParam);
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
            return OnMouseNotify(hwnd, msg, wParam, lParam);
        case WM_CONTEXTMENU:
            return OnContextMenu(hwnd, wParam, lParam);
        case WM_COPY:
            return OnCopy(hwnd);
        case EM_GETLINECOUNT:
            return OnGetLineCount(hwnd);
        case EM_LINEINDEX:
            return OnLineIndex(hwnd, static_cast<int>(wParam));
        case EM_LINELENGTH:
            return OnLineLength(hwnd, static_cast<int>(wParam));
        case EM_GETLINE:
            return OnGetLine(hwnd, static_cast<int>(wParam), reinterpret_cast<char*>(lParam));
        case EM_LIMITTEXT:
            return OnLimitText(hwnd, static_cast<int>(wParam));
        case EM_LINEFROMCHAR:
            return OnLineFromChar(hwnd, static_cast<int>(wParam));
        case EM_SETTABSTOPS:
            return OnSetTabStops(hwnd, static_cast<int>(wParam), reinterpret_cast<const int*>(lParam));
        case EM_GETFIRSTVISIBLELINE:
            return OnGetFirstVisibleLine(hwnd);
        case CVM_APPENDTEXT:
            return OnAppendText(hwnd, reinterpret_cast<const char*>(lParam));
        case CVM_GETSTATE:
            return OnGetState(hwnd, reinterpret_cast<ViewState**>(lParam));
        case CVM_SETCOLORS:
            return OnSetColors(hwnd, wParam, lParam);
        case CVM_SETFONTFACE:
            return OnSetFontFace(hwnd, static_cast<int>(wParam), reinterpret_cast<const char*>(lParam));
        case CVM_SETLINESPACING:
            return OnSetLineSpacing(hwnd, static_cast<int>(wParam));
        case CVM_SETMAXLINES:
            return OnSetMaxLines(hwnd, static_cast<int>(wParam));
        case CVM_RECALCFONT:
            return OnRecalcFont(hwnd);
        case CVM_SETHOTCURSOR:
            return OnSetHotCursor(hwnd, reinterpret_cast<HCURSOR>(lParam));
        case CVM_SETSCROLLLOCK:
            return OnSetScrollLock(hwnd, wParam);
        case CVM_TRIMLINES:
            return OnTrimLines(hwnd, static_cast<int>(wParam));
        case CVM_FIND:
            return OnFind(hwnd, wParam, reinterpret_cast<const char*>(lParam));
        case CVM_GETTEXTLINES:
            return OnGetTextLines(hwnd);
        case CVM_ISFOLLOWING:
            return OnIsFollowing(hwnd);
        case CVM_CUTFRONT:
            return OnCutFront(hwnd, static_cast<int>(wParam));
        case CVM_POSFROMPOINT:
            return OnPosFromPoint(hwnd, reinterpret_cast<const POINT*>(lParam));
        default:
            return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

ATOM RegisterViewClass(HINSTANCE instance) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ViewWndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = COLORVIEW_CLASS;
    return RegisterClassExA(&wc);
}
