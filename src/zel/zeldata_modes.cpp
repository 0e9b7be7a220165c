// Queries: mode vectors through the one-mode cache, the value sets' node
// lists, and eigenvalues, with the generalized matrices standing in when a
// body holds no eigenvalue records.
#include <algorithm>
#include <cmath>
#include <new>
#include <optional>
#include <type_traits>
#include <vector>

#include "body/database.h"
#include "body/mode_cache.h"
#include "body/mode_list.h"
#include "body/tempstore.h"
#include "format/blocks.h"
#include "platform/build_profile.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zeldata";

constexpr double kOneOverTwoPi = 0.15915494309188485;

// A body without a mass entry for a mode gets a mass this small relative
// to its stiffness (or absolute, for a stiffness up to 1), so that the
// mode reads as a very high but finite frequency.
constexpr double kMissingMassRatio = 1e-16;

bool valid_set(int set) { return set >= kModeShapeSet && set < profile::kValueSets; }

// Queries that hand out three values per node take the first three (0)
// or the last three (1) of the six.
bool valid_component(int component) { return component == 0 || component == 1; }

const std::vector<double> &pre_values(const Database &db, int set) {
  return set == kStressSet ? db.pre_stress : db.pre_strain;
}

std::size_t value_count(int32_t positions) { return 6 * static_cast<std::size_t>(positions); }

// Where a set's values live: its temporary store once the builder opened
// it, otherwise the ZEL file the body was read from.
bool held_in_temp_store(const Database &db, int set) { return db.temp[set].is_open(); }

bool stored_in_double_precision(const Database &db, int set) {
  return held_in_temp_store(db, set) ? db.temp[set].file.double_precision != 0 : db.file.double_precision != 0;
}

void report_read_failure(int set, int32_t number, bool pre) {
  if (set == kModeShapeSet)
    ZEL_Error("Problem reading mode shape %d", number);
  else if (set == kStressSet && pre)
    ZEL_Error("Problem reading pre stress vector");
  else if (set == kStressSet)
    ZEL_Error("Problem reading modal stress vector %d", number);
  else if (pre)
    ZEL_Error("Problem reading pre strain vector");
  else
    ZEL_Error("Problem reading modal strain vector %d", number);
}

}  // namespace

bool read_stored_records(Database &db, int set, int32_t index, int32_t first, int32_t count, double *values) {
  if (held_in_temp_store(db, set)) {
    TempStore &store = db.temp[set];
    if (index >= store.slot_count()) return false;
    // Nodes added after the store was last widened carry no values of
    // this set: their records read as zero, as a fresh slot's do.
    const int32_t held = std::clamp(store.positions() - first, 0, count);
    std::fill(values + value_count(held), values + value_count(count), 0.0);
    return store.read_records(index, first, values, held);
  }
  const std::vector<int64_t> &offsets = db.temp_slot_offset[set];
  if (static_cast<std::size_t>(index) >= offsets.size()) return false;
  const int64_t start = offsets[static_cast<std::size_t>(index)] + int64_t{6} * first * db.file.real_size();
  return read_mode_values(db.file, start, count, values);
}

namespace {

bool read_stored_values(Database &db, int set, int32_t index, int32_t positions, double *values) {
  return read_stored_records(db, set, index, 0, positions, values);
}

// The pre-stress or pre-strain rows of the set's first `positions`
// positions. A file may hold fewer rows than its set has nodes: the
// positions without a row read as zero.
template <class Value>
void copy_pre_values(const std::vector<double> &rows, int32_t positions, Value *values) {
  const std::size_t copied = std::min(rows.size(), value_count(positions));
  std::transform(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(copied), values,
                 [](double value) { return static_cast<Value>(value); });
  std::fill(values + copied, values + value_count(positions), Value{0});
}

// Stored values times this give them in the current units: translations
// (set 0, rotations stay) scale with length, stresses with force / length^2;
// strains have no dimension.
double unit_scale(const Database &db, int set) {
  const double length = db.unit_factor[kLengthFactor];
  if (set == kModeShapeSet) return length;
  if (set == kStressSet) return db.unit_factor[kForceFactor] / (length * length);
  return 1.0;
}

// Multiplies in the precision of the values, so a single-precision reader
// gets the factor rounded to single precision.
template <class Value>
void convert_units(const Database &db, int set, Value *values, int32_t positions) {
  const double scale = unit_scale(db, set);
  if (scale == 1.0) return;
  const Value factor = static_cast<Value>(scale);
  if (set == kModeShapeSet) {
    for (std::size_t p = 0; p < static_cast<std::size_t>(positions); ++p)
      for (std::size_t c = 0; c < 3; ++c) values[6 * p + c] *= factor;
    return;
  }
  std::for_each(values, values + value_count(positions), [factor](Value &value) { value *= factor; });
}

// The three values that start at `from` in each six-value record, packed
// three to a position. Spelled out value by value: a copy call per record
// (std::copy_n of three) costs more than the values it moves.
void copy_half_records(const double *from, int32_t positions, double *to) {
  for (std::size_t p = 0; p < static_cast<std::size_t>(positions); ++p) {
    to[3 * p] = from[6 * p];
    to[3 * p + 1] = from[6 * p + 1];
    to[3 * p + 2] = from[6 * p + 2];
  }
}

// Positions read at a time when the values are passed on as they come (a
// half copied out of the cache, single precision narrowed again): small
// enough that the block is still in the processor's cache when it is
// passed on, so it is not read again from memory.
constexpr int32_t kPositionsPerBlock = 4096;

// A single-precision set's values come back widened; narrowing them again,
// a block at a time, is exact.
bool read_stored_floats(Database &db, int set, int32_t index, int32_t positions, float *values) {
  std::vector<double> block(value_count(std::min(positions, kPositionsPerBlock)));
  for (int32_t first = 0; first < positions; first += kPositionsPerBlock) {
    const int32_t count = std::min(kPositionsPerBlock, positions - first);
    if (!read_stored_records(db, set, index, first, count, block.data())) return false;
    std::transform(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(value_count(count)),
                   values + value_count(first), [](double value) { return static_cast<float>(value); });
  }
  return true;
}

// Fills a caller's buffer with the full six values per position, bypassing
// the cache: from the store in the precision it holds (`Value` must match
// it), or the pre-values rounded to `Value`.
template <class Value>
int read_mode_uncached(Database *db, int32_t number, int set, Value *values) {
  if (db == nullptr || values == nullptr || !valid_set(set)) return 0;
  const int32_t positions = db->set_count(set);
  if (positions < 1) return 0;
  if (names_pre_values(number, set)) {
    const std::vector<double> &rows = pre_values(*db, set);
    if (rows.empty()) {
      report_read_failure(set, number, true);
      return 0;
    }
    copy_pre_values(rows, positions, values);
  } else {
    const int32_t index = find_mode(*db, number);
    constexpr bool wants_double = std::is_same_v<Value, double>;
    if (index < 0 || stored_in_double_precision(*db, set) != wants_double) return 0;
    bool read = false;
    if constexpr (wants_double)
      read = read_stored_values(*db, set, index, positions, values);
    else
      read = read_stored_floats(*db, set, index, positions, values);
    if (!read) {
      report_read_failure(set, number, false);
      return 0;
    }
  }
  convert_units(*db, set, values, positions);
  return 1;
}

// A mode's diagonal entry of a generalized matrix. An off-diagonal entry
// met before the mode's own means the matrix is not diagonal. A pair given
// more than once takes its last value, as in the dense matrices.
struct DiagonalScan {
  bool diagonal = true;
  std::optional<double> value;
};

DiagonalScan scan_diagonal(const std::vector<GenEntry> &entries, int32_t index) {
  DiagonalScan scan;
  for (const GenEntry &entry : entries) {
    if (entry.row != entry.col) {
      if (!scan.value) return DiagonalScan{false, std::nullopt};
    } else if (entry.row == index) {
      scan.value = entry.value;
    }
  }
  return scan;
}

void set_if_wanted(double *output, double value) {
  if (output != nullptr) *output = value;
}

// Where ZEL_Mode wants one half of each record (translations or normal
// components: component 0; rotations or shear components: 1).
struct HalfCopy {
  double *to;
  int component;
};

void copy_half(const double *records, int32_t first, int32_t count, const HalfCopy *copy) {
  if (copy != nullptr)
    copy_half_records(records + value_count(first) + 3 * static_cast<std::size_t>(copy->component), count,
                      copy->to + 3 * static_cast<std::size_t>(first));
}

// The stored values of mode index `index` into the cache, in current units,
// a block of positions at a time; `copy`, when given, takes its half of each
// block as soon as the block is read.
bool read_into_cache(Database &db, int set, int32_t index, int32_t positions, double *cache, const HalfCopy *copy) {
  for (int32_t first = 0; first < positions; first += kPositionsPerBlock) {
    const int32_t count = std::min(kPositionsPerBlock, positions - first);
    double *block = cache + value_count(first);
    if (!read_stored_records(db, set, index, first, count, block)) return false;
    convert_units(db, set, block, count);
    copy_half(cache, first, count, copy);
  }
  return true;
}

// A set's cache sized for its `positions` (nodes can join a set after its
// cache was made: the cache follows). False when it cannot be allocated.
bool size_cache(Database &db, int set, int32_t positions) {
  std::vector<double> &cache = db.cache_values[set];
  if (cache.size() == value_count(positions)) return true;
  db.cache_mode[set] = -1;
  try {
    cache.assign(value_count(positions), 0.0);
  } catch (const std::bad_alloc &) {
    return false;
  }
  return true;
}

bool holds_whole_mode(const Database &db, int set, int32_t index) {
  return db.cache_mode[set] == index && db.cache_half[set] == Database::kWholeModeCached;
}

// Loads cache index `index` of a set: a mode index, or mode_count for the
// pre-values, which sit one past the last mode index, clear of every mode.
const double *load_cache_index(Database *db, int32_t index, int set, const HalfCopy *copy = nullptr) {
  const bool pre = index == db->mode_count();
  const int32_t number = pre ? 0 : db->mode_numbers[static_cast<std::size_t>(index)];
  const int32_t positions = db->set_count(set);
  if (positions < 1 || !size_cache(*db, set, positions)) return nullptr;

  std::vector<double> &cache = db->cache_values[set];
  if (!holds_whole_mode(*db, set, index)) {
    db->cache_mode[set] = index;
    db->cache_half[set] = Database::kWholeModeCached;
    if (!pre && !read_into_cache(*db, set, index, positions, cache.data(), copy)) {
      report_read_failure(set, number, pre);
      db->cache_mode[set] = -1;
      return nullptr;
    }
    if (!pre) return cache.data();
    copy_pre_values(pre_values(*db, set), positions, cache.data());
    convert_units(*db, set, cache.data(), positions);
  }
  copy_half(cache.data(), 0, positions, copy);
  return cache.data();
}

const double *load_cached_mode(Database *db, int32_t number, int set, const HalfCopy *copy) {
  if (db == nullptr || !valid_set(set)) return nullptr;
  if (names_pre_values(number, set)) {
    if (!pre_values(*db, set).empty()) return load_cache_index(db, db->mode_count(), set, copy);
    report_read_failure(set, number, true);
    return nullptr;
  }
  const int32_t index = find_mode(*db, number);
  return index < 0 ? nullptr : load_cache_index(db, index, set, copy);
}

// The encoded values of mode index `index` of a set where they lie in the
// mapping of the file the body was read from; null for a set held in a
// store, a file read through a stream without a descriptor, or a mode no
// longer wholly in the file.
const unsigned char *mapped_mode(Database &db, int set, int32_t index, int32_t positions) {
  if (held_in_temp_store(db, set)) return nullptr;
  const std::vector<int64_t> &offsets = db.temp_slot_offset[set];
  if (static_cast<std::size_t>(index) >= offsets.size()) return nullptr;
  return db.file.mapped_bytes(offsets[static_cast<std::size_t>(index)],
                              value_count(positions) * static_cast<std::size_t>(db.file.real_size()));
}

// One half (three values per position) into the current units, as
// convert_units does for whole records: rotations keep their units.
void convert_half_units(const Database &db, int set, int component, double *values, int32_t positions) {
  const double scale = unit_scale(db, set);
  if (scale == 1.0 || (set == kModeShapeSet && component == 1)) return;
  std::for_each(values, values + 3 * static_cast<std::size_t>(positions), [scale](double &value) { value *= scale; });
}

// The half the cache keeps of mode index `index`, when it is the one asked for.
bool copy_kept_half(const Database &db, int32_t index, int set, const HalfCopy &copy) {
  const std::vector<double> &cache = db.cache_values[set];
  if (db.cache_mode[set] != index || db.cache_half[set] != copy.component ||
      cache.size() != value_count(db.set_count(set)))
    return false;
  std::copy_n(cache.begin(), cache.size() / 2, copy.to);
  return true;
}

// A mode of a mapped file split as it is decoded: the half asked for to the
// caller, the other half kept in the cache for the caller's next call. So
// a mode fetched as translations then rotations is decoded once and
// written once, with no whole-mode copy in between. False, having changed
// nothing, when the mode does not lie in a mapping.
bool split_mapped_mode(Database &db, int32_t index, int set, const HalfCopy &copy) {
  const int32_t positions = db.set_count(set);
  const unsigned char *bytes = positions < 1 ? nullptr : mapped_mode(db, set, index, positions);
  if (bytes == nullptr || !size_cache(db, set, positions)) return false;
  double *kept = db.cache_values[set].data();
  double *first = copy.component == 0 ? copy.to : kept;
  double *second = copy.component == 0 ? kept : copy.to;
  db.file.decode_real_halves(bytes, first, second, static_cast<std::size_t>(positions));
  convert_half_units(db, set, copy.component, copy.to, positions);
  convert_half_units(db, set, 1 - copy.component, kept, positions);
  db.cache_mode[set] = index;
  db.cache_half[set] = 1 - copy.component;
  return true;
}

// ZEL_Mode's half of a mode: from the half the cache keeps, else split from
// the file's mapping, else through the whole-mode cache (pre-values, built
// bodies' stores, streams, and a cache that already holds the whole mode).
bool copy_mode_half(Database *db, int32_t number, int set, const HalfCopy &copy) {
  if (db != nullptr && valid_set(set) && !names_pre_values(number, set)) {
    const int32_t index = find_mode(*db, number);
    if (index >= 0 && !holds_whole_mode(*db, set, index) &&
        (copy_kept_half(*db, index, set, copy) || split_mapped_mode(*db, index, set, copy)))
      return true;
  }
  return load_cached_mode(db, number, set, &copy) != nullptr;
}

}  // namespace

bool ReadModeRecords(Database &db, int set, int32_t index, int32_t first, int32_t count, double *values) {
  if (!valid_set(set) || index < 0 || index >= db.mode_count() || first < 0 || count < 0 ||
      first + count > db.set_count(set))
    return false;
  if (!read_stored_records(db, set, index, first, count, values)) {
    report_read_failure(set, db.mode_numbers[static_cast<std::size_t>(index)], false);
    return false;
  }
  convert_units(db, set, values, count);
  return true;
}

const double *LoadCachedMode(Database *db, int32_t number, int set) {
  return load_cached_mode(db, number, set, nullptr);
}

const double *LoadCachedModeIndex(Database *db, int32_t index, int set) {
  if (db == nullptr || !valid_set(set) || index < 0 || index >= db->mode_count()) return nullptr;
  return load_cache_index(db, index, set);
}

}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API int ZEL_ModeNodeCount(Database *db, int set) {
  return db != nullptr && valid_set(set) ? db->set_count(set) : 0;
}

ZEL_API int ZEL_ModeNodeID(Database *db, int set, int position) {
  if (db == nullptr || db->nodes.empty() || !valid_set(set) || position < 0 || position >= db->set_count(set))
    return 0;
  const int32_t node = set == kModeShapeSet
                           ? position
                           : db->sets[set].node_of_position[static_cast<std::size_t>(position)];
  return ZEL_NodeID(db, node);
}

ZEL_API int ZEL_ModeExist(Database *db, int set) {
  if (db == nullptr || !valid_set(set)) return 0;
  constexpr int kValueBlock[kValueSetCount] = {kModeShapesBlock, kModalStressBlock, kModalStrainBlock};
  return block_flag(*db, kValueBlock[set]) != 0 ? 1 : 0;
}

ZEL_API int ZEL_Double_Prec(Database *db) {
  return db != nullptr && stored_in_double_precision(*db, kModeShapeSet) ? 1 : 0;
}

ZEL_API int ZEL_Mode(Database *db, int number, int set, double *values, int component) {
  if (db == nullptr || values == nullptr || !valid_component(component)) return 0;
  return ZEL_GUARDED(0, {
    return copy_mode_half(db, number, set, HalfCopy{values, component}) ? 1 : 0;
  });
}

ZEL_API int ZEL_ModeByNode(Database *db, int number, int set, int id, double *values, int component) {
  if (values != nullptr) std::fill_n(values, 3, 0.0);
  if (db == nullptr || values == nullptr || !valid_component(component)) return 0;
  return ZEL_GUARDED(0, {
    const double *cached = LoadCachedMode(db, number, set);
    if (cached == nullptr) return 0;
    const int position = ZEL_ModeNodeIndex(db, set, id);
    if (position < 0 || position >= db->set_count(set)) return 0;
    std::copy_n(cached + 6 * static_cast<std::size_t>(position) + 3 * static_cast<std::size_t>(component), 3,
                values);
    return 1;
  });
}

ZEL_API int ZEL_Read_Mode_Single(Database *db, int number, int set, float *values) {
  return ZEL_GUARDED(0, { return read_mode_uncached(db, number, set, values); });
}

ZEL_API int ZEL_Read_Mode_Double(Database *db, int number, int set, double *values) {
  return ZEL_GUARDED(0, { return read_mode_uncached(db, number, set, values); });
}

ZEL_API int ZEL_Eigenvalue(Database *db, int number, double *eigenvalue, double *frequency,
                           double *circular_frequency, double *generalized_mass, double *generalized_stiffness) {
  if (db == nullptr) return 0;
  const int32_t index = find_mode(*db, number);
  if (index < 0) return 0;
  double *outputs[5] = {eigenvalue, frequency, circular_frequency, generalized_mass, generalized_stiffness};

  const std::size_t records =
      std::min(static_cast<std::size_t>(std::max(db->eigen_count, 0)), db->eigen.size() / 6);
  if (static_cast<std::size_t>(index) < records) {
    // Fields 1 to 5 of the record; field 0 is the mode number.
    const double *record = db->eigen.data() + 6 * static_cast<std::size_t>(index);
    for (std::size_t field = 0; field < 5; ++field) set_if_wanted(outputs[field], record[field + 1]);
    return 1;
  }

  const DiagonalScan stiffness = scan_diagonal(db->gen_stiff, index);
  const DiagonalScan mass = stiffness.diagonal ? scan_diagonal(db->gen_mass, index) : DiagonalScan{};
  if (!stiffness.diagonal || !mass.diagonal) {
    for (double *output : outputs) set_if_wanted(output, 0.0);
    return 0;
  }
  const double k = stiffness.value.value_or(0.0);
  const double m = mass.value.value_or(k > 1.0 ? kMissingMassRatio * k : kMissingMassRatio);
  set_if_wanted(generalized_stiffness, k);
  set_if_wanted(generalized_mass, m);
  // A massless mode has no finite eigenvalue or frequency: those outputs
  // are left as they were rather than given an infinity.
  if (m == 0.0) return 1;
  const double lambda = k / m;
  const double ucf = ZEL_UCF(db);
  const double omega = lambda >= 0.0 ? std::sqrt(ucf * k / m) : -std::sqrt(-ucf * k / m);
  set_if_wanted(eigenvalue, lambda);
  set_if_wanted(circular_frequency, omega);
  set_if_wanted(frequency, omega * kOneOverTwoPi);
  return 1;
}

}  // extern "C"
