#include "util/decrypt.h"

#include <cstdint>

namespace orvel::util {
namespace {

// A keystream that depends on the field's length, so that equal texts in
// fields of different sizes look different on disk.
class KeyStream {
public:
    explicit KeyStream(int length) : state_(0x4F52u ^ (std::uint32_t(length) * 0x9E3779B1u)) {}
    std::uint8_t next() {
        state_ = state_ * 1664525u + 1013904223u;  // numerical-recipes LCG
        return std::uint8_t(state_ >> 24);
    }

private:
    std::uint32_t state_;
};

}  // namespace

// Each byte is mixed with the keystream and with the previous enciphered
// byte, so a change early in a field spreads to the rest of it.
int Decrypt(void* field, int length, int mode) {
    if (!field || length < 0 || (mode != kDecipher && mode != kEncipher))
        return -1;
    auto* p = static_cast<std::uint8_t*>(field);
    KeyStream key(length);
    std::uint8_t previous = 0xA5;  // chaining value before the first byte
    for (int i = 0; i < length; ++i) {
        const std::uint8_t k = key.next();
        if (mode == kEncipher) {
            p[i] = std::uint8_t((p[i] ^ k) + previous);
            previous = p[i];
        } else {
            const std::uint8_t c = p[i];
            p[i] = std::uint8_t((c - previous) ^ k);
            previous = c;
        }
    }
    return 0;
}

}  // namespace orvel::util
