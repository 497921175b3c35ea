#include "LxExceptions.h"
#include "LxStrUtils.h"

#include <gtest/gtest.h>

namespace {

using TWords = std::vector<WideString>;

double ReadFloat(WideStringView Text, char16_t Separator) {
    double Value = -12345;
    EXPECT_TRUE(TryTextToFloat(Text, Value, Separator)) << WideToUtf8(Text);
    return Value;
}

bool ReadsInt(WideStringView Text, int32_t Expected) {
    int32_t Value = Expected ^ 0x5A5A;
    return TryStrToInt(Text, Value) && Value == Expected;
}

bool RejectsInt(WideStringView Text) {
    int32_t Value = 77;
    return !TryStrToInt(Text, Value) && Value == 77;
}

} // namespace

TEST(StrUtilsTests, SplitsPathsAtBackslashesAndColons) {
    EXPECT_EQ(ExtractFilePath(u"C:\\Dir\\file.txt"), u"C:\\Dir\\");
    EXPECT_EQ(ExtractFilePath(u"C:file.txt"), u"C:");
    EXPECT_EQ(ExtractFilePath(u"file.txt"), u"");
    EXPECT_EQ(ExtractFileName(u"C:\\Dir\\file.txt"), u"file.txt");
    EXPECT_EQ(ExtractFileName(u"C:file.txt"), u"file.txt");
    EXPECT_EQ(ExtractFileName(u"C:\\Dir\\"), u"");
    EXPECT_EQ(ExtractFileName(u"plain"), u"plain");
    EXPECT_EQ(ExtractFileExt(u"C:\\Dir\\file.tar.gz"), u".gz");
    EXPECT_EQ(ExtractFileExt(u"C:\\My.Dir\\README"), u"");
    EXPECT_EQ(ExtractFileExt(u"a.b:c"), u"");
    EXPECT_EQ(ExtractFileExt(u"C:\\Dir\\file."), u".");
    EXPECT_EQ(ExtractFileTitle(u"C:\\Dir\\setup.en.exe"), u"setup.en");
    EXPECT_EQ(ExtractFileTitle(u"C:\\My.Dir\\README"), u"README");
}

TEST(StrUtilsTests, TrailingBackslashHelpers) {
    EXPECT_EQ(IncludeTrailingBackslash(u""), u"\\");
    EXPECT_EQ(IncludeTrailingBackslash(u"C:\\A"), u"C:\\A\\");
    EXPECT_EQ(IncludeTrailingBackslash(u"C:\\A\\"), u"C:\\A\\");
    EXPECT_EQ(ExcludeTrailingBackslash(u""), u"");
    EXPECT_EQ(ExcludeTrailingBackslash(u"C:\\A\\"), u"C:\\A");
    EXPECT_EQ(ExcludeTrailingBackslash(u"C:\\A\\\\"), u"C:\\A\\");
    EXPECT_EQ(ExcludeTrailingBackslash(u"C:\\A"), u"C:\\A");
}

TEST(StrUtilsTests, TrimRemovesControlCharactersAndBlanks) {
    EXPECT_EQ(Trim(u"\t \r\n x y \x01\x1F"), u"x y");
    EXPECT_EQ(Trim(WideString(u"\0a\0", 3)), u"a");
    EXPECT_EQ(Trim(u" \t "), u"");
    EXPECT_EQ(Trim(u"\u00A0x\u00A0"), u"\u00A0x\u00A0");
}

TEST(StrUtilsTests, StringReplaceHonoursItsFlags) {
    EXPECT_EQ(StringReplace(u"aXbxc", u"x", u"-", 0), u"aXb-c");
    EXPECT_EQ(StringReplace(u"aXbxc", u"x", u"-", rfIgnoreCase), u"a-bxc");
    EXPECT_EQ(StringReplace(u"aXbxc", u"x", u"-", rfReplaceAll), u"aXb-c");
    EXPECT_EQ(StringReplace(u"aXbxc", u"x", u"-", rfReplaceAll | rfIgnoreCase), u"a-b-c");
    EXPECT_EQ(StringReplace(u"aaaa", u"aa", u"a", rfReplaceAll), u"aa");
    EXPECT_EQ(StringReplace(u"ab", u"b", u"bb", rfReplaceAll), u"abb");
    EXPECT_EQ(StringReplace(u"abc", u"", u"x", rfReplaceAll), u"abc");
    EXPECT_EQ(StringReplace(u"\u0444\u0410", u"\u0424\u0430", u"ok", rfIgnoreCase), u"ok");
}

TEST(StrUtilsTests, FormatTextFillsArgumentsInOrder) {
    EXPECT_EQ(FormatText(u"%s (%s, line %d)", u"Oops", WideString(u"A.cpp"), 42),
              u"Oops (A.cpp, line 42)");
    EXPECT_EQ(FormatText(u"100%% of %d", -7), u"100% of -7");
    EXPECT_EQ(FormatText(u"%d", int64_t(-9000000000)), u"-9000000000");
    EXPECT_EQ(FormatText(u"trailing %"), u"trailing %");
    EXPECT_THROW(FormatText(u"%d", u"text"), EConvertError);
    EXPECT_THROW(FormatText(u"%s %s", u"one"), EConvertError);
}

TEST(StrUtilsTests, ReadsDecimalAndHexadecimalIntegers) {
    EXPECT_TRUE(ReadsInt(u"0", 0));
    EXPECT_TRUE(ReadsInt(u"$FF", 255));
    EXPECT_TRUE(ReadsInt(u"0x1F", 31));
    EXPECT_TRUE(ReadsInt(u"x1f", 31));
    EXPECT_TRUE(ReadsInt(u"-$10", -16));
    EXPECT_TRUE(ReadsInt(u" 12", 12));
    EXPECT_TRUE(ReadsInt(u"+5", 5));
    EXPECT_TRUE(ReadsInt(u"2147483647", 2147483647));
    EXPECT_TRUE(ReadsInt(u"-2147483648", INT32_MIN));
    EXPECT_TRUE(ReadsInt(u"$FFFFFFFF", -1));
    EXPECT_TRUE(ReadsInt(u"$80000000", INT32_MIN));
    for (const char16_t* Bad : {u"", u" ", u"-", u"$", u"0x", u"12a", u"1 2", u"1.0", u"$FG",
                                u"2147483648", u"-2147483649", u"$100000000", u"99999999999"})
        EXPECT_TRUE(RejectsInt(Bad)) << WideToUtf8(Bad);

    int64_t Big = 0;
    EXPECT_TRUE(TryStrToInt64(u"-9223372036854775808", Big));
    EXPECT_EQ(Big, INT64_MIN);
    EXPECT_FALSE(TryStrToInt64(u"9223372036854775808", Big));

    EXPECT_EQ(StrToInt(u"$7FFFFFFF"), INT32_MAX);
    try {
        StrToInt(u"abc");
        ADD_FAILURE() << "no error for abc";
    } catch (const EConvertError& E) {
        EXPECT_EQ(E.Message(), u"'abc' is not a valid integer value");
    }
}

TEST(StrUtilsTests, WritesFloatsInGeneralForm) {
    EXPECT_EQ(FloatToText(45123.5, u'.'), u"45123.5");
    EXPECT_EQ(FloatToText(45123.5, u','), u"45123,5");
    EXPECT_EQ(FloatToText(-0.25, u'.'), u"-0.25");
    EXPECT_EQ(FloatToText(0, u'.'), u"0");
    EXPECT_EQ(FloatToText(100, u'.'), u"100");
    EXPECT_EQ(FloatToText(0.00001, u'.'), u"0.00001");
    EXPECT_EQ(FloatToText(0.000123, u'.'), u"0.000123");
    EXPECT_EQ(FloatToText(0.000001, u'.'), u"1E-6");
    EXPECT_EQ(FloatToText(1.5e-7, u','), u"1,5E-7");
    EXPECT_EQ(FloatToText(1e15, u'.'), u"1E15");
    EXPECT_EQ(FloatToText(123456789012345.0, u'.'), u"123456789012345");
    EXPECT_EQ(FloatToText(1234567890123456.0, u'.'), u"1.23456789012346E15");
    EXPECT_EQ(FloatToText(1.0 / 3, u'.'), u"0.333333333333333");
    EXPECT_EQ(FloatToText(0.1 + 0.2, u'.'), u"0.3");
    EXPECT_EQ(FloatToText(2.0 / 3, u'.'), u"0.666666666666667");
}

TEST(StrUtilsTests, ReadsFloatsWithEitherSeparator) {
    EXPECT_DOUBLE_EQ(ReadFloat(u"45123.5", u'.'), 45123.5);
    EXPECT_DOUBLE_EQ(ReadFloat(u"45123,5", u','), 45123.5);
    EXPECT_DOUBLE_EQ(ReadFloat(u"45123.5", u','), 45123.5);
    EXPECT_DOUBLE_EQ(ReadFloat(u" -1E-6 ", u'.'), -1e-6);
    EXPECT_DOUBLE_EQ(ReadFloat(u"1,5E-7", u','), 1.5e-7);
    EXPECT_DOUBLE_EQ(ReadFloat(u".5", u'.'), 0.5);
    for (double Value : {45123.5, 0.1, 1e-6, 1.23456789012345e20, -98765.4321})
        EXPECT_DOUBLE_EQ(ReadFloat(FloatToText(Value, u','), u','), Value);

    double Value = 7;
    for (const char16_t* Bad : {u"", u"abc", u"1,5", u"1.2.3", u"1e", u"e5", u"1e999", u"."})
        EXPECT_FALSE(TryTextToFloat(Bad, Value, u'.')) << WideToUtf8(Bad);
    EXPECT_EQ(Value, 7);
}

TEST(StrUtilsTests, ConvertsUtf8BothWays) {
    const WideString Text = u"A\u00e9\u4e2d\U0001F600z";
    const RawByteString Utf8 = "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z";
    EXPECT_EQ(WideToUtf8(Text), Utf8);
    EXPECT_EQ(Utf8ToWide(Utf8), Text);
    EXPECT_EQ(WideToUtf8(u""), "");
    EXPECT_EQ(Utf8ToWide(""), u"");

    // Unpaired surrogates become U+FFFD.
    EXPECT_EQ(WideToUtf8(WideString(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(WideToUtf8(WideString(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    EXPECT_EQ(WideToUtf8(WideString{char16_t(0xDC00), char16_t(0xD800)}), "\xEF\xBF\xBD\xEF\xBF\xBD");

    // Both directions stop at the first zero.
    EXPECT_EQ(WideToUtf8(WideString(u"ab\0cd", 5)), "ab");
    EXPECT_EQ(Utf8ToWide(std::string("ab\0cd", 5)), u"ab");

    EXPECT_EQ(Utf8ToWide("a\x80z"), u"a\uFFFDz");
    EXPECT_EQ(Utf8ToWide("a\xE4\xB8z"), u"a\uFFFDz");
    EXPECT_EQ(Utf8ToWide("\xC3"), u"\uFFFD");
    EXPECT_EQ(Utf8ToWide("\xF5\xFFq"), u"\uFFFD\uFFFDq");
    EXPECT_EQ(Utf8ToWide("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToWide("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToWide("\xEF\xBF\xBF"), u"\uFFFF");
}

TEST(StrUtilsTests, SplitsCommandLinesLikeTheSystem) {
    EXPECT_EQ(SplitCommandLine(u"\"C:\\Program Files\\setup.exe\" /Silent"),
              (TWords{u"C:\\Program Files\\setup.exe", u"/Silent"}));
    EXPECT_EQ(SplitCommandLine(u"setup.exe\t/Auto \t x"), (TWords{u"setup.exe", u"/Auto", u"x"}));
    EXPECT_EQ(SplitCommandLine(u"a \"\"b c"), (TWords{u"a", u"b", u"c"}));
    EXPECT_EQ(SplitCommandLine(u"a \"\" \"\"\"\"b"), (TWords{u"a", u"b"}));
    EXPECT_EQ(SplitCommandLine(u"a /dir=\"C:\\My Dir\"\\x y"),
              (TWords{u"a", u"/dir=C:\\My Dir\\x", u"y"}));
    EXPECT_EQ(SplitCommandLine(u"a \"open"), (TWords{u"a", u"open"}));
    EXPECT_EQ(SplitCommandLine(u"  "), TWords{});
    EXPECT_EQ(SplitCommandLine(WideString(u"a\0b", 3)), TWords{u"a"});
}
