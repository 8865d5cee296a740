#pragma once
// The field cipher of the operators file. Every field of a record is
// enciphered on its own, in place, so that a reader deciphers exactly the
// bytes of one field and never touches its neighbours. The cipher only keeps
// names and rights from being read at a glance; passwords written by
// orvel-operators are protected by a one-way hash instead (see
// core/operators_file.h).
//
// Plain C++ without Qt, so that the tool, the program and the fuzz target
// share it unchanged.

namespace orvel::util {

inline constexpr int kDecipher = 1;
inline constexpr int kEncipher = 0;

// Deciphers (mode kDecipher) or enciphers (mode kEncipher) `length` bytes at
// `field` in place. Returns 0, or -1 (nothing changed) for a null field, a
// negative length or an unknown mode.
int Decrypt(void* field, int length, int mode);

// The encoder: the inverse of Decrypt(field, length, kDecipher).
inline int Encrypt(void* field, int length) {
    return Decrypt(field, length, kEncipher);
}

}  // namespace orvel::util
