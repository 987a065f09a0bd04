// The properties dialog of a row: what it shows and how it closes.
#include "res/resource.h"
#include "ui/filter_window_fixture.h"
#include "ui/properties_dialog.h"

#include <gtest/gtest.h>

namespace {

class PropertiesDialogTest : public FilterWindowTest {
protected:
    // Shows the dialog for the row `name` and answers it with `command`.
    DialogWatcher::Seen ShowAndAnswer(const wchar_t* name, WORD command, LONG* labelWeight = nullptr)
    {
        FilterItem* item = NewFilterItem(name, FilterGroupLower);
        DialogWatcher watcher(command, [labelWeight](HWND dialog) {
            if (!labelWeight)
                return;
            auto font = reinterpret_cast<HFONT>(SendDlgItemMessageW(dialog, IDC_VENDOR_LABEL, WM_GETFONT, 0, 0));
            LOGFONTW description{};
            *labelWeight = GetObjectW(font, sizeof(description), &description) ? description.lfWeight : 0;
        });
        ShowPropertiesDialog(host, item);
        DeleteFilterItem(item);
        EXPECT_TRUE(watcher.Wait());
        return watcher.seen();
    }

    static std::wstring TextAfter(const DialogWatcher::Seen& seen, const std::wstring& label)
    {
        for (size_t i = 0; i + 1 < seen.texts.size(); ++i)
            if (seen.texts[i] == label)
                return seen.texts[i + 1];
        return L"<no " + label + L">";
    }
};

TEST_F(PropertiesDialogTest, MissingServiceShowsUnknownVendorAndVersion)
{
    WriteDescriptions("[en]\nQmGone=Old burner filter\n");
    OpenWindow();
    LONG weight = 0;
    DialogWatcher::Seen seen = ShowAndAnswer(L"QmGone", IDOK, &weight);
    EXPECT_EQ(seen.caption, L"Properties");
    EXPECT_EQ(seen.owner, host);
    EXPECT_EQ(TextAfter(seen, L"Vendor"), L"Unknown");
    EXPECT_EQ(TextAfter(seen, L"Version"), L"Unknown");
    EXPECT_EQ(TextAfter(seen, L"Driver state"), L"Not found");
    EXPECT_EQ(TextAfter(seen, L"Description"), L"Old burner filter");
    EXPECT_EQ(weight, FW_BOLD);
}

TEST_F(PropertiesDialogTest, PresentServiceShowsItsDriverFilesVersionResource)
{
    // Only where the system loads drivers from, which a 32-bit build must look past
    // its redirected system32 to find.
    NativeDriverFile file(L"qm_version_full.sys", L"qmprops.sys");
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"\\SystemRoot\\System32\\drivers\\qmprops.sys"));

    OpenWindow();
    DialogWatcher::Seen seen = ShowAndAnswer(L"QmStop", IDCANCEL);
    EXPECT_EQ(TextAfter(seen, L"Vendor"), L"Example Test Drivers Ltd");
    EXPECT_EQ(TextAfter(seen, L"Version"), L"2.5.0.17 (test)");
    EXPECT_EQ(TextAfter(seen, L"Driver state"), L"Stopped");
}

TEST_F(PropertiesDialogTest, OkEscapeAndTheCloseBoxAllEndIt)
{
    ASSERT_TRUE(CreateRunningService(L"QmRun"));
    OpenWindow();
    for (WORD command : {static_cast<WORD>(IDOK), static_cast<WORD>(IDCANCEL), static_cast<WORD>(0)}) {
        DialogWatcher::Seen seen = ShowAndAnswer(L"QmRun", command);
        EXPECT_EQ(TextAfter(seen, L"Driver state"), L"Started");
    }
    EXPECT_EQ(RegQueryClassValue("LowerFilters").exists, false);
}

} // namespace
