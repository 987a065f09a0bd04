/* A stranger's version.dll, planted beside the program. It exports what the
   program once imported from the real library, so a program that still imported
   it would load it and start. It leaves a marker file beside itself when asked
   about any file but the program's own: under Wine, user32.dll imports
   version.dll (Windows' does not), so it loads any planted one before the
   program's first line runs and asks it about the program's file. Only the
   program's version reader asks about a driver file. */
#include <windows.h>

static HINSTANCE self;

static void MarkIfAskedByTheProgram(LPCWSTR file)
{
    static const wchar_t marker[] = L"planted-version-called";
    wchar_t program[MAX_PATH] = {0};
    wchar_t path[MAX_PATH + sizeof(marker) / sizeof(wchar_t)];
    DWORD length;
    GetModuleFileNameW(NULL, program, MAX_PATH);
    if (file && lstrcmpiW(file, program) == 0)
        return;
    length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    while (length > 0 && path[length - 1] != L'\\')
        --length;
    lstrcpynW(path + length, marker, (int)(sizeof(marker) / sizeof(wchar_t)));
    CloseHandle(CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        self = instance;
    return TRUE;
}

__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD handle)
{
    MarkIfAskedByTheProgram(file);
    if (handle)
        *handle = 0;
    return 0;
}

__declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(LPCWSTR file, DWORD handle, DWORD size, LPVOID data)
{
    (void)handle, (void)size, (void)data;
    MarkIfAskedByTheProgram(file);
    return FALSE;
}

__declspec(dllexport) BOOL WINAPI VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* value, PUINT length)
{
    (void)block, (void)subBlock, (void)value, (void)length;
    return FALSE;
}
