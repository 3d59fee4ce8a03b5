#include "programs/ListHistory.h"

#include <utility>

namespace programs {

namespace {
const std::string kNothing;
}  // namespace

void ListHistory::Record(fw::ListView::Snapshot before, std::string what) {
    for (const Step& step : m_Redo) m_Bytes -= step.list.Bytes();
    m_Redo.clear();
    m_Bytes += before.Bytes();
    m_Undo.push_back(Step{std::move(before), std::move(what), m_Current});
    m_Current = m_NextState++;
    Trim();
}

bool ListHistory::Move(std::vector<Step>& from, std::vector<Step>& to, fw::ListView& list) {
    if (from.empty()) return false;
    Step step = std::move(from.back());
    from.pop_back();
    Step back{list.TakeSnapshot(), step.what, m_Current};
    list.RestoreSnapshot(step.list);
    m_Bytes += back.list.Bytes();
    m_Bytes -= step.list.Bytes();
    m_Current = step.state;
    to.push_back(std::move(back));
    Trim();
    return true;
}

bool ListHistory::Undo(fw::ListView& list) { return Move(m_Undo, m_Redo, list); }

bool ListHistory::Redo(fw::ListView& list) { return Move(m_Redo, m_Undo, list); }

const std::string& ListHistory::UndoName() const { return m_Undo.empty() ? kNothing : m_Undo.back().what; }

const std::string& ListHistory::RedoName() const { return m_Redo.empty() ? kNothing : m_Redo.back().what; }

void ListHistory::Clear() {
    m_Undo.clear();
    m_Redo.clear();
    m_Bytes = 0;
}

void ListHistory::Trim() {
    // The oldest undo steps go first; the step just made always stays.
    size_t drop = 0;
    while (m_Undo.size() - drop > 1 && (m_Undo.size() + m_Redo.size() - drop > kMaxSteps || m_Bytes > kMaxBytes)) {
        m_Bytes -= m_Undo[drop].list.Bytes();
        ++drop;
    }
    m_Undo.erase(m_Undo.begin(), m_Undo.begin() + static_cast<std::ptrdiff_t>(drop));
}

}  // namespace programs
