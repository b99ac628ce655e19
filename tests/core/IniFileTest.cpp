#include "core/settings/IniFile.h"

#include <climits>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace zandel {
namespace {

struct LookupCase {
    const char* name;
    std::string text;
    const char* section;
    const char* key;
    std::optional<std::string> expected;
};

class IniLookupTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(IniLookupTest, FollowsTheProfileReadingRules) {
    const LookupCase& c = GetParam();
    EXPECT_EQ(IniFile::Parse(c.text).Get(c.section, c.key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, IniLookupTest,
    ::testing::Values(
        LookupCase{"SectionAndKeyIgnoreCase", "[proxytimeout]\r\ntimeout=12\r\n", "ProxyTimeOut", "TimeOut", "12"},
        LookupCase{"BlanksAroundNamesAndValues", "  [ Window ]  \n\t Left \t=  -3 \t\n", "Window", "Left", "-3"},
        LookupCase{"FirstKeyWins", "[A]\nk=1\nK=2\n", "A", "k", "1"},
        LookupCase{"RepeatedSectionJoinsTheFirst", "[A]\nk=1\n[B]\nx=0\n[a]\nk=2\nm=3\n", "A", "m", "3"},
        LookupCase{"RepeatedSectionDoesNotOverride", "[A]\nk=1\n[a]\nk=2\n", "A", "k", "1"},
        LookupCase{"LfAndCrLfMixed", "[A]\r\nk=1\nj=2\r\n", "A", "j", "2"},
        LookupCase{"LastLineWithoutLineEnd", "[A]\nk=tail", "A", "k", "tail"},
        LookupCase{"EmptyValueIsPresent", "[A]\nk=\n", "A", "k", ""},
        LookupCase{"ValueMayHoldEquals", "[A]\nurl=http://h/?a=b\n", "A", "url", "http://h/?a=b"},
        LookupCase{"KeyBeforeAnySectionIsIgnored", "k=1\n[A]\n", "A", "k", std::nullopt},
        LookupCase{"LineWithoutEqualsIsIgnored", "[A]\nk\n; k=2\n", "A", "k", std::nullopt},
        LookupCase{"SemicolonLineIsAnOrdinaryKey", "[A]\n; note=1\n", "A", "; note", "1"},
        LookupCase{"UnclosedHeaderKeepsTheSection", "[A]\n[B\nk=1\n", "A", "k", "1"},
        LookupCase{"OtherSectionIsNotConsulted", "[A]\n[B]\nk=1\n", "A", "k", std::nullopt},
        LookupCase{"HighBytesCompareExactly", "[A]\n\xc3\xa4=1\n", "A", "\xc3\x84", std::nullopt},
        LookupCase{"OnePairOfDoubleQuotesGoes", "[A]\nk= \"\"x y\"\" \n", "A", "k", "\"x y\""},
        LookupCase{"SingleQuotesGoToo", "[A]\nk='C:\\a b'\n", "A", "k", "C:\\a b"},
        LookupCase{"BlanksInsideQuotesStay", "[A]\nk=\"  \"\n", "A", "k", "  "},
        LookupCase{"UnmatchedQuotesStay", "[A]\nk=\"a'\n", "A", "k", "\"a'"},
        LookupCase{"ALoneQuoteStays", "[A]\nk=\"\n", "A", "k", "\""},
        LookupCase{"ALoneCrIsPartOfTheValue", "[A]\nk=a\rb\r\nj=2\n", "A", "k", "a\rb"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniFileTest, TextValuesAreCutTo259Bytes) {
    const std::string longValue(300, 'u');
    const IniFile ini = IniFile::Parse("[User-Agent]\nString=" + longValue + "\n");
    EXPECT_EQ(ini.GetString("User-Agent", "String", "x"), longValue.substr(0, 259));
    EXPECT_EQ(ini.GetString("User-Agent", "Missing", "fallback"), "fallback");
}

struct IntCase {
    const char* name;
    const char* line; // nullptr: the key is missing
    int expected;
};

class IniIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(IniIntTest, ReadsLikeTheProfileIntegerRule) {
    const IntCase& c = GetParam();
    const std::string text = c.line != nullptr ? std::string("[S]\n") + c.line + "\n" : std::string("[S]\n");
    EXPECT_EQ(IniFile::Parse(text).GetInt("S", "TimeOut", 30), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Values, IniIntTest,
                         ::testing::Values(IntCase{"Plain", "TimeOut=45", 45}, IntCase{"Negative", "TimeOut=-7", -7},
                                           IntCase{"LeadingDigitsOnly", "TimeOut=12abc", 12},
                                           IntCase{"NoDigits", "TimeOut=abc", 0},
                                           IntCase{"EmptyValueGivesFallback", "TimeOut=", 30},
                                           IntCase{"Missing", nullptr, 30},
                                           IntCase{"HugeIsClamped", "TimeOut=99999999999999999999", INT_MAX},
                                           IntCase{"HugeNegativeIsClamped", "TimeOut=-99999999999999999999", INT_MIN}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IniFileTest, SetKeepsFileOrderAndAppendsWithCrLf) {
    IniFile ini = IniFile::Parse("[Window]\nLeft=1\nTop=2\n[FavoOn]\nOn=1\n");
    ini.Set("window", "TOP", "20");   // an existing key is changed where it stands, its spelling kept
    ini.Set("Window", "Right", "30"); // a new key goes to the end of its section
    ini.Set("ProxyOn", "On", "0");    // a new section goes to the end of the file
    EXPECT_EQ(ini.Text(), "[Window]\r\nLeft=1\r\nTop=20\r\nRight=30\r\n[FavoOn]\r\nOn=1\r\n[ProxyOn]\r\nOn=0\r\n");
}

TEST(IniFileTest, LineBreakInAValueCannotForgeKeys) {
    IniFile ini = IniFile::Parse("[User-Agent]\nString=old\n");
    ini.Set("User-Agent", "String", "Agent\r\n[Window]\r\nLeft=999");
    ini.Set("User-Agent", "Other", "Agent\n[Window]\nTop=999");
    const IniFile reread = IniFile::Parse(ini.Text());
    EXPECT_EQ(reread.Get("User-Agent", "String"), "Agent");
    EXPECT_EQ(reread.Get("User-Agent", "Other"), "Agent");
    EXPECT_EQ(reread.Keys("Window").size(), 0u);
}

// Every value a settings page can hold reads back unchanged, and the file it gives is stable.
TEST(IniFileTest, ValuesRoundTripUnchanged) {
    const std::string values[] = {
        "plain",           "a\rb", "\rlead", "trail\r", "  lead",   "trail\t",    "   ", "\"quoted\"",
        "'single'",        "\"",   "\"\"",   "\"half",  "'mixed\"", "\" both \"", "=x=", std::string(259, ' '),
        "\xc3\xbd\x83\x65"};
    IniFile ini;
    for (std::size_t i = 0; i < std::size(values); ++i) {
        ini.Set("ADDR1", "No" + std::to_string(i), values[i]);
    }
    const IniFile reread = IniFile::Parse(ini.Text());
    for (std::size_t i = 0; i < std::size(values); ++i) {
        EXPECT_EQ(reread.GetString("ADDR1", "No" + std::to_string(i), "missing"), values[i]) << "value " << i;
    }
    EXPECT_EQ(reread.Text(), ini.Text());
    EXPECT_NE(ini.Text().find("No0=plain\r\nNo1=a\rb\r\n"), std::string::npos) << "plain values are written bare";
}

// Whatever a file holds, reading it must not crash, and what is written from it must read back the same.
TEST(IniFileTest, GarbageParsesAndRoundTrips) {
    std::mt19937 random(20240607);
    const std::string alphabet("[]=\r\n \t;aAbB\0\x81\xff", 16);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const auto size = static_cast<std::size_t>(random() % 400);
        for (std::size_t i = 0; i < size; ++i) {
            text += random() % 4 == 0 ? static_cast<char>(random() % 256) : alphabet[random() % alphabet.size()];
        }
        const IniFile first = IniFile::Parse(text);
        const IniFile second = IniFile::Parse(first.Text());
        ASSERT_EQ(second.Text(), first.Text()) << "round " << round;
    }
}

} // namespace
} // namespace zandel
