#include "app/console_classes.h"

#include "app/console_text.h"
#include "base/strings.h"
#include "devices/drive_filters.h"
#include "filters/device_classes.h"
#include "res/resource.h"

bool PickClasses(const Machine& machine, const Arguments& arguments, std::vector<DeviceClass>* classes,
                 Outcome* refusal)
{
    classes->clear();
    if (arguments.allClasses) {
        // Every class with a filter value, and those whose devices carry filters of
        // their own.
        *classes = ClassesWithFilters(machine, machine.offline ? std::vector<GUID>() : ClassesOfDevicesWithOwnFilters());
        return true;
    }
    if (arguments.className.empty()) {
        classes->push_back(CdromClass());
        return true;
    }
    DeviceClass found;
    std::vector<std::wstring> guids;
    switch (FindDeviceClass(machine, arguments.className, &found, &guids)) {
    case ClassLookup::Found:
        classes->push_back(found);
        return true;
    case ClassLookup::Unknown:
        *refusal = Failed(FormatProgramString(IDS_CLI_UNKNOWN_CLASS, {arguments.className}));
        return false;
    case ClassLookup::Ambiguous:
        break;
    }
    *refusal = Failed(FormatProgramString(IDS_CLI_AMBIGUOUS_CLASS, {arguments.className, Join(guids, L", ")}));
    return false;
}

Outcome CombineClasses(const std::vector<DeviceClass>& classes, const std::vector<Outcome>& outcomes)
{
    if (outcomes.size() == 1)
        return outcomes[0];
    Outcome combined;
    std::vector<std::wstring> parts;
    std::wstring nothing = LoadProgramString(IDS_CLI_NOTHING_TO_REPAIR);
    bool repairable = false;
    bool failed = false;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const Outcome& outcome = outcomes[i];
        combined.lines.insert(combined.lines.end(), outcome.lines.begin(), outcome.lines.end());
        repairable = repairable || outcome.code == ConsoleRepairable;
        failed = failed || outcome.code == ConsoleFailed;
        if (outcome.summary != nothing && !outcome.summary.empty())
            parts.push_back(classes[i].className + L": " + outcome.summary);
    }
    combined.code = repairable ? ConsoleRepairable : failed ? ConsoleFailed : ConsoleClean;
    combined.summary = parts.empty() ? nothing : Join(parts, L"; ");
    return combined;
}
