// A write that reports success has written the body it was given: random
// bodies built through the builder, written under random option texts and
// read back through the library, against what the options predict (the
// encoding's precision, the unit factors of "MKS", the modes a frequency
// filter keeps, mass normalization, the nodes a node reduction keeps).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture.h"
#include "scoped_env.h"
#include "zel.h"

namespace {

using zel_test::capture;
using zel_test::ScopedEnv;
using zel_test::TempDir;
using Six = std::array<double, 6>;

constexpr double kTwoPi = 6.283185307179586;

// SI values of the units a body is declared in; none declared counts as SI.
struct UnitSystem {
  const char *mass, *length, *time, *force;
  double M, L, F;
};

constexpr UnitSystem kUnitSystems[] = {
    {nullptr, nullptr, nullptr, nullptr, 1.0, 1.0, 1.0},
    {"kg", "mm", "s", "N", 1.0, 1e-3, 1.0},
    {"MEGAGRAM", "MILLIMETER", "SECOND", "NEWTON", 1e3, 1e-3, 1.0},
    {"gram", "cm", "s", "dyne", 1e-3, 1e-2, 1e-5},
    {"kg", "m", "s", "N", 1.0, 1.0, 1.0},
};

struct BuiltNode {
  int id = 0;
  double x = 0, y = 0, z = 0, mass = 0;
  std::optional<Six> inertia;  // ixx, iyy, izz, ixy, ixz, iyz
};

// One value set's values: per mode, the six values of each node ID in it.
using SetValues = std::vector<std::map<int, Six>>;

struct BuiltBody {
  std::string title;
  int units = 0;
  std::vector<BuiltNode> nodes;
  std::vector<int> numbers;           // mode numbers, in mode index order
  std::vector<double> hertz, masses;  // per mode
  SetValues shapes, stresses, strains;
  std::map<int, Six> pre_stress, pre_strain;
  std::vector<std::vector<int>> faces;  // node IDs
  std::vector<int> interface_ids;
  std::vector<double> damping, preload, load;  // per mode, diagonal damping; empty when none

  double ucf() const {
    const UnitSystem &u = kUnitSystems[units];
    return u.F / (u.L * u.M);
  }
  const BuiltNode *node(int id) const {
    for (const BuiltNode &n : nodes)
      if (n.id == id) return &n;
    return nullptr;
  }
};

struct WriteChoice {
  bool no_xdr = false, single = false, full_str = false, sparse = false, mks = false, no_ortho = false, empty = false;
  int invariants = 0;  // 0 none, 1 fast_invar, 2 full_invar
  std::optional<double> low_pass, high_pass;
  std::string text;
};

class Random {
 public:
  explicit Random(uint64_t seed) : engine_(seed) {}
  double uniform(double low, double high) { return std::uniform_real_distribution<double>(low, high)(engine_); }
  int integer(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
  bool chance(double p) { return uniform(0.0, 1.0) < p; }
  Six six(double scale) {
    Six v;
    // Never zero: a zero node would change what sparse_str keeps.
    for (double &x : v) x = (chance(0.5) ? 1.0 : -1.0) * uniform(0.1, 1.0) * scale;
    return v;
  }
  std::mt19937_64 &engine() { return engine_; }

 private:
  std::mt19937_64 engine_;
};

std::vector<int> random_subset(Random &random, const std::vector<BuiltNode> &nodes, double share) {
  std::vector<int> ids;
  for (const BuiltNode &n : nodes)
    if (random.chance(share)) ids.push_back(n.id);
  return ids;
}

BuiltBody random_body(Random &random, int serial) {
  BuiltBody b;
  b.title = "body " + std::to_string(serial);
  b.units = random.integer(0, static_cast<int>(std::size(kUnitSystems)) - 1);
  const int node_count = random.integer(3, 30);
  int id = random.integer(1, 20);
  for (int p = 0; p < node_count; ++p) {
    BuiltNode n;
    n.id = id;
    id += random.integer(1, 5);
    n.x = random.uniform(-50, 50), n.y = random.uniform(-50, 50), n.z = random.uniform(-50, 50);
    n.mass = random.uniform(0.1, 3.0);
    if (random.chance(0.3))
      n.inertia = Six{random.uniform(1, 2), random.uniform(1, 2), random.uniform(1, 2), random.uniform(-0.5, 0.5),
                      random.uniform(-0.5, 0.5), random.uniform(-0.5, 0.5)};
    b.nodes.push_back(n);
  }
  const int faces = random.integer(0, 3);
  for (int f = 0; f < faces; ++f) {
    std::vector<int> face;
    const int corners = random.integer(3, std::min(4, node_count));
    const int start = random.integer(0, node_count - corners);
    for (int c = 0; c < corners; ++c) face.push_back(b.nodes[static_cast<std::size_t>(start + c)].id);
    b.faces.push_back(face);
  }
  if (random.chance(0.5)) b.interface_ids.push_back(b.nodes.back().id);

  const int modes = random.integer(0, 6);
  const bool unit_masses = random.chance(0.5);
  int number = random.integer(1, 50);
  const std::vector<int> stress_ids = random_subset(random, b.nodes, 0.4);
  const std::vector<int> strain_ids = random_subset(random, b.nodes, 0.3);
  for (int m = 0; m < modes; ++m) {
    b.numbers.push_back(number);
    number += random.integer(1, 3);
    b.hertz.push_back(random.uniform(0.5, 500.0));
    b.masses.push_back(unit_masses ? 1.0 : random.uniform(0.5, 4.0));
    std::map<int, Six> shape, stress, strain;
    for (const BuiltNode &n : b.nodes) shape[n.id] = random.six(1.0);
    for (const int s : stress_ids) stress[s] = random.six(1e3);
    for (const int s : strain_ids) strain[s] = random.six(1e-3);
    b.shapes.push_back(shape);
    b.stresses.push_back(stress);
    b.strains.push_back(strain);
  }
  if (modes > 0 && !stress_ids.empty())
    for (const int s : random_subset(random, b.nodes, 0.3)) b.pre_stress[s] = random.six(1e2);
  if (modes > 0 && !strain_ids.empty())
    for (const int s : random_subset(random, b.nodes, 0.3)) b.pre_strain[s] = random.six(1e-4);
  if (modes > 0 && random.chance(0.5))
    for (int m = 0; m < modes; ++m) b.damping.push_back(random.uniform(0.01, 1.0));
  if (modes > 0 && random.chance(0.5))
    for (int m = 0; m < modes; ++m) b.preload.push_back(random.uniform(-10, 10));
  if (modes > 0 && random.chance(0.5))
    for (int m = 0; m < modes; ++m) b.load.push_back(random.uniform(-10, 10));
  return b;
}

Database *build(const BuiltBody &b) {
  Database *db = ZEL_Create(static_cast<int>(b.nodes.size()), std::max<int>(1, static_cast<int>(b.numbers.size())));
  std::string title = b.title;
  char empty[] = "";
  ZEL_SetHeader(db, title.data(), empty, empty, empty, empty, empty);
  const UnitSystem &u = kUnitSystems[b.units];
  if (u.mass != nullptr) ZEL_SetUnits(db, u.mass, u.length, u.time, u.force);
  for (const BuiltNode &n : b.nodes) {
    ZEL_SetNodeCoordinates(db, n.id, n.x, n.y, n.z);
    ZEL_SetNodalMass(db, n.id, n.mass);
    if (n.inertia) {
      const Six &i = *n.inertia;
      ZEL_SetNodalInertia(db, n.id, i[0], i[1], i[2], i[3], i[4], i[5]);
    }
  }
  for (const std::vector<int> &face : b.faces) {
    if (face.size() == 3) ZEL_SetFace(db, 3, face[0], face[1], face[2]);
    else ZEL_SetFace(db, 4, face[0], face[1], face[2], face[3]);
  }
  for (const int id : b.interface_ids) ZEL_SetInterfaceNode(db, id);
  for (std::size_t m = 0; m < b.numbers.size(); ++m) {
    const int number = b.numbers[m];
    const SetValues *sets[3] = {&b.shapes, &b.stresses, &b.strains};
    for (int set = 0; set < 3; ++set)
      for (const auto &[id, values] : (*sets[set])[m]) {
        Six v = values;
        ZEL_SetModeVec(db, number, id, set, v.data());
      }
    const double omega = kTwoPi * b.hertz[m];
    ZEL_SetGeneralizedStiffness(db, number, number, b.masses[m] * omega * omega / b.ucf());
    ZEL_SetGeneralizedMass(db, number, number, b.masses[m]);
    if (!b.damping.empty()) ZEL_SetGeneralizedDamping(db, number, number, b.damping[m]);
    if (!b.preload.empty()) ZEL_SetModalPreload(db, number, b.preload[m]);
    if (!b.load.empty()) ZEL_SetModalLoad(db, 0, number, b.load[m]);
  }
  for (const auto &[id, values] : b.pre_stress) {
    Six v = values;
    ZEL_SetPreStressVec(db, id, v.data());
  }
  for (const auto &[id, values] : b.pre_strain) {
    Six v = values;
    ZEL_SetPreStrainVec(db, id, v.data());
  }
  return db;
}

// A frequency between two of the body's (or beyond them all), so that
// no rounding decides which side a mode falls on.
double limit_between(Random &random, const BuiltBody &b) {
  std::vector<double> sorted = b.hertz;
  sorted.push_back(0.0);
  sorted.push_back(1000.0);
  std::sort(sorted.begin(), sorted.end());
  const std::size_t k = static_cast<std::size_t>(random.integer(0, static_cast<int>(sorted.size()) - 2));
  return 0.5 * (sorted[k] + sorted[k + 1]);
}

WriteChoice random_choice(Random &random, const BuiltBody &b) {
  WriteChoice c;
  std::vector<std::string> words;
  const auto pick = [&](bool &flag, const char *word, double p) {
    flag = random.chance(p);
    if (flag) words.emplace_back(word);
  };
  pick(c.no_xdr, "no_xdr", 0.4);
  pick(c.single, "single", 0.4);
  pick(c.full_str, "full_str", 0.25);
  if (!c.full_str) pick(c.sparse, "sparse_str", 0.3);
  pick(c.mks, "MKS", 0.5);
  pick(c.no_ortho, "no_ortho", 0.15);
  if (!c.no_ortho) pick(c.empty, "empty", 0.08);
  // The principal-axes damping that invariants bring is not predicted here.
  if (!c.empty && b.damping.empty()) {
    c.invariants = random.integer(0, 2);
    if (c.invariants > 0) words.emplace_back(c.invariants == 1 ? "fast_invar" : "full_invar");
  }
  char argument[64];
  if (random.chance(0.4)) {
    c.low_pass = limit_between(random, b);
    std::snprintf(argument, sizeof argument, "lowpass(%.17g)", *c.low_pass);
    words.emplace_back(argument);
  }
  if (random.chance(0.3)) {
    c.high_pass = limit_between(random, b);
    std::snprintf(argument, sizeof argument, "highpass( %.6e )", *c.high_pass);
    words.emplace_back(argument);
    c.high_pass = std::strtod(argument + 10, nullptr);
  }
  std::shuffle(words.begin(), words.end(), random.engine());
  const char *separators[] = {" ", ",", "  ", ";", "\t"};
  for (std::size_t k = 0; k < words.size(); ++k) {
    if (k > 0) c.text += separators[random.integer(0, 4)];
    c.text += words[k];
  }
  return c;
}

// What the options make of the body: the modes exported (old indices),
// their scale, the unit factors, the nodes kept.
struct Prediction {
  int version = 0x3C;
  bool double_precision = true;
  std::vector<std::size_t> exported;
  std::vector<double> scale;  // per built mode: 1 / sqrt(generalized mass) once normalized
  double M = 1, L = 1, F = 1;
  std::set<int> kept;
  bool renumbered = true;
};

Prediction predict(const BuiltBody &b, const WriteChoice &c) {
  Prediction p;
  p.double_precision = !c.single;
  p.version = c.full_str ? (c.single ? (c.no_xdr ? 50 : 51) : (c.no_xdr ? 40 : 41)) : 0x3C;
  const UnitSystem &u = kUnitSystems[b.units];
  if (c.mks) p.M = u.M, p.L = u.L, p.F = u.F;
  const std::size_t n = b.numbers.size();
  for (std::size_t m = 0; m < n; ++m) p.scale.push_back(c.no_ortho ? 1.0 : 1.0 / std::sqrt(b.masses[m]));
  p.renumbered = !c.no_ortho;
  if (!c.empty) {
    std::size_t first = 0, last = n;
    if (!c.no_ortho) {
      const double high = c.high_pass.value_or(-1.0), low = c.low_pass.value_or(1e8);
      for (std::size_t m = n; m-- > 0;)
        if (b.hertz[m] > high) first = m;
      for (std::size_t m = n; m-- > 0;)
        if (b.hertz[m] > low) last = m;
      last = std::max(last, first);
    }
    for (std::size_t m = first; m < last; ++m) p.exported.push_back(m);
  }
  for (const BuiltNode &node : b.nodes) p.kept.insert(node.id);
  // Only a body drawn by faces is cut to the nodes that draw and hold it.
  if (c.invariants > 0 && !b.faces.empty()) {
    p.kept.clear();
    for (const std::vector<int> &face : b.faces) p.kept.insert(face.begin(), face.end());
    p.kept.insert(b.interface_ids.begin(), b.interface_ids.end());
  }
  return p;
}

// The comparison of one written body with what was predicted.
class Check {
 public:
  Check(const BuiltBody &b, const WriteChoice &c, const Prediction &p, Database *read)
      : b_(b), c_(c), p_(p), db_(read), tolerance_(p.double_precision ? 1e-12 : 1e-6) {}

  void near(double actual, double expected, const std::string &what, double magnitude = 0.0) {
    const double allowed = tolerance_ * std::max(std::fabs(expected), magnitude);
    EXPECT_LE(std::fabs(actual - expected), allowed) << what << ": " << actual << " against " << expected;
  }

  void header_and_units() {
    EXPECT_EQ(ZEL_Version(db_), p_.version);
    EXPECT_EQ(ZEL_Double_Prec(db_), p_.double_precision ? 1 : 0);
    char title[129] = {};
    ZEL_Header(db_, title, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(std::string(title), b_.title);
    const UnitSystem &u = kUnitSystems[b_.units];
    char units[4][17] = {};
    ZEL_Units(db_, units[0], units[1], units[2], units[3]);
    if (u.mass == nullptr || c_.mks) {
      EXPECT_STREQ(units[0], "KILOGRAM");
      EXPECT_STREQ(units[1], "METER");
    } else {
      char declared[17] = {};
      std::snprintf(declared, sizeof declared, "%s", u.length);
      ZEL_ConvertUnitsLabel(declared);
      EXPECT_STREQ(units[1], declared);
    }
  }

  void nodes() {
    ASSERT_EQ(ZEL_NodeCount(db_), static_cast<int>(p_.kept.size()));
    for (int index = 0; index < ZEL_NodeCount(db_); ++index) {
      const int id = ZEL_NodeID(db_, index);
      const BuiltNode *built = b_.node(id);
      ASSERT_TRUE(built != nullptr && p_.kept.count(id) == 1) << "node " << id;
      double xyz[3];
      ZEL_NodeCoordinates(db_, index, xyz);
      const double expected[3] = {built->x, built->y, built->z};
      for (int a = 0; a < 3; ++a) near(xyz[a], expected[a] * p_.L, "coordinate of " + std::to_string(id));
      near(ZEL_NodalMass(db_, index), built->mass * p_.M, "mass of " + std::to_string(id));
      double tensor[9] = {};
      EXPECT_EQ(ZEL_NodalInertia(db_, index, tensor), built->inertia ? 1 : 0) << id;
      if (built->inertia) {
        const Six &i = *built->inertia;
        const double row_order[9] = {i[0], i[3], i[4], i[3], i[1], i[5], i[4], i[5], i[2]};
        for (int k = 0; k < 9; ++k) near(tensor[k], row_order[k] * p_.M * p_.L * p_.L, "inertia of " + std::to_string(id));
      }
    }
  }

  void faces_and_interface() {
    int faces = 0, size = 0;
    ZEL_FaceListSize(db_, &faces, &size);
    ASSERT_EQ(faces, static_cast<int>(b_.faces.size()));
    std::vector<int> list(static_cast<std::size_t>(size));
    if (size > 0) ZEL_ElementFaces(db_, list.data());
    std::vector<std::vector<int>> written;
    for (std::size_t k = 0; k < list.size(); k += 1 + static_cast<std::size_t>(list[k])) {
      std::vector<int> face;
      for (int c = 1; c <= list[k]; ++c) face.push_back(ZEL_NodeID(db_, list[k + static_cast<std::size_t>(c)]));
      written.push_back(face);
    }
    EXPECT_EQ(written, b_.faces);
    int count = 0;
    int *ids = ZEL_InterfaceNodeIDs(db_, &count);
    EXPECT_EQ(std::vector<int>(ids, ids + count), b_.interface_ids);
    ZEL_FreeMemory(ids);
  }

  void modes() {
    ASSERT_EQ(ZEL_ModeCount(db_), static_cast<int>(p_.exported.size()));
    for (std::size_t k = 0; k < p_.exported.size(); ++k) {
      const std::size_t m = p_.exported[k];
      const int number = p_.renumbered ? static_cast<int>(k) + 1 : b_.numbers[m];
      EXPECT_EQ(ZEL_ModeNumber(db_, static_cast<int>(k)), number);
      mode_values(number, m);
      double lambda = 0, hertz = 0, mass = 0;
      ASSERT_EQ(ZEL_Eigenvalue(db_, number, &lambda, &hertz, nullptr, &mass, nullptr), 1);
      near(hertz, b_.hertz[m], "frequency of mode " + std::to_string(number));
      const double built_lambda = std::pow(kTwoPi * b_.hertz[m], 2) / b_.ucf();
      near(lambda, built_lambda * p_.F / (p_.M * p_.L), "eigenvalue of mode " + std::to_string(number));
      // Mass-normalized in the units written in, and converted with them.
      near(mass, (c_.no_ortho ? b_.masses[m] : 1.0) * p_.M * p_.L * p_.L, "generalized mass");
    }
  }

  // The stress and strain sets' nodes: the set as built, cut to the kept
  // nodes; sparse_str leaves out a node whose values are all zero (no
  // pre-values, no exported mode), full_str spreads a set over every node.
  void set_counts() {
    if (c_.empty) return;
    const std::map<int, Six> *pre[3] = {nullptr, &b_.pre_stress, &b_.pre_strain};
    const SetValues *sets[3] = {&b_.shapes, &b_.stresses, &b_.strains};
    for (int set = 1; set < 3; ++set) {
      if (sets[set]->empty() || sets[set]->front().empty()) continue;
      int expected = 0;
      for (const int id : p_.kept) {
        const bool modal = sets[set]->front().count(id) == 1;
        const bool pre_values = pre[set]->count(id) == 1;
        if (pre_values || (modal && (!c_.sparse || !p_.exported.empty()))) ++expected;
      }
      if (c_.full_str) expected = static_cast<int>(p_.kept.size());
      EXPECT_EQ(ZEL_ModeNodeCount(db_, set), expected) << "set " << set;
    }
  }

  // Blocks 31 and 32 (indices 30 and 31), in the file's units.
  void pre_values() {
    const std::pair<const std::map<int, Six> *, double> pre[3] = {
        {nullptr, 0.0}, {&b_.pre_stress, p_.F / (p_.L * p_.L)}, {&b_.pre_strain, 1.0}};
    for (int set = 1; set < 3; ++set) {
      const auto &[built, factor] = pre[set];
      const bool written = !built->empty() && !c_.empty;
      EXPECT_EQ(ZEL_Exists(db_, 29 + set), written ? 1 : 0) << "pre-values of set " << set;
      if (!written) continue;
      for (const int id : p_.kept) {
        const Six values = six_values(0, set, id);
        const auto found = built->find(id);
        for (int k = 0; k < 6; ++k)
          near(values[k], found == built->end() ? 0.0 : found->second[k] * factor, "pre-values of set " + std::to_string(set));
      }
    }
  }

  void loads() {
    const double factor = p_.L * p_.F;
    const std::pair<const std::vector<double> *, double *(*)(Database *, int *)> vectors[] = {
        {&b_.preload, [](Database *db, int *count) { return ZEL_GetModalPreload(db, count); }},
        {&b_.load, [](Database *db, int *count) { return ZEL_GetModalLoad(db, 0, count); }}};
    for (const auto &[built, fetch] : vectors) {
      if (built->empty() || p_.exported.empty()) continue;
      int count = 0;
      double *values = fetch(db_, &count);
      ASSERT_EQ(count, static_cast<int>(p_.exported.size()));
      for (std::size_t k = 0; k < p_.exported.size(); ++k) {
        const std::size_t m = p_.exported[k];
        near(values[k], (*built)[m] * p_.scale[m] * factor, "load of mode " + std::to_string(k + 1));
      }
      ZEL_FreeMemory(values);
    }
    if (b_.damping.empty() || p_.exported.empty()) return;
    const std::size_t e = p_.exported.size();
    std::vector<double> damping(e * e);
    ASSERT_EQ(ZEL_GenDampFull(db_, damping.data(), static_cast<int>(e)), 1);
    for (std::size_t k = 0; k < e; ++k) {
      const std::size_t m = p_.exported[k];
      near(damping[k * e + k], b_.damping[m] * p_.scale[m] * p_.scale[m] * p_.L * p_.F, "damping");
    }
  }

  void invariants() {
    if (c_.invariants == 0) return;
    EXPECT_EQ(ZEL_Exists(db_, 22), c_.invariants == 2 ? 1 : 0) << "invariant 5";
    double mass = 0.0, magnitude = 0.0;
    std::array<double, 3> moment{};
    for (const BuiltNode &n : b_.nodes) {
      mass += n.mass;
      moment[0] += n.mass * n.x, moment[1] += n.mass * n.y, moment[2] += n.mass * n.z;
      magnitude += n.mass * (std::fabs(n.x) + std::fabs(n.y) + std::fabs(n.z));
    }
    near(ZEL_Invar1(db_), mass * p_.M, "invariant 1");
    double *second = ZEL_Invar2(db_);
    ASSERT_NE(second, nullptr);
    for (int a = 0; a < 3; ++a) near(second[a], moment[a] * p_.M * p_.L, "invariant 2", magnitude * p_.M * p_.L);
    ZEL_FreeMemory(second);
    if (p_.exported.empty()) return;
    const std::size_t e = p_.exported.size();
    double *third = ZEL_Invar3(db_);
    ASSERT_NE(third, nullptr);
    for (std::size_t k = 0; k < e; ++k) {
      const std::size_t m = p_.exported[k];
      for (int a = 0; a < 3; ++a) {
        double sum = 0.0, size = 0.0;
        for (const BuiltNode &n : b_.nodes) {
          const double term = n.mass * b_.shapes[m].at(n.id)[static_cast<std::size_t>(a)] * p_.scale[m];
          sum += term;
          size += std::fabs(term);
        }
        near(third[static_cast<std::size_t>(a) * e + k], sum * p_.M * p_.L, "invariant 3", size * p_.M * p_.L);
      }
    }
    ZEL_FreeMemory(third);
  }

 private:
  Six six_values(int number, int set, int id) {
    Six v{};
    ZEL_ModeByNode(db_, number, set, id, v.data(), 0);
    ZEL_ModeByNode(db_, number, set, id, v.data() + 3, 1);
    return v;
  }

  // Every kept node of every set: the built values, scaled with the mode
  // and converted; zeros where the node has none in the set.
  void mode_values(int number, std::size_t m) {
    const SetValues *sets[3] = {&b_.shapes, &b_.stresses, &b_.strains};
    const double stress_factor = p_.F / (p_.L * p_.L);
    for (int set = 0; set < 3; ++set)
      for (const int id : p_.kept) {
        const Six actual = six_values(number, set, id);
        const auto found = (*sets[set])[m].find(id);
        for (int k = 0; k < 6; ++k) {
          const double unit = set == 0 ? (k < 3 ? p_.L : 1.0) : set == 1 ? stress_factor : 1.0;
          const double expected = found == (*sets[set])[m].end() ? 0.0 : found->second[k] * p_.scale[m] * unit;
          near(actual[k], expected, "set " + std::to_string(set) + " mode " + std::to_string(number) + " node " + std::to_string(id));
        }
      }
  }

  const BuiltBody &b_;
  const WriteChoice &c_;
  const Prediction &p_;
  Database *db_;
  double tolerance_;
};

TEST(WriteRoundTrip, RandomBodiesReadBackAsTheOptionsPredict) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  Random random(20240522);
  for (int serial = 0; serial < 40; ++serial) {
    const BuiltBody body = random_body(random, serial);
    const WriteChoice choice = random_choice(random, body);
    SCOPED_TRACE("body " + std::to_string(serial) + " written with \"" + choice.text + "\"");
    const Prediction prediction = predict(body, choice);
    const std::string path = dir.file("body" + std::to_string(serial) + ".zel");
    Database *db = build(body);
    int result = 0;
    zel_test::Printed printed;
    {
      ScopedEnv env("KOR_ZELWRITE_OPTIONS", choice.text);
      printed = capture([&] { result = ZEL_write_ZEL(db, path.c_str()); });
    }
    ZEL_UnLink(db);
    ASSERT_EQ(result, 1) << printed.err;
    Database *read = nullptr;
    capture([&] { read = ZEL_CreateFromZEL(path.c_str()); });
    ASSERT_NE(read, nullptr);
    Check check(body, choice, prediction, read);
    check.header_and_units();
    check.nodes();
    check.faces_and_interface();
    check.modes();
    check.set_counts();
    check.pre_values();
    check.loads();
    check.invariants();
    ZEL_UnLink(read);
  }
}

}  // namespace
