// Entry point: no command line; the main dialog's result is the exit code.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/main_window.h"
#include "res/resource.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    CoInitialize(nullptr); // the shell's open needs it; a failure there stays silent
    InitCommonControls();  // version 6 comes from the manifest
    INT_PTR result =
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), GetDesktopWindow(), MainDialogProc, 0);
    ExitProcess(static_cast<UINT>(result));
}
