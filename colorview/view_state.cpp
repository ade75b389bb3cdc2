// The colour text view's window class, its record's creation and release,
// the whole-text queries and the window procedure, which hands every message
// to the unit that owns its concern.
#include "colorview/view_state.h"

#include <cstring>

#include "colorview/append_layout.h"
#include "colorview/color_codes.h"
#include "colorview/fonts.h"
#include "colorview/paint.h"
#include "colorview/scroll.h"

unsigned char g_maskMode = 0;
int g_viewAllocFailCountdown = 0;

// Counts down the injected failure; true when this allocation must fail.
static bool InjectedFailure() {
    if (g_viewAllocFailCountdown <= 0) return false;
    return --g_viewAllocFailCountdown == 0;
}

void* ViewAlloc(size_t bytes) {
    if (InjectedFailure()) return nullptr;
    return LocalAlloc(LPTR, bytes);
}

void* ViewReAlloc(void* block, size_t oldBytes, size_t newBytes) {
    if (InjectedFailure()) return nullptr;
    void* grown = LocalReAlloc(block, newBytes, LMEM_MOVEABLE);
    if (grown && newBytes > oldBytes) memset(static_cast<char*>(grown) + oldBytes, 0, newBytes - oldBytes);
    return grown;
}

void ViewFree(void* block) {
    if (block) LocalFree(block);
}

int FirstLineOfLogicalLine(const ViewState* vs, int line) {
    while (line > 0 && vs->text[vs->lineStart[line] - 1] != '\n') line--;
    return line;
}

int BoldAt(const ViewState* vs, int pos) {
    int start = pos;
    while (start > 0 && vs->text[start - 1] != '\n') start--;
    int bold = 0;
    for (int i = start; i < pos; i += CharBytes(vs->text, i)) bold ^= (vs->attrFlags[i] & kAttrBold) != 0;
    return bold;
}

int LineFromOffset(const ViewState* vs, int pos) {
    // lineStart is non-decreasing and lineStart[0] is 0: find the last start <= pos.
    int lo = 0, hi = vs->lineCount - 1;
    while (lo < hi) {
        int mid = lo + (hi - lo + 1) / 2;
        if (vs->lineStart[mid] <= pos)
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

int VisibleRows(HWND hwnd, const ViewState* vs) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    return rc.bottom / vs->lineHeight;
}

// Frees whatever part of a record exists; GDI objects are released by the caller.
static void FreeViewState(ViewState* vs) {
    ViewFree(vs->text);
    ViewFree(vs->attrFlags);
    ViewFree(vs->attrColors);
    ViewFree(vs->lineStart);
    ViewFree(vs->lineLength);
    ViewFree(vs);
}

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
    vs->caret = vs->anchor = vs->text;

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

static LRESULT OnGetText(HWND hwnd, WPARAM size, char* buffer) {
    ViewState* vs = GetViewState(hwnd);
    // A size of 0 leaves no room even for the terminator: copy nothing.
    if (!vs || !buffer || size == 0) return 0;
    size_t n = static_cast<size_t>(vs->length);
    if (n > size - 1) n = size - 1;
    memcpy(buffer, vs->text, n);
    buffer[n] = 0;
    return static_cast<LRESULT>(n);
}

static LRESULT OnGetTextLength(HWND hwnd) {
    ViewState* vs = GetViewState(hwnd);
    return vs ? vs->length : 0;
}

static LRESULT OnGetState(HWND hwnd, ViewState** out) {
    if (out) *out = GetViewState(hwnd);
    return 0;
}

LRESULT CALLBACK ViewWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
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
    case WM_VSCROLL:
        return OnVScroll(hwnd, LOWORD(wParam));
    case WM_MOUSEWHEEL:
        return OnMouseWheel(hwnd, wParam);
    case EM_SCROLL:
        return OnEmScroll(hwnd, wParam);
    case WM_SETFONT:
            return OnSetFont(hwnd, reinterpret_cast<HFONT>(wParam));
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
