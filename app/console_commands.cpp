#include "app/console_commands.h"

#include "app/console_arguments.h"
#include "app/console_change.h"
#include "app/console_list.h"
#include "app/console_offline.h"
#include "app/console_repair.h"
#include "base/error_box.h"
#include "base/strings.h"
#include "base/system_library.h"
#include "res/resource.h"

namespace {

bool RealRunningAsAdministrator()
{
    // The token's membership, which counts only an elevated administrator: a
    // filtered token lists the group for deny only.
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators))
        return false;
    BOOL member = FALSE;
    bool known = CheckTokenMembership(nullptr, administrators, &member) != FALSE;
    FreeSid(administrators);
    return known && member;
}

Outcome Usage(int code, const std::wstring& problem)
{
    Outcome outcome;
    outcome.code = code;
    for (UINT id = IDS_CLI_USAGE_FIRST; id < IDS_CLI_USAGE_LAST; ++id)
        outcome.lines.push_back(LoadProgramString(id));
    outcome.lines.push_back(LoadProgramString(IDS_CLI_USAGE_CLASSES));
    outcome.lines.push_back(LoadProgramString(IDS_CLI_USAGE_OFFLINE));
    outcome.summary = problem.empty() ? LoadProgramString(IDS_CLI_USAGE_LAST) : problem;
    if (!problem.empty())
        outcome.lines.push_back(LoadProgramString(IDS_CLI_USAGE_LAST));
    return outcome;
}

Outcome HelpCommand(const Arguments&)
{
    return Usage(ConsoleClean, L"");
}

// The map of the program: every word the companion answers to.
constexpr ConsoleCommand Commands[] = {
    {L"--help", Command::Help, false, HelpCommand},     {L"-h", Command::Help, false, HelpCommand},
    {L"/?", Command::Help, false, HelpCommand},         {L"check", Command::Check, false, CheckCommand},
    {L"list", Command::List, false, ListCommand},       {L"fix", Command::Fix, true, FixCommand},
    {L"park", Command::Park, true, ChangeCommand},      {L"restore", Command::Restore, true, ChangeCommand},
    {L"delete", Command::Delete, true, ChangeCommand},
};

// The first text the system error box was given while a command ran.
std::wstring boxedError;

int WINAPI RecordErrorBox(HWND, const wchar_t* text, const wchar_t*, UINT)
{
    if (boxedError.empty() && text)
        boxedError = *text ? text : L"?";
    return IDOK;
}

// Runs one command; its error boxes are recorded, not shown.
Outcome RunOutcome(const std::vector<std::wstring>& arguments)
{
    // Run as the system account under a management tool, a box would wait for a
    // click that never comes.
    ErrorBoxCalls saved = errorBoxCalls;
    errorBoxCalls.messageBox = RecordErrorBox;
    boxedError.clear();

    Arguments parsed;
    std::wstring problem = ParseArguments(arguments, Commands, &parsed);
    Outcome outcome;
    if (!problem.empty())
        outcome = Usage(ConsoleFailed, problem);
    else if (parsed.command->needsAdministrator && !consoleCalls.runningAsAdministrator())
        outcome = Failed(LoadProgramString(IDS_CLI_NEEDS_ADMIN));
    else if (!parsed.offline.empty() && parsed.command->command != Command::Help)
        outcome = RunOffline(parsed, parsed.command->needsAdministrator, [&](const Machine& machine) {
            Arguments there = parsed;
            there.machine = &machine;
            return parsed.command->run(there);
        });
    else
        outcome = parsed.command->run(parsed);
    if (!boxedError.empty()) {
        outcome.code = ConsoleFailed;
        outcome.json = false;
        outcome.summary = FormatProgramString(IDS_CLI_CANNOT_TELL, {boxedError});
    }
    errorBoxCalls = saved;
    return outcome;
}

} // namespace

ConsoleCalls consoleCalls = {RealRunningAsAdministrator, RunSiblingProgram};

int RunCommand(const std::vector<std::wstring>& arguments, std::wstring* output)
{
    Outcome outcome = RunOutcome(arguments);
    Print(outcome, output);
    return outcome.code;
}

int RunConsoleProgram(const std::vector<std::wstring>& arguments, std::wstring* output, std::wstring* errors)
{
    std::wstring note;
    if (RunningUnderWow64()) {
        // Windows refuses a 32-bit program the drives' restart and shows it some
        // files redirected; the 64-bit sibling sees the machine as it is.
        std::wstring sibling = SiblingPath();
        DWORD code = ConsoleFailed;
        if (!sibling.empty() && consoleCalls.runSibling(sibling, arguments, &code))
            return static_cast<int>(code);
        note = FormatProgramString(IDS_CLI_SIBLING_MISSING, {SiblingFileName});
    }
    Outcome outcome = RunOutcome(arguments);
    if (!note.empty()) {
        // The note goes into the summary, or to standard error beside JSON, which
        // must stand alone on standard output to be parsed.
        if (outcome.json)
            *errors += OneLine(note) + L"\n";
        else
            outcome.summary = note + L"; " + outcome.summary;
    }
    Print(outcome, output);
    return outcome.code;
}
