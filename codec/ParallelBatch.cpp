#include "ParallelBatch.h"

#include <algorithm>

namespace cld {

ParallelBatch::ParallelBatch(size_t count, std::vector<BatchSlot*> slots)
    : m_slots(std::move(slots)), m_slotItem(m_slots.size()),
      m_outcomes(count, BatchOutcome::Waiting) {}

bool ParallelBatch::failureWaiting() const {
    for (size_t i = m_taken; i < m_outcomes.size(); ++i)
        if (m_outcomes[i] == BatchOutcome::Failed)
            return true;
    return false;
}

void ParallelBatch::poll() {
    for (size_t s = 0; s < m_slots.size(); ++s) {
        if (!m_slotItem[s] || m_slots[s]->isBusy())
            continue;
        const size_t item = *m_slotItem[s];
        m_slotItem[s].reset();
        m_outcomes[item] = m_slots[s]->end(item);
    }
    if (m_stopped) {
        for (size_t i = m_next; i < m_outcomes.size(); ++i)
            m_outcomes[i] = BatchOutcome::NotStarted;
        m_next = m_outcomes.size();
        return;
    }
    size_t s = 0;
    while (s < m_slots.size() && m_next < m_outcomes.size() && !failureWaiting()) {
        if (m_slotItem[s]) {
            ++s;
            continue;
        }
        const size_t item = m_next++;
        if (m_slots[s]->begin(item)) {
            m_slotItem[s] = item;
            m_outcomes[item] = BatchOutcome::Running;
            ++s;
        } else {
            // The slot stays free for the next item, unless this failure holds the batch.
            m_outcomes[item] = m_slots[s]->end(item);
        }
    }
}

void ParallelBatch::stop() {
    m_stopped = true;
    for (size_t s = 0; s < m_slots.size(); ++s)
        if (m_slotItem[s])
            m_slots[s]->stop();
}

bool ParallelBatch::isFinished() const {
    const bool running = std::any_of(m_slotItem.begin(), m_slotItem.end(),
                                     [](const std::optional<size_t>& i) { return i.has_value(); });
    if (running)
        return false;
    // Nothing runs: finished when nothing is left to start, or nothing may start.
    return m_stopped || m_next >= m_outcomes.size();
}

bool ParallelBatch::hasEnded() const {
    for (size_t s = 0; s < m_slots.size(); ++s)
        if (m_slotItem[s] && !m_slots[s]->isBusy())
            return true;
    return false;
}

std::optional<size_t> ParallelBatch::takeNext() {
    if (m_taken >= m_outcomes.size())
        return std::nullopt;
    const BatchOutcome o = m_outcomes[m_taken];
    if (o == BatchOutcome::Waiting || o == BatchOutcome::Running)
        return std::nullopt;
    return m_taken++;
}

std::vector<size_t> ParallelBatch::running() const {
    std::vector<size_t> items;
    for (const auto& i : m_slotItem)
        if (i)
            items.push_back(*i);
    std::sort(items.begin(), items.end());
    return items;
}

BatchSlot* ParallelBatch::slotOf(size_t item) const {
    for (size_t s = 0; s < m_slots.size(); ++s)
        if (m_slotItem[s] == item)
            return m_slots[s];
    return nullptr;
}

} // namespace cld
