#include "devices/cdrom_devices.h"

#include "devices/device_installer.h"

bool ChangeDeviceState(const DeviceClass& deviceClass, DWORD state, DeviceChangeOutcome* outcome)
{
    DeviceChangeOutcome ignored;
    if (!outcome)
        outcome = &ignored;
    *outcome = DeviceChangeOutcome{};
    const DeviceInstallerCalls& installer = deviceInstallerCalls;
    // Without DIGCF_PRESENT, so that devices that are disabled at the moment are
    // part of the set and can be enabled again.
    const GUID* guid = deviceClass.interfaceClass ? deviceClass.interfaceClass : &deviceClass.guid;
    DWORD flags = deviceClass.interfaceClass ? DIGCF_DEVICEINTERFACE : 0;
    BOOL lastResult = FALSE;
    // A device that refuses the change does not keep the others from trying.
    bool listed = ForEachDevice(guid, flags, [&](HDEVINFO devices, SP_DEVINFO_DATA* device) {
        SP_PROPCHANGE_PARAMS change = {};
        change.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        change.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
        change.StateChange = state;
        change.Scope = DICS_FLAG_CONFIGSPECIFIC;
        change.HwProfile = 0;
        installer.setClassInstallParams(devices, device, &change.ClassInstallHeader, sizeof(change));
        lastResult = installer.changeState(devices, device);
        ++outcome->devices;
        if (!lastResult) {
            outcome->error = GetLastError();
            return true;
        }
        ++outcome->changed;
        // A device may take the change and still need Windows restarted to finish it.
        SP_DEVINSTALL_PARAMS_W params = {};
        params.cbSize = sizeof(params);
        if (installer.getDeviceInstallParams(devices, device, &params) &&
            (params.Flags & (DI_NEEDREBOOT | DI_NEEDRESTART)))
            outcome->restartNeeded = true;
        return true;
    });
    if (!listed) {
        outcome->noDeviceSet = true;
        outcome->error = GetLastError();
        return false;
    }
    return lastResult != FALSE;
}

bool ChangeCdromDeviceState(DWORD state, DeviceChangeOutcome* outcome)
{
    return ChangeDeviceState(CdromClass(), state, outcome);
}

DeviceChangeNotice PlanDeviceChangeNotice(const DeviceChangeOutcome& outcome)
{
    if (outcome.noDeviceSet || (outcome.devices > 0 && outcome.changed == 0))
        return DeviceChangeNotice::NotChanged;
    return outcome.restartNeeded ? DeviceChangeNotice::RestartNeeded : DeviceChangeNotice::None;
}
