#include "core/settings/ListText.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/multistage/ChainRules.h"

namespace zandel {
namespace {

std::vector<std::string> Addresses(int count) {
    std::vector<std::string> addresses;
    for (int i = 0; i < count; ++i) {
        addresses.push_back("10.0.0." + std::to_string(i) + ":8080");
    }
    return addresses;
}

TEST(ListTextTest, OpenLinesEndEveryEntryButTheFiftieth) {
    EXPECT_EQ(ListEditLines({}), std::vector<std::string>{""});
    EXPECT_EQ(ListEditLines({"a", "b", "c"}), (std::vector<std::string>{"a", "b", "c", ""}));
    EXPECT_EQ(ListEditLines(Addresses(50)), Addresses(50)) << "no empty line after the 50th entry";
    EXPECT_EQ(CountLabel(3), "3件");
}

struct AddressCase {
    const char* line;
    const char* address;
};

class FavouriteAddressTest : public testing::TestWithParam<AddressCase> {};

TEST_P(FavouriteAddressTest, TakesTheFirstWord) {
    EXPECT_EQ(FavouriteAddress(GetParam().line), GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(Lines, FavouriteAddressTest,
                         testing::Values(AddressCase{"   10.0.0.1:3128   comment", "10.0.0.1:3128"},
                                         AddressCase{"     ", ""}, AddressCase{"a\tb", "a"}, AddressCase{"\t\ta", "a"},
                                         AddressCase{"x\x01y", "x"}, AddressCase{"x\x12y", "x"},
                                         AddressCase{"x\ry", "x"},
                                         AddressCase{"proxy.invalid:80#c", "proxy.invalid:80#c"}));

TEST(ListTextTest, FavouritesReadFiftyOneLinesBeforeTellingTheUser) {
    std::vector<std::string> lines = Addresses(51);
    ListTextResult read = ReadFavouriteLines(lines);
    EXPECT_FALSE(read.overflow);
    EXPECT_EQ(read.entries, Addresses(50)) << "the 51st address is dropped without a message";

    lines.emplace_back(); // a final line end gives a 52nd, empty line
    read = ReadFavouriteLines(lines);
    EXPECT_TRUE(read.overflow);
    EXPECT_EQ(read.entries.size(), 50U);
    EXPECT_EQ(ListOverflowMessage(), "50件以上登録されました.\n50件以降のアドレスは無視されます");
}

TEST(ListTextTest, FiftyFavouritesOpenAndApplyWithoutMessage) {
    const ListTextResult read = ReadFavouriteLines(ListEditLines(Addresses(50)));
    EXPECT_FALSE(read.overflow);
    EXPECT_EQ(read.entries, Addresses(50));
}

TEST(ListTextTest, FavouritesSkipBlankLinesAndKeepDuplicates) {
    const ListTextResult read = ReadFavouriteLines({"", "1.2.3.4:8080", "   ", "1.2.3.4:8080 again", ""});
    EXPECT_FALSE(read.overflow);
    EXPECT_EQ(read.entries, (std::vector<std::string>{"1.2.3.4:8080", "1.2.3.4:8080"}));
}

TEST(ListTextTest, SixtyLinesKeepTheFirstFifty) {
    const ListTextResult read = ReadFavouriteLines(Addresses(60));
    EXPECT_TRUE(read.overflow);
    EXPECT_EQ(read.entries, Addresses(50));
}

TEST(ListTextTest, OverlongAddressIsCutToWhatASlotHolds) {
    const ListTextResult read = ReadFavouriteLines({std::string(300, 'h') + ":80"});
    ASSERT_EQ(read.entries.size(), 1U);
    EXPECT_EQ(read.entries[0], std::string(259, 'h'));
}

TEST(ChainRulesTest, ChainLinesAreStoredWholeAndStopAtTheFiftyFirst) {
    ListTextResult read = ReadChainLines({"  10.0.0.1:3128 x", "", "a\tb"});
    EXPECT_FALSE(read.overflow);
    EXPECT_EQ(read.entries, (std::vector<std::string>{"  10.0.0.1:3128 x", "a\tb"}));

    read = ReadChainLines(ListEditLines(Addresses(50)));
    EXPECT_FALSE(read.overflow);
    EXPECT_EQ(read.entries, Addresses(50));

    // 49 entries open with an empty 50th line, which is read and skipped.
    read = ReadChainLines(ListEditLines(Addresses(49)));
    EXPECT_FALSE(read.overflow);
    EXPECT_EQ(read.entries.size(), 49U);

    read = ReadChainLines(Addresses(51));
    EXPECT_TRUE(read.overflow);
    EXPECT_EQ(read.entries, Addresses(50));

    std::vector<std::string> withEmptyLast = Addresses(50);
    withEmptyLast.emplace_back();
    EXPECT_TRUE(ReadChainLines(withEmptyLast).overflow) << "the message comes at the 51st line, even an empty one";
}

TEST(ListTextTest, StoringReplacesTheWholeList) {
    AppSettings settings;
    for (int i = 0; i < 50; ++i) {
        SetListEntry(settings, SettingsList::ChainUrls, "old" + std::to_string(i), i);
    }
    StoreList(settings, SettingsList::ChainUrls, {"new0", "new1"});
    EXPECT_EQ(ListEntries(settings, SettingsList::ChainUrls), (std::vector<std::string>{"new0", "new1"}));
    EXPECT_EQ(GetListEntry(settings, SettingsList::ChainUrls, 2), "");
    EXPECT_EQ(GetListEntry(settings, SettingsList::ChainUrls, 49), "") << "no trace of the old list";
}

struct ComposeCase {
    const char* p1;
    const char* p2;
    const char* p3;
    const char* url;
    const char* composed;
};

class ComposeChainUrlTest : public testing::TestWithParam<ComposeCase> {};

TEST_P(ComposeChainUrlTest, NamesEachFilledProxyThenTheDestination) {
    const ComposeCase& c = GetParam();
    EXPECT_EQ(ComposeChainUrl(c.p1, c.p2, c.p3, c.url), c.composed);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ComposeChainUrlTest,
    testing::Values(ComposeCase{"p1", "p2", "p3", "u", "http://p1/-_-http://p2/-_-http://p3/-_-http://u"},
                    ComposeCase{"p1", "", "p3", "u", "http://p1/-_-http://p3/-_-http://u"},
                    ComposeCase{"", "", "", "u", "http://u"}, ComposeCase{"p1", "", "", "", "http://p1/-_-"},
                    ComposeCase{"", "", "", "", ""},
                    ComposeCase{"", "", "", "http://u.invalid/", "http://http://u.invalid/"},
                    ComposeCase{" p1 ", "", "", "a b", "http:// p1 /-_-http://a b"}));

} // namespace
} // namespace zandel
