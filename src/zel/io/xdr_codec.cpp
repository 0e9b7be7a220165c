#include "io/xdr_codec.h"

// The byte swaps of whole arrays vectorize only with a byte shuffle, which
// the baseline x86-64 instruction set lacks: there the loops are built twice
// and the loader picks the AVX2 build on a processor that has it (a mode
// vector then decodes at the speed of memory, not of one swap per value).
#if defined(__x86_64__) && defined(__GNUC__)
#define ZEL_ARRAY_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define ZEL_ARRAY_LOOP
#endif

namespace zel::xdr_codec {

ZEL_ARRAY_LOOP void decode_ints(const unsigned char *bytes, int32_t *values, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    values[i] = std::bit_cast<int32_t>(load_big_endian<uint32_t>(bytes + i * kIntBytes));
}

void decode_chars(const unsigned char *bytes, char *values, std::size_t n) {
  // The low byte of the 4-byte int, as xdr_char keeps it.
  for (std::size_t i = 0; i < n; ++i)
    values[i] = static_cast<char>(load_big_endian<uint32_t>(bytes + i * kCharBytes) & 0xFFu);
}

ZEL_ARRAY_LOOP void decode_doubles(const unsigned char *bytes, double *values, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    values[i] = std::bit_cast<double>(load_big_endian<uint64_t>(bytes + i * kDoubleBytes));
}

ZEL_ARRAY_LOOP void decode_floats_widening(const unsigned char *bytes, double *values, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    values[i] = std::bit_cast<float>(load_big_endian<uint32_t>(bytes + i * kFloatBytes));
}

ZEL_ARRAY_LOOP void encode_ints(const int32_t *values, unsigned char *bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    store_big_endian(std::bit_cast<uint32_t>(values[i]), bytes + i * kIntBytes);
}

void encode_chars(const char *values, unsigned char *bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const int32_t widened = static_cast<signed char>(values[i]);
    store_big_endian(std::bit_cast<uint32_t>(widened), bytes + i * kCharBytes);
  }
}

ZEL_ARRAY_LOOP void encode_doubles(const double *values, unsigned char *bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    store_big_endian(std::bit_cast<uint64_t>(values[i]), bytes + i * kDoubleBytes);
}

ZEL_ARRAY_LOOP void encode_floats_narrowing(const double *values, unsigned char *bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    store_big_endian(std::bit_cast<uint32_t>(static_cast<float>(values[i])), bytes + i * kFloatBytes);
}

void widen_native_floats(const unsigned char *bytes, double *values, std::size_t n) {
  // Last to first: the floats may sit in the front half of `values` itself.
  for (std::size_t i = n; i-- > 0;) {
    float value;
    std::memcpy(&value, bytes + i * sizeof value, sizeof value);
    values[i] = value;
  }
}

void narrow_to_native_floats(const double *values, unsigned char *bytes, std::size_t n) {
  // First to last: `bytes` may be the front of `values` itself.
  for (std::size_t i = 0; i < n; ++i) {
    const float value = static_cast<float>(values[i]);
    std::memcpy(bytes + i * sizeof value, &value, sizeof value);
  }
}

}  // namespace zel::xdr_codec
