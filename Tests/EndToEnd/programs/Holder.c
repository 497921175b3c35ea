/* Runs until it is killed. "Holder READY [LOCKED]": first opens LOCKED (when given) without
   sharing, then creates the file READY to tell the test it is in place. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE Instance, HINSTANCE Previous, PWSTR CommandLine, int Show) {
    (void)Instance;
    (void)Previous;
    (void)CommandLine;
    (void)Show;
    int Count = 0;
    wchar_t** Arguments = CommandLineToArgvW(GetCommandLineW(), &Count);
    if (!Arguments || Count < 2) return 1;
    if (Count >= 3) {
        /* Kept open, never closed: the handle lives as long as the process. */
        HANDLE Locked = CreateFileW(Arguments[2], GENERIC_READ, 0, NULL, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
        if (Locked == INVALID_HANDLE_VALUE) return 2;
    }
    HANDLE Ready = CreateFileW(Arguments[1], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (Ready == INVALID_HANDLE_VALUE) return 3;
    CloseHandle(Ready);
    for (;;)
        Sleep(INFINITE);
}
