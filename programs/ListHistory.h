#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/ListView.h"

namespace programs {

// Undo and redo for a list view: each step keeps the whole list as it stood
// on one side of a change, so any change (a drag, a sort, a whole scan) is
// one step however it was made. Old steps go first when the history holds
// more than its limits.
class ListHistory {
public:
    static constexpr size_t kMaxSteps = 100;
    static constexpr size_t kMaxBytes = size_t{64} << 20;

    // A change has been made: `before` is the list as it stood, `what` names
    // the change for the menu ("Delete"). Redo steps are gone after it.
    void Record(fw::ListView::Snapshot before, std::string what);
    // The list back to before the last change, or forward again; false
    // when there is nothing to undo or redo.
    bool Undo(fw::ListView& list);
    bool Redo(fw::ListView& list);
    bool CanUndo() const { return !m_Undo.empty(); }
    bool CanRedo() const { return !m_Redo.empty(); }
    // The name of the change an Undo or a Redo would take back or make again.
    const std::string& UndoName() const;
    const std::string& RedoName() const;
    void Clear();
    // The list as it stands is the stored one (after a Load or a Save).
    void MarkStored() { m_Stored = m_Current; }
    // Whether undo and redo have brought the list back to the stored one.
    bool AtStored() const { return m_Current == m_Stored; }
    size_t Bytes() const { return m_Bytes; }

private:
    struct Step {
        fw::ListView::Snapshot list;
        std::string what;
        uint64_t state = 0;  // which state of the list `list` is
    };
    // Takes `from`'s last step into the list, and the list as it stands onto `to`.
    bool Move(std::vector<Step>& from, std::vector<Step>& to, fw::ListView& list);
    void Trim();

    std::vector<Step> m_Undo;
    std::vector<Step> m_Redo;
    size_t m_Bytes = 0;
    uint64_t m_Current = 0;
    uint64_t m_Stored = 0;
    uint64_t m_NextState = 1;
};

}  // namespace programs
