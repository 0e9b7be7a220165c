// The zel program, run as a user runs it: its output, messages and exit
// status on sample files, consistent and altered.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "capture.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

class ZelProgram : public ::testing::Test {
 protected:
  Outcome zel(const std::string &arguments) {
    const std::string out = dir.file("out"), err = dir.file("err");
    const std::string command = std::string("'") + ZEL_PROGRAM + "' " + arguments + " >'" + out + "' 2>'" + err + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, zel_test::read_text_file(out), zel_test::read_text_file(err)};
  }

  std::string write(const zel_test::ZelBody &body, const std::string &name) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(zel_test::write_zel_file(body, path));
    return path;
  }

  // The sample body with invariant blocks that agree with its nodes and
  // modes, and eigenvalues without a generalized mass block (the mark of
  // mass-orthonormal modes).
  zel_test::ZelBody consistent_body() {
    zel_test::ZelBody body = zel_test::sample_body(316);
    body.gen_mass.reset();
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
    "generalized mass: identity\n";

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
  (*body.eigen)[6 + 4] = 1.25;             // generalized mass of mode 2
  const std::string path = write(body, "altered.zel");
  const Outcome run = zel("check '" + path + "'");
  EXPECT_EQ(run.status, 1);
  const std::string mode2 = "invariant 3: file and nodal data differ by 5.000000e-01 (relative ";
  EXPECT_NE(run.out.find(mode2), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(") at mode 2\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("generalized mass: differs from the identity by 2.500000e-01 at modes 2 2\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find(path + ": 2 disagreements\n"), std::string::npos);
  // A tolerance wide enough accepts the changed invariant.
  const Outcome tolerant = zel("check --tolerance 0.5 '" + path + "'");
  EXPECT_EQ(tolerant.status, 0) << tolerant.out;
}

// A file written with invariants keeps only the nodes that draw the body
// (here the sample's faces and interface nodes leave out node 30): its
// invariants cannot be recomputed from them, and check says so instead of
// reporting them as wrong.
TEST_F(ZelProgram, CheckLeavesTheInvariantsOfAReducedBodyAlone) {
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
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("invariants: not compared: the nodes carry a mass of 8.500000e+00 of the body's "
                         "1.200000e+01 (the node set was reduced when the file was written)\n"),
            std::string::npos)
      << run.out;
}

TEST_F(ZelProgram, UsageAndReadErrorsExitWithTwo) {
  const std::string path = write(zel_test::sample_body(316), "sample.zel");
  const std::string missing = dir.file("missing.zel");
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
      {"check '" + missing + "'", "zel check: cannot read " + missing + "\n"},
      {"compare '" + path + "'", "zel compare: needs NEW and BASE\nTry 'zel compare --help'.\n"},
      {"compare '" + path + "' '" + path + "' --verbose loud",
       "zel compare: 'loud' is not a verbosity (-1 to 9)\nTry 'zel compare --help'.\n"},
      {"compare '" + missing + "' '" + path + "'", "zel compare: cannot read " + missing + "\n"},
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
// that has to stop (a node of NEW missing in BASE) with 1 too.
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
  EXPECT_EQ(stopped.status, 1);
  EXPECT_EQ(stopped.out, "");
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
  EXPECT_EQ(zel("contents --help").out.rfind("Usage: zel contents [--all] FILE [ID...]\n", 0), 0u);
  const Outcome version = zel("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("zel ", 0), 0u);
  EXPECT_EQ(version.err, "");
}

}  // namespace
