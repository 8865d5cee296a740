#include "data/collation.h"

#include <array>
#include <cstdint>

namespace orvel {
namespace {

// Weight of every byte; upper and lower case of a letter share a weight.
// Weight 0 is never given, so a shorter key that is a prefix sorts first.
struct Weights {
    std::array<uint8_t, 256> w{};
    Weights() {
        uint8_t next = 1;
        auto give = [&](int c) { w[size_t(c)] = next++; };
        // Control characters, then punctuation and symbols in code order.
        for (int c = 0; c < 0x20; ++c)
            give(c);
        for (int c = 0x20; c < 0x80; ++c) {
            const bool alnum =
                (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            if (!alnum)
                give(c);
        }
        for (int c = 0x80; c < 0xC0; ++c) {
            if (c != 0xA8 && c != 0xB8)
                give(c);  // Ё and ё are letters
        }
        for (int c = '0'; c <= '9'; ++c)
            give(c);
        for (int c = 0; c < 26; ++c) {
            w[size_t('A' + c)] = w[size_t('a' + c)] = next++;
        }
        // Cyrillic: А..Я at 0xC0..0xDF, а..я at 0xE0..0xFF; Ё 0xA8, ё 0xB8.
        for (int c = 0; c < 32; ++c) {
            w[size_t(0xC0 + c)] = w[size_t(0xE0 + c)] = next++;
            if (c == 5)
                w[0xA8] = w[0xB8] = next++;  // after Е
        }
    }
};

const Weights kWeights;

}  // namespace

void appendSortKey(std::string& key, std::string_view text, bool inverted) {
    const size_t at = key.size();
    key.resize(at + text.size());
    char* out = key.data() + at;
    const uint8_t flip = inverted ? 0xFF : 0x00;
    for (const char c : text)
        *out++ = char(kWeights.w[static_cast<uint8_t>(c)] ^ flip);
}

}  // namespace orvel
