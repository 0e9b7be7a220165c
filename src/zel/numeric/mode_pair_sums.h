// Sums over a pair of mode vectors, each six values per position:
// translations (part 0) then rotations (part 1), kept apart. The
// comparison uses them to find how far a base mode lies from the span of
// the new file's modes.
#ifndef ZEL_MODE_PAIR_SUMS_H
#define ZEL_MODE_PAIR_SUMS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zel {

using PartPair = std::array<double, 2>;

// a . b per part.
PartPair dots(const double *a, const double *b, std::size_t positions);

// numerator / denominator per part; 0 where the denominator is 0.
PartPair ratio_or_zero(PartPair numerator, PartPair denominator);

// (b . v) / (b . b) per part; 0 for a part of b of zero length.
PartPair projection_factors(const double *b, PartPair b_length, const double *v, std::size_t positions);

// v -= factor b, per part.
void subtract(double *v, const double *b, PartPair factor, std::size_t positions);

// |v - factor b|^2 per part, without writing v. Taken directly rather than
// as |v|^2 - (b . v)^2 / |b|^2, which loses every digit when v is b.
PartPair remainder_squares(const double *v, const double *b, PartPair factor, std::size_t positions);

// What a gathered mode r tells of itself and of a mode b, per part; sign
// is +1 or -1, the side of b that r was guessed to lie on.
struct GatherSums {
  PartPair base_length;   // |r|^2
  PartPair first_length;  // |b|^2
  PartPair along_first;   // b . r
  PartPair sign;
  PartPair off_first;  // |r - sign b|^2
};

// r, the records values[map[p]] for p in order, stored into mode unless
// that is null, with its sums against b (one record per p) taken on the
// way.
GatherSums gather_with_sums(const double *values, const std::vector<int32_t> &map, const double *b, double *mode);

// |r - a b|^2 with a = (b . r) / |b|^2 from the gather's sums, when r is b
// or -b but for a part orthogonal to it, as equal modes are (they give
// exactly 0). Empty otherwise: remainder_squares takes it without
// cancelling.
std::optional<PartPair> expanded_remainder(const GatherSums &sums);

}  // namespace zel

#endif  // ZEL_MODE_PAIR_SUMS_H
