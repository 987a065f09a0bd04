#include "base/error_box.h"

#include "base/handles.h"
#include "base/strings.h"
#include "res/resource.h"

#include <cwchar>

std::wstring SystemErrorText(DWORD code)
{
    // Let the system size the text, so a long message is never cut or dropped.
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                      FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    UniqueLocalBlock holder(text);
    std::wstring result = length ? std::wstring(text, length) : std::wstring();
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r'))
        result.pop_back();
    return result;
}

std::wstring ReasonText(DWORD code)
{
    // The system has no text for some device installer codes (ERROR_IN_WOW64 among
    // them); the code itself then tells a helper what happened.
    std::wstring text = SystemErrorText(code);
    if (!text.empty())
        return text;
    wchar_t hex[16] = {};
    std::swprintf(hex, 16, L"0x%08lX", static_cast<unsigned long>(code));
    return LoadProgramString(IDS_ERROR_CODE) + L" " + hex;
}

ErrorBoxCalls errorBoxCalls = {MessageBoxW};

void ShowSystemErrorBox(HWND owner, DWORD code)
{
    std::wstring text = SystemErrorText(code);
    errorBoxCalls.messageBox(owner, text.c_str(), nullptr, MB_OK | MB_ICONERROR);
}
