#include "app/console_sibling.h"

#include "base/handles.h"
#include "base/text_sizes.h"

namespace {

// The exit code of a sibling whose own code cannot be read: it failed.
constexpr DWORD SiblingFailed = 2;

// One argument as the C runtime's command-line parser reads it back.
void AppendQuoted(std::wstring* line, const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        *line += argument;
        return;
    }
    *line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        line->append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        *line += c;
    }
    line->append(backslashes * 2, L'\\');
    *line += L'"';
}

} // namespace

std::wstring SiblingPath()
{
    wchar_t path[PathLength] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(PathLength));
    if (length == 0 || length >= PathLength)
        return {};
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + SiblingFileName;
}

std::wstring SiblingCommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments)
{
    std::wstring line;
    AppendQuoted(&line, program);
    for (const std::wstring& argument : arguments) {
        line += L' ';
        AppendQuoted(&line, argument);
    }
    return line;
}

bool RunSiblingProgram(const std::wstring& program, const std::vector<std::wstring>& arguments, DWORD* exitCode)
{
    std::wstring line = SiblingCommandLine(program, arguments);
    // The sibling writes to this process's own standard handles, so they must be
    // inheritable (a pipe from a management tool need not be).
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        if (handle && handle != INVALID_HANDLE_VALUE)
            SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    UniqueHandle thread(process.hThread);
    UniqueHandle child(process.hProcess);
    WaitForSingleObject(child.get(), INFINITE);
    if (!GetExitCodeProcess(child.get(), exitCode))
        *exitCode = SiblingFailed;
    return true;
}
