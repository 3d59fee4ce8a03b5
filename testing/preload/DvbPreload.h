// What the two halves of the preload library share: the mark of the
// symbols it puts in front of the C library's and libudev's, and the guard
// that lets the emulation's own calls through to the C library.
#pragma once

#define KELVANE_EXPORT extern "C" __attribute__((visibility("default")))

namespace kelvane_preload {

// Calls the emulation makes itself (on its event descriptors) go straight
// to the C library.
inline thread_local bool t_Inside = false;

class Inside {
public:
    Inside() : m_Was(t_Inside) { t_Inside = true; }
    ~Inside() { t_Inside = m_Was; }
    Inside(const Inside&) = delete;
    Inside& operator=(const Inside&) = delete;

private:
    bool m_Was;
};

}  // namespace kelvane_preload
