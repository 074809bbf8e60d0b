#include "data/RowMap.h"

#include <algorithm>

void TRowMap::Reset() {
    m_active = false;
    m_count = 0;
    m_runs.clear();
    m_starts.clear();
}

void TRowMap::Activate(qint64 storeRows) {
    if (m_active)
        return;
    m_active = true;
    m_runs.clear();
    if (storeRows > 0)
        m_runs.push_back({0, storeRows});
    Renumber();
}

void TRowMap::Renumber() {
    m_starts.resize(m_runs.size());
    qint64 position = 0;
    for (std::size_t i = 0; i < m_runs.size(); ++i) {
        m_starts[i] = position;
        position += m_runs[i].Count;
    }
    m_count = position;
}

std::size_t TRowMap::RunOf(qint64 row) const {
    const auto it = std::upper_bound(m_starts.begin(), m_starts.end(), row);
    return std::size_t(it - m_starts.begin()) - 1;
}

qint64 TRowMap::IdOf(qint64 row) const {
    if (!m_active)
        return row;
    Q_ASSERT(row >= 0 && row < m_count);
    const std::size_t i = RunOf(row);
    const TRun& run = m_runs[i];
    return run.Source < 0 ? run.Source : run.Source + (row - m_starts[i]);
}

qint64 TRowMap::RowOf(qint64 id, qint64 storeRows) const {
    if (!m_active)
        return id >= 0 && id < storeRows ? id : -1;
    for (std::size_t i = 0; i < m_runs.size(); ++i) {
        const TRun& run = m_runs[i];
        if (id < 0 ? run.Source == id : run.Source >= 0 && id >= run.Source && id < run.Source + run.Count)
            return m_starts[i] + (id < 0 ? 0 : id - run.Source);
    }
    return -1;
}

std::size_t TRowMap::SplitAt(qint64 row) {
    if (row >= m_count)
        return m_runs.size();
    const std::size_t i = RunOf(row);
    const qint64 offset = row - m_starts[i];
    if (offset == 0)
        return i;
    const TRun tail{m_runs[i].Source + offset, m_runs[i].Count - offset};
    m_runs[i].Count = offset;
    // The callers change the runs further and renumber once.
    m_runs.insert(m_runs.begin() + std::ptrdiff_t(i) + 1, tail);
    return i + 1;
}

void TRowMap::Insert(qint64 row, qint64 id, qint64 storeRows) {
    Activate(storeRows);
    Q_ASSERT(row >= 0 && row <= m_count);
    const std::size_t i = SplitAt(row);
    m_runs.insert(m_runs.begin() + std::ptrdiff_t(i), TRun{id, 1});
    Renumber();
}

void TRowMap::Remove(qint64 row, qint64 storeRows) {
    Activate(storeRows);
    Q_ASSERT(row >= 0 && row < m_count);
    const std::size_t i = SplitAt(row);
    TRun& run = m_runs[i];
    if (run.Count == 1) {
        m_runs.erase(m_runs.begin() + std::ptrdiff_t(i));
    } else {
        ++run.Source;
        --run.Count;
    }
    Renumber();
}
