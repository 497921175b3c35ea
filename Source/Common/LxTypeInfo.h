#pragma once

// Published-property tables: each persistent class lists its properties once, and every
// generic walk (XML, JSON, copy, compare) reads them from here.

#include "LxTypes.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

class TPersistent;

enum TTypeKind {
    tkInteger,
    tkChar,
    tkWChar,
    tkEnumeration,
    tkFloat,
    tkString, // 8-bit, system code page
    tkSet,
    tkUString,
    tkInt64,
    tkClass,
    tkMethod,
    tkVariant,
    tkArray,
    tkRecord,
    tkInterface
};

enum TOrdType { otSByte, otUByte, otSWord, otUWord, otSLong, otULong, otSQuad };

struct TTypeInfo {
    TTypeKind Kind;
    const char16_t* Name;
    TOrdType OrdType = otSLong;
    const char16_t* const* Identifiers = nullptr; // enumerations, in ordinal order
    int IdentifierCount = 0;
    const TTypeInfo* ElementType = nullptr; // sets
};

struct TPropInfo {
    const char16_t* Name;
    const TTypeInfo* Type;
    void* (*Field)(TPersistent&) = nullptr;         // scalar kinds: the field read and written
    TPersistent* (*Object)(TPersistent&) = nullptr; // class kind: the sub-object, if any
    bool Readable = true;
    bool Writable = true;
    // A property added to a stored format: written only when it is not false, so that what
    // does not use it is stored as before.
    bool OmittedWhenFalse = false;
};

struct TClassInfo {
    const char16_t* ClassName;
    const TClassInfo& (*Parent)(); // none for the root
    const TPropInfo* Props;
    size_t PropCount;
    std::unique_ptr<TPersistent> (*Create)(); // virtual constructor; null when abstract
};

// Set of up to 32 enumeration members, stored as a bit mask.
template <class TEnum>
struct TSet {
    uint32_t Bits = 0;
    bool Contains(TEnum Value) const { return Bits & (1u << unsigned(Value)); }
    void Include(TEnum Value) { Bits |= 1u << unsigned(Value); }
    bool operator==(const TSet&) const = default;
};

namespace LxTypeInfo {

inline constexpr const char16_t* BooleanNames[] = {u"False", u"True"};
inline constexpr TTypeInfo Boolean{tkEnumeration, u"Boolean", otUByte, BooleanNames, 2};
inline constexpr TTypeInfo ShortInt{tkInteger, u"ShortInt", otSByte};
inline constexpr TTypeInfo Byte{tkInteger, u"Byte", otUByte};
inline constexpr TTypeInfo SmallInt{tkInteger, u"SmallInt", otSWord};
inline constexpr TTypeInfo Word{tkInteger, u"Word", otUWord};
inline constexpr TTypeInfo Integer{tkInteger, u"Integer", otSLong};
inline constexpr TTypeInfo Cardinal{tkInteger, u"Cardinal", otULong};
inline constexpr TTypeInfo Int64{tkInt64, u"Int64", otSQuad};
inline constexpr TTypeInfo Double{tkFloat, u"Double"};
inline constexpr TTypeInfo AnsiChar{tkChar, u"AnsiChar", otUByte};
inline constexpr TTypeInfo WideChar{tkWChar, u"WideChar", otUWord};
inline constexpr TTypeInfo AnsiString{tkString, u"AnsiString"};
inline constexpr TTypeInfo UnicodeString{tkUString, u"UnicodeString"};
inline constexpr TTypeInfo Object{tkClass, u"TObject"};

template <class T>
constexpr TOrdType OrdTypeOf() {
    if constexpr (std::is_enum_v<T>)
        return OrdTypeOf<std::underlying_type_t<T>>();
    else if constexpr (sizeof(T) == 1)
        return std::is_signed_v<T> ? otSByte : otUByte;
    else if constexpr (sizeof(T) == 2)
        return std::is_signed_v<T> ? otSWord : otUWord;
    else if constexpr (sizeof(T) == 4)
        return std::is_signed_v<T> ? otSLong : otULong;
    else
        return otSQuad;
}

template <class T>
struct IsUniquePtr : std::false_type {};
template <class T>
struct IsUniquePtr<std::unique_ptr<T>> : std::true_type {};

template <class T>
struct IsSet : std::false_type {};
template <class T>
struct IsSet<TSet<T>> : std::true_type {
    using Element = T;
};

template <class TMember>
struct MemberTraits;
template <class C, class F>
struct MemberTraits<F C::*> {
    using Class = C;
    using Field = F;
};

template <class TEnum>
inline constexpr TTypeInfo SetTypeInfo{tkSet, u"Set", otULong, nullptr, 0, &EnumTypeInfo(TEnum{})};

// Type information of a field type; enumerations provide EnumTypeInfo through LX_ENUM_TYPE.
template <class F>
constexpr const TTypeInfo& TypeOf() {
    if constexpr (std::is_same_v<F, bool>)
        return Boolean;
    else if constexpr (std::is_enum_v<F>)
        return EnumTypeInfo(F{});
    else if constexpr (IsSet<F>::value)
        return SetTypeInfo<typename IsSet<F>::Element>;
    else if constexpr (std::is_same_v<F, char16_t>)
        return WideChar;
    else if constexpr (std::is_same_v<F, char>)
        return AnsiChar;
    else if constexpr (std::is_same_v<F, int8_t>)
        return ShortInt;
    else if constexpr (std::is_same_v<F, uint8_t>)
        return Byte;
    else if constexpr (std::is_same_v<F, int16_t>)
        return SmallInt;
    else if constexpr (std::is_same_v<F, uint16_t>)
        return Word;
    else if constexpr (std::is_same_v<F, int32_t>)
        return Integer;
    else if constexpr (std::is_same_v<F, uint32_t>)
        return Cardinal;
    else if constexpr (std::is_same_v<F, int64_t>)
        return Int64;
    else if constexpr (std::is_same_v<F, double>)
        return Double;
    else if constexpr (std::is_same_v<F, RawByteString>)
        return AnsiString;
    else if constexpr (std::is_same_v<F, WideString>)
        return UnicodeString;
    else
        static_assert(sizeof(F) == 0, "no published kind for this field type");
}

template <auto Member>
void* FieldOf(TPersistent& Instance) {
    using C = typename MemberTraits<decltype(Member)>::Class;
    return &(static_cast<C&>(Instance).*Member);
}

template <auto Member>
TPersistent* ObjectOf(TPersistent& Instance) {
    using C = typename MemberTraits<decltype(Member)>::Class;
    auto& Field = static_cast<C&>(Instance).*Member;
    if constexpr (IsUniquePtr<std::remove_cvref_t<decltype(Field)>>::value)
        return Field.get();
    else
        return &Field;
}

template <class T>
std::unique_ptr<TPersistent> CreateInstance() {
    return std::make_unique<T>();
}

} // namespace LxTypeInfo

// A published property that reads and writes a field; sub-objects have a reader only. The
// tables are constants: no code runs to build them.
template <auto Member>
constexpr TPropInfo Published(const char16_t* Name) {
    using F = typename LxTypeInfo::MemberTraits<decltype(Member)>::Field;
    if constexpr (LxTypeInfo::IsUniquePtr<F>::value || std::is_base_of_v<TPersistent, F>)
        return TPropInfo{Name, &LxTypeInfo::Object, nullptr, &LxTypeInfo::ObjectOf<Member>, true,
                         false};
    else
        return TPropInfo{
            Name, &LxTypeInfo::TypeOf<F>(), &LxTypeInfo::FieldOf<Member>, nullptr, true, true};
}

// A Boolean property that the stored format gained later: absent means false.
template <auto Member>
constexpr TPropInfo PublishedAddition(const char16_t* Name) {
    TPropInfo Info = Published<Member>(Name);
    Info.OmittedWhenFalse = true;
    return Info;
}

template <class T, size_t N>
constexpr TClassInfo MakeClassInfo(const char16_t* ClassName, const TClassInfo& (*Parent)(),
                                   const TPropInfo (&Props)[N]) {
    std::unique_ptr<TPersistent> (*Create)() = nullptr;
    if constexpr (!std::is_abstract_v<T> && std::is_default_constructible_v<T>)
        Create = &LxTypeInfo::CreateInstance<T>;
    return TClassInfo{ClassName, Parent, Props, N, Create};
}

template <class T>
constexpr TClassInfo MakeClassInfo(const char16_t* ClassName, const TClassInfo& (*Parent)()) {
    std::unique_ptr<TPersistent> (*Create)() = nullptr;
    if constexpr (!std::is_abstract_v<T> && std::is_default_constructible_v<T>)
        Create = &LxTypeInfo::CreateInstance<T>;
    return TClassInfo{ClassName, Parent, nullptr, 0, Create};
}

// Declares the class information of a persistent class; the .cpp defines StaticClassInfo.
#define LX_PERSISTENT_CLASS(Name)                                                                  \
public:                                                                                            \
    static const TClassInfo& StaticClassInfo();                                                    \
    const TClassInfo& ClassInfo() const override {                                                 \
        return StaticClassInfo();                                                                  \
    }                                                                                              \
                                                                                                   \
private:

// Declares the identifiers of an enumeration, in ordinal order.
#define LX_ENUM_TYPE(Type, ...)                                                                    \
    inline constexpr const char16_t* Type##_Identifiers[] = {__VA_ARGS__};                         \
    inline constexpr TTypeInfo Type##_TypeInfo{                                                    \
        tkEnumeration,                                                                             \
        u"" #Type,                                                                                 \
        LxTypeInfo::OrdTypeOf<Type>(),                                                             \
        Type##_Identifiers,                                                                        \
        int(sizeof(Type##_Identifiers) / sizeof(Type##_Identifiers[0])),                           \
        nullptr};                                                                                  \
    constexpr const TTypeInfo& EnumTypeInfo(Type) {                                                \
        return Type##_TypeInfo;                                                                    \
    }
