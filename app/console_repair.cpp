#include "app/console_repair.h"

#include "app/console_classes.h"
#include "app/console_entries.h"
#include "app/console_text.h"
#include "base/error_box.h"
#include "base/strings.h"
#include "devices/cdrom_devices.h"
#include "devices/filter_entries.h"
#include "devices/repair_plan.h"
#include "res/resource.h"
#include "ui/drive_texts.h"

#include <setupapi.h>

namespace {

// Why a driver cannot load, as `check` says it.
std::wstring TroubleText(const DriverCondition& condition)
{
    if (condition.trouble == DriverTrouble::Missing)
        return LoadProgramString(IDS_CLI_SERVICE_MISSING);
    return LoadProgramString(condition.trouble == DriverTrouble::Disabled ? IDS_TROUBLE_DISABLED : IDS_TROUBLE_NO_FILE);
}

// What `check` reports on `deviceClass` of `machine`. `restartAsked`: the devices
// were just told to restart and asked for Windows to be restarted, so what they show
// now is not yet the repair's result.
Outcome Examine(const Machine& machine, const DeviceClass& deviceClass, bool restartAsked)
{
    enum Weight { Repairable, Unexplained, Unknown };
    std::vector<std::pair<Weight, std::wstring>> items;
    RepairFacts facts = GatherRepairFacts(machine, deviceClass, false);
    RepairPlan plan = PlanRepair(facts);
    if (!facts.drivesKnown)
        items.push_back({Unknown, LoadProgramString(IDS_DRIVES_UNKNOWN)});
    if (Unreadable(facts.entriesStatus))
        items.push_back(
            {Unknown, FormatProgramString(IDS_CLI_VALUES_UNREADABLE, {ReasonText(static_cast<DWORD>(facts.entriesStatus))})});

    for (const PlannedFilter& planned : plan.filters) {
        if (!planned.active || planned.entry.place == FilterPlace::Declarative)
            continue;
        std::wstring where = planned.entry.name + L" (" + GroupText(planned.entry) + L"): ";
        DWORD state = planned.condition.currentState;
        if (planned.verdict == FixVerdict::CannotTell)
            items.push_back({Unknown, where + LoadProgramString(IDS_CLI_SERVICE_UNKNOWN)});
        else if (planned.verdict == FixVerdict::WindowsOwn && planned.condition.trouble != DriverTrouble::None &&
                 planned.condition.trouble != DriverTrouble::Unknown)
            // Named, since its devices fail without it, but its repair is Windows' own.
            items.push_back({Unexplained, where + TroubleText(planned.condition) + L"; " +
                                              LoadProgramString(IDS_CLI_WINDOWS_REPAIR)});
        else if (planned.verdict == FixVerdict::Park)
            // Offline nothing runs: what keeps it from loading is the reason.
            items.push_back({Repairable, where + (state == ServiceStateNotFound || facts.offline
                                                      ? TroubleText(planned.condition)
                                                      : FormatProgramString(IDS_CLI_SERVICE_NOT_RUNNING,
                                                                            {StateText(state)}))});
    }

    bool restartWaiting = restartAsked;
    for (const PlannedDevice& device : plan.devices) {
        const DriveHealth& drive = facts.drives[device.drive];
        if (!drive.filters.known)
            items.push_back({Unknown, FormatProgramString(IDS_CLI_DRIVE_FILTERS_UNREADABLE, {drive.name})});
        if (device.works)
            continue;
        // A device waiting for Windows to restart shows the state from before the repair.
        bool waiting = restartAsked || device.waiting;
        restartWaiting = restartWaiting || waiting;
        // Only a device `fix` can mend asks for repair: one with a broken own driver,
        // a filter a driver package added, or none of its drivers to blame would have
        // a remediation loop for ever.
        items.push_back({!waiting && device.mendable ? Repairable : Unexplained,
                         drive.name + L": " + DriveStateText(drive)});
    }

    std::vector<std::wstring> texts;
    bool repairable = false;
    bool unknown = false;
    for (const auto& [weight, text] : items) {
        texts.push_back(text);
        repairable = repairable || weight == Repairable;
        unknown = unknown || weight == Unknown;
    }
    // The window's own words for the drives; the devices of a class a repair never
    // restarts wait for Windows.
    std::wstring restart;
    if (restartWaiting && IsEqualGUID(deviceClass.guid, CdromClass().guid))
        restart = LoadProgramString(IDS_RESTART_WINDOWS);
    else if (restartWaiting)
        restart = FormatProgramString(deviceClass.critical ? IDS_CLI_RESTART_WINDOWS_CLASS : IDS_CLI_RESTART_FINISHES,
                                      {deviceClass.name});
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

// Parks what the plan parks in `deviceClass`, restarts its devices (where it changed
// something, or always when `restartAlways`), then checks again. The devices of a
// class Windows cannot start without are never restarted: the change waits for
// Windows to restart.
Outcome FixClass(const Machine& machine, const DeviceClass& deviceClass, bool restartAlways)
{
    RepairPlan plan = PlanRepair(GatherRepairFacts(machine, deviceClass, false));
    std::vector<std::wstring> parked;
    std::vector<std::wstring> notes;
    bool failed = false;
    for (const PlannedFilter& planned : plan.filters) {
        if (!planned.active || planned.verdict != FixVerdict::Park)
            continue;
        const FilterEntry& entry = planned.entry;
        std::vector<ServiceUser> users;
        if (!ParkEntry(machine, deviceClass, entry, &users)) {
            DWORD error = GetLastError();
            failed = true;
            notes.push_back(FormatProgramString(IDS_CLI_CHANGE_FAILED, {entry.name, GroupText(entry), ReasonText(error)}));
            continue;
        }
        parked.push_back(entry.name + L" (" + GroupText(entry) + L")");
        if (!users.empty())
            notes.push_back(KeptText(entry.name, users));
    }

    bool restartAsked = false;
    if (machine.offline) {
        // Its devices are not here; the change takes effect when it starts.
    } else if (deviceClass.critical) {
        restartAsked = !parked.empty();
    } else if (restartAlways || !parked.empty()) {
        DeviceChangeOutcome change;
        ChangeDeviceState(deviceClass, DICS_PROPCHANGE, &change);
        DeviceChangeNotice notice = PlanDeviceChangeNotice(change);
        if (notice == DeviceChangeNotice::NotChanged) {
            failed = true;
            notes.push_back(FormatProgramString(IDS_CLI_DRIVES_NOT_RESTARTED, {ReasonText(change.error)}));
        }
        restartAsked = notice == DeviceChangeNotice::RestartNeeded;
    }
    Outcome after = Examine(machine, deviceClass, restartAsked);
    std::wstring done = parked.empty() ? std::wstring() : FormatProgramString(IDS_CLI_FIX_PARKED, {Join(parked, L", ")});
    after.summary = Join({done, Join(notes, L"; "), after.summary}, L"; ");
    if (failed)
        after.code = ConsoleFailed;
    return after;
}

} // namespace

// Runs `examine` on each class `arguments` name and tells the outcomes as one.
template <typename Examine>
Outcome OverClasses(const Arguments& arguments, Examine examine)
{
    std::vector<DeviceClass> classes;
    Outcome refusal;
    if (!PickClasses(*arguments.machine, arguments, &classes, &refusal))
        return refusal;
    std::vector<Outcome> outcomes;
    for (const DeviceClass& deviceClass : classes)
        outcomes.push_back(examine(*arguments.machine, deviceClass));
    return CombineClasses(classes, outcomes);
}

Outcome CheckCommand(const Arguments& arguments)
{
    return OverClasses(arguments,
                       [](const Machine& machine, const DeviceClass& deviceClass) {
                           return Examine(machine, deviceClass, false);
                       });
}

Outcome FixCommand(const Arguments& arguments)
{
    // One class asked for is restarted as the window restarts the drives; over every
    // class, only the devices of a class that changed.
    return OverClasses(arguments, [&](const Machine& machine, const DeviceClass& deviceClass) {
        return FixClass(machine, deviceClass, !arguments.allClasses);
    });
}
