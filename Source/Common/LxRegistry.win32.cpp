#include "LxRegistry.h"

#include "LxExceptions.h"
#include "LxStrUtils.h"
#include "LxWinHandles.h"

namespace {

// The view is chosen here and nowhere else.
constexpr REGSAM View = KEY_WOW64_32KEY;

// The predefined handles are sign-extended 32-bit values, also in a 64-bit process.
HKEY RootHandle(uint32_t Root) {
    return reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(Root)));
}

void SetValue(HKEY Key, WideStringView Name, DWORD Type, const void* Data, DWORD Size) {
    const WideString NameText(Name);
    if (RegSetValueExW(Key, W(NameText), 0, Type, static_cast<const BYTE*>(Data), Size) !=
        ERROR_SUCCESS)
        throw Exception(FormatText(u"Failed to set data for '%s'", Name));
}

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

TLxRegistryKey TLxRegistryKey::Open(uint32_t Root, WideStringView Path, bool Writable) {
    const WideString PathText(Path);
    HKEY Key = nullptr;
    if (RegOpenKeyExW(RootHandle(Root), W(PathText), 0,
                      (Writable ? KEY_READ | KEY_WRITE : KEY_READ) | View, &Key) != ERROR_SUCCESS)
        return {};
    return TLxRegistryKey(Key);
}

TLxRegistryKey TLxRegistryKey::Create(uint32_t Root, WideStringView Path) {
    const WideString PathText(Path);
    HKEY Key = nullptr;
    if (RegCreateKeyExW(RootHandle(Root), W(PathText), 0, nullptr, 0, KEY_ALL_ACCESS | View,
                        nullptr, &Key, nullptr) != ERROR_SUCCESS)
        return {};
    return TLxRegistryKey(Key);
}

TRegValueKind TLxRegistryKey::ValueKind(WideStringView Name) const {
    const WideString NameText(Name);
    DWORD Type = 0;
    if (RegQueryValueExW(FKey.Get(), W(NameText), nullptr, &Type, nullptr, nullptr) !=
        ERROR_SUCCESS)
        return TRegValueKind::Missing;
    if (Type == REG_SZ || Type == REG_EXPAND_SZ) return TRegValueKind::String;
    return Type == REG_DWORD ? TRegValueKind::DWord : TRegValueKind::Other;
}

WideString TLxRegistryKey::ReadString(WideStringView Name) const {
    const WideString NameText(Name);
    for (;;) {
        DWORD Type = 0, Size = 0;
        if (RegQueryValueExW(FKey.Get(), W(NameText), nullptr, &Type, nullptr, &Size) !=
            ERROR_SUCCESS)
            return {};
        if (Type != REG_SZ && Type != REG_EXPAND_SZ)
            throw Exception(FormatText(u"Invalid data type for '%s'", Name));
        // One character more than stored: a value written without its terminating zero.
        WideString Value(Size / sizeof(char16_t) + 1, u'\0');
        DWORD Got = Size;
        const LONG Status = RegQueryValueExW(FKey.Get(), W(NameText), nullptr, &Type,
                                             reinterpret_cast<BYTE*>(Value.data()), &Got);
        // Changed meanwhile: ask again.
        if (Status == ERROR_MORE_DATA) continue;
        if (Status != ERROR_SUCCESS) return {};
        Value.resize(Got / sizeof(char16_t));
        while (!Value.empty() && Value.back() == u'\0')
            Value.pop_back();
        return Value;
    }
}

void TLxRegistryKey::WriteString(WideStringView Name, WideStringView Value) {
    const WideString Text(Value);
    SetValue(FKey.Get(), Name, REG_SZ, Text.c_str(), DWORD((Text.size() + 1) * sizeof(char16_t)));
}

void TLxRegistryKey::WriteDWord(WideStringView Name, uint32_t Value) {
    const DWORD Number = Value;
    SetValue(FKey.Get(), Name, REG_DWORD, &Number, sizeof(Number));
}

bool TLxRegistryKey::DeleteValue(WideStringView Name) {
    const WideString NameText(Name);
    return RegDeleteValueW(FKey.Get(), W(NameText)) == ERROR_SUCCESS;
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

bool TLxRegistryKey::IsEmpty() const {
    DWORD SubKeys = 0, Values = 0;
    return RegQueryInfoKeyW(FKey.Get(), nullptr, nullptr, nullptr, &SubKeys, nullptr, nullptr,
                            &Values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           SubKeys == 0 && Values == 0;
}

bool DeleteRegistryKeyIfEmpty(uint32_t Root, WideStringView Path) {
    {
        const TLxRegistryKey Key = TLxRegistryKey::Open(Root, Path);
        if (!Key) return true;
        if (!Key.IsEmpty()) return false;
    }
    const WideString PathText(Path);
    return RegDeleteKeyExW(RootHandle(Root), W(PathText), View, 0) == ERROR_SUCCESS;
}
