#pragma once

// Sets a flag for the lifetime of a scope and gives it back its previous value on
// every way out, so guarded steps may nest.
class ScopedFlag {
public:
    explicit ScopedFlag(bool& flag) : m_flag(flag), m_previous(flag) { m_flag = true; }
    ~ScopedFlag() { m_flag = m_previous; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

private:
    bool& m_flag;
    bool m_previous;
};
