#include "framework/Host.h"

#include <cstdio>
#include <cstdlib>

#include "framework/Resources.h"

namespace fw {

const DialogTemplate& Host::GetDialogTemplate(int id) const {
    const DialogTemplate* found = m_Resources ? m_Resources->FindDialog(id) : nullptr;
    if (!found) {
        std::fprintf(stderr, "no dialog template %d registered with the host\n", id);
        std::abort();
    }
    return *found;
}

const IconImage* Host::FindIcon(int id) const { return m_Resources ? m_Resources->FindIcon(id) : nullptr; }

}  // namespace fw
