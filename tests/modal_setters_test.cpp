// The generalized-matrix, preload, load-case and invariant setters.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "body/database.h"
#include "capture.h"
#include "format/block_table.h"
#include "zel.h"

using zel_test::capture;

namespace {

constexpr char kNoDatabase[] = "ERROR:  The database has not been initialized.\n";

class ModalSetters : public ::testing::Test {
 protected:
  void TearDown() override { ZEL_Terminate(); }

  // A body with modes numbered 10, 20, 30 (indices 0, 1, 2) and room for
  // `max_modes`.
  Database *body_with_three_modes(int max_modes = 8) {
    Database *db = ZEL_Create(10, max_modes);
    for (int number : {10, 20, 30}) EXPECT_GE(ZEL_AddMode(db, number), 0);
    return db;
  }

  static bool flag(Database *db, int block_index) { return zel::block_flag(*db, block_index) != 0; }
};

using Setter = int (*)(Database *, int, int, double);

struct GeneralizedCase {
  const char *name;
  Setter set;
  std::vector<zel::GenEntry> Database::*entries;
  int block;
};

const GeneralizedCase kGeneralized[] = {
    {"stiffness", ZEL_SetGeneralizedStiffness, &Database::gen_stiff, 11},
    {"mass", ZEL_SetGeneralizedMass, &Database::gen_mass, 12},
    {"damping", ZEL_SetGeneralizedDamping, &Database::gen_damp, 14},
};

TEST_F(ModalSetters, GeneralizedEntriesKeepCallOrderAndDuplicatesAndAddNewModes) {
  for (const GeneralizedCase &matrix : kGeneralized) {
    SCOPED_TRACE(matrix.name);
    Database *db = body_with_three_modes();
    EXPECT_EQ(matrix.set(db, 30, 10, 2.5), 1);
    EXPECT_EQ(matrix.set(db, 40, 40, 7.0), 1) << "mode 40 is new and added";
    EXPECT_EQ(matrix.set(db, 30, 10, 3.5), 1) << "a pair set twice is held twice";
    const std::vector<zel::GenEntry> &entries = db->*matrix.entries;
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(db->mode_count(), 4);
    const std::array<zel::GenEntry, 3> expected{{{2, 0, 2.5}, {3, 3, 7.0}, {2, 0, 3.5}}};
    for (std::size_t k = 0; k < 3; ++k) {
      EXPECT_EQ(entries[k].row, expected[k].row) << k;
      EXPECT_EQ(entries[k].col, expected[k].col) << k;
      EXPECT_EQ(entries[k].value, expected[k].value) << k;
    }
    EXPECT_TRUE(flag(db, matrix.block));
    ZEL_UnLink(db);
  }
}

TEST_F(ModalSetters, OffDiagonalAndNonUnitMassEntriesAreRecorded) {
  struct Case {
    Setter set;
    int row, col;
    double value;
    int not_diagonal, mass_not_unit;
  };
  const Case cases[] = {
      {ZEL_SetGeneralizedStiffness, 3, 3, 5.0, 0, 0},
      {ZEL_SetGeneralizedStiffness, 3, 4, 5.0, 1, 0},
      {ZEL_SetGeneralizedMass, 3, 3, 1.0 + 1e-9, 0, 0},
      {ZEL_SetGeneralizedMass, 3, 3, 1.1, 0, 1},
      {ZEL_SetGeneralizedMass, 3, 4, 1.1, 1, 0},
      {ZEL_SetGeneralizedDamping, 3, 4, 1.1, 0, 0},
  };
  for (const Case &c : cases) {
    Database *db = ZEL_Create(0, 4);
    ASSERT_EQ(c.set(db, c.row, c.col, c.value), 1);
    EXPECT_EQ(db->gen_not_diagonal, c.not_diagonal) << c.row << "," << c.col << " " << c.value;
    EXPECT_EQ(db->gen_mass_not_unit, c.mass_not_unit) << c.row << "," << c.col << " " << c.value;
    ZEL_UnLink(db);
  }
}

TEST_F(ModalSetters, AnEntryWhoseModeFindsNoRoomIsNotRecorded) {
  Database *db = ZEL_Create(0, 1);
  ASSERT_EQ(ZEL_SetGeneralizedMass(db, 1, 1, 1.0), 1);
  const auto printed = capture([&] { EXPECT_EQ(ZEL_SetGeneralizedMass(db, 1, 2, 0.5), 0); });
  EXPECT_NE(printed.err.find("Insufficient room for mode 2"), std::string::npos) << printed.err;
  EXPECT_EQ(db->gen_mass.size(), 1u);
  EXPECT_EQ(db->gen_not_diagonal, 0);
}

TEST_F(ModalSetters, DampingByModeIsRefusedOnceItIsOnPrincipalAxes) {
  Database *db = body_with_three_modes();
  db->damping_on_principal_axes = 1;
  EXPECT_EQ(ZEL_SetGeneralizedDamping(db, 10, 10, 0.5), 1) << "a new damping list starts in mode space";
  EXPECT_EQ(db->damping_on_principal_axes, 0);
  db->damping_on_principal_axes = 1;
  const auto printed = capture([&] { EXPECT_EQ(ZEL_SetGeneralizedDamping(db, 20, 30, 0.25), 0); });
  EXPECT_EQ(printed.err,
            "ERROR:  Generalized damping (20, 30) cannot be set by mode number: the damping is already on principal "
            "axes.\n");
  EXPECT_EQ(db->gen_damp.size(), 1u);
}

// The arrays of one value per mode are laid out when first set, yet the
// same setters add modes: a value for a mode added later needs room too.
TEST_F(ModalSetters, PreloadAndLoadCasesGrowWithModesAddedAfterThem) {
  Database *db = ZEL_Create(0, 2000);
  ASSERT_EQ(ZEL_SetModalPreload(db, 1, 0.5), 1);
  ASSERT_EQ(ZEL_SetModalLoad(db, 0, 1, 1.5), 1);
  EXPECT_EQ(db->preload_processed, 0);
  for (int number = 2; number <= 1500; ++number) {
    ASSERT_EQ(ZEL_SetModalPreload(db, number, number * 0.5), 1);
    ASSERT_EQ(ZEL_SetModalLoad(db, 0, number, number * 1.5), 1);
  }
  ASSERT_EQ(db->preload.size(), 1500u);
  ASSERT_EQ(db->load_cases[0].values.size(), 1500u);
  EXPECT_EQ(db->preload[1499], 750.0);
  EXPECT_EQ(db->load_cases[0].values[1499], 2250.0);
  // A mode added by another setter leaves the arrays short; the next value
  // still lands at its mode.
  ASSERT_EQ(ZEL_SetGeneralizedStiffness(db, 1501, 1502, 1.0), 1);
  ASSERT_EQ(ZEL_SetModalPreload(db, 1502, 9.0), 1);
  EXPECT_EQ(db->preload.size(), 1502u);
  EXPECT_EQ(db->preload[1500], 0.0);
  EXPECT_EQ(db->preload[1501], 9.0);
  EXPECT_TRUE(flag(db, 26));
  EXPECT_TRUE(flag(db, 27));
}

TEST_F(ModalSetters, LoadCasesAreCreatedUpToTheIndexWithNumberedLabels) {
  Database *db = body_with_three_modes();
  ASSERT_EQ(ZEL_SetModalLoad(db, 4, 20, 2.0), 1);
  ASSERT_EQ(db->load_case_count(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(db->load_cases[i].label, "Load Case " + std::to_string(i + 1));
    EXPECT_EQ(db->load_cases[i].processed, 0);
    EXPECT_EQ(db->load_cases[i].values, (i == 4 ? std::vector<double>{0, 2, 0} : std::vector<double>(3, 0.0)));
  }

  struct LabelCase {
    int index;
    std::string text;
    std::string label;
    std::string err;
  };
  const LabelCase labels[] = {
      {2, "", "3", ""},
      {1, "gravity", "gravity", ""},
      {6, std::string(300, 'x'), std::string(255, 'x'),
       "WARNING:  Modal load label too big: max size 255, specified size 300.  Truncating label.\n"},
      {-1, "negative", "",
       "ERROR:  The load case index -1 is illegal.\nERROR:  The load case index must be non-negative.\n"},
  };
  for (const LabelCase &c : labels) {
    const auto printed = capture([&] { EXPECT_EQ(ZEL_SetModalLoadLabel(db, c.index, c.text.c_str()), c.index >= 0); });
    EXPECT_EQ(printed.err, c.err) << c.index;
    if (c.index >= 0) {
      EXPECT_EQ(db->load_cases[c.index].label, c.label);
    }
  }
  EXPECT_EQ(db->load_case_count(), 7) << "a label for a new case creates the cases before it";
  EXPECT_EQ(db->load_cases[5].label, "Load Case 6");
  const auto printed = capture([&] { EXPECT_EQ(ZEL_SetModalLoad(db, -3, 10, 1.0), 0); });
  EXPECT_EQ(printed.err,
            "ERROR:  The load case index -3 is illegal.\nERROR:  The load case index must be non-negative.\n");
  const auto null_label = capture([&] { EXPECT_EQ(ZEL_SetModalLoadLabel(db, 0, nullptr), 0); });
  EXPECT_EQ(null_label.err, "ERROR:  Load case 0 was given a null label.\n");
}

TEST_F(ModalSetters, ALabelBeforeAnyModeMakesACaseThatLaterValuesFill) {
  Database *db = ZEL_Create(0, 4);
  ASSERT_EQ(ZEL_SetModalLoadLabel(db, 0, "wind"), 1);
  EXPECT_TRUE(db->load_cases[0].values.empty());
  EXPECT_FALSE(flag(db, 27)) << "a label alone is no load";
  ASSERT_EQ(ZEL_SetModalLoad(db, 0, 7, 3.0), 1);
  EXPECT_EQ(db->load_cases[0].values, std::vector<double>{3.0});
  EXPECT_EQ(db->load_cases[0].label, "wind");
}

TEST_F(ModalSetters, InvariantEntryChecksAndTheirMessages) {
  Database *db = body_with_three_modes();
  double triple[3] = {1, 2, 3};
  double nine[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const std::string missing_mode_tail = ".  Requested at line ";
  struct Case {
    const char *name;
    std::function<int()> call;
    int result;
    std::string err_start;  // the message up to what varies (a source line)
  };
  const Case cases[] = {
      {"I1 zero", [&] { return ZEL_SetInvar1(db, 0.0); }, 0, "ERROR:  Inertia Invariant 1 must be greater than zero\n"},
      {"I1 negative", [&] { return ZEL_SetInvar1(db, -2.0); }, 0,
       "ERROR:  Inertia Invariant 1 must be greater than zero\n"},
      {"I1 tiny", [&] { return ZEL_SetInvar1(db, 1e-300); }, 1, ""},
      {"I3 unknown mode", [&] { return ZEL_SetInvar3(db, 99, triple); }, 0, "ERROR:  Mode number 99 does not exist"},
      {"I4 unknown mode", [&] { return ZEL_SetInvar4(db, 98, triple); }, 0, "ERROR:  Mode number 98 does not exist"},
      {"I5 unknown j", [&] { return ZEL_SetInvar5(db, 10, 97, triple); }, 0, "ERROR:  Mode number 97 does not exist"},
      {"I8 unknown mode", [&] { return ZEL_SetInvar8(db, 96, nine); }, 0, "ERROR:  Mode number 96 does not exist"},
      {"I9 unknown i", [&] { return ZEL_SetInvar9(db, 95, 10, nine); }, 0, "ERROR:  Mode number 95 does not exist"},
      {"I5 diagonal not zero", [&] { return ZEL_SetInvar5(db, 20, 20, triple); }, 1,
       "WARNING:  I5(20, 20) is not zero.\nWARNING:     (1.00000000e+00, 2.00000000e+00, 3.00000000e+00)\n"},
      {"I9 diagonal not symmetric", [&] { return ZEL_SetInvar9(db, 30, 30, nine); }, 1,
       "WARNING:  I9(30, 30) is not symmetric.\nWARNING:     1.00000000e+00 2.00000000e+00 3.00000000e+00\n"
       "WARNING:     4.00000000e+00 5.00000000e+00 6.00000000e+00\n"
       "WARNING:     7.00000000e+00 8.00000000e+00 9.00000000e+00\nWARNING:  \n"},
      {"I2 without values", [&] { return ZEL_SetInvar2(db, nullptr); }, 0,
       "ERROR:  Inertia Invariant 2 was given without its values.\n"},
      {"I7 without values", [&] { return ZEL_SetInvar7(db, nullptr); }, 0,
       "ERROR:  Inertia Invariant 7 was given without its values.\n"},
      {"I3 without values", [&] { return ZEL_SetInvar3(db, 10, nullptr); }, 0,
       "ERROR:  Inertia Invariant 3 was given without its values.\n"},
      {"null handle", [&] { return ZEL_SetInvar1(nullptr, 1.0); }, 0, kNoDatabase},
  };
  for (const Case &c : cases) {
    const auto printed = capture([&] { EXPECT_EQ(c.call(), c.result) << c.name; });
    EXPECT_EQ(printed.err.substr(0, c.err_start.size()), c.err_start) << c.name;
    if (c.err_start.find("does not exist") != std::string::npos) {
      EXPECT_NE(printed.err.find(missing_mode_tail), std::string::npos) << printed.err;
      EXPECT_NE(printed.err.find(" in file zelset.\n"), std::string::npos) << printed.err;
    } else {
      EXPECT_EQ(printed.err.size(), c.err_start.size()) << c.name << ": " << printed.err;
    }
  }
  EXPECT_TRUE(db->invar3.empty()) << "a refused value stores nothing";
  EXPECT_EQ(db->invar1, std::vector<double>{1e-300});
}

TEST_F(ModalSetters, NegativeAsymmetryOnTheInvariant9DiagonalIsWarnedAbout) {
  Database *db = body_with_three_modes();
  double nine[9] = {1, -5, 0, -6, 1, 0, 0, 0, 1};
  const auto printed = capture([&] { EXPECT_EQ(ZEL_SetInvar9(db, 10, 10, nine), 1); });
  EXPECT_NE(printed.err.find("I9(10, 10) is not symmetric."), std::string::npos) << printed.err;
  double symmetric[9] = {1, -5, 2, -5, 1, 3, 2, 3, 1};
  const auto quiet = capture([&] { EXPECT_EQ(ZEL_SetInvar9(db, 10, 10, symmetric), 1); });
  EXPECT_EQ(quiet.err, "");
}

TEST_F(ModalSetters, InvariantsAreStoredInTheirLayouts) {
  Database *db = body_with_three_modes();
  double a[3] = {1, 2, 3}, b[3] = {4, 5, 6};
  ASSERT_EQ(ZEL_SetInvar3(db, 20, a), 1);
  ASSERT_EQ(ZEL_SetInvar4(db, 30, b), 1);
  EXPECT_EQ(db->invar3, (std::vector<double>{0, 1, 0, 0, 2, 0, 0, 3, 0}));
  EXPECT_EQ(db->invar4, (std::vector<double>{0, 0, 4, 0, 0, 5, 0, 0, 6}));

  ASSERT_EQ(ZEL_SetInvar5(db, 10, 20, a), 1);
  EXPECT_EQ(db->invar5[0], (std::vector<double>{0, 1, 0, 0, 2, 0, 0, 3, 0}));
  EXPECT_EQ(db->invar5[1], (std::vector<double>{-1, 0, 0, -2, 0, 0, -3, 0, 0}));
  double tiny[3] = {1e-9, 0, -1e-9};
  const auto quiet = capture([&] { ASSERT_EQ(ZEL_SetInvar5(db, 30, 30, tiny), 1); });
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(db->invar5[2][2], -1e-9) << "the mirrored store wins on the diagonal";

  double six[6] = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(ZEL_SetInvar7(db, six), 1);
  EXPECT_EQ(db->invar7, (std::vector<double>{1, 4, 5, 4, 2, 6, 5, 6, 3}));

  double nine[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  ASSERT_EQ(ZEL_SetInvar8(db, 30, nine), 1);
  ASSERT_EQ(db->invar8.size(), 3u);
  EXPECT_EQ(db->invar8[2], (std::array<double, 9>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(db->invar8[0], (std::array<double, 9>{}));

  ASSERT_EQ(ZEL_SetInvar9(db, 10, 30, nine), 1);
  ASSERT_EQ(db->invar9.size(), 9u);
  EXPECT_EQ(db->invar9[0 * 3 + 2], (std::array<double, 9>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(db->invar9[2 * 3 + 0], (std::array<double, 9>{1, 4, 7, 2, 5, 8, 3, 6, 9}));
  capture([&] { ASSERT_EQ(ZEL_SetInvar9(db, 20, 20, nine), 1); });
  EXPECT_EQ(db->invar9[1 * 3 + 1], (std::array<double, 9>{1, 4, 7, 4, 5, 8, 7, 8, 9}))
      << "on the diagonal the lower triangle stays";
  for (int block = 18; block <= 25; ++block) EXPECT_EQ(flag(db, block), block != 18 && block != 19) << block;
}

// Arrays of invariants 3, 4, 5, 8 and 9 are laid out for the modes that
// existed when they were made; a mode added later moves every value to its
// place in the wider layout.
TEST_F(ModalSetters, InvariantArraysWidenForModesAddedAfterThem) {
  Database *db = ZEL_Create(0, 8);
  ZEL_AddMode(db, 1);
  ZEL_AddMode(db, 2);
  double a[3] = {1, 2, 3}, b[3] = {4, 5, 6}, nine[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  ASSERT_EQ(ZEL_SetInvar3(db, 2, a), 1);
  ASSERT_EQ(ZEL_SetInvar5(db, 1, 2, a), 1);
  ASSERT_EQ(ZEL_SetInvar8(db, 2, nine), 1);
  ASSERT_EQ(ZEL_SetInvar9(db, 1, 2, nine), 1);
  ZEL_AddMode(db, 3);
  ASSERT_EQ(ZEL_SetInvar3(db, 3, b), 1);
  ASSERT_EQ(ZEL_SetInvar5(db, 3, 1, b), 1);
  ASSERT_EQ(ZEL_SetInvar8(db, 3, nine), 1);
  ASSERT_EQ(ZEL_SetInvar9(db, 3, 3, nine), 1);
  EXPECT_EQ(db->invar3, (std::vector<double>{0, 1, 4, 0, 2, 5, 0, 3, 6}));
  ASSERT_EQ(db->invar5.size(), 3u);
  EXPECT_EQ(db->invar5[0], (std::vector<double>{0, 1, -4, 0, 2, -5, 0, 3, -6}));
  EXPECT_EQ(db->invar5[1], (std::vector<double>{-1, 0, 0, -2, 0, 0, -3, 0, 0}));
  EXPECT_EQ(db->invar5[2], (std::vector<double>{4, 0, 0, 5, 0, 0, 6, 0, 0}));
  EXPECT_EQ(db->invar8.size(), 3u);
  ASSERT_EQ(db->invar9.size(), 9u);
  EXPECT_EQ(db->invar9[0 * 3 + 1][0], 1.0) << "cell (1, 2) keeps its place";
  EXPECT_EQ(db->invar9[1 * 3 + 0][0], 1.0);
  EXPECT_EQ(db->invar9[2 * 3 + 2][8], 1.0);
  EXPECT_EQ(db->invar9[0 * 3 + 2][0], 0.0);
}

TEST_F(ModalSetters, Invariant6SetsUnitMassesUntilAValueIsNotOne) {
  Database *db = body_with_three_modes();
  double diagonal[3] = {1.0, 1.0, 0.999};
  const auto printed = capture([&] { EXPECT_EQ(ZEL_SetInvar6(db, diagonal), 0); });
  EXPECT_EQ(printed.err, "ERROR:  Inertia Invariant 6 must be an identity matrix.\n");
  ASSERT_EQ(db->gen_mass.size(), 2u);
  EXPECT_EQ(db->gen_mass[1].row, 1);
  EXPECT_EQ(db->gen_mass[1].col, 1);
  EXPECT_EQ(db->gen_mass[1].value, 1.0);
  EXPECT_EQ(db->gen_mass_not_unit, 0);
  Database *empty = ZEL_Create(0, 0);
  EXPECT_EQ(ZEL_SetInvar6(empty, nullptr), 1) << "no modes, nothing to check";
}

}  // namespace
