// Putting a file written under a temporary name in place while it is still open. The file step's
// alone: apart, so that the other programs do not carry it.
#include "LxProcessExit.h"
#include "LxSysUtils.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <windows.h>

bool TLxFilefn::RenameOpenFile(void* File, WideStringView To) {
    const WideString Name = TLxFilefn::ExtendedPath(To);
    const size_t Bytes = Name.size() * sizeof(char16_t);
    const size_t Size = offsetof(FILE_RENAME_INFO, FileName) + Bytes + sizeof(char16_t);
    const auto Buffer = std::make_unique_for_overwrite<uint8_t[]>(Size);
    auto* Info = reinterpret_cast<FILE_RENAME_INFO*>(Buffer.get());
    Info->ReplaceIfExists = TRUE;
    Info->RootDirectory = nullptr;
    Info->FileNameLength = DWORD(Bytes);
    std::memcpy(Info->FileName, Name.c_str(), Bytes + sizeof(char16_t));
    return SetFileInformationByHandle(static_cast<HANDLE>(File), FileRenameInfo, Info,
                                      DWORD(Size)) != 0;
}

TFileStream& TLxTemporaryFile::Create() {
    FLock = std::make_unique<TFileStream>(FPath, fmCreateExclusive);
    return *FLock;
}

bool TLxTemporaryFile::PutInPlace(WideStringView Target) {
    // Renamed while still open: nobody can change it between its last write and its new name.
    if (!FLock || !TLxFilefn::RenameOpenFile(reinterpret_cast<void*>(FLock->Handle()), Target))
        return false;
    FLock.reset();
    FReleased = true;
    return true;
}
