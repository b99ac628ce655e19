#include "core/settings/UserAgentList.h"

#include <string>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace zandel {
namespace {

class UserAgentListTest : public testing::Test {
protected:
    void WriteRaw(const std::string& bytes) const { m_dir.Write("USER.DAT", bytes); }
    std::string ReadRaw() const { return m_dir.Read("USER.DAT"); }
    static std::string Lines(int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += "agent " + std::to_string(i) + "\r\n";
        }
        return text;
    }

    test::TempDir m_dir;
    std::string m_path = m_dir.File("USER.DAT");
    UserAgentList m_list;
};

TEST_F(UserAgentListTest, MissingFileGivesAnEmptyListWithoutMessage) {
    EXPECT_FALSE(m_list.Load(m_path));
    EXPECT_TRUE(m_list.Entries().empty());
    EXPECT_FALSE(m_list.HasEntries());
    EXPECT_EQ(m_list.Selected(), -1);
}

TEST_F(UserAgentListTest, FileOfOneHundredTwentyLinesKeepsTheFirstHundred) {
    WriteRaw(Lines(120));
    EXPECT_TRUE(m_list.Load(m_path));
    ASSERT_EQ(m_list.Entries().size(), 100U);
    EXPECT_EQ(m_list.Entries().back(), "agent 99");
    EXPECT_EQ(m_list.Selected(), 0);
    ASSERT_TRUE(m_list.Save(m_path));
    EXPECT_EQ(ReadRaw(), Lines(100));
}

TEST_F(UserAgentListTest, ExactlyOneHundredLinesAlsoTellTheUser) {
    WriteRaw(Lines(100));
    EXPECT_TRUE(m_list.Load(m_path));
    WriteRaw(Lines(99));
    EXPECT_FALSE(m_list.Load(m_path));
}

TEST_F(UserAgentListTest, EmptyLinesAreEntriesAndAreWrittenBack) {
    WriteRaw("a\r\n\r\nb\n");
    m_list.Load(m_path);
    EXPECT_EQ(m_list.Entries(), (std::vector<std::string>{"a", "", "b"}));
    ASSERT_TRUE(m_list.Save(m_path));
    EXPECT_EQ(ReadRaw(), "a\r\n\r\nb\r\n");
}

TEST_F(UserAgentListTest, EntriesUpToTheLongestLineSurviveSaveAndReload) {
    for (std::size_t length : {1U, 100U, 257U, 258U, 259U}) {
        UserAgentList list;
        ASSERT_EQ(list.Add(std::string(length, 'x')), UserAgentList::AddResult::Added);
        ASSERT_TRUE(list.Save(m_path));
        UserAgentList reloaded;
        reloaded.Load(m_path);
        EXPECT_EQ(reloaded.Entries(), list.Entries()) << length;
    }
}

TEST_F(UserAgentListTest, AnEntryTooLongForALineShowsWhatTheFileWillGiveBack) {
    std::string japanese;
    for (int i = 0; i < 90; ++i) {
        japanese += "あ"; // 270 bytes
    }
    ASSERT_EQ(m_list.Add(japanese), UserAgentList::AddResult::Added);
    const std::string shown = m_list.Entries().back();
    EXPECT_EQ(shown.size(), 258U) << "cut before the character that would cross 259 bytes";
    ASSERT_TRUE(m_list.Save(m_path));
    UserAgentList reloaded;
    reloaded.Load(m_path);
    EXPECT_EQ(reloaded.Entries().back(), shown);
}

TEST_F(UserAgentListTest, AddingRefusesTheHundredAndFirstAndTheEmptyEntry) {
    EXPECT_EQ(m_list.Add(""), UserAgentList::AddResult::Empty);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(m_list.Add("ua" + std::to_string(i)), UserAgentList::AddResult::Added);
        EXPECT_EQ(m_list.Selected(), i);
    }
    EXPECT_EQ(m_list.Add("one more"), UserAgentList::AddResult::Full);
    // The full list is reported before the empty entry is looked at.
    EXPECT_EQ(m_list.Add(""), UserAgentList::AddResult::Full);
    EXPECT_EQ(m_list.Entries().size(), 100U);
}

struct DeleteCase {
    int count;
    int selected;
    int selectedAfter;
};

class UserAgentDeleteTest : public testing::TestWithParam<DeleteCase> {};

TEST_P(UserAgentDeleteTest, SelectsTheEntryNowAtThePlaceOrTheNewLast) {
    UserAgentList list;
    for (int i = 0; i < GetParam().count; ++i) {
        list.Add("ua" + std::to_string(i));
    }
    list.Select(GetParam().selected);
    ASSERT_TRUE(list.DeleteSelected());
    EXPECT_EQ(list.Selected(), GetParam().selectedAfter);
    EXPECT_EQ(static_cast<int>(list.Entries().size()), GetParam().count - 1);
    for (const std::string& entry : list.Entries()) {
        EXPECT_NE(entry, "ua" + std::to_string(GetParam().selected));
    }
}

INSTANTIATE_TEST_SUITE_P(Positions, UserAgentDeleteTest,
                         testing::Values(DeleteCase{3, 2, 1}, DeleteCase{3, 0, 0}, DeleteCase{3, 1, 1},
                                         DeleteCase{1, 0, -1}));

TEST(UserAgentChoiceTest, BrowserFlagShowsTheDefaultAndKeepsTheFlag) {
    AppSettings settings;
    settings.UserAgent = "Stored/1.0";
    EXPECT_EQ(OpenUserAgentChoice(settings).current, "Stored/1.0");

    settings.UserAgentOn = true;
    const UserAgentChoice choice = OpenUserAgentChoice(settings);
    EXPECT_EQ(choice.current, kDefaultUserAgent);
    ApplyUserAgentChoice(choice, settings);
    EXPECT_EQ(settings.UserAgent, kDefaultUserAgent);
    EXPECT_TRUE(settings.UserAgentOn);
}

} // namespace
} // namespace zandel
