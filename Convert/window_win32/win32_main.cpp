// Convert.exe: creates the window on the program's own folder and runs it.
#include "main_window_win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    convert::MainWindow window(convert::program_folder());
    if (!window.create(show)) return 1;
    return window.run_message_loop();
}
