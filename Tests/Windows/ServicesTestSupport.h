#pragma once

#include "LxPlatform.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxWinHandles.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <shlobj.h>
#include <string>
#include <windows.h>
// The services carry the names of these macros.
#undef DeleteFile
#undef GetLongPathName
#undef GetTempPath
#undef MessageBox
#undef ShellExecute

inline WideString Quoted(const WideString& Text) {
    return u"\"" + Text + u"\"";
}

// Built beside the tests.
inline WideString ChildPath() {
    return ExtractFilePath(PlatformModuleFileName()) + u"child_program.exe";
}

inline std::string ReadAll(const WideString& Path) {
    std::ifstream File(W(Path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const WideString& Path, std::string_view Bytes) {
    std::ofstream(W(Path), std::ios::binary).write(Bytes.data(), std::streamsize(Bytes.size()));
}

// A fresh folder under the temporary path, removed with everything in it.
class TTempFolder {
public:
    TTempFolder() : FPath(TLxWinfn::GetTempPath() + TLxStrfn::NewGUIDString() + u"\\") {
        CreateDirectoryW(W(FPath), nullptr);
    }
    ~TTempFolder() {
        std::error_code Ignored;
        std::filesystem::remove_all(std::filesystem::path(W(FPath)), Ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    WideString operator/(WideStringView Name) const { return FPath + WideString(Name); }
    const WideString& Path() const { return FPath; }

private:
    WideString FPath;
};
