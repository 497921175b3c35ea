// The registry service's deleting and listing half, which only removal needs: in its own file
// so that the installer, which never removes keys, does not carry it.

#include "LxRegistry.h"

#include "LxWinText.h"

namespace {

// Names of values (or sub-keys) one by one until the system has no more.
template <class TEnumerate>
std::vector<WideString> Names(TEnumerate Enumerate) {
    std::vector<WideString> Result;
    // Names of keys and values are at most 16383 characters.
    WideString Buffer(16384, u'\0');
    for (DWORD Index = 0;; ++Index) {
        DWORD Length = DWORD(Buffer.size());
        const LONG Status = Enumerate(Index, W(Buffer), &Length);
        if (Status != ERROR_SUCCESS) break;
        Result.emplace_back(Buffer.data(), Length);
    }
    return Result;
}

} // namespace

bool TLxRegistryKey::DeleteValue(const char16_t* Name) {
    return RegDeleteValueW(FKey.Get(), reinterpret_cast<const wchar_t*>(Name)) == ERROR_SUCCESS;
}

std::vector<WideString> TLxRegistryKey::ValueNames() const {
    return Names([this](DWORD Index, wchar_t* Name, DWORD* Length) {
        return RegEnumValueW(FKey.Get(), Index, Name, Length, nullptr, nullptr, nullptr, nullptr);
    });
}

std::vector<WideString> TLxRegistryKey::SubKeyNames() const {
    return Names([this](DWORD Index, wchar_t* Name, DWORD* Length) {
        return RegEnumKeyExW(FKey.Get(), Index, Name, Length, nullptr, nullptr, nullptr, nullptr);
    });
}

bool TLxRegistryKey::IsEmptyKey() const {
    DWORD SubKeys = 0, Values = 0;
    return Valid() &&
           RegQueryInfoKeyW(FKey.Get(), nullptr, nullptr, nullptr, &SubKeys, nullptr, nullptr,
                            &Values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           SubKeys == 0 && Values == 0;
}

bool TLxRegistryKey::DeleteIfEmpty(uint32_t Root, const WideString& Path) {
    if (!TLxRegistryKey::Open(Root, Path).IsEmptyKey()) return false;
    return DeleteKey(Root, Path);
}

bool TLxRegistryKey::DeleteKey(uint32_t Root, const WideString& Path) {
    return RegDeleteKeyExW(RootHandle(Root), W(Path), View, 0) == ERROR_SUCCESS;
}
