// File comparison: whether a new ZEL file is equivalent to a base file,
// block by block within one relative tolerance, with one report line per
// check on standard output.
//
// The comparison survives what legitimately differs between two runs of a
// solver: other units (both bodies go to SI first), renumbered, reordered
// or fewer nodes (node maps by ID), sign flips and rotations of modes with
// repeated eigenvalues (a mode passes when it lies in the span of its
// group), and blocks one file lacks.
//
// The (Exit) cases stop the comparison, not the process: a simulator that
// compares results in-process must survive a bad file. Everything the
// comparison builds lives in one Comparison record, released on every path.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "body/database.h"
#include "body/mode_cache.h"
#include "format/block_table.h"
#include "numeric/mode_pair_sums.h"
#include "platform/messages.h"
#include "zel.h"

// The settings callers may set. The library never writes them, so a host
// that defines variables of these names keeps its values.
extern "C" {
ZEL_API int info = 1;
ZEL_API int mode = 0;
}

namespace zel {
namespace {

constexpr char kModule[] = "zelcompare";

// Report levels: a line is printed when the verbosity reaches its level.
enum Level { kFailure = 0, kRemark = 1, kPassing = 2 };

// Thrown by an (Exit) case once its lines are printed.
struct Stopped {};

// The list capacity the entry lists grow by.
constexpr int kGeneralizedListStep = 100;

const char *const kSetNames[kValueSetCount] = {"shape", "stress", "strain"};

struct Comparison {
  Database *fresh;  // the new file
  Database *base;
  int verbosity;
  double tolerance;
  bool missing_passes;  // a check whose block one file lacks passes
  // Per node index of the new file, the base node index; per set position
  // of the new file, the base set position.
  std::vector<int32_t> node_map;
  std::array<std::vector<int32_t>, kValueSetCount> set_map;
  std::vector<double> base_eigenvalues;  // of the common modes

  void say(int level, const char *format, ...) const __attribute__((format(printf, 3, 4))) {
    if (verbosity < level) return;
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
  }

  // NaN never passes.
  bool within(double delta) const { return delta <= tolerance; }

  // "  Pass <name>  Delta: %e" or "->Fail <name>  Delta: %e"; 0 or -1.
  int judge(const std::string &name, double delta, int failure_level = kFailure,
            const char *delta_format = "%e") const {
    const bool passed = within(delta);
    const std::string line =
        (passed ? "  Pass " : "->Fail ") + name + "  Delta: " + delta_format + "\n";
    say(passed ? kPassing : failure_level, line.c_str(), delta);
    return passed ? 0 : -1;
  }

  int common_modes() const { return std::min(fresh->mode_count(), base->mode_count()); }

  bool present(Database *db, int block_index) const { return ZEL_Exists(db, block_index) != 0; }
  bool present_in_both(int block_index) const { return present(fresh, block_index) && present(base, block_index); }
  // With `mode` 1 a check of a block that either file lacks is noted and passed.
  bool skipped_as_missing(int block_index, const char *prefix = "") const {
    if (!missing_passes || present_in_both(block_index)) return false;
    say(kRemark, "->Note %sblock_%d__%s not checked\n", prefix, block_index + 1, kBlocks[block_index].name);
    return true;
  }
};

// |difference| / |scale|, the plain difference when the scale is 0.
double relative(double difference, double scale) {
  const double magnitude = std::fabs(scale);
  return magnitude > 0.0 ? std::fabs(difference) / magnitude : std::fabs(difference);
}

// Largest |new - base| / max(1, largest |base|) over the pairs added; a
// NaN difference wins.
struct GenericDelta {
  double largest_difference = 0.0;
  double largest_base = 0.0;

  void add(double fresh, double base) {
    const double difference = std::fabs(fresh - base);
    if (std::isnan(difference) || difference > largest_difference) largest_difference = difference;
    largest_base = std::max(largest_base, std::fabs(base));
  }
  void add(const double *fresh, const double *base, int count) {
    for (int k = 0; k < count; ++k) add(fresh[k], base[k]);
  }
  double value() const { return largest_difference / std::max(1.0, largest_base); }
};

// The generic delta of the pairs `pair(k, &fresh, &base)` gives for
// k < count.
template <class Pair>
double generic_delta(int64_t count, Pair &&pair) {
  GenericDelta delta;
  for (int64_t k = 0; k < count; ++k) {
    double fresh = 0.0, base = 0.0;
    pair(k, &fresh, &base);
    delta.add(fresh, base);
  }
  return delta.value();
}

double square_von_mises(const double *v) {
  const double xx = v[0], yy = v[1], zz = v[2], xy = v[3], xz = v[4], yz = v[5];
  return xx * xx + yy * yy + zz * zz - xx * yy - yy * zz - zz * xx + 3.0 * (xy * xy + xz * xz + yz * yz);
}

// ------------------------------------------------------------ set-up

// Already-SI bodies are left alone: converting again would reset their
// factors.
void convert_to_si(const Comparison &c, Database *db, const char *which) {
  const bool in_si = ZEL_Mass2Kilogram(db, 1.0) == 1.0 && ZEL_Length2Meter(db, 1.0) == 1.0 &&
                     ZEL_Time2Second(db, 1.0) == 1.0 && ZEL_Force2Newton(db, 1.0) == 1.0;
  if (in_si || ZEL_SetUnits(db, "kg", "m", "s", "n")) return;
  c.say(kFailure, "->Fail Units of the %s file cannot be set to SI (Exit)\n\n", which);
  throw Stopped{};
}

// Base position of every ID of a set (set 0: node index), hashed.
std::unordered_map<int32_t, int32_t> positions_by_id(Database *db, int set) {
  std::unordered_map<int32_t, int32_t> positions;
  const int32_t count = ZEL_ModeNodeCount(db, set);
  positions.reserve(static_cast<std::size_t>(count));
  for (int32_t p = 0; p < count; ++p) positions.emplace(ZEL_ModeNodeID(db, set, p), p);
  return positions;
}

constexpr int kValueSetBlock[kValueSetCount] = {kModeShapesBlock, kModalStressBlock, kModalStrainBlock};

// Stresses or strains that one file lacks are only warned about by their
// checks; a set is mapped when both files hold it.
bool set_in_both(const Comparison &c, int set) { return c.present_in_both(kValueSetBlock[set]); }

// Set-0 positions are node indices, so the node map serves set 0 for the
// base nodes that carry mode shapes.
void build_set_map(Comparison &c, int set) {
  c.say(kPassing, "->Building node map for %s modes. \n", kSetNames[set]);
  const auto base_positions =
      set == kModeShapeSet ? std::unordered_map<int32_t, int32_t>{} : positions_by_id(c.base, set);
  const int32_t base_count = ZEL_ModeNodeCount(c.base, set);
  std::vector<int32_t> &map = c.set_map[static_cast<std::size_t>(set)];
  map.resize(static_cast<std::size_t>(ZEL_ModeNodeCount(c.fresh, set)));
  for (std::size_t p = 0; p < map.size(); ++p) {
    int32_t position = -1;
    const int32_t id = ZEL_ModeNodeID(c.fresh, set, static_cast<int>(p));
    if (set == kModeShapeSet) {
      position = c.node_map[p] < base_count ? c.node_map[p] : -1;
    } else if (const auto found = base_positions.find(id); found != base_positions.end()) {
      position = found->second;
    }
    if (position < 0) {
      c.say(kFailure, "->Fail Node %d does not exist for %s modes in base file.\n", id, kSetNames[set]);
      c.say(kFailure, "->Try transposing input ZELs. (Exit)\n\n");
      throw Stopped{};
    }
    map[p] = position;
  }
}

void build_node_maps(Comparison &c) {
  std::unordered_map<int32_t, int32_t> base_nodes;
  base_nodes.reserve(static_cast<std::size_t>(c.base->node_count()));
  for (int32_t n = 0; n < c.base->node_count(); ++n) base_nodes.emplace(ZEL_NodeID(c.base, n), n);
  c.node_map.resize(static_cast<std::size_t>(c.fresh->node_count()));
  for (int32_t n = 0; n < c.fresh->node_count(); ++n) {
    const auto found = base_nodes.find(ZEL_NodeID(c.fresh, n));
    if (found == base_nodes.end()) {
      c.say(kFailure, "->Fail Node %d does not exist in base file (Exit)\n\n", ZEL_NodeID(c.fresh, n));
      throw Stopped{};
    }
    c.node_map[static_cast<std::size_t>(n)] = found->second;
  }
  for (int set = 0; set < kValueSetCount; ++set)
    if (set == kModeShapeSet || set_in_both(c, set)) build_set_map(c, set);
}

// A mode that cannot be read stops the comparison: taken as zeros it
// would let two different files pass as equivalent.
[[noreturn]] void stop_unreadable(const Comparison &c, Database *db, const std::string &what) {
  c.say(kFailure, "->Fail Cannot read %s of the %s file (Exit)\n\n", what.c_str(), db == c.base ? "base" : "new");
  throw Stopped{};
}

// The values of mode index `index` of a set; null only for a set without
// nodes.
const double *mode_values(const Comparison &c, Database *db, int index, int set) {
  const double *values = LoadCachedModeIndex(db, index, set);
  if (values == nullptr && ZEL_ModeNodeCount(db, set) > 0)
    stop_unreadable(c, db, std::string(kSetNames[set]) + " mode #" + std::to_string(ZEL_ModeNumber(db, index)));
  return values;
}

// ------------------------------------------------------------ checks 1-4

int check_version(const Comparison &c) {
  const int fresh = ZEL_Version(c.fresh), base = ZEL_Version(c.base);
  if (fresh != base)
    c.say(kRemark, "->Warning Version new: %4.1f base: %4.1f\n", fresh / 10.0, base / 10.0);
  else
    c.say(kPassing, "  Pass Version\n");
  return 0;
}

// A differing title or comment is a remark; a differing input file type
// means another solver produced the file, a failure.
int check_header(const Comparison &c) {
  struct Texts {
    char title[128], date[32], file[128], type[16], comment[3][80];
  } fresh{}, base{};
  for (auto [db, texts] : {std::pair{c.fresh, &fresh}, std::pair{c.base, &base}})
    ZEL_Header(db, texts->title, texts->date, texts->file, texts->type, texts->comment[0], texts->comment[1],
               texts->comment[2]);
  const auto same = [](const char *a, const char *b, std::size_t n) { return std::strncmp(a, b, n) == 0; };
  c.say(same(fresh.title, base.title, 128) ? kPassing : kRemark,
        same(fresh.title, base.title, 128) ? "  Pass Title\n" : "->Note Title\n");
  const bool same_type = same(fresh.type, base.type, 16);
  c.say(same_type ? kPassing : kFailure, same_type ? "  Pass InputFileType\n" : "->Fail InputFileType\n");
  bool same_comments = true;
  for (int k = 0; k < 3; ++k) same_comments = same_comments && same(fresh.comment[k], base.comment[k], 80);
  c.say(same_comments ? kPassing : kRemark, same_comments ? "  Pass Comment\n" : "->Note Comment\n");
  return same_type ? 0 : -1;
}

int check_blocks(const Comparison &c) {
  for (int b = kFirstOptionalBlock; b < kBlockCount; ++b) {
    const int fresh = c.present(c.fresh, b), base = c.present(c.base, b);
    if (fresh != base)
      c.say(kRemark, "->Note block %d %s: exists new: %d  exists base: %d\n", b + 1, kBlocks[b].name, fresh, base);
  }
  for (int b : {kCoordinatesBlock, kEigenvaluesBlock, kModeShapesBlock})
    if (!c.present_in_both(b)) {
      c.say(kFailure, "->Fail no %s (Exit)\n\n", kBlocks[b].name);
      throw Stopped{};
    }
  return 0;
}

int check_nodes(const Comparison &c) {
  const int fresh = c.fresh->node_count(), base = c.base->node_count();
  if (base < fresh) {
    c.say(kFailure, "->Fail NodeCount base: %d < new: %d  (Exit)\n\n", base, fresh);
    throw Stopped{};
  }
  if (base != fresh)
    c.say(kRemark, "->Warning NodeCount base: %d  new: %d\n", base, fresh);
  else
    c.say(kPassing, "  Pass NodeCount: %d\n", fresh);
  GenericDelta delta;
  for (int n = 0; n < fresh; ++n) {
    double xyz_fresh[3], xyz_base[3];
    ZEL_NodeCoordinates(c.fresh, n, xyz_fresh);
    ZEL_NodeCoordinates(c.base, c.node_map[static_cast<std::size_t>(n)], xyz_base);
    delta.add(xyz_fresh, xyz_base, 3);
  }
  return c.judge("NodeCoordinates", delta.value());
}

// ------------------------------------------------------------ check 5

int check_global_properties(const Comparison &c) {
  if (c.skipped_as_missing(kGlobalPropertiesBlock)) return 0;
  double mass[2], inertia[2][9], cm[2][3];
  ZEL_TotalMassInertia(c.fresh, &mass[0], inertia[0], cm[0]);
  ZEL_TotalMassInertia(c.base, &mass[1], inertia[1], cm[1]);
  int result = c.judge("TotalMass", relative(mass[0] - mass[1], mass[1]));
  // The largest entry difference, scaled by the mean principal moment.
  GenericDelta inertia_delta;
  inertia_delta.add(inertia[0], inertia[1], 9);
  const double mean_moment = std::fabs(inertia[1][0] + inertia[1][4] + inertia[1][8]) / 3.0;
  result += c.judge("TotalI", inertia_delta.largest_difference / std::max(1.0, mean_moment));
  GenericDelta cm_delta;
  cm_delta.add(cm[0], cm[1], 3);
  return result + c.judge("TotalCM", cm_delta.value());
}

// ------------------------------------------------------------ check 6

// The five eigenvalue columns ZEL_Eigenvalue gives, per common mode.
struct EigenColumns {
  std::array<std::vector<double>, 5> column;
};

EigenColumns eigen_columns(Database *db, int modes) {
  EigenColumns columns;
  for (auto &column : columns.column) column.resize(static_cast<std::size_t>(modes));
  for (int i = 0; i < modes; ++i) {
    const auto at = static_cast<std::size_t>(i);
    ZEL_Eigenvalue(db, ZEL_ModeNumber(db, i), &columns.column[0][at], &columns.column[1][at],
                   &columns.column[2][at], &columns.column[4][at], &columns.column[3][at]);
  }
  return columns;
}

// The reference added to every eigenvalue-based denominator, so that
// rigid-body modes near 0 do not blow the delta up: the value of mode
// index 6, the first flexible mode of a free body; 1.0 with fewer modes.
double reference_value(const std::vector<double> &base) { return base.size() > 6 ? base[6] : 1.0; }

double eigen_delta(double fresh, double base, double reference) {
  return relative(fresh - base, std::fabs(base) + std::fabs(reference));
}

void compare_count(const Comparison &c, const char *name, int fresh, int base) {
  if (fresh != base)
    c.say(kRemark, "->Warning %s\n", name);
  else
    c.say(kPassing, "  Pass %s\n", name);
}

int check_eigenvalues(Comparison &c) {
  compare_count(c, "ModeCount", c.fresh->mode_count(), c.base->mode_count());
  compare_count(c, "MaxModeCount", c.fresh->max_modes, c.base->max_modes);
  compare_count(c, "EigenvalueCount", c.fresh->eigen_count, c.base->eigen_count);
  const int modes = c.common_modes();
  const EigenColumns fresh = eigen_columns(c.fresh, modes), base = eigen_columns(c.base, modes);
  c.base_eigenvalues = base.column[0];
  int failures = 0;
  const double reference = reference_value(base.column[0]);
  for (std::size_t i = 0; i < static_cast<std::size_t>(modes); ++i) {
    const std::string name = "EigenValue: #" + std::to_string(ZEL_ModeNumber(c.base, static_cast<int>(i)));
    failures += c.judge(name, eigen_delta(fresh.column[0][i], base.column[0][i], reference), kRemark);
  }
  if (failures != 0) c.say(kFailure, "->Fail Eigenvalues\n");
  const char *const names[] = {"Frequency", "Radians", "GeneralizedStiff", "GeneralizedMass"};
  for (std::size_t k = 1; k < 5; ++k) {
    double delta = 0.0;
    const double column_reference = reference_value(base.column[k]);
    for (std::size_t i = 0; i < static_cast<std::size_t>(modes); ++i) {
      const double mode_delta = eigen_delta(fresh.column[k][i], base.column[k][i], column_reference);
      if (std::isnan(mode_delta) || mode_delta > delta) delta = mode_delta;
    }
    failures += c.judge(names[k - 1], delta, kRemark);
  }
  return failures;
}

// ------------------------------------------------------------ check 7
//
// A mode vector holds six values per set-0 position of the new file:
// translations (part 0) then rotations (part 1). Both parts are worked on
// in the same pass, so each mode is read and walked as few times as
// possible: for a mode whose eigenvalue is not repeated, one gather of
// the base mode that also takes its dot products, and one pass for the
// remainder.

// Groups of consecutive modes whose base eigenvalues repeat within the
// tolerance: [first, end) pairs.
std::vector<std::pair<int, int>> repeated_eigenvalue_groups(const Comparison &c) {
  std::vector<std::pair<int, int>> groups;
  const std::vector<double> &eigen = c.base_eigenvalues;
  const double reference = reference_value(eigen);
  for (int i = 0; i < static_cast<int>(eigen.size()); ++i) {
    const auto at = static_cast<std::size_t>(i);
    if (i > 0 && c.within(eigen_delta(eigen[at - 1], eigen[at], reference)))
      groups.back().second = i + 1;
    else
      groups.emplace_back(i, i + 1);
  }
  return groups;
}

// The new file's modes of a group, orthogonalized in group order, with
// the squared length of each part. A lone mode is used where the cache
// holds it, unless both files are one database (the base mode would
// replace it).
struct GroupBasis {
  std::vector<std::vector<double>> owned;
  std::vector<const double *> modes;
  std::vector<PartPair> lengths;  // of every mode but a lone one
};

GroupBasis orthogonal_basis(const Comparison &c, std::pair<int, int> group, std::size_t positions) {
  GroupBasis basis;
  if (group.second - group.first == 1 && c.fresh != c.base) {
    const double *values = mode_values(c, c.fresh, group.first, kModeShapeSet);
    basis.owned.emplace_back(values == nullptr ? 6 * positions : 0);
    basis.modes.push_back(values != nullptr ? values : basis.owned.back().data());
    return basis;
  }
  for (int index = group.first; index < group.second; ++index) {
    const double *values = mode_values(c, c.fresh, index, kModeShapeSet);
    std::vector<double> mode = values != nullptr ? std::vector<double>(values, values + 6 * positions)
                                                 : std::vector<double>(6 * positions);
    for (std::size_t j = 0; j < basis.owned.size(); ++j)
      subtract(mode.data(), basis.owned[j].data(),
               projection_factors(basis.owned[j].data(), basis.lengths[j], mode.data(), positions), positions);
    basis.lengths.push_back(dots(mode.data(), mode.data(), positions));
    basis.owned.push_back(std::move(mode));
  }
  for (const auto &mode : basis.owned) basis.modes.push_back(mode.data());
  return basis;
}

// The base mode at `index` on the new file's set-0 positions, stored into
// mode unless that is null, with its sums against the first basis mode b
// taken on the way.
GatherSums gather_base_mode(const Comparison &c, int index, const double *b, double *mode) {
  const std::vector<int32_t> &map = c.set_map[kModeShapeSet];
  const double *values = mode_values(c, c.base, index, kModeShapeSet);
  if (values != nullptr) return gather_with_sums(values, map, b, mode);
  if (mode != nullptr) std::fill_n(mode, 6 * map.size(), 0.0);
  return {};
}

// Marks a part of a base mode of zero length, which has no delta.
constexpr double kZeroBaseMode = -1.0;

// sqrt(|remainder|^2 / |base mode|^2) per part after the base mode at
// `index`, gathered into scratch, is stripped of its projections on the
// basis.
PartPair shape_deltas(const Comparison &c, const GroupBasis &basis, int index, double *scratch) {
  const std::size_t positions = c.set_map[kModeShapeSet].size();
  // A lone mode equal to the new one is done in the gather, without a
  // copy; any other mode is gathered into scratch and worked on there.
  const bool lone = basis.modes.size() == 1;
  GatherSums sums = gather_base_mode(c, index, basis.modes[0], lone ? nullptr : scratch);
  std::optional<PartPair> remainder = lone ? expanded_remainder(sums) : std::nullopt;
  if (!remainder) {
    if (lone) sums = gather_base_mode(c, index, basis.modes[0], scratch);
    PartPair factor = ratio_or_zero(sums.along_first, sums.first_length);
    for (std::size_t j = 1; j < basis.modes.size(); ++j) {
      subtract(scratch, basis.modes[j - 1], factor, positions);
      factor = projection_factors(basis.modes[j], basis.lengths[j], scratch, positions);
    }
    remainder = remainder_squares(scratch, basis.modes.back(), factor, positions);
  }
  PartPair delta{};
  for (int part = 0; part < 2; ++part)
    delta[part] = sums.base_length[part] != 0.0 ? std::sqrt((*remainder)[part] / sums.base_length[part]) : kZeroBaseMode;
  return delta;
}

struct ShapePart {
  const char *label;      // "translational"
  const char *zero_note;  // for a base mode of zero length
};
constexpr ShapePart kShapeParts[2] = {
    {"translational", "->Note base EigenVectorTanslational=0\n"},
    {"rotational", "->Note base EigenVectorRotational=0\n"},
};

// Each base mode of a group, restricted to the nodes of the new file, must
// lie in the span of the group's new modes: sign flips and rotations
// within a group of repeated eigenvalues pass.
int check_mode_shapes(const Comparison &c) {
  const std::size_t positions = c.set_map[kModeShapeSet].size();
  const auto scratch = std::make_unique_for_overwrite<double[]>(6 * positions + 1);
  int failures = 0;
  for (const auto &group : repeated_eigenvalue_groups(c)) {
    const GroupBasis basis = orthogonal_basis(c, group, positions);
    std::vector<PartPair> deltas;
    for (int index = group.first; index < group.second; ++index)
      deltas.push_back(shape_deltas(c, basis, index, scratch.get()));
    for (int part = 0; part < 2; ++part)
      for (std::size_t k = 0; k < deltas.size(); ++k) {
        if (deltas[k][part] == kZeroBaseMode) {
          c.say(kRemark, "%s", kShapeParts[part].zero_note);
          continue;
        }
        const int number = ZEL_ModeNumber(c.base, group.first + static_cast<int>(k));
        const std::string name =
            std::string("EigenVector ") + kShapeParts[part].label + ": #" + std::to_string(number);
        failures += c.judge(name, deltas[k][part], kPassing);
      }
  }
  if (failures != 0) c.say(kFailure, "->Fail ModeShape, %d times\n", -failures);
  return failures;
}

// ------------------------------------------------------------ checks 8-10

int check_nodal_masses(const Comparison &c) {
  if (c.skipped_as_missing(kNodalMassesBlock)) return 0;
  const auto all_zero = [](Database *db) {
    for (int32_t n = 0; n < db->node_count(); ++n)
      if (ZEL_NodalMass(db, n) != 0.0) return false;
    return true;
  };
  const bool fresh_zero = all_zero(c.fresh), base_zero = all_zero(c.base);
  if (fresh_zero)
    c.say(kRemark, "->Warning all NodalMass=0 in new file, 'fast_invar' or 'full_invar' may have been used\n");
  if (base_zero)
    c.say(kRemark, "->Warning all NodalMass=0 in base ZEL file, 'fast_invar' or 'full_invar' may have been used\n");
  if (fresh_zero || base_zero) {
    c.say(kRemark, "->Warning NodalMass not checked\n");
    return 0;
  }
  return c.judge("NodalMass", generic_delta(c.fresh->node_count(), [&](int64_t n, double *f, double *b) {
                   *f = ZEL_NodalMass(c.fresh, static_cast<int>(n));
                   *b = ZEL_NodalMass(c.base, c.node_map[static_cast<std::size_t>(n)]);
                 }));
}

int check_nodal_inertias(const Comparison &c) {
  if (c.skipped_as_missing(kNodalInertiasBlock)) return 0;
  GenericDelta delta;
  for (int n = 0; n < c.fresh->node_count(); ++n) {
    double fresh[9] = {}, base[9] = {};
    ZEL_NodalInertia(c.fresh, n, fresh);
    ZEL_NodalInertia(c.base, c.node_map[static_cast<std::size_t>(n)], base);
    delta.add(fresh, base, 9);
  }
  return c.judge("NodalI", delta.value());
}

int check_units(const Comparison &c) {
  if (!c.skipped_as_missing(kUnitsBlock)) c.say(kPassing, "  Pass Units\n");
  return 0;
}

// ------------------------------------------------------------ checks 11-12

struct GeneralizedMatrix {
  const char *count_name;      // "GeneralizedStiffnessCount"
  const char *list_size_name;  // "GeneralizedStiffnessListSize"
  const char *number_name;     // "NumberOfGenStiff"
  const char *list_name;       // "SparceStiffness": ...RowList, ...ColumnList, ...List
  std::vector<GenEntry> Database::*entries;
  int (*number)(Database *);
  int (*sparse)(Database *, double *, int *, int *);
};

const GeneralizedMatrix kStiffness{"GeneralizedStiffnessCount", "GeneralizedStiffnessListSize", "NumberOfGenStiff",
                                   "SparceStiffness", &Database::gen_stiff, ZEL_NumberOfGenStiff, ZEL_GenStiffSparse};
const GeneralizedMatrix kMass{"GeneralizedMassCount", "GeneralizedMassListSize", "NumberOfGenMass", "SparceMass",
                              &Database::gen_mass, ZEL_NumberOfGenMass, ZEL_GenMassSparse};

struct SparseEntries {
  std::vector<double> values;
  std::vector<int> rows, cols;
};

SparseEntries sparse_entries(Database *db, const GeneralizedMatrix &matrix) {
  const auto count = static_cast<std::size_t>(std::max(0, matrix.number(db)));
  SparseEntries entries{std::vector<double>(count), std::vector<int>(count), std::vector<int>(count)};
  if (count != 0) matrix.sparse(db, entries.values.data(), entries.rows.data(), entries.cols.data());
  return entries;
}

int compare_exact(const Comparison &c, const char *name, int fresh, int base) {
  c.say(fresh == base ? kPassing : kFailure, fresh == base ? "  Pass %s\n" : "->Fail %s\n", name);
  return fresh == base ? 0 : -1;
}

int list_mismatches(const Comparison &c, const std::string &name, const std::vector<int> &fresh,
                    const std::vector<int> &base, std::size_t count) {
  int failures = 0;
  for (std::size_t k = 0; k < count; ++k)
    if (fresh[k] != base[k]) {
      c.say(kFailure, "->Fail %s   index: %d  new: %d  base: %d\n", name.c_str(), static_cast<int>(k), fresh[k], base[k]);
      --failures;
    }
  return failures;
}

int check_generalized(const Comparison &c, const GeneralizedMatrix &matrix) {
  const auto held = [&](Database *db) { return static_cast<int>((db->*matrix.entries).size()); };
  const auto list_size = [&](Database *db) {
    return (held(db) + kGeneralizedListStep - 1) / kGeneralizedListStep * kGeneralizedListStep;
  };
  int result = compare_exact(c, matrix.count_name, held(c.fresh), held(c.base));
  result += compare_exact(c, matrix.list_size_name, list_size(c.fresh), list_size(c.base));
  const int fresh_number = matrix.number(c.fresh), base_number = matrix.number(c.base);
  if (fresh_number != base_number)
    c.say(kRemark, "->Warning %s  new:  %d  base:  %d\n", matrix.number_name, fresh_number, base_number);
  else
    c.say(kPassing, "  Pass %s\n", matrix.number_name);
  const SparseEntries fresh = sparse_entries(c.fresh, matrix), base = sparse_entries(c.base, matrix);
  const std::size_t common = std::min(fresh.values.size(), base.values.size());
  const std::string list = matrix.list_name;
  const int mismatches = list_mismatches(c, list + "RowList", fresh.rows, base.rows, common) +
                         list_mismatches(c, list + "ColumnList", fresh.cols, base.cols, common);
  if (mismatches == 0) c.say(kPassing, "  Pass %sList\n", matrix.list_name);
  result += mismatches;
  return result + c.judge(list, generic_delta(static_cast<int64_t>(common), [&](int64_t k, double *f, double *b) {
                            *f = fresh.values[static_cast<std::size_t>(k)];
                            *b = base.values[static_cast<std::size_t>(k)];
                          }));
}

// ------------------------------------------------------------ check 13

// The faces of a body by node ID: per face its vertex count, then the IDs.
std::vector<int32_t> faces_by_id(Database *db) {
  int faces = 0, size = 0;
  ZEL_FaceListSize(db, &faces, &size);
  std::vector<int32_t> list(static_cast<std::size_t>(std::max(0, size)));
  if (!list.empty()) ZEL_ElementFaces(db, list.data());
  for (std::size_t at = 0; at < list.size();) {
    const auto vertices = static_cast<std::size_t>(std::max(0, list[at]));
    for (std::size_t v = at + 1; v <= at + vertices && v < list.size(); ++v) list[v] = ZEL_NodeID(db, list[v]);
    at += vertices + 1;
  }
  return list;
}

// Each face with its vertices rotated to start at the smallest ID, so the
// faces that differ only in their first vertex compare equal.
std::vector<std::vector<int32_t>> canonical_faces(const std::vector<int32_t> &list) {
  std::vector<std::vector<int32_t>> faces;
  for (std::size_t at = 0; at < list.size();) {
    const std::size_t vertices = std::min(static_cast<std::size_t>(std::max(0, list[at])), list.size() - at - 1);
    std::vector<int32_t> face(list.begin() + static_cast<std::ptrdiff_t>(at + 1),
                              list.begin() + static_cast<std::ptrdiff_t>(at + 1 + vertices));
    std::rotate(face.begin(), std::min_element(face.begin(), face.end()), face.end());
    faces.push_back(std::move(face));
    at += vertices + 1;
  }
  return faces;
}

struct FaceHash {
  std::size_t operator()(const std::vector<int32_t> &face) const {
    std::size_t hash = face.size();
    for (int32_t id : face) hash = hash * 1000003u ^ static_cast<std::size_t>(static_cast<uint32_t>(id));
    return hash;
  }
};

// A face list in another order, or a subset of the base's faces, passes
// when every face of the new file is found among the base's.
bool every_face_found(const std::vector<int32_t> &fresh, const std::vector<int32_t> &base) {
  const auto base_faces = canonical_faces(base);
  const std::unordered_set<std::vector<int32_t>, FaceHash> known(base_faces.begin(), base_faces.end());
  for (const auto &face : canonical_faces(fresh))
    if (known.count(face) == 0) return false;
  return true;
}

int check_faces(const Comparison &c) {
  int fresh_faces = 0, fresh_size = 0, base_faces = 0, base_size = 0;
  ZEL_FaceListSize(c.fresh, &fresh_faces, &fresh_size);
  ZEL_FaceListSize(c.base, &base_faces, &base_size);
  compare_count(c, "FaceListSize", fresh_size, base_size);
  compare_count(c, "FaceCount", fresh_faces, base_faces);
  const std::vector<int32_t> fresh = faces_by_id(c.fresh), base = faces_by_id(c.base);
  if (fresh_faces == base_faces && fresh == base) {
    c.say(kPassing, "  Pass FaceList A\n");
    return 0;
  }
  if (every_face_found(fresh, base)) {
    c.say(kPassing, "  Pass FaceList B\n");
    return 0;
  }
  c.say(kFailure, "->Fail FaceList\n");
  return -1;
}

// ------------------------------------------------------------ checks 14-15

// Only ever a warning: the transformation records how the modes were
// produced, not what they are.
int check_transformation(const Comparison &c) {
  const auto matrix = [](Database *db) {
    const auto modes = static_cast<std::size_t>(db->mode_count());
    std::vector<double> values(modes * modes);
    if (!values.empty()) ZEL_Transformation(db, values.data());
    return values;
  };
  const std::vector<double> fresh = matrix(c.fresh), base = matrix(c.base);
  const auto all_zero = [](const std::vector<double> &m) {
    return std::all_of(m.begin(), m.end(), [](double v) { return v == 0.0; });
  };
  if (all_zero(fresh) || all_zero(base)) {
    c.say(kRemark, "->Warning ModeShape Transformation not checked\n");
    return 0;
  }
  const int common = c.common_modes();
  const int fresh_order = c.fresh->mode_count(), base_order = c.base->mode_count();
  const double delta = generic_delta(int64_t{common} * common, [&](int64_t k, double *f, double *b) {
    const int64_t i = k / common, j = k % common;
    *f = fresh[static_cast<std::size_t>(i * fresh_order + j)];
    *b = base[static_cast<std::size_t>(i * base_order + j)];
  });
  if (c.within(delta))
    c.say(kPassing, "  Pass ModeShape Transformation  Delta: %e\n", delta);
  else
    c.say(kRemark, "->Warning: ModeShape Transformations differ  Delta: %e\n", delta);
  return 0;
}

struct CallerArray {
  void operator()(void *memory) const { ZEL_FreeMemory(memory); }
};

int check_interface_nodes(const Comparison &c) {
  int fresh_count = 0, base_count = 0;
  const std::unique_ptr<int, CallerArray> fresh(ZEL_InterfaceNodeIDs(c.fresh, &fresh_count));
  const std::unique_ptr<int, CallerArray> base(ZEL_InterfaceNodeIDs(c.base, &base_count));
  if (fresh_count != base_count) {
    c.say(kFailure, "->Fail InterfaceNodeCount\n");
    return -1;
  }
  // The order of the list carries no meaning.
  std::vector<int> fresh_ids(fresh.get(), fresh.get() + fresh_count), base_ids(base.get(), base.get() + base_count);
  std::sort(fresh_ids.begin(), fresh_ids.end());
  std::sort(base_ids.begin(), base_ids.end());
  const bool same = fresh_ids == base_ids;
  c.say(same ? kPassing : kFailure, same ? "  Pass InterfaceNodes\n" : "->Fail InterfaceNodes\n");
  return same ? 0 : -1;
}

// ------------------------------------------------------------ checks 16, 20

struct ModalSet {
  int set;
  int block_index;
  const char *kind;        // "Stress": "Stress Mode: #%d", "NodeCount for Stress modes"
  const char *null_note;   // "->Note: Null stress shape in base for mode: %d\n"
};

const ModalSet kModalStress{kStressSet, kModalStressBlock, "Stress",
                            "->Note: Null stress shape in base for mode: %d\n"};
const ModalSet kModalStrain{kStrainSet, kModalStrainBlock, "Strain",
                            "->Note: Null strain shape in base for mode: %d\n"};

// Von Mises value per set position of the new file: its own positions for
// the new file, the mapped positions for the base.
std::vector<double> von_mises_values(const Comparison &c, Database *db, int index, int set) {
  const std::vector<int32_t> &map = c.set_map[static_cast<std::size_t>(set)];
  std::vector<double> values(map.size());
  const double *six = mode_values(c, db, index, set);
  if (six == nullptr) return values;
  for (std::size_t p = 0; p < map.size(); ++p) {
    const std::size_t position = db == c.base ? static_cast<std::size_t>(map[p]) : p;
    values[p] = std::sqrt(std::max(0.0, square_von_mises(six + 6 * position)));
  }
  return values;
}

bool set_sizes_agree(const Comparison &c, const ModalSet &modal) {
  const int fresh = ZEL_ModeNodeCount(c.fresh, modal.set), base = ZEL_ModeNodeCount(c.base, modal.set);
  if (base < fresh) {
    c.say(kFailure, "->Fail NodeCount for %s modes in base: %d < new: %d \n", modal.kind, base, fresh);
    c.say(kFailure, "->Try transposing input ZELs. (Exit)\n\n");
    throw Stopped{};
  }
  return base == fresh;
}

int check_modal_set(const Comparison &c, const ModalSet &modal) {
  if (!set_in_both(c, modal.set)) {
    c.say(kRemark, "->Warning: No comparison performed on block %d %s\n", modal.block_index + 1,
          kBlocks[modal.block_index].name);
    return 0;
  }
  if (!set_sizes_agree(c, modal))
    c.say(kRemark, "->Warning NodeCount for %s modes base: %d  new: %d\n", modal.kind,
          ZEL_ModeNodeCount(c.base, modal.set), ZEL_ModeNodeCount(c.fresh, modal.set));
  const int modes = c.common_modes();
  int first = 0;
  while (first < modes && std::fabs(c.base_eigenvalues[static_cast<std::size_t>(first)]) <= c.tolerance) ++first;
  int failures = 0;
  for (int index = first; index < modes; ++index) {
    const std::vector<double> fresh = von_mises_values(c, c.fresh, index, modal.set);
    const std::vector<double> base = von_mises_values(c, c.base, index, modal.set);
    const int number = ZEL_ModeNumber(c.base, index);
    if (std::all_of(base.begin(), base.end(), [](double v) { return v == 0.0; })) {
      c.say(kRemark, modal.null_note, number);
      continue;
    }
    const double delta = generic_delta(static_cast<int64_t>(base.size()), [&](int64_t p, double *f, double *b) {
      *f = fresh[static_cast<std::size_t>(p)];
      *b = base[static_cast<std::size_t>(p)];
    });
    const std::string name = std::string(modal.kind) + " Mode: #" + std::to_string(number) + "  Von Mises";
    failures += c.judge(name, delta);
  }
  return failures;
}

// ------------------------------------------------------------ check 17

struct InvariantCheck {
  const char *name;    // "Invar3"
  int block_index;
  bool needs_masses;   // compared only when the base has its block or nodal masses
  const char *zero_warning;  // "invar5": warned about and skipped when zero in a file
};

// The values of one invariant of the common modes, laid out alike for
// both files whatever their mode counts. An invariant that cannot be read
// or computed stops the comparison, as an unreadable mode does.
std::vector<double> invariant_values(const Comparison &c, Database *db, int which, int modes) {
  const int own = db->mode_count();
  std::vector<double> values;
  const auto take = [&](double *array, std::size_t count) {
    if (array == nullptr) stop_unreadable(c, db, "Invar" + std::to_string(which));
    values.insert(values.end(), array, array + count);
    ZEL_FreeMemory(array);
  };
  // 3 x M arrays, entry (a, j) at a * own + j; a body without modes has
  // none.
  const auto take_rows = [&](double *array) {
    if (modes > 0 && array == nullptr) stop_unreadable(c, db, "Invar" + std::to_string(which));
    for (int a = 0; a < 3 && modes > 0; ++a)
      for (int j = 0; j < modes; ++j) values.push_back(array[a * own + j]);
    ZEL_FreeMemory(array);
  };
  switch (which) {
    case 1: values.push_back(ZEL_Invar1(db)); break;
    case 2: take(ZEL_Invar2(db), 3); break;
    case 3: take_rows(ZEL_Invar3(db)); break;
    case 4: take_rows(ZEL_Invar4(db)); break;
    case 5: for (int i = 0; i < modes; ++i) take_rows(ZEL_Invar5(db, i)); break;
    case 7: take(ZEL_Invar7(db), 9); break;
    case 8: for (int i = 0; i < modes; ++i) take(ZEL_Invar8(db, i), 9); break;
    case 9:
      for (int i = 0; i < modes; ++i)
        for (int j = 0; j < modes; ++j) take(ZEL_Invar9(db, i, j), 9);
      break;
  }
  return values;
}

int check_invariant(const Comparison &c, int which) {
  const int block_index = which < 6 ? 17 + which : 16 + which;
  const std::string name = "Invar" + std::to_string(which);
  const char *block_name = kBlocks[block_index].name;
  if (c.skipped_as_missing(block_index, "ZEL_")) return 0;
  const bool modal = which != 1 && which != 2 && which != 7;
  if (modal && !c.present(c.base, block_index) && !c.present(c.base, kNodalMassesBlock)) {
    c.say(kRemark, "->Note block_%d__%s not checked\n", block_index + 1, block_name);
    return 0;
  }
  const int modes = c.common_modes();
  const std::vector<double> fresh = invariant_values(c, c.fresh, which, modes);
  const std::vector<double> base = invariant_values(c, c.base, which, modes);
  if (which == 5 || which == 9) {
    const auto zero = [](const std::vector<double> &v) {
      return std::all_of(v.begin(), v.end(), [](double x) { return x == 0.0; });
    };
    bool skipped = false;
    for (auto [values, file] : {std::pair{&fresh, "new"}, std::pair{&base, "base"}})
      if (zero(*values)) {
        c.say(kRemark, "->Warning %s=0 in %s file, 'fast_invar' may have been used\n", block_name, file);
        skipped = true;
      }
    if (skipped) {
      c.say(kRemark, "->Warning %s not checked\n", block_name);
      return 0;
    }
  }
  const double delta = generic_delta(static_cast<int64_t>(fresh.size()), [&](int64_t k, double *f, double *b) {
    *f = fresh[static_cast<std::size_t>(k)];
    *b = base[static_cast<std::size_t>(k)];
  });
  return c.judge(name, delta, kFailure, which == 2 && !c.within(delta) ? "%f" : "%e");
}

int check_invariants(const Comparison &c) {
  int result = 0;
  for (int which : {1, 2, 3, 4, 5, 7, 8, 9}) result += check_invariant(c, which);
  return result;
}

// ------------------------------------------------------------ checks 18-19

using CallerValues = std::unique_ptr<double, CallerArray>;

int check_preload(const Comparison &c) {
  int fresh_count = 0, base_count = 0;
  const CallerValues fresh(ZEL_GetModalPreload(c.fresh, &fresh_count));
  const CallerValues base(ZEL_GetModalPreload(c.base, &base_count));
  if (fresh_count != base_count)
    c.say(kRemark, "->Warning Preload mode count mismatch\n");
  else
    c.say(kPassing, "  Pass Preload mode count\n");
  for (auto [values, count, file] : {std::tuple{fresh.get(), fresh_count, "new"}, std::tuple{base.get(), base_count, "base"}})
    if (std::all_of(values, values + count, [](double v) { return v == 0.0; }))
      c.say(kRemark, "->Warning: Null modal preload vector found in %s file\n", file);
  const int common = std::min(fresh_count, base_count);
  return c.judge("Preload,", generic_delta(common, [&](int64_t k, double *f, double *b) {
                   *f = fresh.get()[k];
                   *b = base.get()[k];
                 }));
}

// The magnitudes of a case's values are compared; a component that only
// flips its sign is warned about (rigid-body components follow the axes).
int compare_load_case(const Comparison &c, int index) {
  int fresh_count = 0, base_count = 0;
  const CallerValues fresh(ZEL_GetModalLoad(c.fresh, index, &fresh_count));
  const CallerValues base(ZEL_GetModalLoad(c.base, index, &base_count));
  if (fresh_count != base_count)
    c.say(kRemark, "->Warning Modal Load Case #%d value count mismatch\n", index + 1);
  int first = 0;
  for (auto [db, file] : {std::pair{c.fresh, "new"}, std::pair{c.base, "base"}})
    if (!ZEL_ModalLoadProcessed(db, index)) {
      c.say(kRemark, "->Note %s ZEL load case #%d not yet projected on principal axes\n", file, index + 1);
      first = 6;
    }
  if (first != 0) c.say(kRemark, "->Warning: Rigid body components (assumed first 6) won't be checked\n");
  const int common = std::min(fresh_count, base_count);
  double largest_base = 0.0;
  for (int k = first; k < common; ++k) largest_base = std::max(largest_base, std::fabs(base.get()[k]));
  const double delta = generic_delta(std::max(0, common - first), [&](int64_t k, double *f, double *b) {
    *f = std::fabs(fresh.get()[first + k]);
    *b = std::fabs(base.get()[first + k]);
  });
  if (!c.within(delta)) return -1;
  for (int k = first; k < common && largest_base > 0.0; ++k)
    if (!c.within(std::fabs(fresh.get()[k] - base.get()[k]) / largest_base))
      c.say(kRemark, "->Warning: Modal load component %d differs in sign for case #%d\n", k, index + 1);
  return 0;
}

int check_modal_loads(const Comparison &c) {
  const int fresh = ZEL_GetModalLoadCaseCount(c.fresh), base = ZEL_GetModalLoadCaseCount(c.base);
  if (fresh != base)
    c.say(kRemark, "->Warning Modal Load Case count mismatch\n");
  else
    c.say(kPassing, "  Pass Modal Load Case count\n");
  int failures = 0;
  for (int index = 0; index < std::min(fresh, base); ++index) failures += compare_load_case(c, index);
  c.say(failures == 0 ? kPassing : kFailure, failures == 0 ? "  Pass Modal Loads\n" : "->Fail Modal Loads\n");
  return failures;
}

// ------------------------------------------------------------ checks 21-22

struct PreValues {
  int set;
  int block_index;
  const char *kind;    // "Pre-Stress"
  const char *plural;  // "Pre-Stresses"
  const char *null_note;
};

const PreValues kPreStress{kStressSet, kPreStressBlock, "Pre-Stress", "Pre-Stresses", "->Note: Null pre-stress in base\n"};
const PreValues kPreStrain{kStrainSet, kPreStrainBlock, "Pre-Strain", "Pre-Strains", "->Note: Null pre-strain in base\n"};

const double *pre_values_of(const Comparison &c, Database *db, const PreValues &pre) {
  const double *values = LoadCachedMode(db, 0, pre.set);
  if (values == nullptr && ZEL_ModeNodeCount(db, pre.set) > 0) stop_unreadable(c, db, pre.kind);
  return values;
}

int check_pre_values(const Comparison &c, const PreValues &pre) {
  if (!c.present_in_both(pre.block_index) || !set_in_both(c, pre.set)) {
    c.say(kRemark, "->Warning: No comparison performed on block %d %s\n", pre.block_index + 1,
          kBlocks[pre.block_index].name);
    return 0;
  }
  const int fresh_count = ZEL_ModeNodeCount(c.fresh, pre.set), base_count = ZEL_ModeNodeCount(c.base, pre.set);
  if (fresh_count != base_count)
    c.say(kRemark, "->Warning %s NodeCount differ... base: %d  new: %d\n", pre.kind, base_count, fresh_count);
  // The new file's values are copied first: both may be one database.
  const double *loaded = pre_values_of(c, c.fresh, pre);
  const std::vector<int32_t> &map = c.set_map[static_cast<std::size_t>(pre.set)];
  std::vector<double> fresh(6 * map.size());
  if (loaded != nullptr) std::copy_n(loaded, fresh.size(), fresh.begin());
  const double *base = pre_values_of(c, c.base, pre);
  if (base == nullptr) return 0;
  double largest_square = 0.0;
  bool all_zero = true;
  for (int p = 0; p < base_count; ++p) {
    largest_square = std::max(largest_square, square_von_mises(base + 6 * p));
    all_zero = all_zero && std::all_of(base + 6 * p, base + 6 * p + 6, [](double v) { return v == 0.0; });
  }
  if (all_zero) c.say(kRemark, "%s", pre.null_note);
  const double scale = std::max(1.0, std::sqrt(largest_square));
  int failures = 0, worst_node = 0, worst_component = 0;
  double worst = 0.0;
  for (std::size_t p = 0; p < map.size(); ++p)
    for (int k = 0; k < 6; ++k) {
      const double delta = std::fabs(fresh[6 * p + k] - base[6 * static_cast<std::size_t>(map[p]) + k]) / scale;
      if (!c.within(delta)) --failures;
      if (std::isnan(delta) || delta > worst) {
        worst = delta;
        worst_node = ZEL_ModeNodeID(c.fresh, pre.set, static_cast<int>(p));
        worst_component = k;
      }
    }
  if (failures != 0)
    c.say(kFailure, "->Fail %s Max at Node: #%d Comp: #%d  Delta: %e\n", pre.kind, worst_node, worst_component, worst);
  else
    c.say(kPassing, "  Pass %s  Delta: %e\n", pre.plural, worst);
  return failures;
}

// ------------------------------------------------------------ driver

int compare(Comparison &c) {
  convert_to_si(c, c.base, "base");
  convert_to_si(c, c.fresh, "new");
  build_node_maps(c);
  int result = check_version(c);
  result += check_header(c);
  result += check_blocks(c);
  result += check_nodes(c);
  result += check_global_properties(c);
  result += check_eigenvalues(c);
  result += check_mode_shapes(c);
  result += check_nodal_masses(c);
  result += check_nodal_inertias(c);
  result += check_units(c);
  result += check_generalized(c, kStiffness);
  result += check_generalized(c, kMass);
  result += check_faces(c);
  result += check_transformation(c);
  result += check_interface_nodes(c);
  result += check_modal_set(c, kModalStress);
  result += check_invariants(c);
  result += check_preload(c);
  result += check_modal_loads(c);
  result += check_modal_set(c, kModalStrain);
  result += check_pre_values(c, kPreStress);
  result += check_pre_values(c, kPreStrain);
  if (result < 0)
    c.say(kRemark, "->Files differ\n\n");
  else
    c.say(kRemark, " Files are equivalent\n\n");
  return result;
}

}  // namespace
}  // namespace zel

using zel::kModule;

extern "C" {

ZEL_API int ZEL_Compare(Database *base, Database *candidate, int verbosity, double tolerance) {
  if (!CheckZEL(base) || !CheckZEL(candidate)) return ZEL_COMPARE_STOPPED;
  return ZEL_GUARDED(ZEL_COMPARE_STOPPED, {
    zel::Comparison comparison{candidate, base, verbosity, tolerance, mode == 1, {}, {}, {}};
    int result = ZEL_COMPARE_STOPPED;
    try {
      result = zel::compare(comparison);
    } catch (const zel::Stopped &) {
    }
    std::fflush(stdout);
    return result;
  });
}

ZEL_API const char *zelcompare_VersionId(void) { return "zelcompare 0.1"; }

}  // extern "C"
