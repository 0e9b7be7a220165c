#include "numeric/mode_pair_sums.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zel {

namespace {

// The six values of a position as three pairs of lanes. Sums kept per
// component stay in registers two at a time, where the compiler's own
// vectorizer gives up on three sums at once; they fold into the parts
// (components 0-2 and 3-5) at the end.
using LanePair = double __attribute__((vector_size(16)));
struct Six {
  LanePair lanes[3];
};

Six load_six(const double *values) {
  Six six;
  std::memcpy(&six, values, sizeof six);
  return six;
}

// Factor f0 on components 0-2, f1 on 3-5.
Six part_factors(PartPair factor) {
  Six six;
  six.lanes[0] = LanePair{factor[0], factor[0]};
  six.lanes[1] = LanePair{factor[0], factor[1]};
  six.lanes[2] = LanePair{factor[1], factor[1]};
  return six;
}

PartPair fold(const Six &sums) {
  const LanePair *l = sums.lanes;
  return {l[0][0] + l[0][1] + l[1][0], l[1][1] + l[2][0] + l[2][1]};
}

// The side of b that r lies on per part, guessed from the first nodes.
PartPair expected_sign(const double *values, const std::vector<int32_t> &map, const double *b) {
  PartPair product{};
  for (std::size_t p = 0; p < std::min<std::size_t>(map.size(), 64); ++p, b += 6) {
    const double *r = values + 6 * static_cast<std::size_t>(map[p]);
    for (int k = 0; k < 6; ++k) product[k / 3] += r[k] * b[k];
  }
  return {product[0] < 0.0 ? -1.0 : 1.0, product[1] < 0.0 ? -1.0 : 1.0};
}

// How far a = (b . r) / |b|^2 may lie from the guessed sign for the
// remainder to be taken from the gather's sums: the cancellation then
// costs |delta|^2 at most about 2^-78, a delta of 2^-39.
constexpr double kNearSign = 0x1p-26;

}  // namespace

PartPair dots(const double *a, const double *b, std::size_t positions) {
  Six sum{};
  for (std::size_t p = 0; p < positions; ++p, a += 6, b += 6) {
    const Six x = load_six(a), y = load_six(b);
    for (int k = 0; k < 3; ++k) sum.lanes[k] += x.lanes[k] * y.lanes[k];
  }
  return fold(sum);
}

PartPair ratio_or_zero(PartPair numerator, PartPair denominator) {
  PartPair ratio{};
  for (int part = 0; part < 2; ++part) ratio[part] = denominator[part] != 0.0 ? numerator[part] / denominator[part] : 0.0;
  return ratio;
}

PartPair projection_factors(const double *b, PartPair b_length, const double *v, std::size_t positions) {
  return ratio_or_zero(dots(b, v, positions), b_length);
}

void subtract(double *v, const double *b, PartPair factor, std::size_t positions) {
  const Six f = part_factors(factor);
  for (std::size_t p = 0; p < positions; ++p, v += 6, b += 6) {
    Six x = load_six(v);
    const Six y = load_six(b);
    for (int k = 0; k < 3; ++k) x.lanes[k] -= f.lanes[k] * y.lanes[k];
    std::memcpy(v, &x, sizeof x);
  }
}

PartPair remainder_squares(const double *v, const double *b, PartPair factor, std::size_t positions) {
  const Six f = part_factors(factor);
  Six sum{};
  for (std::size_t p = 0; p < positions; ++p, v += 6, b += 6) {
    const Six x = load_six(v), y = load_six(b);
    for (int k = 0; k < 3; ++k) {
      const LanePair r = x.lanes[k] - f.lanes[k] * y.lanes[k];
      sum.lanes[k] += r * r;
    }
  }
  return fold(sum);
}

GatherSums gather_with_sums(const double *values, const std::vector<int32_t> &map, const double *b, double *mode) {
  GatherSums sums{};
  sums.sign = expected_sign(values, map, b);
  const Six sign = part_factors(sums.sign);
  // The records come scattered over values: fetching a few ahead keeps
  // the memory busy.
  constexpr std::size_t kAhead = 64;
  Six base_length{}, first_length{}, along_first{}, off_first{};
  for (std::size_t p = 0; p < map.size(); ++p, b += 6) {
    if (p + kAhead < map.size()) __builtin_prefetch(values + 6 * static_cast<std::size_t>(map[p + kAhead]));
    const Six x = load_six(values + 6 * static_cast<std::size_t>(map[p])), y = load_six(b);
    if (mode != nullptr) std::memcpy(mode + 6 * p, &x, sizeof x);
    for (int k = 0; k < 3; ++k) {
      const LanePair d = x.lanes[k] - sign.lanes[k] * y.lanes[k];
      base_length.lanes[k] += x.lanes[k] * x.lanes[k];
      first_length.lanes[k] += y.lanes[k] * y.lanes[k];
      along_first.lanes[k] += y.lanes[k] * x.lanes[k];
      off_first.lanes[k] += d * d;
    }
  }
  sums.base_length = fold(base_length);
  sums.first_length = fold(first_length);
  sums.along_first = fold(along_first);
  sums.off_first = fold(off_first);
  return sums;
}

std::optional<PartPair> expanded_remainder(const GatherSums &sums) {
  PartPair remainder{};
  for (int part = 0; part < 2; ++part) {
    const double bb = sums.first_length[part];
    if (bb == 0.0) {
      remainder[part] = sums.base_length[part];
      continue;
    }
    // |d|^2 - (d . b)^2 / |b|^2 for d = r - sign b, exact but for rounding.
    const double along = sums.along_first[part] - sums.sign[part] * bb;  // d . b
    // Written so that a NaN also takes the second pass, which keeps it.
    if (!(std::fabs(along / bb) <= kNearSign)) return std::nullopt;
    remainder[part] = std::max(0.0, sums.off_first[part] - along * along / bb);
  }
  return remainder;
}

}  // namespace zel
