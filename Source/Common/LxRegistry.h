#pragma once

// Windows only: the one place that opens registry keys. Every key is opened in the 32-bit
// view, the view the 32-bit installer writes, whatever the build.
#include "LxTypes.h"
#include "LxWinHandles.h"

#include <vector>

enum class TRegValueKind : uint8_t { Missing, String, DWord, Other };

// An open key, closed with its owner. Roots are the predefined keys' 32-bit values
// (0x80000002 for HKEY_LOCAL_MACHINE).
class TLxRegistryKey {
public:
    TLxRegistryKey() = default;

    // An existing key; not valid when it does not open.
    static TLxRegistryKey Open(uint32_t Root, const WideString& Path, bool Writable = false);
    // Opened for writing, created with its missing parents; not valid when that fails.
    static TLxRegistryKey Create(uint32_t Root, const WideString& Path);

    bool Valid() const { return FKey.Valid(); }
    explicit operator bool() const { return Valid(); }

    // Value names are the system's zero-terminated texts.
    TRegValueKind ValueKind(const char16_t* Name) const;
    // A missing value reads as empty; a value of another type raises "Invalid data type for
    // '%s'", the registry read error.
    WideString ReadString(const char16_t* Name) const;
    // Raise "Failed to set data for '%s'".
    void WriteString(const char16_t* Name, const WideString& Value);
    void WriteDWord(const char16_t* Name, uint32_t Value);
    // False when the value did not exist or could not be deleted.
    bool DeleteValue(const char16_t* Name);
    std::vector<WideString> ValueNames() const;
    std::vector<WideString> SubKeyNames() const;
    // An open key with neither values nor sub-keys.
    bool IsEmptyKey() const;
    // Deletes the key when it exists and has neither values nor sub-keys; true when it did.
    static bool DeleteIfEmpty(uint32_t Root, const WideString& Path);
    // Deletes the key with its values; a key with sub-keys stays. True when it did.
    static bool DeleteKey(uint32_t Root, const WideString& Path);

private:
    // The view is chosen here and nowhere else.
    static constexpr REGSAM View = KEY_WOW64_32KEY;
    // The predefined handles are sign-extended 32-bit values, also in a 64-bit process.
    static HKEY RootHandle(uint32_t Root) {
        return reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(Root)));
    }
    explicit TLxRegistryKey(HKEY Key) : FKey(Key) {}
    TRegistryKeyHandle FKey;
};
