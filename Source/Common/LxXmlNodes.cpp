#include "LxStrUtils.h"
#include "LxXmlUtils.h"

WideString TXmlAttribute::AsString() const {
    return CData ? Utf8ToWide(Value) : XmlUnescape(Value);
}

void TXmlAttribute::SetAsString(WideStringView Text) {
    Value = CData ? WideToUtf8(Text) : XmlEscape(Text);
}

void TXmlAttribute::SetAsFloat(double Number) {
    Value = WideToUtf8(FloatToText(Number, GetDecimalSeparator()));
    CData = false;
}

void TXmlAttribute::SetAsInteger(int64_t Number) {
    Value = std::to_string(Number);
    CData = false;
}

template <class T>
int TXmlKeyList<T>::IndexOfName(WideStringView Name) const {
    const RawByteString Stored = XmlEscape(Name);
    for (size_t I = 0; I < FItems.size(); ++I)
        if (SameAsciiText(FItems[I]->Name, Stored)) return static_cast<int>(I);
    return -1;
}

template class TXmlKeyList<TXmlAttribute>;
template class TXmlKeyList<TXmlNode>;

TXmlAttribute* TXmlAttributeList::FindOrAdd(WideStringView Name) {
    if (TXmlAttribute* Found = FindByName(Name)) return Found;
    auto Attribute = std::make_unique<TXmlAttribute>();
    Attribute->SetName(Name);
    return Add(std::move(Attribute));
}

TXmlNode* TXmlNodeList::FindOrAdd(WideStringView Name, TXmlNode* Parent) {
    if (TXmlNode* Found = FindByName(Name)) return Found;
    auto Node = std::make_unique<TXmlNode>(Parent);
    Node->SetName(Name);
    return Add(std::move(Node));
}

TXmlNode* TXmlNode::AddChild(WideStringView ChildName) {
    auto Node = std::make_unique<TXmlNode>(this);
    Node->SetName(ChildName);
    return Children.Add(std::move(Node));
}

TXmlNode* TXmlNode::ChildByName(WideStringView ChildName) {
    return Children.FindOrAdd(ChildName, this);
}

TXmlDocument::TXmlDocument() : Root(std::make_unique<TXmlNode>(nullptr)) {}

TXmlDocument::TXmlDocument(WideStringView RootName) : TXmlDocument() {
    Root->SetName(RootName);
}
