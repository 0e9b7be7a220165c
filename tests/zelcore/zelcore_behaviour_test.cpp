// The reduced library as its callers see it: linked against libzelcore,
// through its exported operations only.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "capture.h"
#include "scoped_env.h"
#include "zelcore.h"

using zel_test::capture;

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

}  // namespace
