// resource_probe FILE.exe: lists the resources of FILE as the system's own resource functions
// see them, one line per resource "TYPE NAME LANG SIZE FNV1A64", then the product name and
// file version that the version functions read, then the stored and computed image checksums.
// Exit code 0, or 1 when the file cannot be loaded or a listed resource cannot be found again.

#include <windows.h>

#include <fcntl.h>
#include <imagehlp.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct TProbe {
    std::string Listing;
    bool Failed = false;
};

std::string Utf8(const wchar_t* Text) {
    const int Size = WideCharToMultiByte(CP_UTF8, 0, Text, -1, nullptr, 0, nullptr, nullptr);
    if (Size <= 1) return {};
    std::string Result(size_t(Size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, Text, -1, Result.data(), Size, nullptr, nullptr);
    Result.pop_back();
    return Result;
}

std::string KeyText(LPCWSTR Key) {
    return IS_INTRESOURCE(Key) ? std::to_string(reinterpret_cast<uintptr_t>(Key)) : Utf8(Key);
}

uint64_t Fnv1a64(const uint8_t* Data, size_t Size) {
    uint64_t Hash = 0xCBF29CE484222325ull;
    for (size_t I = 0; I < Size; ++I)
        Hash = (Hash ^ Data[I]) * 0x100000001B3ull;
    return Hash;
}

BOOL CALLBACK OnLanguage(HMODULE Module, LPCWSTR Type, LPCWSTR Name, WORD Language,
                         LONG_PTR Param) {
    TProbe& Probe = *reinterpret_cast<TProbe*>(Param);
    // Looking the resource up again checks the directory's sort order: the lookup is a
    // binary search.
    HRSRC Info = FindResourceExW(Module, Type, Name, Language);
    HGLOBAL Loaded = Info ? LoadResource(Module, Info) : nullptr;
    const void* Data = Loaded ? LockResource(Loaded) : nullptr;
    const DWORD Size = Info ? SizeofResource(Module, Info) : 0;
    if (!Data) {
        std::fprintf(stderr, "resource_probe: cannot load %s/%s/%u\n", KeyText(Type).c_str(),
                     KeyText(Name).c_str(), unsigned(Language));
        Probe.Failed = true;
        return TRUE;
    }
    char Tail[64];
    std::snprintf(
        Tail, sizeof(Tail), " %u %lu %016llx\n", unsigned(Language),
        static_cast<unsigned long>(Size),
        static_cast<unsigned long long>(Fnv1a64(static_cast<const uint8_t*>(Data), Size)));
    Probe.Listing += KeyText(Type) + " " + KeyText(Name) + Tail;
    return TRUE;
}

BOOL CALLBACK OnName(HMODULE Module, LPCWSTR Type, LPWSTR Name, LONG_PTR Param) {
    EnumResourceLanguagesW(Module, Type, Name, OnLanguage, Param);
    return TRUE;
}

BOOL CALLBACK OnType(HMODULE Module, LPWSTR Type, LONG_PTR Param) {
    EnumResourceNamesW(Module, Type, OnName, Param);
    return TRUE;
}

std::string VersionLines(const wchar_t* FileName) {
    DWORD Handle = 0;
    const DWORD Size = GetFileVersionInfoSizeW(FileName, &Handle);
    if (Size == 0) return "Version: none\n";
    std::vector<uint8_t> Block(Size);
    if (!GetFileVersionInfoW(FileName, 0, Size, Block.data())) return "Version: unreadable\n";
    const WORD* Translation = nullptr;
    UINT Length = 0;
    if (!VerQueryValueW(Block.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(const_cast<WORD**>(&Translation)), &Length) ||
        Length < 4)
        return "Version: no translation\n";
    std::string Lines;
    for (const wchar_t* Key : {L"ProductName", L"FileVersion"}) {
        wchar_t Path[80];
        std::swprintf(Path, 80, L"\\StringFileInfo\\%04x%04x\\%ls", Translation[0], Translation[1],
                      Key);
        wchar_t* Value = nullptr;
        UINT Chars = 0;
        const bool Found =
            VerQueryValueW(Block.data(), Path, reinterpret_cast<void**>(&Value), &Chars);
        Lines += Utf8(Key) + ": " + (Found && Value ? Utf8(Value) : std::string("-")) + "\n";
    }
    return Lines;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // The listing is compared byte for byte with one made on Linux: no CR before LF.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc != 2) {
        std::fprintf(stderr, "usage: resource_probe FILE.exe\n");
        return 2;
    }
    HMODULE Module =
        LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!Module) {
        std::fprintf(stderr, "resource_probe: cannot load %s (error %lu)\n", Utf8(argv[1]).c_str(),
                     static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    TProbe Probe;
    EnumResourceTypesW(Module, OnType, reinterpret_cast<LONG_PTR>(&Probe));
    FreeLibrary(Module);

    Probe.Listing += VersionLines(argv[1]);
    DWORD Stored = 0;
    DWORD Computed = 0;
    if (MapFileAndCheckSumW(argv[1], &Stored, &Computed) != CHECKSUM_SUCCESS) {
        std::fprintf(stderr, "resource_probe: cannot compute the checksum\n");
        Probe.Failed = true;
    }
    char Line[64];
    std::snprintf(Line, sizeof(Line), "CheckSum: %08lx %08lx\n", static_cast<unsigned long>(Stored),
                  static_cast<unsigned long>(Computed));
    Probe.Listing += Line;
    std::fwrite(Probe.Listing.data(), 1, Probe.Listing.size(), stdout);
    return Probe.Failed ? 1 : 0;
}
