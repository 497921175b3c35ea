#include "LxExceptions.h"
#include "LxPersistent.h"
#include "LxPlatform.h"
#include "LxStrUtils.h"
#include "LxStreams.h"
#include "LxXmlUtils.h"
#include "TestSupport.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

enum TShade : uint8_t { shRed, shGreen, shBlue };
LX_ENUM_TYPE(TShade, u"shRed", u"shGreen", u"shBlue")

// Not a TXmlPersistent: written and read by the plain property walk.
class TPlainPart : public TPersistent {
    LX_PERSISTENT_CLASS(TPlainPart)
public:
    WideString Note = u"note";
};

class TPart : public TXmlPersistent {
    LX_PERSISTENT_CLASS(TPart)
public:
    WideString Caption;
    int32_t Value = 0;
};

class TWidePart : public TPart {
    LX_PERSISTENT_CLASS(TWidePart)
public:
    int32_t Width = 0;
};

// Records every class name it is asked for; unknown names are skipped.
class TPartList : public TXmlObjectList {
    LX_PERSISTENT_CLASS(TPartList)
public:
    WideString Tag;
    std::vector<WideString> Requested;

    std::unique_ptr<TXmlPersistent> CreateItem(WideStringView ClassName) override {
        Requested.emplace_back(ClassName);
        if (ClassName == u"TPart") return std::make_unique<TPart>();
        if (ClassName == u"TWidePart") return std::make_unique<TWidePart>();
        return nullptr;
    }
};

class TTypedParts : public TTypedObjectList<TPart> {
    LX_PERSISTENT_CLASS(TTypedParts)
};

// One property of every supported kind.
class TSample : public TXmlPersistent {
    LX_PERSISTENT_CLASS(TSample)
public:
    int32_t Number = 7;
    uint8_t Small = 200;
    char16_t Letter = u'A';
    bool Enabled = true;
    TShade Shade = shGreen;
    double Stamp = 1.5;
    RawByteString Ansi = "ansi";
    TSet<TShade> Shades;
    WideString Title = u"title";
    int64_t Big = 1;
    TPart Part;
    TPlainPart Plain;
    std::unique_ptr<TPartList> List = std::make_unique<TPartList>();
};

const TTypeInfo VariantType{tkVariant, u"Variant"};

// A property of a kind that cannot be persisted.
class TOddKind : public TXmlPersistent {
    LX_PERSISTENT_CLASS(TOddKind)
public:
    int32_t Data = 0;
};

const TClassInfo& TPlainPart::StaticClassInfo() {
    static const TPropInfo Props[] = {Published<&TPlainPart::Note>(u"Note")};
    static const TClassInfo Info =
        MakeClassInfo<TPlainPart>(u"TPlainPart", &TPersistent::StaticClassInfo, Props);
    return Info;
}

const TClassInfo& TPart::StaticClassInfo() {
    static const TPropInfo Props[] = {Published<&TPart::Caption>(u"Caption"),
                                      Published<&TPart::Value>(u"Value")};
    static const TClassInfo Info =
        MakeClassInfo<TPart>(u"TPart", &TXmlPersistent::StaticClassInfo, Props);
    return Info;
}

const TClassInfo& TWidePart::StaticClassInfo() {
    static const TPropInfo Props[] = {Published<&TWidePart::Width>(u"Width")};
    static const TClassInfo Info =
        MakeClassInfo<TWidePart>(u"TWidePart", &TPart::StaticClassInfo, Props);
    return Info;
}

const TClassInfo& TPartList::StaticClassInfo() {
    static const TPropInfo Props[] = {Published<&TPartList::Tag>(u"Tag")};
    static const TClassInfo Info =
        MakeClassInfo<TPartList>(u"TPartList", &TXmlObjectList::StaticClassInfo, Props);
    return Info;
}

const TClassInfo& TTypedParts::StaticClassInfo() {
    static const TClassInfo Info =
        MakeClassInfo<TTypedParts>(u"TTypedParts", &TXmlObjectList::StaticClassInfo);
    return Info;
}

const TClassInfo& TSample::StaticClassInfo() {
    using T = TSample;
    static const TPropInfo Props[] = {
        Published<&T::Number>(u"Number"), Published<&T::Small>(u"Small"),
        Published<&T::Letter>(u"Letter"), Published<&T::Enabled>(u"Enabled"),
        Published<&T::Shade>(u"Shade"),   Published<&T::Stamp>(u"Stamp"),
        Published<&T::Ansi>(u"Ansi"),     Published<&T::Shades>(u"Shades"),
        Published<&T::Title>(u"Title"),   Published<&T::Big>(u"Big"),
        Published<&T::Part>(u"Part"),     Published<&T::Plain>(u"Plain"),
        Published<&T::List>(u"List"),
    };
    static const TClassInfo Info =
        MakeClassInfo<T>(u"TSample", &TXmlPersistent::StaticClassInfo, Props);
    return Info;
}

const TClassInfo& TOddKind::StaticClassInfo() {
    static const TPropInfo Props[] = {
        {u"Data", &VariantType, &LxTypeInfo::FieldOf<&TOddKind::Data>}};
    static const TClassInfo Info =
        MakeClassInfo<TOddKind>(u"TOddKind", &TXmlPersistent::StaticClassInfo, Props);
    return Info;
}

template <class TItem>
TItem* AddPart(TXmlObjectList& List, WideStringView Caption, int32_t Value) {
    auto Item = std::make_unique<TItem>();
    Item->Caption = Caption;
    Item->Value = Value;
    return static_cast<TItem*>(List.Add(std::move(Item)));
}

RawByteString StreamText(const TMemoryStream& Stream) {
    const std::vector<uint8_t> Bytes = Stream.Bytes();
    return RawByteString(Bytes.begin(), Bytes.end());
}

RawByteString SaveText(const TXmlPersistent& Object) {
    TMemoryStream Stream;
    Object.SaveToStream(Stream);
    return StreamText(Stream);
}

void LoadText(TXmlPersistent& Object, std::string_view Text) {
    TMemoryStream Stream;
    Stream.WriteBuffer(Text.data(), int64_t(Text.size()));
    Stream.SetPosition(0);
    Object.LoadFromStream(Stream);
}

// Float texts follow the decimal separator; every test starts and ends with a point.
class PersistentXml : public testing::Test {
protected:
    void SetUp() override { SetDecimalSeparator(u'.'); }
    void TearDown() override { SetDecimalSeparator(u'.'); }
};

} // namespace

TEST_F(PersistentXml, WritesEveryKindInPropertyOrder) {
    TSample Sample;
    Sample.Shades.Include(shRed);
    Sample.Shades.Include(shBlue);
    Sample.Title = u"a&\u4e2d";
    Sample.Big = -9000000000;
    EXPECT_EQ(SaveText(Sample), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                                "<TSample Number=\"7\" Small=\"200\" Letter=\"65\" "
                                "Enabled=\"True\" Shade=\"shGreen\" Stamp=\"1.5\" Ansi=\"ansi\" "
                                "Shades=\"shRed,shBlue\" Title=\"a&amp;\xE4\xB8\xAD\" "
                                "Big=\"-9000000000\">\r\n"
                                "    <Part Caption=\"\" Value=\"0\"/>\r\n"
                                "    <Plain Note=\"note\"/>\r\n"
                                "    <List Tag=\"\">\r\n"
                                "        <Items/>\r\n"
                                "    </List>\r\n"
                                "</TSample>\r\n");
}

TEST_F(PersistentXml, SavesOverAnExistingElementInPlace) {
    TXmlDocument Document(u"x");
    Document.Root->Attributes.FindOrAdd(u"NUMBER")->Value = "old";
    TSample Sample;
    AddPart<TPart>(*Sample.List, u"a", 1);
    Sample.SaveToNode(Document.Root.get());
    Sample.SaveToNode(Document.Root.get());
    EXPECT_EQ(Document.Root->Attributes.Items(0)->Name, "NUMBER");
    EXPECT_EQ(Document.Root->Attributes.Items(0)->Value, "7");
    EXPECT_EQ(Document.Root->Attributes.Count(), 10);
    ASSERT_EQ(Document.Root->Children.Count(), 3);
    EXPECT_EQ(Document.Root->FindChild(u"List")->FindChild(u"Items")->Children.Count(), 1);
}

TEST_F(PersistentXml, SubObjectsNeedTheirOwnElementAndObject) {
    TSample Sample;
    LoadText(Sample, "<TSample Value=\"9\" Note=\"x\"><TPart Value=\"9\"/></TSample>");
    EXPECT_EQ(Sample.Part.Value, 0);
    EXPECT_EQ(Sample.Plain.Note, u"note");

    Sample.List.reset();
    EXPECT_EQ(SaveText(Sample).find("<List"), RawByteString::npos);
    EXPECT_NO_THROW(LoadText(Sample, "<TSample><List Tag=\"t\"><TPart/></List></TSample>"));
    nlohmann::ordered_json Json = nlohmann::ordered_json::object();
    Sample.SaveToJson(Json);
    EXPECT_FALSE(Json.contains("List"));
}

TEST_F(PersistentXml, LoadsEveryKind) {
    TSample Sample;
    LoadText(Sample,
             "<Other number=\"-12\" Small=\"$FF\" Letter=\"66\" Enabled=\"false\" "
             "Shade=\"SHBLUE\" Stamp=\"-0.25\" Ansi=\"\xC3\xA4\" Shades=\"shGreen, shBlue\" "
             "TITLE=\"x&lt;&#x4E2D;\" Big=\"9000000000\">"
             "<Part Caption=\"c\" Value=\"0x1F\"/><plain Note=\"n\"/></Other>");
    EXPECT_EQ(Sample.Number, -12);
    EXPECT_EQ(Sample.Small, 255);
    EXPECT_EQ(Sample.Letter, u'B');
    EXPECT_FALSE(Sample.Enabled);
    EXPECT_EQ(Sample.Shade, shBlue);
    EXPECT_EQ(Sample.Stamp, -0.25);
    // The system's 8-bit code page: UTF-8 on Linux, the ANSI page on Windows.
    EXPECT_EQ(Sample.Ansi, PlatformWideToAnsi(u"\u00e4"));
    EXPECT_EQ(Sample.Shades.Bits, (1u << shGreen) | (1u << shBlue));
    EXPECT_EQ(Sample.Title, u"x<\u4e2d");
    EXPECT_EQ(Sample.Big, 9000000000);
    EXPECT_EQ(Sample.Part.Caption, u"c");
    EXPECT_EQ(Sample.Part.Value, 31);
    EXPECT_EQ(Sample.Plain.Note, u"n");
}

TEST_F(PersistentXml, ConvertsTextsLeniently) {
    TSample Sample;
    LoadText(Sample, "<TSample Number=\"abc\" Stamp=\"1,2.3\" Big=\"99999999999999999999\" "
                     "Small=\"\" Enabled=\"\" Shade=\"purple\"/>");
    EXPECT_EQ(Sample.Number, 7);
    EXPECT_EQ(Sample.Stamp, 1.5);
    EXPECT_EQ(Sample.Big, 1);
    EXPECT_EQ(Sample.Small, 200);
    EXPECT_TRUE(Sample.Enabled);
    EXPECT_EQ(Sample.Shade, shRed);
    EXPECT_EQ(Sample.Title, u"title");
    LoadText(Sample, "<TSample Enabled=\"Yes\"/>");
    EXPECT_FALSE(Sample.Enabled);
    LoadText(Sample, "<TSample Enabled=\"TRUE\"/>");
    EXPECT_TRUE(Sample.Enabled);
    EXPECT_EQ(
        MessageOf<EPropertyError>([&] { LoadText(Sample, "<TSample Shades=\"shRed,shPink\"/>"); }),
        u"Invalid property element: shPink");
}

TEST_F(PersistentXml, RoundTripsFloatsWithTheDecimalSeparator) {
    TSample Source, Target;
    Source.Stamp = 45123.75;
    LoadText(Target, SaveText(Source));
    EXPECT_EQ(Target.Stamp, 45123.75);

    SetDecimalSeparator(u',');
    Source.Stamp = 2.25;
    EXPECT_NE(SaveText(Source).find("Stamp=\"2,25\""), RawByteString::npos);
    LoadText(Target, "<TSample Stamp=\"3,5\"/>");
    EXPECT_EQ(Target.Stamp, 3.5);
}

TEST_F(PersistentXml, RaisesForUnsupportedKinds) {
    TOddKind Odd;
    const WideString Saving = MessageOf<EAssertionFailed>([&] { SaveText(Odd); });
    EXPECT_EQ(Saving.rfind(u"Variant (", 0), 0u) << WideToUtf8(Saving);
    const WideString Loading =
        MessageOf<EAssertionFailed>([&] { LoadText(Odd, "<TOddKind Data=\"1\"/>"); });
    EXPECT_EQ(Loading.rfind(u"Variant (", 0), 0u) << WideToUtf8(Loading);
    EXPECT_NO_THROW(LoadText(Odd, "<TOddKind/>"));

    TOddKind Other;
    EXPECT_THROW(Other.Assign(&Odd), EAssertionFailed);
    EXPECT_THROW(Other.IsEqual(&Odd), EAssertionFailed);
}

TEST_F(PersistentXml, SavesToFileCreatingFolders) {
    const std::filesystem::path Folder =
        std::filesystem::temp_directory_path() /
        ("lx-persist-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::remove_all(Folder);
    const std::filesystem::path File = Folder / "a" / "b" / "sample.xml";
    TSample Source;
    Source.Title = u"saved";
    AddPart<TWidePart>(*Source.List, u"w", 3);
    TSample Longer;
    Longer.Title = u"a longer title than the one saved over it";
    Longer.SaveToFile(File.u16string());
    Source.SaveToFile(File.u16string());
    ASSERT_TRUE(std::filesystem::exists(File));
    // Saving over a longer file truncates it.
    EXPECT_EQ(std::filesystem::file_size(File), SaveText(Source).size());
    TSample Target;
    Target.LoadFromFile(File.u16string());
    std::filesystem::remove_all(Folder);
    EXPECT_TRUE(Target.IsEqual(&Source));
    EXPECT_TRUE(Target.List->ItemsEqual(Source.List.get()));
}

TEST_F(PersistentXml, SavesListItemsUnderTheirOwnClassNames) {
    TPartList Source;
    Source.Tag = u"t";
    AddPart<TPart>(Source, u"a", 1);
    AddPart<TWidePart>(Source, u"b", 2)->Width = 5;
    const RawByteString Text = SaveText(Source);
    EXPECT_NE(Text.find("<TPartList Tag=\"t\">\r\n    <Items>\r\n        <TPart Caption=\"a\" "
                        "Value=\"1\"/>\r\n        <TWidePart Caption=\"b\" Value=\"2\" "
                        "Width=\"5\"/>\r\n    </Items>\r\n</TPartList>"),
              RawByteString::npos)
        << Text;

    TPartList Target;
    LoadText(Target, Text);
    EXPECT_EQ(Target.Requested, (std::vector<WideString>{u"TPart", u"TWidePart"}));
    ASSERT_EQ(Target.Count(), 2);
    EXPECT_EQ(Target.Tag, u"t");
    EXPECT_EQ(Target.Items(1)->ClassName(), u"TWidePart");
    EXPECT_EQ(static_cast<TWidePart*>(Target.Items(-1))->Width, 5);
    EXPECT_TRUE(Target.ItemsEqual(&Source));
}

TEST_F(PersistentXml, LoadsListItemsFromTheListElementWithoutItems) {
    TPartList List;
    LoadText(List, "<TPartList><TPart Value=\"1\"/><Unknown/><TWidePart Width=\"3\"/></TPartList>");
    EXPECT_EQ(List.Requested, (std::vector<WideString>{u"TPart", u"Unknown", u"TWidePart"}));
    ASSERT_EQ(List.Count(), 2);
    EXPECT_EQ(static_cast<TPart*>(List.Items(0))->Value, 1);

    // Loading starts from an empty list even when no items follow.
    LoadText(List, "<TPartList><Items/></TPartList>");
    EXPECT_EQ(List.Count(), 0);
    AddPart<TPart>(List, u"x", 1);
    LoadText(List, "<TPartList/>");
    EXPECT_EQ(List.Count(), 0);
}

TEST_F(PersistentXml, TypedListCreatesItsItemClassForEveryName) {
    TTypedParts List;
    LoadText(List, "<TTypedParts><Items><Anything Value=\"4\"/><TPart/></Items></TTypedParts>");
    ASSERT_EQ(List.Count(), 2);
    EXPECT_EQ(List.Items(0)->Value, 4);
    EXPECT_EQ(List.Items(1)->ClassName(), u"TPart");
}

TEST_F(PersistentXml, AbstractListRaisesOnItems) {
    TXmlObjectList List;
    EXPECT_NO_THROW(LoadText(List, "<TXmlObjectList><Items/></TXmlObjectList>"));
    EXPECT_EQ(MessageOf<EAbstractError>(
                  [&] { LoadText(List, "<TXmlObjectList><Items><A/></Items></TXmlObjectList>"); }),
              u"Abstract Error");
}

TEST(PersistentList, IndexesFromEitherEnd) {
    TPartList List;
    TPart* First = AddPart<TPart>(List, u"a", 1);
    TPart* Last = AddPart<TPart>(List, u"b", 2);
    EXPECT_EQ(List.Items(0), First);
    EXPECT_EQ(List.Items(-1), Last);
    EXPECT_EQ(List.Items(-2), First);
    EXPECT_EQ(MessageOf<EListError>([&] { List.Items(2); }), u"List index out of bounds (2)");
    EXPECT_EQ(MessageOf<EListError>([&] { List.Items(-3); }), u"List index out of bounds (-3)");
    List.Clear();
    EXPECT_THROW(List.Items(-1), EListError);
}

TEST(PersistentCopy, CloneCopiesDeeply) {
    TSample Source;
    Source.Part.Caption = u"p";
    AddPart<TPart>(*Source.List, u"a", 1);
    AddPart<TWidePart>(*Source.List, u"b", 2)->Width = 9;

    std::unique_ptr<TXmlPersistent> Copy = Source.Clone();
    auto* Sample = dynamic_cast<TSample*>(Copy.get());
    ASSERT_NE(Sample, nullptr);
    EXPECT_TRUE(Sample->IsEqual(&Source));
    EXPECT_TRUE(Sample->List->ItemsEqual(Source.List.get()));
    EXPECT_NE(Sample->List->Items(0), Source.List->Items(0));
    EXPECT_EQ(Sample->List->Items(1)->ClassName(), u"TWidePart");

    static_cast<TPart*>(Sample->List->Items(0))->Value = 42;
    EXPECT_EQ(static_cast<TPart*>(Source.List->Items(0))->Value, 1);
    EXPECT_FALSE(Sample->List->ItemsEqual(Source.List.get()));
}

TEST(PersistentCopy, AssignCopiesSameNamedPropertiesAcrossClasses) {
    TWidePart Wide;
    Wide.Caption = u"w";
    Wide.Value = 2;
    Wide.Width = 7;
    TPart Part;
    Part.Assign(&Wide);
    EXPECT_EQ(Part.Caption, u"w");
    EXPECT_EQ(Part.Value, 2);

    Part.Value = 5;
    Wide.Assign(&Part);
    EXPECT_EQ(Wide.Value, 5);
    EXPECT_EQ(Wide.Width, 7);

    Wide.Caption = u"c&d";
    Part.AssignByXml(&Wide);
    EXPECT_EQ(Part.Caption, u"c&d");

    TPlainPart Plain;
    EXPECT_EQ(MessageOf<EConvertError>([&] { Part.Assign(&Plain); }),
              u"Cannot assign a TPlainPart to a TPart");
}

TEST(PersistentCopy, AssignReplacesListItems) {
    TPartList Source, Target;
    AddPart<TPart>(Source, u"a", 1);
    AddPart<TPart>(Target, u"old", 0);
    AddPart<TPart>(Target, u"old", 0);
    Target.Assign(&Source);
    EXPECT_TRUE(Target.ItemsEqual(&Source));
    Target.Assign(&Target);
    EXPECT_EQ(Target.Count(), 1);
}

TEST(PersistentCompare, IsEqualSeesEveryPublishedDifference) {
    const std::function<void(TSample&)> Changes[] = {
        [](TSample& S) { S.Number = 8; },       [](TSample& S) { S.Small = 1; },
        [](TSample& S) { S.Letter = u'a'; },    [](TSample& S) { S.Enabled = false; },
        [](TSample& S) { S.Shade = shRed; },    [](TSample& S) { S.Stamp = 1.25; },
        [](TSample& S) { S.Ansi = "Ansi"; },    [](TSample& S) { S.Shades.Include(shRed); },
        [](TSample& S) { S.Title = u"Title"; }, [](TSample& S) { S.Big = 2; },
        [](TSample& S) { S.Part.Value = 1; },   [](TSample& S) { S.List->Tag = u"t"; },
    };
    const TSample Base;
    for (size_t I = 0; I < std::size(Changes); ++I) {
        TSample Changed;
        Changes[I](Changed);
        EXPECT_FALSE(Changed.IsEqual(&Base)) << "change " << I;
        TSample Copy;
        Copy.Assign(&Changed);
        EXPECT_TRUE(Copy.IsEqual(&Changed)) << "change " << I;
    }
    // Sub-objects that are not TXmlPersistent are not compared.
    TSample Plain;
    Plain.Plain.Note = u"other";
    EXPECT_TRUE(Plain.IsEqual(&Base));
}

TEST(PersistentCompare, IsEqualNeedsTheSameClassAndIgnoresItems) {
    TPart Part;
    TWidePart Wide;
    EXPECT_FALSE(Part.IsEqual(&Wide));
    EXPECT_FALSE(Part.IsEqual(nullptr));
    EXPECT_TRUE(Part.IsEqual(&Part));

    TPartList A, B;
    AddPart<TPart>(A, u"a", 1);
    AddPart<TPart>(B, u"b", 2);
    EXPECT_TRUE(A.IsEqual(&B));
    EXPECT_FALSE(A.ItemsEqual(&B));
    B.Items(0)->Assign(A.Items(0));
    EXPECT_TRUE(A.ItemsEqual(&B));
    AddPart<TPart>(B, u"c", 3);
    EXPECT_FALSE(A.ItemsEqual(&B));
}

TEST(PersistentJson, RoundTripsObjectsAndLists) {
    TSample Source;
    Source.Number = -4;
    Source.Shade = shBlue;
    Source.Shades.Include(shRed);
    Source.Stamp = 45123.75;
    Source.Title = u"\u4e2d";
    Source.Big = 9000000000;
    Source.Part.Caption = u"p";
    AddPart<TPart>(*Source.List, u"a", 1);
    AddPart<TWidePart>(*Source.List, u"b", 2)->Width = 6;

    nlohmann::ordered_json Json = nlohmann::ordered_json::object();
    Source.SaveToJson(Json);
    EXPECT_EQ(Json["Number"], -4);
    EXPECT_EQ(Json["Shade"], "shBlue");
    EXPECT_EQ(Json["Enabled"], "True");
    EXPECT_EQ(Json["Stamp"], 45123.75);
    EXPECT_EQ(Json["Part"]["Caption"], "p");
    EXPECT_FALSE(Json.contains("Plain"));
    ASSERT_EQ(Json["List"]["Items"].size(), 2u);
    EXPECT_EQ(Json["List"]["Items"][1]["ClassName"], "TWidePart");
    EXPECT_EQ(Json["List"]["Items"][1]["Width"], 6);

    TSample Target;
    AddPart<TPart>(*Target.List, u"stale", 0);
    Target.LoadFromJson(Json);
    EXPECT_TRUE(Target.IsEqual(&Source));
    EXPECT_TRUE(Target.List->ItemsEqual(Source.List.get()));
    EXPECT_EQ(Target.List->Requested, (std::vector<WideString>{u"TPart", u"TWidePart"}));
}

TEST(PersistentJson, KeepsValuesOfTheWrongType) {
    TSample Sample;
    Sample.LoadFromJson(nlohmann::ordered_json{
        {"Number", "12"}, {"Stamp", "2.5"}, {"Big", 2.5}, {"Shade", "SHRED"}});
    EXPECT_EQ(Sample.Number, 7);
    EXPECT_EQ(Sample.Stamp, 1.5);
    EXPECT_EQ(Sample.Big, 1);
    EXPECT_EQ(Sample.Shade, shRed);
}

TEST(PersistentJson, StreamEscapesNonAsciiAndListsHaveItems) {
    TPart Part;
    Part.Caption = u"\u4e2d";
    TMemoryStream Stream;
    Part.SaveToJsonStream(Stream);
    const std::string Text = StreamText(Stream);
    EXPECT_NE(Text.find("\\u4e2d"), std::string::npos) << Text;
    EXPECT_EQ(Text.find("\xE4"), std::string::npos);
    EXPECT_EQ(nlohmann::ordered_json::parse(Text)["Caption"], "\u4e2d");

    TPartList Empty;
    TMemoryStream ListStream;
    Empty.SaveToJsonStream(ListStream);
    const auto Json = nlohmann::ordered_json::parse(StreamText(ListStream));
    EXPECT_EQ(Json.at("Items"), nlohmann::ordered_json::array());
    EXPECT_EQ(Json.at("Tag"), "");
}
