#include "app/console_list.h"

#include "app/console_classes.h"
#include "app/console_entries.h"
#include "app/console_text.h"
#include "base/error_box.h"
#include "base/strings.h"
#include "devices/filter_entries.h"
#include "filters/filter_lists.h"
#include "res/resource.h"
#include "services/service_info.h"

Outcome ListCommand(const Arguments& arguments)
{
    const Machine& machine = *arguments.machine;
    std::vector<DeviceClass> classes;
    Outcome refusal;
    if (!PickClasses(machine, arguments, &classes, &refusal))
        return refusal;
    Outcome outcome;
    std::wstring array;
    int counts[2] = {0, 0}; // parked, active
    std::vector<std::wstring> problems;
    ServiceConnection connection;
    for (const DeviceClass& deviceClass : classes) {
    std::vector<DriveHealth> drives;
    if (!machine.offline && !ReadDrives(deviceClass, &drives))
        problems.push_back(LoadProgramString(IDS_DRIVES_UNKNOWN));
    for (const DriveHealth& drive : drives)
        if (!drive.filters.known)
            problems.push_back(FormatProgramString(IDS_CLI_DRIVE_FILTERS_UNREADABLE, {drive.name}));
    std::vector<FilterEntry> entries;
    LSTATUS status = ReadFilterEntries(machine, deviceClass, drives, &entries);
    if (Unreadable(status))
        problems.push_back(FormatProgramString(IDS_CLI_VALUES_UNREADABLE, {ReasonText(static_cast<DWORD>(status))}));
    // Over several classes, each line says which class it is of.
    std::wstring ofClass = arguments.allClasses ? deviceClass.className + L" " : std::wstring();
    for (const FilterEntry& entry : entries) {
        ServiceInfo info{};
        // Offline, nothing runs: what is told is whether its service is there.
        if (machine.offline)
            info.currentState = ReadDriverCondition(machine, &connection, entry.name.c_str()).currentState;
        else
            QueryServiceInfo(entry.name.c_str(), &info);
        ++counts[entry.active];
        bool declarative = entry.place == FilterPlace::Declarative;
        if (arguments.json) {
            array += array.empty() ? L"[" : L",";
            array += L"{\"group\":" + JsonString(FilterValueNames[entry.level][1]) + L",\"name\":" +
                     JsonString(entry.name) + L",\"state\":" +
                     JsonString(declarative ? L"declarative" : entry.active ? L"active" : L"parked") +
                     L",\"description\":" + JsonString(info.description) + L",\"class\":" +
                     JsonString(deviceClass.className);
            if (entry.place != FilterPlace::Class)
                array += L",\"drive\":" + JsonString(entry.drive);
            array += L"}";
            continue;
        }
        std::wstring state = LoadProgramString(declarative     ? IDS_FROM_DRIVER_PACKAGE
                                               : entry.active ? IDS_CLI_STATE_ACTIVE
                                                              : IDS_CLI_STATE_PARKED);
        outcome.lines.push_back(OneLine(ofClass + GroupText(entry, true)) + L"\t" + OneLine(entry.name) + L"\t" + state +
                                L", " + StateText(info.currentState) + L"\t" + OneLine(info.description));
    }
    }
    if (!problems.empty()) {
        outcome.code = ConsoleFailed;
        outcome.summary = Join(problems, L"; ");
    } else if (arguments.json) {
        outcome.json = true;
        outcome.summary = array.empty() ? L"[]" : array + L"]";
    } else {
        outcome.summary =
            FormatProgramString(IDS_CLI_LIST_SUMMARY, {std::to_wstring(counts[1]), std::to_wstring(counts[0])});
    }
    return outcome;
}
