// The upper-case entry points, called as a Fortran program calls them:
// everything by reference, text lengths by value, status last.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "body/database.h"
#include "body/database_list.h"
#include "capture.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

using zel_test::capture;

namespace {

constexpr char kNoObject[] = "ERROR:  No ZELDATA object.  Call ZEL_CREATE first\n";

// A Fortran CHARACTER(len) variable: blank-padded, no terminator, and
// followed in memory by characters that must never be read.
struct FortranText {
  std::vector<char> storage;
  int length;
  FortranText(const std::string &text, int len) : storage(static_cast<std::size_t>(len) + 8, '#'), length(len) {
    std::fill_n(storage.begin(), len, ' ');
    std::copy_n(text.begin(), std::min<std::size_t>(text.size(), static_cast<std::size_t>(len)), storage.begin());
  }
  const char *data() const { return storage.data(); }
};

class FortranBinding : public ::testing::Test {
 protected:
  void SetUp() override { create(); }
  void TearDown() override { ZEL_Terminate(); }

  // A new current database with room for four modes.
  Database *create() {
    const int nodes = 10;
    const int modes = 4;
    int status = -1;
    ZEL_CREATE(&nodes, &modes, &status);
    EXPECT_EQ(status, 0);
    return current();
  }

  // The binding's current database: the newest one of the process.
  static Database *current() {
    Database *last = nullptr;
    for (Database *db = zel::first_database(); db != nullptr; db = db->next) last = db;
    return last;
  }

  static int live_count() {
    int count = 0;
    for (Database *db = zel::first_database(); db != nullptr; db = db->next) ++count;
    return count;
  }

  static bool alive(Database *wanted) {
    for (Database *db = zel::first_database(); db != nullptr; db = db->next)
      if (db == wanted) return true;
    return false;
  }

  // Runs a call and gives its status and what it printed on stderr.
  static std::pair<int, std::string> run(const std::function<void(int *)> &call) {
    int status = -1;
    const zel_test::Printed printed = capture([&] { call(&status); });
    return {status, printed.err};
  }
};

TEST_F(FortranBinding, EveryRoutineWithoutADatabaseSaysSoWithStatusOne) {
  int status = -1;
  ZEL_TERMINATE(&status);
  EXPECT_EQ(status, 0);
  const int id = 1, number = 1;
  const double value = 1.0;
  const double six[6] = {};
  const FortranText title("title", 8);
  const std::function<void(int *)> calls[] = {
      [&](int *s) { ZEL_SET_NODE_COORDINATES(&id, &value, &value, &value, s); },
      [&](int *s) { ZEL_SET_NODAL_MASS(&id, &value, s); },
      [&](int *s) { ZEL_SET_MODE_SHAPE_VEC(&number, &id, six, s); },
      [&](int *s) { ZEL_SET_GENERALIZED_MASS(&number, &number, &value, s); },
      [&](int *s) { ZEL_SET_HEADER(title.data(), 8, title.data(), 8, title.data(), 8, title.data(), 8,
                                   title.data(), 8, title.data(), 8, s); },
      [&](int *s) {
        int count = 0;
        ZEL_GET_MODE_COUNT(&count, s);
      },
  };
  for (const auto &call : calls) EXPECT_EQ(run(call), std::make_pair(1, std::string(kNoObject)));
}

TEST_F(FortranBinding, TerminateAfterAFailedOpenStillReleasesEveryDatabase) {
  const int mode = 1, id = 3;
  const double six[6] = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
  int status = -1;
  capture([&] { ZEL_SET_MODE_SHAPE_VEC(&mode, &id, six, &status); });  // the store is made
  ASSERT_EQ(status, 0);
  Database *callers = ZEL_Create(5, 1);
  const FortranText missing("/nonexistent/body.zel", 30);
  ZEL_CREATE_FROM_ZEL(missing.data(), missing.length, &status);
  ASSERT_EQ(status, 1);
  ASSERT_TRUE(alive(callers));

  EXPECT_EQ(run([](int *s) { ZEL_TERMINATE(s); }), std::make_pair(0, std::string()));
  EXPECT_EQ(live_count(), 0);
  EXPECT_EQ(run([](int *s) { ZEL_TERMINATE(s); }), std::make_pair(0, std::string())) << "nothing left is no failure";
}

TEST_F(FortranBinding, AFileNameWithANulOrTooLongIsRefusedNotCut) {
  zel_test::ScratchDir dir;
  const std::string path = dir.file("body.zel");
  ASSERT_TRUE(zel_test::write_zel_file(zel_test::sample_body(316), path));
  const std::string with_nul = path + std::string(1, '\0') + "tail";
  const std::string too_long = std::string(1024 - path.size(), '/') + path;
  struct Case {
    std::string name;
    std::string message;
  } cases[] = {
      {with_nul, "ERROR:  The file name passed into ZEL_CREATE_FROM_ZEL holds a NUL character\n"},
      {too_long, "ERROR:  The file name passed into ZEL_CREATE_FROM_ZEL is longer than 1023 characters\n"},
  };
  for (const Case &c : cases) {
    const int length = static_cast<int>(c.name.size());
    EXPECT_EQ(run([&](int *s) { ZEL_CREATE_FROM_ZEL(c.name.data(), length, s); }), std::make_pair(1, c.message));
  }
  const std::string longest = std::string(1023 - path.size(), '/') + path;
  EXPECT_EQ(run([&](int *s) { ZEL_CREATE_FROM_ZEL(longest.data(), 1023, s); }).first, 0);

  const std::string written = dir.file("out.zel") + std::string(1, '\0') + "x";
  EXPECT_EQ(run([&](int *s) { ZEL_WRITE_ZEL(written.data(), static_cast<int>(written.size()), s); }),
            std::make_pair(1, std::string("ERROR:  The file name passed into ZEL_WRITE_ZEL holds a NUL character\n")));
}

TEST_F(FortranBinding, CreateReleasesOnlyItsOwnDatabase) {
  Database *callers = ZEL_Create(5, 1);
  create();
  EXPECT_EQ(live_count(), 2) << "the binding's first database went, its second came";
  EXPECT_TRUE(alive(callers)) << "a C caller's database is not the binding's to release";
}

TEST_F(FortranBinding, ADatabaseReleasedThroughTheCInterfaceIsNoLongerUsed) {
  ZEL_Terminate();
  const int id = 1;
  const double mass = 2.0;
  EXPECT_EQ(run([&](int *s) { ZEL_SET_NODAL_MASS(&id, &mass, s); }), std::make_pair(1, std::string(kNoObject)));
}

TEST_F(FortranBinding, LoadCasesAndDegreesOfFreedomCountFromOne) {
  Database *db = current();
  const int number = 3, id = 8, dof = 6, first_case = 1, no_case = 0;
  const double value = 2.5;
  int status = -1;
  ZEL_SET_MODE_SHAPE_ENTRY(&number, &id, &dof, &value, &status);
  EXPECT_EQ(status, 0);
  double rotations[3] = {};
  ASSERT_EQ(ZEL_ModeByNode(db, number, 0, id, rotations, 1), 1);
  EXPECT_EQ(rotations[2], 2.5) << "dof 6 is component 5";

  ZEL_SET_MODAL_LOAD(&first_case, &number, &value, &status);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(db->load_case_count(), 1);
  EXPECT_EQ(db->load_cases[0].values[0], 2.5);
  EXPECT_EQ(run([&](int *s) { ZEL_SET_MODAL_LOAD(&no_case, &number, &value, s); }),
            std::make_pair(1, std::string("ERROR:  The load case index -1 is illegal.\n"
                                          "ERROR:  The load case index must be non-negative.\n")));
  const FortranText label("braking", 20);
  ZEL_SET_LOADCASE_LABEL(&first_case, label.data(), label.length, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(db->load_cases[0].label, "braking");
}

TEST_F(FortranBinding, TextsLoseTheirPaddingAndAreNeverReadPastTheirLength) {
  Database *db = current();
  const FortranText title("A plate", 80);
  const FortranText name("plate.dat", 40);
  const FortranText type("DAT", 4);
  const FortranText comment("one", 3);  // "one" then "####": only 3 characters belong to it
  const FortranText empty("", 0);
  int status = -1;
  ZEL_SET_HEADER(title.data(), title.length, name.data(), name.length, type.data(), type.length, comment.data(),
                 comment.length, empty.data(), empty.length, comment.data(), 2, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(db->title, "A plate");
  EXPECT_EQ(db->input_file_name, "plate.dat");
  EXPECT_EQ(db->input_file_type, "DAT");
  EXPECT_EQ(db->comment[0], "one");
  EXPECT_EQ(db->comment[1], "");
  EXPECT_EQ(db->comment[2], "on");

  const FortranText kg("kg", 16), mm("mm", 16), s("s", 1), n("n", 30);
  ZEL_SET_UNITS(kg.data(), kg.length, mm.data(), mm.length, s.data(), s.length, n.data(), n.length, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(db->unit_name, (std::array<std::string, 4>{"KILOGRAM", "MILLIMETER", "SECOND", "NEWTON"}));
}

TEST_F(FortranBinding, TextsAreCutToTheirBuffers) {
  Database *db = current();
  const FortranText long_title(std::string(200, 't'), 200);
  const FortranText blank("", 1);
  int status = -1;
  capture([&] {
    ZEL_SET_HEADER(long_title.data(), long_title.length, long_title.data(), long_title.length, long_title.data(),
                   long_title.length, long_title.data(), long_title.length, blank.data(), 1, blank.data(), 1,
                   &status);
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(db->title.size(), 127u);
  EXPECT_EQ(db->input_file_name.size(), 127u);
  EXPECT_EQ(db->input_file_type.size(), 15u);
  EXPECT_EQ(db->comment[0].size(), 79u);

  const int first_case = 1;
  const FortranText label(std::string(300, 'x'), 300);
  ZEL_SET_LOADCASE_LABEL(&first_case, label.data(), label.length, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(db->load_cases[0].label, std::string(255, 'x'));
}

TEST_F(FortranBinding, ImpossibleTextLengthsAreRefused) {
  const int first_case = 1;
  const FortranText label("x", 1);
  for (int length : {-1, (1 << 20) + 1}) {
    const std::string message = "ERROR:  Invalid character argument length " + std::to_string(length) +
                                " passed into ZEL_SET_LOADCASE_LABEL\n";
    EXPECT_EQ(run([&](int *s) { ZEL_SET_LOADCASE_LABEL(&first_case, label.data(), length, s); }),
              std::make_pair(1, message));
  }
  EXPECT_EQ(current()->load_case_count(), 0);
}

TEST_F(FortranBinding, CreateFromZelTakesABlankPaddedName) {
  zel_test::ScratchDir dir;
  const std::string path = dir.file("body.zel");
  ASSERT_TRUE(zel_test::write_zel_file(zel_test::sample_body(316), path));
  const FortranText padded(path, static_cast<int>(path.size()) + 40);
  int status = -1;
  ZEL_CREATE_FROM_ZEL(padded.data(), padded.length, &status);
  EXPECT_EQ(status, 0);
  int count = 0;
  ZEL_GET_MODE_COUNT(&count, &status);
  EXPECT_EQ(count, ZEL_ModeCount(current()));
  EXPECT_GT(count, 0);

  const FortranText missing(dir.file("missing.zel"), 200);
  ZEL_CREATE_FROM_ZEL(missing.data(), missing.length, &status);
  EXPECT_EQ(status, 1);
}

TEST_F(FortranBinding, UnsymmetricInertiaMatrixWarnsOnceAndKeepsTheLowerValues) {
  Database *db = current();
  const int id = 4;
  const double m[9] = {1.0, 0.1, 0.2, 0.9, 2.0, 0.3, 0.8, 0.7, 3.0};  // column order
  const auto [status, err] = run([&](int *s) { ZEL_SET_NODAL_INERTIA_MAT(&id, m, s); });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(err, "WARNING:  Unsymmetric Inertia Tensor supplied to ZEL_SET_NODAL_INERTIA_MAT\n");
  EXPECT_EQ(*db->nodes[0].inertia, (zel::NodalInertia{1.0, 2.0, 3.0, 0.1, 0.2, 0.3}));
}

TEST_F(FortranBinding, FacesOfTwoToEightVertices) {
  Database *db = current();
  const int ids[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  for (int id : ids) ZEL_SetNodeCoordinates(db, id, id, 0.0, 0.0);
  const int nine = 9;
  EXPECT_EQ(run([&](int *s) { ZEL_SET_FACE(&nine, ids, s); }),
            std::make_pair(1, std::string("ERROR:  Unable to create a face with 9 vertices\n")));
  int status = -1;
  ZEL_SET_FACE_3(&ids[0], &ids[1], &ids[2], &status);
  EXPECT_EQ(status, 0);
  ZEL_SET_FACE_8(&ids[0], &ids[1], &ids[2], &ids[3], &ids[4], &ids[5], &ids[6], &ids[7], &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(db->face_list, (std::vector<int32_t>{3, 0, 1, 2, 8, 0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(FortranBinding, InvariantMatricesArriveInColumnOrder) {
  Database *db = current();
  const int number = 1;
  ZEL_AddMode(db, number);
  const double column_order[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  int status = -1;
  ZEL_SET_INVAR8(&number, column_order, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(db->invar8[0], (std::array<double, 9>{1, 4, 7, 2, 5, 8, 3, 6, 9}));
}

TEST_F(FortranBinding, ModalStressAndStrainComeBackAsSixValues) {
  const int number = 2, id = 5;
  const double stress[6] = {1, 2, 3, 4, 5, 6};
  const double strain[6] = {-1, -2, -3, -4, -5, -6};
  int status = -1;
  ZEL_SET_MODAL_STRESS_VEC(&number, &id, stress, &status);
  ZEL_SET_MODAL_STRAIN_VEC(&number, &id, strain, &status);
  double s[6] = {};
  ZEL_GET_MODAL_STRESS(&number, &id, &s[0], &s[1], &s[2], &s[3], &s[4], &s[5], &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::vector<double>(s, s + 6), std::vector<double>(stress, stress + 6));
  ZEL_GET_MODAL_STRAIN(&number, &id, &s[0], &s[1], &s[2], &s[3], &s[4], &s[5], &status);
  EXPECT_EQ(std::vector<double>(s, s + 6), std::vector<double>(strain, strain + 6));
  const int other = 9;
  capture([&] { ZEL_GET_MODAL_STRESS(&other, &id, &s[0], &s[1], &s[2], &s[3], &s[4], &s[5], &status); });
  EXPECT_EQ(status, 1);
  int count = 0;
  ZEL_GET_MODE_COUNT(&count, &status);
  EXPECT_EQ(count, 1);
}

TEST_F(FortranBinding, SelectedTransformationTakesColumnsOfTheSelectedModes) {
  Database *db = current();
  for (int number : {10, 20, 30}) ZEL_AddMode(db, number);
  db->transform = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const int selected[2] = {30, 10};
  const int nsel = 2;
  double t[6] = {};
  int status = -1;
  ZEL_GET_TRANSFORM_TO_SELMOD(t, selected, &nsel, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::vector<double>(t, t + 6), (std::vector<double>{3, 1, 6, 4, 9, 7}));

  const int unknown[1] = {40};
  const int one = 1;
  EXPECT_EQ(run([&](int *s) { ZEL_GET_TRANSFORM_TO_SELMOD(t, unknown, &one, s); }),
            std::make_pair(1, std::string("ERROR:  Mode number 40 passed into ZEL_GET_TRANSFORM_TO_SELMOD does "
                                          "not exist\n")));
  EXPECT_EQ(run([&](int *s) { ZEL_GET_TRANSFORM_TO_SELMOD(nullptr, selected, &nsel, s); }),
            std::make_pair(1, std::string("ERROR:  NULL argument T passed into ZEL_GET_TRANSFORM_TO_SELMOD\n"
                                          "ERROR:  \n")));
}

// A one-node, two-mode body for the writes.
void fill_two_mode_body() {
  const int id = 1;
  const double mass = 2.0;
  const double origin[3] = {0.0, 0.0, 0.0};
  const double shapes[2][6] = {{1, 0, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0}};
  int status = -1;
  ZEL_SET_NODE_COORDINATES_VEC(&id, origin, &status);
  ZEL_SET_NODAL_MASS(&id, &mass, &status);
  for (int number = 1; number <= 2; ++number) {
    ZEL_SET_MODE_SHAPE_VEC(&number, &id, shapes[number - 1], &status);
    const double one = 1.0, stiffness = 100.0 * number;
    ZEL_SET_GENERALIZED_MASS(&number, &number, &one, &status);
    ZEL_SET_GENERALIZED_STIFFNESS(&number, &number, &stiffness, &status);
  }
}

TEST_F(FortranBinding, WritesTakeABlankPaddedNameAndRefuseOneTooLong) {
  fill_two_mode_body();
  zel_test::ScratchDir dir;
  const std::string path = dir.file("written.zel");
  const FortranText padded(path, 1100);
  int status = -1;
  capture([&] { ZEL_WRITE_ZEL(padded.data(), padded.length, &status); });
  EXPECT_EQ(status, 0);
  Database *written = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(written, nullptr);
  EXPECT_EQ(ZEL_ModeCount(written), 2);

  const std::string too_long = dir.file(std::string(1030, 'n'));
  const FortranText long_name(too_long, static_cast<int>(too_long.size()));
  EXPECT_EQ(run([&](int *s) { ZEL_WRITE_ZEL(long_name.data(), long_name.length, s); }),
            std::make_pair(1, std::string("ERROR:  The file name passed into ZEL_WRITE_ZEL is longer than 1023 "
                                          "characters\n")));
}

TEST_F(FortranBinding, AnsysWriteAddsTheCouplingOrWritesNothing) {
  fill_two_mode_body();
  Database *db = current();
  zel_test::ScratchDir dir;
  const std::string path = dir.file("coupled.zel");
  const FortranText name(path, 200);
  const std::vector<zel::GenEntry> before = db->gen_mass;
  const int two = 2, one = 1;
  const auto [failed, err] = run([&](int *s) { ZEL_WRITE_ANSYS_ZEL(name.data(), name.length, &two, &one, s); });
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(err, "ERROR:  Mode count mismatch while generating additional generalized masses.\n");
  EXPECT_FALSE(std::filesystem::exists(path)) << "a failed coupling writes no file";
  EXPECT_EQ(db->gen_mass.size(), before.size());

  int status = -1;
  capture([&] { ZEL_WRITE_ANSYS_ZEL(name.data(), name.length, &one, &one, &status); });
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(std::filesystem::exists(path));
}

}  // namespace
