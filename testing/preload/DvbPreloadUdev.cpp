// The preload library's libudev: libdvbv5 lists its devices through
// libudev, so the few calls it makes are answered here, with the emulated
// adapter as the only DVB device.
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "testing/preload/DvbPreload.h"

using kelvane_preload::Inside;

// libudev, as far as libdvbv5's device list reads it: one platform device
// with the emulated adapter's frontend and demux.
struct udev {
    int refs = 1;
};
struct udev_list_entry {
    std::string name;
    udev_list_entry* next = nullptr;
};
struct udev_enumerate {
    bool dvb = false;
    std::vector<std::unique_ptr<udev_list_entry>> entries;
};
struct udev_device {
    std::string syspath, sysname, devnode, subsystem, type;
    std::unique_ptr<udev_device> parent;
};
struct udev_monitor {
    int fd = -1;
};

namespace {

constexpr const char* kNodes[][2] = {{"frontend", "/dev/dvb/adapter0/frontend0"}, {"demux", "/dev/dvb/adapter0/demux0"}};
constexpr const char* kPlatform = "/sys/devices/platform/kelvane-dvb-emulation";

}  // namespace

KELVANE_EXPORT udev* udev_new() { return new udev; }
KELVANE_EXPORT udev* udev_unref(udev* u) {
    if (u && --u->refs == 0) delete u;
    return nullptr;
}
KELVANE_EXPORT udev_enumerate* udev_enumerate_new(udev*) { return new udev_enumerate; }
KELVANE_EXPORT int udev_enumerate_add_match_subsystem(udev_enumerate* e, const char* subsystem) {
    if (e && subsystem && std::strcmp(subsystem, "dvb") == 0) e->dvb = true;
    return 0;
}
KELVANE_EXPORT int udev_enumerate_scan_devices(udev_enumerate* e) {
    if (!e || !e->dvb) return 0;
    e->entries.clear();
    for (const auto& node : kNodes) {
        auto entry = std::make_unique<udev_list_entry>();
        entry->name = std::string(kPlatform) + "/dvb/dvb0." + node[0] + "0";
        if (!e->entries.empty()) e->entries.back()->next = entry.get();
        e->entries.push_back(std::move(entry));
    }
    return 0;
}
KELVANE_EXPORT udev_list_entry* udev_enumerate_get_list_entry(udev_enumerate* e) {
    return e && !e->entries.empty() ? e->entries.front().get() : nullptr;
}
KELVANE_EXPORT udev_enumerate* udev_enumerate_unref(udev_enumerate* e) {
    delete e;
    return nullptr;
}
KELVANE_EXPORT udev_list_entry* udev_list_entry_get_next(udev_list_entry* entry) {
    return entry ? entry->next : nullptr;
}
KELVANE_EXPORT const char* udev_list_entry_get_name(udev_list_entry* entry) {
    return entry ? entry->name.c_str() : nullptr;
}
KELVANE_EXPORT udev_device* udev_device_new_from_syspath(udev*, const char* syspath) {
    if (!syspath) return nullptr;
    for (const auto& node : kNodes) {
        const std::string sysname = std::string("dvb0.") + node[0] + "0";
        if (std::string(syspath) != std::string(kPlatform) + "/dvb/" + sysname) continue;
        auto device = new udev_device;
        device->syspath = syspath;
        device->sysname = sysname;
        device->devnode = node[1];
        device->subsystem = "dvb";
        device->type = node[0];
        device->parent = std::make_unique<udev_device>();
        device->parent->syspath = kPlatform;
        device->parent->sysname = "kelvane-dvb-emulation";
        device->parent->subsystem = "platform";
        return device;
    }
    return nullptr;
}
KELVANE_EXPORT udev_device* udev_device_unref(udev_device* device) {
    delete device;
    return nullptr;
}
KELVANE_EXPORT const char* udev_device_get_devnode(udev_device* d) {
    return d && !d->devnode.empty() ? d->devnode.c_str() : nullptr;
}
KELVANE_EXPORT const char* udev_device_get_sysname(udev_device* d) { return d ? d->sysname.c_str() : nullptr; }
KELVANE_EXPORT const char* udev_device_get_subsystem(udev_device* d) { return d ? d->subsystem.c_str() : nullptr; }
KELVANE_EXPORT const char* udev_device_get_action(udev_device*) { return nullptr; }
KELVANE_EXPORT udev_device* udev_device_get_parent(udev_device* d) { return d ? d->parent.get() : nullptr; }
KELVANE_EXPORT const char* udev_device_get_property_value(udev_device* d, const char* key) {
    if (!d || !key || std::strcmp(key, "DVB_DEVICE_TYPE") != 0 || d->type.empty()) return nullptr;
    return d->type.c_str();
}
KELVANE_EXPORT const char* udev_device_get_sysattr_value(udev_device*, const char*) { return nullptr; }
// No device comes or goes: the monitor's descriptor never becomes ready.
KELVANE_EXPORT udev_monitor* udev_monitor_new_from_netlink(udev*, const char*) {
    auto monitor = new udev_monitor;
    monitor->fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return monitor;
}
KELVANE_EXPORT int udev_monitor_filter_add_match_subsystem_devtype(udev_monitor*, const char*, const char*) { return 0; }
KELVANE_EXPORT int udev_monitor_enable_receiving(udev_monitor*) { return 0; }
KELVANE_EXPORT int udev_monitor_get_fd(udev_monitor* m) { return m ? m->fd : -1; }
KELVANE_EXPORT udev_device* udev_monitor_receive_device(udev_monitor*) { return nullptr; }
KELVANE_EXPORT udev_monitor* udev_monitor_unref(udev_monitor* m) {
    if (m) {
        Inside inside;
        ::close(m->fd);
        delete m;
    }
    return nullptr;
}
