#include "LxExceptions.h"
#include "LxStrUtils.h"
#include "LxStreams.h"
#include "LxXmlUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

const RawByteString Declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

std::unique_ptr<TXmlDocument> Scan(std::string_view Text) {
    auto Document = std::make_unique<TXmlDocument>();
    Document->LoadFromBuffer(reinterpret_cast<const uint8_t*>(Text.data()), Text.size());
    return Document;
}

void ExpectMismatch(std::string_view Text) {
    EXPECT_EQ(MessageOf<EXmlException>([&] { Scan(Text); }), u"XML 标签不匹配") << Text;
}

void ExpectAssertion(std::string_view Text) {
    EXPECT_THROW(Scan(Text), EAssertionFailed) << Text;
}

} // namespace

TEST(XmlEscape, ReplacesOnlyTheEightSpecialCharacters) {
    EXPECT_EQ(XmlEscape(u"&<>\"'\t\n\r"), "&amp;&lt;&gt;&quot;&apos;&#x09;&#x0A;&#x0D;");
    EXPECT_EQ(XmlEscape(u"x\a\u4e2d y"), "x\a\xE4\xB8\xAD y");
    EXPECT_EQ(XmlEscape(u""), "");
}

TEST(XmlUnescape, ReadsCharacterAndNamedReferences) {
    EXPECT_EQ(XmlUnescape("&#x41;&#66;&AMP;"), u"AB&");
    EXPECT_EQ(XmlUnescape("&LT;&gt;&Quot;&apos;&#X4a;"), u"<>\"'J");
    EXPECT_EQ(XmlUnescape("\xE4\xB8\xAD&amp;\xE6\x96\x87"), u"\u4e2d&\u6587");
    // Only the low 16 bits of a number survive.
    EXPECT_EQ(XmlUnescape("&#x1F600;"), WideString(1, char16_t(0xF600)));
    const WideString Text = u"<a href=\"x\">\t'\u00e9'\r\n&amp;</a>";
    EXPECT_EQ(XmlUnescape(XmlEscape(Text)), Text);
}

TEST(XmlUnescape, RejectsBrokenReferences) {
    EXPECT_EQ(MessageOf<EXmlException>([] { XmlUnescape("a & b"); }), u"XML 标签不匹配");
    EXPECT_THROW(XmlUnescape("&;"), EAssertionFailed);
    EXPECT_THROW(XmlUnescape("a&nbsp;b"), EAssertionFailed);
    EXPECT_EQ(MessageOf<EConvertError>([] { XmlUnescape("&#zz;"); }),
              u"'zz' is not a valid integer value");
}

TEST(XmlNode, LooksUpNamesWithoutRegardToCase) {
    TXmlDocument Document(u"r&s");
    TXmlNode* Root = Document.Root.get();
    EXPECT_EQ(Root->Name, "r&amp;s");
    EXPECT_EQ(Root->GetName(), u"r&s");

    TXmlNode* First = Root->AddChild(u"Item");
    EXPECT_NE(Root->AddChild(u"item"), First);
    EXPECT_EQ(Root->FindChild(u"ITEM"), First);
    EXPECT_EQ(Root->ChildByName(u"iTem"), First);
    EXPECT_EQ(Root->FindChild(u"Other"), nullptr);
    TXmlNode* Added = Root->ChildByName(u"a<b");
    EXPECT_EQ(Root->Children.Count(), 3);
    EXPECT_EQ(Added->Name, "a&lt;b");
    EXPECT_EQ(Added->Parent, Root);
    EXPECT_EQ(Root->Children.IndexOfName(u"A<B"), 2);

    TXmlAttribute* Key = Root->Attributes.FindOrAdd(u"Key");
    Key->Value = "v";
    EXPECT_EQ(Root->Attributes.FindOrAdd(u"KEY"), Key);
    TXmlAttribute* Fresh = Root->Attributes.FindOrAdd(u"New");
    EXPECT_TRUE(Fresh->Value.empty());
    EXPECT_FALSE(Fresh->CData);
    EXPECT_EQ(Root->Attributes.IndexOfName(u"Missing"), -1);
}

TEST(XmlAttribute, ConvertsTypedValues) {
    TXmlAttribute Attribute;
    Attribute.SetAsString(u"a&b\"\u4e2d");
    EXPECT_EQ(Attribute.Value, "a&amp;b&quot;\xE4\xB8\xAD");
    EXPECT_EQ(Attribute.AsString(), u"a&b\"\u4e2d");

    Attribute.CData = true;
    Attribute.SetAsString(u"a&b");
    EXPECT_EQ(Attribute.Value, "a&b");
    EXPECT_EQ(Attribute.AsString(), u"a&b");

    Attribute.SetAsInteger(-9000000000);
    EXPECT_EQ(Attribute.Value, "-9000000000");
    EXPECT_FALSE(Attribute.CData);
}

TEST(XmlAttribute, WritesFloatsInGeneralForm) {
    SetDecimalSeparator(u'.');
    TXmlAttribute Attribute;
    const std::pair<double, const char*> Cases[] = {
        {45123.75, "45123.75"}, {0.1 + 0.2, "0.3"},   {100, "100"},
        {-2.5, "-2.5"},         {0.00001, "0.00001"}, {123456789012345, "123456789012345"},
    };
    for (const auto& [Number, Text] : Cases) {
        Attribute.CData = true;
        Attribute.SetAsFloat(Number);
        EXPECT_EQ(Attribute.Value, Text);
        EXPECT_FALSE(Attribute.CData);
    }
    for (const double Number : {0.000001, 1e15}) {
        Attribute.SetAsFloat(Number);
        EXPECT_NE(Attribute.Value.find('E'), RawByteString::npos) << Attribute.Value;
    }
}

TEST(XmlScanner, ReadsElementsAttributesAndText) {
    auto Document = Scan("<a x=\"1\"/>");
    ASSERT_TRUE(Document->Root);
    EXPECT_EQ(Document->Root->Name, "a");
    ASSERT_EQ(Document->Root->Attributes.Count(), 1);
    EXPECT_EQ(Document->Root->Attributes.Items(0)->Value, "1");
    EXPECT_EQ(Document->Root->Children.Count(), 0);

    // The last run of character data directly inside wins, whitespace included.
    EXPECT_EQ(Scan("<a>one<b/>two</a>")->Root->Value, "two");
    EXPECT_EQ(Scan("<a> x </a>")->Root->Value, " x ");

    Document = Scan("<r>\r\n <a\r\n k = \"v\" k=\"w\"><b/></a>\r\n <c t=\"x &amp; y\"/></r>");
    TXmlNode* Root = Document->Root.get();
    ASSERT_EQ(Root->Children.Count(), 2);
    TXmlNode* A = Root->Children.Items(0);
    EXPECT_EQ(A->Name, "a");
    EXPECT_EQ(A->Parent, Root);
    ASSERT_EQ(A->Attributes.Count(), 2);
    EXPECT_EQ(A->Attributes.Items(0)->Name, "k");
    EXPECT_EQ(A->Attributes.Items(1)->Value, "w");
    EXPECT_EQ(A->Children.Items(0)->Parent, A);
    // Values stay in stored form until read.
    TXmlAttribute* T = Root->Children.Items(1)->Attributes.Items(0);
    EXPECT_EQ(T->Value, "x &amp; y");
    EXPECT_EQ(T->AsString(), u"x & y");
}

TEST(XmlScanner, ToleratesWhatTheWriterNeverProduces) {
    auto Document = Scan("<a><!-- n > 1 --><b/></a>");
    EXPECT_EQ(Document->Root->Children.Count(), 1);
    EXPECT_TRUE(Document->Root->Value.empty());

    Document = Scan("<?xml version=\"1.0\" encoding=\"latin1\"?>"
                    "<?pi x?><a>\xC3\xA9</a>");
    EXPECT_EQ(Document->Root->Value, "\xC3\xA9");

    EXPECT_EQ(Scan("\xEF\xBB\xBF<a k=\"v\"/>")->Root->Name, "a");
    EXPECT_EQ(Scan("<a></b>")->Root->Name, "a");
    EXPECT_EQ(Scan("<a/><b/>")->Root->Name, "b");

    // Elements left open at the end are kept as they are.
    Document = Scan("<a><b>text");
    ASSERT_EQ(Document->Root->Children.Count(), 1);
    EXPECT_EQ(Document->Root->Children.Items(0)->Value, "text");

    EXPECT_FALSE(Scan("")->Root);
    EXPECT_FALSE(Scan("just text")->Root);
}

TEST(XmlScanner, ReadsCDataVerbatim) {
    auto Document = Scan("<a><![CDATA[<x>&amp;]]></a>");
    EXPECT_EQ(Document->Root->Value, "<x>&amp;");
    EXPECT_TRUE(Document->Root->CData);

    Document = Scan("<a>t<![CDATA[]]></a>");
    EXPECT_EQ(Document->Root->Value, "t");
    EXPECT_FALSE(Document->Root->CData);
}

TEST(XmlScanner, ReadsSingleQuotesOnlyWithoutAnyDoubleQuote) {
    auto Document = Scan("<a x='1' y='two'/>");
    ASSERT_EQ(Document->Root->Attributes.Count(), 2);
    EXPECT_EQ(Document->Root->Attributes.Items(1)->Name, "y");
    EXPECT_EQ(Document->Root->Attributes.Items(1)->Value, "two");

    // A later double quote wins over the apostrophe right after '='.
    Document = Scan("<a x='1' y=\"2\"/>");
    ASSERT_EQ(Document->Root->Attributes.Count(), 1);
    EXPECT_EQ(Document->Root->Attributes.Items(0)->Name, "x");
    EXPECT_EQ(Document->Root->Attributes.Items(0)->Value, "2");
}

TEST(XmlScanner, RaisesForMalformedMarkup) {
    ExpectMismatch("</a>");
    ExpectMismatch("<a/></b>");
    ExpectMismatch("<r></r/>");
    ExpectMismatch("<a");
    ExpectMismatch("<a><![CDATA[x</a>");
    ExpectMismatch("<a><!-- x ></a>");
    ExpectMismatch("<!DOCTYPE a><a/>");

    ExpectAssertion("<>");
    ExpectAssertion("< a>");
    ExpectAssertion("<a =\"1\"/>");
    ExpectAssertion("<a x=\"1/>");
    ExpectAssertion("<a x=1/>");
}

TEST(XmlScanner, RefusesDeepNestingManyAttributesAndLongNames) {
    const auto Refused = [](const std::string& Text) {
        return MessageOf<EXmlException>([&] { Scan(Text); });
    };
    std::string Deep;
    for (int I = 0; I < 256; ++I)
        Deep += "<a>";
    EXPECT_EQ(Scan(Deep)->Root->Name, "a");
    EXPECT_EQ(Refused(Deep + "<a>"), u"XML 嵌套超过 256 层");
    std::string Attributes = "<a";
    for (int I = 0; I < 1024; ++I)
        Attributes += " k=''";
    EXPECT_EQ(Scan(Attributes + "/>")->Root->Attributes.Count(), 1024);
    EXPECT_EQ(Refused(Attributes + " k=''/>"), u"XML 元素的属性超过 1024 个");
    const std::string Long(1024, 'n');
    EXPECT_EQ(Scan("<" + Long + " " + Long + "=''/>")->Root->Name, Long);
    EXPECT_EQ(Refused("<" + Long + "n/>"), u"XML 名称超过 1024 字节");
    EXPECT_EQ(Refused("<a " + Long + "n=''/>"), u"XML 名称超过 1024 字节");
}

TEST(XmlWriter, WritesOneIndentedLinePerElement) {
    TXmlDocument Document(u"r");
    Document.Root->Attributes.FindOrAdd(u"k")->SetAsString(u"v");
    Document.Root->AddChild(u"c");
    EXPECT_EQ(Document.SaveToText(), Declaration + "\r\n<r k=\"v\">\r\n    <c/>\r\n</r>\r\n");

    Document.Formatted = false;
    EXPECT_EQ(Document.SaveToText(), Declaration + "<r k=\"v\"><c/></r>");
    Document.WriteDeclaration = false;
    EXPECT_EQ(Document.SaveToText(), "<r k=\"v\"><c/></r>");
}

TEST(XmlWriter, WritesTextCDataAndStoredValuesAsTheyAre) {
    TXmlDocument Document(u"r");
    Document.WriteDeclaration = false;
    Document.Root->Value = "t";
    TXmlNode* C = Document.Root->AddChild(u"c");
    C->AddChild(u"d")->Value = "x&amp;y";
    TXmlAttribute* Attribute = C->Attributes.FindOrAdd(u"a");
    Attribute->SetAsString(u"1 < \"2\"");
    TXmlAttribute* Raw = C->Attributes.FindOrAdd(u"b");
    Raw->CData = true;
    Raw->SetAsString(u"x&y");
    TXmlNode* E = C->AddChild(u"e");
    E->CData = true;
    E->Value = "<&>";
    EXPECT_EQ(Document.SaveToText(), "<r>t\r\n"
                                     "    <c a=\"1 &lt; &quot;2&quot;\" b=\"x&y\">\r\n"
                                     "        <d>x&amp;y</d>\r\n"
                                     "        <e><![CDATA[<&>]]></e>\r\n"
                                     "    </c>\r\n"
                                     "</r>\r\n");
}

TEST(XmlDocument, ReadsAndWritesStreamsAtTheirPosition) {
    TXmlDocument Document(u"a");
    TMemoryStream Stream;
    Stream.WriteBuffer("XY", 2);
    Document.SaveToStream(Stream);
    const std::vector<uint8_t> Bytes = Stream.Bytes();
    EXPECT_EQ(RawByteString(Bytes.begin(), Bytes.end()), "XY" + Declaration + "\r\n<a/>\r\n");

    Document.Root->AddChild(u"stale");
    Stream.SetPosition(2);
    Document.LoadFromStream(Stream);
    ASSERT_TRUE(Document.Root);
    EXPECT_EQ(Document.Root->Name, "a");
    EXPECT_EQ(Document.Root->Children.Count(), 0);
}

TEST(XmlRoundTrip, ScansWhatWasWritten) {
    for (const bool Formatted : {true, false}) {
        TXmlDocument Original(u"Root");
        Original.Formatted = Formatted;
        TXmlNode* Item = Original.Root->AddChild(u"Item");
        Item->Attributes.FindOrAdd(u"Text")->SetAsString(u"<\"a&b'>\t\r\n\u4e2d");
        Item->Attributes.FindOrAdd(u"Empty");
        TXmlNode* Raw = Item->AddChild(u"Raw");
        Raw->CData = true;
        Raw->Value = "<b>&</b>";
        Original.Root->AddChild(u"Leaf")->Value = "x &amp; y";

        const RawByteString Text = Original.SaveToText();
        auto Copy = Scan(Text);
        ASSERT_EQ(Copy->Root->Children.Count(), 2);
        TXmlNode* Read = Copy->Root->Children.Items(0);
        EXPECT_EQ(Read->Attributes.FindByName(u"Text")->AsString(), u"<\"a&b'>\t\r\n\u4e2d");
        EXPECT_EQ(Read->Attributes.FindByName(u"Empty")->Value, "");
        EXPECT_EQ(Read->FindChild(u"Raw")->Value, "<b>&</b>");
        EXPECT_TRUE(Read->FindChild(u"Raw")->CData);
        EXPECT_EQ(Copy->Root->Children.Items(1)->Value, "x &amp; y");
        // Formatted, the indentation becomes the parents' text; unformatted, nothing changes.
        Copy->Formatted = false;
        if (!Formatted) {
            EXPECT_EQ(Copy->SaveToText(), Text);
        }
    }
}
