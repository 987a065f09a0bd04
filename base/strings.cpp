#include "base/strings.h"

#include "base/handles.h"
#include "base/text_sizes.h"

#include <vector>

HINSTANCE ProgramModule()
{
    return GetModuleHandleW(nullptr);
}

std::wstring LoadProgramString(UINT id)
{
    wchar_t text[DisplayTextLength] = {};
    LoadStringW(ProgramModule(), id, text, static_cast<int>(DisplayTextLength));
    return text;
}

void SetTextFromString(HWND window, int control, UINT id)
{
    std::wstring text = LoadProgramString(id);
    if (!text.empty())
        SetDlgItemTextW(window, control, text.c_str());
}

std::wstring FormatProgramString(UINT id, std::initializer_list<std::wstring> inserts)
{
    std::wstring pattern = LoadProgramString(id);
    std::vector<DWORD_PTR> arguments;
    for (const std::wstring& insert : inserts)
        arguments.push_back(reinterpret_cast<DWORD_PTR>(insert.c_str()));
    // Formatted by the system, so translations may place the inserts in any order.
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                                      FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  pattern.c_str(), 0, 0, reinterpret_cast<wchar_t*>(&text), 0,
                                  reinterpret_cast<va_list*>(arguments.data()));
    UniqueLocalBlock holder(text);
    return length ? std::wstring(text, length) : pattern;
}
