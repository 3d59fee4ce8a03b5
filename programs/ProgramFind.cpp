#include "programs/ProgramFind.h"

#include <string>

#include "card/ProgramFields.h"
#include "framework/ListView.h"
#include "text/CaseFold.h"

namespace programs {

int FindProgramName(const fw::ListView& list, int start, int direction, std::string_view folded, bool prefix) {
    const int rows = list.GetItemCount();
    if (rows == 0 || folded.empty()) return -1;
    start = ((start % rows) + rows) % rows;
    for (int step = 0; step < rows; ++step) {
        const int row = ((start + step * direction) % rows + rows) % rows;
        const std::string name = FoldCase(list.ItemText(row, kColumnName));
        if (prefix ? name.compare(0, folded.size(), folded) == 0 : name.find(folded) != std::string::npos) return row;
    }
    return -1;
}

}  // namespace programs
