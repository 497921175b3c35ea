#include "LxDateUtils.h"
#include "LxExceptions.h"
#include "LxFileStream.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxWinHandles.h"

#include <algorithm>
#include <cmath>
#include <windows.h>
#undef DeleteFile
#undef GetLongPathName

namespace {

// A local date-time to a UTC file time, to the millisecond.
bool LocalDateTimeToFileTime(TDateTime Value, FILETIME& Result) {
    TDateParts Parts;
    if (!DecodeDateTime(Value, Parts) || Parts.Year < 1601 || Parts.Year > 30827) return false;
    SYSTEMTIME Local{};
    Local.wYear = static_cast<WORD>(Parts.Year);
    Local.wMonth = static_cast<WORD>(Parts.Month);
    Local.wDay = static_cast<WORD>(Parts.Day);
    Local.wHour = static_cast<WORD>(Parts.Hour);
    Local.wMinute = static_cast<WORD>(Parts.Minute);
    Local.wSecond = static_cast<WORD>(Parts.Second);
    Local.wMilliseconds = static_cast<WORD>(Parts.Millisecond);
    FILETIME LocalTime;
    return SystemTimeToFileTime(&Local, &LocalTime) && LocalFileTimeToFileTime(&LocalTime, &Result);
}

// Null for a time that stays as it is; false when the value has no file time.
bool TimeArgument(TDateTime Value, FILETIME& Storage, const FILETIME*& Argument) {
    Argument = nullptr;
    if (std::fabs(Value) <= 1e-12) return true;
    if (!LocalDateTimeToFileTime(Value, Storage)) return false;
    Argument = &Storage;
    return true;
}

// Every file-system call below names its path through this: the extended-length form, which
// lifts the 260-character limit (Tests/Static/check_long_paths.py holds every call to it).
WideString Ext(WideStringView Path) {
    return TLxFilefn::ExtendedPath(Path);
}

constexpr char16_t ExtendedPrefix[] = u"\\\\?\\";

// The ordinary form of an extended path.
WideString Plain(WideString Path) {
    // "\\?\UNC\server" keeps one backslash of its prefix and gets another.
    if (Path.starts_with(u"\\\\?\\UNC\\")) return Path.replace(0, 7, 1, u'\\');
    if (Path.starts_with(ExtendedPrefix)) Path.erase(0, 4);
    return Path;
}

// For name look-ups: the ordinary form while it is short enough for it, as Wine hands the
// extended form back without expanding short names.
WideString ExtLookup(WideStringView Path) {
    WideString Extended = Ext(Path);
    WideString Ordinary = Plain(Extended);
    return Ordinary.size() < MAX_PATH ? Ordinary : Extended;
}

} // namespace

WideString TLxFilefn::ExtendedPath(WideStringView Path) {
    if (Path.empty() || Path.starts_with(ExtendedPrefix)) return WideString(Path);
    // The extended form turns off the system's own handling of ".", ".." and "/": resolved here.
    const WideString Text(Path);
    const WideString Full = ReadWinText([&Text](wchar_t* Buffer, uint32_t Size) {
        return GetFullPathNameW(W(Text), Size, Buffer, nullptr);
    });
    WideString Result(ExtendedPrefix);
    if (Full.size() >= 3 && Full[1] == u':' && Full[2] == u'\\') return Result.append(Full);
    // \\server\share\... but not the device forms \\.\ and \\?\.
    if (Full.size() > 2 && Full.starts_with(u"\\\\") && Full[2] != u'.' && Full[2] != u'?')
        return Result.append(u"UNC").append(WideStringView(Full).substr(1));
    return Full.empty() ? Text : Full;
}

bool DirectoryExists(WideStringView Path) {
    const DWORD Attributes = GetFileAttributesW(W(Ext(Path)));
    return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(WideStringView Path) {
    WIN32_FIND_DATAW Data;
    const HANDLE Find = FindFirstFileW(W(Ext(Path)), &Data);
    if (Find == INVALID_HANDLE_VALUE) return false;
    FindClose(Find);
    return !(Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(WideStringView Path) {
    if (Path.empty()) throw EInOutError(u"Unable to create directory");
    const WideString Dir = ExcludeTrailingBackslash(Path);
    const WideString Parent = ExtractFilePath(Dir);
    if (Dir.size() < 3 || DirectoryExists(Dir) || Parent == Dir) return true;
    // A relative name without a folder part is created in the current folder.
    if (!Parent.empty() && !ForceDirectories(Parent)) return false;
    return CreateDirectoryW(W(Ext(Dir)), nullptr) || DirectoryExists(Dir);
}

bool DeleteFile(WideStringView Path) {
    return DeleteFileW(W(Ext(Path))) != 0;
}

bool SetCurrentDir(WideStringView Path) {
    return SetCurrentDirectoryW(W(WideString(Path))) != 0;
}

WideString TLxFilefn::GetLongPathName(WideStringView Path) {
    WideString Long = ReadWinText([&Path](wchar_t* Buffer, uint32_t Size) {
        return GetLongPathNameW(W(ExtLookup(Path)), Buffer, Size);
    });
    // The caller's own form back: the prefix only when it gave one.
    return Path.starts_with(ExtendedPrefix) ? Long : Plain(Long);
}

WideString TLxFilefn::ComparablePath(WideStringView Path) {
    WideString Full = Plain(Ext(Path));
    if (Full.empty()) return {};
    const WideString Long = GetLongPathName(Full);
    if (!Long.empty()) Full = Long;
    CharUpperBuffW(W(Full), DWORD(Full.size()));
    return Full;
}

bool TLxFilefn::SetFileTimes(WideStringView FileName, const TLxFileTimes& Times) {
    const TKernelHandle File(CreateFileW(W(Ext(FileName)), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return File && SetFileTimes(File.Get(), Times);
}

bool TLxFilefn::SetFileTimes(void* File, const TLxFileTimes& Times) {
    FILETIME Creation, LastAccess, LastWrite;
    const FILETIME *CreationArgument, *LastAccessArgument, *LastWriteArgument;
    if (!TimeArgument(Times.CreationTime, Creation, CreationArgument) ||
        !TimeArgument(Times.LastAccessTime, LastAccess, LastAccessArgument) ||
        !TimeArgument(Times.LastWriteTime, LastWrite, LastWriteArgument))
        return false;
    return SetFileTime(File, CreationArgument, LastAccessArgument, LastWriteArgument) != 0;
}

void TLxFilefn::ForceFileDir(WideStringView FileName) {
    const WideString Folder = ExtractFilePath(FileName);
    if (!Folder.empty() && !DirectoryExists(Folder)) ForceDirectories(Folder);
}

TFileStream::TFileStream(WideStringView FileName, TFileMode Mode) : FFileName(FileName) {
    const WideString& Name = FFileName;
    const bool Create = Mode == fmCreate || Mode == fmCreateExclusive;
    DWORD Access = GENERIC_READ | GENERIC_WRITE, Share = 0, Disposition = OPEN_EXISTING;
    if (Create) {
        Share = Mode == fmCreate ? FILE_SHARE_READ : 0;
        Disposition = CREATE_ALWAYS;
        if (Mode == fmCreateExclusive) Access |= DELETE;
    } else if (Mode == fmOpenRead || Mode == fmOpenReadDenyWrite) {
        Access = GENERIC_READ;
        Share = Mode == fmOpenRead ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
    }
    const HANDLE Handle = CreateFileW(W(Ext(Name)), Access, Share, nullptr, Disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (Handle == INVALID_HANDLE_VALUE) {
        const uint32_t Error = GetLastError();
        const WideString Reason = TLxSysfn::SysErrorMessage(Error);
        if (Create)
            throw EFCreateError(FormatText(u"Cannot create file \"%s\". %s", Name, Reason), Error);
        throw EFOpenError(FormatText(u"Cannot open file \"%s\". %s", Name, Reason), Error);
    }
    FHandle = reinterpret_cast<intptr_t>(Handle);
}

TFileStream::~TFileStream() {
    CloseHandle(reinterpret_cast<HANDLE>(FHandle));
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
    int64_t Done = 0;
    while (Done < Count) {
        DWORD Got = 0;
        const DWORD Piece = static_cast<DWORD>(std::min<int64_t>(Count - Done, 1 << 30));
        if (!ReadFile(reinterpret_cast<HANDLE>(FHandle), static_cast<char*>(Buffer) + Done, Piece,
                      &Got, nullptr) ||
            Got == 0)
            break;
        Done += Got;
    }
    return Done;
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
    int64_t Done = 0;
    while (Done < Count) {
        DWORD Put = 0;
        const DWORD Piece = static_cast<DWORD>(std::min<int64_t>(Count - Done, 1 << 30));
        if (!WriteFile(reinterpret_cast<HANDLE>(FHandle), static_cast<const char*>(Buffer) + Done,
                       Piece, &Put, nullptr))
            RaiseSystemWriteError(GetLastError());
        if (Put == 0) break;
        Done += Put;
    }
    return Done;
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    LARGE_INTEGER Distance, Result;
    Distance.QuadPart = Offset;
    const DWORD Method = Origin == soBeginning ? FILE_BEGIN
                         : Origin == soCurrent ? FILE_CURRENT
                                               : FILE_END;
    if (!SetFilePointerEx(reinterpret_cast<HANDLE>(FHandle), Distance, &Result, Method)) return -1;
    return Result.QuadPart;
}

void TFileStream::RaiseSystemWriteError(uint32_t Error) {
    throw EWriteError(
        FormatText(u"Cannot write file \"%s\". %s", FFileName, TLxSysfn::SysErrorMessage(Error)),
        Error);
}

void TFileStream::SetSize(int64_t NewSize) {
    const int64_t Position = GetPosition();
    SetPosition(NewSize);
    if (!SetEndOfFile(reinterpret_cast<HANDLE>(FHandle))) RaiseWriteError();
    SetPosition(Position < NewSize ? Position : NewSize);
}
