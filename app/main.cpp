// Entry point: no command line; the main dialog's result is the exit code.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/main_window.h"
#include "base/system_library.h"
#include "res/resource.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Before anything can load a library by name: the program may have been started
    // from a folder where anyone could have put one.
    NarrowLibrarySearchPath();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    CoInitialize(nullptr); // the shell's open needs it; a failure there stays silent
    InitCommonControls();  // version 6 comes from the manifest
    INT_PTR result =
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), GetDesktopWindow(), MainDialogProc, 0);
    ExitProcess(static_cast<UINT>(result));
}
