#include "services/version_info.h"

#include "base/handles.h"
#include "base/system_library.h"
#include "base/text_sizes.h"

#include <cwchar>

namespace {

// String table used when a resource has no translation table.
constexpr WORD DefaultLanguage = 0x03EC;
constexpr WORD DefaultCodePage = 0x0400;

// The version library is not one of the loader's known system libraries, so it
// is loaded from the system folder at first use rather than imported.
struct VersionCalls {
    DWORD(WINAPI* getSize)(const wchar_t* file, DWORD* handle);
    BOOL(WINAPI* getInfo)(const wchar_t* file, DWORD handle, DWORD size, void* data);
    BOOL(WINAPI* query)(const void* block, const wchar_t* subBlock, void** value, UINT* length);
};

const VersionCalls& Version()
{
    static const VersionCalls calls = [] {
        HMODULE library = LoadSystemLibrary(L"version.dll");
        return VersionCalls{LookUpProcedure<decltype(VersionCalls::getSize)>(library, "GetFileVersionInfoSizeW"),
                            LookUpProcedure<decltype(VersionCalls::getInfo)>(library, "GetFileVersionInfoW"),
                            LookUpProcedure<decltype(VersionCalls::query)>(library, "VerQueryValueW")};
    }();
    return calls;
}

// While alive, the calling thread of a 32-bit process on a 64-bit system opens
// files in the native system folder instead of its redirected stand-in. Loads
// made meanwhile would get the 64-bit libraries, so it lives only around file reads.
class NativeFileSystemView {
public:
    explicit NativeFileSystemView(bool wanted)
    {
        if (wanted && RunningUnderWow64())
            disabled_ = wow64Calls.disableRedirection(&previous_) != FALSE;
    }
    ~NativeFileSystemView()
    {
        if (!disabled_)
            return;
        DWORD error = GetLastError();
        wow64Calls.revertRedirection(previous_);
        SetLastError(error);
    }
    NativeFileSystemView(const NativeFileSystemView&) = delete;
    NativeFileSystemView& operator=(const NativeFileSystemView&) = delete;

private:
    void* previous_ = nullptr;
    bool disabled_ = false;
};

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

// The whole version information of `file`, or none.
UniqueHeapBlock ReadVersionBlock(const VersionCalls& calls, const wchar_t* file, bool nativeView)
{
    NativeFileSystemView view(nativeView);
    DWORD ignored = 0;
    DWORD size = calls.getSize(file, &ignored);
    if (size == 0)
        return UniqueHeapBlock();
    UniqueHeapBlock block = AllocateHeapBlock(size);
    if (block && !calls.getInfo(file, 0, size, block.get()))
        block.reset();
    return block;
}

bool ReadString(const wchar_t* path, const wchar_t* key, wchar_t* out, bool nativeView)
{
    // Resolved before any redirection is turned off, so the library is this build's own.
    const VersionCalls& calls = Version();
    if (!calls.getSize || !calls.getInfo || !calls.query)
        return false;
    wchar_t file[PathLength] = {};
    if (!TakeFilePath(path, file))
        return false;
    UniqueHeapBlock block = ReadVersionBlock(calls, file, nativeView);
    if (!block)
        return false;

    // Only the first translation entry names the table; an entry too short to hold
    // a language and a code page keeps the default.
    WORD language = DefaultLanguage;
    WORD codePage = DefaultCodePage;
    void* translation = nullptr;
    UINT translationBytes = 0;
    if (calls.query(block.get(), L"\\VarFileInfo\\Translation", &translation, &translationBytes) && translation &&
        translationBytes >= 2 * sizeof(WORD)) {
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
    if (!calls.query(block.get(), subBlock, &value, &characters))
        return false;
    // The reported count may or may not include a terminator; a long value is cut
    // so that `out` always stays a terminated text.
    if (value && characters > 0) {
        UINT copied = characters < DisplayTextLength - 1 ? characters : DisplayTextLength - 1;
        lstrcpynW(out, static_cast<const wchar_t*>(value), static_cast<int>(copied) + 1);
    }
    return true;
}

} // namespace

bool ReadVersionString(const wchar_t* path, const wchar_t* key, wchar_t* out)
{
    return ReadString(path, key, out, false);
}

bool ReadDriverVersionString(const wchar_t* path, const wchar_t* key, wchar_t* out)
{
    return path && ReadString(path, key, out, true);
}

bool DriverFilePresent(const wchar_t* path)
{
    NativeFileSystemView view(true);
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
        return true;
    DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}
