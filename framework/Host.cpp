#include "framework/Host.h"

#include <cstdio>
#include <cstdlib>

#include "framework/Resources.h"
#include "framework/Worker.h"

namespace fw {

const DialogTemplate& Host::GetDialogTemplate(int id) const {
    const DialogTemplate* found = m_Resources ? m_Resources->FindDialog(id) : nullptr;
    if (!found) {
        std::fprintf(stderr, "no dialog template %d registered with the host\n", id);
        std::abort();
    }
    return *found;
}

std::unique_ptr<Worker> Host::MakeWorker() { return std::make_unique<InlineWorker>(); }

const IconImage* Host::FindIcon(int id) const { return m_Resources ? m_Resources->FindIcon(id) : nullptr; }

}  // namespace fw
