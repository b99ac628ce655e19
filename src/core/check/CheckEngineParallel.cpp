// The check run with more than one proxy at a time: CheckEngine's run over the selected rows, for a
// ParallelChecks above 1. Each job keeps its own transcript block, written whole when its job ends, so that it
// reads exactly as the one-at-a-time transcript shows that proxy.
#include "core/check/CheckEngine.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

#include <dirent.h>
#include <sys/resource.h>

#include "core/app/AppSettings.h"
#include "core/check/CheckFormat.h"
#include "core/list/RowStore.h"
#include "core/log/LogMapping.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

// Descriptors the program keeps besides the jobs' sockets: its files, the probe's own, the log.
constexpr int kReservedDescriptors = 32;

// One running job: its record, answer buffer, transcript block and time-out mark.
struct JobSlot {
    ProbeJob job;
    char answer[kAnswerBufferSize] = {};
    int row = -1;
    std::string block;
    std::atomic<bool> timeoutMark{false};
    std::uint32_t start = 0;
};

// The parallel probe's stages: every stage line goes into its own job's block. The slots are all made before the
// run begins, so the lookup is only ever read while jobs run.
class BlockStages final : public IProbeStages {
public:
    void Add(JobSlot& slot) { m_slots[&slot.job] = &slot; }
    JobSlot& SlotOf(const ProbeJob& job) const { return *m_slots.at(&job); }
    void OnProbeStage(int event, ProbeJob& job) override {
        JobSlot& slot = SlotOf(job);
        slot.block += LogLineForEvent(event, slot.timeoutMark.load());
    }

private:
    std::unordered_map<const ProbeJob*, JobSlot*> m_slots;
};

int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr) {
            ++count;
        }
        ::closedir(dir);
        count -= 3; // ".", ".." and the listing's own descriptor
    }
    return std::max(count, 0);
}

} // namespace

int CheckEngine::FitParallelWidth(int wanted) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return wanted;
    }
    const long long room = static_cast<long long>(limit.rlim_cur) - OpenDescriptors() - kReservedDescriptors;
    if (room >= wanted) {
        return wanted;
    }
    const int width = static_cast<int>(std::max(room, 1LL));
    const std::string notice = "NOTICE>開けるﾌｧｲﾙ数の上限(" + std::to_string(limit.rlim_cur) + ")のため、同時ﾁｪｯｸ数を" +
                               std::to_string(width) + "件にしました\r\n";
    AppendLog(notice);
    m_host.RunNotice(notice);
    return width;
}

void CheckEngine::CancelParallel() {
    std::lock_guard lock(m_parallelMutex);
    if (m_activeParallel != nullptr) {
        m_activeParallel->CancelAll();
    }
}

void CheckEngine::RunParallel(const std::vector<int>& rows, RowCellReader& addresses, int count) {
    // The slots and their stages outlive the probe, whose I/O thread writes into them until it is gone.
    const int width = FitParallelWidth(std::min(m_parallelWidth.load(), std::max(count, 1)));
    BlockStages stages;
    std::vector<std::unique_ptr<JobSlot>> slots;
    std::vector<JobSlot*> free;
    for (int i = 0; i < width; ++i) {
        slots.push_back(std::make_unique<JobSlot>());
        free.push_back(slots.back().get());
        stages.Add(*slots.back());
    }
    ParallelProbe probe(&stages);
    if (!probe.Start()) {
        m_lackedThreads = true;
        AppendLog(LogLineForEvent(PE_SOCKET_ERROR, false));
        return;
    }
    {
        std::lock_guard lock(m_requestMutex);
        probe.SetRequest(m_requestLine, m_headers, m_waitTimeoutMs);
        probe.SetTunnel(m_tunnelPlan);
    }
    {
        std::lock_guard lock(m_parallelMutex);
        m_activeParallel = &probe;
    }

    int next = 0;
    int ended = 0;
    int shownEnded = -1;
    for (;;) {
        // Rows are taken in list order while there is room; a stop lets no more begin.
        while (m_checkBarRunning && !free.empty() && next < count) {
            const int k = next++;
            JobSlot& slot = *free.back();
            slot.job = ProbeJob{};
            slot.answer[0] = '\0';
            slot.job.pBuffer = slot.answer;
            slot.job.nBufferSize = kAnswerBufferSize;
            const std::string address = CutBytes(addresses.At(static_cast<std::size_t>(k)));
            if (!ParseAddress(address, slot.job)) {
                ++ended;
                continue;
            }
            free.pop_back();
            slot.row = rows[static_cast<std::size_t>(k)];
            slot.timeoutMark = false;
            slot.block = FrameLineBefore(slot.job.szHost, slot.job.szPort);
            m_rows.SetCellText(slot.row, 1, kCheckingText);
            slot.start = TickCount();
            probe.Submit(&slot.job, static_cast<std::uint32_t>(m_timerPeriodMs.load()), &slot.timeoutMark);
            if (!m_checkBarRunning) {
                probe.CancelAll(); // a stop that came while this job was being handed over
            }
        }
        m_remaining = count - ended;
        m_runningJobs = probe.Outstanding();
        m_host.SetRunningCount(probe.Outstanding());
        if (ended != shownEnded) {
            shownEnded = ended;
            m_host.SetTitle(ProgressTitle(ended, count));
            m_host.SetRunProgress(ended, count);
        }
        if (probe.Outstanding() == 0) {
            break;
        }
        const ParallelProbe::Done done = probe.Collect();
        JobSlot& slot = stages.SlotOf(*done.job);
        const std::string responseTime = FormatElapsed(slot.start, ExchangeEndTicks(slot.job));
        m_rows.SetRowSelected(slot.row, false);
        slot.block += JudgeRow(slot.row, slot.job, done.result, responseTime, slot.timeoutMark).log;
        slot.block += FrameLineAfter(slot.job.szHost, slot.job.szPort);
        AppendLog(slot.block);
        free.push_back(&slot);
        ++ended;
    }
    {
        std::lock_guard lock(m_parallelMutex);
        m_activeParallel = nullptr;
    }
    m_runningJobs = 0;
    m_host.SetRunningCount(0);
    m_host.SetRunProgress(0, 0);
}

} // namespace zandel
