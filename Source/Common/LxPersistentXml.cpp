#include "LxExceptions.h"
#include "LxFileStream.h"
#include "LxPersistent.h"
#include "LxStreams.h"
#include "LxSysUtils.h"
#include "LxXmlUtils.h"

using namespace LxProps;

void SavePropsToNode(const TPersistent& Instance, TXmlNode* Node, int Context) {
    auto& Self = const_cast<TPersistent&>(Instance);
    ForEachProp(Instance.ClassInfo(), [&](const TPropInfo& Prop) {
        if (!Prop.Readable) return;
        CheckSupported(Prop);
        if (Prop.OmittedWhenFalse && GetOrd(Self, Prop) == 0 &&
            !Node->Attributes.FindByName(Prop.Name))
            return;
        switch (Prop.Type->Kind) {
        case tkMethod:
            return;
        case tkClass: {
            TPersistent* Sub = Prop.Object(Self);
            if (auto* Persistent = dynamic_cast<TXmlPersistent*>(Sub))
                Persistent->SaveToNode(Node->ChildByName(Prop.Name), Context);
            else if (Sub)
                SavePropsToNode(*Sub, Node->ChildByName(Prop.Name), Context);
            return;
        }
        case tkInteger:
        case tkChar:
        case tkWChar:
        case tkInt64:
            Node->Attributes.FindOrAdd(Prop.Name)->SetAsInteger(GetOrd(Self, Prop));
            return;
        case tkFloat:
            Node->Attributes.FindOrAdd(Prop.Name)->SetAsFloat(
                *static_cast<double*>(Prop.Field(Self)));
            return;
        default:
            Node->Attributes.FindOrAdd(Prop.Name)->SetAsString(GetText(Self, Prop));
            return;
        }
    });
}

void LoadPropsFromNode(TPersistent& Instance, TXmlNode* Node, int Context) {
    ForEachProp(Instance.ClassInfo(), [&](const TPropInfo& Prop) {
        if (Prop.Type->Kind == tkClass) {
            // Sub-objects are filled, never created: their owner made them.
            TPersistent* Sub = Prop.Object(Instance);
            TXmlNode* Child = Node->FindChild(Prop.Name);
            if (!Sub || !Child) return;
            if (auto* Persistent = dynamic_cast<TXmlPersistent*>(Sub))
                Persistent->LoadFromNode(Child, Context);
            else
                LoadPropsFromNode(*Sub, Child, Context);
            return;
        }
        if (!Prop.Writable || Prop.Type->Kind == tkMethod) return;
        const TXmlAttribute* Attribute = Node->Attributes.FindByName(Prop.Name);
        if (!Attribute) return;
        CheckSupported(Prop);
        SetText(Instance, Prop, Attribute->AsString());
    });
}

void TXmlPersistent::SaveToNode(TXmlNode* Node, int Context) const {
    SavePropsToNode(*this, Node, Context);
}

void TXmlPersistent::LoadFromNode(TXmlNode* Node, int Context) {
    LoadPropsFromNode(*this, Node, Context);
}

void TXmlPersistent::SaveToStream(TStream& Stream, int Context) const {
    TXmlDocument Document(ClassName());
    SaveToNode(Document.Root.get(), Context);
    Document.SaveToStream(Stream);
}

void TXmlPersistent::LoadFromStream(TStream& Stream, int Context) {
    TXmlDocument Document;
    Document.LoadFromStream(Stream);
    if (Document.Root) LoadFromNode(Document.Root.get(), Context);
}

void TXmlPersistent::SaveToFile(WideStringView FileName, int Context) const {
    TLxFilefn::ForceFileDir(FileName);
    TFileStream File(FileName, fmCreate);
    SaveToStream(File, Context);
}

void TXmlPersistent::LoadFromFile(WideStringView FileName, int Context) {
    TFileStream File(FileName, fmOpenRead);
    LoadFromStream(File, Context);
}

void TXmlPersistent::AssignByXml(const TXmlPersistent* Source) {
    TMemoryStream Stream;
    Source->SaveToStream(Stream, 0);
    Stream.SetPosition(0);
    LoadFromStream(Stream, 0);
}

void TXmlObjectList::SaveToNode(TXmlNode* Node, int Context) const {
    SavePropsToNode(*this, Node, Context);
    TXmlNode* ItemsNode = Node->ChildByName(u"Items");
    ItemsNode->Children.Clear();
    for (const auto& Item : FItems)
        Item->SaveToNode(ItemsNode->AddChild(Item->ClassName()), Context);
}

void TXmlObjectList::LoadFromNode(TXmlNode* Node, int Context) {
    LoadPropsFromNode(*this, Node, Context);
    Clear();
    TXmlNode* ItemsNode = Node->FindChild(u"Items");
    if (!ItemsNode) ItemsNode = Node;
    for (const auto& Child : ItemsNode->Children) {
        std::unique_ptr<TXmlPersistent> Item = CreateItem(Child->GetName());
        if (!Item) continue;
        Item->LoadFromNode(Child.get(), Context);
        Add(std::move(Item));
    }
}
