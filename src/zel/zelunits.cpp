// Unit names, their SI values, and switching a database to other units.
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>

#include "body/database.h"
#include "body/scaling.h"
#include "body/units.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zelunits";

// Unit names live in 16-byte fields: 15 characters and a terminator.
constexpr std::size_t kUnitNameLimit = 15;
constexpr double kLabelTolerance = 1e-4;

const char *const kDefaultNames[4] = {"KILOGRAM", "METER", "SECOND", "NEWTON"};

// unit_factor slot of each unit_name slot.
constexpr UnitFactor kFactorOfName[4] = {kMassFactor, kLengthFactor, kTimeFactor, kForceFactor};

const ZEL_UnitRow *table_of(int name_slot) { return kUnitVocabulary.tables[static_cast<std::size_t>(name_slot)]; }

const char *canonical_name(const char *label) {
  for (std::size_t i = 0; i < kUnitVocabulary.synonym_count; ++i)
    if (labels_equal(label, kUnitVocabulary.synonyms[i].spelling)) return kUnitVocabulary.synonyms[i].canonical;
  return nullptr;
}

// The canonical name of `label` cut to what a unit field holds, or empty.
std::string recognised_name(const char *label) {
  char buffer[kUnitNameLimit + 1] = {0};
  std::strncpy(buffer, label, kUnitNameLimit);
  const char *canonical = canonical_name(buffer);
  return canonical != nullptr ? canonical : "";
}

bool has_no_units(const Database &db) {
  for (const std::string &name : db.unit_name)
    if (!name.empty()) return false;
  return true;
}

double database_si(const Database &db, int name_slot) {
  return si_factor(db.unit_name[static_cast<std::size_t>(name_slot)], table_of(name_slot));
}

double to_si(Database *db, int name_slot, double value) {
  if (!CheckZEL(db)) return 0.0;
  return value * database_si(*db, name_slot);
}

// Switches a database that has units to `names`: the factors of this change
// rescale what it holds, and the database's factors (file units -> current
// units) take the change on top of earlier ones, so that mode data read
// from files after several changes still arrives in the current units.
int change_units(Database &db, const std::array<std::string, 4> &names) {
  UnitFactors step{};
  for (int slot = 0; slot < 4; ++slot) {
    const double old_si = database_si(db, slot);
    const double new_si = si_factor(names[static_cast<std::size_t>(slot)], table_of(slot));
    if (old_si == 0.0 || new_si == 0.0) return 0;
    step[kFactorOfName[slot]] = old_si / new_si;
  }
  db.unit_name = names;
  for (int f = 0; f < 4; ++f) db.unit_factor[static_cast<std::size_t>(f)] *= step[static_cast<std::size_t>(f)];
  scale_database(db, step);
  return 1;
}

}  // namespace

bool labels_equal(const char *a, const char *b) {
  if (std::strlen(a) != std::strlen(b)) return false;
  for (; *a != '\0'; ++a, ++b)
    if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
  return true;
}

double si_factor(const std::string &name, const ZEL_UnitRow *table) {
  if (name.empty()) return 1.0;
  for (const ZEL_UnitRow *row = table; row->name != nullptr; ++row)
    if (labels_equal(name.c_str(), row->name)) return row->factor;
  return 0.0;
}

}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API const ZEL_UnitRow *ZEL_UnitTable(int quantity) {
  if (quantity < ZEL_MASS_UNITS || quantity > ZEL_FORCE_UNITS) return nullptr;
  return table_of(quantity);
}

ZEL_API int ZEL_ConvertUnitsLabel(char *buffer) {
  if (buffer == nullptr) return 0;
  const char *canonical = canonical_name(buffer);
  if (canonical == nullptr) return 0;
  std::strcpy(buffer, canonical);
  return 1;
}

ZEL_API double ZEL_UnitsDivider(const char *name, const ZEL_UnitRow *table) {
  if (name == nullptr || table == nullptr) return 0.0;
  return ZEL_GUARDED(0.0, { return si_factor(name, table); });
}

ZEL_API const char *ZEL_UnitsLabel(double value, const ZEL_UnitRow *table) {
  if (table == nullptr) return nullptr;
  for (const ZEL_UnitRow *row = table; row->name != nullptr; ++row)
    if (std::fabs(row->factor - value) / std::fmax(row->factor, value) < kLabelTolerance) return row->name;
  return nullptr;
}

ZEL_API double ZEL_Mass2Kilogram(Database *db, double value) { return to_si(db, kMassName, value); }
ZEL_API double ZEL_Length2Meter(Database *db, double value) { return to_si(db, kLengthName, value); }
ZEL_API double ZEL_Time2Second(Database *db, double value) { return to_si(db, kTimeName, value); }
ZEL_API double ZEL_Force2Newton(Database *db, double value) { return to_si(db, kForceName, value); }

ZEL_API double ZEL_UCF(Database *db) {
  if (!CheckZEL(db)) return 0.0;
  const double mass = database_si(*db, kMassName);
  const double length = database_si(*db, kLengthName);
  const double time = database_si(*db, kTimeName);
  const double force = database_si(*db, kForceName);
  // An unknown unit has no SI value: no factor, rather than an infinity
  // that would turn every frequency into a non-number.
  if (mass == 0.0 || length == 0.0) return 0.0;
  return force * time * time / (length * mass);
}

ZEL_API int ZEL_Units(Database *db, char *mass, char *length, char *time, char *force) {
  if (!CheckZEL(db)) return 0;
  char *buffers[4] = {mass, length, time, force};
  for (char *buffer : buffers) {
    if (buffer == nullptr) {
      ZEL_Error("The unit names need four buffers of 16 characters.");
      return 0;
    }
  }
  for (int slot = 0; slot < 4; ++slot) {
    const std::string &name = db->unit_name[static_cast<std::size_t>(slot)];
    const char *text = name.empty() ? kDefaultNames[slot] : name.c_str();
    std::strncpy(buffers[slot], text, kUnitNameLimit);
    buffers[slot][kUnitNameLimit] = '\0';
  }
  return 1;
}

ZEL_API int ZEL_SetUnits(Database *db, const char *mass, const char *length, const char *time,
                         const char *force) {
  if (!CheckZEL(db)) return 0;
  if (mass == nullptr || length == nullptr || time == nullptr || force == nullptr) return 0;
  return ZEL_GUARDED(0, {
    const std::array<std::string, 4> names = {recognised_name(mass), recognised_name(length),
                                              recognised_name(time), recognised_name(force)};
    for (const std::string &name : names)
      if (name.empty()) return 0;
    // Names given to a database without units declare the units of its
    // data; nothing is converted.
    if (has_no_units(*db)) {
      db->unit_name = names;
      db->unit_factor = {1.0, 1.0, 1.0, 1.0};
      return 1;
    }
    if (names == db->unit_name) return 1;
    return change_units(*db, names);
  });
}

ZEL_API int ZEL_SetUnitsByMultiplierOnSI(Database *db, double mass, double length, double time, double force) {
  if (!CheckZEL(db)) return 0;
  const double values[4] = {mass, length, time, force};
  const char *names[4];
  for (int slot = 0; slot < 4; ++slot) {
    names[slot] = ZEL_UnitsLabel(values[slot], table_of(slot));
    if (names[slot] == nullptr) return 0;
  }
  return ZEL_SetUnits(db, names[0], names[1], names[2], names[3]);
}

ZEL_API double *ZEL_Convert_Units(double *values, int count, double factor) {
  for (int i = 0; values != nullptr && i < count; ++i) values[i] *= factor;
  return values;
}

ZEL_API const char *zelunits_VersionId(void) { return "zelunits 1.0"; }

}  // extern "C"
