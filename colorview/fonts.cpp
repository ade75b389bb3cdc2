// Fonts, metrics, colours and the back buffer of the colour text view.
#include "colorview/fonts.h"

HFONT MakeViewFont(HDC dc, const ViewState* vs, int bold, int underline, int italic) {
    LOGFONTA lf = {};
    // Truncating division, then negated: a character height in points.
    lf.lfHeight = -((GetDeviceCaps(dc, LOGPIXELSY) * vs->pointSize) / 72);
    lf.lfWeight = bold ? FW_BOLD : FW_DONTCARE;
    lf.lfItalic = static_cast<BYTE>(italic);
    lf.lfUnderline = static_cast<BYTE>(underline);
    lf.lfCharSet = vs->charSet;
    // An empty face asks for any fixed-pitch face; a named face says nothing about pitch.
    lf.lfPitchAndFamily = vs->faceName[0] ? DEFAULT_PITCH : FIXED_PITCH;
    lstrcpynA(lf.lfFaceName, vs->faceName, LF_FACESIZE);
    return CreateFontIndirectA(&lf);
}

void UseFont(ViewState* vs, int bold, int underline, int italic) {
    int variant = (bold ? 1 : 0) | (underline ? 2 : 0) | (italic ? 4 : 0);
    if (vs->selectedFont == variant) return;
    if (!vs->fonts[variant]) vs->fonts[variant] = MakeViewFont(vs->memDC, vs, bold, underline, italic);
    if (!vs->fonts[variant]) return;  // out of GDI handles: measure with what is selected
    HGDIOBJ displaced = SelectObject(vs->memDC, vs->fonts[variant]);
    if (!displaced) return;
    if (vs->selectedFont < 0) vs->originalFont = displaced;
    vs->selectedFont = variant;
}

void ReleaseFonts(ViewState* vs) {
    if (vs->selectedFont >= 0) SelectObject(vs->memDC, vs->originalFont);
    vs->selectedFont = -1;
    vs->byteWidthsMeasured[0] = vs->byteWidthsMeasured[1] = 0;
    for (HFONT& font : vs->fonts) {
        if (font) DeleteObject(font);
        font = nullptr;
    }
}

int MeasuredWidth(ViewState* vs, int pos, int n, int bold) {
    UseFont(vs, bold, 0, 0);
    SIZE size = {};
    if (n > 1) {
        GetTextExtentPoint32A(vs->memDC, vs->text + pos, n, &size);
        return size.cx;
    }
    const int variant = bold ? 1 : 0;
    if (vs->selectedFont != variant) {
        // Out of handles the variant could not be made: measure with what
        // is selected, and keep no table of the wrong font.
        GetTextExtentPoint32A(vs->memDC, vs->text + pos, 1, &size);
        return size.cx;
    }
    if (!vs->byteWidthsMeasured[variant]) {
        // Each byte exactly as a one-byte extent measures it, lead bytes alone included.
        for (int b = 0; b < 256; b++) {
            char c = static_cast<char>(b);
            size.cx = 0;
            GetTextExtentPoint32A(vs->memDC, &c, 1, &size);
            vs->byteWidths[variant][b] = size.cx;
        }
        vs->byteWidthsMeasured[variant] = 1;
    }
    return vs->byteWidths[variant][static_cast<unsigned char>(vs->text[pos])];
}

// A 32-bit top-down DIB section of at least one pixel: drawing into it never
// leaves the process (a bitmap compatible with the window goes through the
// display driver on every font selection under Wine).
static HBITMAP CreateBackBitmap(HDC windowDC, const RECT& rc) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = rc.right > 0 ? rc.right : 1;
    bi.bmiHeader.biHeight = -(rc.bottom > 0 ? rc.bottom : 1);
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    return CreateDIBSection(windowDC, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
}

bool CreateBackBuffer(HWND hwnd, ViewState* vs) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    HDC windowDC = GetDC(hwnd);
    vs->memDC = CreateCompatibleDC(windowDC);
    vs->backBitmap = vs->memDC ? CreateBackBitmap(windowDC, rc) : nullptr;
    ReleaseDC(hwnd, windowDC);
    if (!vs->backBitmap) {
        if (vs->memDC) DeleteDC(vs->memDC);
        vs->memDC = nullptr;
        return false;
    }
    vs->oldBitmap = static_cast<HBITMAP>(SelectObject(vs->memDC, vs->backBitmap));
    vs->selectedFont = -1;
    SetMapMode(vs->memDC, MM_TEXT);
    SetTextCharacterExtra(vs->memDC, 0);
    SetTextJustification(vs->memDC, 0, 0);
    SetTextAlign(vs->memDC, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    SetBkMode(vs->memDC, TRANSPARENT);
    return true;
}

void RecreateBackBitmap(HWND hwnd, ViewState* vs) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    HDC windowDC = GetDC(hwnd);
    HBITMAP bitmap = CreateBackBitmap(windowDC, rc);
    ReleaseDC(hwnd, windowDC);
    // Without a new bitmap the old one stays: smaller than the client, but valid.
    if (!bitmap) return;
    SelectObject(vs->memDC, vs->oldBitmap);
    DeleteObject(vs->backBitmap);
    vs->backBitmap = bitmap;
    vs->oldBitmap = static_cast<HBITMAP>(SelectObject(vs->memDC, vs->backBitmap));
}

void ReleaseBackBuffer(ViewState* vs) {
    if (!vs->memDC) return;
    ReleaseFonts(vs);
    SelectObject(vs->memDC, vs->oldBitmap);
    DeleteObject(vs->backBitmap);
    DeleteDC(vs->memDC);
    vs->memDC = nullptr;
    vs->backBitmap = nullptr;
}

LRESULT OnRecalcFont(HWND hwnd) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    // A new face, size or spacing: the kept variants are of the old font.
    ReleaseFonts(vs);
    UseFont(vs, 0, 0, 0);
    TEXTMETRICA tm = {};
    GetTextMetricsA(vs->memDC, &tm);

    // Every row and column computation divides by these: never let a font
    // or a negative spacing make them zero or less.
    vs->lineHeight = tm.tmHeight + vs->lineSpacing;
    if (vs->lineHeight < 1) vs->lineHeight = 1;
    vs->avgCharWidth = tm.tmAveCharWidth > 0 ? tm.tmAveCharWidth : 1;
    // The platform sets this bit for variable-pitch fonts.
    vs->fixedPitch = (tm.tmPitchAndFamily & TMPF_FIXED_PITCH) ? 0 : 1;

    if (GetFocus() == hwnd) {
        DestroyCaret();
        CreateCaret(hwnd, nullptr, 0, vs->lineHeight);
        ShowCaret(hwnd);
    }
    vs->layoutWidth = 0;
    SendMessageA(hwnd, WM_SIZE, 0, 0);
    return 0;
}

LRESULT OnSetFont(HWND hwnd, HFONT font) {
    ViewState* vs = GetViewState(hwnd);
    LOGFONTA lf;
    if (!vs || !font || GetObjectA(font, sizeof(lf), &lf) == 0) return 0;
    lstrcpynA(vs->faceName, lf.lfFaceName, sizeof(vs->faceName));
    vs->pointSize = -((lf.lfHeight * 72) / GetDeviceCaps(vs->memDC, LOGPIXELSY));
    return OnRecalcFont(hwnd);
}

LRESULT OnSetFontFace(HWND hwnd, int pointSize, const char* face) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    // lstrcpynA stops at 31 characters and the terminator: a longer name is cut.
    lstrcpynA(vs->faceName, face ? face : "", sizeof(vs->faceName));
    vs->pointSize = pointSize;
    return OnRecalcFont(hwnd);
}

LRESULT OnSetLineSpacing(HWND hwnd, int spacing) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    vs->lineSpacing = spacing;
    return OnRecalcFont(hwnd);
}

// -1 in the low 32 bits stands for the current system colour.
static bool IsSystemColor(ULONG_PTR value) {
    return static_cast<DWORD>(value) == 0xFFFFFFFFu;
}

LRESULT OnSetColors(HWND hwnd, WPARAM text, LPARAM back) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    vs->textColor = IsSystemColor(text) ? GetSysColor(COLOR_WINDOWTEXT) : static_cast<COLORREF>(text);
    vs->backColor = IsSystemColor(back) ? GetSysColor(COLOR_WINDOW) : static_cast<COLORREF>(back);
    HBRUSH brush = CreateSolidBrush(vs->backColor);
    if (brush) {
        DeleteObject(vs->backBrush);
        vs->backBrush = brush;
    }
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
    return 0;
}
