#include "app/console_repair.h"

#include "app/console_entries.h"
#include "app/console_text.h"
#include "base/error_box.h"
#include "base/strings.h"
#include "devices/cdrom_devices.h"
#include "devices/filter_entries.h"
#include "devices/repair_plan.h"
#include "res/resource.h"
#include "services/running_machine.h"
#include "ui/drive_texts.h"

#include <setupapi.h>

namespace {

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
        else if (planned.verdict == FixVerdict::Park)
            items.push_back({Repairable, where + (state == ServiceStateNotFound
                                                      ? LoadProgramString(IDS_CLI_SERVICE_MISSING)
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

} // namespace

Outcome CheckCommand(const Arguments&)
{
    return Examine(RunningMachine(), CdromClass(), false);
}

// Parks what the plan parks, restarts the devices, then checks again.
Outcome FixCommand(const Arguments&)
{
    const Machine& machine = RunningMachine();
    const DeviceClass& deviceClass = CdromClass();
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

    DeviceChangeOutcome change;
    ChangeDeviceState(deviceClass, DICS_PROPCHANGE, &change);
    DeviceChangeNotice notice = PlanDeviceChangeNotice(change);
    if (notice == DeviceChangeNotice::NotChanged) {
        failed = true;
        notes.push_back(FormatProgramString(IDS_CLI_DRIVES_NOT_RESTARTED, {ReasonText(change.error)}));
    }
    Outcome after = Examine(machine, deviceClass, notice == DeviceChangeNotice::RestartNeeded);
    std::wstring done = parked.empty() ? std::wstring() : FormatProgramString(IDS_CLI_FIX_PARKED, {Join(parked, L", ")});
    after.summary = Join({done, Join(notes, L"; "), after.summary}, L"; ");
    if (failed)
        after.code = ConsoleFailed;
    return after;
}
