#include "LxExceptions.h"
#include "LxStrUtils.h"
#include "TestSupport.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

using TWords = std::vector<WideString>;

// The value read, or a marker that the text was refused and the target left alone.
int64_t ReadInt(WideStringView Text) {
    int32_t Value = 77;
    return TryStrToInt(Text, Value) ? Value : (Value == 77 ? INT64_MIN : INT64_MAX);
}

} // namespace

TEST(StrUtilsTests, PathHelpers) {
    EXPECT_EQ(ExtractFilePath(u"C:\\Dir\\file.txt"), u"C:\\Dir\\");
    EXPECT_EQ(ExtractFilePath(u"C:file.txt"), u"C:");
    EXPECT_EQ(ExtractFilePath(u"file.txt"), u"");
    EXPECT_EQ(ExtractFileName(u"C:file.txt"), u"file.txt");
    EXPECT_EQ(ExtractFileName(u"C:\\Dir\\"), u"");
    EXPECT_EQ(ExtractFileExt(u"C:\\Dir\\file.tar.gz"), u".gz");
    EXPECT_EQ(ExtractFileExt(u"C:\\My.Dir\\README"), u"");
    EXPECT_EQ(ExtractFileExt(u"a.b:c"), u"");
    EXPECT_EQ(ExtractFileTitle(u"C:\\Dir\\setup.en.exe"), u"setup.en");
    EXPECT_EQ(ExtractFileTitle(u"C:\\My.Dir\\README"), u"README");
    EXPECT_EQ(IncludeTrailingBackslash(u""), u"\\");
    EXPECT_EQ(IncludeTrailingBackslash(u"C:\\A"), u"C:\\A\\");
    EXPECT_EQ(IncludeTrailingBackslash(u"C:\\A\\"), u"C:\\A\\");
    EXPECT_EQ(ExcludeTrailingBackslash(u""), u"");
    EXPECT_EQ(ExcludeTrailingBackslash(u"C:\\A\\\\"), u"C:\\A\\");
    EXPECT_EQ(ExcludeTrailingBackslash(u"C:\\A"), u"C:\\A");
}

TEST(StrUtilsTests, TextHelpers) {
    EXPECT_EQ(Trim(WideString(u"\0\t \r\n x y \x01\x1F", 12)), u"x y");
    EXPECT_EQ(Trim(u" \t "), u"");
    EXPECT_EQ(Trim(u"\u00A0x\u00A0"), u"\u00A0x\u00A0");

    EXPECT_EQ(StringReplace(u"aXbxc", u"x", u"-", 0), u"aXb-c");
    EXPECT_EQ(StringReplace(u"aXbxc", u"x", u"-", rfIgnoreCase), u"a-bxc");
    EXPECT_EQ(StringReplace(u"aXbxc", u"x", u"-", rfReplaceAll), u"aXb-c");
    EXPECT_EQ(StringReplace(u"aXbxc", u"x", u"-", rfReplaceAll | rfIgnoreCase), u"a-b-c");
    EXPECT_EQ(StringReplace(u"aaaa", u"aa", u"a", rfReplaceAll), u"aa");
    EXPECT_EQ(StringReplace(u"\u0444\u0410", u"\u0424\u0430", u"ok", rfIgnoreCase), u"ok");
    // Matches that restart inside a partial one, from a given position, ignoring case.
    EXPECT_EQ(FindText(u"aaAB", u"aab"), 1u);
    EXPECT_EQ(FindText(u"abaBabC", u"ABABC"), 2u);
    EXPECT_EQ(FindText(u"xAbxab", u"ab", 2), 4u);
    EXPECT_EQ(FindText(u"\u00FF{PF}", u"\u0178{pf}"), 0u);
    EXPECT_EQ(FindText(u"aaaa", u"aa", 3), WideString::npos);
    EXPECT_EQ(FindText(u"ab", u""), WideString::npos);

    EXPECT_EQ(FormatText(u"%s (%s, line %d)", u"Oops", WideString(u"A.cpp"), 42),
              u"Oops (A.cpp, line 42)");
    EXPECT_EQ(FormatText(u"100%% of %d", int64_t(-9000000000)), u"100% of -9000000000");
    EXPECT_THROW(FormatText(u"%d", u"text"), EConvertError);
    EXPECT_THROW(FormatText(u"%s %s", u"one"), EConvertError);
}

TEST(StrUtilsTests, ReadsIntegers) {
    const std::pair<const char16_t*, int64_t> Good[] = {
        {u"$FF", 255},      {u"0x1F", 31},
        {u"-$10", -16},     {u" 12", 12},
        {u"+5", 5},         {u"-2147483648", INT32_MIN},
        {u"$FFFFFFFF", -1}, {u"2147483647", INT32_MAX}};
    for (const auto& [Text, Value] : Good)
        EXPECT_EQ(ReadInt(Text), Value) << WideToUtf8(Text);
    for (const char16_t* Bad : {u"", u"-", u"$", u"0x", u"12a", u"1 2", u"12 ", u"2147483648",
                                u"-2147483649", u"$100000000"})
        EXPECT_EQ(ReadInt(Bad), INT64_MIN) << WideToUtf8(Bad);
    EXPECT_EQ(MessageOf<EConvertError>([] { StrToInt(u"abc"); }),
              u"'abc' is not a valid integer value");
}

TEST(StrUtilsTests, FloatTextRoundTrips) {
    const std::pair<double, const char16_t*> Written[] = {
        {45123.5, u"45123,5"},
        {-0.25, u"-0,25"},
        {100, u"100"},
        {0.00001, u"0,00001"},
        {0.000123, u"0,000123"},
        {0.000001, u"1E-6"},
        {1.5e-7, u"1,5E-7"},
        {1e15, u"1E15"},
        {0.1 + 0.2, u"0,3"},
        {123456789012345.0, u"123456789012345"},
        {2.0 / 3, u"0,666666666666667"},
        {1234567890123456.0, u"1,23456789012346E15"}};
    for (const auto& [Value, Text] : Written) {
        EXPECT_EQ(FloatToText(Value, u','), Text);
        double Read = 0;
        EXPECT_TRUE(TryTextToFloat(Text, Read, u','));
        EXPECT_NEAR(Read, Value, std::abs(Value) * 1e-14) << WideToUtf8(Text);
    }
    EXPECT_EQ(FloatToText(45123.5, u'.'), u"45123.5");
    double Read = 0;
    // A text written under a full-stop locale still loads.
    EXPECT_TRUE(TryTextToFloat(u" 45123.5 ", Read, u','));
    EXPECT_EQ(Read, 45123.5);
    for (const char16_t* Bad : {u"", u"abc", u"1,5", u"1.2.3", u"1e", u"1e999", u"."})
        EXPECT_FALSE(TryTextToFloat(Bad, Read, u'.')) << WideToUtf8(Bad);
    EXPECT_EQ(Read, 45123.5);
}

TEST(StrUtilsTests, ConvertsUtf8BothWays) {
    const WideString Text = u"A\u00e9\u4e2d\U0001F600\U0010FFFFz";
    const RawByteString Utf8 = "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\xF4\x8F\xBF\xBFz";
    EXPECT_EQ(WideToUtf8(Text), Utf8);
    EXPECT_EQ(Utf8ToWide(Utf8), Text);
    EXPECT_EQ(WideToUtf8(WideString{char16_t(0xDC00), char16_t(0xD800), u'x'}),
              "\xEF\xBF\xBD\xEF\xBF\xBDx");
    EXPECT_EQ(WideToUtf8(WideString(u"ab\0cd", 5)), "ab");
    EXPECT_EQ(Utf8ToWide(std::string("ab\0cd", 5)), u"ab");
    EXPECT_EQ(Utf8ToWide("a\x80z\xE4\xB8z\xC0\xAF"), u"a\uFFFDz\uFFFDz\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98"), u"\uFFFD");
}

TEST(StrUtilsTests, SplitsCommandLines) {
    EXPECT_EQ(SplitCommandLine(u"\"C:\\Program Files\\setup.exe\" /Silent"),
              (TWords{u"C:\\Program Files\\setup.exe", u"/Silent"}));
    EXPECT_EQ(SplitCommandLine(u"setup.exe\t/Auto \t x"), (TWords{u"setup.exe", u"/Auto", u"x"}));
    EXPECT_EQ(SplitCommandLine(u"a \"\"b \"\" \"\"\"\"c"), (TWords{u"a", u"b", u"c"}));
    EXPECT_EQ(SplitCommandLine(u"a /dir=\"C:\\My Dir\"\\x \"open"),
              (TWords{u"a", u"/dir=C:\\My Dir\\x", u"open"}));
    EXPECT_EQ(SplitCommandLine(u"  "), TWords{});
}

// Both quotings of a folder with blanks reach the option whole; the mode's one-argument rule
// sees what the options leave.
TEST(StrUtilsTests, TakesTheRunOptionsOut) {
    const auto Split = [](WideStringView Line) {
        TWords Words = SplitCommandLine(Line);
        Words.erase(Words.begin());
        return TakeRunOptions(Words);
    };
    TRunOptions Options = Split(u"s.exe \"/Dir=C:\\My App\" /silent /LOG=\"C:\\a b.log\"");
    EXPECT_EQ(Options.Rest, TWords{u"/silent"});
    EXPECT_EQ(Options.Dir, u"C:\\My App");
    EXPECT_EQ(Options.Log, u"C:\\a b.log");
    Options = Split(u"s.exe /dir=\"C:\\x y\" /Dir=D:\\z /log /Auto /Silent /Dirx /Logfile");
    EXPECT_EQ(Options.Dir, u"D:\\z");
    EXPECT_EQ(Options.Log, u"");
    EXPECT_EQ(Options.Rest, (TWords{u"/Auto", u"/Silent", u"/Dirx", u"/Logfile"}));
    Options = Split(u"s.exe /Dir= /Silent");
    EXPECT_EQ(Options.Dir, u"");
    EXPECT_FALSE(Options.Log);
}
