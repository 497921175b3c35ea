#include "LxPersistent.h"

#include "LxExceptions.h"
#include "LxPlatform.h"
#include "LxStrUtils.h"

#include <cstring>

const TClassInfo& TPersistent::StaticClassInfo() {
    static constexpr TClassInfo Info{u"TPersistent", nullptr, nullptr, 0, nullptr};
    return Info;
}

void TPersistent::Assign(const TPersistent* Source) {
    if (Source) {
        Source->AssignTo(this);
        return;
    }
    throw EConvertError(FormatText(u"Cannot assign a %s to a %s", u"nil", ClassName()));
}

void TPersistent::AssignTo(TPersistent* Dest) const {
    throw EConvertError(FormatText(u"Cannot assign a %s to a %s", ClassName(), Dest->ClassName()));
}

const TPropInfo* FindProp(const TClassInfo& Info, WideStringView Name) {
    for (const TClassInfo* Class = &Info; Class; Class = Class->Parent ? &Class->Parent() : nullptr)
        for (size_t I = 0; I < Class->PropCount; ++I)
            if (SameText(Class->Props[I].Name, Name)) return &Class->Props[I];
    return nullptr;
}

namespace LxProps {

bool IsOrdinalKind(TTypeKind Kind) {
    return Kind == tkInteger || Kind == tkChar || Kind == tkWChar || Kind == tkEnumeration ||
           Kind == tkInt64;
}

void CheckSupported(const TPropInfo& Prop) {
    switch (Prop.Type->Kind) {
    case tkVariant:
    case tkArray:
    case tkRecord:
    case tkInterface:
        RaiseAssertion(Prop.Type->Name, __FILE__, __LINE__);
    default:
        break;
    }
}

int64_t GetOrd(TPersistent& Instance, const TPropInfo& Prop) {
    const void* Field = Prop.Field(Instance);
    switch (Prop.Type->OrdType) {
    case otSByte:
        return *static_cast<const int8_t*>(Field);
    case otUByte:
        return *static_cast<const uint8_t*>(Field);
    case otSWord:
        return *static_cast<const int16_t*>(Field);
    case otUWord:
        return *static_cast<const uint16_t*>(Field);
    // 32-bit ordinals travel widened with their sign, so unsigned ones read back unchanged.
    case otSLong:
    case otULong:
        return *static_cast<const int32_t*>(Field);
    case otSQuad:
        return *static_cast<const int64_t*>(Field);
    }
    return 0;
}

void SetOrd(TPersistent& Instance, const TPropInfo& Prop, int64_t Value) {
    void* Field = Prop.Field(Instance);
    switch (Prop.Type->OrdType) {
    case otSByte:
    case otUByte:
        *static_cast<uint8_t*>(Field) = static_cast<uint8_t>(Value);
        break;
    case otSWord:
    case otUWord:
        *static_cast<uint16_t*>(Field) = static_cast<uint16_t>(Value);
        break;
    case otSLong:
    case otULong:
        *static_cast<uint32_t*>(Field) = static_cast<uint32_t>(Value);
        break;
    case otSQuad:
        *static_cast<int64_t*>(Field) = Value;
        break;
    }
}

WideString EnumName(const TTypeInfo& Type, int64_t Ordinal) {
    if (Ordinal < 0 || Ordinal >= Type.IdentifierCount) return IntToStr(Ordinal);
    return Type.Identifiers[Ordinal];
}

int EnumValue(const TTypeInfo& Type, WideStringView Name) {
    for (int I = 0; I < Type.IdentifierCount; ++I) {
        const WideStringView Identifier = Type.Identifiers[I];
        if (Identifier.size() != Name.size()) continue;
        size_t K = 0;
        while (K < Name.size()) {
            char16_t A = Identifier[K], B = Name[K];
            if (A >= u'a' && A <= u'z') A = char16_t(A - 32);
            if (B >= u'a' && B <= u'z') B = char16_t(B - 32);
            if (A != B) break;
            ++K;
        }
        if (K == Name.size()) return I;
    }
    return -1;
}

WideString SetToString(const TTypeInfo& Type, uint32_t Bits) {
    WideString Result;
    const TTypeInfo& Element = *Type.ElementType;
    for (int I = 0; I < Element.IdentifierCount && I < 32; ++I) {
        if (!(Bits & (1u << I))) continue;
        if (!Result.empty()) Result += u',';
        Result += Element.Identifiers[I];
    }
    return Result;
}

uint32_t StringToSet(const TTypeInfo& Type, WideStringView Text) {
    WideString Body = Trim(Text);
    if (!Body.empty() && Body.front() == u'[') Body.erase(0, 1);
    if (!Body.empty() && Body.back() == u']') Body.pop_back();
    uint32_t Bits = 0;
    size_t Start = 0;
    while (Start <= Body.size()) {
        size_t Comma = Body.find(u',', Start);
        if (Comma == WideString::npos) Comma = Body.size();
        const WideString Name = Trim(WideStringView(Body).substr(Start, Comma - Start));
        if (!Name.empty()) {
            const int Ordinal = EnumValue(*Type.ElementType, Name);
            if (Ordinal < 0 || Ordinal >= 32)
                throw EPropertyError(FormatText(u"Invalid property element: %s", Name));
            Bits |= 1u << Ordinal;
        }
        Start = Comma + 1;
    }
    return Bits;
}

WideString GetText(TPersistent& Instance, const TPropInfo& Prop) {
    void* Field = Prop.Field(Instance);
    switch (Prop.Type->Kind) {
    case tkEnumeration:
        return EnumName(*Prop.Type, GetOrd(Instance, Prop));
    case tkFloat:
        return FloatToText(*static_cast<double*>(Field), GetDecimalSeparator());
    case tkString:
        return PlatformAnsiToWide(*static_cast<RawByteString*>(Field));
    case tkSet:
        return SetToString(*Prop.Type, *static_cast<uint32_t*>(Field));
    case tkUString:
        return *static_cast<WideString*>(Field);
    default:
        return IntToStr(GetOrd(Instance, Prop));
    }
}

void SetText(TPersistent& Instance, const TPropInfo& Prop, WideStringView Text) {
    void* Field = Prop.Field(Instance);
    switch (Prop.Type->Kind) {
    case tkInteger:
    case tkChar:
    case tkWChar: {
        int32_t Value;
        if (TryStrToInt(Text, Value)) SetOrd(Instance, Prop, Value);
        break;
    }
    case tkInt64: {
        int64_t Value;
        if (TryStrToInt64(Text, Value)) SetOrd(Instance, Prop, Value);
        break;
    }
    case tkEnumeration:
        if (!Text.empty()) {
            const int Ordinal = EnumValue(*Prop.Type, Text);
            SetOrd(Instance, Prop, Ordinal < 0 ? 0 : Ordinal);
        }
        break;
    case tkFloat: {
        double Value;
        if (TryTextToFloat(Text, Value, GetDecimalSeparator()))
            *static_cast<double*>(Field) = Value;
        break;
    }
    case tkString:
        *static_cast<RawByteString*>(Field) = PlatformWideToAnsi(Text);
        break;
    case tkSet:
        *static_cast<uint32_t*>(Field) = StringToSet(*Prop.Type, Text);
        break;
    case tkUString:
        *static_cast<WideString*>(Field) = WideString(Text);
        break;
    default:
        CheckSupported(Prop);
        break;
    }
}

} // namespace LxProps

using namespace LxProps;

const TClassInfo& TXmlPersistent::StaticClassInfo() {
    static constexpr TClassInfo Info =
        MakeClassInfo<TXmlPersistent>(u"TXmlPersistent", &TPersistent::StaticClassInfo);
    return Info;
}

namespace {

// One property copied from a source that may be of another class.
void CopyProp(TPersistent& Dest, const TPropInfo& Prop, TPersistent& Source,
              const TPropInfo& From) {
    CheckSupported(Prop);
    CheckSupported(From);
    const TTypeKind Kind = Prop.Type->Kind;
    if (Kind == tkMethod) return;
    if (Kind == tkClass) {
        if (From.Type->Kind != tkClass) return;
        auto* Target = dynamic_cast<TXmlPersistent*>(Prop.Object(Dest));
        auto* Origin = dynamic_cast<TXmlPersistent*>(From.Object(Source));
        if (Target && Origin) Target->Assign(Origin);
        return;
    }
    if (From.Type->Kind == tkClass || From.Type->Kind == tkMethod) return;
    if (Kind == From.Type->Kind && Kind != tkEnumeration && IsOrdinalKind(Kind)) {
        SetOrd(Dest, Prop, GetOrd(Source, From));
    } else if (Kind == From.Type->Kind && Kind == tkFloat) {
        *static_cast<double*>(Prop.Field(Dest)) = *static_cast<double*>(From.Field(Source));
    } else {
        // Enumerations go by identifier; other pairs through their text forms.
        SetText(Dest, Prop, GetText(Source, From));
    }
}

bool SamePropValue(TPersistent& A, TPersistent& B, const TPropInfo& Prop) {
    CheckSupported(Prop);
    switch (Prop.Type->Kind) {
    case tkMethod:
        return true;
    case tkClass: {
        auto* X = dynamic_cast<TXmlPersistent*>(Prop.Object(A));
        auto* Y = dynamic_cast<TXmlPersistent*>(Prop.Object(B));
        return !(X && Y) || X->IsEqual(Y);
    }
    case tkFloat:
        return *static_cast<double*>(Prop.Field(A)) == *static_cast<double*>(Prop.Field(B));
    case tkString:
        return *static_cast<RawByteString*>(Prop.Field(A)) ==
               *static_cast<RawByteString*>(Prop.Field(B));
    case tkUString:
        return *static_cast<WideString*>(Prop.Field(A)) == *static_cast<WideString*>(Prop.Field(B));
    case tkSet:
        return *static_cast<uint32_t*>(Prop.Field(A)) == *static_cast<uint32_t*>(Prop.Field(B));
    default:
        return GetOrd(A, Prop) == GetOrd(B, Prop);
    }
}

} // namespace

void TXmlPersistent::Assign(const TPersistent* Source) {
    auto* From = dynamic_cast<const TXmlPersistent*>(Source);
    if (!From) {
        TPersistent::Assign(Source);
        return;
    }
    auto& Origin = const_cast<TXmlPersistent&>(*From);
    ForEachProp(ClassInfo(), [&](const TPropInfo& Prop) {
        if (!Prop.Writable && Prop.Type->Kind != tkClass) return;
        if (const TPropInfo* Match = FindProp(Origin.ClassInfo(), Prop.Name))
            CopyProp(*this, Prop, Origin, *Match);
    });
}

std::unique_ptr<TXmlPersistent> TXmlPersistent::Clone() const {
    const TClassInfo& Info = ClassInfo();
    LX_ASSERT(Info.Create != nullptr);
    std::unique_ptr<TPersistent> Created = Info.Create();
    LX_ASSERT(&Created->ClassInfo() == &Info);
    std::unique_ptr<TXmlPersistent> Copy(static_cast<TXmlPersistent*>(Created.release()));
    Copy->Assign(this);
    return Copy;
}

bool TXmlPersistent::IsEqual(const TXmlPersistent* Other) const {
    if (!Other || &Other->ClassInfo() != &ClassInfo()) return false;
    auto& Self = const_cast<TXmlPersistent&>(*this);
    auto& That = const_cast<TXmlPersistent&>(*Other);
    bool Equal = true;
    ForEachProp(ClassInfo(), [&](const TPropInfo& Prop) {
        if (!Equal || (!Prop.Writable && Prop.Type->Kind != tkClass)) return;
        Equal = SamePropValue(Self, That, Prop);
    });
    return Equal;
}

const TClassInfo& TXmlObjectList::StaticClassInfo() {
    static constexpr TClassInfo Info =
        MakeClassInfo<TXmlObjectList>(u"TXmlObjectList", &TXmlPersistent::StaticClassInfo);
    return Info;
}

void TXmlObjectList::Assign(const TPersistent* Source) {
    TXmlPersistent::Assign(Source);
    auto* From = dynamic_cast<const TXmlObjectList*>(Source);
    if (!From || From == this) return;
    Clear();
    for (const auto& Item : From->FItems)
        FItems.push_back(Item->Clone());
}

std::unique_ptr<TXmlPersistent> TXmlObjectList::CreateItem(WideStringView) {
    RaiseAbstractError();
}

void TXmlObjectList::Clear() {
    FItems.clear();
}

bool TXmlObjectList::ItemsEqual(const TXmlObjectList* Other) const {
    if (!Other || Other->Count() != Count()) return false;
    for (size_t I = 0; I < FItems.size(); ++I)
        if (!FItems[I]->IsEqual(Other->FItems[I].get())) return false;
    return true;
}

TXmlPersistent* TXmlObjectList::Add(std::unique_ptr<TXmlPersistent> Item) {
    FItems.push_back(std::move(Item));
    return FItems.back().get();
}

TXmlPersistent* TXmlObjectList::Items(int Index) const {
    const int Position = Index < 0 ? Count() + Index : Index;
    if (Position < 0 || Position >= Count()) RaiseListIndexError(Index);
    return FItems[static_cast<size_t>(Position)].get();
}

void TXmlObjectList::Delete(int Index) {
    Items(Index);
    const int Position = Index < 0 ? Count() + Index : Index;
    FItems.erase(FItems.begin() + Position);
}
