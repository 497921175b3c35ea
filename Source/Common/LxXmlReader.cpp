#include "LxExceptions.h"
#include "LxStreams.h"
#include "LxXmlUtils.h"

namespace {

// Markup comes from packages and hand-written projects: the tree is freed and written
// recursively, and no document of the system comes near these.
constexpr int MaxDepth = 256;
constexpr int MaxAttributes = 1024;
constexpr size_t MaxNameLength = 1024;

void CheckNameLength(std::string_view Name) {
    if (Name.size() > MaxNameLength) RaiseXmlError(u"XML 名称超过 1024 字节");
}

std::string_view TrimBlanks(std::string_view Text) {
    while (!Text.empty() && static_cast<uint8_t>(Text.front()) <= 32)
        Text.remove_prefix(1);
    while (!Text.empty() && static_cast<uint8_t>(Text.back()) <= 32)
        Text.remove_suffix(1);
    return Text;
}

} // namespace

void TXmlAttributeList::Parse(std::string_view Text) {
    Clear();
    size_t Position = 0;
    // Where the next double quote is, found once: searching again for every attribute of a
    // tag without any would take quadratic time.
    size_t DoubleQuote = 0;
    for (;;) {
        const size_t Equals = Text.find('=', Position);
        if (Equals == std::string_view::npos) break;
        const std::string_view Name = TrimBlanks(Text.substr(Position, Equals - Position));
        LX_ASSERT(!Name.empty());
        CheckNameLength(Name);
        if (Count() == MaxAttributes) RaiseXmlError(u"XML 元素的属性超过 1024 个");
        // A double quote anywhere after '=' wins; only without one is an apostrophe used.
        if (DoubleQuote != std::string_view::npos && DoubleQuote <= Equals)
            DoubleQuote = Text.find('"', Equals + 1);
        char Quote = '"';
        size_t Open = DoubleQuote;
        if (Open == std::string_view::npos) {
            Quote = '\'';
            Open = Text.find('\'', Equals + 1);
            LX_ASSERT(Open != std::string_view::npos);
        }
        const size_t Close = Text.find(Quote, Open + 1);
        LX_ASSERT(Close != std::string_view::npos);
        auto Attribute = std::make_unique<TXmlAttribute>();
        Attribute->Name = Name;
        Attribute->Value = Text.substr(Open + 1, Close - Open - 1);
        Add(std::move(Attribute));
        Position = Close + 1;
    }
}

void TXmlNode::ParseTag(std::string_view Tag) {
    Tag.remove_prefix(1);
    Tag.remove_suffix(1);
    if (!Tag.empty() && Tag.back() == '/') Tag.remove_suffix(1);
    const size_t Space = Tag.find(' ');
    Name = TrimBlanks(Tag.substr(0, Space));
    LX_ASSERT(!Name.empty());
    CheckNameLength(Name);
    if (Space != std::string_view::npos) Attributes.Parse(Tag.substr(Space));
}

void TXmlDocument::LoadFromBuffer(const uint8_t* Buffer, size_t Length) {
    Root.reset();
    const std::string_view Text(reinterpret_cast<const char*>(Buffer), Length);
    TXmlNode* Current = nullptr;
    int Depth = 0;
    auto CloseCurrent = [&] {
        if (!Current) RaiseXmlMismatch();
        Current = Current->Parent;
        --Depth;
    };
    size_t Position = 0;
    while (Position < Length) {
        if (Text[Position] != '<') {
            size_t End = Text.find('<', Position);
            if (End == std::string_view::npos) End = Length;
            if (Current) {
                Current->Value = Text.substr(Position, End - Position);
                Current->CData = false;
            }
            Position = End;
            continue;
        }
        if (Text.compare(Position, 9, "<![CDATA[") == 0) {
            const size_t End = Text.find("]]>", Position + 9);
            if (End == std::string_view::npos) RaiseXmlMismatch();
            if (Current && End > Position + 9) {
                Current->Value = Text.substr(Position + 9, End - Position - 9);
                Current->CData = true;
            }
            Position = End + 3;
            continue;
        }
        const size_t Close = Text.find('>', Position);
        if (Close == std::string_view::npos) RaiseXmlMismatch();
        const char Kind = Position + 1 < Length ? Text[Position + 1] : '\0';
        if (Kind == '!') {
            const size_t End = Text.find("-->", Position + 2);
            if (End == std::string_view::npos) RaiseXmlMismatch();
            Position = End + 3;
            continue;
        }
        if (Kind == '/') {
            CloseCurrent();
        } else if (Kind != '?') {
            if (++Depth > MaxDepth) RaiseXmlError(u"XML 嵌套超过 256 层");
            auto Node = std::make_unique<TXmlNode>(Current);
            Node->ParseTag(Text.substr(Position, Close - Position + 1));
            TXmlNode* Opened = Node.get();
            if (Current)
                Current->Children.Add(std::move(Node));
            else
                Root = std::move(Node);
            Current = Opened;
        }
        if (Close > Position + 1 && Text[Close - 1] == '/') CloseCurrent();
        Position = Close + 1;
    }
}

void TXmlDocument::LoadFromStream(TStream& Stream) {
    const int64_t Position = Stream.GetPosition();
    const int64_t Size = Stream.GetSize();
    const size_t Length = Size > Position ? static_cast<size_t>(Size - Position) : 0;
    if (auto* Memory = dynamic_cast<TCustomMemoryStream*>(&Stream)) {
        LoadFromBuffer(Memory->Memory() + Position, Length);
        Stream.Seek(0, soEnd);
        return;
    }
    std::vector<uint8_t> Buffer(Length);
    Stream.ReadBuffer(Buffer.data(), static_cast<int64_t>(Length));
    LoadFromBuffer(Buffer.data(), Length);
}
