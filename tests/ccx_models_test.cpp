// Cantilevers meshed here, solved by the solver, translated and checked
// against beam theory and the body's own sums.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "capture.h"
#include "ccx_jobs.h"
#include "from_ccx.h"
#include "input_error.h"
#include "scoped_env.h"
#include "scratch_dir.h"
#include "translate.h"
#include "zel.h"

namespace {

constexpr double kYoung = 210e9, kPoisson = 0.3, kDensity = 7850.0;
constexpr double kPi = 3.14159265358979323846;

// A box [0, L] x [0, h] x [0, b] of nx x ny x nz cells, clamped at x = 0.
struct Beam {
  const char *type;  // C3D8I, C3D20R or C3D10 (each cell split into six tetrahedra)
  int nx, ny, nz;
  double length = 1.0, height = 0.03, width = 0.045;
};

void PrintTo(const Beam &beam, std::ostream *out) { *out << beam.type; }

// Nodes sit on a grid of half cells, so that mid-side nodes are grid points.
class BeamMesh {
 public:
  explicit BeamMesh(const Beam &beam) : beam_(beam) {
    const std::string type = beam.type;
    for (int k = 0; k < beam.nz; ++k)
      for (int j = 0; j < beam.ny; ++j)
        for (int i = 0; i < beam.nx; ++i) {
          if (type == "C3D10")
            add_tetrahedra(2 * i, 2 * j, 2 * k);
          else
            add_brick(2 * i, 2 * j, 2 * k, type == "C3D20R");
        }
  }

  std::string deck() const {
    std::ostringstream out;
    out.precision(17);
    out << "*HEADING\nCantilever of " << beam_.type << "\n*NODE, NSET=NALL\n";
    for (int id : used_) {
      const auto p = position(id);
      out << id << ", " << p[0] << ", " << p[1] << ", " << p[2] << "\n";
    }
    out << "*ELEMENT, TYPE=" << beam_.type << ", ELSET=EALL\n";
    for (size_t e = 0; e < elements_.size(); ++e) {
      out << e + 1;
      for (size_t k = 0; k < elements_[e].size(); ++k) out << (k == 15 ? ",\n" : ", ") << elements_[e][k];
      out << "\n";
    }
    out << "*NSET, NSET=FIXED\n";
    for (int id : used_)
      if (position(id)[0] == 0.0) out << id << ",\n";
    out << "*MATERIAL, NAME=STEEL\n*ELASTIC\n" << kYoung << ", " << kPoisson << "\n*DENSITY\n" << kDensity << "\n"
        << "*SOLID SECTION, ELSET=EALL, MATERIAL=STEEL\n*BOUNDARY\nFIXED, 1, 3\n"
        << "*STEP\n*FREQUENCY\n4\n*NODE FILE\nU\n*EL FILE\nS, E\n*END STEP\n";
    return out.str();
  }

  int fixed_count() const {
    int count = 0;
    for (int id : used_) count += position(id)[0] == 0.0;
    return count;
  }

 private:
  int id(int i, int j, int k) const { return 1 + i + (2 * beam_.nx + 1) * (j + (2 * beam_.ny + 1) * k); }

  std::array<double, 3> position(int id) const {
    const int row = 2 * beam_.nx + 1, layer = row * (2 * beam_.ny + 1);
    const int i = (id - 1) % row, j = (id - 1) % layer / row, k = (id - 1) / layer;
    return {beam_.length * i / (2 * beam_.nx), beam_.height * j / (2 * beam_.ny), beam_.width * k / (2 * beam_.nz)};
  }

  using Grid = std::array<int, 3>;

  void add(const std::vector<Grid> &nodes) {
    std::vector<int> ids;
    for (const Grid &g : nodes) {
      ids.push_back(id(g[0], g[1], g[2]));
      used_.insert(ids.back());
    }
    elements_.push_back(ids);
  }

  static Grid middle(const Grid &a, const Grid &b) {
    return {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2};
  }

  void add_brick(int i, int j, int k, bool quadratic) {
    std::vector<Grid> nodes = {{i, j, k},         {i + 2, j, k},     {i + 2, j + 2, k},     {i, j + 2, k},
                               {i, j, k + 2},     {i + 2, j, k + 2}, {i + 2, j + 2, k + 2}, {i, j + 2, k + 2}};
    if (quadratic) {
      const int edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
      for (const auto &edge : edges) nodes.push_back(middle(nodes[edge[0]], nodes[edge[1]]));
    }
    add(nodes);
  }

  static int signed_volume(const std::vector<Grid> &t) {
    int e[3][3];
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) e[r][c] = t[r + 1][c] - t[0][c];
    return e[0][0] * (e[1][1] * e[2][2] - e[1][2] * e[2][1]) - e[0][1] * (e[1][0] * e[2][2] - e[1][2] * e[2][0]) +
           e[0][2] * (e[1][0] * e[2][1] - e[1][1] * e[2][0]);
  }

  // The six tetrahedra around the cell's diagonal, one per order of the
  // axes: the same split in every cell keeps the mesh conforming.
  void add_tetrahedra(int i, int j, int k) {
    int axes[3] = {0, 1, 2};
    do {
      Grid corner = {i, j, k};
      std::vector<Grid> nodes = {corner};
      for (int axis : axes) {
        corner[axis] += 2;
        nodes.push_back(corner);
      }
      if (signed_volume(nodes) < 0) std::swap(nodes[1], nodes[2]);
      const int edges[6][2] = {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}};
      for (const auto &edge : edges) nodes.push_back(middle(nodes[edge[0]], nodes[edge[1]]));
      add(nodes);
    } while (std::next_permutation(axes, axes + 3));
  }

  Beam beam_;
  std::set<int> used_;
  std::vector<std::vector<int>> elements_;
};

// Runs the solver on dir/job.inp; false when it fails.
bool solve(const zel_test::ScratchDir &dir) {
  const std::string command = "cd '" + dir.file("") + "' && ccx -i job > ccx.log 2>&1";
  return std::system(command.c_str()) == 0 && std::ifstream(dir.file("job.frd")).good();
}

// First bending frequencies of a clamped beam about its weak and strong axes.
std::array<double, 2> euler_bernoulli(const Beam &beam) {
  const double beta_l = 1.8751040687119611, area = beam.height * beam.width;
  const double weak = beam.width * std::pow(beam.height, 3) / 12, strong = beam.height * std::pow(beam.width, 3) / 12;
  const double factor = beta_l * beta_l / (2 * kPi * beam.length * beam.length);
  return {factor * std::sqrt(kYoung * weak / (kDensity * area)), factor * std::sqrt(kYoung * strong / (kDensity * area))};
}

using zel_test::Translated;

int run_command(std::vector<std::string> arguments) {
  std::vector<char *> argv;
  for (std::string &argument : arguments) argv.push_back(argument.data());
  return zel_from_ccx(static_cast<int>(argv.size()), argv.data());
}

template <class Base>
class SolverFixture : public Base {
 protected:
  void SetUp() override {
    if (!zel_test::solver_present()) GTEST_SKIP() << "ccx is not installed";
  }
  zel_test::PrivateStoreDirectory stores_;
  zel_test::ScopedEnv options_{"KOR_ZELWRITE_OPTIONS", std::nullopt};
};
using CcxModel = SolverFixture<::testing::TestWithParam<Beam>>;
using CcxShearWave = SolverFixture<::testing::Test>;

// The six values per node of one mode of a value set, by node ID.
std::map<int, std::array<double, 6>> nodal_values(Database *db, int mode, int set) {
  const int count = ZEL_ModeNodeCount(db, set);
  std::vector<double> values(6 * static_cast<size_t>(count));
  std::map<int, std::array<double, 6>> by_node;
  if (ZEL_Read_Mode_Double(db, mode, set, values.data()) != 1) return by_node;
  for (int p = 0; p < count; ++p) std::copy_n(values.begin() + 6 * p, 6, by_node[ZEL_ModeNodeID(db, set, p)].begin());
  return by_node;
}

// The stresses follow from the strains by Hooke's law when these hold
// engineering shear strains (tau = G gamma) in the stresses' order. The
// printed values keep six digits.
void expect_hookes_law(Database *db, int mode) {
  const std::map<int, std::array<double, 6>> stress = nodal_values(db, mode, 1), strain = nodal_values(db, mode, 2);
  ASSERT_FALSE(stress.empty());
  ASSERT_EQ(stress.size(), strain.size());
  const double shear = kYoung / (2 * (1 + kPoisson));
  const double lame = kYoung * kPoisson / ((1 + kPoisson) * (1 - 2 * kPoisson));
  double largest[2] = {0.0, 0.0}, worst[2] = {0.0, 0.0};  // normal, shear
  for (const auto &[id, sigma] : stress) {
    const std::array<double, 6> &e = strain.at(id);
    for (int c = 0; c < 6; ++c) {
      const double expected = c < 3 ? lame * (e[0] + e[1] + e[2]) + 2 * shear * e[c] : shear * e[c];
      largest[c / 3] = std::max(largest[c / 3], std::fabs(sigma[c]));
      worst[c / 3] = std::max(worst[c / 3], std::fabs(sigma[c] - expected));
    }
  }
  EXPECT_LT(worst[0], 1e-4 * largest[0]) << "normal stresses of mode " << mode;
  EXPECT_LT(worst[1], 1e-4 * largest[1]) << "shear stresses of mode " << mode;
}

// Every face of the skin lies in one side of the box: no face inside.
void expect_skin_on_the_box(Database *db, const Beam &beam) {
  int faces = 0, size = 0;
  ZEL_FaceListSize(db, &faces, &size);
  std::vector<int> list(size);
  ZEL_ElementFaces(db, list.data());
  const double sides[3] = {beam.length, beam.height, beam.width};
  for (int k = 0; k < size; k += 1 + list[k]) {
    bool on_side = false;
    for (int axis = 0; axis < 3 && !on_side; ++axis)
      for (double side : {0.0, sides[axis]}) {
        bool all = true;
        for (int v = 1; v <= list[k]; ++v) {
          double xyz[3];
          ZEL_NodeCoordinates(db, list[k + v], xyz);
          all = all && std::fabs(xyz[axis] - side) < 1e-12;
        }
        on_side = on_side || all;
      }
    EXPECT_TRUE(on_side) << "face at entry " << k;
  }
  const int quads = 2 * (beam.nx * beam.ny + beam.ny * beam.nz + beam.nx * beam.nz);
  EXPECT_EQ(faces, std::string(beam.type) == "C3D10" ? 2 * quads : quads);
}

TEST_P(CcxModel, TranslatesMassesModesAndSkin) {
  const Beam beam = GetParam();
  zel_test::ScratchDir dir;
  const BeamMesh mesh(beam);
  std::ofstream(dir.file("job.inp")) << mesh.deck();
  ASSERT_TRUE(solve(dir)) << zel_test::read_text_file(dir.file("ccx.log"));

  const Translated body(dir.file("job"), {"fixed"});
  ASSERT_NE(body.db, nullptr);
  Database *db = body.db;

  const double mass = kDensity * beam.length * beam.height * beam.width;
  double nodal_sum = 0.0;
  for (int i = 0; i < ZEL_NodeCount(db); ++i) nodal_sum += ZEL_NodalMass(db, i);
  EXPECT_NEAR(nodal_sum, mass, 1e-12 * mass);
  EXPECT_NEAR(body.summary.mass, mass, 1e-12 * mass);

  int interface_count = 0;
  ZEL_FreeMemory(ZEL_InterfaceNodes(db, &interface_count));
  EXPECT_EQ(interface_count, mesh.fixed_count());

  // The stiffness diagonal holds the solver's eigenvalues (its modes have
  // unit generalized mass).
  ASSERT_EQ(ZEL_ModeCount(db), 4);
  std::vector<double> stiffness(16);
  ZEL_GenStiffFull(db, stiffness.data(), 4);
  const std::array<double, 2> expected = euler_bernoulli(beam);
  for (int m = 0; m < 2; ++m)
    EXPECT_NEAR(std::sqrt(stiffness[5 * m]) / (2 * kPi), expected[m], 0.02 * expected[m]) << "mode " << m + 1;

  // Lumping leaves the modes a little off mass-orthonormal.
  EXPECT_GT(body.summary.largest_deviation, 1e-4);
  EXPECT_LT(body.summary.largest_deviation, 0.1);

  // The first mode bends about the weak axis: the free end moves along y.
  double tip[3];
  const int tip_id = ZEL_NodeID(db, ZEL_NodeCount(db) - 1);
  ASSERT_EQ(ZEL_ModeByNode(db, 1, 0, tip_id, tip, 0), 1);
  EXPECT_GT(std::fabs(tip[1]), 10 * std::fabs(tip[2]));
  EXPECT_EQ(ZEL_ModeNodeCount(db, 1), ZEL_NodeCount(db));  // stresses at every node
  EXPECT_EQ(ZEL_ModeNodeCount(db, 2), ZEL_NodeCount(db));
  for (int mode = 1; mode <= 4; ++mode) expect_hookes_law(db, mode);

  expect_skin_on_the_box(db, beam);
}

// A bar whose nodes may move only along y, held at x = 0: its modes are
// shear waves u_y = A sin(k x) with k = pi / 2L in the first, so that the
// shear strain is known everywhere: gamma_xy = du_y/dx = A k cos(k x).
TEST_F(CcxShearWave, StrainsAreEngineeringShearStrains) {
  const Beam bar{"C3D20R", 8, 1, 1};
  zel_test::ScratchDir dir;
  std::string deck = BeamMesh(bar).deck();
  const std::string clamp = "*BOUNDARY\nFIXED, 1, 3\n";
  deck.replace(deck.find(clamp), clamp.size(), "*BOUNDARY\nFIXED, 2, 2\nNALL, 1, 1\nNALL, 3, 3\n");
  std::ofstream(dir.file("job.inp")) << deck;
  ASSERT_TRUE(solve(dir)) << zel_test::read_text_file(dir.file("ccx.log"));

  const Translated body(dir.file("job"), {"fixed"});
  ASSERT_NE(body.db, nullptr);
  Database *db = body.db;
  const double shear_modulus = kYoung / (2 * (1 + kPoisson)), k = kPi / (2 * bar.length);
  std::vector<double> stiffness(16);
  ZEL_GenStiffFull(db, stiffness.data(), 4);
  const double frequency = std::sqrt(stiffness[0]) / (2 * kPi);
  EXPECT_NEAR(frequency, k * std::sqrt(shear_modulus / kDensity) / (2 * kPi), 1e-3 * frequency);

  double tip[3];
  ASSERT_EQ(ZEL_ModeByNode(db, 1, 0, ZEL_NodeID(db, ZEL_NodeCount(db) - 1), tip, 0), 1);
  const std::map<int, std::array<double, 6>> strain = nodal_values(db, 1, 2);
  ASSERT_EQ(strain.size(), static_cast<size_t>(ZEL_NodeCount(db)));
  const double largest = std::fabs(tip[1]) * k;
  for (const auto &[id, gamma] : strain) {
    double xyz[3];
    ZEL_NodeCoordinates(db, ZEL_NodeIndex(db, id), xyz);
    EXPECT_NEAR(gamma[3], tip[1] * k * std::cos(k * xyz[0]), 0.01 * largest) << "node " << id;
    for (int c : {0, 1, 2, 4, 5}) EXPECT_NEAR(gamma[c], 0.0, 1e-6 * largest) << "node " << id << ", component " << c;
  }
}

// The largest difference of two arrays relative to the largest magnitude
// of the second; infinity when either is missing.
double relative_difference(const double *stored, const double *computed, int count) {
  if (stored == nullptr || computed == nullptr) return INFINITY;
  double largest = 0.0, difference = 0.0;
  for (int k = 0; k < count; ++k) {
    largest = std::max(largest, std::fabs(computed[k]));
    difference = std::max(difference, std::fabs(stored[k] - computed[k]));
  }
  return largest > 0.0 ? difference / largest : difference;
}

// Compares an array invariant of two bodies and releases both arrays.
template <class Query>
void expect_same_invariant(Database *file, Database *direct, int count, const std::string &what, Query query) {
  double *stored = query(file), *computed = query(direct);
  EXPECT_LT(relative_difference(stored, computed, count), 1e-9) << what;
  ZEL_FreeMemory(stored);
  ZEL_FreeMemory(computed);
}

// The command writes the body with its invariants (and keeps only the nodes
// that draw and hold it); a second translation written without them keeps
// every node, from which the invariants are computed anew.
TEST_P(CcxModel, WrittenInvariantsEqualTheSumsOverTheTranslatedNodes) {
  const Beam beam = GetParam();
  zel_test::ScratchDir dir;
  std::ofstream(dir.file("job.inp")) << BeamMesh(beam).deck();
  ASSERT_TRUE(solve(dir)) << zel_test::read_text_file(dir.file("ccx.log"));

  const std::string with_invariants = dir.file("body.zel"), every_node = dir.file("every_node.zel");
  int status = -1;
  const zel_test::Printed printed = zel_test::capture(
      [&] { status = run_command({dir.file("job"), "-o", with_invariants, "--interface", "FIXED"}); });
  ASSERT_EQ(status, 0) << printed.err;
  EXPECT_EQ(printed.out.substr(printed.out.size() - with_invariants.size() - 7), "Wrote " + with_invariants + "\n");

  ccx::Request request;
  request.job = dir.file("job");
  request.output = every_node;
  request.write_options = "";
  zel_test::capture([&] {
    ccx::Summary summary;
    Database *db = ccx::build_database(request, summary);
    ASSERT_EQ(ccx::write_body(db, request), 1);
    ZEL_UnLink(db);
  });

  Database *file = ZEL_CreateFromZEL(with_invariants.c_str());
  Database *direct = ZEL_CreateFromZEL(every_node.c_str());
  ASSERT_NE(file, nullptr);
  ASSERT_NE(direct, nullptr);
  ZEL_ComputeInvariantsFromNodes(direct);
  EXPECT_LT(ZEL_NodeCount(file), ZEL_NodeCount(direct));

  const double mass = kDensity * beam.length * beam.height * beam.width;
  EXPECT_NEAR(ZEL_Invar1(file), mass, 1e-12 * mass);
  EXPECT_NEAR(ZEL_Invar1(direct), mass, 1e-12 * mass);
  const double centre[3] = {mass * beam.length / 2, mass * beam.height / 2, mass * beam.width / 2};
  double *moment = ZEL_Invar2(file);
  EXPECT_LT(relative_difference(moment, centre, 3), 1e-12);
  ZEL_FreeMemory(moment);

  const int modes = ZEL_ModeCount(file);
  ASSERT_EQ(modes, 4);
  expect_same_invariant(file, direct, 3, "invariant 2", [](Database *db) { return ZEL_Invar2(db); });
  expect_same_invariant(file, direct, 3 * modes, "invariant 3", [](Database *db) { return ZEL_Invar3(db); });
  expect_same_invariant(file, direct, 3 * modes, "invariant 4", [](Database *db) { return ZEL_Invar4(db); });
  expect_same_invariant(file, direct, 9, "invariant 7", [](Database *db) { return ZEL_Invar7(db); });
  for (int i = 0; i < modes; ++i) {
    const std::string mode = " of mode index " + std::to_string(i);
    expect_same_invariant(file, direct, 3 * modes, "invariant 5" + mode, [i](Database *db) { return ZEL_Invar5(db, i); });
    expect_same_invariant(file, direct, 9, "invariant 8" + mode, [i](Database *db) { return ZEL_Invar8(db, i); });
    for (int j = 0; j < modes; ++j)
      expect_same_invariant(file, direct, 9, "invariant 9" + mode + " with " + std::to_string(j),
                            [i, j](Database *db) { return ZEL_Invar9(db, i, j); });
  }

  // Orthonormal to the lumped masses, the modes keep their frequencies.
  const std::array<double, 2> expected = euler_bernoulli(beam);
  for (int m = 0; m < 2; ++m) {
    double frequency = 0.0;
    ASSERT_EQ(ZEL_Eigenvalue(file, ZEL_ModeNumber(file, m), nullptr, &frequency, nullptr, nullptr, nullptr), 1);
    EXPECT_NEAR(frequency, expected[m], 0.02 * expected[m]) << "mode index " << m;
  }
  ZEL_UnLink(file);
  ZEL_UnLink(direct);
}

INSTANTIATE_TEST_SUITE_P(Families, CcxModel,
                         ::testing::Values(Beam{"C3D8I", 30, 2, 3}, Beam{"C3D20R", 12, 1, 2}, Beam{"C3D10", 12, 1, 2}),
                         [](const ::testing::TestParamInfo<Beam> &info) { return std::string(info.param.type); });

// ---------------------------------------------------------------------
// One tetrahedron, its files written by hand
// ---------------------------------------------------------------------

struct TetrahedronJob {
  std::string inp =
      "*NODE\n1, 0, 0, 0\n2, 1, 0, 0\n3, 0, 1, 0\n4, 0, 0, 1\n5, 9, 9, 9\n"
      "*ELEMENT, TYPE=C3D4, ELSET=E\n1, 1, 2, 3, 4\n*NSET, NSET=TOP\n4\n*NSET, NSET=LOOSE\n5\n"
      "*MATERIAL, NAME=M\n*DENSITY\n2400.\n*SOLID SECTION, ELSET=E, MATERIAL=M\n";
  // Mode 1 at 10 Hz with a generalized mass of 2.
  std::string frd = "    1PGM                2.000000E+00\n"
                    "  100CL  101 10.00000000           5                     2    1MODAL      1\n"
                    " -4  DISP        4    1\n -5  D1          1    2    1    0\n -5  D2          1    2    2    0\n"
                    " -5  D3          1    2    3    0\n"
                    " -1         1 0.00000E+00 0.00000E+00 0.00000E+00\n -1         2 1.00000E+00 0.00000E+00 0.00000E+00\n"
                    " -1         3 0.00000E+00-2.00000E+00 0.00000E+00\n -1         4 1.00000E+00 1.00000E+00 3.00000E+00\n"
                    " -1         5 7.00000E+00 7.00000E+00 7.00000E+00\n -3\n";
  std::string dat = "     E I G E N V A L U E   O U T P U T\n\n      1   0.3947842E+04   0.6283185E+02   0.1000000E+02   0.0\n";

  void write(const zel_test::ScratchDir &dir) const {
    std::ofstream(dir.file("job.inp")) << inp;
    std::ofstream(dir.file("job.frd")) << frd;
    std::ofstream(dir.file("job.dat")) << dat;
  }
};

std::string replaced(std::string text, const std::string &from, const std::string &to) {
  return text.replace(text.find(from), from.size(), to);
}

TEST(CcxTranslation, FillsTheBodyFromTheThreeFiles) {
  zel_test::PrivateStoreDirectory stores;
  zel_test::ScratchDir dir;
  TetrahedronJob().write(dir);
  const Translated body(dir.file("job"), {"top"});
  ASSERT_NE(body.db, nullptr);
  Database *db = body.db;

  EXPECT_EQ(ZEL_NodeCount(db), 4);  // node 5 belongs to no element
  const double quarter = 2400.0 / 6 / 4;
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(ZEL_NodalMass(db, i), quarter, 1e-12);
  int faces = 0, size = 0;
  ZEL_FaceListSize(db, &faces, &size);
  EXPECT_EQ(faces, 4);
  int count = 0;
  int *ids = ZEL_InterfaceNodeIDs(db, &count);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(ids[0], 4);
  ZEL_FreeMemory(ids);

  double values[3];
  ASSERT_EQ(ZEL_ModeByNode(db, 1, 0, 3, values, 0), 1);
  EXPECT_EQ(values[1], -2.0);
  // K = lambda m, M = sum of m_p |phi_p|^2 over the lumped masses.
  double stiffness = 0.0, mass = 0.0;
  ZEL_GenStiffFull(db, &stiffness, 1);
  ZEL_GenMassFull(db, &mass, 1);
  EXPECT_DOUBLE_EQ(stiffness, 3947.842 * 2.0);
  EXPECT_NEAR(mass, quarter * (1.0 + 4.0 + 11.0), 1e-9);
  EXPECT_NEAR(body.summary.largest_deviation, std::fabs(mass - 2.0) / 2.0, 1e-12);
}

TEST(CcxTranslation, RefusesFilesThatDoNotBelongTogether) {
  const TetrahedronJob good;
  struct Case {
    const char *name;
    TetrahedronJob job;
    std::vector<std::string> interface_sets;
    std::string units;
    std::string message;  // @ stands for the job's path
  };
  Case cases[] = {
      {"eigenvalue of another run", good, {}, "kg",
       "@.dat:3: the eigenvalue 5.0000000e+03 of mode 1 disagrees with its frequency 1.0000000e+01 in @.frd (files "
       "of different runs?)"},
      {"no eigenvalue", good, {}, "kg", "@.dat: no eigenvalue for mode 1 of @.frd"},
      {"node without displacement", good, {}, "kg", "@.frd:3: mode 1 has no displacement of node 3"},
      {"unknown interface set", good, {"NOPE"}, "kg", "@.inp: node set NOPE is not defined"},
      {"interface node outside the elements", good, {"LOOSE"}, "kg",
       "@.inp: node 5 of node set LOOSE is not a node of the solid elements"},
      {"unknown unit", good, {}, "furlong",
       "units furlong,m,s,N are not known (mass, length, time and force, e.g. kg,m,s,N)"},
  };
  cases[0].job.dat = replaced(good.dat, "0.3947842E+04", "0.5000000E+04");
  cases[1].job.dat = replaced(good.dat, "      1   0.39", "      2   0.39");
  cases[2].job.frd = replaced(good.frd, " -1         3 0.00000E+00-2.00000E+00 0.00000E+00\n", "");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    zel_test::PrivateStoreDirectory stores;
    zel_test::ScratchDir dir;
    c.job.write(dir);
    ccx::Request request;
    request.job = dir.file("job");
    request.interface_sets = c.interface_sets;
    request.units[0] = c.units;
    std::string message;
    zel_test::capture([&] {
      try {
        ZEL_UnLink(ccx::build_database(request, *std::make_unique<ccx::Summary>()));
      } catch (const ccx::InputError &error) {
        message = error.what();
      }
    });
    std::string expected = c.message;
    for (size_t at = expected.find('@'); at != std::string::npos; at = expected.find('@'))
      expected.replace(at, 1, request.job);
    EXPECT_EQ(message, expected);
  }
}

// ---------------------------------------------------------------------
// The command
// ---------------------------------------------------------------------

TEST(CcxCommand, ExplainsUsageAndInputErrors) {
  zel_test::ScratchDir dir;
  const std::string job = dir.file("none");
  struct Case {
    std::vector<std::string> arguments;
    std::string err;
  };
  const Case cases[] = {
      {{}, "zel from-ccx: missing JOB\nTry 'zel from-ccx --help'.\n"},
      {{"a", "b"}, "zel from-ccx: more than one JOB ('a' and 'b')\nTry 'zel from-ccx --help'.\n"},
      {{"a", "-o"}, "zel from-ccx: option '-o' needs a value\nTry 'zel from-ccx --help'.\n"},
      {{"a", "--units", "kg,m,s"},
       "zel from-ccx: 'kg,m,s' is not four units MASS,LENGTH,TIME,FORCE\nTry 'zel from-ccx --help'.\n"},
      {{"a", "--bogus"}, "zel from-ccx: unknown option '--bogus'\nTry 'zel from-ccx --help'.\n"},
      {{job + ".inp"}, "zel from-ccx: " + job + ".inp: cannot open the file: No such file or directory\n"},
  };
  for (const Case &c : cases) {
    int status = -1;
    const zel_test::Printed printed = zel_test::capture([&] { status = run_command(c.arguments); });
    EXPECT_EQ(status, 2);
    EXPECT_EQ(printed.err, c.err);
    EXPECT_EQ(printed.out, "");
  }
}

}  // namespace
