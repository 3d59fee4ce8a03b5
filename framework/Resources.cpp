#include "framework/Resources.h"

namespace fw {

const DialogTemplate* Resources::FindDialog(int id) const {
    for (const auto& dialog : dialogs)
        if (dialog.id == id) return &dialog;
    return nullptr;
}

const IconImage* Resources::FindIcon(int id) const {
    for (const auto& icon : icons)
        if (icon.id == id) return &icon;
    return nullptr;
}

}  // namespace fw
