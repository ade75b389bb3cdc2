// The find box's dialog procedure and the searches it starts. The box is
// made once and hidden, not destroyed, when closed, so that its text and
// settings stay for F3.
#include "app/find_box.h"

#include <commctrl.h>

#include "app/resource.h"
#include "colorview/colorview.h"
#include "syslog/charset.h"

namespace {

// The message loop needs the box to pass it its keys (IsDialogMessage).
HWND g_findBox;

enum { kFindTextSize = 256 };

// The text and case choice until the box is made.
char g_startText[kFindTextSize];
bool g_startMatchCase;

// The view on screen: the filter's or every entry's (the one with the
// view's id), whichever it is now.
HWND ViewOf(HWND box) {
    return GetDlgItem(GetWindow(box, GW_OWNER), IDC_VIEW);
}

void ShowNote(HWND box, UINT textId) {
    char note[128] = "";
    if (textId != 0)
        LoadStringA(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(box, GWLP_HINSTANCE)), textId, note,
                    sizeof note);
    SetDlgItemTextA(box, IDC_FIND_NOTE, note);
}

// Sends the box's search to the view and shows its outcome. False when
// the box holds no text to find.
bool Search(HWND box, bool backward) {
    // The field's limit counts characters, of up to two bytes each: read all
    // it holds, so that a long Japanese text is searched for whole.
    char text[2 * kFindTextSize];
    if (GetDlgItemTextA(box, IDC_FIND_TEXT, text, sizeof text) == 0) return false;
    WPARAM options = 0;
    if (backward) options |= CVFIND_BACKWARD;
    if (IsDlgButtonChecked(box, IDC_FIND_MATCHCASE) == BST_CHECKED) options |= CVFIND_MATCHCASE;
    LRESULT found = SendMessageA(ViewOf(box), CVM_FIND, options, reinterpret_cast<LPARAM>(text));
    if (!(found & CVFIND_FOUND)) {
        ShowNote(box, IDS_FIND_NOTFOUND);
        if (!IsWindowVisible(box)) MessageBeep(MB_OK);  // the note is out of sight
    } else {
        ShowNote(box, found & CVFIND_WRAPPED ? (backward ? IDS_FIND_WRAPPEDEND : IDS_FIND_WRAPPEDSTART) : 0);
    }
    SendMessageA(GetWindow(box, GW_OWNER), WM_COMMAND, IDM_REMEMBER, 0);
    return true;
}

// The field takes Ctrl+A; everything else is the edit control's own.
LRESULT CALLBACK FieldProc(HWND field, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (TakeSelectAllKey(field, msg, wParam)) return 0;
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(field, FieldProc, 0);
    return DefSubclassProc(field, msg, wParam, lParam);
}

void CloseBox(HWND box) {
    ShowWindow(box, SW_HIDE);
    SetFocus(ViewOf(box));
}

// Places the box at the top right of the owner's client area, where it
// hides the least of the newest lines' beginnings.
void PlaceBox(HWND box, HWND owner) {
    RECT client, rc;
    GetClientRect(owner, &client);
    GetWindowRect(box, &rc);
    POINT at = {client.right - (rc.right - rc.left) - 24, client.top + 8};
    if (at.x < 0) at.x = 0;
    ClientToScreen(owner, &at);
    SetWindowPos(box, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK FindBoxProc(HWND box, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG:
            SendDlgItemMessageA(box, IDC_FIND_TEXT, EM_LIMITTEXT, kFindTextSize - 1, 0);
            SetWindowSubclass(GetDlgItem(box, IDC_FIND_TEXT), FieldProc, 0, 0);
            SetDlgItemTextA(box, IDC_FIND_TEXT, g_startText);
            CheckDlgButton(box, IDC_FIND_MATCHCASE, g_startMatchCase ? BST_CHECKED : BST_UNCHECKED);
            return TRUE;
        case WM_DESTROY:  // with its owner, the main window
            g_findBox = nullptr;
            return FALSE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_FIND_NEXT:
                case IDC_FIND_PREV:
                    Search(box, LOWORD(wParam) == IDC_FIND_PREV);
                    return TRUE;
                case IDCANCEL:  // Esc, 閉じる and the close box
                    CloseBox(box);
                    return TRUE;
                case IDC_FIND_TEXT:
                    if (HIWORD(wParam) == EN_CHANGE) ShowNote(box, 0);  // the note was for the old text
                    return TRUE;
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

// The box, made hidden on first use; false when it cannot be made.
bool MakeBox(HWND owner, HINSTANCE instance) {
    if (g_findBox) return true;
    g_findBox = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_FIND), owner, FindBoxProc, 0);
    if (!g_findBox) return false;
    PlaceBox(g_findBox, owner);
    return true;
}

}  // namespace

bool TakeSelectAllKey(HWND field, UINT msg, WPARAM wParam) {
    bool ctrlOnly = GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) >= 0;
    if (msg == WM_KEYDOWN && wParam == 'A' && ctrlOnly) {
        SendMessageA(field, EM_SETSEL, 0, -1);
        return true;
    }
    return msg == WM_CHAR && wParam == 1;  // the character Ctrl+A types
}

HWND FindBoxWindow() {
    return g_findBox;
}

void OpenFindBox(HWND owner, HINSTANCE instance) {
    if (!MakeBox(owner, instance)) return;
    ShowWindow(g_findBox, SW_SHOW);
    SetActiveWindow(g_findBox);
    HWND field = GetDlgItem(g_findBox, IDC_FIND_TEXT);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
}

void FindAgain(HWND owner, HINSTANCE instance, bool backward) {
    // F3 with a remembered text searches for it at once, making the box hidden.
    if (g_startText[0] != '\0') MakeBox(owner, instance);
    if (!g_findBox || !Search(g_findBox, backward)) OpenFindBox(owner, instance);
}

void SetFindSettings(const char* text, bool matchCase) {
    CopyWholeCharacters(g_startText, sizeof g_startText, text);
    g_startMatchCase = matchCase;
    if (!g_findBox) return;
    SetDlgItemTextA(g_findBox, IDC_FIND_TEXT, g_startText);
    CheckDlgButton(g_findBox, IDC_FIND_MATCHCASE, matchCase ? BST_CHECKED : BST_UNCHECKED);
}

void GetFindSettings(char* text, size_t size, bool* matchCase) {
    if (!g_findBox) {
        CopyWholeCharacters(text, size, g_startText);
        *matchCase = g_startMatchCase;
        return;
    }
    if (size > 0 && GetDlgItemTextA(g_findBox, IDC_FIND_TEXT, text, static_cast<int>(size)) == 0) text[0] = '\0';
    *matchCase = IsDlgButtonChecked(g_findBox, IDC_FIND_MATCHCASE) == BST_CHECKED;
}
