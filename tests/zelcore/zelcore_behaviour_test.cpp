// The reduced library as its callers see it: linked against libzelcore,
// through its exported operations only.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "capture.h"
#include "file_size_limit.h"
#include "scoped_env.h"
#include "zelcore.h"

using zel_test::capture;
using zel_test::ScopedEnv;

namespace {

TEST(Zelcore, UnitLabelsBecomeTheirCanonicalNamesInAnyCase) {
  struct LabelCase {
    const char *label;
    const char *canonical;  // null: not a spelling zelcore knows
  };
  const LabelCase cases[] = {
      {"dozen_slug", "DOZEN_SLUG"}, {"DOZEN_SLUG", "DOZEN_SLUG"}, {"DoZeN_sLuG", "DOZEN_SLUG"},
      {"kg", "KILOGRAM"},           {"mgg", "MEGAGRAM"},          {"kip", "KPOUND_FORCE"},
      {"kg_force", "KILOGRAM_FORCE"}, {"MI", "MILE"},             {"h", "HOUR"},
      {"millisec", "MILLISECOND"},  {"slinch", nullptr},          {"tonne", nullptr},
      {"micrometer", nullptr},      {"day", nullptr},             {"", nullptr},
  };
  for (const LabelCase &c : cases) {
    SCOPED_TRACE(c.label);
    char buffer[16] = {0};
    std::strcpy(buffer, c.label);
    EXPECT_EQ(ZEL_CleanupUnitsLabelSynonym(buffer), c.canonical != nullptr ? 1 : 0);
    EXPECT_STREQ(buffer, c.canonical != nullptr ? c.canonical : c.label);
  }
}

TEST(Zelcore, UnitsOutsideItsVocabularyAreRefused) {
  Database *db = ZEL_Create(1, 1);
  EXPECT_EQ(ZEL_SetUnits(db, "dozen_slug", "inch", "ms", "kip"), 1);
  int refused = -1;
  capture([&] { refused = ZEL_SetUnits(db, "kg", "micrometer", "s", "n"); });
  EXPECT_EQ(refused, 0);
  ZEL_Terminate();
}

TEST(Zelcore, KnowsModeShapesAndModalStressButNoStrain) {
  Database *db = ZEL_Create(1, 1);
  EXPECT_EQ(ZEL_SetMode(db, 1, 5, 0, 1, 2, 3, 4, 5, 6), 1);
  EXPECT_EQ(ZEL_SetMode(db, 1, 5, 1, 1, 2, 3, 4, 5, 6), 1);
  int result = -1;
  const zel_test::Printed printed = capture([&] { result = ZEL_SetMode(db, 1, 5, 2, 1, 2, 3, 4, 5, 6); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed.err, "ERROR:  Value set 2 is none of 0 (mode shapes) and 1 (modal stress).\n");
  double values[3] = {};
  EXPECT_EQ(ZEL_Mode(db, 1, 2, values, 0), 0);
  ZEL_Terminate();
}

// The temporary stores go to TMPDIR, else TMP; the message names TMPDIR.
TEST(Zelcore, TemporaryFilesGoToTmpdirThenTmp) {
  struct DirectoryCase {
    const char *tmpdir;  // null: unset
    const char *expected_directory;
  };
  const DirectoryCase cases[] = {{"/nonexistent/first", "/nonexistent/first/zel_"},
                                 {nullptr, "/nonexistent/second/zel_"}};
  for (const DirectoryCase &c : cases) {
    SCOPED_TRACE(c.expected_directory);
    zel_test::ScopedEnv tmpdir("TMPDIR", c.tmpdir ? std::optional<std::string>(c.tmpdir) : std::nullopt);
    zel_test::ScopedEnv tmp("TMP", std::string("/nonexistent/second"));
    zel_test::ScopedEnv store("KOR_TMP_MOD", std::nullopt);
    Database *db = ZEL_Create(1, 1);
    int result = -1;
    const zel_test::Printed printed = capture([&] { result = ZEL_SetMode(db, 1, 5, 0, 1, 2, 3, 4, 5, 6); });
    EXPECT_EQ(result, 0);
    const std::string opening = std::string("ERROR:  Unable to open temporary mode shape file ") + c.expected_directory;
    EXPECT_EQ(printed.err.rfind(opening, 0), 0u) << printed.err;
    EXPECT_NE(printed.err.find("specify directory name in environment variable TMPDIR"), std::string::npos)
        << printed.err;
    ZEL_Terminate();
  }
}

// ------------------------------------------------------------ the writer

// Stores and generated files in a private directory, no options unless a
// test sets them, and every database released afterwards.
class CoreWriter : public ::testing::Test {
 protected:
  void TearDown() override { ZEL_Terminate(); }

  zel_test::TempDir dir;
  ScopedEnv tmpdir{"TMPDIR", dir.path()};
  ScopedEnv tmp{"TMP", dir.path()};
  ScopedEnv mode_path{"KOR_TMP_MOD", std::nullopt};
  ScopedEnv stress_path{"KOR_TMP_STR", std::nullopt};
  ScopedEnv options{"KOR_ZELWRITE_OPTIONS", std::nullopt};
  ScopedEnv fea_mass{"KOR_MFORCE_NO_FEA_MASS", std::nullopt};
};

constexpr int kIds[4] = {101, 102, 103, 104};
constexpr double kTotalNodalMass = 0.5 + 1.5 + 2.5 + 3.5;

// Four nodes on one face; mode 1 a rigid translation along x (0 Hz), mode
// 2 a flexible one (about 16 Hz) whose generalized mass is given.
Database *build_body(bool nodal_masses, double flexible_mass = 1.0) {
  Database *db = ZEL_Create(4, 3);
  for (int node = 0; node < 4; ++node) {
    ZEL_SetNodeCoordinates(db, kIds[node], node % 2, node / 2, 0.25 * node);
    if (nodal_masses) ZEL_SetNodalMass(db, kIds[node], 0.5 + node);
    ZEL_SetMode(db, 1, kIds[node], 0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0);
    ZEL_SetMode(db, 2, kIds[node], 0, 0.0, 0.25 * node, 0.125, 0.0, 0.0, 0.01);
  }
  ZEL_SetFace(db, 4, kIds[0], kIds[1], kIds[3], kIds[2]);
  ZEL_SetGeneralizedMass(db, 1, 1, 1.0);
  ZEL_SetGeneralizedStiffness(db, 1, 1, 0.0);
  ZEL_SetGeneralizedMass(db, 2, 2, flexible_mass);
  ZEL_SetGeneralizedStiffness(db, 2, 2, 1.0e4);
  return db;
}

struct Written {
  int result = -1;
  zel_test::Printed printed;
};

Written write_with(Database *db, const std::string &path, const char *options) {
  ScopedEnv env("KOR_ZELWRITE_OPTIONS", std::string(options));
  Written written;
  written.printed = capture([&] { written.result = ZEL_write_ZEL(db, path.c_str()); });
  return written;
}

std::vector<unsigned char> file_bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint64_t big_endian_at(const std::vector<unsigned char> &bytes, std::size_t offset, int size) {
  uint64_t value = 0;
  for (int i = 0; i < size; ++i) value = value << 8 | bytes.at(offset + static_cast<std::size_t>(i));
  return value;
}

// The flag and the values of the last block of an XDR file that ends with
// a preload or a load case over `modes` modes.
struct TrailingVector {
  int32_t processed = -1;
  std::vector<double> values;
};

TrailingVector trailing_vector(const std::vector<unsigned char> &bytes, std::size_t modes) {
  TrailingVector tail;
  if (bytes.size() < 4 + 8 * modes) return tail;
  const std::size_t start = bytes.size() - 8 * modes;
  tail.processed = static_cast<int32_t>(big_endian_at(bytes, start - 4, 4));
  for (std::size_t m = 0; m < modes; ++m) {
    const uint64_t bits = big_endian_at(bytes, start + 8 * m, 8);
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof value);
    tail.values.push_back(value);
  }
  return tail;
}

TEST_F(CoreWriter, AMissingDatabaseIsReportedAndNothingIsWritten) {
  const std::string path = dir.file("none.zel");
  const Written written = write_with(nullptr, path, "");
  EXPECT_EQ(written.result, 0);
  EXPECT_EQ(written.printed.err, "ERROR:  There is no database to write.\n");
  EXPECT_FALSE(std::filesystem::exists(path));
}

// Sixteen lines with its own labels; the strain, statistics, pre-stress and
// pre-strain blocks are never written, so a native file's content summary
// has them absent and the file ends with the modal loads.
TEST_F(CoreWriter, SummaryHasItsSixteenLabelsAndNoBlockAfterTheLoads) {
  Database *db = build_body(true);
  ZEL_SetInterfaceNode(db, kIds[0]);
  ZEL_SetMode(db, 1, kIds[2], 1, 1, 2, 3, 4, 5, 6);
  ZEL_SetModalPreload(db, 2, 0.5);
  ZEL_SetModalLoad(db, 0, 2, 0.25);
  const std::string path = dir.file("body.zel");
  const Written written = write_with(db, path, "no_xdr");
  ASSERT_EQ(written.result, 1) << written.printed.err;
  const char *lines[][2] = {
      {"Nodal_coords", "Yes"},
      {"Element_faces", "Yes"},
      {"Eigenvalues", "Yes"},
      {"Mode_shapes", "Yes"},
      {"Global Mass Properties", "Yes"},
      {"Nodal_masses", "Yes"},
      {"Nodal_inertias", "No"},
      {"Generalized stiffness matrix", "Yes"},
      {"Generalized mass matrix", "Yes"},
      {"Generalized damping", "No"},
      {"Mode_Shape_Transformation", "Yes"},
      {"Modal Stress", "Yes"},
      {"Interface Nodes", "Yes"},
      {"Inertia Invariants", "No"},
      {"Modal Preload", "Yes"},
      {"Modal Loads", "Yes"},
  };
  std::string summary = "\nCreating a ZEL with the following information:\n\n";
  for (const auto &line : lines) {
    char text[64];
    std::snprintf(text, sizeof text, "%30s %s\n", line[0], line[1]);
    summary += text;
  }
  const std::size_t at = written.printed.out.find(summary);
  ASSERT_NE(at, std::string::npos) << written.printed.out;
  EXPECT_EQ(written.printed.out.find("Strain", at), std::string::npos);

  const std::vector<unsigned char> bytes = file_bytes(path);
  constexpr std::size_t kSummaryStart = 4 + 544;
  ASSERT_GT(bytes.size(), kSummaryStart + 100);
  EXPECT_EQ(bytes[kSummaryStart + 26], 1);  // the modal loads
  for (std::size_t position = 27; position <= 30; ++position)
    EXPECT_EQ(bytes[kSummaryStart + position], 0) << position;
  double last = 0.0;
  std::memcpy(&last, bytes.data() + bytes.size() - sizeof last, sizeof last);
  EXPECT_EQ(last, 0.25);  // the load case's value of mode 2
}

TEST_F(CoreWriter, ModeWithoutGeneralizedMassIsReportedInItsOwnWords) {
  Database *db = build_body(true, 0.0);
  const Written written = write_with(db, dir.file("body.zel"), "");
  EXPECT_EQ(written.result, 1);
  EXPECT_NE(written.printed.err.find("WARNING:  Flexible component is not physically meaningful\n"
                                     "WARNING:  It contains a zero generalized mass\nWARNING:  \n"),
            std::string::npos)
      << written.printed.err;
  EXPECT_EQ(written.printed.err.find("Mode 2"), std::string::npos);
}

// The rigid-body part of preload and loads goes through the nodal masses
// only; without them the vector is written as it was, with a warning.
TEST_F(CoreWriter, RigidBodyForcesNeedNodalMasses) {
  const std::string no_mass_invariants =
      "ERROR:  There is insufficient mass data to compute a full set of mass invariants.\nERROR:  Some or all mass "
      "invariants will be set to zero.\n";
  const std::string few_rigid_modes =
      "WARNING:  ZEL only contains 1 rigid body modes.\nWARNING:    The resultant load vector will be "
      "mishandled.\nWARNING:  \n";
  struct RigidCase {
    const char *name;
    bool nodal_masses;
    bool load_case;  // else the preload
    bool without_fea_mass;
    std::string warnings;
    int32_t processed;
    double rigid_value;  // mode 1's entry as written
  } cases[] = {
      {"preload without masses", false, false, false,
       no_mass_invariants + "WARNING:  No mass matrix.  Failed to verify absence of rigid body component in preload.\n", 0, 2.0},
      {"load case without masses", false, true, false,
       no_mass_invariants + few_rigid_modes +
           "WARNING:  No mass matrix. Any rigid body force component will be mishandled in \"Braking\"\nWARNING:  \n",
       0, 2.0},
      {"preload with masses", true, false, false,
       "WARNING:  ZEL contains a preload with a rigid body component which is being ignored\n", 1,
       2.0 * kTotalNodalMass},
      {"preload with masses the variable cannot hide", true, false, true,
       "WARNING:  ZEL contains a preload with a rigid body component which is being ignored\n", 1,
       2.0 * kTotalNodalMass},
      {"load case with masses", true, true, false, few_rigid_modes, 1, 2.0 * kTotalNodalMass},
  };
  for (const RigidCase &c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv fea(
        "KOR_MFORCE_NO_FEA_MASS", c.without_fea_mass ? std::optional<std::string>("1") : std::nullopt);
    Database *db = build_body(c.nodal_masses);
    if (c.load_case) {
      ZEL_SetModalLoadLabel(db, 0, "Braking");
      ZEL_SetModalLoad(db, 0, 1, 2.0);
      ZEL_SetModalLoad(db, 0, 2, 0.5);
    } else {
      ZEL_SetModalPreload(db, 1, 2.0);
      ZEL_SetModalPreload(db, 2, 0.5);
    }
    const std::string path = dir.file("body.zel");
    const Written written = write_with(db, path, "invar full_invar");
    EXPECT_EQ(written.result, 1);
    EXPECT_EQ(written.printed.err, c.warnings);
    const TrailingVector tail = trailing_vector(file_bytes(path), 2);
    EXPECT_EQ(tail.processed, c.processed);
    EXPECT_EQ(tail.values, (std::vector<double>{c.rigid_value, 0.5}));
    ZEL_UnLink(db);
  }
}

// Mode number 0 of the stress set is an ordinary mode: there is no
// pre-stress.
TEST_F(CoreWriter, ModeZeroOfTheStressSetIsAMode) {
  Database *db = ZEL_Create(1, 1);
  capture([&] { EXPECT_EQ(ZEL_SetMode(db, 0, 5, 1, 1, 2, 3, 4, 5, 6), 1); });
  EXPECT_EQ(ZEL_ModeCount(db), 1);
  EXPECT_EQ(ZEL_ModeNumber(db, 0), 0);
  double values[3] = {};
  ASSERT_EQ(ZEL_Mode(db, 0, 1, values, 1), 1);
  EXPECT_EQ(std::vector<double>(values, values + 3), (std::vector<double>{4, 5, 6}));
}

// "single", "sparse_str", "full_str" and "empty" are the full library's:
// here they are no words at all, and the modes are written in double
// precision with XDR.
TEST_F(CoreWriter, WordsOfTheFullLibraryAreNotOptions) {
  Database *db = build_body(true);
  const std::string path = dir.file("body.zel");
  ASSERT_EQ(write_with(db, path, "single sparse_str full_str empty").result, 1);
  Database *read = nullptr;
  capture([&] { read = ZEL_CreateFromZEL(path.c_str()); });
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(ZEL_Version(read), 41);
  EXPECT_EQ(ZEL_ModeCount(read), 2);
}

TEST_F(CoreWriter, CoarseningCannotPreserveStressNodes) {
  Database *db = build_body(true);
  const std::string path = dir.file("body.zel");
  const Written written = write_with(db, path, "coarsen(0.5,30,0,preserve_str)");
  EXPECT_EQ(written.result, 0);
  EXPECT_EQ(written.printed.err, "ERROR:  Malformed argument of the write option coarsen(.\n");
  EXPECT_FALSE(std::filesystem::exists(path));
}

// The temporary files' messages, exact to the character, all naming TMPDIR.
TEST_F(CoreWriter, TemporaryFileMessagesNameTmpdir) {
  const std::string advice = "ERROR:  To write elsewhere, specify directory name in environment variable TMPDIR\n";
  struct StoreCase {
    int set;
    const char *path_variable;
    const char *what;
    bool full_disk;  // else a path that cannot be created
  } cases[] = {
      {0, "KOR_TMP_MOD", "Unable to open temporary mode shape file ", false},
      {1, "KOR_TMP_STR", "Unable to open temporary modal stress file ", false},
      {0, "KOR_TMP_MOD", "Insufficient disk space for temporary mode shape file  ", true},
      {1, "KOR_TMP_STR", "Insufficient disk space for temporary modal stress file ", true},
  };
  for (const StoreCase &c : cases) {
    const std::string path = c.full_disk ? dir.file("store.tmp") : "/nonexistent/dir/store.tmp";
    SCOPED_TRACE(c.what);
    ScopedEnv store(c.path_variable, path);
    Database *db = ZEL_Create(1000, 2);
    zel_test::Printed printed;
    {
      zel_test::FileSizeLimit limit(c.full_disk ? 4096 : RLIM_INFINITY);
      printed = capture([&] { EXPECT_EQ(ZEL_SetMode(db, 1, 5, c.set, 1, 2, 3, 4, 5, 6), 0); });
    }
    EXPECT_EQ(printed.err, "ERROR:  " + std::string(c.what) + path + ".\n" + advice);
    ZEL_UnLink(db);
  }
}

// The mode files written again by the orthonormalization (a generalized
// mass other than 1) go to TMPDIR too.
TEST_F(CoreWriter, RewrittenModeFileMessagesNameTmpdir) {
  struct RewriteCase {
    const char *tmpdir;  // null: the test's directory
    rlim_t file_size_limit;
    std::string expected;
  } cases[] = {
      {"/nonexistent/dir", RLIM_INFINITY,
       "ERROR:  Unable to open /nonexistent/dir/zel_XXXXXX for write.  Specify different temporary file directory "
       "by\nERROR:  setting the TMPDIR environment variable\n"},
      {nullptr, 200,
       "ERROR:  Insufficient disk space for file " + dir.path() +
           "/zel_??????.  Specify different temporary\nERROR:  file directory by setting the TMPDIR environment "
           "variable\n"},
  };
  for (const RewriteCase &c : cases) {
    SCOPED_TRACE(c.expected);
    ScopedEnv store("KOR_TMP_MOD", dir.file("modes.tmp"));
    Database *db = build_body(true, 4.0);
    ScopedEnv tmpdir_now("TMPDIR", c.tmpdir ? std::string(c.tmpdir) : dir.path());
    Written written;
    {
      zel_test::FileSizeLimit limit(c.file_size_limit);
      written = write_with(db, dir.file("body.zel"), "no_xdr");
    }
    const std::string &err = written.printed.err;
    const std::size_t name = c.expected.find('?');
    if (name == std::string::npos) {
      EXPECT_NE(err.find(c.expected), std::string::npos) << err;
    } else {  // the generated part of the name is unknown
      const std::size_t at = err.find(c.expected.substr(0, name));
      ASSERT_NE(at, std::string::npos) << err;
      EXPECT_EQ(err.substr(at + name + 6, c.expected.size() - name - 6), c.expected.substr(name + 6)) << err;
    }
    ZEL_UnLink(db);
  }
}

}  // namespace
