#include "LxExceptions.h"
#include "LxFileStream.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string NativePath(WideStringView Path) {
    return WideToUtf8(Path);
}

WideString ErrorText(int Error) {
    return Utf8ToWide(std::strerror(Error));
}

bool StatIsDirectory(const std::string& Path, bool& IsDirectory) {
    struct stat Info;
    if (stat(Path.c_str(), &Info) != 0) return false;
    IsDirectory = S_ISDIR(Info.st_mode);
    return true;
}

std::string ParentOf(const std::string& Path) {
    const size_t Slash = Path.find_last_of('/');
    return Slash == std::string::npos ? std::string() : Path.substr(0, Slash);
}

bool ForceNative(std::string Path) {
    while (Path.size() > 1 && Path.back() == '/')
        Path.pop_back();
    bool IsDirectory = false;
    if (Path.empty() || Path == "/" || (StatIsDirectory(Path, IsDirectory) && IsDirectory))
        return true;
    const std::string Parent = ParentOf(Path);
    if (!Parent.empty() && !ForceNative(Parent)) return false;
    return mkdir(Path.c_str(), 0777) == 0 || errno == EEXIST;
}

} // namespace

bool DirectoryExists(WideStringView Path) {
    bool IsDirectory = false;
    return StatIsDirectory(NativePath(Path), IsDirectory) && IsDirectory;
}

bool FileExists(WideStringView Path) {
    bool IsDirectory = false;
    return StatIsDirectory(NativePath(Path), IsDirectory) && !IsDirectory;
}

bool ForceDirectories(WideStringView Path) {
    if (Path.empty()) throw EInOutError(u"Unable to create directory");
    return ForceNative(NativePath(Path));
}

bool DeleteFile(WideStringView Path) {
    return unlink(NativePath(Path).c_str()) == 0;
}

void TLxFilefn::ForceFileDir(WideStringView FileName) {
    const std::string Folder = ParentOf(NativePath(FileName));
    if (!Folder.empty()) ForceNative(Folder);
}

TFileStream::TFileStream(WideStringView FileName, TFileMode Mode) : FFileName(FileName) {
    const std::string Path = NativePath(FileName);
    const bool Create = Mode == fmCreate || Mode == fmCreateExclusive;
    const int Flags = Create ? O_RDWR | O_CREAT | O_TRUNC
                      : Mode == fmOpenRead || Mode == fmOpenReadDenyWrite ? O_RDONLY
                                                                          : O_RDWR;
    FHandle = open(Path.c_str(), Flags | O_CLOEXEC, 0666);
    if (FHandle < 0) {
        const int Error = errno;
        const WideString Name(FileName);
        if (Create)
            throw EFCreateError(
                FormatText(u"Cannot create file \"%s\". %s", Name, ErrorText(Error)));
        throw EFOpenError(FormatText(u"Cannot open file \"%s\". %s", Name, ErrorText(Error)));
    }
}

TFileStream::~TFileStream() {
    close(static_cast<int>(FHandle));
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
    int64_t Done = 0;
    while (Done < Count) {
        const ssize_t Got = read(static_cast<int>(FHandle), static_cast<char*>(Buffer) + Done,
                                 static_cast<size_t>(Count - Done));
        if (Got < 0 && errno == EINTR) continue;
        if (Got <= 0) break;
        Done += Got;
    }
    return Done;
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
    int64_t Done = 0;
    while (Done < Count) {
        const ssize_t Put =
            write(static_cast<int>(FHandle), static_cast<const char*>(Buffer) + Done,
                  static_cast<size_t>(Count - Done));
        if (Put < 0 && errno == EINTR) continue;
        if (Put < 0) RaiseSystemWriteError(uint32_t(errno));
        if (Put == 0) break;
        Done += Put;
    }
    return Done;
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    const int Whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
    return lseek(static_cast<int>(FHandle), Offset, Whence);
}

void TFileStream::RaiseSystemWriteError(uint32_t Error) {
    throw EWriteError(FormatText(u"Cannot write file \"%s\". %s", FFileName, ErrorText(int(Error))),
                      Error);
}

void TFileStream::SetSize(int64_t NewSize) {
    if (ftruncate(static_cast<int>(FHandle), NewSize) != 0) RaiseWriteError();
    if (GetPosition() > NewSize) SetPosition(NewSize);
}
