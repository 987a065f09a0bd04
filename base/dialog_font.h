// The one font the program makes for its dialogs' headings and labels.
#pragma once

#include "base/handles.h"

// The dialog font (the stock GUI font) in bold, for headings and labels; null
// when it cannot be made.
inline UniqueFont CreateBoldDialogFont()
{
    LOGFONTW font{};
    if (GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font) == 0)
        return UniqueFont();
    font.lfWeight = FW_BOLD;
    return UniqueFont(CreateFontIndirectW(&font));
}
