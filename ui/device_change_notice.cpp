#include "ui/device_change_notice.h"

#include "base/error_box.h"
#include "base/strings.h"
#include "base/system_library.h"
#include "res/resource.h"

#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

// The system has no text for some device installer codes (ERROR_IN_WOW64 among
// them); the code itself then tells a helper what happened.
std::wstring ReasonText(DWORD code)
{
    std::wstring text = SystemErrorText(code);
    if (!text.empty())
        return text;
    wchar_t hex[16] = {};
    std::swprintf(hex, 16, L"0x%08lX", static_cast<unsigned long>(code));
    return LoadProgramString(IDS_ERROR_CODE) + L" " + hex;
}

} // namespace

void TellDeviceChangeOutcome(HWND owner, const DeviceChangeOutcome& outcome, bool afterParking)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    switch (PlanDeviceChangeNotice(outcome)) {
    case DeviceChangeNotice::NotChanged: {
        std::wstring reason = ReasonText(outcome.error);
        // A 32-bit program is refused the change on 64-bit Windows; the other build is not.
        std::wstring hint = RunningUnderWow64() ? LoadProgramString(IDS_USE_64BIT_BUILD) : std::wstring();
        // Loaded here rather than by the message box, which may cut a text it loads itself.
        std::wstring text = LoadProgramString(afterParking ? IDS_DRIVES_NOT_RESTARTED : IDS_DRIVES_NOT_CHANGED);
        ShellMessageBoxW(instance, owner, text.c_str(), nullptr, MB_OK | MB_ICONERROR, reason.c_str(), hint.c_str());
        break;
    }
    case DeviceChangeNotice::RestartNeeded: {
        std::wstring text = LoadProgramString(IDS_RESTART_WINDOWS);
        ShellMessageBoxW(instance, owner, text.c_str(), nullptr, MB_OK | MB_ICONINFORMATION);
        break;
    }
    case DeviceChangeNotice::None:
        break;
    }
}
