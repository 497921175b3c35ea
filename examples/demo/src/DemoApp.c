/* The demo product's main program: a window that says it is installed. With "/check" it only
   writes DemoApp.ran next to itself, so tests can see that the installer started it. */
#include <windows.h>

static void WriteMarker(const wchar_t* Name) {
    wchar_t Path[MAX_PATH];
    DWORD Length = GetModuleFileNameW(NULL, Path, MAX_PATH);
    while (Length > 0 && Path[Length - 1] != L'\\') --Length;
    Path[Length] = 0;
    if (Length + lstrlenW(Name) >= MAX_PATH) return;
    lstrcatW(Path, Name);
    HANDLE File = CreateFileW(Path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (File != INVALID_HANDLE_VALUE) {
        DWORD Written;
        WriteFile(File, "ran\r\n", 5, &Written, NULL);
        CloseHandle(File);
    }
}

int WINAPI wWinMain(HINSTANCE Instance, HINSTANCE Previous, PWSTR CommandLine, int Show) {
    (void)Instance;
    (void)Previous;
    (void)Show;
    WriteMarker(L"DemoApp.ran");
    if (CommandLine && lstrcmpiW(CommandLine, L"/check") == 0) return 0;
    MessageBoxW(NULL, L"Onesetup 演示程序已安装。", L"Onesetup 演示", MB_OK | MB_ICONINFORMATION);
    return 0;
}
