#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <thread>
#include <vector>

#include "core/check/ProxyProbe.h"

namespace zandel::test {

// One stage event as the callback saw it.
struct ProbeEventRecord {
    ProbeEvent event = ProbeEvent::PE_START;
    std::thread::id thread;
    const ProbeJob* job = nullptr;
    std::uint32_t received = 0; // the answer's size when the event came
};

// Collects the stage events of a probe in order: give it to CProxyProbe::Initialize.
class ProbeRecorder final : public IProbeStages {
public:
    using Hook = std::function<void(ProbeEvent event, ProbeJob* job)>;

    void OnProbeStage(ProbeEvent event, ProbeJob& job) override;

    // Runs inside the callback, on the thread that raised the event, after the event is recorded.
    // Set it before the job starts.
    void SetHook(Hook hook);
    // Forgets the events; the hook stays.
    void Clear();

    std::vector<ProbeEvent> Events() const;
    std::vector<ProbeEventRecord> Records() const;

private:
    mutable std::mutex m_mutex;
    std::vector<ProbeEventRecord> m_records;
    Hook m_hook;
};

} // namespace zandel::test

namespace zandel {

// The codes' numbers in a failing expectation.
inline std::ostream& operator<<(std::ostream& out, ProbeEvent event) {
    return out << static_cast<int>(event);
}
inline std::ostream& operator<<(std::ostream& out, ProbeResult result) {
    return out << static_cast<int>(result);
}

} // namespace zandel
