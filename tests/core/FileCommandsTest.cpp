#include "core/frame/FileCommands.h"

#include <gtest/gtest.h>

#include "core/app/Texts.h"
#include "core/frame/CommandIds.h"
#include "core/frame/RecentFiles.h"
#include "core/list/ListDocument.h"
#include "core/list/RowStore.h"
#include "support/FakeDocumentHost.h"
#include "support/FakeFileDialogs.h"
#include "support/RecordingMessageService.h"
#include "support/TempDir.h"

namespace zandel {
namespace {

using Paths = std::vector<std::string>;

class FakeRecentFiles final : public IRecentFiles {
public:
    const Paths& Entries() const override { return entries; }
    void Remove(int index) override { entries.erase(entries.begin() + index); }

    Paths entries;
};

class FileCommandsTest : public ::testing::Test {
protected:
    // As the main window starts: an untitled, empty list.
    void SetUp() override { m_doc.SetTitle(texts::kUntitled); }

    test::TempDir m_dir;
    MemoryRowStore m_rows;
    test::RecordingMessageService m_messages;
    test::FakeDocumentHost m_host;
    CRidIdiDoc m_doc{m_rows, m_messages, m_host};
    test::FakeFileDialogs m_dialogs;
    FakeRecentFiles m_recent;
    FileCommands m_files{m_doc, m_dialogs, m_recent};
};

TEST_F(FileCommandsTest, AppendKeepsTheListsOwnNameNamedOrNot) {
    const std::string own = m_dir.Write("own.txt", "10.0.0.1:80\r\n");
    const std::string other = m_dir.Write("other.txt", "10.0.0.9:80\r\n");
    for (const bool named : {false, true}) {
        SCOPED_TRACE(named);
        if (named) {
            ASSERT_TRUE(m_files.OpenPath(own));
        } else {
            m_rows.InsertRow(0, "10.0.0.1:80", StatusUnchecked, 0);
        }
        const std::string path = m_doc.PathName();
        const std::string title = m_doc.Title();
        m_dialogs.opens = 0;
        // A file that cannot be read and a cancelled dialog change nothing; a loaded file adds its rows.
        m_dialogs.openAnswers = {m_dir.File("missing.txt")};
        ASSERT_TRUE(m_files.OnCommand(cmd::kAppendFile));
        ASSERT_TRUE(m_files.OnCommand(cmd::kAppendFile));
        EXPECT_FALSE(m_doc.IsModified());
        m_dialogs.openAnswers = {other};
        ASSERT_TRUE(m_files.OnCommand(cmd::kAppendFile));
        EXPECT_EQ(m_dialogs.opens, 3);
        EXPECT_EQ(m_rows.RowCount(), 2);
        EXPECT_EQ(m_doc.PathName(), path);
        EXPECT_EQ(m_doc.Title(), title);
        EXPECT_TRUE(m_doc.IsModified());
        m_doc.SetModified(false);
    }
}

// Each command of the saves without results writes its own mode, and the list keeps its name.
TEST_F(FileCommandsTest, SaveCommandsWriteTheirModes) {
    const std::string golden = std::string(ZANDEL_TEST_DATA_DIR) + "/list/save_mode";
    ASSERT_TRUE(m_files.OpenPath(golden + "1.txt"));
    const std::pair<int, int> commands[] = {{cmd::kSaveAllAddresses, SaveAllAddresses},
                                            {cmd::kSaveNotNG, SaveNotNG},
                                            {cmd::kSaveAnonymous, SaveAnonymousOnly},
                                            {cmd::kSaveNonAnonymous, SaveNonAnonymousOnly}};
    for (const auto& [id, mode] : commands) {
        m_dialogs.saveAnswers = {m_dir.File("out.txt")};
        ASSERT_TRUE(m_files.OnCommand(id));
        EXPECT_EQ(m_dir.Read("out.txt"), test::TempDir::ReadFile(golden + std::to_string(mode) + ".txt")) << mode;
        EXPECT_EQ(m_doc.PathName(), golden + "1.txt");
        EXPECT_EQ(m_dialogs.proposedNames.back(), golden + "1.txt");
    }
    m_rows.SetCellText(0, kHttpsColumn, kHttpsOk);
    m_dialogs.saveAnswers = {m_dir.File("https.txt")};
    ASSERT_TRUE(m_files.OnCommand(cmd::kSaveHttps));
    EXPECT_EQ(m_dir.Read("https.txt"), "1.1.1.1:80\r\n");
    EXPECT_FALSE(m_files.OnCommand(cmd::kAppExit));
}

TEST_F(FileCommandsTest, OnlyAnUnnamedListIsAskedForAName) {
    ASSERT_TRUE(m_files.OnCommand(cmd::kFileSave)); // cancelled: nothing written, still untitled
    EXPECT_EQ(m_dialogs.proposedNames, Paths{"無題.txt"});
    m_doc.SetTitle("");
    m_rows.InsertRow(0, "10.0.0.5:80", StatusUnchecked, 0);
    const std::string named = m_dir.File("named.txt");
    m_dialogs.saveAnswers = {named};
    EXPECT_TRUE(m_files.Save());
    EXPECT_EQ(m_dialogs.proposedNames, (Paths{"無題.txt", "無題.txt"}));
    EXPECT_EQ(m_doc.PathName(), named);
    EXPECT_EQ(m_doc.Title(), "named.txt");
    EXPECT_EQ(m_host.recentFiles, Paths{named});

    m_rows.InsertRow(1, "10.0.0.6:80", StatusUnchecked, 1);
    EXPECT_TRUE(m_files.Save());
    EXPECT_EQ(m_dialogs.proposedNames.size(), 2U);
    EXPECT_NE(m_dir.Read("named.txt").find("10.0.0.6:80"), std::string::npos);
}

TEST_F(FileCommandsTest, ReplacingAnEditedListAsksFirst) {
    const std::string kept = m_dir.Write("kept.txt", "10.0.0.1:80\r\n");
    m_recent.entries = {kept, m_dir.File("gone.txt")};
    m_rows.InsertRow(0, "10.0.0.5:80", StatusUnchecked, 0);
    m_doc.SetModified(true);
    // Cancel is the recording service's answer: no dialog, no load, every entry kept.
    for (const int id : {cmd::kFileOpen, cmd::kFileNew, cmd::kFileMru1, cmd::kFileMru1 + 1}) {
        ASSERT_TRUE(m_files.OnCommand(id)) << id;
    }
    EXPECT_EQ(m_dialogs.opens, 0);
    EXPECT_EQ(m_rows.GetCellText(0, 0), "10.0.0.5:80");
    EXPECT_EQ(m_recent.entries.size(), 2U);

    // An entry that no longer opens leaves the list; one out of range does nothing.
    m_doc.SetModified(false);
    ASSERT_TRUE(m_files.OnCommand(cmd::kFileMru1 + 1));
    ASSERT_TRUE(m_files.OnCommand(cmd::kFileMru1 + 3));
    EXPECT_EQ(m_recent.entries, Paths{kept});
    ASSERT_TRUE(m_files.OnCommand(cmd::kFileMru1));
    EXPECT_EQ(m_doc.PathName(), kept);

    m_messages.QueueAnswer(MbResult::No);
    m_doc.SetModified(true);
    ASSERT_TRUE(m_files.OnCommand(cmd::kFileNew));
    EXPECT_EQ(m_rows.RowCount(), 0);
    EXPECT_EQ(m_doc.Title(), "無題");
}

} // namespace
} // namespace zandel
