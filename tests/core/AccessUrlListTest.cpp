#include "core/settings/AccessUrlList.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace zandel {
namespace {

class AccessUrlListTest : public testing::Test {
protected:
    void Store(const std::vector<std::string>& urls) {
        for (std::size_t i = 0; i < urls.size(); ++i) {
            SetListEntry(m_settings, SettingsList::WebPageList, urls[i], static_cast<int>(i));
        }
    }
    static std::vector<std::string> Numbered(int count) {
        std::vector<std::string> urls;
        for (int i = 0; i < count; ++i) {
            urls.push_back("http://judge" + std::to_string(i) + ".invalid/envchk.cgi");
        }
        return urls;
    }

    AppSettings m_settings;
    AccessUrlList m_list;
};

TEST_F(AccessUrlListTest, NoStoredListOffersTheDefaultsWhateverTheAccessUrl) {
    m_settings.WebPage = "http://mine.invalid/envchk.cgi";
    m_list.Open(m_settings);
    EXPECT_EQ(m_list.Entries(), std::vector<std::string>(kDefaultAccessUrls.begin(), kDefaultAccessUrls.end()));
    EXPECT_EQ(m_list.Selected(), 0);
    EXPECT_EQ(m_list.Current(), kDefaultAccessUrls[0]);

    EXPECT_FALSE(m_list.Apply(m_settings));
    EXPECT_EQ(ListEntries(m_settings, SettingsList::WebPageList), m_list.Entries());
    EXPECT_EQ(m_settings.WebPage, kDefaultAccessUrls[0]);
}

TEST_F(AccessUrlListTest, StoredUrlIsFoundFromTheSecondEntryOn) {
    Store({"http://other.invalid/", "HTTP://Judge.invalid/envchk.cgi?x", "http://judge.invalid/envchk.cgi"});
    m_settings.WebPage = "http://judge.invalid/envchk.cgi";
    m_list.Open(m_settings);
    EXPECT_EQ(m_list.Selected(), 1);
    EXPECT_EQ(m_list.Current(), "HTTP://Judge.invalid/envchk.cgi?x");
}

TEST_F(AccessUrlListTest, UnmatchedStoredUrlSelectsTheFirstAndOkStoresIt) {
    Store({"http://a.invalid/", "http://b.invalid/"});
    m_settings.WebPage = "http://elsewhere.invalid/";
    m_list.Open(m_settings);
    EXPECT_EQ(m_list.Selected(), 0);
    m_list.Apply(m_settings);
    EXPECT_EQ(m_settings.WebPage, "http://a.invalid/");
}

TEST_F(AccessUrlListTest, TypedUrlIsStoredButNotAddedToTheList) {
    Store({"http://a.invalid/"});
    m_list.Open(m_settings);
    m_list.SetCurrent("http://typed.invalid/");
    m_list.Apply(m_settings);
    EXPECT_EQ(m_settings.WebPage, "http://typed.invalid/");
    EXPECT_EQ(ListEntries(m_settings, SettingsList::WebPageList), std::vector<std::string>{"http://a.invalid/"});
}

TEST_F(AccessUrlListTest, EmptyUrlBoxStoresTheJudgeDefault) {
    m_list.Open(m_settings);
    m_list.SetCurrent("");
    m_list.Apply(m_settings);
    EXPECT_EQ(m_settings.WebPage, kDefaultAccessUrls[2]);
}

TEST_F(AccessUrlListTest, AddingKeepsTheCurrentUrlAndStopsAtFifty) {
    Store(Numbered(49));
    m_list.Open(m_settings);
    const std::string current = m_list.Current();
    EXPECT_EQ(m_list.Add(""), AccessUrlList::AddResult::Empty);
    EXPECT_EQ(m_list.Add("http://judge0.invalid/envchk.cgi"), AccessUrlList::AddResult::Added) << "repeats allowed";
    EXPECT_EQ(m_list.Current(), current);
    EXPECT_EQ(m_list.Add("http://51st.invalid/"), AccessUrlList::AddResult::Full);
    EXPECT_EQ(m_list.Entries().size(), 50U);
    EXPECT_EQ(AccessUrlLimitMessage(), "50件以上登録されています.これ以上登録できません");

    EXPECT_FALSE(m_list.Apply(m_settings));
    EXPECT_EQ(CountListEntries(m_settings, SettingsList::WebPageList), 50);
}

TEST_F(AccessUrlListTest, DeletingNeverEmptiesTheList) {
    Store({"http://only.invalid/"});
    m_list.Open(m_settings);
    EXPECT_EQ(m_list.DeleteSelected(), AccessUrlList::DeleteResult::LastEntry);
    EXPECT_EQ(m_list.Entries().size(), 1U);
}

TEST_F(AccessUrlListTest, DeletingMakesTheEntryBeforeCurrent) {
    Store(Numbered(5));
    m_list.Open(m_settings);
    m_list.Choose(2);
    ASSERT_EQ(m_list.DeleteSelected(), AccessUrlList::DeleteResult::Deleted);
    EXPECT_EQ(m_list.Selected(), 1);
    EXPECT_EQ(m_list.Current(), Numbered(5)[1]);

    m_list.Choose(0);
    ASSERT_EQ(m_list.DeleteSelected(), AccessUrlList::DeleteResult::Deleted);
    EXPECT_EQ(m_list.Selected(), 0);
    EXPECT_EQ(m_list.Current(), Numbered(5)[1]);
    EXPECT_EQ(m_list.Entries().size(), 3U);
}

TEST_F(AccessUrlListTest, DefaultsChangeOnlyTheBoxUntilApplied) {
    Store({"http://a.invalid/", "http://b.invalid/"});
    m_settings.WebPage = "http://b.invalid/";
    m_list.Open(m_settings);
    m_list.RestoreDefaults();
    EXPECT_EQ(m_list.Current(), kDefaultAccessUrls[0]);
    EXPECT_EQ(m_list.Entries().size(), 4U);
    EXPECT_EQ(CountListEntries(m_settings, SettingsList::WebPageList), 2);
    EXPECT_EQ(m_settings.WebPage, "http://b.invalid/");
}

TEST(DefaultAccessUrlsTest, AreOnHostsReservedForDocumentation) {
    for (const char* url : kDefaultAccessUrls) {
        const std::string text = url;
        EXPECT_EQ(text.rfind("http://", 0), 0U) << text;
        const std::string host = text.substr(7, text.find('/', 7) - 7);
        const bool reserved = host.ends_with(".example.com") || host.ends_with(".example.net") ||
                              host.ends_with(".example.org") || host.ends_with(".invalid");
        EXPECT_TRUE(reserved) << host;
    }
    EXPECT_TRUE(std::string(kDefaultAccessUrls[2]).ends_with("/cgi-bin/envchk.cgi"));
    EXPECT_TRUE(std::string(kDefaultAccessUrls[3]).ends_with("/envchk.cgi"));
}

} // namespace
} // namespace zandel
