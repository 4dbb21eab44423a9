// Convert.exe: creates the window on the program's own folder and runs it.
#include <objbase.h>

#include "window_win32/main_window_win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    // COM for the taskbar button's progress; the window works without it.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 1;
    {
        convert::MainWindow window(convert::program_folder());
        if (window.create(show)) status = window.run_message_loop();
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return status;
}
