#include "XmlScanner.h"

#include "LxStrUtils.h"

#include <utility>

namespace {

bool IsBlank(char C) {
    return C == ' ' || C == '\t' || C == '\r' || C == '\n';
}

bool IsNameStart(char C) {
    const unsigned char U = static_cast<unsigned char>(C);
    return ((U | 0x20) >= 'a' && (U | 0x20) <= 'z') || C == '_' || C == ':' || U >= 0x80;
}

bool IsNameChar(char C) {
    return IsNameStart(C) || (C >= '0' && C <= '9') || C == '-' || C == '.';
}

void Advance(TSourcePos& Pos, char C) {
    if (C == '\n') {
        ++Pos.Line;
        Pos.Column = 1;
    } else if ((static_cast<unsigned char>(C) & 0xC0) != 0x80) {
        ++Pos.Column;
    }
}

WideString Wide(std::string_view Utf8) {
    return Utf8ToWide(Utf8);
}

class TScanner {
public:
    TScanner(std::string_view Text, TDiagnostics& Diagnostics) : T(Text), D(Diagnostics) {}

    std::unique_ptr<TXmlElement> Run() {
        if (T.substr(0, 2) == "\xFF\xFE" || T.substr(0, 2) == "\xFE\xFF") {
            D.Error(Pos, u"the file is UTF-16: save it as UTF-8, which the installer reads");
            return nullptr;
        }
        // The byte-order mark is no character of the text.
        if (T.substr(0, 3) == "\xEF\xBB\xBF") T.remove_prefix(3);
        const size_t Invalid = FirstInvalidUtf8(T);
        if (Invalid != std::string_view::npos)
            D.Error(PositionWithin({}, T, Invalid), u"the file is not UTF-8 from here on");
        while (!AtEnd()) {
            if (Peek() != '<')
                Text();
            else if (LookingAt("<!--"))
                Skip(4, "-->", u"comment is never closed (no '-->')");
            else if (LookingAt("<![CDATA["))
                CData();
            else if (LookingAt("<?"))
                Skip(2, "?>", u"processing instruction is never closed (no '?>')");
            else if (LookingAt("<!")) {
                D.Error(Pos, u"only comments and CDATA sections may start with '<!'");
                Skip(2, ">", u"'<!' is never closed");
            } else if (LookingAt("</"))
                EndTag();
            else
                StartTag();
        }
        for (const TXmlElement* Element : Open)
            D.Error(Element->Pos, FormatText(u"'<%s>' is never closed", Wide(Element->Name)));
        if (!Root) D.Error({}, u"the file holds no element");
        return std::move(Root);
    }

private:
    std::string_view T;
    TDiagnostics& D;
    size_t P = 0;
    TSourcePos Pos;
    std::unique_ptr<TXmlElement> Root;
    std::vector<TXmlElement*> Open;
    std::vector<std::unique_ptr<TXmlElement>> Extra; // further roots, reported and dropped

    bool AtEnd() const { return P >= T.size(); }
    char Peek() const { return P < T.size() ? T[P] : '\0'; }
    bool LookingAt(std::string_view S) const { return T.substr(P, S.size()) == S; }
    void Step() { Advance(Pos, T[P++]); }
    void StepOver(size_t Count) {
        while (Count-- > 0 && !AtEnd())
            Step();
    }
    void SkipBlanks() {
        while (!AtEnd() && IsBlank(Peek()))
            Step();
    }
    // Moves to the next End and past it; false at the end of the text.
    bool SkipPast(std::string_view End) {
        const size_t Found = T.find(End, P);
        const size_t Stop = Found == std::string_view::npos ? T.size() : Found + End.size();
        while (P < Stop)
            Step();
        return Found != std::string_view::npos;
    }
    void Skip(size_t Opening, std::string_view End, const char16_t* Unclosed) {
        const TSourcePos Start = Pos;
        StepOver(Opening);
        if (!SkipPast(End)) D.Error(Start, Unclosed);
    }
    std::string ReadName() {
        const size_t Start = P;
        while (!AtEnd() && IsNameChar(Peek()))
            Step();
        return std::string(T.substr(Start, P - Start));
    }

    void NoteText(TSourcePos At) {
        if (Open.empty()) {
            D.Warning(At, u"text outside the root element: the installer ignores it");
        } else if (!Open.back()->HasText) {
            Open.back()->HasText = true;
            Open.back()->TextPos = At;
        }
    }

    void Text() {
        std::string Ignored;
        bool Seen = false;
        TSourcePos First;
        while (!AtEnd() && Peek() != '<') {
            if (!Seen && !IsBlank(Peek())) {
                Seen = true;
                First = Pos;
            }
            if (Peek() == '&')
                Reference(Ignored);
            else
                Step();
        }
        if (Seen) NoteText(First);
    }

    void CData() {
        const TSourcePos Start = Pos;
        StepOver(9);
        const size_t Content = P;
        if (!SkipPast("]]>")) {
            D.Error(Start, u"CDATA section is never closed (no ']]>')");
            return;
        }
        for (size_t I = Content; I + 3 < P; ++I)
            if (!IsBlank(T[I])) return NoteText(Start);
    }

    // At '&': appends the character the reference stands for.
    void Reference(std::string& Out) {
        const TSourcePos Start = Pos;
        size_t End = P + 1;
        while (End < T.size() && End - P <= 12 && T[End] != ';' && !IsBlank(T[End]) &&
               T[End] != '<' && T[End] != '&' && T[End] != '"' && T[End] != '\'')
            ++End;
        if (End >= T.size() || T[End] != ';') {
            D.Error(Start, u"'&' starts a reference: write '&amp;' for the character itself");
            Out += '&';
            Step();
            return;
        }
        const std::string_view Name = T.substr(P + 1, End - P - 1);
        StepOver(End - P + 1);
        static const std::pair<std::string_view, char> Named[] = {
            {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
        for (const auto& [Known, Character] : Named)
            if (Name == Known) {
                Out += Character;
                return;
            }
        const WideString Written = FormatText(u"&%s;", Wide(Name));
        if (Name.empty() || Name[0] != '#') {
            D.Error(Start, u"unknown reference '" + Written +
                               u"' (XML knows &lt; &gt; &amp; &quot; &apos; and &#...;)");
            return;
        }
        const bool Hex = Name.size() > 1 && (Name[1] == 'x' || Name[1] == 'X');
        const std::string_view Digits = Name.substr(Hex ? 2 : 1);
        uint32_t Code = 0;
        bool Number = !Digits.empty() && Digits.size() <= 8;
        for (const char C : Digits) {
            const int Digit = C >= '0' && C <= '9' ? C - '0'
                              : Hex && (C | 0x20) >= 'a' && (C | 0x20) <= 'f'
                                  ? (C | 0x20) - 'a' + 10
                                  : -1;
            Number = Number && Digit >= 0;
            Code = Code * (Hex ? 16 : 10) + uint32_t(Digit);
        }
        if (!Number || Code == 0 || Code > 0x10FFFF || (Code >= 0xD800 && Code < 0xE000))
            D.Error(Start, u"'" + Written + u"' is not a character");
        else if (Code > 0xFFFF)
            D.Error(Start, u"the installer reads '" + Written +
                               u"' as another character: write the character itself");
        else
            Out += WideToUtf8(WideString(1, char16_t(Code)));
    }

    // Reads one attribute; false when the tag is broken beyond it.
    bool Attribute(TXmlElement& Element, std::vector<size_t>& SingleQuoted) {
        TXmlAttr Attr;
        Attr.NamePos = Pos;
        Attr.Name = ReadName();
        const WideString Name = Wide(Attr.Name);
        SkipBlanks();
        if (Peek() != '=') {
            D.Error(Attr.NamePos,
                    u"attribute '" + Name + u"' has no value: write " + Name + u"=\"...\"");
            return true;
        }
        const size_t Equals = P;
        Step();
        SkipBlanks();
        const char Quote = Peek();
        if (Quote != '"' && Quote != '\'') {
            D.Error(Pos, u"the value of '" + Name + u"' must be in double quotes");
            while (!AtEnd() && !IsBlank(Peek()) && Peek() != '>' && Peek() != '<')
                Step();
            return true;
        }
        Step();
        Attr.ValuePos = Pos;
        const size_t Start = P;
        std::string Value;
        while (!AtEnd() && Peek() != Quote) {
            if (Peek() == '<') {
                D.Error(Pos, u"'<' in the value of '" + Name +
                                 u"': a quote is missing, or write '&lt;'");
                return false;
            }
            if (Peek() == '>')
                D.Error(Pos, u"the installer ends the tag at this '>': write '&gt;'");
            if (Peek() == '&') {
                Reference(Value);
                continue;
            }
            Value += Peek();
            Step();
        }
        if (AtEnd()) {
            D.Error(Attr.ValuePos, u"the value of '" + Name + u"' is never closed");
            return false;
        }
        Attr.Raw = std::string(T.substr(Start, P - Start));
        Attr.Value = Wide(Value);
        Step();
        for (const TXmlAttr& Other : Element.Attributes)
            if (SameAsciiText(Other.Name, Attr.Name))
                D.Error(Attr.NamePos,
                        FormatText(u"'%s' is given twice; the installer reads the first, at %d:%d",
                                   Name, Other.NamePos.Line, Other.NamePos.Column));
        // Remembered with its '=': the installer takes a value from the first double quote
        // after it, so a single-quoted value before one is misread.
        if (Quote == '\'') SingleQuoted.push_back(Equals);
        Element.Attributes.push_back(std::move(Attr));
        return true;
    }

    void StartTag() {
        const TSourcePos Start = Pos;
        Step();
        if (!IsNameStart(Peek())) {
            D.Error(Start, u"'<' must start a tag: write '&lt;' for the character itself");
            return;
        }
        auto Element = std::make_unique<TXmlElement>();
        Element->Pos = Start;
        Element->Name = ReadName();
        const WideString Name = Wide(Element->Name);
        std::vector<size_t> SingleQuoted;
        bool Opened = false;
        for (;;) {
            const size_t Blank = P;
            SkipBlanks();
            if (AtEnd()) {
                D.Error(Start, u"the start tag '<" + Name + u"' is never closed");
                break;
            }
            if (LookingAt("/>")) {
                StepOver(2);
                break;
            }
            if (Peek() == '>') {
                Step();
                Opened = true;
                break;
            }
            if (Peek() == '<') {
                D.Error(Start, u"the start tag '<" + Name + u"' is not closed with '>' or '/>'");
                break;
            }
            if (!IsNameStart(Peek())) {
                D.Error(Pos, u"unexpected '" + Wide(T.substr(P, 1)) + u"' in the start tag of '<" +
                                 Name + u">'");
                do
                    Step();
                while (!AtEnd() && !IsBlank(Peek()) && Peek() != '>' && Peek() != '<' &&
                       Peek() != '/');
                continue;
            }
            const std::string_view Blanks = T.substr(Blank, P - Blank);
            // The installer takes each name from the end of the previous value.
            if (Blanks.empty())
                D.Warning(Pos, u"put a blank between attributes");
            else if (Element->Attributes.empty() && Blanks.find(' ') == std::string_view::npos)
                D.Error(Pos, u"put a space before the first attribute: the installer reads the "
                             u"name up to the first space");
            if (!Attribute(*Element, SingleQuoted)) break;
        }
        for (size_t Equals : SingleQuoted)
            if (T.substr(Equals, P - Equals).find('"') != std::string_view::npos)
                D.Error(PositionWithin({}, T, Equals + 1),
                        u"the installer reads this value from the next double quote: write it "
                        u"in double quotes");
        TXmlElement* Added = Element.get();
        if (!Open.empty()) {
            Open.back()->Children.push_back(std::move(Element));
        } else if (!Root) {
            Root = std::move(Element);
        } else {
            D.Error(Start, u"a second root element '<" + Name +
                               u">': the installer reads only the last one");
            Extra.push_back(std::move(Element));
        }
        if (Opened) Open.push_back(Added);
    }

    void EndTag() {
        const TSourcePos Start = Pos;
        StepOver(2);
        const std::string Name = ReadName();
        const WideString Written = FormatText(u"</%s>", Wide(Name));
        SkipBlanks();
        if (Peek() == '>')
            Step();
        else
            D.Error(Start, u"the end tag '</" + Wide(Name) + u"' is not closed with '>'");
        if (Open.empty()) {
            D.Error(Start, u"the end tag '" + Written + u"' has no start tag");
            return;
        }
        if (Open.back()->Name == Name) {
            Open.pop_back();
            return;
        }
        size_t Match = Open.size();
        while (Match > 0 && Open[Match - 1]->Name != Name)
            --Match;
        if (Match == 0) {
            const TXmlElement& Current = *Open.back();
            D.Error(Start, FormatText(u"the end tag '%s' does not match '<%s>' of %d:%d", Written,
                                      Wide(Current.Name), Current.Pos.Line, Current.Pos.Column));
            return;
        }
        // What the author most likely meant: the unclosed elements end where they start, their
        // contents go to their parents.
        while (Open.size() > Match) {
            TXmlElement* Unclosed = Open.back();
            Open.pop_back();
            D.Error(Unclosed->Pos,
                    FormatText(u"'<%s>' is never closed: '%s' at %d:%d ends its "
                               u"parent",
                               Wide(Unclosed->Name), Written, Start.Line, Start.Column));
            auto& Siblings = Open.back()->Children;
            for (auto& Child : Unclosed->Children)
                Siblings.push_back(std::move(Child));
            Unclosed->Children.clear();
        }
        Open.pop_back();
    }
};

} // namespace

std::unique_ptr<TXmlElement> ScanXml(std::string_view Text, TDiagnostics& Diagnostics) {
    return TScanner(Text, Diagnostics).Run();
}

size_t FirstInvalidUtf8(std::string_view Text) {
    size_t I = 0;
    while (I < Text.size()) {
        const unsigned char C = static_cast<unsigned char>(Text[I]);
        const size_t Length = C < 0x80                ? 1
                              : C >= 0xC2 && C < 0xE0 ? 2
                              : C >= 0xE0 && C < 0xF0 ? 3
                              : C >= 0xF0 && C < 0xF5 ? 4
                                                      : 0;
        if (Length == 0 || I + Length > Text.size()) return I;
        for (size_t K = 1; K < Length; ++K)
            if ((static_cast<unsigned char>(Text[I + K]) & 0xC0) != 0x80) return I;
        I += Length;
    }
    return std::string_view::npos;
}

TSourcePos PositionWithin(TSourcePos Start, std::string_view Raw, size_t Offset) {
    for (size_t I = 0; I < Offset && I < Raw.size(); ++I)
        Advance(Start, Raw[I]);
    return Start;
}
