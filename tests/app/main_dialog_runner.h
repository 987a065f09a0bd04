// Runs the real main dialog (template 120 with MainDialogProc) modally on the
// test's thread, the way the program does, and drives it from timer steps that
// run inside the dialog's own message loop.
#pragma once

#include "support/scratch_folder.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

using DialogStep = std::function<void(HWND dialog)>;

struct DialogRun {
    INT_PTR result = 0;   // what DialogBoxParamW returned
    size_t stepsRun = 0;  // steps started before the dialog ended
};

// Each step runs on its own timer tick, so whatever a step posts is handled by
// the dialog loop before the next step starts. A step that ends the dialog stops
// the run. If the dialog is still open after the last step, it is ended with
// `StillOpen`, so a test can tell "closed by the step" from "left open".
inline constexpr INT_PTR StillOpen = 0x5117;
DialogRun RunMainDialog(std::vector<DialogStep> steps);

// The same dialog created modeless: WM_INITDIALOG has run when this returns, and
// no dialog loop re-shows the window afterwards. DestroyWindow ends it.
HWND CreateMainDialogModeless();

// A control's rectangle in the dialog's client coordinates.
RECT ControlRect(HWND dialog, int id);
RECT ClientRect(HWND window);
std::string Describe(const RECT& rect);

// Points APPDATA at a fresh scratch folder for the object's lifetime, so that no
// test touches the prefix user's own settings; the folder goes afterwards.
class ScratchAppData {
public:
    ScratchAppData();
    ~ScratchAppData();
    ScratchAppData(const ScratchAppData&) = delete;
    ScratchAppData& operator=(const ScratchAppData&) = delete;

    const std::wstring& folder() const { return folder_.path(); }
    std::wstring SettingsPath() const { return folder() + L"\\tolvern\\settings.ini"; }

private:
    ScratchFolder folder_{L"appdata"};
    std::wstring savedAppData_;
    bool hadAppData_ = false;
};

bool FileExists(const std::wstring& path);

// The keys of one section as the file holds them, read from the bytes on disk
// without the profile functions; empty when the file or the section is missing.
struct IniEntry {
    std::wstring key;
    std::wstring value;
};
std::vector<IniEntry> ReadIniSection(const std::wstring& path, const std::wstring& section);
bool SectionPresent(const std::wstring& path, const std::wstring& section);
