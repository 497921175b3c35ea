#include "LxRegistry.h"

#include "LxExceptions.h"
#include "LxStrUtils.h"
#include "LxWinHandles.h"

namespace {

// Out of line: the raise is the rare path of every call.
[[noreturn]] __attribute__((noinline)) void RaiseRegistryError(const char16_t* Format,
                                                               const char16_t* Name) {
    throw Exception(FormatText(Format, Name));
}

void SetValue(HKEY Key, const char16_t* Name, DWORD Type, const void* Data, DWORD Size) {
    if (RegSetValueExW(Key, reinterpret_cast<const wchar_t*>(Name), 0, Type,
                       static_cast<const BYTE*>(Data), Size) != ERROR_SUCCESS)
        RaiseRegistryError(u"Failed to set data for '%s'", Name);
}

} // namespace

TLxRegistryKey TLxRegistryKey::Open(uint32_t Root, const WideString& Path, bool Writable) {
    HKEY Key = nullptr;
    if (RegOpenKeyExW(RootHandle(Root), W(Path), 0,
                      (Writable ? KEY_READ | KEY_WRITE : KEY_READ) | View, &Key) != ERROR_SUCCESS)
        return {};
    return TLxRegistryKey(Key);
}

TLxRegistryKey TLxRegistryKey::Create(uint32_t Root, const WideString& Path) {
    HKEY Key = nullptr;
    if (RegCreateKeyExW(RootHandle(Root), W(Path), 0, nullptr, 0, KEY_ALL_ACCESS | View, nullptr,
                        &Key, nullptr) != ERROR_SUCCESS)
        return {};
    return TLxRegistryKey(Key);
}

TRegValueKind TLxRegistryKey::ValueKind(const char16_t* Name) const {
    DWORD Type = 0;
    if (RegQueryValueExW(FKey.Get(), reinterpret_cast<const wchar_t*>(Name), nullptr, &Type,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return TRegValueKind::Missing;
    if (Type == REG_SZ || Type == REG_EXPAND_SZ) return TRegValueKind::String;
    return Type == REG_DWORD ? TRegValueKind::DWord : TRegValueKind::Other;
}

WideString TLxRegistryKey::ReadString(const char16_t* Name) const {
    const auto* NameText = reinterpret_cast<const wchar_t*>(Name);
    DWORD Type = 0, Size = 0;
    if (RegQueryValueExW(FKey.Get(), NameText, nullptr, &Type, nullptr, &Size) != ERROR_SUCCESS)
        return {};
    if (Type != REG_SZ && Type != REG_EXPAND_SZ)
        RaiseRegistryError(u"Invalid data type for '%s'", Name);
    // One character more than stored: a value written without its terminating zero.
    WideString Value(Size / sizeof(char16_t) + 1, u'\0');
    if (RegQueryValueExW(FKey.Get(), NameText, nullptr, &Type,
                         reinterpret_cast<BYTE*>(Value.data()), &Size) != ERROR_SUCCESS)
        return {};
    Value.resize(std::char_traits<char16_t>::length(Value.c_str()));
    return Value;
}

void TLxRegistryKey::WriteString(const char16_t* Name, const WideString& Value) {
    SetValue(FKey.Get(), Name, REG_SZ, Value.c_str(), DWORD((Value.size() + 1) * sizeof(char16_t)));
}

void TLxRegistryKey::WriteDWord(const char16_t* Name, uint32_t Value) {
    const DWORD Number = Value;
    SetValue(FKey.Get(), Name, REG_DWORD, &Number, sizeof(Number));
}
