// The Windows services against the system (under Wine): processes through child_program,
// files, shell folders, the locale's letter case and the path constants.

#include "ChildOutput.h"
#include "FileDataClasses.h"
#include "LxExceptions.h"
#include "LxFileStream.h"
#include "LxProcessExit.h"
#include "MySetupUtils.h"
#include "ServicesTestSupport.h"

#include <chrono>
#include <gtest/gtest.h>

namespace {

WideString Child(WideStringView Arguments) {
    return Quoted(ChildPath()) + u" " + WideString(Arguments);
}

// Standard output goes to a file while RunCaptured relays into it.
std::string CapturedOutput(const TTempFolder& Folder, WideStringView Command, uint32_t& Code) {
    const WideString Name = Folder / u"captured.txt";
    const HANDLE File = CreateFileW(W(Name), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(File, INVALID_HANDLE_VALUE);
    const HANDLE Saved = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, File);
    Code = TLxWinfn::RunCaptured(Command);
    SetStdHandle(STD_OUTPUT_HANDLE, Saved);
    CloseHandle(File);
    return ReadAll(Name);
}

// The relay appends CR LF to every chunk, and the child never writes a CR: splits the
// relayed text back into the chunks.
std::vector<std::string> Chunks(const std::string& Relayed) {
    std::vector<std::string> Result;
    size_t Start = 0, End;
    while ((End = Relayed.find("\r\n", Start)) != std::string::npos) {
        Result.push_back(Relayed.substr(Start, End - Start));
        Start = End + 2;
    }
    EXPECT_EQ(Start, Relayed.size()) << "relayed text ends without CR LF";
    return Result;
}

void ExpectRelayed(const std::string& Relayed, const std::string& Expected) {
    std::string Joined;
    const std::vector<std::string> Parts = Chunks(Relayed);
    for (const std::string& Part : Parts) {
        EXPECT_FALSE(Part.empty());
        EXPECT_LE(Part.size(), 1024u);
        Joined += Part;
    }
    EXPECT_EQ(Joined.size(), Expected.size());
    EXPECT_TRUE(Joined == Expected) << "relayed bytes differ from what the child wrote";
}

// Days since 1899-12-30 of a local calendar time.
TDateTime EncodeDateTime(WORD Year, WORD Month, WORD Day, WORD Hour, WORD Minute, WORD Second,
                         WORD Millisecond) {
    const SYSTEMTIME Time{Year, Month, 0, Day, Hour, Minute, Second, Millisecond};
    FILETIME Ticks;
    EXPECT_TRUE(SystemTimeToFileTime(&Time, &Ticks));
    const double Count = double(uint64_t(Ticks.dwHighDateTime) << 32 | Ticks.dwLowDateTime);
    return Count / 864000000000.0 - 109205; // 100 ns ticks a day; 1601-01-01 to 1899-12-30
}

struct TLocalTimes {
    SYSTEMTIME Creation, Access, Write;
};

TLocalTimes ReadTimes(const WideString& Path) {
    TLocalTimes Result{};
    const HANDLE File = CreateFileW(W(Path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    FILETIME Utc[3], Local;
    EXPECT_TRUE(GetFileTime(File, &Utc[0], &Utc[1], &Utc[2]));
    CloseHandle(File);
    SYSTEMTIME* Targets[] = {&Result.Creation, &Result.Access, &Result.Write};
    for (int I = 0; I < 3; ++I) {
        FileTimeToLocalFileTime(&Utc[I], &Local);
        FileTimeToSystemTime(&Local, Targets[I]);
    }
    return Result;
}

std::string Text(const SYSTEMTIME& T) {
    char Buffer[64];
    std::snprintf(Buffer, sizeof(Buffer), "%04u-%02u-%02u %02u:%02u:%02u.%03u", T.wYear, T.wMonth,
                  T.wDay, T.wHour, T.wMinute, T.wSecond, T.wMilliseconds);
    return Buffer;
}

// Wine keeps no creation time on a Linux file system, so that field is checked only where
// the system keeps what was set.
bool KeepsCreationTime(const WideString& Path) {
    const TLxFileTimes Probe{EncodeDateTime(2003, 3, 3, 3, 3, 3, 0), 0, 0};
    return TLxFilefn::SetFileTimes(Path, Probe) &&
           Text(ReadTimes(Path).Creation) == "2003-03-03 03:03:03.000";
}

} // namespace

TEST(ProcessTests, RunAndWaitReturnsTheExitCode) {
    EXPECT_EQ(TLxWinfn::RunAndWait(Child(u"exit 0")), 0u);
    EXPECT_EQ(TLxWinfn::RunAndWait(Child(u"exit 7")), 7u);
    EXPECT_EQ(TLxWinfn::RunAndWait(Child(u"exit 300")), 300u);
    // A program that cannot start reads as exit code 1.
    EXPECT_EQ(TLxWinfn::RunAndWait(Quoted(ChildPath() + u".missing") + u" exit 0"), 1u);
    EXPECT_EQ(TLxWinfn::RunAndWait(u""), 1u);
}

TEST(ProcessTests, RunCapturedRelaysEveryByteInOrder) {
    const TTempFolder Folder;
    uint32_t Code = 99;
    // Written at once, then the child ends: most of it is still in the pipe at the end.
    ExpectRelayed(CapturedOutput(Folder, Child(u"write 5000 lf"), Code), ChildOutput(5000, true));
    EXPECT_EQ(Code, 0u);
    ExpectRelayed(CapturedOutput(Folder, Child(u"write 3001 nolf"), Code),
                  ChildOutput(3001, false));
    // Small pieces over several intervals: each chunk keeps its last byte.
    const std::string Slow = CapturedOutput(Folder, Child(u"write 2500 nolf 5 350"), Code);
    ExpectRelayed(Slow, ChildOutput(2500, false));
    EXPECT_GE(Chunks(Slow).size(), 3u);
    ExpectRelayed(CapturedOutput(Folder, Child(u"write 1 lf"), Code), "\n");

    EXPECT_EQ(CapturedOutput(Folder, Child(u"exit 5"), Code), "");
    EXPECT_EQ(Code, 5u);
    EXPECT_EQ(CapturedOutput(Folder, Quoted(ChildPath() + u".missing"), Code), "");
    EXPECT_EQ(Code, 1u);
}

TEST(ProcessTests, WriteConsoleLineAppendsCrLf) {
    const TTempFolder Folder;
    const WideString Name = Folder / u"line.txt";
    const HANDLE File = CreateFileW(W(Name), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    const HANDLE Saved = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, File);
    TLxSysfn::WriteConsoleLine(u"first");
    TLxSysfn::WriteConsoleLine(u"");
    SetStdHandle(STD_OUTPUT_HANDLE, Saved);
    CloseHandle(File);
    EXPECT_EQ(ReadAll(Name), "first\r\n\r\n");
}

TEST(ProcessTests, ParamStrSplitsTheChildsCommandLine) {
    const TTempFolder Folder;
    const WideString Out = Folder / u"args.txt";
    const WideString Arguments =
        u"args " + Quoted(Out) + u" \"C:\\My Dir\\x y\" plain \"\"lead  Ärger\t中文 \"a\"b\"c\"";
    ASSERT_EQ(TLxWinfn::RunAndWait(Child(Arguments)), 0u);
    const WideString Written = Utf8ToWide(ReadAll(Out));
    std::vector<WideString> Lines;
    for (size_t Start = 0, End; (End = Written.find(u'\n', Start)) != WideString::npos;
         Start = End + 1)
        Lines.push_back(Written.substr(Start, End - Start));
    const std::vector<WideString> Expected = {
        u"8",     ChildPath(), u"args",  Out,     u"C:\\My Dir\\x y",
        u"plain", u"lead",     u"Ärger", u"中文", u"abc"};
    ASSERT_EQ(Lines.size(), Expected.size());
    EXPECT_TRUE(SameText(Lines[1], Expected[1])) << WideToUtf8(Lines[1]);
    Lines[1] = Expected[1];
    EXPECT_EQ(Lines, Expected);
    // This process: past the last parameter there is nothing.
    EXPECT_EQ(ParamStr(ParamCount() + 1), u"");
    EXPECT_EQ(ParamStr(-1), u"");
    EXPECT_EQ(ParamStr(0), PlatformModuleFileName());
}

TEST(ProcessTests, DeveloperModeNeedsADeveloperBuildAndADebugger) {
    EXPECT_FALSE(TLxSysfn::IsDeveloperMode()); // no debugger here
    // The child runs under this process as its debugger.
    WideString Command = Child(u"devmode");
    STARTUPINFOW Startup{};
    Startup.cb = sizeof(Startup);
    PROCESS_INFORMATION Info{};
    ASSERT_TRUE(CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(Command.data()), nullptr,
                               nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &Startup,
                               &Info));
    DWORD Code = 99;
    for (bool Running = true; Running;) {
        DEBUG_EVENT Event{};
        ASSERT_TRUE(WaitForDebugEvent(&Event, 30000));
        DWORD Continue = DBG_CONTINUE;
        if (Event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT)
            CloseHandle(Event.u.CreateProcessInfo.hFile);
        else if (Event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT)
            CloseHandle(Event.u.LoadDll.hFile);
        else if (Event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
                 Event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
            Continue = DBG_EXCEPTION_NOT_HANDLED;
        else if (Event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
            Code = Event.u.ExitProcess.dwExitCode;
            Running = false;
        }
        ContinueDebugEvent(Event.dwProcessId, Event.dwThreadId, Continue);
    }
    CloseHandle(Info.hThread);
    CloseHandle(Info.hProcess);
#ifdef ONESETUP_DEVELOPER_BUILD
    EXPECT_EQ(Code, 3u);
#else
    EXPECT_EQ(Code, 2u) << "debugger seen and developer mode off";
#endif
}

// Started and left running; the handle tells when it has gone.
static TKernelHandle StartSleeping(const WideString& Program) {
    STARTUPINFOW Startup{};
    Startup.cb = sizeof(Startup);
    PROCESS_INFORMATION Info{};
    WideString Command = Quoted(Program) + u" sleep 60000";
    if (!CreateProcessW(nullptr, W(Command), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &Startup, &Info))
        return {};
    CloseHandle(Info.hThread);
    return TKernelHandle(Info.hProcess);
}

TEST(ProcessTests, EndsExactlyTheProcessesItIsGiven) {
    const TTempFolder Folder;
    // The same program under the same name in another folder.
    const WideString Copy = Folder / u"child_program.exe";
    ASSERT_TRUE(CopyFileW(W(ChildPath()), W(Copy), FALSE));
    const TKernelHandle Mine = StartSleeping(ChildPath()), Other = StartSleeping(Copy);
    ASSERT_TRUE(Mine && Other);
    const DWORD MineId = GetProcessId(Mine.Get()), OtherId = GetProcessId(Other.Get());
    WideString MinePath, OtherPath;
    TLxWinfn::ForEachProcess(true, [&](const TLxProcess& Process) {
        if (Process.Id == MineId) MinePath = Process.ImagePath;
        if (Process.Id == OtherId) OtherPath = Process.ImagePath;
        if (Process.Id == MineId || Process.Id == OtherId) {
            EXPECT_TRUE(SameText(Process.ExeName, u"child_program.exe"));
        }
    });
    EXPECT_EQ(TLxFilefn::ComparablePath(MinePath), TLxFilefn::ComparablePath(ChildPath()));
    EXPECT_EQ(TLxFilefn::ComparablePath(OtherPath), TLxFilefn::ComparablePath(Copy));

    // An id that names nothing is passed over; the one that was ended is gone on return.
    EXPECT_FALSE(TLxWinfn::EndProcess(0xFFFFFFF0u, 5000));
    EXPECT_TRUE(TLxWinfn::EndProcess(MineId, 5000));
    EXPECT_EQ(WaitForSingleObject(Mine.Get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(Other.Get(), 0), DWORD(WAIT_TIMEOUT));
    EXPECT_TRUE(TLxWinfn::EndProcess(OtherId, 5000));
    EXPECT_EQ(WaitForSingleObject(Other.Get(), 0), WAIT_OBJECT_0);
}

TEST(ProcessTests, SystemVersionAndCommands) {
    const TLxOsVersion Started = TLxWinfn::StartupOsVersion();
    EXPECT_EQ(Started.PlatformId, VerPlatformWin32Nt);
    EXPECT_GE(Started.Major, 6u);
    EXPECT_TRUE(TLxWinfn::IsWinXPOrHigher());
    EXPECT_TRUE(TLxWinfn::IsWin7OrHigher());
    EXPECT_FALSE(OsVersionAtLeast({2, 5, 0}, 5, 1));
    EXPECT_TRUE(OsVersionAtLeast({2, 5, 1}, 5, 1));
    EXPECT_FALSE(OsVersionAtLeast({2, 6, 0}, 6, 1));
    EXPECT_TRUE(OsVersionAtLeast({2, 6, 1}, 6, 1));
    EXPECT_TRUE(OsVersionAtLeast({2, 6, 2}, 6, 1));
    EXPECT_TRUE(OsVersionAtLeast({2, 10, 0}, 6, 1));
    EXPECT_FALSE(OsVersionAtLeast({1, 10, 0}, 5, 1)); // not the NT family

    wchar_t System[MAX_PATH];
    const UINT Length = GetSystemDirectoryW(System, MAX_PATH);
    const WideString TaskKill = TLxSysfn::SystemFolderPath(u"taskkill.exe");
    EXPECT_TRUE(SameText(TaskKill, IncludeTrailingBackslash(WideStringView(
                                       reinterpret_cast<char16_t*>(System), Length)) +
                                       u"taskkill.exe"));
    EXPECT_TRUE(FileExists(TaskKill));
    const WideString Browser = TLxWinfn::FallbackBrowserPath();
    EXPECT_TRUE(SameText(Browser, TLxRegfn::GetSpecialFolder(CSIDL_PROGRAM_FILES) +
                                      u"Internet Explorer\\iexplore.exe"));
    EXPECT_TRUE(FileExists(Browser));
}

TEST(ShellTests, ShellExecuteStartsProgramsAndReportsFailures) {
    const TTempFolder Folder;
    const WideString Marker = Folder / u"touched.txt";
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_GT(TLxWinfn::ShellExecute(nullptr, u"", ChildPath(), u"touch " + Quoted(Marker), u"",
                                     SW_HIDE, true),
              32);
    EXPECT_GE(std::chrono::steady_clock::now() - Start, std::chrono::milliseconds(300));
    for (int I = 0; I < 100 && !FileExists(Marker); ++I)
        Sleep(100);
    EXPECT_TRUE(FileExists(Marker));
    EXPECT_LE(TLxWinfn::ShellOpen(Folder / u"missing.exe"), 32);
}

TEST(FileTests, SetFileTimesSetsEachTimeToTheMillisecond) {
    const TTempFolder Folder;
    const WideString Name = Folder / u"times.bin";
    WriteFileBytes(Name, "x");
    const bool Creation = KeepsCreationTime(Name);
    if (!Creation) std::printf("note: the file system keeps no creation time\n");

    TLxFileTimes Times{EncodeDateTime(2001, 2, 3, 4, 5, 6, 789),
                       EncodeDateTime(2012, 11, 30, 23, 59, 58, 7),
                       EncodeDateTime(2010, 6, 15, 12, 0, 1, 500)};
    ASSERT_TRUE(TLxFilefn::SetFileTimes(Name, Times));
    TLocalTimes Read = ReadTimes(Name);
    if (Creation) {
        EXPECT_EQ(Text(Read.Creation), "2001-02-03 04:05:06.789");
    }
    EXPECT_EQ(Text(Read.Write), "2012-11-30 23:59:58.007");
    EXPECT_EQ(Text(Read.Access), "2010-06-15 12:00:01.500");

    // Zero, or nearly, leaves a time as it is.
    Times = {1e-13, EncodeDateTime(2020, 1, 2, 3, 4, 5, 6), -1e-13};
    ASSERT_TRUE(TLxFilefn::SetFileTimes(Name, Times));
    Read = ReadTimes(Name);
    if (Creation) {
        EXPECT_EQ(Text(Read.Creation), "2001-02-03 04:05:06.789");
    }
    EXPECT_EQ(Text(Read.Write), "2020-01-02 03:04:05.006");
    EXPECT_EQ(Text(Read.Access), "2010-06-15 12:00:01.500");
    EXPECT_TRUE(TLxFilefn::SetFileTimes(Name, TLxFileTimes{}));
    EXPECT_EQ(Text(ReadTimes(Name).Write), "2020-01-02 03:04:05.006");

    // Held open by someone else, or missing: false.
    const HANDLE Held = CreateFileW(W(Name), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_FALSE(TLxFilefn::SetFileTimes(Name, Times));
    CloseHandle(Held);
    EXPECT_FALSE(TLxFilefn::SetFileTimes(Folder / u"missing.bin", Times));
}

TEST(FileTests, FoldersAndFiles) {
    const TTempFolder Folder;
    TLxFilefn::ForceFileDir(Folder / u"a\\b\\c\\file.txt");
    EXPECT_TRUE(DirectoryExists(Folder / u"a\\b\\c"));
    EXPECT_FALSE(FileExists(Folder / u"a\\b\\c\\file.txt"));
    EXPECT_NO_THROW(TLxFilefn::ForceFileDir(u"file-without-folder.txt"));

    EXPECT_THROW(ForceDirectories(u""), EInOutError);
    EXPECT_TRUE(ForceDirectories(u"C:\\"));
    EXPECT_TRUE(ForceDirectories(Folder / u"x\\y\\"));
    EXPECT_TRUE(DirectoryExists(Folder / u"x\\y"));
    WriteFileBytes(Folder / u"plain", "data");
    EXPECT_FALSE(ForceDirectories(Folder / u"plain\\below"));

    EXPECT_TRUE(FileExists(Folder / u"plain"));
    EXPECT_FALSE(FileExists(Folder / u"x"));
    EXPECT_TRUE(DeleteFile(Folder / u"plain"));
    EXPECT_FALSE(FileExists(Folder / u"plain"));
    EXPECT_FALSE(DeleteFile(Folder / u"plain"));

    // A download held while it is checked and used: others read it, nobody changes or deletes
    // it, and its release deletes it all the same.
    WriteFileBytes(Folder / u"held", "data");
    TLxTemporaryFile Held(Folder / u"held");
    Held.Lock();
    EXPECT_NO_THROW(TFileStream(Folder / u"held", fmOpenRead));
    EXPECT_THROW(TFileStream(Folder / u"held", fmOpenReadWrite), EFOpenError);
    EXPECT_FALSE(DeleteFile(Folder / u"held"));
    Held.Release();
    EXPECT_FALSE(FileExists(Folder / u"held"));

    wchar_t Saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, Saved);
    EXPECT_TRUE(SetCurrentDir(Folder / u"x"));
    wchar_t Now[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, Now);
    EXPECT_TRUE(SameText(reinterpret_cast<char16_t*>(Now), Folder / u"x"));
    EXPECT_FALSE(SetCurrentDir(Folder / u"missing"));
    SetCurrentDirectoryW(Saved);
}

TEST(FileTests, ExtendedPathsAreAbsoluteAndNormalised) {
    const WideString Here = IncludeTrailingBackslash(ReadWinText(
        [](wchar_t* Buffer, uint32_t Size) { return GetCurrentDirectoryW(Size, Buffer); }));
    const struct {
        WideString Given, Expected;
    } Cases[] = {
        {u"C:\\Apps\\Demo\\a.txt", u"\\\\?\\C:\\Apps\\Demo\\a.txt"},
        {u"\\\\server\\share\\Demo\\a.txt", u"\\\\?\\UNC\\server\\share\\Demo\\a.txt"},
        {u"sub\\a.txt", u"\\\\?\\" + Here + u"sub\\a.txt"},
        {u"\\\\?\\C:\\Apps\\..\\a.txt", u"\\\\?\\C:\\Apps\\..\\a.txt"},
        {u"C:\\Apps\\Demo\\..\\Other/./b/c.txt", u"\\\\?\\C:\\Apps\\Other\\b\\c.txt"},
        {u"\\\\.\\COM1", u"\\\\.\\COM1"},
    };
    for (const auto& Case : Cases)
        EXPECT_EQ(TLxFilefn::ExtendedPath(Case.Given), Case.Expected) << WideToUtf8(Case.Given);
    // A path longer than the old limit is written, read and deleted through the services.
    const TTempFolder Folder;
    WideString Deep = Folder.Path();
    while (Deep.size() < 300)
        Deep += u"a-folder-name-of-some-length\\";
    ASSERT_TRUE(ForceDirectories(Deep));
    const WideString File = Deep + u"long.txt";
    {
        TFileStream Stream(File, fmCreate);
        Stream.WriteBuffer("long", 4);
    }
    EXPECT_TRUE(FileExists(File));
    EXPECT_TRUE(DeleteFile(File));
    EXPECT_FALSE(FileExists(File));
    for (WideString Dir = Deep; Dir.size() > Folder.Path().size();
         Dir = ExtractFilePath(ExcludeTrailingBackslash(Dir)))
        EXPECT_TRUE(TLxFilefn::RemoveDir(Dir)) << WideToUtf8(Dir);
}

TEST(FileTests, LongNamesAndSystemFolders) {
    const TTempFolder Folder;
    const WideString Long = Folder / u"A folder with a long name";
    ASSERT_TRUE(CreateDirectoryW(W(Long), nullptr));
    wchar_t Short[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(W(Long), Short, MAX_PATH), 0u);
    EXPECT_NE(ExtractFileName(reinterpret_cast<char16_t*>(Short)), ExtractFileName(Long));
    EXPECT_EQ(TLxFilefn::GetLongPathName(reinterpret_cast<char16_t*>(Short)), Long);
    EXPECT_EQ(TLxFilefn::GetLongPathName(Folder / u"missing"), u"");
    // One file under every spelling of its name; a missing one keeps its name, upper case.
    const WideString Comparable = TLxFilefn::ComparablePath(Long);
    EXPECT_TRUE(SameText(Comparable, Long));
    EXPECT_EQ(Comparable, WideUpperCase(Comparable));
    for (const WideString& Spelling :
         {FromW(Short), WideUpperCase(Long), Long + u"\\..\\" + ExtractFileName(Long),
          StringReplace(Long, u"\\", u"/", rfReplaceAll)})
        EXPECT_EQ(TLxFilefn::ComparablePath(Spelling), Comparable) << WideToUtf8(Spelling);
    EXPECT_EQ(TLxFilefn::ComparablePath(Folder / u"Not There.exe"),
              WideUpperCase(Folder / u"Not There.exe"));

    const WideString Temp = TLxWinfn::GetTempPath();
    EXPECT_EQ(Temp.back(), u'\\');
    EXPECT_TRUE(DirectoryExists(Temp));
    for (int Csidl : {CSIDL_DESKTOP, CSIDL_COMMON_PROGRAMS}) {
        const WideString Special = TLxRegfn::GetSpecialFolder(Csidl);
        ASSERT_GE(Special.size(), 4u);
        EXPECT_EQ(Special.back(), u'\\');
        EXPECT_NE(Special[Special.size() - 2], u'\\');
        EXPECT_TRUE(DirectoryExists(Special));
    }

    const WideString Guid = TLxStrfn::NewGUIDString();
    ASSERT_EQ(Guid.size(), 38u);
    EXPECT_EQ(Guid.front(), u'{');
    EXPECT_EQ(Guid.back(), u'}');
    for (size_t I = 1; I < 37; ++I) {
        const char16_t C = Guid[I];
        const bool Hyphen = I == 9 || I == 14 || I == 19 || I == 24;
        EXPECT_TRUE(Hyphen ? C == u'-' : (C >= u'0' && C <= u'9') || (C >= u'A' && C <= u'F'))
            << WideToUtf8(Guid) << " at " << I;
    }
    EXPECT_NE(TLxStrfn::NewGUIDString(), Guid);
}

TEST(FileTests, SameTextFollowsTheLocale) {
    EXPECT_TRUE(SameText(u"ÄBC", u"äbc"));
    EXPECT_TRUE(SameText(u"ДОМ Ωμέγα", u"дом ωΜΈΓΑ"));
    EXPECT_FALSE(SameText(u"ÄBC", u"abc"));
    EXPECT_FALSE(SameText(u"abc", u"abcd"));
    EXPECT_TRUE(SameText(u"", u""));
    EXPECT_FALSE(SameText(u"", u"a"));
}

TEST(SetupTests, InitConstantsReadsTheSystemFolders) {
    const WideString Saved[] = {SetupProgramFilesDir, SetupDesktopDir, SetupCommonProgramsDir};
    TSetupfn::InitConstants();
    wchar_t ProgramFiles[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableW(L"ProgramFiles", ProgramFiles, MAX_PATH), 0u);
    EXPECT_EQ(SetupProgramFilesDir,
              ExcludeTrailingBackslash(reinterpret_cast<char16_t*>(ProgramFiles)));
    EXPECT_NE(SetupProgramFilesDir.back(), u'\\');
    EXPECT_EQ(SetupDesktopDir, TLxRegfn::GetSpecialFolder(CSIDL_DESKTOP));
    EXPECT_EQ(SetupCommonProgramsDir, TLxRegfn::GetSpecialFolder(CSIDL_COMMON_PROGRAMS));
    EXPECT_EQ(SetupDesktopDir.back(), u'\\');
    EXPECT_EQ(SetupCommonProgramsDir.back(), u'\\');
    SetupProgramFilesDir = Saved[0];
    SetupDesktopDir = Saved[1];
    SetupCommonProgramsDir = Saved[2];
}
