// Placeholder until the main window lands: shows the class key's four filter values.
#include <windows.h>

#include "filters/filter_registry.h"
#include "filters/multi_sz.h"
#include "app/handles.h"

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    std::wstring text;
    UniqueKey key;
    LSTATUS status = OpenFilterClassKey(FilterClassReadAccess, key.put());
    if (status != ERROR_SUCCESS) {
        text = L"The DVD/CD-ROM class key cannot be opened.";
    } else {
        for (const wchar_t* value :
             {LowerFiltersValue, UpperFiltersValue, LowerFiltersRemovedValue, UpperFiltersRemovedValue}) {
            MultiSzList list;
            text += value;
            text += L":";
            if (ReadMultiSzValue(key.get(), value, list) == ERROR_SUCCESS) {
                for (const std::wstring& entry : list.entries)
                    text += L" " + entry;
            } else {
                text += L" (none)";
            }
            text += L"\r\n";
        }
    }
    MessageBoxW(nullptr, text.c_str(), L"Quillmere", MB_OK | MB_ICONINFORMATION);
    return 0;
}
