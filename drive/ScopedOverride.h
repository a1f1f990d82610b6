// Puts another implementation of `Interface` in place of the system's for the
// lifetime of this object (tests); nested ones restore each other in turn.
// The one slot of each interface lives here, so every seam overrides alike.
#pragma once

template <typename Interface>
class ScopedOverride {
public:
    explicit ScopedOverride(Interface& replacement) : m_pPrevious(Slot()) { Slot() = &replacement; }
    ~ScopedOverride() { Slot() = m_pPrevious; }
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

    // The implementation in place: the innermost override's, else `real`.
    static Interface& Current(Interface& real) { return Slot() != nullptr ? *Slot() : real; }

private:
    static Interface*& Slot()
    {
        static Interface* s_pOverride = nullptr;
        return s_pOverride;
    }

    Interface* m_pPrevious;
};
