// The zel program, run as a user runs it: its output, messages and exit
// status on sample files, consistent and altered.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <filesystem>
#include <string>
#include <vector>

#include "capture.h"
#include "program_run.h"
#include "scoped_env.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace {

using Outcome = zel_test::ProgramRun;

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
    return zel_test::run_program(ZEL_PROGRAM, arguments, dir, device);
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
      {"from-ccx job -o '" + folder + "'", "zel: " + folder + ": Is a directory\n"},
      {"from-ccx job -o '" + missing + "/body.zel'", "zel: " + missing + "/body.zel: No such file or directory\n"},
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
  EXPECT_EQ(help.out.rfind("Usage: zel [-q|-v] COMMAND [ARGS...]\n", 0), 0u);
  EXPECT_NE(help.out.find("  zel info FILE\n"), std::string::npos);
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

// --- Files that are not whole bodies ------------------------------------------

// The first of the library's errors names the cause, on one line after the
// path; -v shows every line the library gave.
TEST_F(ZelProgram, AFileThatCannotBeReadIsNamedWithItsCause) {
  const std::string path = dir.file("sample.zel");
  const std::vector<unsigned char> whole = zel_test::zel_file_bytes(zel_test::sample_body(316));
  const struct {
    std::string name;
    std::vector<unsigned char> bytes;
    std::string cause;
  } kCases[] = {
      {"picture.zel", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 0x0D},
       "Unknown version code 0x89504E47: not a ZEL file."},
      {"empty.zel", {}, "The file is empty."},
      {"short.zel", {0, 0, 1}, "The file is truncated: it holds 3 bytes, fewer than the 4 of a version code."},
      {"header.zel", std::vector<unsigned char>(whole.begin(), whole.begin() + 1000),
       "The file is truncated: it ends at byte 1000, before the end of its content summary at byte 2580."},
      {"cut.zel", std::vector<unsigned char>(whole.begin(), whole.end() - 10), "The file ends at byte "},
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir.file(c.name);
    ASSERT_TRUE(zel_test::write_bytes(c.bytes, file));
    const Outcome run = zel("info '" + file + "'");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("zel: " + file + ": " + c.cause, 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  const std::string picture = dir.file("picture.zel");
  EXPECT_EQ(zel("-v check '" + picture + "'").err,
            "ERROR:  Unknown version code 0x89504E47: not a ZEL file.\nERROR:  Not a valid ZEL format.\n"
            "zel: " + picture + ": Unknown version code 0x89504E47: not a ZEL file.\n");
  EXPECT_EQ(zel("contents -q '" + picture + "'").err,
            "zel: " + picture + ": Unknown version code 0x89504E47: not a ZEL file.\n");
}

// --- info -----------------------------------------------------------------------

// Two nodes: 1 kg at (1, 2, 0) and 2 kg at (0.5, 0, 3). About the origin
// Ixx = 22, Iyy = 19.5, Izz = 5.5; the products +sum m x y: Ixy = 2,
// Ixz = 3, Iyz = 0; the centre of mass (2/3, 2/3, 2).
zel_test::ZelBody two_masses(uint32_t version) {
  zel_test::ZelBody body;
  body.version = version;
  body.invariants = false;
  body.inertias = false;
  body.header.title = "two masses";
  body.header.date = "Mon Dec  7 08:00:00 2026";
  body.header.input_file_name = "two.inp";
  body.header.input_file_type = "CalculiX";
  body.nodes = {{7, 1.0, 2.0, 0.0, 1.0, std::nullopt}, {9, 0.5, 0.0, 3.0, 2.0, std::nullopt}};
  const std::vector<int32_t> numbers{1, 2, 3, 4, 5, 6};
  body.mode_shapes = zel_test::ModalValues{zel::kModeShapeSet, 6, {7, 9}, numbers, {}};
  body.eigen = std::vector<double>();
  const double hz[] = {0.0, 0.0, 12.5, 100.0, 1234.5, 1e6};
  for (int i = 0; i < 6; ++i) {
    const double omega = 2 * M_PI * hz[i];
    body.eigen->insert(body.eigen->end(), {i + 1.0, omega * omega, hz[i], omega, 1.0, omega * omega});
  }
  body.units = std::array<std::string, 4>{"MEGAGRAM", "MILLIMETER", "SECOND", "NEWTON"};
  body.interface_nodes = std::vector<int32_t>{1};
  return body;
}

TEST_F(ZelProgram, InfoSummarizesTheBodyOnOneScreen) {
  const std::string path = write(two_masses(316), "two.zel");
  const Outcome run = zel("info '" + path + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "File:            " + path + "\n"
            "Title:           two masses\n"
            "Date:            Mon Dec  7 08:00:00 2026\n"
            "From:            two.inp (CalculiX)\n"
            "Format:          level 6.0, XDR, double precision\n"
            "Units:           mass MEGAGRAM, length MILLIMETER, time SECOND, force NEWTON\n"
            "Nodes:           2 (with mode shapes 2, stresses 0, strains 0)\n"
            "Interface nodes: 1\n"
            "Faces:           0\n"
            "Modes:           6\n"
            "Mass:            3\n"
            "Centre of mass:  0.666667 0.666667 2\n"
            "Inertia:         Ixx 22, Iyy 19.5, Izz 5.5 about the origin\n"
            "                 Ixy 2, Ixz 3, Iyz 0 (sums of +m x y)\n"
            "Node set:        complete\n"
            "Frequencies (Hz):\n"
            "    1: 0               2: 0               3: 12.5            4: 100\n"
            "    5: 1234.5          6: 1e+06\n"
            "Blocks present (bytes):\n"
            "    1 version_code               4\n"
            "    2 header                     2176\n"
            "    3 content_summary            400\n"
            "    4 nodal_coords               64\n"
            "    7 eigenvalues                268\n"
            "    8 mode_shapes                616\n"
            "    9 nodal_masses               32\n"
            "   11 units                      256\n"
            "   17 interface_nodes            8\n");
}

TEST_F(ZelProgram, InfoTellsTheEncodingAndAReducedNodeSet) {
  const struct {
    uint32_t version;
    std::string format;
  } kFormats[] = {{60, "level 6.0, native, double precision"},
                  {0x23C, "level 6.0, native, single precision"},
                  {41, "level 4.1, XDR, double precision"},
                  {40, "level 4.0, native, double precision"}};
  for (const auto &f : kFormats) {
    SCOPED_TRACE(f.version);
    const Outcome run = zel("info '" + write(two_masses(f.version), "format.zel") + "'");
    EXPECT_NE(run.out.find("\nFormat:          " + f.format + "\n"), std::string::npos) << run.out;
  }
  // The file's own mass (invariant 1) is 5 where its nodes carry 3.
  zel_test::ZelBody reduced = two_masses(316);
  reduced.invariants = true;
  reduced.invariant_values[0] = {5.0};
  const Outcome run = zel("info '" + write(reduced, "reduced.zel") + "'");
  EXPECT_NE(run.out.find("\nMass:            5\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\nNode set:        reduced when written: the nodal masses sum to 3 of the body's 5\n"),
            std::string::npos)
      << run.out;
}

// --- from-ccx: units ------------------------------------------------------------

// The units are read before the job: a job that does not exist shows what
// the command line made of them.
TEST_F(ZelProgram, FromCcxReadsUnitsStrictly) {
  const std::string job = dir.file("nojob");
  const std::string hint = "\nTry 'zel from-ccx --help'.\n";
  const struct {
    std::string units;
    std::string message;  // the whole standard error of a refusal, or the first line of an acceptance
    bool accepted;
  } kCases[] = {
      {"t,mm,s,N", "zel from-ccx: units: mass megagram, length millimeter, time second, force newton\n", true},
      {"tonne,MILLIMETER,s,n", "zel from-ccx: units: mass megagram, length millimeter, time second, force newton\n",
       true},
      {"kg,m,s,N", "zel from-ccx: units: mass kilogram, length meter, time second, force newton\n", true},
      {"lbm,in,s,lbf --inconsistent-units",
       "zel from-ccx: units: mass pound_mass, length inch, time second, force pound_force\n", true},
      {"Mg,mm,s,N",
       "zel from-ccx: 'Mg' means different units in upper and lower case: write megagram (or tonne) or milligram" +
           hint,
       false},
      {"mg,mm,s,N",
       "zel from-ccx: 'mg' means different units in upper and lower case: write megagram (or tonne) or milligram" +
           hint,
       false},
      {"t,mm,s,MN",
       "zel from-ccx: 'MN' means different units in upper and lower case: write meganewton or millinewton" + hint,
       false},
      {"t,mm,s,mN",
       "zel from-ccx: 'mN' means different units in upper and lower case: write meganewton or millinewton" + hint,
       false},
      {"t,MM,s,N", "zel from-ccx: 'MM' would be read as mm: write mm, or the unit's name" + hint, false},
      {"t,mm,Ms,N", "zel from-ccx: 'Ms' would be read as ms: write ms, or the unit's name" + hint, false},
      {"kg,mm,s,N",
       "zel from-ccx: units kilogram, millimeter, second, newton are not consistent: one newton is 1000 kilogram "
       "millimeter per second squared (give --inconsistent-units to keep them)" +
           hint,
       false},
      {"t,m,s,N",
       "zel from-ccx: units megagram, meter, second, newton are not consistent: one newton is 0.001 megagram meter "
       "per second squared (give --inconsistent-units to keep them)" +
           hint,
       false},
      {"N,m,s,kg", "zel from-ccx: 'N' is not a mass unit; accepted: t, ", false},
      {"kg,furlong,s,N", "zel from-ccx: 'furlong' is not a length unit; accepted: ", false},
      {"kg,m,s", "zel from-ccx: 'kg,m,s' is not four units MASS,LENGTH,TIME,FORCE" + hint, false},
      {"kg,m,s,N,K", "zel from-ccx: 'kg,m,s,N,K' is not four units MASS,LENGTH,TIME,FORCE" + hint, false},
      {"kg,,s,N", "zel from-ccx: 'kg,,s,N' is not four units MASS,LENGTH,TIME,FORCE" + hint, false},
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.units);
    const Outcome run = zel("from-ccx '" + job + "' --units " + c.units);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    if (c.accepted) {
      EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << run.err;
      EXPECT_NE(run.err.find(job + ".inp"), std::string::npos) << run.err;  // then the missing job
    } else if (c.message.ends_with(hint)) {
      EXPECT_EQ(run.err, c.message);
    } else {
      EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << run.err;
    }
  }
  const Outcome listed = zel("from-ccx '" + job + "' --units kg,furlong,s,N");
  EXPECT_NE(listed.err.find("accepted: kilometer, meter, centimeter, millimeter, "), std::string::npos) << listed.err;
  EXPECT_EQ(zel("-q from-ccx '" + job + "' --units t,mm,s,N").err.find("units:"), std::string::npos);
}

// --- Messages and progress --------------------------------------------------------

// A solver run of the example cantilever in the scratch directory; empty
// when the solver is not installed.
std::string solved_cantilever(const zel_test::ScratchDir &dir) {
  if (std::system("command -v ccx >/dev/null 2>&1") != 0) return {};
  const char *source = std::getenv("ZEL_TEST_SOURCE_DIR");
  if (source == nullptr) return {};
  const std::string job = dir.file("beam");
  std::filesystem::copy_file(std::string(source) + "/examples/ccx/beam.inp", job + ".inp");
  const std::string command = "cd '" + dir.file("") + "' && ccx -i beam >ccx.log 2>&1";
  return std::system(command.c_str()) == 0 ? job : std::string();
}

// Quiet by default: nothing on either stream but the units understood;
// -v gives the library's information on standard error, -q not even the
// units.
TEST_F(ZelProgram, FromCcxIsQuietUnlessAsked) {
  const std::string job = solved_cantilever(dir);
  if (job.empty()) GTEST_SKIP() << "no ccx";
  const Outcome quiet = zel("from-ccx '" + job + "' --units t,mm,s,N");
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, "zel from-ccx: units: mass megagram, length millimeter, time second, force newton\n");
  EXPECT_NE(zel("info '" + job + ".zel'").out.find(
                "\nUnits:           mass MEGAGRAM, length MILLIMETER, time SECOND, force NEWTON\n"),
            std::string::npos);

  const Outcome verbose = zel("from-ccx -v '" + job + "' -o '" + job + "_v.zel'");
  EXPECT_EQ(verbose.status, 0);
  EXPECT_EQ(verbose.out, "");
  EXPECT_NE(verbose.err.find("Read " + job + ".inp: 203 nodes, 20 elements, 64 skin faces, 0 interface nodes\n"),
            std::string::npos)
      << verbose.err;
  EXPECT_TRUE(verbose.err.ends_with("\nWrote " + job + "_v.zel\n")) << verbose.err;
  EXPECT_EQ(verbose.err.find('\r'), std::string::npos);  // no progress off a terminal

  const Outcome silent = zel("-q from-ccx '" + job + "' --units t,mm,s,N -o '" + job + "_q.zel'");
  EXPECT_EQ(silent.status, 0);
  EXPECT_EQ(silent.out + silent.err, "");

  // Warnings show unless -q, in the library's shape.
  const std::string warning = "WARNING:  Unknown write option \"singel\" is ignored.\n";
  const Outcome warned = zel("from-ccx '" + job + "' --options 'full_invar singel' -o '" + job + "_w.zel'");
  EXPECT_EQ(warned.status, 0);
  EXPECT_EQ(warned.out, "");
  EXPECT_EQ(warned.err, warning);
  const Outcome unwarned = zel("from-ccx '" + job + "' -q --options 'full_invar singel' -o '" + job + "_w.zel'");
  EXPECT_EQ(unwarned.status, 0);
  EXPECT_EQ(unwarned.out + unwarned.err, "");
}

// On a terminal the progress is one line rewritten in place, ended with a
// line feed before the report goes on; the report itself holds none of it.
TEST_F(ZelProgram, ProgressGoesToATerminalOnly) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1) for a terminal";
  const std::string path = write(consistent_body(), "good.zel");
  const std::string report = dir.file("report"), screen = dir.file("screen");
  const std::string command = "script -qec \"'" + std::string(ZEL_PROGRAM) + "' check '" + path + "' >'" + report +
                              "'\" /dev/null >'" + screen + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string shown = zel_test::read_text_file(screen);
  EXPECT_NE(shown.find("\rzel check: mode shape 1 of 3\rzel check: mode shape 2 of 3\rzel check: mode shape 3 of 3"),
            std::string::npos)
      << shown;
  EXPECT_TRUE(shown.ends_with("\r\n")) << shown;  // the terminal's line feed
  const std::string printed = zel_test::read_text_file(report);
  EXPECT_EQ(printed.find('\r'), std::string::npos);
  EXPECT_TRUE(printed.ends_with(path + ": everything agrees\n")) << printed;
}

}  // namespace
