#include "ChannelCode.h"

#include <gtest/gtest.h>

namespace {

struct TChannelCase {
    const char16_t* FileTitle;
    const char16_t* Plain;     // what an address without "?" becomes
    const char16_t* WithQuery; // what "http://x/a?b=1" becomes
};

TEST(ChannelCode, DigitsRightAfterTheFirstUnderscoreAreTheCode) {
    const TChannelCase Cases[] = {
        {u"setup_1024", u"http://x/a?rcode=1024", u"http://x/a?b=1&rcode=1024"},
        {u"setup_12ab", u"http://x/a?rcode=12", u"http://x/a?b=1&rcode=12"},
        {u"setup_v2", u"http://x/a", u"http://x/a?b=1"},
        {u"setup", u"http://x/a", u"http://x/a?b=1"},
        {u"setup_", u"http://x/a", u"http://x/a?b=1"},
        // The digits must follow the first underscore, not a later one.
        {u"my_setup_77", u"http://x/a", u"http://x/a?b=1"},
        {u"setup_007_5", u"http://x/a?rcode=007", u"http://x/a?b=1&rcode=007"},
        {u"_9", u"http://x/a?rcode=9", u"http://x/a?b=1&rcode=9"},
    };
    for (const TChannelCase& Case : Cases) {
        SCOPED_TRACE(std::string(
            Case.FileTitle, Case.FileTitle + std::char_traits<char16_t>::length(Case.FileTitle)));
        EXPECT_EQ(AddChannelCodeFor(u"http://x/a", Case.FileTitle), Case.Plain);
        EXPECT_EQ(AddChannelCodeFor(u"http://x/a?b=1", Case.FileTitle), Case.WithQuery);
    }
}

TEST(ChannelCode, AnyQuestionMarkMeansAnAmpersandAndEmptyAddressesGetTheCodeToo) {
    EXPECT_EQ(AddChannelCodeFor(u"http://x/a#frag?", u"s_5"), u"http://x/a#frag?&rcode=5");
    EXPECT_EQ(AddChannelCodeFor(u"", u"s_5"), u"?rcode=5");
    // Full-width digits are no code.
    EXPECT_EQ(AddChannelCodeFor(u"http://x/", u"s_\uFF11"), u"http://x/");
}

} // namespace
