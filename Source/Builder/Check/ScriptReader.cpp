#include "ScriptReader.h"

#include "LxExceptions.h"
#include "LxStrUtils.h"
#include "Suggestions.h"

#include <algorithm>

void TScriptSource::Record(const TPersistent& Object, const TXmlElement& Element) {
    FElements[&Object] = &Element;
}

const TXmlElement& TScriptSource::ElementOf(const TPersistent& Object) const {
    const auto Found = FElements.find(&Object);
    return Found == FElements.end() ? FRoot : *Found->second;
}

const TXmlAttr* TScriptSource::AttributeOf(const TPersistent& Object,
                                           WideStringView Property) const {
    const auto Found = FElements.find(&Object);
    if (Found == FElements.end()) return nullptr;
    for (const TXmlAttr& Attr : Found->second->Attributes)
        if (SameText(Utf8ToWide(Attr.Name), Property)) return &Attr;
    return nullptr;
}

TSourcePos TScriptSource::PosOf(const TPersistent& Object, WideStringView Property) const {
    const TXmlAttr* Attr = AttributeOf(Object, Property);
    return Attr ? Attr->ValuePos : ElementOf(Object).Pos;
}

TSourcePos TScriptSource::PosOfText(const TPersistent& Object, WideStringView Property,
                                    WideStringView Text) const {
    const TXmlAttr* Attr = AttributeOf(Object, Property);
    if (!Attr) return PosOf(Object, Property);
    // Looked for as written; a text that came from a variable's value is not there.
    const WideString Raw = Utf8ToWide(Attr->Raw);
    const size_t At = FindText(Raw, Text);
    if (At == WideString::npos) return Attr->ValuePos;
    return PositionWithin(Attr->ValuePos, Attr->Raw,
                          WideToUtf8(WideStringView(Raw).substr(0, At)).size());
}

namespace {

WideString Wide(std::string_view Utf8) {
    return Utf8ToWide(Utf8);
}

WideString Tag(std::string_view Name) {
    return FormatText(u"<%s>", Wide(Name));
}

WideString Identifiers(const TTypeInfo& Type, WideStringView Separator) {
    WideString Result;
    for (int I = 0; I < Type.IdentifierCount; ++I)
        Result += (I == 0 ? WideString() : WideString(Separator)) + Type.Identifiers[I];
    return Result;
}

class TReader {
public:
    TReader(TScriptSource& Source, TDiagnostics& Diagnostics) : S(Source), D(Diagnostics) {}

    void ReadObject(const TXmlElement& Element, TPersistent& Object) {
        S.Record(Object, Element);
        for (const TXmlAttr& Attr : Element.Attributes)
            Attribute(Element, Attr, Object);
        if (Element.HasText)
            D.Warning(Element.TextPos,
                      u"text inside " + Tag(Element.Name) + u": the installer ignores it");
        auto* List = dynamic_cast<TXmlObjectList*>(&Object);
        if (List) List->Clear(); // as the installer does, even when no item follows
        bool HasItems = false;
        for (const auto& Child : Element.Children)
            HasItems = HasItems || (List && SameText(Wide(Child->Name), u"Items"));
        std::vector<WideString> Known;
        ForEachProp(Object.ClassInfo(), [&](const TPropInfo& Prop) {
            if (Prop.Type->Kind == tkClass) Known.push_back(Prop.Name);
        });
        if (List) Known.push_back(u"Items");
        std::vector<const void*> Seen;
        for (const auto& Child : Element.Children) {
            const WideString Name = Wide(Child->Name);
            const TPropInfo* Prop = FindProp(Object.ClassInfo(), Name);
            TPersistent* Sub = Prop && Prop->Type->Kind == tkClass ? Prop->Object(Object) : nullptr;
            const bool IsItems = List && SameText(Name, u"Items");
            if (!Sub && !IsItems && List && !HasItems) {
                // The installer takes the items straight from a list without <Items>.
                Item(*Child, *List, Element);
                continue;
            }
            if (!Sub && !IsItems) {
                D.Error(Child->Pos, u"unknown element " + Tag(Child->Name) + u" in " +
                                        Tag(Element.Name) + DidYouMean(Name, Known));
                continue;
            }
            const void* Key = IsItems ? static_cast<const void*>(List) : Prop;
            if (std::find(Seen.begin(), Seen.end(), Key) != Seen.end()) {
                D.Error(Child->Pos,
                        u"a second " + Tag(Child->Name) + u": the installer reads only the first");
                continue;
            }
            Seen.push_back(Key);
            Spelling(Child->Pos, Name, IsItems ? u"Items" : Prop->Name);
            if (IsItems)
                Items(*Child, *List);
            else
                ReadObject(*Child, *Sub);
        }
    }

private:
    TScriptSource& S;
    TDiagnostics& D;

    void Spelling(TSourcePos Pos, WideStringView Written, WideStringView Name) {
        if (Written != Name) D.Warning(Pos, FormatText(u"'%s' is spelt '%s'", Written, Name));
    }

    void Items(const TXmlElement& Element, TXmlObjectList& List) {
        for (const TXmlAttr& Attr : Element.Attributes)
            D.Error(Attr.NamePos, u"unknown attribute '" + Wide(Attr.Name) + u"' of <Items>");
        if (Element.HasText)
            D.Warning(Element.TextPos, u"text inside <Items>: the installer ignores it");
        for (const auto& Child : Element.Children)
            Item(*Child, List, Element);
    }

    void Item(const TXmlElement& Element, TXmlObjectList& List, const TXmlElement& Parent) {
        const WideString Name = Wide(Element.Name);
        std::unique_ptr<TXmlPersistent> Created = List.CreateItem(Name);
        if (!Created) return;
        const WideString ClassName = Created->ClassName();
        if (!SameText(Name, ClassName))
            D.Error(Element.Pos, u"unknown element " + Tag(Element.Name) + u" in " +
                                     Tag(Parent.Name) + DidYouMean(Name, {ClassName}));
        else
            Spelling(Element.Pos, Name, ClassName);
        ReadObject(Element, *Created);
        List.Add(std::move(Created));
    }

    void Attribute(const TXmlElement& Element, const TXmlAttr& Attr, TPersistent& Object) {
        const WideString Name = Wide(Attr.Name);
        const TPropInfo* Prop = FindProp(Object.ClassInfo(), Name);
        if (!Prop || !Prop->Writable || Prop->Type->Kind == tkClass ||
            Prop->Type->Kind == tkMethod) {
            std::vector<WideString> Known;
            ForEachProp(Object.ClassInfo(), [&](const TPropInfo& Candidate) {
                if (Candidate.Writable && Candidate.Type->Kind != tkMethod)
                    Known.push_back(Candidate.Name);
            });
            D.Error(Attr.NamePos, u"unknown attribute '" + Name + u"' of " + Tag(Element.Name) +
                                      DidYouMean(Name, Known));
            return;
        }
        // The installer reads the first of a repeated attribute; the scanner reported the rest.
        for (const TXmlAttr& Other : Element.Attributes) {
            if (&Other == &Attr) break;
            if (SameAsciiText(Other.Name, Attr.Name)) return;
        }
        Spelling(Attr.NamePos, Name, Prop->Name);
        Value(Attr, Object, *Prop);
        try {
            LxProps::SetText(Object, *Prop, Attr.Value);
        } catch (const Exception&) {
            // Reported by Value; the property keeps what it had.
        }
    }

    // Reports a value that the installer would not read as written.
    void Value(const TXmlAttr& Attr, TPersistent& Object, const TPropInfo& Prop) {
        const WideString& Text = Attr.Value;
        const WideString Kept = LxProps::GetText(Object, Prop);
        const TTypeInfo& Type = *Prop.Type;
        const WideString Quoted = u"'" + Text + u"'";
        switch (Type.Kind) {
        case tkEnumeration: {
            const bool Boolean = &Type == &LxTypeInfo::Boolean;
            const WideString Expected = Boolean ? WideString(u"a Boolean: write True or False")
                                                : u"one of " + Identifiers(Type, u", ");
            const int Ordinal = LxProps::EnumValue(Type, Text);
            if (Text.empty())
                D.Warning(Attr.ValuePos, u"the value is empty, not " + Expected +
                                             u" (the installer keeps " + Kept + u")");
            else if (Ordinal < 0)
                D.Error(Attr.ValuePos, Quoted + u" is not " + Expected + u" (the installer reads " +
                                           Type.Identifiers[0] + u")");
            else
                Spelling(Attr.ValuePos, Text, Type.Identifiers[Ordinal]);
            return;
        }
        case tkInteger:
        case tkChar:
        case tkWChar:
        case tkInt64: {
            int64_t Number;
            int32_t Small;
            if (Text.empty())
                D.Warning(Attr.ValuePos,
                          u"the value is empty, not a number (the installer keeps " + Kept + u")");
            else if (Type.Kind == tkInt64 ? !TryStrToInt64(Text, Number)
                                          : !TryStrToInt(Text, Small))
                D.Error(Attr.ValuePos,
                        Quoted + u" is not a number (the installer keeps " + Kept + u")");
            return;
        }
        case tkFloat: {
            double Number;
            if (Text.empty())
                D.Warning(Attr.ValuePos,
                          u"the value is empty, not a number (the installer keeps " + Kept + u")");
            else if (!TryTextToFloat(Text, Number, GetDecimalSeparator()))
                D.Error(Attr.ValuePos,
                        Quoted + u" is not a number (the installer keeps " + Kept + u")");
            return;
        }
        case tkSet:
            try {
                LxProps::StringToSet(Type, Text);
            } catch (const Exception& Error) {
                D.Error(Attr.ValuePos, Error.Message());
            }
            return;
        default:
            return;
        }
    }
};

} // namespace

void ReadScript(const TXmlElement& Root, TSetupScript& Script, TScriptSource& Source,
                TDiagnostics& Diagnostics) {
    const WideString Name = Wide(Root.Name);
    const WideString ClassName = Script.ClassName();
    // The installer reads whatever the root is called; what it holds is checked as usual.
    if (!SameText(Name, ClassName))
        Diagnostics.Warning(Root.Pos, u"the root element is " + Tag(Root.Name) + u", not " +
                                          Tag(WideToUtf8(ClassName)) +
                                          u": the installer reads it all the same");
    TReader(Source, Diagnostics).ReadObject(Root, Script);
}
