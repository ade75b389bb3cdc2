// Test helper that scrolls the running program's view the way a user does,
// from another process: wheel notches over the view and clicks and drags on
// its scroll bar, all through SendInput, and reports where they are.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int kViewId = 2;

HWND View() {
    return GetDlgItem(FindWindowA("ORNIVEL", nullptr), kViewId);
}

void MouseInput(DWORD flags, DWORD data = 0) {
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    in.mi.mouseData = data;
    SendInput(1, &in, sizeof in);
    Sleep(30);
}

// geometry: where the view's client area and its vertical scroll bar are on
// the screen, as "client LEFT TOP RIGHT BOTTOM bar LEFT TOP RIGHT BOTTOM
// arrow HEIGHT". The bar's own state cannot be read from another process
// (the platform keeps it in the owning one), so only the window geometry
// is reported.
int Geometry(HWND view) {
    RECT client;
    GetClientRect(view, &client);
    MapWindowPoints(view, nullptr, reinterpret_cast<POINT*>(&client), 2);
    // The vertical bar stands right of the client area, as high as it.
    RECT bar = {client.right, client.top, client.right + GetSystemMetrics(SM_CXVSCROLL), client.bottom};
    printf("client %ld %ld %ld %ld bar %ld %ld %ld %ld arrow %d\n", client.left, client.top, client.right,
           client.bottom, bar.left, bar.top, bar.right, bar.bottom, GetSystemMetrics(SM_CYVSCROLL));
    return 0;
}

// wheel DELTA COUNT: COUNT wheel messages of DELTA with the cursor over the view.
int Wheel(HWND view, int delta, int count) {
    RECT rc;
    GetWindowRect(view, &rc);
    SetForegroundWindow(GetAncestor(view, GA_ROOT));
    SetCursorPos((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    for (int i = 0; i < count; i++) MouseInput(MOUSEEVENTF_WHEEL, static_cast<DWORD>(delta));
    return 0;
}

// drag X1 Y1 X2 Y2 STEPS: left button down at (X1, Y1) in screen
// coordinates, moved to (X2, Y2) in STEPS steps, released there. With equal
// points it is a plain click.
int Drag(HWND view, int x1, int y1, int x2, int y2, int steps) {
    SetForegroundWindow(GetAncestor(view, GA_ROOT));
    SetCursorPos(x1, y1);
    Sleep(30);
    MouseInput(MOUSEEVENTF_LEFTDOWN);
    for (int i = 1; i <= steps; i++) {
        SetCursorPos(x1 + (x2 - x1) * i / steps, y1 + (y2 - y1) * i / steps);
        MouseInput(MOUSEEVENTF_MOVE);
    }
    MouseInput(MOUSEEVENTF_LEFTUP);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    HWND view = View();
    if (!view) return 2;
    if (argc == 2 && strcmp(argv[1], "geometry") == 0) return Geometry(view);
    if (argc == 4 && strcmp(argv[1], "wheel") == 0) return Wheel(view, atoi(argv[2]), atoi(argv[3]));
    if (argc == 7 && strcmp(argv[1], "drag") == 0)
        return Drag(view, atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]), atoi(argv[6]));
    fprintf(stderr, "usage: view_probe geometry | wheel DELTA COUNT | drag X1 Y1 X2 Y2 STEPS\n");
    return 64;
}
