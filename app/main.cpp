// Entry point: the command line's options (a refused one or --help ends the
// run before anything starts), title and class name from the string table,
// the hand-over to an instance that already receives on the port,
// WinSock, the two window classes, the main window (whose creation opens the
// view, the log file and the sockets), then the message loop with the
// accelerator table and the find box's keys.
#include <cstdlib>

#include "app/find_box.h"
#include "app/main_window.h"
#include "app/options.h"
#include "app/resource.h"
#include "app/single_instance.h"
#include "colorview/colorview.h"
#include "net/reception.h"
#include "syslog/texts.h"

namespace {

// The exit code of a command line that was refused: nothing was started.
const int kExitBadCommandLine = 2;

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow) {
    // __argv as the C run-time split the command line, so quoting follows its rules.
    Options options;
    if (!ReadOptions(__argc, __argv, &options)) {
        MessageBoxA(nullptr, options.error, kTextErrorCaption, MB_ICONERROR);
        return kExitBadCommandLine;
    }
    LoadStringA(hInstance, IDS_APP_TITLE, g_title, sizeof g_title);
    LoadStringA(hInstance, IDC_ORNIVEL, g_className, sizeof g_className);
    if (options.help) {
        MessageBoxA(nullptr, OptionsHelpText(), g_title, MB_ICONINFORMATION);
        return 0;
    }
    // A second start for the same port: the first one takes over.
    if (!ClaimPort(options.port) && HandOverToFirst(options.port, g_className, &options)) return 0;
    // A failure has been shown already; opening the socket then fails and
    // says so again, and the program still starts.
    StartWinSock();
    RegisterMainClass(hInstance);
    if (RegisterViewClass(hInstance) == 0) return 0;
    if (!CreateMainWindow(hInstance, nCmdShow, &options)) return 0;

    HACCEL accelerators = LoadAcceleratorsA(hInstance, MAKEINTRESOURCEA(IDC_ORNIVEL));
    MSG msg;
    // Accelerators are translated for the main window whichever window has
    // the focus (normally the view), before the find box's dialog keys, so
    // that F3 works in the box as well.
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        if (TranslateAcceleratorA(MainWindow(), accelerators, &msg)) continue;
        HWND findBox = FindBoxWindow();
        if (findBox && IsDialogMessageA(findBox, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
