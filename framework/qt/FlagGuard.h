#pragma once

namespace fw {

// Sets a flag for the lifetime of a scope, so that what a mirror does to a
// widget is not taken for the user's doing.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : m_Flag(flag), m_Old(flag) { m_Flag = true; }
    ~FlagGuard() { m_Flag = m_Old; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& m_Flag;
    bool m_Old;
};

}  // namespace fw
