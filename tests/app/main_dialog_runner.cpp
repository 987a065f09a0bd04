#include "main_dialog_runner.h"

#include "app/main_window.h"
#include "res/resource.h"

#include <cstdio>


namespace {

struct RunState {
    std::vector<DialogStep> steps;
    size_t next = 0;
    bool busy = false;
    HWND dialog = nullptr;
};

RunState* currentRun;

BOOL CALLBACK FindMainDialog(HWND window, LPARAM found)
{
    if (GetDlgItem(window, IDC_FILTER_LIST) && GetDlgItem(window, IDC_STATUS_BAR)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK StepTimer(HWND, UINT, UINT_PTR, DWORD)
{
    RunState* run = currentRun;
    if (!run || run->busy)
        return; // a step that pumps messages must not start the next one
    if (!run->dialog) {
        // The dialog manager shows the window the first time its queue runs empty,
        // which can come after a tick that was already due; so the first tick that
        // finds the dialog only waits for the next.
        EnumThreadWindows(GetCurrentThreadId(), FindMainDialog, reinterpret_cast<LPARAM>(&run->dialog));
        return;
    }
    if (run->next < run->steps.size()) {
        run->busy = true;
        run->steps[run->next++](run->dialog);
        run->busy = false;
    } else if (IsWindow(run->dialog)) {
        EndDialog(run->dialog, StillOpen);
    }
}

} // namespace

DialogRun RunMainDialog(std::vector<DialogStep> steps)
{
    RunState run;
    run.steps = std::move(steps);
    currentRun = &run;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, StepTimer);
    DialogRun result;
    result.result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), GetDesktopWindow(),
                                    MainDialogProc, 0);
    KillTimer(nullptr, timer);
    currentRun = nullptr;
    // Drop a tick that may already be queued for the finished run.
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
    result.stepsRun = run.next;
    return result;
}

HWND CreateMainDialogModeless()
{
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), GetDesktopWindow(),
                              MainDialogProc, 0);
}

RECT ControlRect(HWND dialog, int id)
{
    RECT rect{};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

RECT ClientRect(HWND window)
{
    RECT rect{};
    GetClientRect(window, &rect);
    return rect;
}

std::string Describe(const RECT& rect)
{
    char text[64];
    std::snprintf(text, sizeof(text), "(%ld, %ld, %ld, %ld)", static_cast<long>(rect.left),
                  static_cast<long>(rect.top), static_cast<long>(rect.right), static_cast<long>(rect.bottom));
    return text;
}

ScratchAppData::ScratchAppData()
{
    wchar_t saved[32767];
    DWORD length = GetEnvironmentVariableW(L"APPDATA", saved, 32767);
    hadAppData_ = length > 0 && length < 32767;
    if (hadAppData_)
        savedAppData_ = saved;
    SetEnvironmentVariableW(L"APPDATA", folder().c_str());
}

ScratchAppData::~ScratchAppData()
{
    SetEnvironmentVariableW(L"APPDATA", hadAppData_ ? savedAppData_.c_str() : nullptr);
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

std::wstring ReadTextFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    std::wstring text;
    for (char c : bytes)
        text += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return text;
}

std::wstring Trim(const std::wstring& text)
{
    size_t begin = text.find_first_not_of(L" \t\r");
    if (begin == std::wstring::npos)
        return {};
    size_t end = text.find_last_not_of(L" \t\r");
    return text.substr(begin, end - begin + 1);
}

// Every line of the file, with the section it stands in; a section line itself
// comes with an empty key.
template <typename Visit>
void ForEachLine(const std::wstring& path, Visit visit)
{
    std::wstring text = ReadTextFile(path);
    std::wstring section;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.size() >= 2 && line.front() == L'[' && line.back() == L']') {
            section = line.substr(1, line.size() - 2);
            visit(section, std::wstring(), std::wstring(), true);
            continue;
        }
        size_t equals = line.find(L'=');
        if (equals != std::wstring::npos)
            visit(section, Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)), false);
    }
}

} // namespace

std::vector<IniEntry> ReadIniSection(const std::wstring& path, const std::wstring& section)
{
    std::vector<IniEntry> entries;
    ForEachLine(path, [&](const std::wstring& in, const std::wstring& key, const std::wstring& value, bool header) {
        if (!header && lstrcmpiW(in.c_str(), section.c_str()) == 0)
            entries.push_back({key, value});
    });
    return entries;
}

bool SectionPresent(const std::wstring& path, const std::wstring& section)
{
    bool present = false;
    ForEachLine(path, [&](const std::wstring& in, const std::wstring&, const std::wstring&, bool header) {
        if (header && lstrcmpiW(in.c_str(), section.c_str()) == 0)
            present = true;
    });
    return present;
}
