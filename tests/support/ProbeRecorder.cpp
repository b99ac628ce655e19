#include "support/ProbeRecorder.h"

namespace zandel::test {

void ProbeRecorder::OnProbeStage(ProbeEvent event, ProbeJob& job) {
    Hook hook;
    {
        std::lock_guard lock(m_mutex);
        m_records.push_back({event, std::this_thread::get_id(), &job, job.answer.Size()});
        hook = m_hook;
    }
    if (hook) {
        hook(event, &job);
    }
}

void ProbeRecorder::SetHook(Hook hook) {
    std::lock_guard lock(m_mutex);
    m_hook = std::move(hook);
}

void ProbeRecorder::Clear() {
    std::lock_guard lock(m_mutex);
    m_records.clear();
}

std::vector<ProbeEvent> ProbeRecorder::Events() const {
    std::lock_guard lock(m_mutex);
    std::vector<ProbeEvent> events;
    for (const ProbeEventRecord& record : m_records) {
        events.push_back(record.event);
    }
    return events;
}

std::vector<ProbeEventRecord> ProbeRecorder::Records() const {
    std::lock_guard lock(m_mutex);
    return m_records;
}

} // namespace zandel::test
