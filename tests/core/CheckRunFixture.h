#pragma once

#include <string>

#include <gtest/gtest.h>

#include "core/settings/AppSettings.h"
#include "core/check/CheckEngine.h"
#include "core/list/RowStore.h"
#include "support/EchoJudge.h"
#include "support/RecordingCheckHost.h"
#include "support/RecordingMessageService.h"
#include "support/ThreadState.h"

namespace zandel::test {

// A run over rows of a list held in memory, against proxies on loopback (one at a time and many at once).
class CheckRunFixture : public ::testing::Test {
protected:
    CheckRunFixture() {
        m_settings.WebPage = m_judge.Url();
        m_settings.TimeOut = 5;
        m_engine.Initialize();
    }

    ~CheckRunFixture() override {
        m_engine.StopCheck();
        m_engine.JoinRunThreads();
    }

    int AddRow(const std::string& address, bool selected = true) {
        const int row = m_rows.RowCount();
        m_rows.InsertRow(row, address, StatusUnchecked, row);
        m_rows.SetCellText(row, 1, kUncheckedResult);
        m_rows.SetCellText(row, 2, kUncheckedTime);
        m_rows.SetCellText(row, 3, kUncheckedDate);
        m_rows.SetRowSelected(row, selected);
        return row;
    }

    void RunToEnd() {
        m_engine.StartCheck();
        ASSERT_TRUE(m_host.WaitForRunsEnded(++m_runs));
        m_engine.JoinRunThreads();
    }

    // Waits until the worker that sent the n-th request sits in its wait for the answer.
    void WaitForWorkerWaiting(int n) {
        ASSERT_TRUE(m_host.WaitForLog("SEND>", n));
        ASSERT_TRUE(WaitUntilInPoll(m_host.SenderThread(n)));
    }

    EchoJudge m_judge;
    AppSettings m_settings;
    MemoryRowStore m_rows;
    RecordingCheckHost m_host;
    RecordingMessageService m_messages;
    CheckEngine m_engine{m_settings, m_rows, m_host, m_host, m_messages};
    int m_runs = 0;
};

} // namespace zandel::test
