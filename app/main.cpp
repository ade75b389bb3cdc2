// Entry point: the command line's view line limit, title and class name from
// the string table, WinSock, the two window classes, the main window (whose
// creation opens the view, the log file and the socket), then the message
// loop with the accelerator table.
#include "app/main_window.h"
#include "app/resource.h"
#include "colorview/colorview.h"
#include "syslog/reception.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR commandLine, int nCmdShow) {
    ReadCommandLine(commandLine);
    LoadStringA(hInstance, IDS_APP_TITLE, g_title, sizeof g_title);
    LoadStringA(hInstance, IDC_ORNIVEL, g_className, sizeof g_className);
    // A failure has been shown already; opening the socket then fails and
    // says so again, and the program still starts.
    StartWinSock();
    RegisterMainClass(hInstance);
    if (RegisterViewClass(hInstance) == 0) return 0;
    if (!CreateMainWindow(hInstance, nCmdShow)) return 0;

    HACCEL accelerators = LoadAcceleratorsA(hInstance, MAKEINTRESOURCEA(IDC_ORNIVEL));
    MSG msg;
    // Accelerators are translated for the main window whichever window has
    // the focus (normally the view).
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        if (!TranslateAcceleratorA(MainWindow(), accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}
