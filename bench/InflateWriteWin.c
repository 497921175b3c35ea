/* The plain inflate-and-write reference as a Windows program, so that it pays what the installer
   pays under the same system: streams dumped by inflate_write --dump, each read whole, inflated
   with zlib and written with WriteFile, one file at a time. Reading counts: the installer too
   has to bring its package in from the disk.
   usage: inflate_write_win STREAMDIR COUNT OUTDIR     prints: bytes=N seconds=S */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <zlib.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        fwprintf(stderr, L"usage: inflate_write_win STREAMDIR COUNT OUTDIR\n");
        return 2;
    }
    const int Count = _wtoi(argv[2]);
    CreateDirectoryW(argv[3], NULL);
    static unsigned char Buffer[256 * 1024];
    unsigned char* Stream = NULL;
    DWORD Capacity = 0;
    wchar_t Path[MAX_PATH];
    unsigned long long Total = 0;
    LARGE_INTEGER Frequency, Start, End;
    QueryPerformanceFrequency(&Frequency);
    QueryPerformanceCounter(&Start);
    for (int I = 0; I < Count; ++I) {
        swprintf(Path, MAX_PATH, L"%ls\\%d", argv[1], I);
        HANDLE In = CreateFileW(Path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        if (In == INVALID_HANDLE_VALUE) return 1;
        const DWORD Size = GetFileSize(In, NULL);
        if (Size > Capacity) {
            free(Stream);
            Capacity = Size;
            Stream = malloc(Capacity);
            if (!Stream) return 1;
        }
        DWORD Read = 0;
        if (Size && (!ReadFile(In, Stream, Size, &Read, NULL) || Read != Size)) return 1;
        CloseHandle(In);

        swprintf(Path, MAX_PATH, L"%ls\\f%d", argv[3], I);
        HANDLE Out = CreateFileW(Path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        if (Out == INVALID_HANDLE_VALUE) return 1;
        if (Size) {
            z_stream Z = {0};
            inflateInit(&Z);
            Z.next_in = Stream;
            Z.avail_in = Size;
            int Result;
            do {
                Z.next_out = Buffer;
                Z.avail_out = sizeof(Buffer);
                Result = inflate(&Z, Z_NO_FLUSH);
                DWORD Produced = (DWORD)(sizeof(Buffer) - Z.avail_out), Written = 0;
                if (Produced && !WriteFile(Out, Buffer, Produced, &Written, NULL)) return 1;
                Total += Produced;
            } while (Result == Z_OK);
            inflateEnd(&Z);
        }
        CloseHandle(Out);
    }
    QueryPerformanceCounter(&End);
    free(Stream);
    printf("bytes=%llu seconds=%.3f\n", Total,
           (double)(End.QuadPart - Start.QuadPart) / (double)Frequency.QuadPart);
    return 0;
}
