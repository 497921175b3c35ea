/* A package program that records each run: one line "<current folder>|<command line>" appended
   to "<own path>.txt". With "--slow" in its arguments it writes only after 1.5 s, so that a
   caller that does not wait for it has ended before the line exists. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE Instance, HINSTANCE Previous, PWSTR Arguments, int Show) {
    (void)Instance;
    (void)Previous;
    (void)Show;
    if (Arguments && wcsstr(Arguments, L"--slow")) Sleep(1500);
    wchar_t Path[MAX_PATH + 8];
    const DWORD Length = GetModuleFileNameW(NULL, Path, MAX_PATH);
    if (Length == 0 || Length >= MAX_PATH) return 1;
    lstrcatW(Path, L".txt");

    wchar_t Line[4096];
    const DWORD Folder = GetCurrentDirectoryW(MAX_PATH, Line);
    if (Folder == 0 || Folder >= MAX_PATH) return 2;
    lstrcatW(Line, L"|");
    const wchar_t* CommandLine = GetCommandLineW();
    if (lstrlenW(Line) + lstrlenW(CommandLine) + 2 >= 4096) return 3;
    lstrcatW(Line, CommandLine);
    lstrcatW(Line, L"\n");

    char Text[4 * 4096];
    const int Size = WideCharToMultiByte(CP_UTF8, 0, Line, -1, Text, sizeof(Text), NULL, NULL);
    if (Size <= 1) return 4;
    HANDLE File = CreateFileW(Path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (File == INVALID_HANDLE_VALUE) return 5;
    DWORD Written = 0;
    const BOOL Done = WriteFile(File, Text, (DWORD)(Size - 1), &Written, NULL);
    CloseHandle(File);
    return Done ? 0 : 6;
}
