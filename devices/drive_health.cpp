#include "devices/drive_health.h"

#include "base/handles.h"
#include "devices/device_installer.h"
#include "base/strings.h"
#include "res/resource.h"

#include <algorithm>

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

bool DriveWorks(const DriveHealth& drive)
{
    return drive.started && drive.problem == 0;
}

} // namespace

bool ReadDriveHealth(std::vector<DriveHealth>* drives)
{
    drives->clear();
    const DeviceInstallerCalls& calls = deviceInstallerCalls;
    // The setup class, not the CD-ROM interface: a drive whose driver stack failed
    // to start may expose no interface, and those are the drives the user is missing.
    UniqueDeviceSet set(calls.getClassDevs(&CdromSetupClass, nullptr, nullptr, DIGCF_PRESENT));
    if (!set)
        return false;
    bool known = true;
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
        drives->push_back({name, (status & DN_STARTED) != 0, problem});
    }
    return known;
}

std::wstring DriveStateText(const DriveHealth& drive)
{
    if (drive.problem == 0)
        return LoadProgramString(drive.started ? IDS_DRIVE_WORKING : IDS_DRIVE_NOT_STARTED);
    std::wstring code = std::to_wstring(drive.problem);
    std::wstring meaning =
        drive.problem < IDS_DRIVE_PROBLEM_COUNT ? LoadProgramString(IDS_DRIVE_PROBLEM_BASE + drive.problem) : L"";
    return meaning.empty() ? FormatProgramString(IDS_DRIVE_CODE, {code})
                           : FormatProgramString(IDS_DRIVE_CODE_MEANING, {code, meaning});
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
    for (const DriveHealth& drive : drives)
        lines += drive.name + L": " + DriveStateText(drive) + L"\n";
    lines.pop_back();
    return lines;
}
