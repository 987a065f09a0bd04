// Libraries outside the loader's known system set are loaded at run time, and
// only from the system folder, so that a file of the same name in the folder the
// program was started from (a Downloads folder, say) is never loaded in their place.
#pragma once

#include <windows.h>

// Looks `name` up in `module`; null when the module or the call is missing.
template <typename Function>
Function LookUpProcedure(HMODULE module, const char* name)
{
    // Through void* so the conversion from FARPROC is not a function-type cast.
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// Takes the program's folder and the current folder out of the search for
// libraries loaded by name, this process's own loads and those that system
// libraries make on its behalf. Called first thing at start.
void NarrowLibrarySearchPath();

// Whether this is a 32-bit process on 64-bit Windows, where the system redirects
// some of its file reads and refuses it device changes. False where the call to
// ask is missing: such systems are never 64-bit.
bool RunningUnderWow64();

// The answer above and the switch of the file-system redirection that goes with it.
// Tests replace them, so that what only the 32-bit build does on 64-bit Windows is
// tested by the 64-bit build as well, on machines that run no 32-bit program. The
// switches answer FALSE where the system lacks them.
struct Wow64Calls {
    bool (*runningUnderWow64)();
    BOOL(WINAPI* disableRedirection)(void** previous);
    BOOL(WINAPI* revertRedirection)(void* previous);
};
extern Wow64Calls wow64Calls;

// Loads `fileName` (e.g. L"version.dll") from the system folder and nowhere
// else; null when it is not there. The library stays loaded for the process.
HMODULE LoadSystemLibrary(const wchar_t* fileName);
