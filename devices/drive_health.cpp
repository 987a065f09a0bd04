#include "devices/drive_health.h"

#include "base/handles.h"
#include "devices/device_installer.h"
#include "base/strings.h"
#include "base/text_sizes.h"
#include "filters/multi_sz.h"
#include "res/resource.h"

#include <algorithm>
#include <utility>

namespace {

std::wstring DeviceText(const DeviceInstallerCalls& calls, HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property)
{
    DWORD bytes = 0;
    calls.getDeviceRegistryProperty(set, device, property, nullptr, nullptr, 0, &bytes);
    if (bytes < sizeof(wchar_t))
        return {};
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!calls.getDeviceRegistryProperty(set, device, property, nullptr, reinterpret_cast<BYTE*>(text.data()), bytes,
                                   nullptr))
        return {};
    return text.data();
}

// The conditions of the drivers asked about in one read of the drives, over one
// connection: the class's filters and the function driver are mostly the same on
// every drive.
class Conditions {
public:
    DriverCondition Of(const std::wstring& name)
    {
        for (const auto& [known, condition] : asked_)
            if (MultiSzNamesMatch(known.c_str(), name.c_str()))
                return condition;
        if (!manager_)
            manager_.reset(OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
        asked_.emplace_back(name, ReadDriverCondition(manager_.get(), name.c_str()));
        return asked_.back().second;
    }

private:
    UniqueServiceHandle manager_;
    std::vector<std::pair<std::wstring, DriverCondition>> asked_;
};

// The filters of one level in the order they load: the resulting list where the
// system keeps one, else the drive's own before the class's.
void AddLevel(DriveHealth* drive, LoadedDriver::Level level, const std::vector<std::wstring>& classActive,
              Conditions& conditions)
{
    const DriveFilterLists& lists = drive->filters;
    std::vector<std::wstring> order = lists.resulting[level];
    if (order.empty()) {
        order = lists.own[level];
        order.insert(order.end(), classActive.begin(), classActive.end());
    }
    for (const std::wstring& name : order) {
        if (std::any_of(drive->loaded.begin(), drive->loaded.end(), [&](const LoadedDriver& known) {
                return known.level == level && MultiSzNamesMatch(known.name.c_str(), name.c_str());
            }))
            continue;
        FilterPlace place = MultiSzListsName(lists.own[level], name.c_str()) ? FilterPlace::Drive
                            : MultiSzListsName(classActive, name.c_str())    ? FilterPlace::Class
                                                          : FilterPlace::Declarative;
        drive->loaded.push_back({name, level, place, conditions.Of(name)});
    }
}

void ReadStack(DriveHealth* drive, const std::wstring& service, const std::vector<std::wstring> (&classActive)[2],
               Conditions& conditions)
{
    AddLevel(drive, LoadedDriver::Lower, classActive[0], conditions);
    if (!service.empty())
        drive->loaded.push_back({service, LoadedDriver::Function, FilterPlace::Drive, conditions.Of(service)});
    AddLevel(drive, LoadedDriver::Upper, classActive[1], conditions);
    if (DriveWorks(*drive))
        return;
    for (size_t i = 0; i < drive->loaded.size(); ++i) {
        DriverTrouble trouble = drive->loaded[i].condition.trouble;
        if (trouble != DriverTrouble::None && trouble != DriverTrouble::Unknown) {
            drive->culprit = static_cast<int>(i);
            return;
        }
    }
}

UINT CulpritText(const LoadedDriver& driver)
{
    bool filter = driver.level != LoadedDriver::Function;
    switch (driver.condition.trouble) {
    case DriverTrouble::Missing:
        return filter ? IDS_CULPRIT_FILTER_MISSING : IDS_CULPRIT_DRIVER_MISSING;
    case DriverTrouble::Disabled:
        return filter ? IDS_CULPRIT_FILTER_DISABLED : IDS_CULPRIT_DRIVER_DISABLED;
    default:
        return filter ? IDS_CULPRIT_FILTER_NO_FILE : IDS_CULPRIT_DRIVER_NO_FILE;
    }
}

// "Name (Stopped, disabled)": a driver in the detail box.
std::wstring LoadedText(const LoadedDriver& driver)
{
    wchar_t state[DisplayTextLength];
    LoadServiceStateText(driver.condition.currentState, state);
    std::wstring text = driver.name + L" (" + state;
    if (driver.condition.trouble == DriverTrouble::Disabled)
        text += L", " + LoadProgramString(IDS_TROUBLE_DISABLED);
    else if (driver.condition.trouble == DriverTrouble::NoFile)
        text += L", " + LoadProgramString(IDS_TROUBLE_NO_FILE);
    if (driver.place == FilterPlace::Declarative)
        text += L", " + LoadProgramString(IDS_FROM_DRIVER_PACKAGE);
    return text + L")";
}

} // namespace

bool DriveWorks(const DriveHealth& drive)
{
    return drive.started && drive.problem == 0;
}

namespace {

bool ReadDrivesAsking(std::vector<DriveHealth>* drives, bool askServices)
{
    drives->clear();
    const DeviceInstallerCalls& calls = deviceInstallerCalls;
    // The setup class, not the CD-ROM interface: a drive whose driver stack failed
    // to start may expose no interface, and those are the drives the user is missing.
    UniqueDeviceSet set(calls.getClassDevs(&CdromSetupClass, nullptr, nullptr, DIGCF_PRESENT));
    if (!set)
        return false;
    bool known = true;
    std::vector<std::wstring> classActive[2];
    if (askServices)
        ReadClassActiveFilters(classActive);
    Conditions conditions;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; calls.enumDeviceInfo(set.get(), index, &device); ++index) {
        // Cleared first: some systems answer success and write neither.
        ULONG status = 0;
        ULONG problem = 0;
        if (calls.getDevNodeStatus(&status, &problem, device.DevInst, 0) != CR_SUCCESS) {
            known = false;
            break;
        }
        std::wstring name = DeviceText(calls, set.get(), &device, SPDRP_FRIENDLYNAME);
        if (name.empty())
            name = DeviceText(calls, set.get(), &device, SPDRP_DEVICEDESC);
        if (name.empty())
            name = LoadProgramString(IDS_UNNAMED_DRIVE);
        DriveHealth drive;
        drive.name = name;
        drive.started = (status & DN_STARTED) != 0;
        drive.problem = problem;
        drive.instanceId = InstanceIdOf(set.get(), &device);
        drive.filters = ReadDriveFilterLists(set.get(), &device);
        if (askServices)
            ReadStack(&drive, DeviceText(calls, set.get(), &device, SPDRP_SERVICE), classActive, conditions);
        drives->push_back(std::move(drive));
    }
    return known;
}

} // namespace

bool ReadDriveHealth(std::vector<DriveHealth>* drives)
{
    return ReadDrivesAsking(drives, true);
}

bool ReadDrives(std::vector<DriveHealth>* drives)
{
    return ReadDrivesAsking(drives, false);
}


std::wstring DriveStateText(const DriveHealth& drive)
{
    std::wstring text;
    if (drive.problem == 0) {
        text = LoadProgramString(drive.started ? IDS_DRIVE_WORKING : IDS_DRIVE_NOT_STARTED);
    } else {
        std::wstring code = std::to_wstring(drive.problem);
        std::wstring meaning =
            drive.problem < IDS_DRIVE_PROBLEM_COUNT ? LoadProgramString(IDS_DRIVE_PROBLEM_BASE + drive.problem) : L"";
        text = meaning.empty() ? FormatProgramString(IDS_DRIVE_CODE, {code})
                               : FormatProgramString(IDS_DRIVE_CODE_MEANING, {code, meaning});
    }
    if (drive.culprit >= 0 && static_cast<size_t>(drive.culprit) < drive.loaded.size()) {
        const LoadedDriver& culprit = drive.loaded[static_cast<size_t>(drive.culprit)];
        text += L", " + FormatProgramString(CulpritText(culprit), {culprit.name});
    }
    return text;
}

DriveHealthText ComposeDriveHealthText(bool known, const std::vector<DriveHealth>& drives)
{
    if (!known)
        return {L"", LoadProgramString(IDS_DRIVES_UNKNOWN)};
    if (drives.empty())
        return {L"", LoadProgramString(IDS_NO_DRIVE)};
    auto troubled = std::count_if(drives.begin(), drives.end(), [](const DriveHealth& d) { return !DriveWorks(d); });
    if (troubled == 0) {
        if (drives.size() == 1)
            return {L"", LoadProgramString(IDS_ONE_DRIVE_WORKING)};
        return {L"", FormatProgramString(IDS_DRIVES_WORKING, {std::to_wstring(drives.size())})};
    }
    const DriveHealth& first =
        *std::find_if(drives.begin(), drives.end(), [](const DriveHealth& d) { return !DriveWorks(d); });
    std::wstring rest = L": " + DriveStateText(first);
    if (troubled > 1)
        rest += L" " + FormatProgramString(IDS_MORE_DRIVES, {std::to_wstring(troubled - 1)});
    return {first.name, rest};
}

std::wstring DescribeDrives(bool known, const std::vector<DriveHealth>& drives)
{
    if (!known || drives.empty())
        return ComposeDriveHealthText(known, drives).rest;
    std::wstring lines;
    for (const DriveHealth& drive : drives) {
        lines += drive.name + L": " + DriveStateText(drive) + L"\n";
        const UINT headings[] = {IDS_DETAILS_LOWER, IDS_DETAILS_UPPER, IDS_DETAILS_DRIVER};
        for (LoadedDriver::Level level : {LoadedDriver::Lower, LoadedDriver::Function, LoadedDriver::Upper}) {
            std::wstring list;
            for (const LoadedDriver& driver : drive.loaded)
                if (driver.level == level)
                    list += (list.empty() ? L"" : L", ") + LoadedText(driver);
            if (!list.empty())
                lines += FormatProgramString(headings[level], {list}) + L"\n";
        }
    }
    lines.pop_back();
    return lines;
}
