#include "ui/message_boxes.h"

#include "base/error_box.h"
#include "base/strings.h"
#include "base/system_library.h"
#include "res/resource.h"
#include "ui/drive_texts.h"

#include <shellapi.h>

#include <cwchar>

namespace {

// The text goes in as an insert, so a name with a % in it is shown as it is.
int ShowText(HWND owner, const std::wstring& text, UINT flags, const wchar_t* caption = nullptr)
{
    return ShellMessageBoxW(ProgramModule(), owner, L"%1", caption, flags, text.c_str());
}

} // namespace

void ChangeFailures::Add(const wchar_t* name, DWORD code)
{
    if (error == ERROR_SUCCESS)
        error = code;
    names += name;
    names += L"\n";
}

void KeptServices::Add(const std::wstring& name, const std::vector<ServiceUser>& users)
{
    if (users.empty())
        return;
    lines += name + L":";
    const wchar_t* separator = L" ";
    for (const ServiceUser& user : users) {
        lines += separator;
        lines += ServiceUserText(user);
        separator = L", ";
    }
    lines += L"\n";
}

void ReportChangeFailures(HWND owner, const ChangeFailures& failures)
{
    if (failures.names.empty())
        return;
    ShowText(owner, FormatProgramString(IDS_CHANGE_FAILED, {failures.names, ReasonText(failures.error)}),
             MB_OK | MB_ICONERROR);
}

void ReportKeptServices(HWND owner, const KeptServices& kept)
{
    if (kept.lines.empty())
        return;
    ShowText(owner, FormatProgramString(IDS_SERVICES_KEPT, {kept.lines}), MB_OK | MB_ICONINFORMATION);
}

void TellDeviceChangeOutcome(HWND owner, const DeviceChangeOutcome& outcome, bool filtersWaiting)
{
    switch (PlanDeviceChangeNotice(outcome)) {
    case DeviceChangeNotice::NotChanged: {
        // A 32-bit program is refused the change on 64-bit Windows; the other build is not.
        std::wstring hint = RunningUnderWow64() ? LoadProgramString(IDS_USE_64BIT_BUILD) : std::wstring();
        ShowText(owner,
                 FormatProgramString(filtersWaiting ? IDS_DRIVES_NOT_RESTARTED : IDS_DRIVES_NOT_CHANGED,
                                     {ReasonText(outcome.error), hint}),
                 MB_OK | MB_ICONERROR);
        break;
    }
    case DeviceChangeNotice::RestartNeeded:
        ShowText(owner, LoadProgramString(IDS_RESTART_WINDOWS), MB_OK | MB_ICONINFORMATION);
        break;
    case DeviceChangeNotice::None:
        break;
    }
}

bool ConfirmFilterDelete(HWND owner, const wchar_t* name)
{
    std::wstring caption = LoadProgramString(IDS_DELETE_CAPTION);
    return ShowText(owner, FormatProgramString(IDS_DELETE_CONFIRM, {name}), MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2,
                    caption.c_str()) == IDYES;
}
