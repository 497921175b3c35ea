#include "LxStreams.h"
#include "LxXmlUtils.h"

RawByteString TXmlAttributeList::AsText() const {
    RawByteString Result;
    for (const auto& Attribute : *this) {
        if (!Result.empty()) Result += ' ';
        Result += Attribute->Name;
        Result += "=\"";
        Result += Attribute->Value;
        Result += '"';
    }
    return Result;
}

RawByteString TXmlNode::TagText() const {
    if (Attributes.Count() == 0) return Name;
    return Name + ' ' + Attributes.AsText();
}

void TXmlNode::WriteLines(std::vector<RawByteString>& Lines, bool Formatted,
                          const RawByteString& Indent) const {
    const RawByteString Prefix = Formatted ? Indent : RawByteString();
    const RawByteString Content = CData ? "<![CDATA[" + Value + "]]>" : Value;
    if (Children.Count() == 0) {
        if (Content.empty())
            Lines.push_back(Prefix + '<' + TagText() + "/>");
        else
            Lines.push_back(Prefix + '<' + TagText() + '>' + Content + "</" + Name + '>');
        return;
    }
    Lines.push_back(Prefix + '<' + TagText() + '>' + Content);
    const RawByteString Inner = Indent + "    ";
    for (const auto& Child : Children)
        Child->WriteLines(Lines, Formatted, Inner);
    Lines.push_back(Prefix + "</" + Name + '>');
}

RawByteString TXmlDocument::SaveToText() const {
    std::vector<RawByteString> Lines;
    if (WriteDeclaration) Lines.emplace_back("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    if (Root) Root->WriteLines(Lines, Formatted, RawByteString());
    RawByteString Result;
    for (const RawByteString& Line : Lines) {
        Result += Line;
        if (Formatted) Result += "\r\n";
    }
    return Result;
}

void TXmlDocument::SaveToStream(TStream& Stream) const {
    const RawByteString Text = SaveToText();
    Stream.WriteBuffer(Text.data(), static_cast<int64_t>(Text.size()));
}
