#include "devices/drive_health.h"

#include "base/handles.h"
#include "base/strings.h"
#include "devices/device_installer.h"
#include "filters/multi_sz.h"
#include "res/resource.h"

#include <algorithm>
#include <utility>

namespace {

// The conditions of the drivers asked about in one read of the drives, over one
// connection: the class's filters and the function driver are mostly the same on
// every drive.
class Conditions {
public:
    explicit Conditions(const Machine* machine) : machine_(machine) {}

    DriverCondition Of(const std::wstring& name)
    {
        for (const auto& [known, condition] : asked_)
            if (MultiSzNamesMatch(known.c_str(), name.c_str()))
                return condition;
        asked_.emplace_back(name, ReadDriverCondition(*machine_, &connection_, name.c_str()));
        return asked_.back().second;
    }

private:
    const Machine* machine_;
    ServiceConnection connection_;
    std::vector<std::pair<std::wstring, DriverCondition>> asked_;
};

// The class's filters of each level as they load: its resulting lists where the
// system keeps them (its key's values and what driver packages added), else its
// key's values.
struct ClassFilters {
    std::vector<std::wstring> active[2];
    std::vector<std::wstring> loaded[2];
};

// The filters of one level in the order they load: the device's own (its resulting
// list where the system keeps one, which adds what its driver package declared),
// then the class's.
void AddLevel(DriveHealth* drive, LoadedDriver::Level level, const ClassFilters& classFilters, Conditions& conditions)
{
    const DriveFilterLists& lists = drive->filters;
    const std::vector<std::wstring>& classActive = classFilters.active[level];
    std::vector<std::wstring> order = lists.resulting[level].empty() ? lists.own[level] : lists.resulting[level];
    order.insert(order.end(), classFilters.loaded[level].begin(), classFilters.loaded[level].end());
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

void ReadStack(DriveHealth* drive, const std::wstring& service, const ClassFilters& classFilters,
               Conditions& conditions)
{
    AddLevel(drive, LoadedDriver::Lower, classFilters, conditions);
    if (!service.empty())
        drive->loaded.push_back({service, LoadedDriver::Function, FilterPlace::Drive, conditions.Of(service)});
    AddLevel(drive, LoadedDriver::Upper, classFilters, conditions);
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

} // namespace

bool DriveWorks(const DriveHealth& drive)
{
    return drive.started && drive.problem == 0;
}

namespace {

// `machine` null: the services are not asked.
bool ReadDrivesAsking(const Machine* machine, const DeviceClass& deviceClass, std::vector<DriveHealth>* drives)
{
    drives->clear();
    bool known = true;
    ClassFilters classFilters;
    if (machine) {
        ReadClassActiveFilters(*machine, deviceClass, classFilters.active);
        for (int level = 0; level < 2; ++level)
            if (ReadClassResultingList(deviceClass.guid, level, &classFilters.loaded[level]) != ERROR_SUCCESS)
                classFilters.loaded[level] = classFilters.active[level];
    }
    Conditions conditions(machine);
    bool listed = ForEachPresentDevice(deviceClass, [&](HDEVINFO set, SP_DEVINFO_DATA* device) {
        // Cleared first: some systems answer success and write neither.
        ULONG status = 0;
        ULONG problem = 0;
        if (deviceInstallerCalls.getDevNodeStatus(&status, &problem, device->DevInst, 0) != CR_SUCCESS) {
            known = false;
            return false;
        }
        std::wstring name = DeviceText(set, device, SPDRP_FRIENDLYNAME);
        if (name.empty())
            name = DeviceText(set, device, SPDRP_DEVICEDESC);
        if (name.empty())
            name = LoadProgramString(IDS_UNNAMED_DRIVE);
        DriveHealth drive;
        drive.name = name;
        drive.started = (status & DN_STARTED) != 0;
        drive.problem = problem;
        drive.instanceId = InstanceIdOf(set, device);
        drive.filters = ReadDriveFilterLists(set, device);
        if (machine)
            ReadStack(&drive, DeviceText(set, device, SPDRP_SERVICE), classFilters, conditions);
        drives->push_back(std::move(drive));
        return true;
    });
    return listed && known;
}

} // namespace

bool ReadDriveHealth(const Machine& machine, const DeviceClass& deviceClass, std::vector<DriveHealth>* drives)
{
    // The devices present are this system's, not the offline installation's.
    if (machine.offline) {
        drives->clear();
        return true;
    }
    return ReadDrivesAsking(&machine, deviceClass, drives);
}

bool ReadDrives(const DeviceClass& deviceClass, std::vector<DriveHealth>* drives)
{
    return ReadDrivesAsking(nullptr, deviceClass, drives);
}
