#pragma once

#include <cstdint>
#include <vector>

#include "framework/DialogTemplate.h"

namespace fw {

// An icon as pixels: width x height, row by row from the top, each
// 0xAARRGGBB (alpha 0 is transparent).
struct IconImage {
    int id = 0;
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// What an application brings for its windows, as a resource script would:
// dialog templates and icons by id. The framework holds none of its own; the
// application registers its table with the host before it makes a dialog.
struct Resources {
    std::vector<DialogTemplate> dialogs;
    std::vector<IconImage> icons;

    // Null for an id the table does not hold.
    const DialogTemplate* FindDialog(int id) const;
    const IconImage* FindIcon(int id) const;
};

}  // namespace fw
