#include "app/console_output.h"

#include "app/console_text.h"

#include <algorithm>

Outcome Failed(const std::wstring& summary)
{
    return {ConsoleFailed, {}, summary};
}

void Print(const Outcome& outcome, std::wstring* output)
{
    for (const std::wstring& line : outcome.lines)
        *output += OneLine(line, true) + L"\n";
    *output += (outcome.json ? outcome.summary : CutSummary(OneLine(outcome.summary))) + L"\n";
}

void WriteConsoleText(HANDLE handle, const std::wstring& text)
{
    if (text.empty() || handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        // In pieces: older consoles refuse a single large write.
        for (size_t done = 0; done < text.size();) {
            DWORD piece = static_cast<DWORD>(std::min<size_t>(text.size() - done, 8192));
            DWORD written = 0;
            if (!WriteConsoleW(handle, text.c_str() + done, piece, &written, nullptr) || written == 0)
                return;
            done += written;
        }
        return;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
    if (bytes <= 0)
        return;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr,
                        nullptr);
    // A pipe may take less than all of it at once.
    for (size_t done = 0; done < utf8.size();) {
        DWORD written = 0;
        if (!WriteFile(handle, utf8.data() + done, static_cast<DWORD>(utf8.size() - done), &written, nullptr) ||
            written == 0)
            return;
        done += written;
    }
}
