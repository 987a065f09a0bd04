// Entry point of the console companion, quillmere-cli: one command from the
// command line, its lines on standard output (a note beside JSON on standard
// error), its result as the exit code.
#include "app/console_commands.h"
#include "base/system_library.h"

#include <windows.h>

#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    // Before anything can load a library by name: management tools run this from
    // folders of their own, as the system account.
    NarrowLibrarySearchPath();
    std::vector<std::wstring> arguments(argv + 1, argv + argc);
    std::wstring output;
    std::wstring errors;
    int code = RunConsoleProgram(arguments, &output, &errors);
    WriteConsoleText(GetStdHandle(STD_ERROR_HANDLE), errors);
    WriteConsoleText(GetStdHandle(STD_OUTPUT_HANDLE), output);
    return code;
}
