#include "devices/cdrom_devices.h"

#include "devices/device_installer.h"

bool ChangeCdromDeviceState(DWORD state, DeviceChangeOutcome* outcome)
{
    DeviceChangeOutcome ignored;
    if (!outcome)
        outcome = &ignored;
    *outcome = DeviceChangeOutcome{};
    const DeviceInstallerCalls& installer = deviceInstallerCalls;
    // Without DIGCF_PRESENT, so that drives that are disabled at the moment are
    // part of the set and can be enabled again.
    UniqueDeviceSet devices(installer.getClassDevs(&CdromInterfaceClass, nullptr, nullptr, DIGCF_DEVICEINTERFACE));
    if (!devices) {
        outcome->noDeviceSet = true;
        outcome->error = GetLastError();
        return false;
    }

    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    BOOL lastResult = FALSE;
    // A device that refuses the change does not keep the others from trying.
    for (DWORD index = 0; installer.enumDeviceInfo(devices.get(), index, &device); ++index) {
        SP_PROPCHANGE_PARAMS change = {};
        change.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        change.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
        change.StateChange = state;
        change.Scope = DICS_FLAG_CONFIGSPECIFIC;
        change.HwProfile = 0;
        installer.setClassInstallParams(devices.get(), &device, &change.ClassInstallHeader, sizeof(change));
        lastResult = installer.changeState(devices.get(), &device);
        ++outcome->devices;
        if (!lastResult) {
            outcome->error = GetLastError();
            continue;
        }
        ++outcome->changed;
        // A device may take the change and still need Windows restarted to finish it.
        SP_DEVINSTALL_PARAMS_W params = {};
        params.cbSize = sizeof(params);
        if (installer.getDeviceInstallParams(devices.get(), &device, &params) &&
            (params.Flags & (DI_NEEDREBOOT | DI_NEEDRESTART)))
            outcome->restartNeeded = true;
    }
    return lastResult != FALSE;
}

DeviceChangeNotice PlanDeviceChangeNotice(const DeviceChangeOutcome& outcome)
{
    if (outcome.noDeviceSet || (outcome.devices > 0 && outcome.changed == 0))
        return DeviceChangeNotice::NotChanged;
    return outcome.restartNeeded ? DeviceChangeNotice::RestartNeeded : DeviceChangeNotice::None;
}
