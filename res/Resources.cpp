#include "res/Resources.h"

#include "framework/Host.h"
#include "res/Icon.h"
#include "res/ResourceIds.h"

namespace res {

const fw::Resources& AppResources() {
    static const fw::Resources resources = [] {
        fw::Resources r;
        r.dialogs = DialogTemplates();
        const auto& pixels = AppIconPixels();
        r.icons.push_back(fw::IconImage{IDI_APP, kAppIconSize, kAppIconSize, {pixels.begin(), pixels.end()}});
        return r;
    }();
    return resources;
}

void RegisterResources(fw::Host& host) { host.SetResources(&AppResources()); }

}  // namespace res
