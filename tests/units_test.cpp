// Unit vocabulary, label conversion, SI factors and unit changes.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "capture.h"
#include "body/database.h"
#include "allocation_control.h"
#include "body/units.h"
#include "zel.h"

namespace {

using zel_test::capture;

// The label as ZEL_ConvertUnitsLabel leaves it, or "rejected" when it
// reports the label unknown (the buffer must then be unchanged).
std::string converted(const char *label) {
  char buffer[64] = {0};
  std::strncpy(buffer, label, sizeof buffer - 1);
  if (ZEL_ConvertUnitsLabel(buffer)) return buffer;
  EXPECT_STREQ(buffer, label) << "a rejected label must leave the buffer alone";
  return "rejected";
}

struct Names {
  char mass[16], length[16], time[16], force[16];
};

Names units_of(Database *db) {
  Names n{};
  EXPECT_EQ(ZEL_Units(db, n.mass, n.length, n.time, n.force), 1);
  return n;
}

class UnitsTest : public ::testing::Test {
 protected:
  void TearDown() override { ZEL_Terminate(); }

  Database *body_at(double x, double y, double z) {
    Database *db = ZEL_Create(10, 0);
    ZEL_SetNodeCoordinates(db, 7, x, y, z);
    return db;
  }

  // A body built in millimetres and then switched to metres.
  Database *converted_to_metres(double x, double y, double z) {
    Database *db = body_at(x, y, z);
    EXPECT_EQ(ZEL_SetUnits(db, "kg", "mm", "s", "N"), 1);
    EXPECT_EQ(ZEL_SetUnits(db, "kg", "m", "s", "N"), 1);
    return db;
  }
};

TEST(UnitLabels, SpellingsBecomeCanonicalNamesIgnoringCase) {
  EXPECT_EQ(converted("Mg"), "MILLIGRAM");
  EXPECT_EQ(converted("mgg"), "MEGAGRAM");
  EXPECT_EQ(converted("Tonne"), "MEGAGRAM");
  EXPECT_EQ(converted("megagram"), "MEGAGRAM");
  EXPECT_EQ(converted("MN"), "MILLINEWTON");
  EXPECT_EQ(converted("kip"), "KPOUND_FORCE");
  EXPECT_EQ(converted("micron"), "MICROMETER");
  EXPECT_EQ(converted("min"), "MINUTE");
  EXPECT_EQ(converted("Dozen_Slug"), "SLINCH");
  EXPECT_EQ(converted("KILOGRAM_FORCE"), "KILOGRAM_FORCE");
  EXPECT_EQ(converted("us"), "MICROSECOND");
}

TEST(UnitLabels, UnknownLabelsAreRejected) {
  EXPECT_EQ(converted("meters"), "rejected");
  EXPECT_EQ(converted(""), "rejected");
  EXPECT_EQ(converted("kgs"), "rejected");
  EXPECT_EQ(ZEL_ConvertUnitsLabel(nullptr), 0);
}

// Every spelling must lead to a name some table knows, or a unit change to
// it would fail later for no visible reason.
TEST(UnitLabels, EverySynonymNamesARowOfATable) {
  const zel::UnitVocabulary &v = zel::kUnitVocabulary;
  EXPECT_EQ(v.synonym_count, 94u);
  std::set<std::string> table_names;
  for (const ZEL_UnitRow *table : v.tables)
    for (const ZEL_UnitRow *row = table; row->name != nullptr; ++row) table_names.insert(row->name);
  EXPECT_EQ(table_names.size(), 12u + 13u + 7u + 10u);
  for (std::size_t i = 0; i < v.synonym_count; ++i)
    EXPECT_EQ(table_names.count(v.synonyms[i].canonical), 1u) << v.synonyms[i].spelling;
}

TEST(UnitTables, DividerFindsNamesIgnoringCase) {
  const ZEL_UnitRow *mass = ZEL_UnitTable(ZEL_MASS_UNITS);
  const ZEL_UnitRow *length = ZEL_UnitTable(ZEL_LENGTH_UNITS);
  EXPECT_DOUBLE_EQ(ZEL_UnitsDivider("slug", mass), 14.5939029372);
  EXPECT_DOUBLE_EQ(ZEL_UnitsDivider("", mass), 1.0);
  // Only canonical names are rows; a spelling is not.
  EXPECT_DOUBLE_EQ(ZEL_UnitsDivider("kg", mass), 0.0);
  EXPECT_DOUBLE_EQ(ZEL_UnitsDivider("METER", mass), 0.0);
  EXPECT_DOUBLE_EQ(ZEL_UnitsDivider("microinch", length), 2.54e-08);
  EXPECT_EQ(ZEL_UnitTable(4), nullptr);
  EXPECT_EQ(ZEL_UnitTable(-1), nullptr);
}

TEST(UnitTables, DividerWithoutMemoryGivesNoFactor) {
  // A name longer than a short string holds needs memory to be compared.
  const char *long_name = "KILOGRAM_FORCE_OF_SOME_PLANET";
  double factor = -1.0;
  const auto printed = capture([&] {
    zel_test::with_allocations_refused_from(1, [&] { factor = ZEL_UnitsDivider(long_name, ZEL_UnitTable(ZEL_FORCE_UNITS)); });
  });
  EXPECT_EQ(factor, 0.0);
  EXPECT_EQ(printed.err.rfind("ERROR:  Failed to allocate memory at line ", 0), 0u) << printed.err;
  EXPECT_TRUE(printed.err.ends_with(" in file zelunits.\nERROR:  \n")) << printed.err;
}

TEST(UnitTables, LabelOfAFactorWithinTolerance) {
  EXPECT_STREQ(ZEL_UnitsLabel(0.02540001, ZEL_UnitTable(ZEL_LENGTH_UNITS)), "INCH");
  EXPECT_EQ(ZEL_UnitsLabel(0.5, ZEL_UnitTable(ZEL_MASS_UNITS)), nullptr);
  EXPECT_STREQ(ZEL_UnitsLabel(60.0, ZEL_UnitTable(ZEL_TIME_UNITS)), "MINUTE");
  EXPECT_STREQ(ZEL_UnitsLabel(4448.2, ZEL_UnitTable(ZEL_FORCE_UNITS)), "KPOUND_FORCE");
  // 1e-4 relative is the edge: 1.0002 is no longer a newton.
  EXPECT_EQ(ZEL_UnitsLabel(1.0002, ZEL_UnitTable(ZEL_FORCE_UNITS)), nullptr);
}

TEST_F(UnitsTest, ConsistencyFactorOfUnitSystems) {
  Database *si = ZEL_Create(0, 0);
  EXPECT_DOUBLE_EQ(ZEL_UCF(si), 1.0);
  Database *mm_tonne = ZEL_Create(0, 0);
  ASSERT_EQ(ZEL_SetUnits(mm_tonne, "mgg", "mm", "s", "N"), 1);
  EXPECT_DOUBLE_EQ(ZEL_UCF(mm_tonne), 1.0);
  Database *imperial = ZEL_Create(0, 0);
  ASSERT_EQ(ZEL_SetUnits(imperial, "slug", "ft", "s", "lbf"), 1);
  EXPECT_NEAR(ZEL_UCF(imperial), 1.0, 1e-9);
  Database *mm_kg = ZEL_Create(0, 0);
  ASSERT_EQ(ZEL_SetUnits(mm_kg, "kg", "mm", "s", "N"), 1);
  EXPECT_DOUBLE_EQ(ZEL_UCF(mm_kg), 1000.0);
}

TEST_F(UnitsTest, SiConversionsUseTheDatabaseUnits) {
  Database *db = ZEL_Create(0, 0);
  EXPECT_DOUBLE_EQ(ZEL_Length2Meter(db, 5.0), 5.0);  // unset counts as SI
  ASSERT_EQ(ZEL_SetUnits(db, "lbm", "in", "ms", "kN"), 1);
  EXPECT_DOUBLE_EQ(ZEL_Mass2Kilogram(db, 2.0), 2.0 * 0.45359237);
  EXPECT_DOUBLE_EQ(ZEL_Length2Meter(db, 2.0), 2.0 * 0.0254);
  EXPECT_DOUBLE_EQ(ZEL_Time2Second(db, 2.0), 2.0 * 0.001);
  EXPECT_DOUBLE_EQ(ZEL_Force2Newton(db, 2.0), 2000.0);
}

// The synonym list is not split by quantity: a length in the mass slot is
// stored as given and has no SI value as a mass.
TEST_F(UnitsTest, MisplacedUnitHasNoFactorAndBlocksLaterChanges) {
  Database *db = ZEL_Create(0, 0);
  ASSERT_EQ(ZEL_SetUnits(db, "m", "m", "s", "N"), 1);
  EXPECT_STREQ(units_of(db).mass, "METER");
  EXPECT_DOUBLE_EQ(ZEL_Mass2Kilogram(db, 3.0), 0.0);
  EXPECT_DOUBLE_EQ(ZEL_UCF(db), 0.0);
  EXPECT_EQ(ZEL_SetUnits(db, "kg", "mm", "s", "N"), 0);
  EXPECT_STREQ(units_of(db).mass, "METER");
}

TEST_F(UnitsTest, UnsetUnitsReadAsSi) {
  const Names n = units_of(ZEL_Create(0, 0));
  EXPECT_STREQ(n.mass, "KILOGRAM");
  EXPECT_STREQ(n.length, "METER");
  EXPECT_STREQ(n.time, "SECOND");
  EXPECT_STREQ(n.force, "NEWTON");
}

TEST_F(UnitsTest, FirstUnitsOnlyDeclareTheData) {
  Database *db = body_at(1000.0, 2000.0, 3000.0);
  ASSERT_EQ(ZEL_SetUnits(db, "kg", "mm", "s", "N"), 1);
  const Names n = units_of(db);
  EXPECT_STREQ(n.mass, "KILOGRAM");
  EXPECT_STREQ(n.length, "MILLIMETER");
  EXPECT_STREQ(n.time, "SECOND");
  EXPECT_STREQ(n.force, "NEWTON");
  EXPECT_EQ(db->unit_factor, (zel::UnitFactors{1.0, 1.0, 1.0, 1.0}));
  EXPECT_DOUBLE_EQ(db->nodes[0].x, 1000.0);
}

TEST_F(UnitsTest, MillimetreToMetreScalesLengthsOnly) {
  Database *db = converted_to_metres(1000.0, 2000.0, -3000.0);
  EXPECT_STREQ(units_of(db).length, "METER");
  EXPECT_DOUBLE_EQ(db->unit_factor[zel::kForceFactor], 1.0);
  EXPECT_DOUBLE_EQ(db->unit_factor[zel::kLengthFactor], 0.001);
  EXPECT_DOUBLE_EQ(db->unit_factor[zel::kMassFactor], 1.0);
  EXPECT_DOUBLE_EQ(db->unit_factor[zel::kTimeFactor], 1.0);
  EXPECT_DOUBLE_EQ(db->nodes[0].x, 1.0);
  EXPECT_DOUBLE_EQ(db->nodes[0].y, 2.0);
  EXPECT_DOUBLE_EQ(db->nodes[0].z, -3.0);
}

// Mode data in files stays in the units it was stored in; the factors must
// take it to the current units however many changes came in between.
TEST_F(UnitsTest, FactorsAccumulateOverSuccessiveChanges) {
  Database *db = converted_to_metres(5000.0, 0.0, 0.0);
  ASSERT_EQ(ZEL_SetUnits(db, "gram", "km", "ms", "N"), 1);
  EXPECT_DOUBLE_EQ(db->nodes[0].x, 0.005);
  EXPECT_DOUBLE_EQ(db->unit_factor[zel::kLengthFactor], 1e-6);
  EXPECT_DOUBLE_EQ(db->unit_factor[zel::kMassFactor], 1000.0);
  EXPECT_DOUBLE_EQ(db->unit_factor[zel::kTimeFactor], 1000.0);
}

TEST_F(UnitsTest, SameOrUnknownNamesChangeNothing) {
  Database *db = converted_to_metres(1000.0, 0.0, 0.0);
  EXPECT_EQ(ZEL_SetUnits(db, "KILOGRAM", "meter", "SEC", "n"), 1);
  EXPECT_DOUBLE_EQ(db->nodes[0].x, 1.0);
  EXPECT_DOUBLE_EQ(db->unit_factor[zel::kLengthFactor], 0.001);

  EXPECT_EQ(ZEL_SetUnits(db, "kg", "furlong", "s", "N"), 0);
  EXPECT_EQ(ZEL_SetUnits(db, "kg", "mm", nullptr, "N"), 0);
  EXPECT_STREQ(units_of(db).length, "METER");
  EXPECT_DOUBLE_EQ(db->nodes[0].x, 1.0);
  EXPECT_DOUBLE_EQ(db->unit_factor[zel::kLengthFactor], 0.001);
}

// Names are cut to the 15 characters a unit field holds before they are
// recognised.
TEST_F(UnitsTest, NamesAreCutToFifteenCharacters) {
  Database *db = ZEL_Create(0, 0);
  EXPECT_EQ(ZEL_SetUnits(db, "kg", "m", "s", "KILOGRAM_FORCEX"), 0);
  EXPECT_EQ(ZEL_SetUnits(db, "kg", "m", "s", "kilogram_force_and_then_a_very_long_tail"), 0);
  EXPECT_EQ(ZEL_SetUnits(db, "kg", "m", "s", "KILOGRAM_FORCE"), 1);
  EXPECT_STREQ(units_of(db).force, "KILOGRAM_FORCE");
}

TEST_F(UnitsTest, UnitsBySiMultipliers) {
  Database *db = body_at(1.0, 0.0, 0.0);
  ASSERT_EQ(ZEL_SetUnits(db, "kg", "m", "s", "N"), 1);
  ASSERT_EQ(ZEL_SetUnitsByMultiplierOnSI(db, 1000.0, 0.001, 1.0, 1.0), 1);
  const Names n = units_of(db);
  EXPECT_STREQ(n.mass, "MEGAGRAM");
  EXPECT_STREQ(n.length, "MILLIMETER");
  EXPECT_DOUBLE_EQ(db->nodes[0].x, 1000.0);
  EXPECT_EQ(ZEL_SetUnitsByMultiplierOnSI(db, 0.5, 1.0, 1.0, 1.0), 0);
  EXPECT_STREQ(units_of(db).mass, "MEGAGRAM");
}

TEST(UnitHandles, NullDatabaseIsReported) {
  const std::string expected = "ERROR:  The database has not been initialized.\n";
  char buffer[16];
  EXPECT_EQ(capture([] { EXPECT_DOUBLE_EQ(ZEL_UCF(nullptr), 0.0); }).err, expected);
  EXPECT_EQ(capture([] { EXPECT_DOUBLE_EQ(ZEL_Length2Meter(nullptr, 2.0), 0.0); }).err, expected);
  EXPECT_EQ(capture([] { EXPECT_EQ(ZEL_SetUnits(nullptr, "kg", "m", "s", "N"), 0); }).err, expected);
  EXPECT_EQ(capture([&] { EXPECT_EQ(ZEL_Units(nullptr, buffer, buffer, buffer, buffer), 0); }).err, expected);
}

}  // namespace
