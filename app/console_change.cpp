#include "app/console_change.h"

#include "app/console_classes.h"
#include "app/console_entries.h"
#include "base/error_box.h"
#include "base/strings.h"
#include "devices/filter_entries.h"
#include "filters/multi_sz.h"
#include "filters/windows_filters.h"
#include "res/resource.h"

#include <algorithm>

Outcome ChangeCommand(const Arguments& arguments)
{
    const Machine& machine = *arguments.machine;
    const std::wstring& name = arguments.name;
    Command command = arguments.command->command;
    if (command == Command::Delete && !arguments.yes)
        return Failed(FormatProgramString(IDS_CLI_DELETE_NEEDS_YES, {name}));
    std::vector<DeviceClass> classes;
    Outcome refusal;
    if (!PickClasses(machine, arguments, &classes, &refusal))
        return refusal;
    const DeviceClass& deviceClass = classes[0];
    // Its devices need it: a restore is harmless, anything else is refused.
    if (command != Command::Restore && WindowsNeedsFilter(deviceClass, name.c_str()))
        return Failed(FormatProgramString(IDS_CLI_WINDOWS_FILTER, {name, deviceClass.name}));
    std::vector<DriveHealth> drives;
    if (!arguments.drive.empty())
        ReadDrives(deviceClass, &drives);
    std::vector<FilterEntry> entries;
    LSTATUS status = ReadFilterEntries(machine, deviceClass, drives, &entries);

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
            return Failed(FormatProgramString(IDS_CLI_VALUES_UNREADABLE, {ReasonText(static_cast<DWORD>(status))}));
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
    bool park = command == Command::Park;
    bool restore = command == Command::Restore;
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
    bool done = park      ? ParkEntry(machine, deviceClass, *target, &users)
                : restore ? RestoreEntry(machine, deviceClass, *target)
                          : DeleteEntry(machine, deviceClass, *target, &users);
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
