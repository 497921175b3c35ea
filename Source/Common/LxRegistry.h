#pragma once

// Windows only: the one place that opens registry keys. Every key is opened in the 32-bit
// view, the view the 32-bit installer writes, whatever the build.
#include "LxTypes.h"

#include <vector>

// The predefined roots, by their handle values.
inline constexpr uint32_t HKEY_CLASSES_ROOT_VALUE = 0x80000000u;
inline constexpr uint32_t HKEY_CURRENT_USER_VALUE = 0x80000001u;
inline constexpr uint32_t HKEY_LOCAL_MACHINE_VALUE = 0x80000002u;
inline constexpr uint32_t HKEY_USERS_VALUE = 0x80000003u;
inline constexpr uint32_t HKEY_CURRENT_CONFIG_VALUE = 0x80000005u;

enum class TRegValueKind : uint8_t { Missing, String, DWord, Other };

// An open key, closed with its owner.
class TLxRegistryKey {
public:
    TLxRegistryKey() = default;
    ~TLxRegistryKey();
    TLxRegistryKey(TLxRegistryKey&& Other) noexcept;
    TLxRegistryKey& operator=(TLxRegistryKey&& Other) noexcept;
    TLxRegistryKey(const TLxRegistryKey&) = delete;
    TLxRegistryKey& operator=(const TLxRegistryKey&) = delete;

    // An existing key; not valid when it does not open.
    static TLxRegistryKey Open(uint32_t Root, WideStringView Path, bool Writable = false);
    // Opened for writing, created with its missing parents; not valid when that fails.
    static TLxRegistryKey Create(uint32_t Root, WideStringView Path);

    bool Valid() const { return FKey != nullptr; }
    explicit operator bool() const { return Valid(); }

    TRegValueKind ValueKind(WideStringView Name) const;
    // A missing value reads as empty; a value of another type raises "Invalid data type for
    // '%s'", the registry read error.
    WideString ReadString(WideStringView Name) const;
    // Raise "Failed to set data for '%s'".
    void WriteString(WideStringView Name, WideStringView Value);
    void WriteDWord(WideStringView Name, uint32_t Value);
    // False when the value did not exist or could not be deleted.
    bool DeleteValue(WideStringView Name);
    std::vector<WideString> ValueNames() const;
    std::vector<WideString> SubKeyNames() const;
    // Neither values nor sub-keys.
    bool IsEmpty() const;

private:
    explicit TLxRegistryKey(void* Key) : FKey(Key) {}
    void* FKey = nullptr;
};

// Deletes the key when it has neither values nor sub-keys; true when it is gone.
bool DeleteRegistryKeyIfEmpty(uint32_t Root, WideStringView Path);
