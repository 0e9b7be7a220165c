// Component-mode bodies: the solver's matrix files, the couplings'
// equations, the command's options, and bodies made by solver runs checked
// against the solver's own analyses of the same model.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "capture.h"
#include "craig_bampton.h"
#include "dat_reader.h"
#include "frd_reader.h"
#include "from_ccx.h"
#include "input_error.h"
#include "matrix_reader.h"
#include "scoped_env.h"
#include "scratch_dir.h"
#include "solver_run.h"
#include "zel.h"

namespace {

std::string error_of(const std::function<void()> &action) {
  try {
    action();
  } catch (const ccx::InputError &error) {
    return error.what();
  }
  return "(no error)";
}

void write_file(const std::string &path, const std::string &text) { std::ofstream(path, std::ios::binary) << text; }

// ---------------------------------------------------------------------------
// The solver's matrices

TEST(CcxMatrixFiles, ProjectionUsesBothHalvesOfTheStoredTriangle) {
  // A = [[4, 1, 0], [1, 3, -1], [0, -1, 2]] by its upper triangle.
  const ccx::SymmetricMatrix a = ccx::parse_matrix("1 1 4\n1 2 1\n2 2 3\n\n2 3 -1\n3 3 2\n", 3, "a.sti");
  const std::vector<double> projected = ccx::project(a, {{1, 2, 0}, {0, 1, -1}});
  EXPECT_EQ(projected, (std::vector<double>{20, 9, 9, 7}));
  std::vector<double> y(3);
  const double x[3] = {1, 0, 1};
  ccx::multiply(a, x, y.data());
  EXPECT_EQ(y, (std::vector<double>{4, 0, 2}));
}

TEST(CcxMatrixFiles, RefusesWhatIsNotTheUpperTriangleOfItsSize) {
  const struct {
    const char *text;
    const char *message;
  } cases[] = {
      {"1 1 1\n2 1 5\n", "m.sti:2: entry (2, 1) lies below the diagonal"},
      {"1 4 1\n", "m.sti:1: entry (1, 4) lies outside the 3 degrees of freedom"},
      {"0 1 1\n", "m.sti:1: entry (0, 1) lies outside the 3 degrees of freedom"},
      {"1 1 nan\n", "m.sti:1: entry value 'nan' is not finite"},
      {"1 1\n", "m.sti:1: not a matrix entry 'row column value': '1 1'"},
      {"1 1 2 3\n", "m.sti:1: not a matrix entry 'row column value': '1 1 2 3'"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(error_of([&] { ccx::parse_matrix(c.text, 3, "m.sti"); }), c.message) << c.text;
}

TEST(CcxMatrixFiles, DegreesOfFreedomAreNodeDotDirection) {
  const std::vector<ccx::MatrixDof> dofs = ccx::parse_dofs("2.1\n2.3\n1001.2\n", "m.dof");
  ASSERT_EQ(dofs.size(), 3u);
  EXPECT_EQ(dofs[1].node, 2);
  EXPECT_EQ(dofs[1].direction, 3);
  EXPECT_EQ(dofs[2].node, 1001);
  EXPECT_EQ(dofs[2].direction, 2);
  const struct {
    const char *text;
    const char *message;
  } cases[] = {
      {"2.1\n2.4\n", "m.dof:2: '2.4' is not node.direction with a direction 1 to 3"},
      {"2.0\n", "m.dof:1: '2.0' is not node.direction with a direction 1 to 3"},
      {"21\n", "m.dof:1: '21' is not node.direction with a direction 1 to 3"},
      {"2.1\n3.1\n2.1\n", "m.dof:3: degree of freedom 2.1 is listed twice"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(error_of([&] { ccx::parse_dofs(c.text, "m.dof"); }), c.message) << c.text;
}

// ---------------------------------------------------------------------------
// Attachment points and their couplings

// Five nodes around no symmetry, a lone node and three on a line.
ccx::Mesh coupling_mesh() {
  ccx::Mesh mesh;
  mesh.file = "m.inp";
  const std::vector<std::array<double, 3>> at = {{0, 0, 0},  {2, 0, 0.5}, {2, 1, 0},    {0, 1.5, 1}, {1, 0.2, 2},
                                                 {5, 5, 5},  {0, 0, 3},   {0.5, 0.5, 3}, {1, 1, 3}};
  for (size_t k = 0; k < at.size(); ++k) {
    const int id = static_cast<int>(k + 1);
    mesh.node_ids.push_back(id);
    mesh.node_index[id] = k;
    mesh.coordinates.insert(mesh.coordinates.end(), at[k].begin(), at[k].end());
  }
  mesh.node_sets = {{"RING", {1, 2, 3, 4, 5}}, {"ONE", {6}}, {"LINE", {7, 8, 9}}, {"NONE", {}}, {"OUTSIDE", {1, 42}}};
  return mesh;
}

const std::vector<int> kSolidNodes = {1, 2, 3, 4, 5, 6, 7, 8, 9};

TEST(CcxAttachmentPoints, ReferenceNodesAtCentroidsNumberedAfterTheMesh) {
  const ccx::Mesh mesh = coupling_mesh();
  const std::vector<ccx::AttachmentPoint> points = ccx::attachment_points(
      mesh, kSolidNodes, {{"ring", ccx::Coupling::Distributing}, {"ONE", ccx::Coupling::Rigid}, {"LINE", ccx::Coupling::Rigid}});
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0].coupling, ccx::Coupling::Distributing);
  EXPECT_EQ(points[0].reference, 10);
  EXPECT_EQ(points[0].rotation, 11);
  EXPECT_DOUBLE_EQ(points[0].centroid[0], 1.0);
  EXPECT_DOUBLE_EQ(points[0].centroid[1], 0.54);
  EXPECT_DOUBLE_EQ(points[0].centroid[2], 0.7);
  // One node is its own attachment point with its three translations.
  EXPECT_EQ(points[1].coupling, ccx::Coupling::None);
  EXPECT_EQ(points[1].reference, 6);
  EXPECT_EQ(points[1].dofs(), (std::vector<ccx::Dof>{{6, 1}, {6, 2}, {6, 3}}));
  EXPECT_EQ(ccx::coupling_deck(mesh, points[1]), "");
  EXPECT_EQ(points[2].reference, 12);
  EXPECT_EQ(points[2].dofs(), (std::vector<ccx::Dof>{{12, 1}, {12, 2}, {12, 3}, {13, 1}, {13, 2}, {13, 3}}));
  EXPECT_EQ(ccx::coupling_deck(mesh, points[2]),
            "*NODE\n"
            "12, 5.000000000000e-01, 5.000000000000e-01, 3.000000000000e+00\n"
            "13, 5.000000000000e-01, 5.000000000000e-01, 3.000000000000e+00\n"
            "*RIGID BODY, NSET=LINE, REF NODE=12, ROT NODE=13\n");
}

TEST(CcxAttachmentPoints, RefusesSetsThatCannotHoldTheBody) {
  const ccx::Mesh mesh = coupling_mesh();
  const struct {
    std::vector<ccx::AttachmentRequest> requests;
    const char *message;
  } cases[] = {
      {{{"MISSING"}}, "m.inp: node set MISSING is not defined"},
      {{{"NONE"}}, "m.inp: node set NONE is empty"},
      {{{"OUTSIDE"}}, "m.inp: node 42 of node set OUTSIDE is not a node of the solid elements"},
      {{{"RING"}, {"ring", ccx::Coupling::Distributing}}, "node set RING is named twice as an attachment point"},
      {{{"LINE", ccx::Coupling::Distributing}},
       "m.inp: the nodes of node set LINE lie on one line, which leaves a rotation of a distributing coupling "
       "undetermined"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(error_of([&] { ccx::attachment_points(mesh, kSolidNodes, c.requests); }), c.message);
}

struct Term {
  int node, direction;
  double coefficient;
};

// The equations of a deck: terms in order, the eliminated one first.
std::vector<std::vector<Term>> equations_in(const std::string &deck) {
  std::vector<std::vector<Term>> equations;
  std::istringstream in(deck);
  std::string line;
  while (std::getline(in, line)) {
    if (line != "*EQUATION") continue;
    std::getline(in, line);
    const int count = std::stoi(line);
    std::vector<Term> terms;
    while (static_cast<int>(terms.size()) < count && std::getline(in, line)) {
      std::replace(line.begin(), line.end(), ',', ' ');
      std::istringstream fields(line);
      Term term{};
      while (fields >> term.node >> term.direction >> term.coefficient) terms.push_back(term);
    }
    equations.push_back(terms);
  }
  return equations;
}

TEST(CcxAttachmentPoints, DistributingCouplingFollowsTheSetsMeanMotion) {
  const ccx::Mesh mesh = coupling_mesh();
  const ccx::AttachmentPoint point =
      ccx::attachment_points(mesh, kSolidNodes, {{"RING", ccx::Coupling::Distributing}}).front();
  const std::vector<std::vector<Term>> equations = equations_in(ccx::coupling_deck(mesh, point));
  ASSERT_EQ(equations.size(), 6u);
  // The solver eliminates the first term of each: six different degrees
  // of freedom of the set's nodes.
  std::vector<std::pair<int, int>> eliminated;
  for (const auto &terms : equations) {
    EXPECT_GE(terms[0].node, 1);
    EXPECT_LE(terms[0].node, 5);
    eliminated.emplace_back(terms[0].node, terms[0].direction);
  }
  std::sort(eliminated.begin(), eliminated.end());
  EXPECT_EQ(std::unique(eliminated.begin(), eliminated.end()), eliminated.end());

  // Each motion: the set's displacements and the reference node's
  // translation and rotation that must satisfy every equation.
  struct Motion {
    const char *name;
    std::array<double, 3> translation, rotation;
  };
  const Motion rigid[] = {{"translation", {0.3, -0.2, 0.7}, {0, 0, 0}},
                          {"rotation about x", {0, 0, 0}, {1e-3, 0, 0}},
                          {"rotation about y", {0, 0, 0}, {0, 1e-3, 0}},
                          {"rotation about z", {0, 0, 0}, {0, 0, 1e-3}},
                          {"screw", {0.1, 0.2, -0.3}, {-2e-3, 5e-4, 1e-3}}};
  for (const Motion &motion : rigid) {
    std::map<std::pair<int, int>, double> value;
    for (int id : point.nodes) {
      const double *xyz = mesh.coordinates.data() + 3 * mesh.node_index.at(id);
      const double r[3] = {xyz[0] - point.centroid[0], xyz[1] - point.centroid[1], xyz[2] - point.centroid[2]};
      const auto &t = motion.translation, &w = motion.rotation;
      value[{id, 1}] = t[0] + w[1] * r[2] - w[2] * r[1];
      value[{id, 2}] = t[1] + w[2] * r[0] - w[0] * r[2];
      value[{id, 3}] = t[2] + w[0] * r[1] - w[1] * r[0];
    }
    for (int d = 0; d < 3; ++d) {
      value[{point.reference, d + 1}] = motion.translation[d];
      value[{point.rotation, d + 1}] = motion.rotation[d];
    }
    for (const auto &terms : equations) {
      double sum = 0.0, scale = 0.0;
      for (const Term &term : terms) {
        sum += term.coefficient * value.at({term.node, term.direction});
        scale += std::fabs(term.coefficient * value.at({term.node, term.direction}));
      }
      EXPECT_LE(std::fabs(sum), 1e-12 * scale + 1e-300) << motion.name;
    }
  }
  // One node moving alone moves the reference node by its share.
  std::map<std::pair<int, int>, double> value;
  for (int id : point.nodes)
    for (int d = 1; d <= 3; ++d) value[{id, d}] = id == 2 && d == 3 ? 1.0 : 0.0;
  const auto &translation_z = equations[2];
  double sum_without_reference = 0.0, reference_coefficient = 0.0;
  for (const Term &term : translation_z) {
    if (term.node == point.reference)
      reference_coefficient = term.coefficient;
    else
      sum_without_reference += term.coefficient * value.at({term.node, term.direction});
  }
  EXPECT_DOUBLE_EQ(-sum_without_reference / reference_coefficient, 1.0 / 5.0);
}

// ---------------------------------------------------------------------------
// Decks and the solver's program

TEST(CcxSolverRun, ModelDataStopsAtTheFirstStepAndIncludesAbsolutely) {
  zel_test::ScratchDir dir;
  write_file(dir.file("job.inp"),
             "*HEADING\nx\n*INCLUDE, INPUT=mesh.inp\n*include,input=/abs/other.inp\n*Step\n*STATIC\n*END STEP\n");
  EXPECT_EQ(ccx::model_data(dir.file("job.inp")),
            "*HEADING\nx\n*INCLUDE, INPUT=" + dir.file("mesh.inp") + "\n*include,input=/abs/other.inp\n");
}

TEST(CcxSolverRun, FindsTheFirstExecutableOnThePath) {
  zel_test::ScratchDir dir;
  for (const char *folder : {"a", "b", "c"}) mkdir(dir.file(folder).c_str(), 0755);
  write_file(dir.file("a/ccx"), "plain file\n");
  write_file(dir.file("b/ccx"), "#!/bin/sh\n");
  write_file(dir.file("c/ccx"), "#!/bin/sh\n");
  chmod(dir.file("b/ccx").c_str(), 0755);
  chmod(dir.file("c/ccx").c_str(), 0755);
  const std::string path = dir.file("a") + ":" + dir.file("b") + ":" + dir.file("c");
  EXPECT_EQ(ccx::find_on_path("ccx", path.c_str()), dir.file("b") + "/ccx");
  EXPECT_EQ(ccx::find_on_path("ccx", dir.file("a").c_str()), "");
  EXPECT_EQ(ccx::find_on_path("ccx", nullptr), "");
}

TEST(CcxSolverRun, DecksHoldTheAttachmentDegreesOfFreedom) {
  const ccx::Mesh mesh = coupling_mesh();
  const std::vector<ccx::AttachmentPoint> points = ccx::attachment_points(mesh, kSolidNodes, {{"ONE"}});
  const ccx::ComponentModeDecks decks = ccx::component_mode_decks(mesh, "MODEL\n", points, 7);
  const std::string held = "*BOUNDARY\n6, 1, 1, 0.\n6, 2, 2, 0.\n6, 3, 3, 0.\n";
  const std::string results = "*NODE FILE\nU\n*EL FILE\nS\n*END STEP\n";
  EXPECT_EQ(decks.matrices, "MODEL\n*STEP\n*FREQUENCY, SOLVER=MATRIXSTORAGE\n1\n*END STEP\n");
  EXPECT_EQ(decks.fixed, "MODEL\n" + held + "*STEP\n*FREQUENCY\n7\n" + results);
  EXPECT_EQ(decks.constraint, "MODEL\n" + held + "*STEP\n*STATIC\n*BOUNDARY\n6, 1, 1, 1.\n" + results +
                                  "*STEP\n*STATIC\n*BOUNDARY\n6, 1, 1, 0.\n6, 2, 2, 1.\n" + results +
                                  "*STEP\n*STATIC\n*BOUNDARY\n6, 2, 2, 0.\n6, 3, 3, 1.\n" + results);
}

// ---------------------------------------------------------------------------
// The command's options

int run_command(std::vector<std::string> arguments) {
  std::vector<char *> argv;
  for (std::string &argument : arguments) argv.push_back(argument.data());
  return zel_from_ccx(static_cast<int>(argv.size()), argv.data());
}

TEST(CcxComponentOptions, UsageErrors) {
  const std::string hint = "\nTry 'zel from-ccx --help'.\n";
  const struct {
    std::vector<std::string> arguments;
    std::string message;
  } cases[] = {
      {{"job", "--attach", "TIP"}, "zel from-ccx: option '--attach' needs '--craig-bampton'" + hint},
      {{"job", "--keep"}, "zel from-ccx: option '--keep' needs '--craig-bampton'" + hint},
      {{"job", "--craig-bampton"}, "zel from-ccx: '--craig-bampton' needs at least one '--attach NSET'" + hint},
      {{"job", "--craig-bampton", "--attach", "TIP:glued"},
       "zel from-ccx: 'TIP:glued' is not NSET, NSET:rigid or NSET:distributing" + hint},
      {{"job", "--craig-bampton", "--attach", ":rigid"},
       "zel from-ccx: ':rigid' is not NSET, NSET:rigid or NSET:distributing" + hint},
      {{"job", "--craig-bampton", "--attach", "TIP", "--modes", "0"},
       "zel from-ccx: '0' is not a number of modes from 1 to 10000" + hint},
      {{"job", "--craig-bampton", "--attach", "TIP", "--modes"}, "zel from-ccx: option '--modes' needs a value" + hint},
      {{"job", "--craig-bampton", "--attach", "TIP", "--interface", "TIP"},
       "zel from-ccx: '--interface' does not go with '--craig-bampton': the attachment points are the interface "
       "nodes" + hint},
  };
  for (const auto &c : cases) {
    int status = 0;
    const zel_test::Printed printed = zel_test::capture([&] { status = run_command(c.arguments); });
    EXPECT_EQ(status, 2);
    EXPECT_EQ(printed.err, c.message);
    EXPECT_EQ(printed.out, "");
  }
}

TEST(CcxComponentOptions, MissingSolverIsNamed) {
  zel_test::ScratchDir dir;
  zel_test::ScopedEnv path("PATH", dir.file(""));
  int status = 0;
  const zel_test::Printed printed =
      zel_test::capture([&] { status = run_command({"job", "--craig-bampton", "--attach", "TIP"}); });
  EXPECT_EQ(status, 2);
  EXPECT_EQ(printed.err, "zel from-ccx: the solver 'ccx' is not on PATH (Debian package calculix-ccx)\n");
}

}  // namespace
