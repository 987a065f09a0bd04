#include "tests/services/service_test_files.h"

std::wstring TestFilePath(const std::wstring& name)
{
    wchar_t module[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring folder(module, length);
    folder.erase(folder.find_last_of(L'\\') + 1);
    return folder + name;
}
