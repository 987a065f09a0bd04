// Where an offline installation's driver file is looked for: only under its own
// Windows folder, since a drive letter may name another volume where this runs.
#include "services/offline_machine.h"

#include <gtest/gtest.h>

TEST(OfflineDriverPath, UnderTheWindowsFolderOrNotLookedFor)
{
    const struct {
        const wchar_t* imagePath;
        const wchar_t* file; // empty: cannot be looked for
    } cases[] = {
        {L"", L"D:\\Windows\\System32\\drivers\\qmflt.sys"},
        {L"\\SystemRoot\\System32\\drivers\\a.sys", L"D:\\Windows\\System32\\drivers\\a.sys"},
        {L"\\systemroot\\System32\\drivers\\a.sys", L"D:\\Windows\\System32\\drivers\\a.sys"},
        {L"%SystemRoot%\\System32\\a.sys", L"D:\\Windows\\System32\\a.sys"},
        {L"%windir%\\a.sys", L"D:\\Windows\\a.sys"},
        {L"System32\\drivers\\a.sys", L"D:\\Windows\\System32\\drivers\\a.sys"},
        {L"\\??\\C:\\Program Files\\Vendor\\a.sys", L""},
        {L"C:\\Windows\\System32\\drivers\\a.sys", L""},
        {L"\\\\server\\share\\a.sys", L""},
        {L"\\Device\\HarddiskVolume2\\a.sys", L""},
        {L"%ProgramFiles%\\a.sys", L""},
        {L"System32\\..\\..\\a.sys", L""},
    };
    for (const auto& [imagePath, file] : cases)
        EXPECT_EQ(OfflineDriverPath(L"D:\\Windows", L"qmflt", imagePath), file) << imagePath;
}
