// The check run over the selected rows, for every width: one loop takes the rows in list order while there is room,
// hands each job over and judges each as it ends. One check at a time runs its job in the hand-over itself, through
// the window's probe under its time-out timer, and writes each line as it comes; many at once go through a
// parallel probe, each job's lines kept as a block written whole when the job is judged.
#include "core/check/CheckEngine.h"

#include <algorithm>
#include <memory>
#include <optional>

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
// The addresses are read from the window this many rows at a time, when the run gets to them.
constexpr std::size_t kAddressChunk = 1000;

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

// The selected rows' addresses. While the run lasts, rows can be neither edited, moved nor removed, so reading
// them a chunk at a time gives what reading each row at its turn would, without the run waiting on the window per
// row, and without holding every address of a long list at once. A window that has begun to close answers with
// none: the run ends there.
class RowAddresses final {
public:
    RowAddresses(const IRowStore& store, const std::vector<int>& rows) : m_store(store), m_rows(rows) {}

    // False past the last row the window answers for.
    bool Get(std::size_t k, std::string& address) {
        if (k >= m_first + m_chunk.size()) {
            if (m_ended || k >= m_rows.size()) {
                return false;
            }
            const std::size_t end = std::min(m_rows.size(), k + kAddressChunk);
            m_first = k;
            m_chunk = m_store.CellTexts(std::vector<int>(m_rows.begin() + static_cast<std::ptrdiff_t>(k),
                                                         m_rows.begin() + static_cast<std::ptrdiff_t>(end)),
                                        0);
            m_ended = m_chunk.size() < end - k;
            if (k >= m_first + m_chunk.size()) {
                return false;
            }
        }
        address = CutBytes(m_chunk[k - m_first]);
        return true;
    }

private:
    const IRowStore& m_store;
    const std::vector<int>& m_rows;
    std::vector<std::string> m_chunk;
    std::size_t m_first = 0;
    bool m_ended = false;
};

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

void CheckEngine::RunRows(const std::vector<int>& rows) {
    RowAddresses addresses(m_rows, rows);
    std::string address;
    int count = addresses.Get(0, address) ? static_cast<int>(rows.size()) : 0;

    // The slots outlive the parallel probe, whose I/O thread writes into them until it is gone.
    std::vector<std::unique_ptr<JobSlot>> slots;
    std::vector<JobSlot*> free;
    std::optional<ParallelProbe> parallel;
    if (m_parallelWidth > 1) {
        const int width = FitParallelWidth(std::min(m_parallelWidth.load(), std::max(count, 1)));
        for (int i = 0; i < width; ++i) {
            slots.push_back(std::make_unique<JobSlot>());
            slots.back()->streaming = false;
            free.push_back(slots.back().get());
        }
        parallel.emplace(static_cast<IProbeStages*>(this));
        if (!parallel->Start()) {
            AppendLog(LogLineForEvent(PE_SOCKET_ERROR, false));
            return;
        }
        std::lock_guard lock(m_parallelMutex);
        m_activeParallel = &*parallel;
    } else {
        free.push_back(&m_one);
    }
    const std::shared_ptr<const ProbePlan> plan = RunPlan();

    int next = 0;
    int ended = 0;
    JobSlot* ranAlone = nullptr; // the one-at-a-time job, run to its end while it was handed over
    ProbeResult aloneResult = PR_DONE;
    std::string aloneTime;
    for (;;) {
        // Rows are taken in list order while there is room; a stop lets no more begin.
        while (!free.empty() && next < count) {
            m_remaining = count - ended;
            if (!m_checkBarRunning) {
                break;
            }
            const int k = next++;
            if (!addresses.Get(static_cast<std::size_t>(k), address)) {
                count = k;
                break;
            }
            JobSlot& slot = *free.back();
            ClearJob(slot);
            if (!ParseAddress(address, slot.job)) {
                m_checkedRows = ++ended;
                continue;
            }
            free.pop_back();
            slot.row = rows[static_cast<std::size_t>(k)];
            m_host.SetTitle(CheckingTitle(address));
            m_rows.SetCellText(slot.row, 1, kCheckingText);
            Emit(slot, FrameLineBefore(slot.job.szHost, slot.job.szPort));
            if (parallel) {
                slot.timeoutMark = false;
                slot.start = TickCount();
                parallel->Submit(&slot.job, plan, static_cast<std::uint32_t>(m_timerPeriodMs.load()),
                                 &slot.timeoutMark);
                if (!m_checkBarRunning) {
                    parallel->CancelAll(); // a stop that came while this job was being handed over
                }
            } else {
                aloneResult = RunOneJob(aloneTime);
                ranAlone = &slot;
            }
        }
        m_remaining = count - ended;

        JobSlot* slot = ranAlone;
        ProbeResult result = aloneResult;
        std::string responseTime = aloneTime;
        if (parallel) {
            m_runningJobs = parallel->Outstanding();
            m_host.SetRunningCount(parallel->Outstanding());
            if (parallel->Outstanding() == 0) {
                break;
            }
            const ParallelProbe::Done done = parallel->Collect();
            slot = static_cast<JobSlot*>(done.job->pOwner);
            result = done.result;
            responseTime = FormatElapsed(slot->start, ExchangeEndTicks(slot->job));
        } else if (slot == nullptr) {
            break;
        }
        ranAlone = nullptr;
        m_rows.SetRowSelected(slot->row, false);
        Emit(*slot, JudgeRow(slot->row, slot->job, result, responseTime, slot->timeoutMark).log);
        slot->timeoutMark = false;
        Emit(*slot, FrameLineAfter(slot->job.szHost, slot->job.szPort));
        if (!slot->streaming) {
            AppendLog(slot->block);
        }
        free.push_back(slot);
        m_checkedRows = ++ended;
    }
    if (parallel) {
        {
            std::lock_guard lock(m_parallelMutex);
            m_activeParallel = nullptr;
        }
        m_runningJobs = 0;
        m_host.SetRunningCount(0);
    }
}

} // namespace zandel
