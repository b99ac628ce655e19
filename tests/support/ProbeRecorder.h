#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "core/check/ProxyProbe.h"

namespace zandel::test {

// One stage event as the callback saw it.
struct ProbeEventRecord {
    int event = 0;
    std::thread::id thread;
    const ProbeJob* job = nullptr;
    std::uint32_t received = 0; // the answer's size when the event came
};

// Collects the stage events of a probe in order: give it to CProxyProbe::Initialize.
class ProbeRecorder final : public IProbeStages {
public:
    using Hook = std::function<void(int event, ProbeJob* job)>;

    void OnProbeStage(int event, ProbeJob& job) override;

    // Runs inside the callback, on the thread that raised the event, after the event is recorded.
    // Set it before the job starts.
    void SetHook(Hook hook);
    // Forgets the events; the hook stays.
    void Clear();

    std::vector<int> Events() const;
    std::vector<ProbeEventRecord> Records() const;

private:
    mutable std::mutex m_mutex;
    std::vector<ProbeEventRecord> m_records;
    Hook m_hook;
};

} // namespace zandel::test
