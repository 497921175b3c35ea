#include "LxExceptions.h"
#include "LxPersistent.h"
#include "LxStrUtils.h"
#include "LxStreams.h"

#include <nlohmann/json.hpp>

using namespace LxProps;
using json = nlohmann::ordered_json;

namespace {

WideString MemberText(const json& Member) {
    if (Member.is_string()) return Utf8ToWide(Member.get<std::string>());
    return Utf8ToWide(Member.dump());
}

} // namespace

void TXmlPersistent::SaveToJson(json& Json, int Context) const {
    auto& Self = const_cast<TXmlPersistent&>(*this);
    ForEachProp(ClassInfo(), [&](const TPropInfo& Prop) {
        if (!Prop.Readable) return;
        CheckSupported(Prop);
        if (Prop.OmittedWhenFalse && GetOrd(Self, Prop) == 0) return;
        const std::string Name = WideToUtf8(Prop.Name);
        switch (Prop.Type->Kind) {
        case tkMethod:
            return;
        case tkClass:
            if (auto* Sub = dynamic_cast<TXmlPersistent*>(Prop.Object(Self))) {
                json Object = json::object();
                Sub->SaveToJson(Object, Context);
                Json[Name] = std::move(Object);
            }
            return;
        case tkInteger:
        case tkChar:
        case tkWChar:
        case tkInt64:
            Json[Name] = GetOrd(Self, Prop);
            return;
        case tkFloat:
            Json[Name] = *static_cast<double*>(Prop.Field(Self));
            return;
        default:
            Json[Name] = WideToUtf8(GetText(Self, Prop));
            return;
        }
    });
    if (auto* List = dynamic_cast<const TXmlObjectList*>(this)) {
        json Items = json::array();
        for (int I = 0; I < List->Count(); ++I) {
            json Item = json::object();
            List->Items(I)->SaveToJson(Item, Context);
            Item["ClassName"] = WideToUtf8(List->Items(I)->ClassName());
            Items.push_back(std::move(Item));
        }
        Json["Items"] = std::move(Items);
    }
}

void TXmlPersistent::LoadFromJson(const json& Json, int Context) {
    ForEachProp(ClassInfo(), [&](const TPropInfo& Prop) {
        if (!Json.is_object()) return;
        const auto Found = Json.find(WideToUtf8(Prop.Name));
        if (Found == Json.end()) return;
        const json& Member = *Found;
        if (Prop.Type->Kind == tkClass) {
            if (auto* Sub = dynamic_cast<TXmlPersistent*>(Prop.Object(*this)))
                Sub->LoadFromJson(Member, Context);
            return;
        }
        if (!Prop.Writable || Prop.Type->Kind == tkMethod) return;
        CheckSupported(Prop);
        switch (Prop.Type->Kind) {
        case tkInteger:
        case tkChar:
        case tkWChar:
        case tkInt64:
            if (Member.is_number_integer()) SetOrd(*this, Prop, Member.get<int64_t>());
            return;
        case tkFloat:
            if (Member.is_number()) *static_cast<double*>(Prop.Field(*this)) = Member.get<double>();
            return;
        default:
            SetText(*this, Prop, MemberText(Member));
            return;
        }
    });
    auto* List = dynamic_cast<TXmlObjectList*>(this);
    if (!List) return;
    List->Clear();
    const auto Items = Json.is_object() ? Json.find("Items") : Json.end();
    if (Items == Json.end() || !Items->is_array()) return;
    for (const json& Element : *Items) {
        const auto Name = Element.is_object() ? Element.find("ClassName") : Element.end();
        const WideString ClassName =
            Name != Element.end() && Name->is_string() ? Utf8ToWide(Name->get<std::string>()) : u"";
        std::unique_ptr<TXmlPersistent> Item = List->CreateItem(ClassName);
        if (!Item) continue;
        Item->LoadFromJson(Element, Context);
        List->Add(std::move(Item));
    }
}

void TXmlPersistent::SaveToJsonStream(TStream& Stream, int Context) const {
    json Root =
        dynamic_cast<const TXmlObjectList*>(this) ? json{{"Items", json::array()}} : json::object();
    SaveToJson(Root, Context);
    const std::string Text = Root.dump(2, ' ', true);
    Stream.WriteBuffer(Text.data(), static_cast<int64_t>(Text.size()));
}
