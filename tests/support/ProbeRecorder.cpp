#include "support/ProbeRecorder.h"

namespace zandel::test {

int ProbeRecorder::Callback(int event, ProbeJob* job) {
    auto* recorder = static_cast<ProbeRecorder*>(job->pOwner);
    Hook hook;
    {
        std::lock_guard lock(recorder->m_mutex);
        recorder->m_records.push_back({event, std::this_thread::get_id(), job, job->nReceived});
        hook = recorder->m_hook;
    }
    if (hook) {
        hook(event, job);
    }
    return 0;
}

void ProbeRecorder::SetHook(Hook hook) {
    std::lock_guard lock(m_mutex);
    m_hook = std::move(hook);
}

void ProbeRecorder::Clear() {
    std::lock_guard lock(m_mutex);
    m_records.clear();
}

std::vector<int> ProbeRecorder::Events() const {
    std::lock_guard lock(m_mutex);
    std::vector<int> events;
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
