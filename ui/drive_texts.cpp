#include "ui/drive_texts.h"

#include "base/strings.h"
#include "base/text_sizes.h"
#include "res/resource.h"
#include "services/service_info.h"

#include <algorithm>

namespace {

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

std::wstring ServiceUserText(const ServiceUser& user)
{
    return user.kind == ServiceUser::Unreadable ? FormatProgramString(IDS_USER_UNREADABLE, {user.name}) : user.name;
}
