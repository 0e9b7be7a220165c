// Byte order of the portable (XDR) encoding: every value big-endian, chars
// widened to 4-byte ints. These loops turn whole arrays into bytes and back
// in one pass, so a mode vector of a million values costs one read and one
// sweep instead of a library call per value. Their output is byte-identical
// to libtirpc's xdr_int / xdr_float / xdr_double / xdr_char, NaN payloads
// and signed zeros included (values are moved as bit patterns, never
// through arithmetic, except for the float <-> double conversions, which
// libtirpc leaves to the caller as well).
//
// Values are moved with memcpy and std::bit_cast only: a byte buffer is
// never read through a pointer of another type.
#ifndef ZEL_XDR_CODEC_H
#define ZEL_XDR_CODEC_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zel::xdr_codec {

// Bytes one value takes in the portable encoding.
constexpr std::size_t kIntBytes = 4;
constexpr std::size_t kCharBytes = 4;
constexpr std::size_t kFloatBytes = 4;
constexpr std::size_t kDoubleBytes = 8;

constexpr uint32_t byte_swap(uint32_t value) { return __builtin_bswap32(value); }
constexpr uint64_t byte_swap(uint64_t value) { return __builtin_bswap64(value); }

// Big-endian bytes <-> host value; a no-op swap on a big-endian host.
template <class Word>
inline Word load_big_endian(const unsigned char *bytes) {
  Word word;
  std::memcpy(&word, bytes, sizeof word);
  if constexpr (std::endian::native == std::endian::little) word = byte_swap(word);
  return word;
}

template <class Word>
inline void store_big_endian(Word word, unsigned char *bytes) {
  if constexpr (std::endian::native == std::endian::little) word = byte_swap(word);
  std::memcpy(bytes, &word, sizeof word);
}

// Decoding: `n` values from `bytes` (n * kXxxBytes of them) into `values`.
void decode_ints(const unsigned char *bytes, int32_t *values, std::size_t n);
void decode_chars(const unsigned char *bytes, char *values, std::size_t n);
void decode_doubles(const unsigned char *bytes, double *values, std::size_t n);
// binary32 on file, widened to double in the same pass.
void decode_floats_widening(const unsigned char *bytes, double *values, std::size_t n);

// Encoding: `n` values into n * kXxxBytes bytes.
void encode_ints(const int32_t *values, unsigned char *bytes, std::size_t n);
// A char goes out sign-extended, as xdr_char does with a signed char.
void encode_chars(const char *values, unsigned char *bytes, std::size_t n);
void encode_doubles(const double *values, unsigned char *bytes, std::size_t n);
// Narrowed to binary32 in the same pass (round to nearest, as a C cast).
void encode_floats_narrowing(const double *values, unsigned char *bytes, std::size_t n);

// Native single precision: machine-order binary32 bytes <-> doubles. Both
// are safe in place (the floats in the front half of the doubles' memory).
void widen_native_floats(const unsigned char *bytes, double *values, std::size_t n);
void narrow_to_native_floats(const double *values, unsigned char *bytes, std::size_t n);

// Records of six reals (a node's translations and rotations, say) split as
// they are decoded: values 0-2 of each of the `records` records go to
// `first`, values 3-5 to `second`, three per record. One pass, so a reader
// that wants one half now and the other soon touches the bytes once.
void decode_double_halves(const unsigned char *bytes, double *first, double *second, std::size_t records);
void decode_float_halves_widening(const unsigned char *bytes, double *first, double *second, std::size_t records);
void split_native_double_halves(const unsigned char *bytes, double *first, double *second, std::size_t records);
void widen_native_float_halves(const unsigned char *bytes, double *first, double *second, std::size_t records);

}  // namespace zel::xdr_codec

#endif  // ZEL_XDR_CODEC_H
