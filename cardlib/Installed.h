// The card/ declarations take no card or board argument, so the stand-ins
// reach "the one installed now". An object installs itself for its lifetime;
// when it goes, the one installed before it comes back.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace cardlib {

template <class T>
class Installed {
public:
    Installed(const Installed&) = delete;
    Installed& operator=(const Installed&) = delete;

    static bool IsInstalled() { return s_Current != nullptr; }

protected:
    Installed() : m_Previous(s_Current) { s_Current = static_cast<T*>(this); }
    ~Installed() {
        // Usually the newest goes first; anything else is unlinked where it sits.
        if (s_Current == this) {
            s_Current = m_Previous;
            return;
        }
        for (Installed* t = s_Current; t; t = t->m_Previous) {
            if (t->m_Previous == this) {
                t->m_Previous = m_Previous;
                return;
            }
        }
    }

    // `what` names the missing object in the message of a program that
    // calls the library without having made one.
    static T& CurrentOrDie(const char* what) {
        if (!s_Current) {
            std::fprintf(stderr, "kelvane: no %s installed: create a cardlib::%s first\n", what, what);
            std::abort();
        }
        return *s_Current;
    }

private:
    T* m_Previous;
    static inline T* s_Current = nullptr;
};

}  // namespace cardlib
