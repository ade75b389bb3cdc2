// Helper of bench/burst and bench/soak: puts the program's main window in its
// normal state at the top of the stack, then checks that the view is really on
// the screen: visible, not minimized, and the window at every point of a grid
// over its client area. Prints "client W H"; exits 0 when all holds, 1 if not.
#include <windows.h>

#include <cstdio>

int main() {
    HWND main = FindWindowA("ORNIVEL", nullptr);
    HWND view = GetDlgItem(main, 2);
    if (!main || !view) return 2;
    ShowWindow(main, SW_RESTORE);
    SetWindowPos(main, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RECT client;
    GetClientRect(view, &client);
    MapWindowPoints(view, nullptr, reinterpret_cast<POINT*>(&client), 2);
    printf("client %ld %ld\n", client.right - client.left, client.bottom - client.top);
    if (!IsWindowVisible(view) || IsIconic(main) || client.right - client.left < 100 ||
        client.bottom - client.top < 100)
        return 1;
    const int kSteps = 8;
    for (int i = 0; i <= kSteps; i++) {
        for (int j = 0; j <= kSteps; j++) {
            POINT pt = {client.left + (client.right - client.left - 1) * i / kSteps,
                        client.top + (client.bottom - client.top - 1) * j / kSteps};
            if (WindowFromPoint(pt) != view) {
                printf("covered at %ld,%ld\n", pt.x, pt.y);
                return 1;
            }
        }
    }
    return 0;
}
