#include "core/frame/CommandDispatcher.h"

#include <algorithm>
#include <utility>

#include "core/frame/CommandTable.h"

namespace zandel {

CommandBindings::CommandBindings(std::function<bool()> busy) : m_busy(std::move(busy)) {}

void CommandBindings::Bind(int id, std::function<void()> handler) {
    m_bindings.push_back(Binding{id, id, [handler = std::move(handler)](int) {
                                     handler();
                                     return true;
                                 }});
}

void CommandBindings::BindRange(int first, int last, std::function<bool(int id)> handler) {
    m_bindings.push_back(Binding{first, last, std::move(handler)});
}

const CommandBindings::Binding* CommandBindings::Find(int id) const {
    const auto found = std::find_if(m_bindings.begin(), m_bindings.end(),
                                    [id](const Binding& binding) { return id >= binding.first && id <= binding.last; });
    return found == m_bindings.end() ? nullptr : &*found;
}

bool CommandBindings::Handles(int id) const {
    return Find(id) != nullptr;
}

bool CommandBindings::Run(int id) const {
    const Binding* binding = Find(id);
    if (binding == nullptr) {
        return false;
    }
    if (m_busy && HasFlag(id, cmdflag::kNeedsIdle) && m_busy()) {
        return true;
    }
    return binding->handler(id);
}

CommandDispatcher::CommandDispatcher(Post post, std::function<void()> restore)
    : m_post(std::move(post)), m_restore(std::move(restore)) {}

void CommandDispatcher::Add(const CommandBindings& owner, std::function<void()> after) {
    m_owners.push_back(Owner{&owner, std::move(after)});
}

void CommandDispatcher::Remove(const CommandBindings& owner) {
    std::erase_if(m_owners, [&owner](const Owner& entry) { return entry.bindings == &owner; });
}

const CommandDispatcher::Owner* CommandDispatcher::Find(int id) const {
    const auto found = std::find_if(m_owners.begin(), m_owners.end(),
                                    [id](const Owner& owner) { return owner.bindings->Handles(id); });
    return found == m_owners.end() ? nullptr : &*found;
}

bool CommandDispatcher::IsBound(int id) const {
    return Find(id) != nullptr;
}

bool CommandDispatcher::RunNow(int id) {
    // Looked up again at the time it runs: a queued command of an owner gone since does nothing.
    const Owner* owner = Find(id);
    if (owner == nullptr || !owner->bindings->Run(id)) {
        return false;
    }
    if (owner->after) {
        owner->after();
    }
    return true;
}

bool CommandDispatcher::Dispatch(int id, CommandChooser chooser) {
    if (!IsBound(id)) {
        return false;
    }
    const bool popup = chooser == CommandChooser::Popup;
    if (popup && HasFlag(id, cmdflag::kRestoreFromPopup) && m_restore) {
        m_restore();
    }
    if (HasFlag(id, popup ? cmdflag::kQueuedFromPopup : cmdflag::kQueuedFromWindow)) {
        m_post([this, id] { RunNow(id); });
        return true;
    }
    return RunNow(id);
}

} // namespace zandel
