#include "ui/properties_dialog.h"

#include "base/dialog_font.h"
#include "base/strings.h"
#include "res/resource.h"
#include "services/service_info.h"
#include "services/version_info.h"
#include "ui/filter_list.h"

#include <initializer_list>
#include <iterator>

namespace {

struct PropertiesContext {
    HWND owner;
    const ServiceInfo* info;
};

// The dialog is modal, so there is at most one of each.
const PropertiesContext* currentContext;
UniqueFont boldLabelFont;

void SetVersionField(HWND dialog, int controlId, const wchar_t* path, const wchar_t* key)
{
    wchar_t text[DisplayTextLength] = {};
    if (!ReadDriverVersionString(path, key, text))
        LoadStringW(ProgramModule(), IDS_UNKNOWN, text, static_cast<int>(std::size(text)));
    SetDlgItemTextW(dialog, controlId, text);
}

void MakeLabelsBold(HWND dialog)
{
    boldLabelFont = CreateBoldDialogFont();
    if (!boldLabelFont)
        return;
    for (int id : {IDC_VERSION_LABEL, IDC_VENDOR_LABEL, IDC_STATE_LABEL, IDC_DESCRIPTION_LABEL})
        SendDlgItemMessageW(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(boldLabelFont.get()), TRUE);
}

void InitProperties(HWND dialog)
{
    wchar_t title[DisplayTextLength] = {};
    if (LoadStringW(ProgramModule(), IDS_PROPERTIES, title, static_cast<int>(std::size(title))) > 0)
        SetWindowTextW(dialog, title);
    SetTextFromString(dialog, IDOK, IDS_OK);
    SetTextFromString(dialog, IDC_VENDOR_LABEL, IDS_VENDOR);
    SetTextFromString(dialog, IDC_STATE_LABEL, IDS_DRIVER_STATE);
    SetTextFromString(dialog, IDC_DESCRIPTION_LABEL, IDS_COLUMN_DESCRIPTION);
    SetTextFromString(dialog, IDC_VERSION_LABEL, IDS_VERSION);
    MakeLabelsBold(dialog);

    if (!currentContext)
        return;
    const ServiceInfo& info = *currentContext->info;
    // An image path that names no file of this machine is not read at all: Unknown.
    wchar_t path[PathLength] = {};
    const wchar_t* file = ResolveDriverFilePath(info.imagePath, path) ? path : nullptr;
    SetVersionField(dialog, IDC_VENDOR_VALUE, file, L"CompanyName");
    SetVersionField(dialog, IDC_VERSION_VALUE, file, L"FileVersion");

    wchar_t stateText[DisplayTextLength];
    LoadServiceStateText(info.currentState, stateText);
    SetDlgItemTextW(dialog, IDC_STATE_VALUE, stateText);
    SetDlgItemTextW(dialog, IDC_DESCRIPTION_VALUE, info.description);
}

} // namespace

void ShowPropertiesDialog(HWND owner, const FilterItem* item)
{
    ServiceInfo info{};
    QueryServiceInfo(item->name, &info);
    PropertiesContext context{owner, &info};
    currentContext = &context;
    DialogBoxParamW(ProgramModule(), MAKEINTRESOURCEW(IDD_PROPERTIES), owner, PropertiesDialogProc, 0);
    currentContext = nullptr;
}

INT_PTR CALLBACK PropertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitProperties(dialog);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            EndDialog(dialog, IDOK);
        else if (LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, IDCANCEL);
        return 0;
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return 0;
    case WM_DESTROY:
        boldLabelFont.reset();
        return 0;
    default:
        return 0;
    }
}
