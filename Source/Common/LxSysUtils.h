#pragma once

#include "LxFunctionRef.h"
#include "LxTypes.h"

#include <vector>

class TStream;

// The system headers map this name to GetTempPathW; the service keeps its own.
#undef GetTempPath

using TByteSink = TFunctionRef<void(const uint8_t* Data, size_t Size)>;

#ifdef _WIN32
// Win32 handles without <windows.h>: a window (HWND) and a loaded module (HMODULE).
using TWindowHandle = void*;
using TModuleHandle = void*;
#endif

// The version the system reports: platform identifier (2 for the NT family), major, minor.
struct TLxOsVersion {
    uint32_t PlatformId = 0;
    uint32_t Major = 0;
    uint32_t Minor = 0;
};

constexpr uint32_t VerPlatformWin32Nt = 2;

// NT family and at least Major.Minor.
constexpr bool OsVersionAtLeast(const TLxOsVersion& Version, uint32_t Major, uint32_t Minor) {
    return Version.PlatformId == VerPlatformWin32Nt &&
           (Version.Major > Major || (Version.Major == Major && Version.Minor >= Minor));
}

class TLxSysfn {
public:
    TLxSysfn() = delete;
    // Whole-stream zlib at level 9; the destination is emptied first and left at its end.
    static void CompressStream(TStream* Source, TStream* Dest);
    // Raises the decompression error "Error" for anything but one complete zlib stream.
    static void DecompressStream(TStream* Source, TStream* Dest);
#ifdef _WIN32
    // The text in the ANSI code page plus CR LF on standard output; a failed write is dropped.
    static void WriteConsoleLine(WideStringView Text);
    // Only a developer build (ONESETUP_DEVELOPER_BUILD) under a debugger; a release build never.
    static bool IsDeveloperMode();
    // The programs run with administrator rights from folders full of strangers' files: every
    // DLL loaded later comes from the system folder only. The first call of a program.
    static void RestrictDllSearch();
    // <System32>\Name: system commands are started by full path, never from the search path.
    // Empty when the system folder is unknown.
    static WideString SystemFolderPath(WideStringView Name);
    // Windows' own text for an error code; "Error N" when it has none.
    static WideString SysErrorMessage(uint32_t Error);
#endif
};

class TLxStrfn {
public:
    TLxStrfn() = delete;
    // Registry form: braces, upper-case hexadecimal digits, 38 characters.
    static WideString NewGUIDString();
};

// Local date-times (days since 1899-12-30); a value within 1e-12 of zero leaves that time as
// it is.
struct TLxFileTimes {
    TDateTime CreationTime = 0;
    TDateTime LastWriteTime = 0;
    TDateTime LastAccessTime = 0;
};

class TLxFilefn {
public:
    TLxFilefn() = delete;
    // Creates the folder of a file path when it is missing; failure shows up when writing.
    static void ForceFileDir(WideStringView FileName);
#ifdef _WIN32
    // The extended-length form of a path ("\\?\C:\..." or "\\?\UNC\server\share\..."),
    // absolute and normalised, which no 260-character limit applies to. Every file-system call
    // takes its path through this; other forms (relative to nothing, devices) come back as they
    // are.
    static WideString ExtendedPath(WideStringView Path);
    // Empty when the path does not exist.
    static WideString GetLongPathName(WideStringView Path);
    // True when the file is gone, also when it was read-only or was never there.
    static bool ForceDeleteFile(WideStringView Path);
    // An empty folder only.
    static bool RemoveDir(WideStringView Path);
    // Within one volume.
    static bool RenameFile(WideStringView From, WideStringView To, bool ReplaceExisting);
    // The same for a file open with delete access (a HANDLE), replacing To: no second open.
    static bool RenameOpenFile(void* File, WideStringView To);
    // Deleted by the system at the next restart.
    static bool DeleteAtRestart(WideStringView Path);
    // A copy of From at To, which must not exist yet.
    static bool CopyToNewFile(WideStringView From, WideStringView To);
    // The file opened for deletion once its last handle closes, shared for reading (so that it
    // can still be run) and deleting; an inheritable HANDLE, or null.
    static void* OpenDeletedOnClose(WideStringView Path);
    // The form in which two names of one file are equal: absolute, normalised ("..", "/"),
    // long names where the file exists, upper case. Empty when the path is not valid.
    static WideString ComparablePath(WideStringView Path);
    // False when the file cannot be opened exclusively or the times cannot be set.
    static bool SetFileTimes(WideStringView FileName, const TLxFileTimes& Times);
    // The same on a file already open for writing (a HANDLE), sparing a second open.
    static bool SetFileTimes(void* File, const TLxFileTimes& Times);
#endif
};

#ifdef _WIN32
class TLxRegfn {
public:
    TLxRegfn() = delete;
    // A shell folder (CSIDL value) with a trailing backslash; empty when the system has none.
    static WideString GetSpecialFolder(int Csidl);
};

// A running process: its id, its executable's file name, and (when asked for and readable) the
// executable's full path.
struct TLxProcess {
    uint32_t Id = 0;
    WideString ExeName;
    WideString ImagePath;
};

// Process, shell and message-box services. They report failure through their results.
class TLxWinfn {
public:
    TLxWinfn() = delete;
    // Exit code of the program; 1 also when it cannot be started. Blocks without pumping
    // window messages, or, with KeepPainting, while the thread's windows keep painting.
    static uint32_t RunAndWait(WideStringView CommandLine, bool KeepPainting = false);
    // Visits every process of one snapshot of the running ones. Reading the full paths opens
    // every process.
    static void ForEachProcess(bool WithImagePaths, TFunctionRef<void(const TLxProcess&)> Visit);
    // Ends the process and waits until it is gone, at most TimeoutMs, while the thread's windows
    // keep painting. False when it cannot be opened or ended (another user's, a protected one).
    static bool EndProcess(uint32_t Id, uint32_t TimeoutMs);
    // Ends every other process whose executable's ComparablePath is one of Paths, a few seconds
    // in all, then waits a moment for the system to release their files. Returns how many.
    static int EndProcessesOf(const std::vector<WideString>& Paths);
    // Waits while the thread's windows keep painting; input that arrives meanwhile is dropped.
    static void SleepPainting(uint32_t Milliseconds);
    // The same until Object (a waitable handle) is signalled; false on the timeout.
    static bool WaitPainting(void* Object, uint32_t TimeoutMs);
    // Runs a console program hidden and relays all of its output, in order, through
    // TLxSysfn::WriteConsoleLine in chunks of at most 1024 bytes.
    static uint32_t RunCaptured(WideStringView CommandLine);
    // The shell's result: above 32 is success. AllowForeground lets the started program (found
    // by its file name) take the foreground.
    static intptr_t ShellExecute(TWindowHandle Wnd, WideStringView Operation,
                                 WideStringView FileName, WideStringView Parameters,
                                 WideStringView Directory, int ShowCmd, bool AllowForeground);
    static intptr_t ShellOpen(WideStringView FileName);
    // Falls back to the system's browser, started by full path, when the shell cannot open it.
    static void OpenUrl(WideStringView Url);
    // Where that fallback browser lives; empty when Program Files is unknown.
    static WideString FallbackBrowserPath();
    // Long form with a trailing backslash; empty when the system has no temporary path.
    static WideString GetTempPath();
    // What the system reported when the program started, undisturbed by compatibility shims.
    static TLxOsVersion StartupOsVersion();
    static bool IsWinXPOrHigher();
    static bool IsWin7OrHigher();
    static int MessageBox(TWindowHandle Owner, WideStringView Text, uint32_t Flags,
                          WideStringView Caption);
    // The information icon and a single OK button.
    static int InfoBox(TWindowHandle Owner, WideStringView Text, WideStringView Caption);
};

bool SetCurrentDir(WideStringView Path);
// One line, UTF-8, on standard error when there is one; silent runs report there.
void WriteStandardError(WideStringView Text);
#endif

bool DirectoryExists(WideStringView Path);
bool FileExists(WideStringView Path);
// Raises "Unable to create directory" for an empty path; otherwise reports through the result.
bool ForceDirectories(WideStringView Path);
// <windows.h> makes DeleteFile a macro; this header's function is meant wherever it is seen.
#ifdef DeleteFile
#undef DeleteFile
#endif
bool DeleteFile(WideStringView Path);

// Parameters of the process's command line after the program name.
int ParamCount();
// Index 0: the running executable's full path; past the last parameter: empty.
WideString ParamStr(int Index);
// Every parameter after the program name.
std::vector<WideString> ParamList();
