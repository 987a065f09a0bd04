#include "app/console_commands.h"

#include "base/error_box.h"
#include "base/handles.h"
#include "base/strings.h"
#include "base/system_library.h"
#include "base/text_sizes.h"
#include "devices/cdrom_devices.h"
#include "devices/drive_health.h"
#include "devices/filter_entries.h"
#include "filters/filter_registry.h"
#include "filters/multi_sz.h"
#include "res/resource.h"
#include "services/service_info.h"
#include "ui/message_boxes.h"

#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <cwchar>

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

bool RealRunSibling(const std::wstring& program, const std::vector<std::wstring>& arguments, DWORD* exitCode)
{
    std::wstring line;
    AppendQuoted(&line, program);
    for (const std::wstring& argument : arguments) {
        line += L' ';
        AppendQuoted(&line, argument);
    }
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
        *exitCode = ConsoleFailed;
    return true;
}

// The 64-bit companion in this program's own folder; empty when the folder's path
// does not fit.
std::wstring SiblingPath()
{
    wchar_t path[PathLength] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(PathLength));
    if (length == 0 || length >= PathLength)
        return {};
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + SiblingFileName;
}

std::wstring Join(const std::vector<std::wstring>& parts, const wchar_t* separator)
{
    std::wstring text;
    for (const std::wstring& part : parts) {
        if (part.empty())
            continue;
        if (!text.empty())
            text += separator;
        text += part;
    }
    return text;
}

// Names, descriptions and the system's texts may hold line breaks; a management
// console shows only the last line. `tabs` keeps the tabs that separate a list's columns.
std::wstring OneLine(std::wstring text, bool tabs = false)
{
    for (wchar_t& c : text)
        if ((c < L' ' && !(tabs && c == L'\t')) || c == 0x7F)
            c = L' ';
    return text;
}

std::wstring CutSummary(std::wstring text)
{
    if (text.size() <= SummaryLength)
        return text;
    size_t keep = SummaryLength - 1;
    if (IS_HIGH_SURROGATE(text[keep - 1]))
        --keep;
    text.resize(keep);
    return text + L"\x2026";
}

// A JSON string. A surrogate without its partner cannot be written as UTF-8, so it
// goes escaped, as control characters do.
std::wstring JsonString(const std::wstring& text)
{
    std::wstring out = L"\"";
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (IS_HIGH_SURROGATE(c) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])) {
            out += c;
            out += text[++i];
        } else if (c == L'"' || c == L'\\') {
            out += L'\\';
            out += c;
        } else if (c < L' ' || IS_HIGH_SURROGATE(c) || IS_LOW_SURROGATE(c)) {
            wchar_t escape[8];
            std::swprintf(escape, 8, L"\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + L'"';
}

enum class Command { Help, Check, List, Fix, Park, Restore, Delete };

struct Arguments {
    Command command = Command::Help;
    std::wstring name;
    int level = -1; // --lower 0, --upper 1
    std::wstring drive;
    bool json = false;
    bool yes = false;
};

// Empty when the arguments fit their command; else the summary that says why not.
std::wstring ParseArguments(const std::vector<std::wstring>& words, Arguments* arguments)
{
    if (words.empty())
        return LoadProgramString(IDS_CLI_NO_COMMAND);
    const struct {
        const wchar_t* word;
        Command command;
    } commands[] = {{L"--help", Command::Help}, {L"-h", Command::Help},       {L"/?", Command::Help},
                    {L"check", Command::Check}, {L"list", Command::List},     {L"fix", Command::Fix},
                    {L"park", Command::Park},   {L"restore", Command::Restore}, {L"delete", Command::Delete}};
    auto known = std::find_if(std::begin(commands), std::end(commands),
                              [&](const auto& command) { return MultiSzNamesMatch(words[0].c_str(), command.word); });
    if (known == std::end(commands))
        return FormatProgramString(IDS_CLI_UNKNOWN_ARGUMENT, {words[0]});
    Command command = known->command;
    arguments->command = command;
    bool named = command == Command::Park || command == Command::Restore || command == Command::Delete;
    bool incomplete = false;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        if (command == Command::List && MultiSzNamesMatch(word.c_str(), L"--json") && !arguments->json) {
            arguments->json = true;
            continue;
        }
        if (named) {
            if (MultiSzNamesMatch(word.c_str(), L"--upper") || MultiSzNamesMatch(word.c_str(), L"--lower")) {
                incomplete = incomplete || arguments->level >= 0;
                arguments->level = MultiSzNamesMatch(word.c_str(), L"--upper") ? 1 : 0;
                continue;
            }
            if (MultiSzNamesMatch(word.c_str(), L"--drive")) {
                incomplete = incomplete || !arguments->drive.empty() || i + 1 == words.size() || words[i + 1].empty();
                if (i + 1 < words.size())
                    arguments->drive = words[++i];
                continue;
            }
            if (command == Command::Delete && MultiSzNamesMatch(word.c_str(), L"--yes")) {
                arguments->yes = true;
                continue;
            }
            if (arguments->name.empty() && !word.empty() && word[0] != L'-') {
                arguments->name = word;
                continue;
            }
        }
        return FormatProgramString(IDS_CLI_UNKNOWN_ARGUMENT, {word});
    }
    if (incomplete || (named && arguments->name.empty()))
        return FormatProgramString(IDS_CLI_INCOMPLETE, {words[0]});
    return {};
}

// What a command prints: its lines, then the summary.
struct Outcome {
    int code = ConsoleClean;
    std::vector<std::wstring> lines;
    std::wstring summary;
    bool json = false; // the summary is JSON, kept whole
};

Outcome Usage(int code, const std::wstring& problem)
{
    Outcome outcome;
    outcome.code = code;
    for (UINT id = IDS_CLI_USAGE_FIRST; id < IDS_CLI_USAGE_LAST; ++id)
        outcome.lines.push_back(LoadProgramString(id));
    outcome.summary = problem.empty() ? LoadProgramString(IDS_CLI_USAGE_LAST) : problem;
    if (!problem.empty())
        outcome.lines.push_back(LoadProgramString(IDS_CLI_USAGE_LAST));
    return outcome;
}

Outcome Failed(const std::wstring& summary)
{
    return {ConsoleFailed, {}, summary};
}

// "UpperFilters", or "UpperFilters of <drive>" for a drive's own or declarative entry.
std::wstring GroupText(const FilterEntry& entry, bool withInstanceId = false)
{
    if (entry.place == FilterPlace::Class)
        return entry.level ? UpperFiltersValue : LowerFiltersValue;
    std::wstring drive = withInstanceId ? entry.driveName + L" (" + entry.drive + L")" : entry.driveName;
    return FormatProgramString(entry.level ? IDS_GROUP_DRIVE_UPPER : IDS_GROUP_DRIVE_LOWER, {drive});
}

std::wstring StateText(DWORD state)
{
    wchar_t text[DisplayTextLength];
    LoadServiceStateText(state, text);
    return text;
}

std::wstring KeptText(const std::wstring& name, const std::vector<ServiceUser>& users)
{
    std::vector<std::wstring> names;
    for (const ServiceUser& user : users)
        names.push_back(ServiceUserText(user));
    return FormatProgramString(IDS_CLI_KEPT, {name, Join(names, L", ")});
}

// The state of a filter's service; a drive that loads it was asked already when
// its health was read.
DWORD FilterServiceState(const std::vector<DriveHealth>& drives, const std::wstring& name)
{
    for (const DriveHealth& drive : drives)
        for (const LoadedDriver& driver : drive.loaded)
            if (MultiSzNamesMatch(driver.name.c_str(), name.c_str()))
                return driver.condition.currentState;
    return ReadDriverCondition(name.c_str()).currentState;
}

// Each active filter that Fix problems may park, once per name and place, with its
// service's state (0 when it could not be asked).
template <typename Visit>
void ForEachActiveFilter(const std::vector<DriveHealth>& drives, const std::vector<FilterEntry>& entries, Visit visit)
{
    std::vector<const FilterEntry*> seen;
    for (const FilterEntry& entry : entries) {
        if (!entry.active || entry.place == FilterPlace::Declarative)
            continue;
        if (std::any_of(seen.begin(), seen.end(), [&entry](const FilterEntry* known) {
                return known->place == entry.place && MultiSzNamesMatch(known->drive.c_str(), entry.drive.c_str()) &&
                       MultiSzNamesMatch(known->name.c_str(), entry.name.c_str());
            }))
            continue;
        seen.push_back(&entry);
        visit(entry, FilterServiceState(drives, entry.name));
    }
}

bool Unreadable(LSTATUS status)
{
    // A class key that is not there holds no filters.
    return status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND;
}

// What `check` reports. `restartAsked`: the drives were just told to restart and
// asked for Windows to be restarted, so what they show now is not yet the repair's
// result.
Outcome Examine(bool restartAsked)
{
    enum Weight { Repairable, Unexplained, Unknown };
    std::vector<std::pair<Weight, std::wstring>> items;
    std::vector<DriveHealth> drives;
    bool drivesKnown = ReadDriveHealth(&drives);
    if (!drivesKnown)
        items.push_back({Unknown, LoadProgramString(IDS_DRIVES_UNKNOWN)});
    std::vector<FilterEntry> entries;
    LSTATUS status = ReadFilterEntries(drives, &entries);
    if (Unreadable(status))
        items.push_back({Unknown, FormatProgramString(IDS_CLI_VALUES_UNREADABLE, {ReasonText(status)})});

    bool noDrive = drivesKnown && drives.empty();
    ForEachActiveFilter(drives, entries, [&](const FilterEntry& entry, DWORD state) {
        std::wstring where = entry.name + L" (" + GroupText(entry) + L"): ";
        if (state == 0)
            items.push_back({Unknown, where + LoadProgramString(IDS_CLI_SERVICE_UNKNOWN)});
        else if (FixParks(entry.place, state, noDrive))
            items.push_back({Repairable, where + (state == ServiceStateNotFound
                                                      ? LoadProgramString(IDS_CLI_SERVICE_MISSING)
                                                      : FormatProgramString(IDS_CLI_SERVICE_NOT_RUNNING,
                                                                            {StateText(state)}))});
    });

    bool restartWaiting = restartAsked;
    for (const DriveHealth& drive : drives) {
        if (!drive.filters.known)
            items.push_back({Unknown, FormatProgramString(IDS_CLI_DRIVE_FILTERS_UNREADABLE, {drive.name})});
        if (DriveWorks(drive))
            continue;
        // A drive waiting for Windows to restart shows the state from before the repair.
        bool waiting = restartAsked || drive.problem == CM_PROB_NEED_RESTART;
        restartWaiting = restartWaiting || waiting;
        // Only a filter `fix` parks can mend it: a missing or broken own driver, or a
        // filter a driver package added, would have a remediation loop for ever.
        bool mendable = drive.culprit >= 0 && drive.loaded[static_cast<size_t>(drive.culprit)].level !=
                                                  LoadedDriver::Function &&
                        drive.loaded[static_cast<size_t>(drive.culprit)].place != FilterPlace::Declarative;
        items.push_back({!waiting && mendable ? Repairable : Unexplained, drive.name + L": " + DriveStateText(drive)});
    }

    std::vector<std::wstring> texts;
    bool repairable = false;
    bool unknown = false;
    for (const auto& [weight, text] : items) {
        texts.push_back(text);
        repairable = repairable || weight == Repairable;
        unknown = unknown || weight == Unknown;
    }
    std::wstring restart = restartWaiting ? LoadProgramString(IDS_RESTART_WINDOWS) : std::wstring();
    Outcome outcome;
    if (repairable) {
        outcome.code = ConsoleRepairable;
        outcome.summary = Join({Join(texts, L"; "), restart}, L"; ");
    } else if (unknown) {
        outcome.code = ConsoleFailed;
        outcome.summary = FormatProgramString(IDS_CLI_CANNOT_TELL, {Join({Join(texts, L"; "), restart}, L"; ")});
    } else {
        outcome.summary = texts.empty() ? LoadProgramString(IDS_CLI_NOTHING_TO_REPAIR)
                                        : FormatProgramString(IDS_CLI_NOTHING_FILTERS_REPAIR, {Join(texts, L"; ")});
        outcome.summary = Join({outcome.summary, restart}, L"; ");
    }
    return outcome;
}

Outcome List(bool json)
{
    std::vector<DriveHealth> drives;
    std::vector<std::wstring> problems;
    if (!ReadDrives(&drives))
        problems.push_back(LoadProgramString(IDS_DRIVES_UNKNOWN));
    for (const DriveHealth& drive : drives)
        if (!drive.filters.known)
            problems.push_back(FormatProgramString(IDS_CLI_DRIVE_FILTERS_UNREADABLE, {drive.name}));
    std::vector<FilterEntry> entries;
    LSTATUS status = ReadFilterEntries(drives, &entries);
    if (Unreadable(status))
        problems.push_back(FormatProgramString(IDS_CLI_VALUES_UNREADABLE, {ReasonText(status)}));

    Outcome outcome;
    std::wstring array;
    int counts[2] = {0, 0}; // parked, active
    for (const FilterEntry& entry : entries) {
        ServiceInfo info{};
        QueryServiceInfo(entry.name.c_str(), &info);
        ++counts[entry.active];
        bool declarative = entry.place == FilterPlace::Declarative;
        if (json) {
            array += array.empty() ? L"[" : L",";
            array += L"{\"group\":" + JsonString(entry.level ? UpperFiltersValue : LowerFiltersValue) +
                     L",\"name\":" + JsonString(entry.name) + L",\"state\":" +
                     JsonString(declarative ? L"declarative" : entry.active ? L"active" : L"parked") +
                     L",\"description\":" + JsonString(info.description);
            if (entry.place != FilterPlace::Class)
                array += L",\"drive\":" + JsonString(entry.drive);
            array += L"}";
            continue;
        }
        std::wstring state = LoadProgramString(declarative     ? IDS_FROM_DRIVER_PACKAGE
                                               : entry.active ? IDS_CLI_STATE_ACTIVE
                                                              : IDS_CLI_STATE_PARKED);
        outcome.lines.push_back(OneLine(GroupText(entry, true)) + L"\t" + OneLine(entry.name) + L"\t" + state +
                                L", " + StateText(info.currentState) + L"\t" + OneLine(info.description));
    }
    if (!problems.empty()) {
        outcome.code = ConsoleFailed;
        outcome.summary = Join(problems, L"; ");
    } else if (json) {
        outcome.json = true;
        outcome.summary = array.empty() ? L"[]" : array + L"]";
    } else {
        outcome.summary =
            FormatProgramString(IDS_CLI_LIST_SUMMARY, {std::to_wstring(counts[1]), std::to_wstring(counts[0])});
    }
    return outcome;
}

Outcome NeedsAdministrator()
{
    return Failed(LoadProgramString(IDS_CLI_NEEDS_ADMIN));
}

// Fix problems automatically, as the window does it, then the check again.
Outcome Fix()
{
    if (!consoleCalls.runningAsAdministrator())
        return NeedsAdministrator();
    std::vector<DriveHealth> drives;
    bool noDrive = ReadDrives(&drives) && drives.empty();
    std::vector<FilterEntry> entries;
    ReadFilterEntries(drives, &entries);
    std::vector<std::wstring> parked;
    std::vector<std::wstring> notes;
    bool failed = false;
    ForEachActiveFilter(drives, entries, [&](const FilterEntry& entry, DWORD state) {
        if (!FixParks(entry.place, state, noDrive))
            return;
        std::vector<ServiceUser> users;
        if (!ParkEntry(entry, &users)) {
            DWORD error = GetLastError();
            failed = true;
            notes.push_back(FormatProgramString(IDS_CLI_CHANGE_FAILED, {entry.name, GroupText(entry), ReasonText(error)}));
            return;
        }
        parked.push_back(entry.name + L" (" + GroupText(entry) + L")");
        if (!users.empty())
            notes.push_back(KeptText(entry.name, users));
    });

    DeviceChangeOutcome change;
    ChangeCdromDeviceState(DICS_PROPCHANGE, &change);
    DeviceChangeNotice notice = PlanDeviceChangeNotice(change);
    if (notice == DeviceChangeNotice::NotChanged) {
        failed = true;
        notes.push_back(FormatProgramString(IDS_CLI_DRIVES_NOT_RESTARTED, {ReasonText(change.error)}));
    }
    Outcome after = Examine(notice == DeviceChangeNotice::RestartNeeded);
    std::wstring done = parked.empty() ? std::wstring() : FormatProgramString(IDS_CLI_FIX_PARKED, {Join(parked, L", ")});
    after.summary = Join({done, Join(notes, L"; "), after.summary}, L"; ");
    if (failed)
        after.code = ConsoleFailed;
    return after;
}

// park, restore or delete of one entry, picked as the list's row would be.
Outcome ChangeOne(const Arguments& arguments)
{
    const std::wstring& name = arguments.name;
    if (arguments.command == Command::Delete && !arguments.yes)
        return Failed(FormatProgramString(IDS_CLI_DELETE_NEEDS_YES, {name}));
    if (!consoleCalls.runningAsAdministrator())
        return NeedsAdministrator();
    std::vector<DriveHealth> drives;
    if (!arguments.drive.empty())
        ReadDrives(&drives);
    std::vector<FilterEntry> entries;
    LSTATUS status = ReadFilterEntries(drives, &entries);

    std::vector<const FilterEntry*> candidates;
    for (const FilterEntry& entry : entries) {
        bool placeFits = arguments.drive.empty()
                             ? entry.place == FilterPlace::Class
                             : entry.place != FilterPlace::Class &&
                                   MultiSzNamesMatch(entry.drive.c_str(), arguments.drive.c_str());
        if (placeFits && MultiSzNamesMatch(entry.name.c_str(), name.c_str()) &&
            (arguments.level < 0 || entry.level == arguments.level))
            candidates.push_back(&entry);
    }
    if (candidates.empty()) {
        if (arguments.drive.empty() && Unreadable(status))
            return Failed(FormatProgramString(IDS_CLI_VALUES_UNREADABLE, {ReasonText(status)}));
        return Failed(arguments.drive.empty() ? FormatProgramString(IDS_CLI_NO_SUCH_FILTER, {name})
                                              : FormatProgramString(IDS_CLI_NO_SUCH_DRIVE_FILTER, {name, arguments.drive}));
    }
    auto inLevel = [&](int level) {
        return std::any_of(candidates.begin(), candidates.end(),
                           [level](const FilterEntry* entry) { return entry->level == level; });
    };
    if (arguments.level < 0 && inLevel(0) && inLevel(1))
        return Failed(FormatProgramString(IDS_CLI_IN_BOTH, {candidates[0]->name}));

    // The entry in the state the operation works on, where there is one.
    bool park = arguments.command == Command::Park;
    bool restore = arguments.command == Command::Restore;
    const FilterEntry* target = nullptr;
    for (const FilterEntry* entry : candidates) {
        if (entry->place == FilterPlace::Declarative)
            continue;
        bool fits = (park && entry->active) || (restore && !entry->active);
        if (!target || fits)
            target = entry;
        if (fits)
            break;
    }
    if (!target)
        return Failed(FormatProgramString(IDS_CLI_FROM_PACKAGE, {candidates[0]->name, arguments.drive}));
    std::wstring where = GroupText(*target);
    if (park && !target->active)
        return {ConsoleClean, {}, FormatProgramString(IDS_CLI_ALREADY_PARKED, {target->name, where})};
    if (restore && target->active)
        return {ConsoleClean, {}, FormatProgramString(IDS_CLI_ALREADY_ACTIVE, {target->name, where})};

    std::vector<ServiceUser> users;
    bool done = park ? ParkEntry(*target, &users) : restore ? RestoreEntry(*target) : DeleteEntry(*target, &users);
    if (!done) {
        DWORD error = GetLastError();
        return Failed(FormatProgramString(IDS_CLI_CHANGE_FAILED, {target->name, where, ReasonText(error)}));
    }
    UINT told = park ? IDS_CLI_PARKED : restore ? IDS_CLI_RESTORED : IDS_CLI_DELETED;
    std::wstring summary = FormatProgramString(told, {target->name, where});
    if (!users.empty())
        summary += L"; " + KeptText(target->name, users);
    return {ConsoleClean, {}, summary};
}

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
    std::wstring problem = ParseArguments(arguments, &parsed);
    Outcome outcome;
    if (!problem.empty()) {
        outcome = Usage(ConsoleFailed, problem);
    } else {
        switch (parsed.command) {
        case Command::Help:
            outcome = Usage(ConsoleClean, L"");
            break;
        case Command::Check:
            outcome = Examine(false);
            break;
        case Command::List:
            outcome = List(parsed.json);
            break;
        case Command::Fix:
            outcome = Fix();
            break;
        case Command::Park:
        case Command::Restore:
        case Command::Delete:
            outcome = ChangeOne(parsed);
            break;
        }
    }
    if (!boxedError.empty()) {
        outcome.code = ConsoleFailed;
        outcome.json = false;
        outcome.summary = FormatProgramString(IDS_CLI_CANNOT_TELL, {boxedError});
    }
    errorBoxCalls = saved;
    return outcome;
}

void Print(const Outcome& outcome, std::wstring* output)
{
    for (const std::wstring& line : outcome.lines)
        *output += OneLine(line, true) + L"\n";
    *output += (outcome.json ? outcome.summary : CutSummary(OneLine(outcome.summary))) + L"\n";
}

} // namespace

ConsoleCalls consoleCalls = {RealRunningAsAdministrator, RealRunSibling};

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

void WriteConsoleText(HANDLE handle, const std::wstring& text)
{
    if (text.empty() || handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        // In pieces: older consoles refuse a single large write.
        for (size_t done = 0; done < text.size();) {
            DWORD piece = static_cast<DWORD>(std::min<size_t>(text.size() - done, 8192));
            DWORD written = 0;
            if (!WriteConsoleW(handle, text.c_str() + done, piece, &written, nullptr) || written == 0)
                return;
            done += written;
        }
        return;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
    if (bytes <= 0)
        return;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr,
                        nullptr);
    // A pipe may take less than all of it at once.
    for (size_t done = 0; done < utf8.size();) {
        DWORD written = 0;
        if (!WriteFile(handle, utf8.data() + done, static_cast<DWORD>(utf8.size() - done), &written, nullptr) ||
            written == 0)
            return;
        done += written;
    }
}
