#include "io/xdr_codec.h"

#include <algorithm>

namespace zel::xdr_codec {
namespace {

// The byte swaps of whole arrays vectorize only with a byte shuffle, which
// the baseline x86-64 instruction set lacks: there each loop is built a
// second time for AVX2 and run so on a processor that has it (a mode vector
// then decodes at the speed of memory, not of one swap per value). The
// choice is made by an ordinary test at the first call, not by the dynamic
// loader (an indirect function), whose resolvers run before an instrumented
// program's runtime is ready.
#if defined(__x86_64__) && defined(__GNUC__)
template <auto Loop, class... Args>
__attribute__((target("avx2"))) void run_with_avx2(Args... args) {
  Loop(args...);
}

bool has_avx2() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
}

template <auto Loop, class... Args>
void run_loop(Args... args) {
  if (has_avx2())
    run_with_avx2<Loop>(args...);
  else
    Loop(args...);
}
#else
template <auto Loop, class... Args>
void run_loop(Args... args) {
  Loop(args...);
}
#endif

[[gnu::always_inline]] inline void decode_ints_loop(const unsigned char *bytes, int32_t *values, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    values[i] = std::bit_cast<int32_t>(load_big_endian<uint32_t>(bytes + i * kIntBytes));
}

[[gnu::always_inline]] inline void decode_doubles_loop(const unsigned char *bytes, double *values, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    values[i] = std::bit_cast<double>(load_big_endian<uint64_t>(bytes + i * kDoubleBytes));
}

[[gnu::always_inline]] inline void decode_floats_widening_loop(const unsigned char *bytes, double *values,
                                                               std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    values[i] = std::bit_cast<float>(load_big_endian<uint32_t>(bytes + i * kFloatBytes));
}

[[gnu::always_inline]] inline void encode_ints_loop(const int32_t *values, unsigned char *bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) store_big_endian(std::bit_cast<uint32_t>(values[i]), bytes + i * kIntBytes);
}

[[gnu::always_inline]] inline void encode_doubles_loop(const double *values, unsigned char *bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) store_big_endian(std::bit_cast<uint64_t>(values[i]), bytes + i * kDoubleBytes);
}

[[gnu::always_inline]] inline void encode_floats_narrowing_loop(const double *values, unsigned char *bytes,
                                                                std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    store_big_endian(std::bit_cast<uint32_t>(static_cast<float>(values[i])), bytes + i * kFloatBytes);
}

// Records of six doubles in a file of either byte order, split as they are
// loaded.
template <bool kBigEndian>
[[gnu::always_inline]] inline void split_doubles_loop(const unsigned char *bytes, double *first, double *second,
                                                      std::size_t records) {
  auto load = [](const unsigned char *at) {
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    if constexpr (kBigEndian && std::endian::native == std::endian::little) word = byte_swap(word);
    return std::bit_cast<double>(word);
  };
  for (std::size_t r = 0; r < records; ++r) {
    const unsigned char *record = bytes + r * 6 * kDoubleBytes;
    for (std::size_t c = 0; c < 3; ++c) {
      first[3 * r + c] = load(record + c * kDoubleBytes);
      second[3 * r + c] = load(record + (3 + c) * kDoubleBytes);
    }
  }
}

// Native floats into separate memory, first to first: unlike the in-place
// safe widen_native_floats, this order vectorizes.
[[gnu::always_inline]] inline void widen_separate_native_floats_loop(const unsigned char *bytes, double *values,
                                                                     std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    float value;
    std::memcpy(&value, bytes + i * sizeof value, sizeof value);
    values[i] = value;
  }
}

void widen_separate_native_floats(const unsigned char *bytes, double *values, std::size_t n) {
  run_loop<widen_separate_native_floats_loop>(bytes, values, n);
}

// Floats split fastest a run at a time: the widening loop over a run
// vectorizes where a loop that widens and splits at once does not, and a
// run small enough for the first-level cache is split from there.
template <void (*Widen)(const unsigned char *, double *, std::size_t)>
void widen_then_split(const unsigned char *bytes, double *first, double *second, std::size_t records) {
  constexpr std::size_t kRunRecords = 256;
  double run[6 * kRunRecords];
  for (std::size_t done = 0; done < records; done += kRunRecords) {
    const std::size_t n = std::min(kRunRecords, records - done);
    Widen(bytes + done * 6 * kFloatBytes, run, 6 * n);
    for (std::size_t r = 0; r < n; ++r) {
      std::memcpy(first + 3 * (done + r), run + 6 * r, 3 * sizeof(double));
      std::memcpy(second + 3 * (done + r), run + 6 * r + 3, 3 * sizeof(double));
    }
  }
}

}  // namespace

void decode_ints(const unsigned char *bytes, int32_t *values, std::size_t n) {
  run_loop<decode_ints_loop>(bytes, values, n);
}

void decode_chars(const unsigned char *bytes, char *values, std::size_t n) {
  // The low byte of the 4-byte int, as xdr_char keeps it.
  for (std::size_t i = 0; i < n; ++i)
    values[i] = static_cast<char>(load_big_endian<uint32_t>(bytes + i * kCharBytes) & 0xFFu);
}

void decode_doubles(const unsigned char *bytes, double *values, std::size_t n) {
  run_loop<decode_doubles_loop>(bytes, values, n);
}

void decode_floats_widening(const unsigned char *bytes, double *values, std::size_t n) {
  run_loop<decode_floats_widening_loop>(bytes, values, n);
}

void encode_ints(const int32_t *values, unsigned char *bytes, std::size_t n) {
  run_loop<encode_ints_loop>(values, bytes, n);
}

void encode_chars(const char *values, unsigned char *bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const int32_t widened = static_cast<signed char>(values[i]);
    store_big_endian(std::bit_cast<uint32_t>(widened), bytes + i * kCharBytes);
  }
}

void encode_doubles(const double *values, unsigned char *bytes, std::size_t n) {
  run_loop<encode_doubles_loop>(values, bytes, n);
}

void encode_floats_narrowing(const double *values, unsigned char *bytes, std::size_t n) {
  run_loop<encode_floats_narrowing_loop>(values, bytes, n);
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

void decode_double_halves(const unsigned char *bytes, double *first, double *second, std::size_t records) {
  run_loop<split_doubles_loop<true>>(bytes, first, second, records);
}

void split_native_double_halves(const unsigned char *bytes, double *first, double *second, std::size_t records) {
  run_loop<split_doubles_loop<false>>(bytes, first, second, records);
}

void decode_float_halves_widening(const unsigned char *bytes, double *first, double *second, std::size_t records) {
  widen_then_split<decode_floats_widening>(bytes, first, second, records);
}

void widen_native_float_halves(const unsigned char *bytes, double *first, double *second, std::size_t records) {
  widen_then_split<widen_separate_native_floats>(bytes, first, second, records);
}

}  // namespace zel::xdr_codec
