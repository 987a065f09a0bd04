#include "app/console_arguments.h"

#include "base/strings.h"
#include "filters/multi_sz.h"
#include "res/resource.h"

#include <algorithm>

namespace {

bool Is(const std::wstring& word, const wchar_t* option)
{
    return MultiSzNamesMatch(word.c_str(), option);
}

} // namespace

std::wstring ParseArguments(const std::vector<std::wstring>& given, std::span<const ConsoleCommand> table,
                            Arguments* arguments)
{
    // The installation comes before the command as readily as after it.
    std::vector<std::wstring> words;
    for (size_t i = 0; i < given.size(); ++i) {
        if (!Is(given[i], L"--offline")) {
            words.push_back(given[i]);
            continue;
        }
        if (!arguments->offline.empty() || i + 1 == given.size() || given[i + 1].empty())
            return FormatProgramString(IDS_CLI_INCOMPLETE, {given[i]});
        arguments->offline = given[++i];
    }
    if (words.empty())
        return LoadProgramString(IDS_CLI_NO_COMMAND);
    auto known = std::find_if(table.begin(), table.end(),
                              [&](const ConsoleCommand& command) { return Is(words[0], command.word); });
    if (known == table.end())
        return FormatProgramString(IDS_CLI_UNKNOWN_ARGUMENT, {words[0]});
    arguments->command = &*known;
    Command command = known->command;
    bool named = command == Command::Park || command == Command::Restore || command == Command::Delete;
    bool incomplete = false;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        if (command == Command::List && Is(word, L"--json") && !arguments->json) {
            arguments->json = true;
            continue;
        }
        if (command != Command::Help && Is(word, L"--class")) {
            incomplete = incomplete || !arguments->className.empty() || arguments->allClasses ||
                         i + 1 == words.size() || words[i + 1].empty();
            if (i + 1 < words.size())
                arguments->className = words[++i];
            continue;
        }
        bool overClasses = command == Command::Check || command == Command::List || command == Command::Fix;
        if (overClasses && Is(word, L"--all-classes") && !arguments->allClasses) {
            incomplete = incomplete || !arguments->className.empty();
            arguments->allClasses = true;
            continue;
        }
        if (named) {
            if (Is(word, L"--upper") || Is(word, L"--lower")) {
                incomplete = incomplete || arguments->level >= 0;
                arguments->level = Is(word, L"--upper") ? 1 : 0;
                continue;
            }
            if (Is(word, L"--drive")) {
                incomplete = incomplete || !arguments->drive.empty() || i + 1 == words.size() || words[i + 1].empty();
                if (i + 1 < words.size())
                    arguments->drive = words[++i];
                continue;
            }
            if (command == Command::Delete && Is(word, L"--yes")) {
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
