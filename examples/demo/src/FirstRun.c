/* Run by the installer and waited for: prepares the product's data folder and records that
   it ran, with its arguments, in data\first-run.txt next to the program's folder. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE Instance, HINSTANCE Previous, PWSTR CommandLine, int Show) {
    (void)Instance;
    (void)Previous;
    (void)Show;
    wchar_t Path[MAX_PATH];
    DWORD Length = GetModuleFileNameW(NULL, Path, MAX_PATH);
    /* from ...\bin\FirstRun.exe to ...\data\first-run.txt */
    int Slashes = 0;
    while (Length > 0 && Slashes < 2)
        if (Path[--Length] == L'\\') ++Slashes;
    Path[Length + 1] = 0;
    if (Length + 20 >= MAX_PATH) return 1;
    lstrcatW(Path, L"data");
    CreateDirectoryW(Path, NULL);
    lstrcatW(Path, L"\\first-run.txt");
    HANDLE File = CreateFileW(Path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (File == INVALID_HANDLE_VALUE) return 2;
    char Text[512];
    int Size = WideCharToMultiByte(CP_UTF8, 0, CommandLine ? CommandLine : L"", -1, Text, sizeof(Text) - 2, NULL, NULL);
    if (Size < 1) Size = 1;
    Text[Size - 1] = '\r';
    Text[Size] = '\n';
    DWORD Written;
    WriteFile(File, Text, (DWORD)(Size + 1), &Written, NULL);
    CloseHandle(File);
    return 0;
}
