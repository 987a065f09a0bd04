#include "services/version_info.h"

#include "base/handles.h"
#include "base/text_sizes.h"

#include <cwchar>

namespace {

// String table used when a resource has no translation table.
constexpr WORD DefaultLanguage = 0x03EC;
constexpr WORD DefaultCodePage = 0x0400;

// The file to read: the given path, or the program's own file. A path that does
// not fit is refused rather than cut, since a cut path names another file.
bool TakeFilePath(const wchar_t* path, wchar_t* file)
{
    if (path) {
        if (std::wcslen(path) >= PathLength)
            return false;
        lstrcpynW(file, path, static_cast<int>(PathLength));
        return true;
    }
    DWORD length = GetModuleFileNameW(nullptr, file, static_cast<DWORD>(PathLength));
    return length > 0 && length < PathLength;
}

} // namespace

bool ReadVersionString(const wchar_t* path, const wchar_t* key, wchar_t* out)
{
    wchar_t file[PathLength] = {};
    if (!TakeFilePath(path, file))
        return false;

    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(file, &ignored);
    if (size == 0)
        return false;
    UniqueHeapBlock block = AllocateHeapBlock(size);
    if (!block || !GetFileVersionInfoW(file, 0, size, block.get()))
        return false;

    // Only the first translation entry names the table; an entry too short to hold
    // a language and a code page keeps the default.
    WORD language = DefaultLanguage;
    WORD codePage = DefaultCodePage;
    void* translation = nullptr;
    UINT translationBytes = 0;
    if (VerQueryValueW(block.get(), L"\\VarFileInfo\\Translation", &translation, &translationBytes) &&
        translation && translationBytes >= 2 * sizeof(WORD)) {
        const WORD* entry = static_cast<const WORD*>(translation);
        language = entry[0];
        codePage = entry[1];
    }

    wchar_t subBlock[DisplayTextLength + 1];
    int built = std::swprintf(subBlock, DisplayTextLength + 1, L"\\StringFileInfo\\%04X%04X\\%ls",
                              static_cast<unsigned>(language), static_cast<unsigned>(codePage), key);
    if (built < 0 || static_cast<size_t>(built) > DisplayTextLength)
        return false;

    out[0] = L'\0';
    void* value = nullptr;
    UINT characters = 0;
    if (!VerQueryValueW(block.get(), subBlock, &value, &characters))
        return false;
    // The reported count may or may not include a terminator; a long value is cut
    // so that `out` always stays a terminated text.
    if (value && characters > 0) {
        UINT copied = characters < DisplayTextLength - 1 ? characters : DisplayTextLength - 1;
        lstrcpynW(out, static_cast<const wchar_t*>(value), static_cast<int>(copied) + 1);
    }
    return true;
}
