// A real filter list in a window made from the main dialog template, with the list's
// notifications routed as the main window routes them, over a class key and
// services that each test arranges.
#pragma once

#include "support/scratch_folder.h"
#include "support/wine_tools.h"
#include "ui/filter_list.h"

#include "base/handles.h"

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>
#include <vector>

// What the program told the control about groups. The list view this runs on keeps
// no group ids and draws no groups (it reads back 0 for every row), so the messages
// are recorded on their way in rather than read back.
struct GroupRecord {
    struct InsertedGroup {
        int position;
        int id;
        std::wstring header;
        UINT cbSize;
    };
    std::vector<InsertedGroup> groups;
    bool groupViewEnabled = false;
    std::map<std::wstring, std::vector<int>> itemGroups; // listed name -> group per inserted row
};

class FilterWindowTest : public ::testing::Test, ScratchMachine {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the window, sets the list up and fills it from the class key.
    void OpenWindow();
    // The two halves of OpenWindow, for tests that must act in between.
    void CreateHost();
    void FillList();
    void CloseWindow();

    int RowCount() const;
    std::wstring RowText(int row, int column = 0) const;
    int RowImage(int row) const;
    UINT RowState(int row) const;
    const FilterItem* Row(int row) const; // the row's item data
    const wchar_t* RowName(int row) const;
    // Index of the row whose item data reads `name` in `group`, or -1.
    int FindRow(const std::wstring& name, int group) const;

    // Sends the list's notification the way the control does, to the host window.
    void SendKeyDown(WORD key);
    void ClickAt(int row, bool onCheckBox);
    void DoubleClick(int row);
    void Select(int row);

    void WriteDescriptions(const std::string& content);

    HWND host = nullptr;
    HWND list = nullptr;
    HWND statusBar = nullptr;
    static GroupRecord groupRecord;

private:
    static LRESULT CALLBACK RecordingListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static WNDPROC originalListProc;
    ScratchCurrentDirectory directory_{L"ui"};
};

// A 32-bit picture of `cx` by `cy` pixels drawn by `draw` into a memory context,
// so the pixels can be read back whatever the display driver keeps.
template <typename Draw>
std::vector<DWORD> Picture(int cx, int cy, Draw draw)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = cx;
    info.bmiHeader.biHeight = -cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    UniqueMemoryDC dc(CreateCompatibleDC(nullptr));
    UniqueGdiObject bitmap(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap)
        return {};
    HGDIOBJ previous = SelectObject(dc.get(), bitmap.get());
    draw(dc.get());
    GdiFlush();
    std::vector<DWORD> pixels(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + cx * cy);
    SelectObject(dc.get(), previous);
    return pixels;
}
