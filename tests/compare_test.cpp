// The file comparison: equivalent bodies pass whatever their units, node
// order or node subset; each kind of change fails at its own check; the
// cases that cannot go on stop the comparison, not the process.
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "body/database.h"
#include "capture.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace {

using zel_test::ZelBody;

// Values keyed by node ID, so that a body keeps them when its nodes are
// reordered or dropped: set, mode index, node ID, component.
double keyed_value(int set, int mode, int32_t id, int component) {
  return (set + 1) * 100.0 + (mode + 1) * 10.0 * (mode % 2 == 0 ? 1 : -1) + id * 0.5 + component * 0.125;
}

void key_values_by_id(zel_test::ModalValues &modal) {
  const int set = modal.set;
  const std::vector<int32_t> ids = modal.node_ids;
  modal.value = [set, ids](int mode, int position, int component) {
    return keyed_value(set, mode, ids[static_cast<std::size_t>(position)], component);
  };
}

// Drops from a stress or strain set, and from its pre-values, the nodes
// that a body no longer has.
void keep_set_nodes(zel_test::ModalValues &modal, std::vector<double> &pre_values, const std::vector<int> &new_index,
                    const std::vector<int32_t> &ids) {
  std::vector<int32_t> kept_ids;
  std::vector<double> kept_values;
  for (std::size_t p = 0; p < modal.node_ids.size(); ++p) {
    const auto node = std::find(ids.begin(), ids.end(), modal.node_ids[p]) - ids.begin();
    if (new_index[static_cast<std::size_t>(node)] < 0) continue;
    kept_ids.push_back(modal.node_ids[p]);
    kept_values.insert(kept_values.end(), pre_values.begin() + static_cast<std::ptrdiff_t>(6 * p),
                       pre_values.begin() + static_cast<std::ptrdiff_t>(6 * p + 6));
  }
  modal.node_ids = kept_ids;
  pre_values = kept_values;
}

// The sample body with values keyed by node ID and its nodes in `order`
// (positions of the sample's nodes); faces and interface nodes follow the
// nodes, and faces or interface nodes of dropped nodes go.
ZelBody body_with_nodes(const std::vector<int> &order) {
  ZelBody body = zel_test::sample_body(316);
  std::vector<int> new_index(body.nodes.size(), -1);
  std::vector<int32_t> body_ids;
  for (const auto &node : body.nodes) body_ids.push_back(node.id);
  std::vector<zel_test::BodyNode> nodes;
  for (int old_index : order) {
    new_index[static_cast<std::size_t>(old_index)] = static_cast<int>(nodes.size());
    nodes.push_back(body.nodes[static_cast<std::size_t>(old_index)]);
  }
  body.nodes = nodes;
  body.mode_shapes->node_ids.clear();
  for (const auto &node : nodes) body.mode_shapes->node_ids.push_back(node.id);
  zel_test::FaceList faces;
  const std::vector<int32_t> &list = body.faces->list;
  for (std::size_t at = 0; at < list.size(); at += static_cast<std::size_t>(list[at]) + 1) {
    std::vector<int32_t> face{list[at]};
    for (int32_t v = 1; v <= list[at]; ++v) face.push_back(new_index[static_cast<std::size_t>(list[at + v])]);
    if (std::find(face.begin() + 1, face.end(), -1) != face.end()) continue;
    faces.list.insert(faces.list.end(), face.begin(), face.end());
    ++faces.face_count;
  }
  body.faces = faces;
  std::vector<int32_t> interface;
  for (int32_t index : *body.interface_nodes)
    if (new_index[static_cast<std::size_t>(index)] >= 0) interface.push_back(new_index[static_cast<std::size_t>(index)]);
  body.interface_nodes = interface;
  keep_set_nodes(*body.stress, *body.pre_stress, new_index, body_ids);
  keep_set_nodes(*body.strain, *body.pre_strain, new_index, body_ids);
  for (auto *modal : {&*body.mode_shapes, &*body.stress, &*body.strain}) key_values_by_id(*modal);
  return body;
}

ZelBody keyed_body() { return body_with_nodes({0, 1, 2, 3}); }

// The keyed body with its first two modes only, and invariants computed
// from its nodes.
ZelBody keyed_body_with_two_modes() {
  ZelBody body = keyed_body();
  body.invariants = false;
  for (auto *modal : {&*body.mode_shapes, &*body.stress, &*body.strain}) modal->mode_count = 2;
  body.eigen->resize(12);
  body.gen_stiff->entries.resize(2);
  body.gen_mass->entries.resize(2);
  body.gen_damp->entries.resize(2);
  body.preload->values.resize(2);
  body.loads->mode_count = 2;
  for (auto &load_case : body.loads->cases) load_case.values.resize(2);
  body.transformation = zel_test::Transformation{{1, 2}, {1, 0.5, 0, 1}};
  body.statistics->resize(2);
  return body;
}

struct Outcome {
  int result;
  zel_test::Printed printed;
};

class CompareTest : public ::testing::Test {
 protected:
  Database *open(const ZelBody &body, const std::string &name) {
    const std::string path = dir_.file(name);
    EXPECT_TRUE(zel_test::write_zel_file(body, path));
    Database *db = ZEL_CreateFromZEL(path.c_str());
    EXPECT_NE(db, nullptr);
    return db;
  }
  Outcome compare(const ZelBody &fresh, const ZelBody &base, int verbosity, double tolerance = 1e-6) {
    Database *base_db = open(base, "base.zel");
    Database *fresh_db = open(fresh, "new.zel");
    Outcome outcome{};
    outcome.printed = zel_test::capture([&] { outcome.result = ZEL_Compare(base_db, fresh_db, verbosity, tolerance); });
    return outcome;
  }
  void TearDown() override {
    ZEL_Terminate();
    mode = 0;
  }

  zel_test::ScratchDir dir_;
};

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// ------------------------------------------------------------ full reports

const char kSelfReportVerbose[] =
    "->Building node map for shape modes. \n"
    "->Building node map for stress modes. \n"
    "->Building node map for strain modes. \n"
    "  Pass Version\n"
    "  Pass Title\n"
    "  Pass InputFileType\n"
    "  Pass Comment\n"
    "  Pass NodeCount: 4\n"
    "  Pass NodeCoordinates  Delta: 0.000000e+00\n"
    "  Pass TotalMass  Delta: 0.000000e+00\n"
    "  Pass TotalI  Delta: 0.000000e+00\n"
    "  Pass TotalCM  Delta: 0.000000e+00\n"
    "  Pass ModeCount\n"
    "  Pass MaxModeCount\n"
    "  Pass EigenvalueCount\n"
    "  Pass EigenValue: #1  Delta: 0.000000e+00\n"
    "  Pass EigenValue: #2  Delta: 0.000000e+00\n"
    "  Pass EigenValue: #3  Delta: 0.000000e+00\n"
    "  Pass Frequency  Delta: 0.000000e+00\n"
    "  Pass Radians  Delta: 0.000000e+00\n"
    "  Pass GeneralizedStiff  Delta: 0.000000e+00\n"
    "  Pass GeneralizedMass  Delta: 0.000000e+00\n"
    "  Pass EigenVector translational: #1  Delta: 0.000000e+00\n"
    "  Pass EigenVector rotational: #1  Delta: 0.000000e+00\n"
    "  Pass EigenVector translational: #2  Delta: 0.000000e+00\n"
    "  Pass EigenVector rotational: #2  Delta: 0.000000e+00\n"
    "  Pass EigenVector translational: #3  Delta: 0.000000e+00\n"
    "  Pass EigenVector rotational: #3  Delta: 0.000000e+00\n"
    "  Pass NodalMass  Delta: 0.000000e+00\n"
    "  Pass NodalI  Delta: 0.000000e+00\n"
    "  Pass Units\n"
    "  Pass GeneralizedStiffnessCount\n"
    "  Pass GeneralizedStiffnessListSize\n"
    "  Pass NumberOfGenStiff\n"
    "  Pass SparceStiffnessList\n"
    "  Pass SparceStiffness  Delta: 0.000000e+00\n"
    "  Pass GeneralizedMassCount\n"
    "  Pass GeneralizedMassListSize\n"
    "  Pass NumberOfGenMass\n"
    "  Pass SparceMassList\n"
    "  Pass SparceMass  Delta: 0.000000e+00\n"
    "  Pass FaceListSize\n"
    "  Pass FaceCount\n"
    "  Pass FaceList A\n"
    "  Pass ModeShape Transformation  Delta: 0.000000e+00\n"
    "  Pass InterfaceNodes\n"
    "  Pass Stress Mode: #1  Von Mises  Delta: 0.000000e+00\n"
    "  Pass Stress Mode: #2  Von Mises  Delta: 0.000000e+00\n"
    "  Pass Stress Mode: #3  Von Mises  Delta: 0.000000e+00\n"
    "  Pass Invar1  Delta: 0.000000e+00\n"
    "  Pass Invar2  Delta: 0.000000e+00\n"
    "  Pass Invar3  Delta: 0.000000e+00\n"
    "  Pass Invar4  Delta: 0.000000e+00\n"
    "  Pass Invar5  Delta: 0.000000e+00\n"
    "  Pass Invar7  Delta: 0.000000e+00\n"
    "  Pass Invar8  Delta: 0.000000e+00\n"
    "  Pass Invar9  Delta: 0.000000e+00\n"
    "  Pass Preload mode count\n"
    "  Pass Preload,  Delta: 0.000000e+00\n"
    "  Pass Modal Load Case count\n"
    "->Note new ZEL load case #2 not yet projected on principal axes\n"
    "->Note base ZEL load case #2 not yet projected on principal axes\n"
    "->Warning: Rigid body components (assumed first 6) won't be checked\n"
    "  Pass Modal Loads\n"
    "  Pass Strain Mode: #1  Von Mises  Delta: 0.000000e+00\n"
    "  Pass Strain Mode: #2  Von Mises  Delta: 0.000000e+00\n"
    "  Pass Strain Mode: #3  Von Mises  Delta: 0.000000e+00\n"
    "  Pass Pre-Stresses  Delta: 0.000000e+00\n"
    "  Pass Pre-Strains  Delta: 0.000000e+00\n"
    " Files are equivalent\n\n";

TEST_F(CompareTest, FileAgainstItsCopyPassesEveryCheckAtEachVerbosity) {
  const ZelBody body = keyed_body();
  const struct {
    int verbosity;
    std::string report;
  } levels[] = {
      {-1, ""},
      {0, ""},
      {1,
       "->Note new ZEL load case #2 not yet projected on principal axes\n"
       "->Note base ZEL load case #2 not yet projected on principal axes\n"
       "->Warning: Rigid body components (assumed first 6) won't be checked\n"
       " Files are equivalent\n\n"},
      {2, kSelfReportVerbose},
  };
  for (const auto &level : levels) {
    SCOPED_TRACE(level.verbosity);
    const Outcome outcome = compare(body, body, level.verbosity);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.printed.out, level.report);
    EXPECT_EQ(outcome.printed.err, "");
    ZEL_Terminate();
  }
}

// ------------------------------------------------------------ equivalents

TEST_F(CompareTest, EquivalentBodiesPassWithTheirWarnings) {
  const auto flipped_mode = [] {
    ZelBody body = keyed_body();
    const auto base_value = body.mode_shapes->value;
    body.mode_shapes->value = [base_value](int m, int p, int c) { return (m == 0 ? -1.0 : 1.0) * base_value(m, p, c); };
    return body;
  };
  const auto repeated = [](bool swapped) {
    ZelBody body = keyed_body();
    for (int column : {1, 2, 3, 4, 5}) (*body.eigen)[12 + column] = (*body.eigen)[6 + column];
    (*body.gen_stiff).entries[2].value = 9.0;
    if (swapped) {
      const auto base_value = body.mode_shapes->value;
      body.mode_shapes->value = [base_value](int m, int p, int c) { return base_value(m == 0 ? 0 : 3 - m, p, c); };
    }
    return body;
  };
  const auto flipped_load = [] {
    ZelBody body = keyed_body();
    body.loads->cases[0].values[2] = -body.loads->cases[0].values[2];
    return body;
  };
  const auto without_stress = [] {
    ZelBody body = keyed_body();
    body.stress.reset();
    body.pre_stress.reset();
    return body;
  };
  const auto interface_reversed = [] {
    ZelBody body = keyed_body();
    std::reverse(body.interface_nodes->begin(), body.interface_nodes->end());
    return body;
  };
  const struct {
    const char *name;
    ZelBody fresh, base;
    std::string remarks;  // at verbosity 1
  } cases[] = {
      {"reordered nodes", body_with_nodes({3, 1, 0, 2}), keyed_body(), ""},
      {"node subset", body_with_nodes({3, 0, 1}), keyed_body(),
       "->Warning NodeCount base: 4  new: 3\n"
       "->Warning FaceListSize\n"
       "->Warning FaceCount\n"
       "->Warning NodeCount for Stress modes base: 2  new: 1\n"
       "->Warning Pre-Stress NodeCount differ... base: 2  new: 1\n"},
      {"mode with flipped sign", flipped_mode(), keyed_body(), ""},
      {"repeated eigenvalue, modes swapped", repeated(true), repeated(false), ""},
      {"load component with flipped sign", flipped_load(), keyed_body(),
       "->Warning: Modal load component 2 differs in sign for case #1\n"},
      {"stresses only in the new file", keyed_body(), without_stress(),
       "->Note block 18 modal_stress: exists new: 1  exists base: 0\n"
       "->Note block 31 pre_stress: exists new: 1  exists base: 0\n"
       "->Warning: No comparison performed on block 18 modal_stress\n"
       "->Warning: No comparison performed on block 31 pre_stress\n"},
      {"interface nodes in another order", interface_reversed(), keyed_body(), ""},
  };
  const std::string load_notes =
      "->Note base ZEL load case #2 not yet projected on principal axes\n"
      "->Note new ZEL load case #2 not yet projected on principal axes\n"
      "->Warning: Rigid body components (assumed first 6) won't be checked\n";
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = compare(c.fresh, c.base, 1);
    EXPECT_EQ(outcome.result, 0);
    std::string remarks;
    for (const std::string &line : lines_of(outcome.printed.out))
      if (line.rfind("->", 0) == 0 && load_notes.find(line) == std::string::npos) remarks += line + "\n";
    EXPECT_EQ(remarks, c.remarks);
    ZEL_Terminate();
  }
}

// Each file's arrays are addressed with its own mode count and only the
// common modes are compared: the invariants of both (computed from the
// same nodes) agree; the entry lists of different lengths fail.
TEST_F(CompareTest, FilesWithOtherModeCountsCompareTheirCommonModes) {
  ZelBody without_invariants = keyed_body();
  without_invariants.invariants = false;
  const Outcome outcome = compare(keyed_body_with_two_modes(), without_invariants, 1);
  EXPECT_EQ(outcome.result, -2);
  EXPECT_EQ(outcome.printed.out,
            "->Warning ModeCount\n"
            "->Warning EigenvalueCount\n"
            "->Fail GeneralizedStiffnessCount\n"
            "->Warning NumberOfGenStiff  new:  2  base:  3\n"
            "->Fail GeneralizedMassCount\n"
            "->Warning NumberOfGenMass  new:  2  base:  3\n"
            "->Warning Preload mode count mismatch\n"
            "->Warning Modal Load Case #1 value count mismatch\n"
            "->Warning Modal Load Case #2 value count mismatch\n"
            "->Note new ZEL load case #2 not yet projected on principal axes\n"
            "->Note base ZEL load case #2 not yet projected on principal axes\n"
            "->Warning: Rigid body components (assumed first 6) won't be checked\n"
            "->Files differ\n\n");
}

// A body already converted to SI is not converted again; one in other
// units is, in place, and stays in SI.
TEST_F(CompareTest, BodiesInOtherUnitsAreComparedInSi) {
  const ZelBody body = keyed_body();
  Database *base = open(body, "base.zel");
  Database *fresh = open(body, "new.zel");
  ASSERT_EQ(ZEL_SetUnits(base, "kg", "m", "s", "n"), 1);
  double x_before[3], x_after[3];
  ZEL_NodeCoordinates(base, 1, x_before);
  int result = -1;
  const auto printed = zel_test::capture([&] { result = ZEL_Compare(base, fresh, 0, 1e-9); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed.out, "");
  ZEL_NodeCoordinates(base, 1, x_after);
  EXPECT_EQ(x_after[0], x_before[0]);
  ZEL_NodeCoordinates(fresh, 1, x_after);
  EXPECT_EQ(x_after[0], x_before[0]);
  EXPECT_DOUBLE_EQ(x_after[0], 2.0e-3);
}

// A database compared with itself passes silently.
TEST_F(CompareTest, SelfComparisonPassesSilently) {
  Database *db = open(keyed_body(), "self.zel");
  int result = -99;
  const zel_test::Printed printed = zel_test::capture([&] { result = ZEL_Compare(db, db, 0, 1e-9); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed.out + printed.err, "");
}

// Values of either file that cannot be read stop the comparison: compared
// as zeros they would let two different files pass.
TEST_F(CompareTest, WhatCannotBeReadStopsTheComparison) {
  ZelBody computed = keyed_body();
  computed.invariants = false;
  const struct {
    const char *name;
    ZelBody fresh, base;
    std::function<void(Database *fresh, Database *base)> damage;
    std::string out, err;
  } cases[] = {
      {"base mode shape", keyed_body(), keyed_body(),
       [](Database *, Database *base) { base->temp_slot_offset[0][1] = int64_t{1} << 40; },
       "->Fail Cannot read shape mode #2 of the base file (Exit)\n\n", "ERROR:  Problem reading mode shape 2\n"},
      {"new mode shape", keyed_body(), keyed_body(),
       [](Database *fresh, Database *) { fresh->temp_slot_offset[0][2] = int64_t{1} << 40; },
       "->Fail Cannot read shape mode #3 of the new file (Exit)\n\n", "ERROR:  Problem reading mode shape 3\n"},
      {"new stress mode", keyed_body(), keyed_body(),
       [](Database *fresh, Database *) { fresh->temp_slot_offset[1][0] = int64_t{1} << 40; },
       "->Fail Cannot read stress mode #1 of the new file (Exit)\n\n", "ERROR:  Problem reading modal stress vector 1\n"},
      {"base pre-strain", keyed_body(), keyed_body(), [](Database *, Database *base) { base->pre_strain.clear(); },
       "->Fail Cannot read Pre-Strain of the base file (Exit)\n\n", "ERROR:  Problem reading pre strain vector\n"},
      // Only the new file has mode 3: its invariants are the first to read it.
      {"invariant of the new file", computed, keyed_body_with_two_modes(),
       [](Database *fresh, Database *) { fresh->temp_slot_offset[0][2] = int64_t{1} << 40; },
       "->Fail GeneralizedStiffnessCount\n->Fail GeneralizedMassCount\n"
       "->Fail Cannot read Invar3 of the new file (Exit)\n\n",
       "ERROR:  Problem reading mode shape 3\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Database *base = open(c.base, "base.zel");
    Database *fresh = open(c.fresh, "new.zel");
    c.damage(fresh, base);
    int result = 0;
    const zel_test::Printed printed = zel_test::capture([&] { result = ZEL_Compare(base, fresh, 0, 1e-9); });
    EXPECT_EQ(result, ZEL_COMPARE_STOPPED);
    EXPECT_EQ(printed.out, c.out);
    EXPECT_EQ(printed.err, c.err);
    ZEL_Terminate();
  }
}

// A lone mode's remainder comes from the gather's sums where the base
// mode is the new one, or its reverse on the side guessed from the first
// nodes, but for a part orthogonal to it; otherwise from a second pass.
// Either way the delta is that of a direct computation, also where the
// guess was wrong and a remainder taken from the sums would be lost to
// cancellation.
TEST_F(CompareTest, LoneModeDeltaWhicheverSideTheBaseModeLies) {
  constexpr int kNodes = 200, kGuessed = 64;
  const auto fresh_value = [](int p, int c) { return p < kGuessed ? 1e-5 * (c + 1) : std::sin(0.37 * p + c); };
  const auto body_of = [](const std::function<double(int, int)> &value) {
    ZelBody body;
    body.version = 60;
    body.inertias = false;
    body.invariants = false;
    zel_test::ModalValues modes;
    for (int32_t id = 1; id <= kNodes; ++id) {
      body.nodes.push_back({id, 0.01 * id, 0.0, 0.0, 1.0, std::nullopt});
      modes.node_ids.push_back(id);
    }
    modes.mode_count = 1;
    modes.value = [value](int, int p, int c) { return value(p, c); };
    body.mode_shapes = modes;
    body.eigen = std::vector<double>{1.0, 100.0, 10.0 / (2 * M_PI), 10.0, 1.0, 100.0};
    return body;
  };
  // Orthogonal to the new mode: the two products cancel.
  const auto bump = [&](int p, int c) {
    if (p == 150 && c == 1) return 1e-6 * fresh_value(170, 2);
    if (p == 170 && c == 2) return -1e-6 * fresh_value(150, 1);
    return 0.0;
  };
  const struct {
    const char *name;
    std::function<double(int, int)> base;
  } cases[] = {
      {"same mode", [&](int p, int c) { return fresh_value(p, c) + bump(p, c); }},
      {"reversed mode", [&](int p, int c) { return -fresh_value(p, c) + bump(p, c); }},
      {"reversed mode, guessed wrong",
       [&](int p, int c) { return (p < kGuessed ? 1.0 : -1.0) * fresh_value(p, c) + bump(p, c); }},
      {"scaled mode", [&](int p, int c) { return 1.5 * fresh_value(p, c) + bump(p, c); }},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    long double rr = 0, bb = 0, br = 0;
    for (int p = 0; p < kNodes; ++p)
      for (int k = 0; k < 3; ++k) {
        const long double r = c.base(p, k), b = fresh_value(p, k);
        rr += r * r, bb += b * b, br += b * r;
      }
    long double remainder = 0;
    for (int p = 0; p < kNodes; ++p)
      for (int k = 0; k < 3; ++k) {
        const long double r = c.base(p, k) - br / bb * fresh_value(p, k);
        remainder += r * r;
      }
    const double expected = static_cast<double>(std::sqrt(remainder / rr));
    const Outcome outcome = compare(body_of(fresh_value), body_of(c.base), 2, 1e-3);
    const std::string label = "EigenVector translational: #1  Delta: ";
    const std::size_t at = outcome.printed.out.find(label);
    ASSERT_NE(at, std::string::npos) << outcome.printed.out;
    EXPECT_NEAR(std::stod(outcome.printed.out.substr(at + label.size())), expected, 1e-6 * expected);
    ZEL_Terminate();
  }
}

// ------------------------------------------------------------ failures

TEST_F(CompareTest, EachChangeFailsAtItsCheck) {
  const auto changed = [](const std::function<void(ZelBody &)> &change) {
    ZelBody body = keyed_body();
    change(body);
    return body;
  };
  const struct {
    const char *name;
    ZelBody fresh;
    int result;
    std::string failures;  // at verbosity 0
  } cases[] = {
      {"eigenvalue", changed([](ZelBody &b) { (*b.eigen)[7] = 9.5; }), -1, "->Fail Eigenvalues\n"},
      {"eigenvalue NaN", changed([](ZelBody &b) { (*b.eigen)[7] = std::numeric_limits<double>::quiet_NaN(); }), -1,
       "->Fail Eigenvalues\n"},
      {"mode shape", changed([](ZelBody &b) {
         const auto base_value = b.mode_shapes->value;
         b.mode_shapes->value = [base_value](int m, int p, int c) { return base_value(m, p, c) + (m == 1 && p == 2 && c == 0); };
       }),
       -1, "->Fail ModeShape, 1 times\n"},
      {"mode shape NaN", changed([](ZelBody &b) {
         const auto base_value = b.mode_shapes->value;
         b.mode_shapes->value = [base_value](int m, int p, int c) {
           return m == 1 && p == 2 && c == 0 ? std::numeric_limits<double>::quiet_NaN() : base_value(m, p, c);
         };
       }),
       -1, "->Fail ModeShape, 1 times\n"},
      {"every rotation zeroed", changed([](ZelBody &b) {
         const auto base_value = b.mode_shapes->value;
         b.mode_shapes->value = [base_value](int m, int p, int c) { return c < 3 ? base_value(m, p, c) : 0.0; };
       }),
       -3, "->Fail ModeShape, 3 times\n"},
      {"nodal mass", changed([](ZelBody &b) { b.nodes[2].mass += 1.0; }), -1,
       "->Fail NodalMass  Delta: 2.222222e-01\n"},
      {"generalized mass", changed([](ZelBody &b) { b.gen_mass->entries[1].value = 1.5; }), -1,
       "->Fail SparceMass  Delta: 5.000000e-04\n"},
      // The global properties are recomputed from the invariants.
      {"invariants", changed([](ZelBody &b) { b.invariants = false; }), -11,
       "->Fail TotalMass  Delta: 4.700000e+01\n"
       "->Fail TotalI  Delta: 2.307500e-01\n"
       "->Fail TotalCM  Delta: 5.916667e-03\n"
       "->Fail Invar1  Delta: 4.700000e+01\n"
       "->Fail Invar2  Delta: 35.750000\n"
       "->Fail Invar3  Delta: 7.714444e+02\n"
       "->Fail Invar4  Delta: 9.873844e+00\n"
       "->Fail Invar5  Delta: 1.557500e-01\n"
       "->Fail Invar7  Delta: 2.307500e-01\n"
       "->Fail Invar8  Delta: 7.696438e+00\n"
       "->Fail Invar9  Delta: 5.036704e+02\n"},
      {"faces", changed([](ZelBody &b) { b.faces->list = {4, 0, 1, 3, 2, 3, 0, 1, 3}; }), -1, "->Fail FaceList\n"},
      {"interface nodes", changed([](ZelBody &b) { b.interface_nodes = std::vector<int32_t>{0, 2}; }), -1,
       "->Fail InterfaceNodes\n"},
      {"pre-stress", changed([](ZelBody &b) { (*b.pre_stress)[7] += 4.0; }), -1,
       "->Fail Pre-Stress Max at Node: #10 Comp: #1  Delta: 2.414287e-01\n"},
      {"input file type", changed([](ZelBody &b) { b.header.input_file_type = "OTHER"; }), -1,
       "->Fail InputFileType\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = compare(c.fresh, keyed_body(), 0);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.printed.out, c.failures);
    ZEL_Terminate();
  }
}

// Each column of the eigenvalue records fails under its own name (shown
// from verbosity 1). Mode 2 has 3 rad/s; its generalized mass 1 Mg mm^2
// and stiffness 9 N mm are 1e-3 and 9e-3 in SI. Without a seventh mode
// the reference in the denominators is 1.
TEST_F(CompareTest, EachEigenvalueColumnFailsUnderItsName) {
  const struct {
    int slot;  // of mode 2's record: number, eigenvalue, Hz, rad/s, mass, stiffness
    double value;
    std::string failure;
  } cases[] = {
      {2, 0.75, "->Fail Frequency  Delta: 1.844614e-01\n"},
      {3, 4.5, "->Fail Radians  Delta: 3.750000e-01\n"},
      {4, 1.5, "->Fail GeneralizedMass  Delta: 4.995005e-04\n"},
      {5, 9.5, "->Fail GeneralizedStiff  Delta: 4.955401e-04\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.failure);
    ZelBody fresh = keyed_body();
    (*fresh.eigen)[static_cast<std::size_t>(6 + c.slot)] = c.value;
    const Outcome outcome = compare(fresh, keyed_body(), 1);
    EXPECT_EQ(outcome.result, -1);
    std::string failures;
    for (const std::string &line : lines_of(outcome.printed.out))
      if (line.rfind("->Fail", 0) == 0) failures += line + "\n";
    EXPECT_EQ(failures, c.failure);
    ZEL_Terminate();
  }
}

// ------------------------------------------------------------ stops

TEST_F(CompareTest, ExitCasesStopTheComparisonAndReturnStopped) {
  const auto extra_node = [] {
    ZelBody body = keyed_body();
    body.nodes.push_back({50, 5.0, 2.5, -5.0, 5.5, std::nullopt});
    body.mode_shapes->node_ids.push_back(50);
    key_values_by_id(*body.mode_shapes);
    return body;
  };
  const auto without_mode_shapes = [] {
    ZelBody body = keyed_body();
    body.mode_shapes.reset();
    return body;
  };
  const auto stress_node_added = [] {
    ZelBody body = keyed_body();
    body.stress->node_ids.push_back(20);
    key_values_by_id(*body.stress);
    body.pre_stress->resize(18);
    return body;
  };
  const struct {
    const char *name;
    ZelBody fresh;
    std::string report;  // at verbosity 0
  } cases[] = {
      {"node missing in base", extra_node(), "->Fail Node 50 does not exist in base file (Exit)\n\n"},
      {"no mode shapes", without_mode_shapes(), "->Fail no mode_shapes (Exit)\n\n"},
      {"stress node missing in base", stress_node_added(),
       "->Fail Node 20 does not exist for stress modes in base file.\n"
       "->Try transposing input ZELs. (Exit)\n\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = compare(c.fresh, keyed_body(), 0);
    EXPECT_EQ(outcome.result, ZEL_COMPARE_STOPPED);
    EXPECT_EQ(outcome.printed.out, c.report);
    ZEL_Terminate();
  }
  int result = 0;
  const auto printed = zel_test::capture([&] { result = ZEL_Compare(nullptr, nullptr, 2, 1e-6); });
  EXPECT_EQ(result, ZEL_COMPARE_STOPPED);
  EXPECT_EQ(printed.err, "ERROR:  The database has not been initialized.\n");
}

// ------------------------------------------------------------ settings

// `mode` 1 passes the checks of blocks one file lacks; `info` is the
// caller's and is never written.
TEST_F(CompareTest, MissingBlocksPassWithModeOneAndInfoIsLeftAlone) {
  ZelBody fresh = keyed_body();
  fresh.masses = false;
  fresh.global_properties.reset();
  info = 7;
  mode = 1;
  const Outcome outcome = compare(fresh, keyed_body(), 1);
  EXPECT_EQ(info, 7);
  info = 1;
  EXPECT_EQ(outcome.result, 0);
  const std::vector<std::string> lines = lines_of(outcome.printed.out);
  for (const char *expected : {"->Note block 6 global_body_props: exists new: 0  exists base: 1",
                               "->Note block 9 nodal_masses: exists new: 0  exists base: 1",
                               "->Note block_6__global_body_props not checked",
                               "->Note block_9__nodal_masses not checked"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
}

}  // namespace
