#include "base/error_box.h"

#include "base/handles.h"

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

ErrorBoxCalls errorBoxCalls = {MessageBoxW};

void ShowSystemErrorBox(HWND owner, DWORD code)
{
    std::wstring text = SystemErrorText(code);
    errorBoxCalls.messageBox(owner, text.c_str(), nullptr, MB_OK | MB_ICONERROR);
}
