#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/check/ProxyProbe.h"
#include "support/FakeProxy.h"
#include "support/Loopback.h"
#include "support/ProbeRecorder.h"

namespace zandel::probe_test {

using test::FakeProxy;
using test::FakeScript;
using test::ProbeRecorder;
namespace fake = test::fake;

inline constexpr char kCanary = 0x5A;
inline constexpr std::size_t kGuardBytes = 64;
inline constexpr std::uint32_t kAnswerBuffer = 10240;
inline const std::string kRequestLine = "http://127.0.0.1/envchk.cgi HTTP/1.0";
inline const std::string kHeaders = "User-Agent: probe-test\r\nAccept: */*\r\nHost: 127.0.0.1";
inline const std::string kOkAnswer = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n";

inline std::string Pattern(std::size_t size) {
    std::string text(size, ' ');
    for (std::size_t i = 0; i < size; ++i) {
        text[i] = static_cast<char>('a' + i % 26);
    }
    return text;
}

// A probe with a recorder, and an answer buffer fenced by canary bytes on both sides.
class ProxyProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_probe.Initialize(&m_recorder));
        m_probe.SetWaitTimeout(300);
        m_probe.SetRequestLine(kRequestLine);
        m_probe.SetHeaders(kHeaders);
    }

    void PrepareJob(const std::string& host, const std::string& port, std::uint32_t bufferSize = kAnswerBuffer) {
        m_storage.assign(bufferSize + 2 * kGuardBytes, kCanary);
        m_job = ProbeJob{};
        std::strncpy(m_job.szHost, host.c_str(), sizeof m_job.szHost - 1);
        std::strncpy(m_job.szPort, port.c_str(), sizeof m_job.szPort - 1);
        m_job.pBuffer = m_storage.data() + kGuardBytes;
        m_job.nBufferSize = bufferSize;
        m_recorder.Clear();
    }

    ProbeResult Run(const std::string& host, const std::string& port, std::uint32_t bufferSize = kAnswerBuffer) {
        PrepareJob(host, port, bufferSize);
        return RunPrepared();
    }

    ProbeResult Run(const FakeProxy& proxy, std::uint32_t bufferSize = kAnswerBuffer) {
        return Run(test::kLoopbackHost, proxy.PortText(), bufferSize);
    }

    ProbeResult RunPrepared() {
        m_callerThread = std::this_thread::get_id();
        return m_probe.RunJob(&m_job);
    }

    std::string Answer() const { return std::string(m_job.pBuffer); }

    bool GuardsIntact() const {
        for (std::size_t i = 0; i < kGuardBytes; ++i) {
            if (m_storage[i] != kCanary || m_storage[m_storage.size() - 1 - i] != kCanary) {
                return false;
            }
        }
        return true;
    }

    // The calling thread raises the start, the end and the verdicts, with the caller's own record; the
    // worker raises the exchange stages with its copy.
    void ExpectEventsOnTheirThreads() const {
        for (const test::ProbeEventRecord& record : m_recorder.Records()) {
            const bool fromCaller = record.event == PE_START || record.event == PE_END || record.event == PE_TIMEOUT ||
                                    record.event == PE_CANCELLED || record.event == PE_SOCKET_ERROR;
            EXPECT_EQ(record.thread == m_callerThread, fromCaller) << "event " << record.event;
            EXPECT_EQ(record.job == &m_job, fromCaller) << "event " << record.event;
        }
    }

    CProxyProbe m_probe;
    ProbeRecorder m_recorder;
    std::vector<char> m_storage;
    ProbeJob m_job;
    std::thread::id m_callerThread;
};

inline const std::vector<int> kAnswered{PE_START, PE_CONNECTED, PE_SENT, PE_RECEIVING, PE_RECEIVED, PE_END};

} // namespace zandel::probe_test
