// The generalized stiffness, mass and damping queries: sparse entries, the
// eigenvalue fallback, and the dense full, selected and principal-axes
// forms, with entries read from damaged files and pairs given twice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "body/database.h"
#include "capture.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace {

using zel::GenEntry;
using zel_test::capture;
using Dense = std::vector<std::vector<double>>;

// A caller's matrix of row pointers, filled with a marker so that a query
// that writes nothing can be told from one that zeroes.
struct Rows {
  explicit Rows(int n, double marker = 0.0) : values(static_cast<std::size_t>(n), std::vector<double>(n, marker)) {
    for (std::vector<double> &row : values) pointers.push_back(row.data());
  }
  Dense values;
  std::vector<double *> pointers;
};

Dense dense(const std::vector<double> &full, int n) {
  Dense rows(static_cast<std::size_t>(n));
  for (int r = 0; r < n; ++r) rows[r].assign(full.begin() + r * n, full.begin() + (r + 1) * n);
  return rows;
}

class GenQueries : public ::testing::Test {
 protected:
  void SetUp() override {
    db = ZEL_Create(0, 10);
    db->mode_numbers = {7, 8, 9};
  }
  void TearDown() override { ZEL_Terminate(); }

  Dense full(int (*query)(Database *, double *, int), int n) {
    std::vector<double> matrix(static_cast<std::size_t>(n * n), -1.0);
    EXPECT_EQ(query(db, matrix.data(), n), 1);
    return dense(matrix, n);
  }

  Database *db = nullptr;
};

TEST_F(GenQueries, WithoutListsStiffnessAndMassComeFromTheEigenvalues) {
  EXPECT_EQ(ZEL_NumberOfGenStiff(db), 3);
  EXPECT_EQ(ZEL_NumberOfGenMass(db), 3);
  double values[3] = {-1.0, -1.0, -1.0};
  int rows[3];
  int cols[3];
  ASSERT_EQ(ZEL_GenStiffSparse(db, values, rows, cols), 1);
  EXPECT_EQ(std::vector<double>(values, values + 3), std::vector<double>(3, 0.0));
  EXPECT_EQ(std::vector<int>(rows, rows + 3), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(std::vector<int>(cols, cols + 3), (std::vector<int>{0, 1, 2}));

  // Mode number, eigenvalue, Hz, rad/s, generalized mass, stiffness.
  db->eigen = {7, 4, 0, 0, 2, 8, 8, 9, 0, 0, 3, 27, 9, 16, 0, 0, 5, 80};
  db->eigen_count = 3;
  EXPECT_EQ(full(ZEL_GenStiffFull, 3), (Dense{{8, 0, 0}, {0, 27, 0}, {0, 0, 80}}));
  EXPECT_EQ(full(ZEL_GenMassFull, 3), (Dense{{2, 0, 0}, {0, 3, 0}, {0, 0, 5}}));
  // Damping has no fallback.
  EXPECT_EQ(ZEL_NumberOfGenDamp(db), 0);
  EXPECT_EQ(ZEL_GenDampExist(db), 0);
  EXPECT_EQ(ZEL_GenDampSparse(db, values, rows, cols), 0);
  std::vector<double> matrix(9, -1.0);
  EXPECT_EQ(ZEL_GenDampFull(db, matrix.data(), 3), 0);
  EXPECT_EQ(matrix, std::vector<double>(9, 0.0));
}

TEST_F(GenQueries, DenseFormsAreSymmetricOverTheirModes) {
  db->gen_stiff = {GenEntry{0, 1, 5.0}};
  EXPECT_EQ(ZEL_NumberOfGenStiff(db), 1);
  EXPECT_EQ(full(ZEL_GenStiffFull, 3), (Dense{{0, 5, 0}, {5, 0, 0}, {0, 0, 0}}));

  db->gen_mass = {GenEntry{0, 0, 1.0}, GenEntry{1, 1, 1.0}, GenEntry{2, 2, 1.0}, GenEntry{1, 2, 0.5}};
  int selected[2] = {7, 9};
  Rows rows(2, -1.0);
  ASSERT_EQ(ZEL_GenMassSelected(db, rows.pointers.data(), 2, selected), 1);
  EXPECT_EQ(rows.values, (Dense{{1, 0}, {0, 1}}));  // the entries of mode 8 are dropped

  // Out of ascending order the binary search finds only mode 8.
  int unordered[3] = {9, 8, 7};
  Rows three(3, -1.0);
  ASSERT_EQ(ZEL_GenMassSelected(db, three.pointers.data(), 3, unordered), 1);
  EXPECT_EQ(three.values, (Dense{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}));
}

// Entries from a file can name mode indices outside the matrix, and a pair
// can be given twice: the dense forms skip the first with one warning and
// let the last of the second win, as the eigenvalue query does.
TEST_F(GenQueries, OutOfRangeEntriesAreSkippedAndTheLastDuplicateWins) {
  db->gen_stiff = {GenEntry{0, 0, 4.0}, GenEntry{5, 5, 9.0}, GenEntry{-1, 0, 3.0}, GenEntry{0, 1, 2.0},
                   GenEntry{1, 0, 6.0}, GenEntry{0, 0, 1.0}, GenEntry{1, 3, 7.0}};
  Dense matrix;
  auto printed = capture([&] { matrix = full(ZEL_GenStiffFull, 3); });
  EXPECT_EQ(matrix, (Dense{{1, 6, 0}, {6, 0, 0}, {0, 0, 0}}));
  EXPECT_EQ(printed.err, "WARNING:  Ignoring 3 generalized stiffness entries that lie outside the 3 x 3 matrix.\n");

  int selected[3] = {7, 8, 9};
  Rows rows(3, -1.0);
  printed = capture([&] { ASSERT_EQ(ZEL_GenStiffSelected(db, rows.pointers.data(), 3, selected), 1); });
  EXPECT_EQ(rows.values, matrix);
  EXPECT_EQ(printed.err, "WARNING:  Ignoring 3 generalized stiffness entries that lie outside the 3 x 3 matrix.\n");

  db->gen_stiff = {GenEntry{0, 0, 4.0}, GenEntry{1, 1, 9.0}, GenEntry{0, 0, 16.0}};
  db->gen_mass = {GenEntry{0, 0, 1.0}};
  double stiffness = 0.0;
  ASSERT_EQ(ZEL_Eigenvalue(db, 7, nullptr, nullptr, nullptr, nullptr, &stiffness), 1);
  EXPECT_EQ(stiffness, 16.0);
  EXPECT_EQ(full(ZEL_GenStiffFull, 2), (Dense{{16, 0}, {0, 9}}));
}

TEST_F(GenQueries, UnusableBuffersAndHandlesWriteNothingOrZeroes) {
  db->gen_damp = {GenEntry{0, 0, 1.0}};
  std::vector<double> matrix(4, -1.0);
  EXPECT_EQ(ZEL_GenDampFull(nullptr, matrix.data(), 2), 0);
  EXPECT_EQ(matrix, std::vector<double>(4, -1.0));  // the null handle is checked first
  EXPECT_EQ(ZEL_GenStiffFull(nullptr, matrix.data(), 2), 0);
  EXPECT_EQ(matrix, std::vector<double>(4, 0.0));
  EXPECT_EQ(ZEL_GenDampFull(db, nullptr, 2), 0);
  EXPECT_EQ(ZEL_GenDampFull(db, matrix.data(), 0), 0);

  Rows rows(2, -1.0);
  rows.pointers[1] = nullptr;
  int selected[2] = {7, 8};
  EXPECT_EQ(ZEL_GenMassSelected(db, rows.pointers.data(), 2, selected), 0);
  EXPECT_EQ(ZEL_GenMassSelected(db, Rows(2).pointers.data(), 2, nullptr), 0);
  EXPECT_EQ(ZEL_GenDampPrincipalAndSelected(db, rows.pointers.data(), -4, selected), 0);
  EXPECT_EQ(ZEL_GenDampPrincipalAndSelected(db, rows.pointers.data(), 2, nullptr), 0);
  EXPECT_EQ(rows.values[0], std::vector<double>(2, -1.0));
  EXPECT_EQ(ZEL_GenStiffSparse(db, nullptr, nullptr, nullptr), 0);
}

// Six rigid-body modes (0 Hz) and two flexible ones, damping already on
// principal axes: rows 0..5 the rigid coordinates, 6 + f flexible mode f.
TEST_F(GenQueries, PrincipalFormMapsFlexibleModesToTheirSelectedRows) {
  db->mode_numbers = {1, 2, 3, 4, 5, 6, 7, 8};
  for (int m = 0; m < 8; ++m) db->gen_mass.push_back(GenEntry{m, m, 1.0});
  db->gen_stiff = {GenEntry{6, 6, 15791.0}, GenEntry{7, 7, 35530.0}};  // 20 and 30 Hz
  db->damping_on_principal_axes = 1;
  db->gen_damp = {GenEntry{0, 0, 2.0}, GenEntry{3, 7, 3.0}, GenEntry{6, 7, 4.0}, GenEntry{7, 7, 5.0},
                  GenEntry{9, 9, 6.0}};
  int selected[2] = {1, 8};
  Rows rows(8, -1.0);
  const auto printed = capture([&] { ASSERT_EQ(ZEL_GenDampPrincipalAndSelected(db, rows.pointers.data(), 2, selected), 1); });
  EXPECT_EQ(printed.err,
            "WARNING:  Ignoring damping on requested mode 1 because it is a rigid body mode.\nWARNING:  \n"
            "WARNING:  Ignoring 1 generalized damping entries that lie outside the 8 x 8 matrix.\n");
  Dense expected(8, std::vector<double>(8, 0.0));
  expected[0][0] = 2.0;
  expected[3][7] = expected[7][3] = 3.0;  // mode 8 is the second selected: row 6 + 1
  expected[7][7] = 5.0;                   // (6, 7) names mode 7, not selected
  EXPECT_EQ(rows.values, expected);

  // With seven rigid-body modes the first flexible row, 6, is mode index 7.
  db->gen_stiff = {GenEntry{7, 7, 35530.0}};
  db->gen_damp = {GenEntry{6, 6, 9.0}};
  int last[1] = {8};
  Rows seven(7, -1.0);
  ASSERT_EQ(ZEL_GenDampPrincipalAndSelected(db, seven.pointers.data(), 1, last), 1);
  EXPECT_EQ(seven.values[6][6], 9.0);
}

// The matrices a file carries read back into the same dense matrices as
// the entries set directly, damaged entry included.
TEST(GenQueriesFromFile, FileMatricesGiveTheSameDenseMatrices) {
  const std::vector<GenEntry> stiffness = {GenEntry{0, 0, 4.0}, GenEntry{0, 2, 1.5}, GenEntry{1, 1, 9.0},
                                           GenEntry{2, 2, 16.0}, GenEntry{2, 5, 8.0}};
  const std::vector<GenEntry> mass = {GenEntry{0, 0, 2.0}, GenEntry{1, 1, 3.0}, GenEntry{2, 2, 4.0},
                                      GenEntry{2, 2, 5.0}};
  const std::vector<GenEntry> damping = {GenEntry{0, 1, 0.25}, GenEntry{2, 2, 0.5}};
  zel_test::ZelBody body = zel_test::sample_body(828);
  body.gen_stiff->entries = stiffness;
  body.gen_mass->entries = mass;
  body.gen_damp = zel_test::GeneralizedBlock{0, damping};
  zel_test::ScratchDir dir;
  const std::string path = dir.file("matrices.zel");
  ASSERT_TRUE(zel_test::write_zel_file(body, path));

  Database *from_file = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(from_file, nullptr);
  Database *direct = ZEL_Create(0, 3);
  direct->mode_numbers = {1, 2, 3};
  direct->gen_stiff = stiffness;
  direct->gen_mass = mass;
  direct->gen_damp = damping;
  for (auto query : {ZEL_GenStiffFull, ZEL_GenMassFull, ZEL_GenDampFull}) {
    std::vector<double> read(9, -1.0);
    std::vector<double> set(9, -2.0);
    const auto printed_read = capture([&] { EXPECT_EQ(query(from_file, read.data(), 3), 1); });
    const auto printed_set = capture([&] { EXPECT_EQ(query(direct, set.data(), 3), 1); });
    EXPECT_EQ(read, set);
    EXPECT_EQ(printed_read.err, printed_set.err);
  }
  std::vector<double> stiff(9);
  capture([&] { ZEL_GenStiffFull(from_file, stiff.data(), 3); });
  EXPECT_EQ(dense(stiff, 3), (Dense{{4, 0, 1.5}, {0, 9, 0}, {1.5, 0, 16}}));
  ZEL_Terminate();
}

}  // namespace
