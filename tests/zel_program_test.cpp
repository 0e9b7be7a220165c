// The zel program, run as a user runs it: its output, messages and exit
// status on sample files, consistent and altered.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <filesystem>
#include <string>
#include <vector>

#include "capture.h"
#include "scoped_env.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Phi^T M Phi of a body, summed in long double straight from its
// description: translations with the nodal mass, rotations with the full
// nodal inertia tensor. Every entry (i <= j), as a generalized mass block.
zel_test::GeneralizedBlock modal_mass_block(const zel_test::ZelBody &body) {
  const zel_test::ModalValues &modes = *body.mode_shapes;
  const auto value = [&](int i, int p, int c) {
    return modes.value ? modes.value(i, p, c) : zel_test::mode_value(0, i, p, c);
  };
  std::map<int32_t, const zel_test::BodyNode *> by_id;
  for (const auto &node : body.nodes) by_id[node.id] = &node;
  zel_test::GeneralizedBlock block{modes.mode_count, {}};
  for (int i = 0; i < modes.mode_count; ++i)
    for (int j = i; j < modes.mode_count; ++j) {
      long double sum = 0;
      for (std::size_t p = 0; p < modes.node_ids.size(); ++p) {
        const zel_test::BodyNode &node = *by_id.at(modes.node_ids[p]);
        const int at = static_cast<int>(p);
        for (int a = 0; a < 3; ++a) sum += static_cast<long double>(node.mass) * value(i, at, a) * value(j, at, a);
        if (!node.inertia) continue;
        const zel::NodalInertia &n = *node.inertia;  // Ixx, Iyy, Izz, Ixy, Ixz, Iyz
        const double tensor[3][3] = {{n[0], n[3], n[4]}, {n[3], n[1], n[5]}, {n[4], n[5], n[2]}};
        for (int a = 0; a < 3; ++a)
          for (int b = 0; b < 3; ++b)
            sum += static_cast<long double>(value(i, at, 3 + a)) * tensor[a][b] * value(j, at, 3 + b);
      }
      block.entries.push_back({i, j, static_cast<double>(sum)});
    }
  return block;
}

// A body of `nodes` nodes and `modes` smooth modes, not orthogonal,
// with masses and (at every fifth node) inertias that vary from node to
// node, and its generalized mass block.
zel_test::ZelBody wavy_body(int nodes, int modes) {
  zel_test::ZelBody body;
  body.version = 316;
  body.invariants = false;
  zel_test::ModalValues shapes;
  shapes.mode_count = modes;
  for (int p = 0; p < nodes; ++p) {
    zel_test::BodyNode node{p + 1, 0.001 * p, 0.0, 0.0, 1.0 + 0.25 * (p % 7), std::nullopt};
    if (p % 5 == 0) node.inertia = zel::NodalInertia{0.5, 0.75, 1.0, 0.125, -0.25, 0.0625};
    body.nodes.push_back(node);
    shapes.node_ids.push_back(p + 1);
  }
  for (int i = 0; i < modes; ++i) shapes.mode_numbers.push_back(i + 1);
  shapes.value = [](int i, int p, int c) { return std::sin(0.003 * (i + 1) * p + 0.7 * c + i); };
  body.mode_shapes = shapes;
  body.eigen = std::vector<double>();
  for (int i = 0; i < modes; ++i) {
    const double omega = 10.0 * (i + 1);
    body.eigen->insert(body.eigen->end(), {i + 1.0, omega * omega, omega / (2 * M_PI), omega, 1.0, omega * omega});
  }
  body.gen_mass = modal_mass_block(body);
  return body;
}

class ZelProgram : public ::testing::Test {
 protected:
  // Runs zel with its standard output into a file of the scratch
  // directory, or into `device` (not read back) when one is named.
  Outcome zel(const std::string &arguments, const std::string &device = {}) {
    const std::string out = device.empty() ? dir.file("out") : device, err = dir.file("err");
    const std::string command = std::string("'") + ZEL_PROGRAM + "' " + arguments + " >'" + out + "' 2>'" + err + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, device.empty() ? zel_test::read_text_file(out) : "",
            zel_test::read_text_file(err)};
  }

  std::string write(const zel_test::ZelBody &body, const std::string &name) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(zel_test::write_zel_file(body, path));
    return path;
  }

  // The sample body with invariant blocks and a generalized mass block
  // that agree with its nodes and modes.
  zel_test::ZelBody consistent_body() {
    zel_test::ZelBody body = zel_test::sample_body(316);
    body.gen_mass = modal_mass_block(body);
    body.invariants = false;
    Database *db = ZEL_CreateFromZEL(write(body, "plain.zel").c_str());
    EXPECT_NE(db, nullptr);
    body.invariants = true;
    body.invariant_values = invariant_blocks(db);
    ZEL_UnLink(db);
    return body;
  }

  // The invariants of db laid out as their blocks hold them.
  static std::array<std::vector<double>, 8> invariant_blocks(Database *db) {
    const int m = ZEL_ModeCount(db);
    std::array<std::vector<double>, 8> blocks;
    auto append = [](std::vector<double> &to, double *values, int count) {
      ASSERT_NE(values, nullptr);
      to.insert(to.end(), values, values + count);
      ZEL_FreeMemory(values);
    };
    blocks[0] = {ZEL_Invar1(db)};
    append(blocks[1], ZEL_Invar2(db), 3);
    append(blocks[2], ZEL_Invar3(db), 3 * m);
    append(blocks[3], ZEL_Invar4(db), 3 * m);
    append(blocks[5], ZEL_Invar7(db), 9);
    for (int i = 0; i < m; ++i) {
      append(blocks[4], ZEL_Invar5(db, i), 3 * m);
      append(blocks[6], ZEL_Invar8(db, i), 9);
      for (int j = 0; j < m; ++j) append(blocks[7], ZEL_Invar9(db, i, j), 9);
    }
    return blocks;
  }

  zel_test::ScratchDir dir;
};

constexpr char kAllAgree[] =
    "invariant 1: agrees\ninvariant 2: agrees\ninvariant 3: agrees\ninvariant 4: agrees\n"
    "invariant 5: agrees\ninvariant 7: agrees\ninvariant 8: agrees\ninvariant 9: agrees\n"
    "generalized mass: agrees\n";

TEST_F(ZelProgram, ContentsPrintsTheReportWithoutTheModeBlocksUnlessAsked) {
  const std::string path = write(zel_test::sample_body(316), "sample.zel");
  const Outcome first = zel("contents '" + path + "' 1");
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(first.out.substr(first.out.find("ZEL version")),
            "ZEL version: 6.0\nPrecision: Double   \nPlatform independent (XDR encoded): Yes \n\n");
  const Outcome look = zel("contents '" + path + "'");
  const Outcome all = zel("contents --all '" + path + "'");
  EXPECT_EQ(look.status, 0);
  EXPECT_EQ(all.status, 0);
  for (const char *mode_block : {"Block   8:", "Block  18:", "Block  29:"}) {
    EXPECT_EQ(look.out.find(mode_block), std::string::npos) << mode_block;
    EXPECT_NE(all.out.find(mode_block), std::string::npos) << mode_block;
  }
  EXPECT_NE(look.out.find("Block  32:"), std::string::npos);
}

TEST_F(ZelProgram, CheckAgreesOnAConsistentFile) {
  const std::string path = write(consistent_body(), "good.zel");
  const Outcome run = zel("check '" + path + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, std::string(kAllAgree) + path + ": everything agrees\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(ZelProgram, CheckNamesWhatDisagrees) {
  zel_test::ZelBody body = consistent_body();
  body.invariant_values[2][3 + 1] += 0.5;  // invariant 3, y of mode 2
  body.gen_mass->entries[2].value *= 1.25;  // modes 1 and 3
  const std::string path = write(body, "altered.zel");
  const Outcome run = zel("check '" + path + "'");
  EXPECT_EQ(run.status, 1);
  const std::string mode2 = "invariant 3: file and nodal data differ by 5.000000e-01 (relative ";
  EXPECT_NE(run.out.find(mode2), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(") at mode 2\n"), std::string::npos) << run.out;
  const std::size_t mass_line = run.out.find("generalized mass: file and nodal data differ by ");
  ASSERT_NE(mass_line, std::string::npos) << run.out;
  EXPECT_EQ(run.out.substr(run.out.find(')', mass_line)), ") at modes 1 3\n" + path + ": 2 disagreements\n");
  // A tolerance wide enough accepts both changes.
  const Outcome tolerant = zel("check --tolerance 0.5 '" + path + "'");
  EXPECT_EQ(tolerant.status, 0) << tolerant.out;
}

// The sample body as a translator builds it: nodes, masses, inertias,
// mode shapes, a diagonal stiffness and the generalized mass of its modes,
// which couples them.
Database *build_coupled_sample() {
  const zel_test::ZelBody body = zel_test::sample_body(316);
  const int modes = body.mode_shapes->mode_count;
  Database *db = ZEL_Create(static_cast<int>(body.nodes.size()), modes);
  bool ok = db != nullptr;
  for (std::size_t p = 0; ok && p < body.nodes.size(); ++p) {
    const zel_test::BodyNode &node = body.nodes[p];
    ok = ZEL_SetNodeCoordinates(db, node.id, node.x, node.y, node.z) && ZEL_SetNodalMass(db, node.id, node.mass);
    if (ok && node.inertia) {
      const zel::NodalInertia &j = *node.inertia;
      ok = ZEL_SetNodalInertia(db, node.id, j[0], j[1], j[2], j[3], j[4], j[5]);
    }
    for (int i = 0; ok && i < modes; ++i) {
      double values[6];
      for (int c = 0; c < 6; ++c) values[c] = zel_test::mode_value(0, i, static_cast<int>(p), c);
      ok = ZEL_SetModeVec(db, i + 1, node.id, 0, values);
    }
  }
  for (const zel::GenEntry &entry : modal_mass_block(body).entries)
    ok = ok && ZEL_SetGeneralizedMass(db, entry.row + 1, entry.col + 1, entry.value);
  for (int i = 0; ok && i < modes; ++i) ok = ZEL_SetGeneralizedStiffness(db, i + 1, i + 1, 1e9 * (i + 2) * (i + 2));
  EXPECT_TRUE(ok);
  return db;
}

// Modes the writer made mass-orthonormal have the identity for their
// generalized mass.
TEST_F(ZelProgram, CheckAgreesOnModesTheWriterOrthonormalized) {
  Database *db = nullptr;
  zel_test::capture([&] { db = build_coupled_sample(); });
  ASSERT_NE(db, nullptr);
  const std::string path = dir.file("orthonormal.zel");
  int written = 0;
  {
    zel_test::ScopedEnv options("KOR_ZELWRITE_OPTIONS", std::nullopt);
    zel_test::capture([&] { written = ZEL_write_ZEL(db, path.c_str()); });
  }
  ZEL_UnLink(db);
  ASSERT_EQ(written, 1);
  const Outcome run = zel("check '" + path + "'");
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("generalized mass: agrees\n" + path + ": everything agrees\n"), std::string::npos)
      << run.out;
}

// The modes go in batches when they do not fit the memory cap at once
// (here 1 MiB: two modes of 8000 nodes a batch, three batches); every pair
// is still summed, within a batch and across batches.
TEST_F(ZelProgram, CheckSumsTheGeneralizedMassBatchByBatch) {
  const zel_test::ZelBody body = wavy_body(8000, 6);
  zel_test::ScopedEnv budget("ZEL_INVARIANT_MEMORY", "1");
  const Outcome whole = zel("check '" + write(body, "wavy.zel") + "'");
  EXPECT_EQ(whole.status, 0) << whole.out;
  EXPECT_NE(whole.out.find("generalized mass: agrees\n"), std::string::npos) << whole.out;
  const struct {
    int row, col;
    std::string where;
  } kChanged[] = {{0, 5, "1 6"}, {1, 2, "2 3"}, {2, 3, "3 4"}, {4, 4, "5 5"}};
  for (const auto &changed : kChanged) {
    SCOPED_TRACE(changed.where);
    zel_test::ZelBody altered = body;
    for (auto &entry : altered.gen_mass->entries)
      if (entry.row == changed.row && entry.col == changed.col) entry.value += 0.5;
    const Outcome run = zel("check '" + write(altered, "altered.zel") + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("generalized mass: file and nodal data differ by 5.0000"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(") at modes " + changed.where + "\n"), std::string::npos) << run.out;
  }
}

// A file written with invariants keeps only the nodes that draw the body
// (here the sample's faces and interface nodes leave out node 30): its
// invariants and generalized mass cannot be recomputed from them, and
// check says so instead of reporting them as wrong, and that it compared
// nothing.
TEST_F(ZelProgram, CheckLeavesTheSumsOfAReducedBodyAlone) {
  zel_test::ZelBody body = zel_test::sample_body(316);
  body.invariants = false;
  body.faces = zel_test::FaceList{1, {3, 0, 1, 3}};
  Database *db = ZEL_CreateFromZEL(write(body, "whole.zel").c_str());
  ASSERT_NE(db, nullptr);
  const std::string path = dir.file("reduced.zel");
  setenv("KOR_ZELWRITE_OPTIONS", "full_invar", 1);
  int written = 0;
  zel_test::capture([&] { written = ZEL_write_ZEL(db, path.c_str()); });
  unsetenv("KOR_ZELWRITE_OPTIONS");
  ZEL_UnLink(db);
  ASSERT_EQ(written, 1);
  const Outcome run = zel("check '" + path + "'");
  EXPECT_EQ(run.status, 3) << run.out;
  EXPECT_EQ(run.out,
            "invariants: not compared: the nodes carry a mass of 8.500000e+00 of the body's "
            "1.200000e+01 (the node set was reduced when the file was written)\n"
            "generalized mass: not compared: the node set was reduced when the file was written\n" +
                path + ": nothing could be compared\n");
}

// Without nodal masses or invariant blocks there is nothing to recompute.
TEST_F(ZelProgram, CheckWithoutNodalMassesComparesNothing) {
  zel_test::ZelBody body = consistent_body();
  body.masses = false;
  body.invariants = false;
  const std::string path = write(body, "massless.zel");
  const Outcome run = zel("check '" + path + "'");
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.out.find("invariant 9: no block in the file\n"
                         "generalized mass: not compared: the file holds no nodal masses\n" +
                         path + ": nothing could be compared\n"),
            std::string::npos)
      << run.out;
}

TEST_F(ZelProgram, UsageAndReadErrorsExitWithTwo) {
  const std::string path = write(zel_test::sample_body(316), "sample.zel");
  const std::string missing = dir.file("missing.zel");
  const std::string folder = dir.file("folder");
  std::filesystem::create_directory(folder);
  const struct {
    std::string arguments;
    std::string message;
  } kCases[] = {
      {"", "zel: missing COMMAND\nTry 'zel --help'.\n"},
      {"frobnicate", "zel: unknown command 'frobnicate'\nTry 'zel --help'.\n"},
      {"contents", "zel contents: missing FILE\nTry 'zel contents --help'.\n"},
      {"contents --modes '" + path + "'", "zel contents: unknown option '--modes'\nTry 'zel contents --help'.\n"},
      {"contents '" + path + "' 33",
       "zel contents: '33' is not a block id (1 to 32)\nTry 'zel contents --help'.\n"},
      {"check '" + path + "' --tolerance", "zel check: --tolerance needs a value\nTry 'zel check --help'.\n"},
      {"check --tolerance -1 '" + path + "'",
       "zel check: '-1' is not a tolerance (a number of at least 0)\nTry 'zel check --help'.\n"},
      {"check '" + path + "' '" + path + "'",
       "zel check: unexpected argument '" + path + "'\nTry 'zel check --help'.\n"},
      {"check '" + missing + "'", "zel: " + missing + ": No such file or directory\n"},
      {"contents '" + folder + "'", "zel: " + folder + ": Is a directory\n"},
      {"contents /dev/null", "zel: /dev/null: not a regular file\n"},
      {"compare '" + path + "'", "zel compare: needs NEW and BASE\nTry 'zel compare --help'.\n"},
      {"compare '" + path + "' '" + path + "' --verbose loud",
       "zel compare: 'loud' is not a verbosity (-1 to 9)\nTry 'zel compare --help'.\n"},
      {"compare '" + missing + "' '" + path + "'", "zel: " + missing + ": No such file or directory\n"},
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.arguments);
    const Outcome run = zel(c.arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

// Equivalent files exit with 0, different ones with 1, and a comparison
// that has to stop (a node of NEW missing in BASE) with 2.
TEST_F(ZelProgram, CompareExitsWithTheVerdict) {
  zel_test::ZelBody base = zel_test::sample_body(316);
  const std::string base_path = write(base, "base.zel");
  const Outcome same = zel("compare '" + write(zel_test::sample_body(60), "native.zel") + "' '" + base_path + "'");
  EXPECT_EQ(same.status, 0) << same.out;
  EXPECT_NE(same.out.find(" Files are equivalent\n"), std::string::npos) << same.out;

  zel_test::ZelBody heavier = base;
  heavier.nodes[1].mass += 1.0;
  const Outcome differ = zel("compare --verbose 0 '" + write(heavier, "heavier.zel") + "' '" + base_path + "'");
  EXPECT_EQ(differ.status, 1);
  EXPECT_EQ(differ.out.rfind("->Fail", 0), 0u) << differ.out;

  zel_test::ZelBody renamed = base;
  renamed.nodes[0].id = 99;
  renamed.mode_shapes->node_ids[0] = 99;
  const Outcome stopped = zel("compare '" + write(renamed, "renamed.zel") + "' '" + base_path + "' --verbose -1");
  EXPECT_EQ(stopped.status, 2);
  EXPECT_EQ(stopped.out, "");
}

// A report that cannot be written whole is an error, whatever it said.
TEST_F(ZelProgram, OutputThatCannotBeWrittenExitsWithTwo) {
  const std::string path = write(consistent_body(), "good.zel");
  const struct {
    std::string arguments, message;
  } kCases[] = {
      {"contents '" + path + "'", "zel contents: cannot write the output: No space left on device\n"},
      {"check '" + path + "'", "zel check: cannot write the output: No space left on device\n"},
      // The comparison flushes its report itself: the error is known, its reason lost.
      {"compare '" + path + "' '" + path + "'", "zel compare: cannot write the output\n"},
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.arguments);
    const Outcome run = zel(c.arguments, "/dev/full");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, c.message);
  }
}

TEST_F(ZelProgram, HelpAndVersion) {
  const Outcome help = zel("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: zel COMMAND [ARGS...]\n", 0), 0u);
  EXPECT_NE(help.out.find("  zel check [--tolerance T] FILE\n"), std::string::npos);
  const Outcome check_help = zel("check --help");
  EXPECT_EQ(check_help.status, 0);
  EXPECT_EQ(check_help.out.rfind("Usage: zel check [--tolerance T] FILE\n", 0), 0u);
  EXPECT_NE(check_help.out.find("(default 1e-6)"), std::string::npos);
  EXPECT_NE(check_help.out.find("3 nothing could be\ncompared.\n"), std::string::npos);
  EXPECT_EQ(zel("contents --help").out.rfind("Usage: zel contents [--all] FILE [ID...]\n", 0), 0u);
  const Outcome version = zel("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("zel ", 0), 0u);
  EXPECT_EQ(version.err, "");
}

}  // namespace
