// What the Linux DVB backend's parts share for their system calls.
#pragma once

#include <linux/dvb/frontend.h>

#include <cstring>
#include <string>

namespace cardlib::linuxdvb {

inline std::string ErrorText(int error) { return std::strerror(error); }

inline dtv_property Property(uint32_t cmd, uint32_t data = 0) {
    dtv_property p;
    std::memset(&p, 0, sizeof p);
    p.cmd = cmd;
    p.u.data = data;
    return p;
}

}  // namespace cardlib::linuxdvb
