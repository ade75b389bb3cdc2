// Test helper that asks whether the running program's message loop answers:
// sends WM_NULL to its main window and WM_GETTEXTLENGTH to its view, each with
// a timeout, and prints "ms M length L" (round trip, view text length). Unlike
// window queries, which the window server answers alone, these need the loop.
//   responsive [timeout-ms]    exit 0 answered, 1 timed out, 2 no window
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    UINT timeout = argc > 1 ? static_cast<UINT>(atoi(argv[1])) : 5000;
    HWND main = FindWindowA("ORNIVEL", nullptr);
    HWND view = GetDlgItem(main, 2);
    if (!main || !view) return 2;
    DWORD start = GetTickCount();
    DWORD_PTR ignored = 0, length = 0;
    if (!SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, timeout, &ignored) ||
        !SendMessageTimeoutA(view, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, timeout, &length))
        return 1;
    printf("ms %lu length %lu\n", GetTickCount() - start, static_cast<unsigned long>(length));
    return 0;
}
