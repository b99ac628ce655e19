// The check run over the selected rows, for every width: one loop takes the rows in list order while there is room,
// hands each job over and judges each as it ends. One check at a time runs its job in the hand-over itself, through
// the window's probe under its time-out timer, and writes each line as it comes; many at once go through a
// parallel probe, each job's lines kept as a block written whole when the job is judged.
#include "core/check/CheckEngine.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <utility>

#include <dirent.h>
#include <sys/resource.h>

#include "core/settings/AppSettings.h"
#include "core/check/CheckFormat.h"
#include "core/list/RowStore.h"
#include "core/log/LogMapping.h"
#include "core/util/PopulatedArray.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

// Descriptors the program keeps besides the jobs' sockets: its files, the probe's own, the log.
constexpr int kReservedDescriptors = 32;
// The most jobs handed to the parallel probe before it is let carry on what is ready, so that a long batch (the
// run's first) does not keep its first jobs waiting for its last.
constexpr int kPollBatch = 64;
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
    Notice(notice);
    return width;
}

void CheckEngine::CancelParallel() {
    std::lock_guard lock(m_parallelMutex);
    if (m_activeParallel != nullptr) {
        m_activeParallel->CancelAll();
    }
}

void CheckEngine::RefuseEntry(int row, const std::string& address) {
    // A row of blanks is no entry: nothing to say of it.
    if (FindNoneOf(address, " \t") == std::string::npos) {
        return;
    }
    m_rows.SetRowSelected(row, false);
    const std::string reason = AddressRefusal(address);
    const std::string frame = "●---" + RefusedEntryShown(address) + "---●\r\n";
    AppendLog(frame + "結果：" + reason + "\r\n" + frame + "\r\n");
    ProxyRow cells;
    cells.cells[0] = address;
    cells.cells[1] = kResultNg;
    cells.cells[3] = FormatCheckTime(std::time(nullptr));
    cells.image = StatusNG;
    cells.reason = reason;
    m_rows.SetRowResult(row, cells);
}

bool CheckEngine::JudgeHeldUpTheRun(const std::vector<int>& rows, std::vector<int>& again, int& ended) {
    // Failures not yet put to the judge may be its doing too: they are not taken as the proxies' without asking it.
    if (!m_watch.down && !m_watch.streak.empty() && m_checkBarRunning) {
        ended -= SuspectJudge(rows, again);
        m_checkedRows = ended;
    }
    if (!m_watch.down) {
        return !again.empty() && m_checkBarRunning;
    }
    WaitForJudge();
    return m_checkBarRunning;
}

// One run over the selected rows, what its loop keeps between turns. The slots outlive the parallel probe, whose
// jobs are theirs until it is gone.
struct CheckEngine::RowRun {
    RowRun(IRowStore& store, const std::vector<int>& rows, int width)
        : rows(rows), addresses(store, rows, 0), count(static_cast<int>(rows.size())),
          slots(static_cast<std::size_t>(width)) {}

    const std::vector<int>& rows;
    RowCellReader addresses;
    int count;
    PopulatedArray<JobSlot> slots;
    std::vector<JobSlot*> free;
    std::optional<ParallelProbe> parallel;
    int next = 0;
    std::vector<int> again; // places of rows to check again: they failed while the judge did not answer
    int ended = 0;
    int shownEnded = -1;
    int handedOver = 0;
    // The job ended last, to be judged: one at a time, the job run to its end while it was handed over.
    JobSlot* endedSlot = nullptr;
    ProbeResult endedResult = ProbeResult::PR_DONE;
    std::string endedTime;
};

void CheckEngine::RunRows(const std::vector<int>& rows) {
    // The addresses are read a batch ahead: while the run lasts, rows can be neither edited, moved nor removed,
    // so this is what reading each row at its turn would give, without the run waiting on the window per row or
    // holding every address of a long list. A window that has begun to close answers with none.
    const int count = static_cast<int>(rows.size());
    const int width = m_parallelWidth > 1 ? FitParallelWidth(std::min(m_parallelWidth.load(), std::max(count, 1))) : 0;
    RowRun run(m_rows, rows, width);
    if (!OpenRowRun(run)) {
        return;
    }
    for (;;) {
        HandOverRows(run);
        m_remaining = run.count - run.ended;
        if (!TakeEndedJob(run)) {
            if (JudgeHeldUpTheRun(rows, run.again, run.ended)) {
                continue;
            }
            break;
        }
        FinishJob(run);
    }
    ReleaseHeldChecks();
    m_watch = JudgeWatch{};
    if (run.parallel) {
        {
            std::lock_guard lock(m_parallelMutex);
            m_activeParallel = nullptr;
        }
        m_runningJobs = 0;
        m_host.SetRunningCount(0);
        m_host.SetRunProgress(0, 0);
    }
}

bool CheckEngine::OpenRowRun(RowRun& run) {
    if (run.slots.size() == 0) {
        run.free.push_back(&m_one);
        return true;
    }
    for (std::size_t i = 0; i < run.slots.size(); ++i) {
        run.slots[i].streaming = false;
        run.free.push_back(&run.slots[i]);
    }
    run.parallel.emplace(static_cast<IProbeStages*>(this));
    if (!run.parallel->Start()) {
        m_lackedThreads = true;
        AppendLog(std::string(LogLineForEvent(ProbeEvent::PE_SOCKET_ERROR, false)));
        return false;
    }
    std::lock_guard lock(m_parallelMutex);
    m_activeParallel = &*run.parallel;
    return true;
}

void CheckEngine::HandOverRows(RowRun& run) {
    // Rows are taken in list order while there is room; a stop lets no more begin.
    while (!run.free.empty() && (run.next < run.count || !run.again.empty()) && !m_watch.down) {
        m_remaining = run.count - run.ended;
        if (!m_checkBarRunning) {
            break;
        }
        int k = 0;
        std::string address;
        if (run.next < run.count) {
            k = run.next++;
            address = CutBytes(run.addresses.At(static_cast<std::size_t>(k)), kMaxAddressCell);
        } else {
            k = run.again.back();
            run.again.pop_back();
            address = CutBytes(m_rows.GetCellText(run.rows[static_cast<std::size_t>(k)], 0), kMaxAddressCell);
        }
        JobSlot& slot = *run.free.back();
        ClearJob(slot);
        if (!TakeEntry(address, slot)) {
            RefuseEntry(run.rows[static_cast<std::size_t>(k)], address);
            m_checkedRows = ++run.ended;
            continue;
        }
        run.free.pop_back();
        slot.row = run.rows[static_cast<std::size_t>(k)];
        slot.index = k;
        slot.judge = m_watch.judge;
        if (!run.parallel) {
            m_host.SetTitle(CheckingTitle(TitleAddress(address, slot)));
        }
        m_rows.SetCellText(slot.row, 1, kCheckingText);
        Emit(slot, FrameLineBefore(slot.job.target.host, slot.job.target.port));
        HandOver(run, slot);
    }
}

void CheckEngine::HandOver(RowRun& run, JobSlot& slot) {
    if (!run.parallel) {
        run.endedResult = RunOneJob(slot.job, JobPlan(slot, slot.plan), run.endedTime);
        run.endedSlot = &slot;
        return;
    }
    slot.timeoutMark = false;
    slot.start = TickCount();
    run.parallel->Submit(&slot.job, JobPlan(slot, slot.plan), static_cast<std::uint32_t>(m_timerPeriodMs.load()),
                         &slot.timeoutMark);
    if (!m_checkBarRunning) {
        run.parallel->CancelAll(); // a stop that came while this job was being handed over
    }
    if (++run.handedOver % kPollBatch == 0) {
        run.parallel->Poll();
    }
}

bool CheckEngine::TakeEndedJob(RowRun& run) {
    if (!run.parallel) {
        return run.endedSlot != nullptr;
    }
    ParallelProbe& parallel = *run.parallel;
    m_runningJobs = parallel.Outstanding();
    m_host.SetRunningCount(parallel.Outstanding());
    // Many at once, the title and the status bar tell how far the run is rather than one address of many.
    if (run.ended != run.shownEnded) {
        run.shownEnded = run.ended;
        m_host.SetTitle(ProgressTitle(run.ended, run.count));
        m_host.SetRunProgress(run.ended, run.count);
    }
    if (parallel.Outstanding() == 0) {
        return false;
    }
    const ParallelProbe::Done done = parallel.Collect();
    run.endedSlot = static_cast<JobSlot*>(done.job->owner);
    run.endedResult = done.result;
    run.endedTime = FormatElapsed(run.endedSlot->start, ExchangeEndTicks(run.endedSlot->job));
    return true;
}

void CheckEngine::FinishJob(RowRun& run) {
    JobSlot* slot = std::exchange(run.endedSlot, nullptr);
    m_rows.SetRowSelected(slot->row, false);
    const Judgement judgement =
        JudgeRow(slot->row, slot->job, run.endedResult, run.endedTime, slot->timeoutMark, *slot);
    Emit(*slot, judgement.log);
    slot->timeoutMark = false;
    Emit(*slot, FrameLineAfter(slot->job.target.host, slot->job.target.port));
    if (!slot->streaming) {
        m_blockText.assign(slot->block.View());
        AppendLog(m_blockText);
    }
    if (run.parallel) {
        ClearJob(*slot); // the answer let go while the slot waits
    }
    run.free.push_back(slot);
    run.ended += 1 - WatchJudge(*slot, judgement, run.rows, run.again);
    m_checkedRows = run.ended;
}

} // namespace zandel
