#include "core/list/ProxyListDocument.h"

#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/util/Texts.h"
#include "core/list/RowStore.h"
#include "core/util/FileIo.h"
#include "support/FakeDocumentHost.h"
#include "support/OrdinaryUser.h"
#include "support/RecordingMessageService.h"
#include "support/TempDir.h"

namespace zandel {
namespace {

using Cells = std::array<std::string, kColumnCount>;
using Texts = std::vector<std::string>;

Cells Unchecked(const std::string& address) {
    return {address, "---", "--:---", "----/--/--(-:-:-)", "---"};
}

std::string Golden(int mode) {
    return std::string(ZANDEL_TEST_DATA_DIR) + "/list/save_mode" + std::to_string(mode) + ".txt";
}

std::string ReadGolden(int mode) {
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(Golden(mode), bytes).ok) << mode;
    return bytes;
}

class ListDocumentTest : public ::testing::Test {
protected:
    // Whatever the outcome, the call leaves the modes at 1 for the next caller that does not name one.
    bool Open(const std::string& path, int mode = OpenReplace) {
        const bool ok = m_doc.OpenListFile(path, mode);
        EXPECT_EQ(m_doc.m_openMode, OpenReplace);
        return ok;
    }
    bool Save(const std::string& path, int mode = SaveWithResults) {
        const bool ok = m_doc.SaveListFile(path, mode);
        EXPECT_EQ(m_doc.m_saveMode, SaveWithResults);
        return ok;
    }
    void AddRows(int count) {
        for (int row = m_rows.RowCount(), end = row + count; row < end; ++row) {
            m_rows.InsertRow(row, "10.0." + std::to_string(row / 256) + "." + std::to_string(row % 256) + ":80",
                             StatusNG, row);
            m_rows.SetCellText(row, 1, "NG");
        }
    }
    // A document that has a name, three rows and unsaved changes.
    void MakeEdited() {
        ASSERT_TRUE(Open(m_dir.Write("old.txt", "1.1.1.1:80 OK\n2.2.2.2:80\n3.3.3.3:80\n")));
        m_doc.SetModified(true);
        m_messages.Clear();
        m_host.proxyFile.clear();
    }
    void ExpectUntouched() {
        EXPECT_EQ(m_rows.RowCount(), 3);
        EXPECT_EQ(m_doc.PathName(), m_dir.File("old.txt"));
        EXPECT_EQ(m_doc.Title(), "old.txt");
        EXPECT_TRUE(m_doc.IsModified());
        EXPECT_TRUE(m_host.proxyFile.empty());
    }

    test::TempDir m_dir;
    MemoryRowStore m_rows;
    test::RecordingMessageService m_messages;
    test::FakeDocumentHost m_host;
    ProxyListDocument m_doc{m_rows, m_messages, m_host};
};

TEST_F(ListDocumentTest, LoadsAMessyFileByTheGrammar) {
    AddRows(2);
    constexpr char kJunk[] = "bin\0\xff\xfe junk\n   "; // ends in blanks without a line end
    const std::string path =
        m_dir.Write("messy.txt", "  1.2.3.4:8080\r\n# comment\n\n \t \r\n"
                                 "5.6.7.8:80 NG --:--- 2024/01/02(03:04:05) MITM x\n9.9.9.9:1 ok\r\n"
                                 "7.7.7.7:80 \x95\x73\x88\xC0\x92\xE8 0.250\r\n" // 不安定 in CP932
                                 "a b\tc d e f\n" +
                                     std::string(300, 'x') + "\n" + std::string(kJunk, sizeof kJunk - 1));
    ASSERT_TRUE(Open(path));
    const std::vector<std::pair<Cells, int>> expected = {
        {Unchecked("1.2.3.4:8080"), StatusUnchecked},
        {{"5.6.7.8:80", "NG", "--:---", "2024/01/02(03:04:05)", "MITM"}, StatusNG},
        {{"9.9.9.9:1", "ok", "--:---", "----/--/--(-:-:-)", "---"}, StatusAnonymous},
        {{"7.7.7.7:80", kUnstableResultCp932, "0.250", "----/--/--(-:-:-)", "---"}, StatusNG},
        {{"a", "b", "c", "d", "---"}, StatusUnchecked},      // a fifth field that is no HTTPS text
        {Unchecked(std::string(300, 'x')), StatusUnchecked}, // one row however long: never cut into two
        {Unchecked("bin"), StatusUnchecked},
        {Unchecked(""), StatusUnchecked}, // blanks without a line end at the end of the file
    };
    ASSERT_EQ(m_rows.RowCount(), static_cast<int>(expected.size()));
    for (int row = 0; row < m_rows.RowCount(); ++row) {
        const ProxyRow got = m_rows.GetRow(row);
        EXPECT_EQ(std::make_pair(got.cells, got.image), expected[static_cast<std::size_t>(row)]) << row;
        EXPECT_EQ(got.tag, row);
    }
    EXPECT_TRUE(m_messages.Texts().empty());
    EXPECT_EQ(m_rows.SelectedRows(10), std::vector<int>{0});
    EXPECT_EQ(m_rows.SelectionMark(), 0);
    EXPECT_FALSE(m_doc.IsModified());
    EXPECT_EQ(m_doc.Title(), "messy.txt");
    EXPECT_EQ(m_host.proxyFile, path);
    EXPECT_EQ(m_host.recentFiles, Texts{path});
    EXPECT_GT(m_host.countUpdates, 0);

    ASSERT_TRUE(Save(m_dir.File("saved.txt"), SaveAllAddresses));
    const std::string saved = m_dir.Read("saved.txt");
    EXPECT_EQ(saved.substr(saved.size() - 7), "\r\nbin\r\n"); // the row without address is left out
    ASSERT_TRUE(Save(m_dir.File("live.txt"), SaveNotNG));
    EXPECT_EQ(m_dir.Read("live.txt").find("7.7.7.7"), std::string::npos); // a failed second look is no live proxy
    // A second look failed in this run writes its result in the list's own CP932, and reads back as it was shown.
    m_rows.SetCellText(0, 1, kUnstableResult);
    ASSERT_TRUE(Save(m_dir.File("again.txt"), SaveWithResults));
    EXPECT_EQ(m_dir.Read("again.txt").rfind("1.2.3.4:8080 \x95\x73\x88\xC0\x92\xE8 ", 0), 0U);
    ASSERT_TRUE(Open(m_dir.File("again.txt")));
    EXPECT_EQ(m_rows.GetCellText(0, 1), kUnstableResultCp932);
    EXPECT_EQ(m_rows.GetRowImage(0), StatusNG);
    // A list in UTF-8 keeps its UTF-8.
    ASSERT_TRUE(Open(m_dir.Write("utf8.txt", "1.2.3.4:8080 Anonymous(A)\r\n")));
    m_rows.SetCellText(0, 1, kUnstableResult);
    ASSERT_TRUE(Save(m_dir.File("utf8.txt"), SaveWithResults));
    EXPECT_EQ(m_dir.Read("utf8.txt").rfind(std::string("1.2.3.4:8080 ") + kUnstableResult + " ", 0), 0U);
}

// The form it was found in: a line of only NUL bytes made a row without an address, which no save or export writes.
// It is a bad line like any other, shown and kept, its NUL bytes written out; so is a line a NUL byte begins.
TEST_F(ListDocumentTest, ALineOfNulBytesIsABadLineThatStays) {
    const std::string path = m_dir.Write("nul.txt", std::string("1.2.3.4:80\r\n\0\0\0\r\n\0junk\n5.6.7.8:80\n", 34));
    ASSERT_TRUE(Open(path));
    ASSERT_TRUE(Save(m_dir.File("saved.txt"), SaveAllAddresses));
    EXPECT_EQ(m_dir.Read("saved.txt"), "1.2.3.4:80\r\n\\x00\\x00\\x00\r\n\\x00\r\n5.6.7.8:80\r\n");
}

// A login longer than the 258 bytes a plain line is cut at stays one row, checked as one entry and saved as one line.
TEST_F(ListDocumentTest, KeepsALongLoginEntryAsOneLine) {
    const std::string longLogin = "socks5://user:" + std::string(600, 'p') + "@127.0.0.1:1080";
    const std::string seller = "127.0.0.1:3128:user:" + std::string(300, 'q') + "@x";
    const std::string file = longLogin + "\r\n" + seller + "\r\n1.2.3.4:80\r\n";
    ASSERT_TRUE(Open(m_dir.Write("long.txt", file)));
    ASSERT_EQ(m_rows.RowCount(), 3);
    EXPECT_EQ(m_rows.GetCellText(0, 0), longLogin);
    EXPECT_EQ(m_rows.GetCellText(1, 0), seller);
    ASSERT_TRUE(Save(m_dir.File("saved.txt"), SaveAllAddresses));
    EXPECT_EQ(m_dir.Read("saved.txt"), file);
}

struct LimitCase {
    const char* name;
    int existing;
    int lines;
    int mode;
    int rows;
    bool limitMessage;
};

class ListDocumentLimitTest : public ListDocumentTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(ListDocumentLimitTest, KeepsAtMostThousandRows) {
    const LimitCase& c = GetParam();
    AddRows(c.existing);
    std::string lines;
    for (int i = 0; i < c.lines; ++i) {
        lines += "127.0.0.1:" + std::to_string(1000 + i) + "\n";
    }
    m_host.messagesShown = [this] { return m_messages.Texts(); };
    ASSERT_TRUE(Open(m_dir.Write("list.txt", lines), c.mode));
    EXPECT_EQ(m_rows.RowCount(), c.rows);
    EXPECT_EQ(m_messages.Texts(), c.limitMessage ? Texts{texts::kRowLimit} : Texts{});
    EXPECT_EQ(m_host.messagesAtReadingEnd, 0); // the read lets the window go before the limit's message
    const int kept = c.mode == OpenAppend ? c.existing : 0;
    if (kept > 0) {
        EXPECT_EQ(m_rows.GetRow(kept - 1).cells[1], "NG");
        EXPECT_EQ(m_rows.GetRowImage(kept - 1), StatusNG);
    }
    if (c.rows > kept) {
        EXPECT_EQ(m_rows.GetCellText(kept, 0), "127.0.0.1:1000");
        EXPECT_EQ(m_rows.GetRowTag(c.rows - 1), c.rows - 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Limit, ListDocumentLimitTest,
                         ::testing::Values(LimitCase{"Just999", 0, 999, OpenReplace, 999, false},
                                           LimitCase{"Exactly1000", 0, 1000, OpenReplace, 1000, true},
                                           LimitCase{"File1200", 0, 1200, OpenReplace, 1000, true},
                                           LimitCase{"HundredThousand", 0, 100000, OpenReplace, 1000, true},
                                           LimitCase{"ReplaceFull", 1000, 20, OpenReplace, 20, false},
                                           LimitCase{"AppendToFull", 1000, 20, OpenAppend, 1000, true},
                                           LimitCase{"AppendPastLimit", 990, 20, OpenAppend, 1000, true},
                                           LimitCase{"AppendWithin", 5, 20, OpenAppend, 25, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The golden files are what each save mode writes of one list; the one with results is that list itself.
TEST_F(ListDocumentTest, SaveModesRoundTripThroughTheGoldenFiles) {
    ASSERT_TRUE(Open(Golden(SaveWithResults)));
    std::vector<int> images;
    for (int row = 0; row < m_rows.RowCount(); ++row) {
        images.push_back(m_rows.GetRowImage(row));
    }
    EXPECT_EQ(images, (std::vector<int>{0, 0, 1, 2, 3, 0, 2, 3}));
    for (int mode = SaveWithResults; mode <= SaveNonAnonymousOnly; ++mode) {
        m_doc.SetModified(true);
        ASSERT_TRUE(Save(m_dir.File("out.txt"), mode));
        EXPECT_FALSE(m_doc.IsModified());
        EXPECT_EQ(m_dir.Read("out.txt"), ReadGolden(mode)) << mode;
    }
    for (int mode = SaveAllAddresses; mode <= SaveNonAnonymousOnly; ++mode) {
        ASSERT_TRUE(Open(Golden(mode)));
        for (int index = 0; index < m_rows.RowCount(); ++index) {
            const ProxyRow row = m_rows.GetRow(index);
            EXPECT_EQ(std::make_pair(row.cells, row.image), std::make_pair(Unchecked(row.cells[0]), 3)) << mode;
        }
    }
}

TEST_F(ListDocumentTest, EmptyListSavesAnEmptyFileThatLoadsQuietly) {
    ASSERT_TRUE(Save(m_dir.File("empty.txt")));
    EXPECT_TRUE(std::filesystem::exists(m_dir.File("empty.txt")));
    EXPECT_EQ(std::filesystem::file_size(m_dir.File("empty.txt")), 0u);
    AddRows(3);
    ASSERT_TRUE(Open(m_dir.File("empty.txt")));
    EXPECT_EQ(m_rows.RowCount(), 0);
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(ListDocumentTest, LongExtensionStillSavesTheList) {
    AddRows(2);
    ASSERT_TRUE(Save(m_dir.File("list.verylongextension")));
    EXPECT_EQ(m_dir.Read("list.verylongextension"),
              "10.0.0.0:80 NG --:--- ----/--/--(-:-:-)\r\n10.0.0.1:80 NG --:--- ----/--/--(-:-:-)\r\n");
}

struct ExtensionCase {
    const char* name;
    bool loads;
    const char* message; // nullptr: none
};

class ListDocumentExtensionTest : public ListDocumentTest, public ::testing::WithParamInterface<ExtensionCase> {};

TEST_P(ListDocumentExtensionTest, OnlyTextFilesLoad) {
    MakeEdited();
    const std::string path = m_dir.Write(GetParam().name, "9.9.9.9:80\n");
    EXPECT_EQ(Open(path), GetParam().loads);
    EXPECT_EQ(m_messages.Texts(), GetParam().message ? Texts{GetParam().message} : Texts{});
    if (GetParam().loads) {
        EXPECT_EQ(m_rows.RowCount(), 1);
        EXPECT_EQ(m_doc.PathName(), path);
    } else {
        ExpectUntouched();
    }
}

INSTANTIATE_TEST_SUITE_P(Names, ListDocumentExtensionTest,
                         ::testing::Values(ExtensionCase{"upper.TXT", true, nullptr},
                                           ExtensionCase{"mixed.tXt", true, nullptr},
                                           ExtensionCase{"list.csv", false, texts::kBadListFormat},
                                           ExtensionCase{"noextension", false, texts::kBadListFormat},
                                           ExtensionCase{"list.txt.bak", false, texts::kBadListFormat},
                                           ExtensionCase{"list.abcdefghi", false, nullptr}));

TEST_F(ListDocumentTest, UnopenableFileChangesNothing) {
    MakeEdited();
    std::filesystem::create_directory(m_dir.File("folder.txt"));
    // A pipe held the open until someone wrote to it; a device read as a list.
    ASSERT_EQ(::mkfifo(m_dir.File("pipe.txt").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/null", m_dir.File("device.txt"));
    for (const auto& [name, cause] : std::vector<std::pair<std::string, std::string>>{
             {"missing.txt", " が見つかりませんでした。"},
             {"folder.txt", " はﾌｫﾙﾀﾞなので開けませんでした。"},
             {"pipe.txt", " は通常のﾌｧｲﾙではないため開けませんでした。"},
             {"device.txt", " は通常のﾌｧｲﾙではないため開けませんでした。"}}) {
        m_messages.Clear();
        EXPECT_FALSE(Open(m_dir.File(name)));
        EXPECT_EQ(m_messages.Texts(), Texts{m_dir.File(name) + cause});
        ExpectUntouched();
    }
}

TEST_F(ListDocumentTest, ReadOnlyFileLoads) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    const std::string path = m_dir.Write("locked.txt", "1.1.1.1:80\n");
    ::chmod(path.c_str(), 0444);
    EXPECT_TRUE(Open(path));
    EXPECT_EQ(m_rows.RowCount(), 1);
    ::chmod(path.c_str(), 0);
    EXPECT_FALSE(Open(path));
    EXPECT_EQ(m_messages.Texts(), Texts{path + " へのｱｸｾｽは拒否されました。"});
}

// A running program cannot be opened for writing, not even by the superuser.
TEST_F(ListDocumentTest, FileThatCannotBeWrittenLoads) {
    const std::string path = m_dir.File("program.txt");
    ASSERT_EQ(::symlink("/proc/self/exe", path.c_str()), 0);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    const int error = errno;
    if (fd >= 0 || error != ETXTBSY) {
        ::close(fd);
        GTEST_SKIP() << "the running program can be opened for writing here";
    }
    EXPECT_TRUE(Open(path));
    EXPECT_GT(m_rows.RowCount(), 0);
}

TEST_F(ListDocumentTest, ReadErrorLeavesAnUnnamedModifiedList) {
    MakeEdited();
    const std::string path = m_dir.File("memory.txt");
    ASSERT_EQ(::symlink("/proc/self/mem", path.c_str()), 0); // reading at offset 0 fails with EIO
    EXPECT_FALSE(Open(path));
    EXPECT_EQ(m_messages.Texts(), Texts{path + " へのｱｸｾｽ中にﾊｰﾄﾞｳｪｱ I/O ｴﾗｰが発生しました。"});
    EXPECT_TRUE(m_doc.PathName().empty()); // so that Save cannot cut the file down to what was read
    EXPECT_EQ(m_doc.Title(), texts::kUntitled);
    EXPECT_TRUE(m_doc.IsModified());
    EXPECT_TRUE(m_host.proxyFile.empty());
}

TEST_F(ListDocumentTest, FailedSaveKeepsWhatIsOnDisk) {
    MakeEdited();
    m_dir.Write("blocker", "not a folder");
    std::filesystem::create_directories(m_dir.File("taken.txt/inside"));
    for (const auto& [name, cause] : std::vector<std::pair<std::string, std::string>>{
             {"blocker/list.txt", " を保存できませんでした。保存先のﾌｫﾙﾀﾞが見つかりません。"},
             {"taken.txt", " はﾌｫﾙﾀﾞなので保存できませんでした。"}}) {
        m_messages.Clear();
        EXPECT_FALSE(Save(m_dir.File(name)));
        EXPECT_EQ(m_messages.Texts(), Texts{m_dir.File(name) + cause});
        EXPECT_TRUE(m_doc.IsModified());
    }
    EXPECT_EQ(m_dir.Read("blocker"), "not a folder");
    EXPECT_TRUE(std::filesystem::is_directory(m_dir.File("taken.txt/inside")));
    EXPECT_EQ(m_dir.Listing(), "blocker old.txt taken.txt"); // no temporary file left behind
}

// The list's own permission decides, as it would for creating the file: a read-only list is refused with the
// file-error message and stays modified; a writable list in a folder that takes no new files is saved.
TEST_F(ListDocumentTest, SaveFollowsTheListsOwnPermission) {
    MakeEdited();
    const std::string& dir = m_dir.Path();
    const std::string report = test::RunAsOrdinaryUser(dir, [&]() -> std::string {
        const std::string locked = dir + "/locked.txt";
        test::TempDir::WriteFile(locked, "9.9.9.9:80\n");
        ::chmod(locked.c_str(), 0444);
        if (Save(locked) || test::TempDir::ReadFile(locked) != "9.9.9.9:80\n") {
            return "a read-only list was saved over";
        }
        if (m_messages.Texts() != Texts{locked + " へのｱｸｾｽは拒否されました。"} || !m_doc.IsModified()) {
            return "the refusal was not reported, or the modified mark went";
        }
        const std::string open = dir + "/open.txt";
        test::TempDir::WriteFile(open, "");
        ::chmod(dir.c_str(), 0555);
        const bool saved = Save(open);
        ::chmod(dir.c_str(), 0755);
        if (!saved || test::TempDir::ReadFile(open).rfind("1.1.1.1:80 OK", 0) != 0 || m_doc.IsModified()) {
            return "a writable list in a closed folder was not saved";
        }
        return {};
    });
    EXPECT_EQ(report, "");
}

struct AskCase {
    const char* name;
    bool modified;
    MbResult answer;
    bool saveSucceeds;
    bool goesOn;
    int saves;
};

class ListDocumentAskTest : public ListDocumentTest, public ::testing::WithParamInterface<AskCase> {};

TEST_P(ListDocumentAskTest, AnswersDecide) {
    const AskCase& c = GetParam();
    MakeEdited();
    m_doc.SetModified(c.modified);
    m_messages.QueueAnswer(c.answer);
    m_host.saveResult = c.saveSucceeds;
    EXPECT_EQ(m_doc.AskSaveChanges(), c.goesOn);
    EXPECT_EQ(m_host.saves, c.saves);
    const auto boxes = m_messages.Boxes();
    ASSERT_EQ(boxes.size(), c.modified ? 1u : 0u);
    if (c.modified) {
        EXPECT_EQ(boxes[0].text, "old.txt への変更を保存しますか?");
        EXPECT_EQ(boxes[0].buttons, MbButtons::YesNoCancel);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, ListDocumentAskTest,
                         ::testing::Values(AskCase{"Unmodified", false, MbResult::Cancel, true, true, 0},
                                           AskCase{"YesSaves", true, MbResult::Yes, true, true, 1},
                                           AskCase{"YesSaveFails", true, MbResult::Yes, false, false, 1},
                                           AskCase{"No", true, MbResult::No, true, true, 0},
                                           AskCase{"Cancel", true, MbResult::Cancel, true, false, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ListDocumentTest, NewListAsksThenEmptiesAndForgetsTheName) {
    MakeEdited();
    EXPECT_FALSE(m_doc.NewList()); // the question is answered Cancel
    ExpectUntouched();

    m_messages.QueueAnswer(MbResult::No);
    EXPECT_TRUE(m_doc.NewList());
    EXPECT_EQ(m_rows.RowCount(), 0);
    EXPECT_TRUE(m_doc.PathName().empty());
    EXPECT_FALSE(m_doc.IsModified());

    // Without a path the question names the title, and without a title "無題".
    for (const std::string title : {"mine", ""}) {
        m_doc.SetTitle(title);
        m_doc.SetModified(true);
        m_messages.Clear();
        m_messages.QueueAnswer(MbResult::No);
        EXPECT_TRUE(m_doc.NewList());
        EXPECT_EQ(m_messages.Texts(), Texts{(title.empty() ? "無題" : title) + " への変更を保存しますか?"});
    }
}

} // namespace
} // namespace zandel
