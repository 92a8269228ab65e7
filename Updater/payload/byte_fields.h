// The two ways the payload and the version list store values: 32-bit
// little-endian integers and NUL-padded text fields of a fixed size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

inline uint32_t Load32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline void Store32(unsigned char* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The bytes of a field up to its first NUL, and never past its end.
inline std::string FieldText(const unsigned char* field, size_t size) {
  const void* nul = std::memchr(field, 0, size);
  size_t length = nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - field) : size;
  return std::string(reinterpret_cast<const char*>(field), length);
}

// Stores `text` and NUL padding in a field of `size` bytes; false, with nothing
// written, when the text does not leave room for at least one NUL.
inline bool StoreFieldText(unsigned char* field, size_t size, std::string_view text) {
  if (text.size() >= size) return false;
  std::memcpy(field, text.data(), text.size());
  std::memset(field + text.size(), 0, size - text.size());
  return true;
}
