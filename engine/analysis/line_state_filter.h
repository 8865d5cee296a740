// CLineStateFilter: turns the call-progress detector's raw class into the
// line state reported to the call algorithm. Its table depends on whether a
// dial tone is awaited (mode 1) or a number has been dialled (mode 2): after
// dialling a steady tone is a tone or ring-back, never a dial tone, and
// ring-back reports alternate between tone and pause.
#pragma once

#include <array>
#include <cstdint>

namespace orvel {

class CLineStateFilter {
public:
    static constexpr uint32_t kStates = 8;
    enum Mode : uint32_t { kKeepMode = 0, kAwaitDialTone = 1, kDialled = 2 };

    // 1 or 2 installs that mode's table and starts again from silence;
    // anything else changes nothing.
    void setMode(uint32_t mode);
    void reset() { state_ = 0; }
    // The new line state for a raw class; a class of 8 or more changes nothing.
    uint32_t filter(uint32_t rawClass);

    uint32_t state() const { return state_; }
    uint32_t mode() const { return mode_; }

private:
    // Next state per current state and input; -1 keeps the current state.
    using Table = std::array<std::array<int8_t, kStates>, kStates>;
    static const Table kAwaitDialToneTable;
    static const Table kDialledTable;

    const Table* table_ = &kDialledTable;
    uint32_t mode_ = kDialled;
    uint32_t state_ = 0;  // LS_SILENCE
};

}  // namespace orvel
