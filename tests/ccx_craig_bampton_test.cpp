// Component-mode bodies: the solver's matrix files, the couplings'
// equations, the command's options, and bodies made by solver runs checked
// against the solver's own analyses of the same model.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "capture.h"
#include "program_run.h"
#include "zel_file_builder.h"
#include "craig_bampton.h"
#include "dat_reader.h"
#include "frd_reader.h"
#include "from_ccx.h"
#include "input_error.h"
#include "matrix_reader.h"
#include "printout_reader.h"
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

// A text and the message it must give.
struct TextCase {
  const char *text;
  const char *message;
};

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
  const TextCase cases[] = {
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
  const TextCase cases[] = {
      {"2.1\n2.4\n", "m.dof:2: '2.4' is not node.direction with a direction 1 to 3"},
      {"2.0\n", "m.dof:1: '2.0' is not node.direction with a direction 1 to 3"},
      {"21\n", "m.dof:1: '21' is not node.direction with a direction 1 to 3"},
      {"2.1\n3.1\n2.1\n", "m.dof:3: degree of freedom 2.1 is listed twice"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(error_of([&] { ccx::parse_dofs(c.text, "m.dof"); }), c.message) << c.text;
}

TEST(CcxMatrixFiles, PrintedDisplacementsOneTablePerStep) {
  const std::string text =
      "\n forces (fx,fy,fz) for set A and time  0.1000000E+01\n\n         7  1.0E+00  2.0E+00  3.0E+00\n\n"
      " displacements (vx,vy,vz) for set A and time  0.1000000E+01\n\n"
      "         5  2.500000E-02  0.000000E+00 -1.234567E-01\n        10  1.000000E+00  2.000000E+00  3.000000E+00\n\n"
      " displacements (vx,vy,vz) for set A and time  0.2000000E+01\n\n         5 -4.000000E+00  5.000000E+00  6.0E+00\n";
  const std::vector<ccx::NodalValues> tables = ccx::parse_printed_displacements(text, "j.dat");
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_EQ(tables[0].node_ids, (std::vector<int>{5, 10}));
  EXPECT_EQ(tables[0].values, (std::vector<double>{0.025, 0, -0.1234567, 1, 2, 3}));
  EXPECT_EQ(tables[1].node_ids, (std::vector<int>{5}));
  EXPECT_EQ(tables[1].values, (std::vector<double>{-4, 5, 6}));
  EXPECT_EQ(error_of([] {
              ccx::parse_printed_displacements(" displacements (vx,vy,vz) for set A\n\n 5 1.0 2.0\n", "j.dat");
            }),
            "j.dat:3: not a node and three displacements: '5 1.0 2.0'");
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
  // ... and none appears in another equation, where the solver would
  // substitute it and could leave that equation nothing to eliminate.
  for (size_t e = 0; e < equations.size(); ++e)
    for (size_t other = 0; other < equations.size(); ++other)
      for (const Term &term : equations[other]) {
        if (other == e) continue;
        EXPECT_FALSE(term.node == equations[e][0].node && term.direction == equations[e][0].direction)
            << "eliminated " << term.node << "." << term.direction << " in equation " << other + 1;
      }

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
  // One node moving alone moves the reference node by its share: the six
  // equations give the reference and rotation nodes' values.
  std::array<std::array<double, 7>, 6> system{};
  for (size_t e = 0; e < equations.size(); ++e)
    for (const Term &term : equations[e]) {
      if (term.node == point.reference || term.node == point.rotation)
        system[e][(term.node == point.rotation ? 3 : 0) + term.direction - 1] += term.coefficient;
      else if (term.node == 2 && term.direction == 3)
        system[e][6] -= term.coefficient;
    }
  for (int k = 0; k < 6; ++k) {
    int pivot = k;
    for (int r = k + 1; r < 6; ++r)
      if (std::fabs(system[r][k]) > std::fabs(system[pivot][k])) pivot = r;
    std::swap(system[k], system[pivot]);
    for (int r = 0; r < 6; ++r) {
      if (r == k) continue;
      const double factor = system[r][k] / system[k][k];
      for (int c = k; c < 7; ++c) system[r][c] -= factor * system[k][c];
    }
  }
  const double expected[3] = {0.0, 0.0, 1.0 / 5.0};
  for (int d = 0; d < 3; ++d) EXPECT_NEAR(system[d][6] / system[d][d], expected[d], 1e-14) << "direction " << d + 1;
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
  std::vector<int> printed;
  for (int id = 1; id <= 17; ++id) printed.push_back(id);
  const ccx::ComponentModeDecks decks = ccx::component_mode_decks(mesh, "MODEL\n", points, 7, printed);
  const std::string held = "*BOUNDARY\n6, 1, 1, 0.\n6, 2, 2, 0.\n6, 3, 3, 0.\n";
  const std::string results = "*NODE FILE\nU\n*EL FILE\nS\n";
  const std::string printout = "*NODE PRINT, NSET=ZELPRINTED\nU\n*END STEP\n";
  EXPECT_EQ(decks.matrices, "MODEL\n*STEP\n*FREQUENCY, SOLVER=MATRIXSTORAGE\n1\n*END STEP\n");
  EXPECT_EQ(decks.fixed, "MODEL\n" + held + "*STEP\n*FREQUENCY\n7\n" + results + "*END STEP\n");
  const std::string set = "*NSET, NSET=ZELPRINTED\n1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,\n17,\n";
  EXPECT_EQ(decks.constraint, "MODEL\n" + set + held + "*STEP\n*STATIC\n*BOUNDARY\n6, 1, 1, 1.\n" + results +
                                  printout + "*STEP\n*STATIC\n*BOUNDARY\n6, 1, 1, 0.\n6, 2, 2, 1.\n" + results +
                                  printout + "*STEP\n*STATIC\n*BOUNDARY\n6, 2, 2, 0.\n6, 3, 3, 1.\n" + results +
                                  printout);
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
      {{"job", "--lumped-mass"}, "zel from-ccx: option '--lumped-mass' needs '--craig-bampton'" + hint},
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

void keep_information(int kind, const char *line, void *lines) {
  if (kind == ZEL_MESSAGE_INFO) static_cast<std::vector<std::string> *>(lines)->push_back(line);
}

// The command's account of what it did is information: a program that
// routes the library's messages keeps it off standard output.
TEST(CcxComponentOptions, TheSummaryIsInformation) {
  const std::string solver = ccx::find_on_path("ccx", std::getenv("PATH"));
  if (solver.empty()) GTEST_SKIP() << "ccx is not installed";
  const char *source = std::getenv("ZEL_TEST_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  zel_test::ScratchDir dir;
  zel_test::PrivateStoreDirectory stores;
  std::ifstream deck(std::string(source) + "/examples/ccx/beam.inp");
  write_file(dir.file("beam.inp"), std::string(std::istreambuf_iterator<char>(deck), {}));
  std::vector<std::string> information;
  ZEL_SetMessageHandler(keep_information, &information);
  int status = 0;
  const zel_test::Printed printed = zel_test::capture([&] {
    status = run_command({dir.file("beam"), "--craig-bampton", "--attach", "TIP", "--modes", "2"});
  });
  ZEL_SetMessageHandler(nullptr, nullptr);
  EXPECT_EQ(status, 0) << printed.err;
  EXPECT_EQ(printed.out, "");
  EXPECT_NE(std::find_if(information.begin(), information.end(),
                         [](const std::string &line) { return line.starts_with("Attachment point TIP: node "); }),
            information.end());
}

// `zel check` weighs the modes with the nodal masses the file holds: modes
// reduced with them agree with it, modes reduced with the consistent mass
// matrix do not, by the difference between the two masses.
TEST(CcxComponentOptions, CheckAgreesWithModesOrthonormalToTheNodalMasses) {
  if (ccx::find_on_path("ccx", std::getenv("PATH")).empty()) GTEST_SKIP() << "ccx is not installed";
  const char *source = std::getenv("ZEL_TEST_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  zel_test::ScratchDir dir;
  std::ifstream deck(std::string(source) + "/examples/ccx/beam.inp");
  write_file(dir.file("beam.inp"), std::string(std::istreambuf_iterator<char>(deck), {}));
  const std::string body = dir.file("beam.zel");
  const struct {
    const char *mass_option;
    int check_status;
    const char *verdict;
  } cases[] = {{"--lumped-mass", 0, "everything agrees"}, {"", 1, "1 disagreement"}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.mass_option);
    const zel_test::ProgramRun translated = zel_test::run_program(
        ZEL_PROGRAM, "-q from-ccx '" + dir.file("beam") + "' --craig-bampton --attach TIP " + c.mass_option +
                         " --options '' -o '" + body + "'", dir);
    ASSERT_EQ(translated.status, 0) << translated.err;
    const zel_test::ProgramRun checked = zel_test::run_program(ZEL_PROGRAM, "check '" + body + "'", dir);
    EXPECT_EQ(checked.status, c.check_status);
    EXPECT_TRUE(checked.out.ends_with(body + ": " + c.verdict + "\n")) << checked.out;
  }
}

// ---------------------------------------------------------------------------
// Bodies from solver runs, checked against the solver's own analyses of the
// same model with its couplings

struct Model {
  const char *deck;  // under examples/ccx
  std::vector<ccx::AttachmentRequest> attachments;
  int normal_modes;
};

const Model kBeam = {"beam.inp", {{"TIP", ccx::Coupling::Rigid}}, 6};
const Model kPlate = {"plate_holes.inp", {{"HOLE1", ccx::Coupling::Rigid}, {"HOLE2", ccx::Coupling::Distributing}}, 40};

// The reaction forces printed for a node set, by step: node, fx, fy, fz.
std::vector<std::map<int, std::array<double, 3>>> printed_reactions(const std::string &path) {
  std::ifstream in(path);
  std::vector<std::map<int, std::array<double, 3>>> steps;
  std::string line;
  while (std::getline(in, line)) {
    if (line.find("forces (fx,fy,fz)") == std::string::npos) continue;
    steps.emplace_back();
    std::getline(in, line);  // blank
    while (std::getline(in, line) && !line.empty()) {
      std::istringstream fields(line);
      int id = 0;
      std::array<double, 3> f{};
      if (fields >> id >> f[0] >> f[1] >> f[2]) steps.back()[id] = f;
    }
  }
  return steps;
}

class CcxComponentBody : public ::testing::Test {
 protected:
  void SetUp() override {
    solver_ = ccx::find_on_path("ccx", std::getenv("PATH"));
    if (solver_.empty()) GTEST_SKIP() << "ccx is not installed";
  }
  void TearDown() override {
    if (body_ != nullptr) ZEL_UnLink(body_);
  }

  // Builds and writes the body of a bundled model, and reads it back.
  void make(const Model &model) {
    const char *source = std::getenv("ZEL_TEST_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::ifstream deck(std::string(source) + "/examples/ccx/" + model.deck);
    write_file(dir_.file("job.inp"), std::string(std::istreambuf_iterator<char>(deck), {}));
    ccx::ComponentModeRequest request;
    request.body.job = dir_.file("job");
    request.body.output = dir_.file("job.zel");
    request.attachments = model.attachments;
    request.normal_modes = model.normal_modes;
    request.solver = solver_;
    request.kept_folder = dir_.file("runs");
    int written = 0;
    const zel_test::Printed printed = zel_test::capture([&] {
      Database *db = ccx::build_component_modes(request, modes_);
      written = ccx::write_body(db, request.body);
      ZEL_UnLink(db);
    });
    ASSERT_EQ(written, 1) << printed.out << printed.err;
    zel_test::capture([&] { body_ = ZEL_CreateFromZEL(request.body.output.c_str()); });
    ASSERT_NE(body_, nullptr);
    folder_ = std::make_unique<ccx::WorkFolder>(dir_.file("runs"));
    with_couplings_ = ccx::model_data(folder_->file("matrices.inp"));
  }

  // Runs the model with its couplings and the given step.
  void solve(const std::string &job, const std::string &step) {
    ccx::run_solver(solver_, *folder_, job, with_couplings_ + step);
  }

  // The body's mode number m at a node: translations, then rotations.
  std::array<double, 6> mode_at(int number, int id) {
    std::array<double, 6> values{};
    EXPECT_EQ(ZEL_ModeByNode(body_, number, 0, id, values.data(), 0), 1);
    EXPECT_EQ(ZEL_ModeByNode(body_, number, 0, id, values.data() + 3, 1), 1);
    return values;
  }

  double eigenvalue(int number) {
    double value = 0.0, mass = 0.0;
    EXPECT_EQ(ZEL_Eigenvalue(body_, number, &value, nullptr, nullptr, &mass, nullptr), 1);
    EXPECT_NEAR(mass, 1.0, 1e-12);
    return value;
  }

  zel_test::PrivateStoreDirectory stores_;
  zel_test::ScopedEnv options_{"KOR_ZELWRITE_OPTIONS", std::nullopt};
  zel_test::ScratchDir dir_;
  std::string solver_;
  ccx::ComponentModes modes_;
  Database *body_ = nullptr;
  std::unique_ptr<ccx::WorkFolder> folder_;
  std::string with_couplings_;
};

// Held at the attachment points, the reduced body vibrates at the solver's
// fixed-interface frequencies; the constraint modes reduce the stiffness
// to the reactions the solver finds at the attachment points when it
// moves one of their degrees of freedom alone.
TEST_F(CcxComponentBody, ReducedMatricesMatchTheSolversFixedModesAndReactions) {
  for (const Model &model : {kBeam, kPlate}) {
    SCOPED_TRACE(model.deck);
    ASSERT_NO_FATAL_FAILURE(make(model));
    const int n = modes_.size, normal = model.normal_modes;
    const std::vector<ccx::Dof> &dofs = modes_.attachment_dofs;
    ASSERT_EQ(static_cast<int>(modes_.fixed_eigenvalues.size()), normal);
    ASSERT_EQ(n, normal + static_cast<int>(dofs.size()));
    for (int i = 0; i < normal; ++i) {
      const double reduced = modes_.stiffness[i * n + i] / modes_.mass[i * n + i];
      EXPECT_NEAR(reduced / modes_.fixed_eigenvalues[i], 1.0, 1e-6) << "mode " << i + 1;
    }

    std::string attached = "*NSET, NSET=ATTACHED\n", held = "*BOUNDARY\n", steps;
    for (size_t k = 0; k < dofs.size(); ++k) {
      const std::string node = std::to_string(dofs[k].node), direction = std::to_string(dofs[k].direction);
      if (dofs[k].direction == 1) attached += node + "\n";
      held += node + ", " + direction + ", " + direction + ", 0.\n";
      steps += "*STEP\n*STATIC\n*BOUNDARY\n";
      if (k > 0)
        steps += std::to_string(dofs[k - 1].node) + ", " + std::to_string(dofs[k - 1].direction) + ", " +
                 std::to_string(dofs[k - 1].direction) + ", 0.\n";
      steps += node + ", " + direction + ", " + direction + ", 1.\n*NODE PRINT, NSET=ATTACHED\nRF\n*END STEP\n";
    }
    solve("reactions", attached + held + steps);
    const auto reactions = printed_reactions(folder_->file("reactions.dat"));
    const int c = n - normal;
    ASSERT_EQ(static_cast<int>(reactions.size()), c);
    std::vector<double> solver(c * c);
    for (int b = 0; b < c; ++b)
      for (int a = 0; a < c; ++a) solver[a * c + b] = reactions[b].at(dofs[a].node)[dofs[a].direction - 1];
    // The solver reports no reactions at a reference node that equations
    // tie to the set (they come out zero): rows of rigid couplings only.
    std::vector<char> reported(c, 1);
    for (int a = 0; a < c; ++a)
      for (const ccx::AttachmentPoint &point : modes_.points)
        if (point.coupling == ccx::Coupling::Distributing &&
            (dofs[a].node == point.reference || dofs[a].node == point.rotation))
          reported[a] = 0;
    for (int a = 0; a < c; ++a)
      for (int b = 0; b < c; ++b) {
        if (!reported[a] || !reported[b]) continue;
        const double reduced = modes_.stiffness[(normal + a) * n + normal + b];
        const double scale = std::sqrt(solver[a * c + a] * solver[b * c + b]);
        EXPECT_LE(std::fabs(reduced - solver[a * c + b]), 1e-6 * scale) << "entry " << a << ", " << b;
      }
    ZEL_UnLink(body_);
    body_ = nullptr;
  }
}

// The displacement at `id` of modes with eigenvalues `lambda` and unit
// generalized masses under nodal forces.
using Shape = std::function<std::array<double, 3>(int mode, int id)>;
std::array<double, 3> modal_response(const std::vector<double> &lambda, const Shape &shape,
                                     const std::map<int, std::array<double, 3>> &forces, int id) {
  std::array<double, 3> u{};
  for (size_t m = 0; m < lambda.size(); ++m) {
    double work = 0.0;
    for (const auto &[node, f] : forces) {
      const std::array<double, 3> phi = shape(static_cast<int>(m), node);
      work += phi[0] * f[0] + phi[1] * f[1] + phi[2] * f[2];
    }
    const std::array<double, 3> phi = shape(static_cast<int>(m), id);
    for (int d = 0; d < 3; ++d) u[d] += phi[d] * work / lambda[m];
  }
  return u;
}

double relative_difference(const std::array<double, 3> &a, const std::array<double, 3> &b) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2])) /
         std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
}

const double *displacement(const ccx::ModeResults &result, int id) {
  const auto &ids = result.displacement.node_ids;
  const size_t r = std::find(ids.begin(), ids.end(), id) - ids.begin();
  EXPECT_LT(r, ids.size()) << "node " << id;
  return result.displacement.values.data() + 3 * std::min(r, ids.size() - 1);
}

// A load at the tip through the coupling: the body's modes answer it as the
// solver's static solution does, which as many free-vibration modes do not.
TEST_F(CcxComponentBody, StaticTipLoadThroughTheModes) {
  ASSERT_NO_FATAL_FAILURE(make(kBeam));
  const std::vector<int> tip = {21, 42, 63, 84, 126, 147, 168, 189, 210, 252, 273, 294, 315};
  std::map<int, std::array<double, 3>> forces;
  std::string loads = "*STEP\n*STATIC\n*CLOAD\n";
  for (int id : tip) {
    forces[id] = {2000.0, -40.0, 25.0};
    loads += std::to_string(id) + ", 1, 2000.\n" + std::to_string(id) + ", 2, -40.\n" + std::to_string(id) + ", 3, 25.\n";
  }
  solve("static", loads + "*NODE FILE\nU\n*END STEP\n");
  const std::vector<ccx::ModeResults> statics = ccx::read_static_frd(folder_->file("static.frd"));
  ASSERT_EQ(statics.size(), 1u);
  const int probe = tip.front();
  const double *expected_values = displacement(statics[0], probe);
  const std::array<double, 3> expected = {expected_values[0], expected_values[1], expected_values[2]};

  const int count = ZEL_ModeCount(body_);
  ASSERT_EQ(count, modes_.size);
  std::vector<double> lambda;
  for (int m = 1; m <= count; ++m) lambda.push_back(eigenvalue(m));
  const std::array<double, 3> component = modal_response(
      lambda,
      [&](int m, int id) {
        const std::array<double, 6> values = mode_at(m + 1, id);
        return std::array<double, 3>{values[0], values[1], values[2]};
      },
      forces, probe);
  const double component_error = relative_difference(component, expected);
  EXPECT_LE(component_error, 0.01);

  // As many free-vibration modes of the same model, mass-normalized by the solver.
  solve("free", "*STEP\n*FREQUENCY\n" + std::to_string(count) + "\n*NODE FILE\nU\n*END STEP\n");
  const std::vector<ccx::ModeResults> free_modes = ccx::read_frd(folder_->file("free.frd"));
  const std::vector<ccx::Eigenvalue> free_values = ccx::read_dat(folder_->file("free.dat"));
  ASSERT_EQ(free_modes.size(), static_cast<size_t>(count));
  std::vector<double> free_lambda;
  for (const ccx::Eigenvalue &entry : free_values) free_lambda.push_back(entry.value);
  const std::array<double, 3> free_response = modal_response(
      free_lambda,
      [&](int m, int id) {
        const double *u = displacement(free_modes[m], id);
        const double scale = 1.0 / std::sqrt(free_modes[m].generalized_mass);
        return std::array<double, 3>{u[0] * scale, u[1] * scale, u[2] * scale};
      },
      forces, probe);
  const double free_error = relative_difference(free_response, expected);
  std::printf("Tip displacement under the static load: solver %.6e %.6e %.6e; component modes off by %.3e, "
              "%d free-vibration modes off by %.3e\n",
              expected[0], expected[1], expected[2], component_error, count, free_error);
  RecordProperty("component_mode_error", std::to_string(component_error));
  RecordProperty("free_mode_error", std::to_string(free_error));
}

// Free, the orthonormalized body has six rigid-body modes at zero frequency
// and the solver's free-free elastic modes, by frequency and by shape.
// The solver's modes as a body of `body`'s nodes that carry mass (the
// plate's own, not the reference nodes), in its units, for `zel mac`.
zel_test::ZelBody solver_body(Database *body, const std::vector<ccx::ModeResults> &modes) {
  zel_test::ZelBody solved;
  solved.invariants = false;
  std::array<std::array<char, 64>, 4> units{};
  ZEL_Units(body, units[0].data(), units[1].data(), units[2].data(), units[3].data());
  solved.units = std::array<std::string, 4>{units[0].data(), units[1].data(), units[2].data(), units[3].data()};
  zel_test::ModalValues shapes;
  for (int p = 0; p < ZEL_ModeNodeCount(body, 0); ++p) {
    const int id = ZEL_ModeNodeID(body, 0, p);
    const int index = ZEL_NodeIndex(body, id);
    std::array<double, 3> xyz{};
    ZEL_NodeCoordinates(body, index, xyz.data());
    if (ZEL_NodalMass(body, index) == 0.0) continue;
    solved.nodes.push_back({id, xyz[0], xyz[1], xyz[2], ZEL_NodalMass(body, index), std::nullopt});
    shapes.node_ids.push_back(id);
  }
  solved.eigen = std::vector<double>();
  for (const ccx::ModeResults &mode : modes) {
    shapes.mode_numbers.push_back(mode.number);
    const double omega = 2 * M_PI * mode.frequency;
    solved.eigen->insert(solved.eigen->end(), {double(mode.number), omega * omega, mode.frequency, omega, 1.0,
                                               omega * omega});
  }
  shapes.mode_count = static_cast<int32_t>(modes.size());
  const std::vector<int32_t> ids = shapes.node_ids;
  shapes.value = [&modes, ids](int m, int p, int c) {
    return c < 3 ? displacement(modes[static_cast<std::size_t>(m)], ids[static_cast<std::size_t>(p)])[c] : 0.0;
  };
  solved.mode_shapes = shapes;
  return solved;
}

// `zel mac BASE OTHER --csv`: the MAC of each (base mode, other mode) pair.
std::map<std::pair<int, int>, double> mac_by_zel(const std::string &base, const std::string &other,
                                                 const zel_test::ScratchDir &dir) {
  const std::string csv = dir.file("mac.csv");
  const zel_test::ProgramRun run =
      zel_test::run_program(ZEL_PROGRAM, "mac '" + base + "' '" + other + "' --csv '" + csv + "'", dir);
  EXPECT_EQ(run.status, 0) << run.err;
  std::map<std::pair<int, int>, double> macs;
  std::ifstream in(csv);
  std::string line;
  std::getline(in, line);  // header
  int base_mode = 0, other_mode = 0;
  double mac = 0.0;
  while (std::getline(in, line))
    if (std::sscanf(line.c_str(), "%d,%d,%lf", &base_mode, &other_mode, &mac) == 3) macs[{base_mode, other_mode}] = mac;
  return macs;
}

TEST_F(CcxComponentBody, FreeFreeModesOfThePlate) {
  ASSERT_NO_FATAL_FAILURE(make(kPlate));
  int interface_count = 0;
  int *interface_ids = ZEL_InterfaceNodeIDs(body_, &interface_count);
  ASSERT_EQ(interface_count, 2);
  EXPECT_EQ(std::vector<int>(interface_ids, interface_ids + 2),
            (std::vector<int>{modes_.points[0].reference, modes_.points[1].reference}));
  ZEL_FreeMemory(interface_ids);

  constexpr int kRigid = 6, kElastic = 10;
  solve("free", "*STEP\n*FREQUENCY\n" + std::to_string(kRigid + kElastic) + "\n*NODE FILE\nU\n*END STEP\n");
  const std::vector<ccx::ModeResults> solver_modes = ccx::read_frd(folder_->file("free.frd"));
  ASSERT_EQ(solver_modes.size(), static_cast<size_t>(kRigid + kElastic));

  std::vector<double> frequency(kRigid + kElastic);
  for (int m = 0; m < kRigid + kElastic; ++m)
    ASSERT_EQ(ZEL_Eigenvalue(body_, m + 1, nullptr, &frequency[m], nullptr, nullptr, nullptr), 1);
  for (int m = 0; m < kRigid; ++m) EXPECT_LT(std::fabs(frequency[m]), 1e-3 * frequency[kRigid]) << "mode " << m + 1;

  const int nodes = ZEL_ModeNodeCount(body_, 0);
  std::vector<double> body_shape(3 * nodes);
  std::vector<double> body_mac(kRigid + kElastic);
  for (int m = kRigid; m < kRigid + kElastic; ++m) {
    const ccx::ModeResults &solver_mode = solver_modes[m];
    EXPECT_NEAR(frequency[m] / solver_mode.frequency, 1.0, 0.01) << "mode " << m + 1;
    ASSERT_EQ(ZEL_Mode(body_, m + 1, 0, body_shape.data(), 0), 1);
    double cross = 0.0, own = 0.0, theirs = 0.0;
    for (int p = 0; p < nodes; ++p) {
      const int id = ZEL_ModeNodeID(body_, 0, p);
      const double mass = ZEL_NodalMass(body_, ZEL_NodeIndex(body_, id));
      if (mass == 0.0) continue;  // a reference node
      const double *u = displacement(solver_mode, id);
      for (int d = 0; d < 3; ++d) {
        cross += mass * body_shape[3 * p + d] * u[d];
        own += mass * body_shape[3 * p + d] * body_shape[3 * p + d];
        theirs += mass * u[d] * u[d];
      }
    }
    EXPECT_GE(cross * cross / (own * theirs), 0.99) << "mode " << m + 1;
    body_mac[m] = cross * cross / (own * theirs);
  }

  // The same through `zel mac`, which pairs the nodes by position.
  ASSERT_TRUE(zel_test::write_zel_file(solver_body(body_, solver_modes), dir_.file("free.zel")));
  const auto macs = mac_by_zel(dir_.file("job.zel"), dir_.file("free.zel"), dir_);
  for (int m = kRigid; m < kRigid + kElastic; ++m) {
    const auto pair = macs.find({m + 1, solver_modes[static_cast<std::size_t>(m)].number});
    ASSERT_NE(pair, macs.end()) << "mode " << m + 1;
    EXPECT_NEAR(pair->second, body_mac[m], 1e-6) << "mode " << m + 1;
  }
}

}  // namespace
