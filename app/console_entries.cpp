#include "app/console_entries.h"

#include "app/console_text.h"
#include "base/strings.h"
#include "base/text_sizes.h"
#include "filters/filter_lists.h"
#include "res/resource.h"
#include "services/service_info.h"
#include "ui/drive_texts.h"

std::wstring GroupText(const FilterEntry& entry, bool withInstanceId)
{
    if (entry.place == FilterPlace::Class)
        return FilterValueNames[entry.level][1];
    std::wstring drive = withInstanceId ? entry.driveName + L" (" + entry.drive + L")" : entry.driveName;
    return FormatProgramString(entry.level ? IDS_GROUP_DRIVE_UPPER : IDS_GROUP_DRIVE_LOWER, {drive});
}

std::wstring StateText(DWORD state)
{
    wchar_t text[DisplayTextLength];
    LoadServiceStateText(state, text);
    return text;
}

std::wstring KeptText(const std::wstring& name, const std::vector<ServiceUser>& users)
{
    std::vector<std::wstring> names;
    for (const ServiceUser& user : users)
        names.push_back(ServiceUserText(user));
    return FormatProgramString(IDS_CLI_KEPT, {name, Join(names, L", ")});
}

bool Unreadable(LSTATUS status)
{
    return status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND;
}
