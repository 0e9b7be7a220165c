// The contents report: whole reports of sample files pinned against
// reviewed copies, the differences between file versions, and each block's
// body for the cases a file or a built body can be in.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "body/database.h"
#include "body_files.h"
#include "capture.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

using zel_test::capture;

namespace {

// What ZEL_Contents writes for the given blocks.
std::string report(Database *db, std::initializer_list<int> ids) {
  char *text = nullptr;
  std::size_t size = 0;
  std::FILE *stream = open_memstream(&text, &size);
  for (int id : ids) ZEL_Contents(db, id, stream);
  std::fclose(stream);
  std::string result(text, size);
  std::free(text);
  return result;
}

std::string banner(int id, const char *title) {
  char line[80];
  std::snprintf(line, sizeof line, "|    Block %3d:      %-30s                      |\n", id, title);
  const std::string dashes(74, '-'), box = "|" + std::string(72, ' ') + "|\n";
  return "\n\n" + dashes + "\n" + box + line + box + dashes + "\n\n\n";
}

// The body of one block's report, after its banner.
std::string body_of(Database *db, int id) {
  const std::string text = report(db, {id});
  const std::size_t banner_length = banner(id, "").size();
  return text.size() < banner_length ? "<no banner>" : text.substr(banner_length);
}

class Contents : public zel_test::BodyFiles {};

TEST(ContentsBanner, BoxesTheIdAndTitle) {
  Database *db = ZEL_Create(1, 0);
  const std::string text = report(db, {7});
  const std::string boxed =
            "\n\n"
            "--------------------------------------------------------------------------\n"
            "|                                                                        |\n"
            "|    Block   7:      Eigenvalues:                                        |\n"
            "|                                                                        |\n"
            "--------------------------------------------------------------------------\n"
            "\n\n";
  EXPECT_EQ(text, boxed + "No eigenvalue information\n\n");
  ZEL_Terminate();
}

// Every block of a new-style and an old-style sample file, byte for byte.
TEST_F(Contents, WholeReportsOfSampleFilesArePinned) {
  const char *source = std::getenv("ZEL_TEST_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  for (uint32_t version : {316u, 10u}) {
    SCOPED_TRACE(version);
    Database *db = open(zel_test::sample_body(version));
    ASSERT_NE(db, nullptr);
    std::string text;
    const auto printed = capture([&] {
      for (int id = 1; id <= 32; ++id) text += report(db, {id});
    });
    EXPECT_EQ(printed.err, "");
    const std::string pinned = std::string(source) + "/tests/data/contents_" + std::to_string(version) + ".txt";
    EXPECT_EQ(text, zel_test::read_text_file(pinned));
  }
}

struct VersionRow {
  uint32_t version;
  const char *shown, *precision, *xdr;  // block 1
  const char *first_eigenvalue_line;
  bool old_style_faces;
  bool later_blocks;  // invariants, loads, strain, statistics, pre-values
};

// A version 1.0 file derives frequencies from its eigenvalues; the others
// store them, rounded to single precision by the sample body.
constexpr char kDerivedHertz[] =
    "    1  4.0000000000e+00  3.1830988618e-01  2.0000000000e+00  1.0000000000e+00  4.0000000000e+00\n";
constexpr char kStoredHertz[] =
    "    1  4.0000000000e+00  3.1830987334e-01  2.0000000000e+00  1.0000000000e+00  4.0000000000e+00\n";

constexpr VersionRow kVersions[] = {
    {10, "1.0", "Double", "No", kDerivedHertz, true, false},
    {20, "2.0", "Double", "No", kStoredHertz, true, false},
    {30, "3.0", "Double", "No", kStoredHertz, false, false},
    {31, "3.1", "Double", "Yes", kStoredHertz, false, false},
    {40, "4.0", "Double", "No", kStoredHertz, false, true},
    {41, "4.1", "Double", "Yes", kStoredHertz, false, true},
    {50, "5.0", "Single", "No", kStoredHertz, false, true},
    {51, "5.1", "Single", "Yes", kStoredHertz, false, true},
    {60, "6.0", "Double", "No", kStoredHertz, false, true},
    {316, "6.0", "Double", "Yes", kStoredHertz, false, true},
    {572, "6.0", "Single", "No", kStoredHertz, false, true},
    {828, "6.0", "Single", "Yes", kStoredHertz, false, true},
};

bool line_present(const std::string &text, const std::string &line) {
  return text.find(line) != std::string::npos;
}

TEST_F(Contents, EveryVersionCodeShowsItsVersionEncodingAndBlocks) {
  static_assert(std::size(kVersions) == std::size(zel_test::kAllVersionCodes));
  for (const VersionRow &row : kVersions) {
    SCOPED_TRACE(row.version);
    Database *db = open(zel_test::sample_body(row.version));
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(body_of(db, 1), std::string("ZEL version: ") + row.shown + "\nPrecision: " + row.precision +
                                  "   \nPlatform independent (XDR encoded): " + row.xdr + " \n\n");
    const std::string summary = body_of(db, 3);
    const char *faces = row.old_style_faces ? "Yes" : "No";
    EXPECT_TRUE(line_present(summary, std::string("          Element_topology (5) ") + faces + "\n"));
    EXPECT_TRUE(line_present(summary, std::string("            Element_faces (14) ") +
                                          (row.old_style_faces ? "No" : "Yes") + "\n"));
    const char *later = row.later_blocks ? "Yes" : "No";
    for (const char *label : {"             Invariants 1 (19) ", "             Invariants 9 (26) ",
                              "              Modal Loads (28) ", "         Nodal Pre-Strain (32) "})
      EXPECT_TRUE(line_present(summary, std::string(label) + later + "\n")) << label;
    EXPECT_TRUE(line_present(body_of(db, 7), row.first_eigenvalue_line));
    // Both face encodings read back as the same two faces.
    EXPECT_TRUE(line_present(body_of(db, 14), "number of faces 2\n\n"));
    ZEL_UnLink(db);
  }
}

// One block of a sample body changed before writing.
struct BlockCase {
  const char *name;
  std::function<void(zel_test::ZelBody &)> change;
  int id;
  const char *body;
};

const BlockCase kBlockCases[] = {
    {"stress absent", [](auto &b) { b.stress.reset(), b.pre_stress.reset(); }, 18, "\tNo Modal Stress Information\n\n"},
    {"strain absent", [](auto &b) { b.strain.reset(), b.pre_strain.reset(); }, 29, "\tNo Modal Strain Information\n\n"},
    {"pre-stress absent", [](auto &b) { b.pre_stress.reset(); }, 31, "\tNo Nodal Pre-Stress Information\n\n"},
    {"pre-strain absent", [](auto &b) { b.pre_strain.reset(); }, 32, "\tNo Nodal Pre-Strain Information\n\n"},
    {"preload absent", [](auto &b) { b.preload.reset(); }, 27, "\tNo Preload information.\n\n"},
    {"loads absent", [](auto &b) { b.loads.reset(); }, 28, "\tNo Modal Load information.\n\n"},
    {"statistics absent", [](auto &b) { b.statistics.reset(); }, 30, "\tNo Modal Statistic Information\n\n"},
    {"transformation absent", [](auto &b) { b.transformation.reset(); }, 16,
     "\tNo Mode Shape Transformation, modes used as is.\n\n"},
    {"no nodal inertia", [](auto &b) { b.inertias = false; }, 10, "\tNo Nodal Inertia information.\n\n"},
    {"no interface nodes", [](auto &b) { b.interface_nodes.reset(); }, 17, ""},
    {"damping absent, not on principal axes", [](auto &b) { b.gen_damp.reset(); }, 15,
     "Note:\tThe generalized damping matrix has not been projected onto\n"
     "\tprincipal coordinates.  Rows and columns correspond to rigid body\n"
     "\tand flexible modes.\n\n"
     "No generalized damping information in ZEL.\n\n"},
    // Without a list the stiffness is the eigenvalue diagonal.
    {"stiffness from the eigenvalues", [](auto &b) { b.gen_stiff.reset(); }, 12,
     "    1       1       4.0000000000e+00\n    2       2       9.0000000000e+00\n"
     "    3       3       1.6000000000e+01\n\n"},
    {"zero mass entries are left out",
     [](auto &b) { b.gen_mass = zel_test::GeneralizedBlock{3, {{0, 0, 1.0}, {0, 1, 0.0}, {1, 0, -0.5}}}; }, 13,
     "    1       1       1.0000000000e+00\n    2       1      -5.0000000000e-01\n\n"},
    // Fewer pre-stress rows than stress nodes (the reader says so, and
    // keeps them): only the rows held.
    {"pre-stress rows fewer than the stress nodes",
     [](auto &b) { b.pre_stress = std::vector<double>{1, 2, 3, 4, 5, 6}; }, 31,
     "   ID        sigma_x          sigma_y          sigma_z           tau_xy           tau_xz           tau_yz\n"
     "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~\n\n"
     "   30   1.000000000e+00  2.000000000e+00  3.000000000e+00  4.000000000e+00  5.000000000e+00  6.000000000e+00\n"},
    // Invariant 3 is component-major: mode 2 is entries 1, M + 1, 2M + 1.
    {"invariant 3 by mode",
     [](auto &b) { b.invariant_values[2] = {1, 2, 3, 10, 20, 30, 100, 200, 300}; }, 21,
     "    1,   1.0000000000e+00  1.0000000000e+01  1.0000000000e+02 \n"
     "    2,   2.0000000000e+00  2.0000000000e+01  2.0000000000e+02 \n"
     "    3,   3.0000000000e+00  3.0000000000e+01  3.0000000000e+02 \n\n"},
};

TEST_F(Contents, BlockBodiesOfChangedSampleFiles) {
  for (const BlockCase &c : kBlockCases) {
    SCOPED_TRACE(c.name);
    zel_test::ZelBody body = zel_test::sample_body(316);
    c.change(body);
    Database *db = nullptr;
    capture([&] { db = open(body); });
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(body_of(db, c.id), c.body);
    ZEL_UnLink(db);
  }
}

// A body built in memory without modes.
TEST(ContentsOfABuiltBody, WithoutModesEveryModalBlockSaysSo) {
  Database *db = ZEL_Create(4, 0);
  ZEL_SetNodeCoordinates(db, 7, 1.0, 2.0, 3.0);
  ZEL_SetNodalMass(db, 7, 2.0);
  ZEL_SetNodeCoordinates(db, 5, -1.0, 0.0, 0.5);
  const struct {
    int id;
    const char *body;
  } kCases[] = {
      {4, "   5    -1.0000000000e+00     0.0000000000e+00     5.0000000000e-01 \n"
          "   7     1.0000000000e+00     2.0000000000e+00     3.0000000000e+00 \n\n"},
      {7, "No eigenvalue information\n\n"},
      {8, "Number of Mode Shapes 0\n\n"},
      {9, "   5\t0.000000e+00\n   7\t2.000000e+00\n\n"},
      {12, "No generalized stiffness information.\n\n"},
      {13, "No generalized mass information in ZEL\n\n"},
      {18, "\tNo Modal Stress Information\n\n"},
      {19, "\t2.000000 \n\n"},
      {20, "\t2.000000\t4.000000\t6.000000 \n\n"},
      {21, "\tNo Invariant 3 information\n\n"},
      {22, "\tNo Invariant 4 information\n\n"},
      {23, ""},
      {25, ""},
      {26, ""},
  };
  for (const auto &c : kCases) EXPECT_EQ(body_of(db, c.id), c.body) << "block " << c.id;
  ZEL_Terminate();
}

// The face walk stays inside the stored list, whatever the face count or a
// vertex count claims.
TEST(ContentsOfABuiltBody, FaceWalkStopsAtTheEndOfTheList) {
  Database *db = ZEL_Create(4, 0);
  for (int id : {1, 2, 3}) ZEL_SetNodeCoordinates(db, id, id, 0.0, 0.0);
  int triangle[] = {1, 2, 3};
  ASSERT_EQ(ZEL_SetFaceList(db, 3, triangle), 1);
  db->face_list.push_back(7);  // a second face claiming 7 vertices, none stored
  db->face_count = 5;
  EXPECT_EQ(body_of(db, 14), "number of faces 5\n\n      1            1      2      3\n\n");
  ZEL_Terminate();
}

TEST(ContentsArguments, WriteNothingWhenThereIsNothingToWrite) {
  Database *db = ZEL_Create(1, 0);
  EXPECT_EQ(report(db, {0, 33, -1}), "");
  const auto printed = capture([&] {
    for (int id = 1; id <= 32; ++id) ZEL_Contents(db, id, nullptr);
  });
  EXPECT_EQ(printed.out, "");
  EXPECT_EQ(printed.err, "");
  const auto no_database = capture([&] { EXPECT_EQ(report(nullptr, {1}), ""); });
  EXPECT_EQ(no_database.err, "ERROR:  The database has not been initialized.\n");
  ZEL_Terminate();
}

// A look at a large file must not read its modes: only the blocks that
// print mode values fetch them when invariants and statistics are held.
TEST_F(Contents, OnlyTheModeBlocksReadModeShapes) {
  Database *db = open(zel_test::sample_body(316));
  ASSERT_NE(db, nullptr);
  for (int id = 1; id <= 32; ++id)
    if (id != 8) report(db, {id});
  EXPECT_EQ(db->cache_mode[zel::kModeShapeSet], -1);
  report(db, {8});
  EXPECT_EQ(db->cache_mode[zel::kModeShapeSet], 2);
}

}  // namespace
