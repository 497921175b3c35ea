/* Runs a command line, waits for it and reports its exit code, wall time and peak committed
   (private) memory as the process itself accounts it (PeakPagefileUsage).
   usage: memory_watch "COMMAND LINE"   prints: exit=N seconds=S peak_bytes=B */
#include <windows.h>
#include <psapi.h>
#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        fwprintf(stderr, L"usage: memory_watch \"COMMAND LINE\"\n");
        return 2;
    }
    STARTUPINFOW Startup = {0};
    Startup.cb = sizeof(Startup);
    PROCESS_INFORMATION Process;
    LARGE_INTEGER Frequency, Start, End;
    QueryPerformanceFrequency(&Frequency);
    QueryPerformanceCounter(&Start);
    if (!CreateProcessW(NULL, argv[1], NULL, NULL, FALSE, 0, NULL, NULL, &Startup, &Process)) {
        fwprintf(stderr, L"cannot start: %lu\n", GetLastError());
        return 2;
    }
    SIZE_T Peak = 0;
    /* The peak counter is the process's own; polling also catches it should the system reset
       it at exit. */
    for (;;) {
        PROCESS_MEMORY_COUNTERS Counters;
        Counters.cb = sizeof(Counters);
        if (GetProcessMemoryInfo(Process.hProcess, &Counters, sizeof(Counters))) {
            if (Counters.PeakPagefileUsage > Peak) Peak = Counters.PeakPagefileUsage;
            if (Counters.PagefileUsage > Peak) Peak = Counters.PagefileUsage;
        }
        if (WaitForSingleObject(Process.hProcess, 20) == WAIT_OBJECT_0) break;
    }
    QueryPerformanceCounter(&End);
    DWORD Code = 0;
    GetExitCodeProcess(Process.hProcess, &Code);
    printf("exit=%lu seconds=%.3f peak_bytes=%llu\n", Code,
           (double)(End.QuadPart - Start.QuadPart) / (double)Frequency.QuadPart,
           (unsigned long long)Peak);
    CloseHandle(Process.hThread);
    CloseHandle(Process.hProcess);
    return 0;
}
