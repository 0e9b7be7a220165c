// The unit vocabulary of the full library.
#include <iterator>

#include "body/units.h"

namespace zel {
namespace {

const ZEL_UnitRow kMassUnits[] = {
    {"MEGAGRAM", 1000.0},         {"KILOGRAM", 1.0},           {"GRAM", 0.001},
    {"MILLIGRAM", 1e-06},         {"MICROGRAM", 1e-09},        {"NANOGRAM", 1e-12},
    {"USTON", 907.18474},         {"KPOUND_MASS", 453.59237},  {"POUND_MASS", 0.45359237},
    {"OUNCE_MASS", 0.02834952},   {"SLUG", 14.5939029372},     {"SLINCH", 175.1271524},
    {nullptr, 0.0},
};

const ZEL_UnitRow kForceUnits[] = {
    {"KNEWTON", 1000.0},
    {"NEWTON", 1.0},
    {"MILLINEWTON", 0.001},
    {"DYNE", 1e-05},
    {"MICRONEWTON", 1e-06},
    {"NANONEWTON", 1e-09},
    {"KPOUND_FORCE", 4448.22161526},
    {"POUND_FORCE", 4.44822161526},
    {"KILOGRAM_FORCE", 9.80665},
    {"OUNCE_FORCE", 0.2780139},
    {nullptr, 0.0},
};

const ZEL_UnitRow kLengthUnits[] = {
    {"KILOMETER", 1000.0}, {"METER", 1.0},       {"CENTIMETER", 0.01},   {"MILLIMETER", 0.001},
    {"MICROMETER", 1e-06}, {"NANOMETER", 1e-09}, {"ANGSTROM", 1e-10},    {"MILE", 1609.344},
    {"YARD", 0.9144},      {"FOOT", 0.3048},     {"INCH", 0.0254},       {"MIL", 2.54e-05},
    {"MICROINCH", 2.54e-08}, {nullptr, 0.0},
};

const ZEL_UnitRow kTimeUnits[] = {
    {"SECOND", 1.0}, {"MILLISECOND", 0.001}, {"MICROSECOND", 1e-06}, {"NANOSECOND", 1e-09},
    {"DAY", 86400.0}, {"HOUR", 3600.0},      {"MINUTE", 60.0},       {nullptr, 0.0},
};

// Tried in this order; the list is not split by quantity.
const UnitSynonym kSynonyms[] = {
    {"mgg", "MEGAGRAM"},
    {"megagram", "MEGAGRAM"},
    {"tonne", "MEGAGRAM"},
    {"kilogram", "KILOGRAM"},
    {"kg", "KILOGRAM"},
    {"gram", "GRAM"},
    {"microgram", "MICROGRAM"},
    {"ug", "MICROGRAM"},
    {"milligram", "MILLIGRAM"},
    {"mg", "MILLIGRAM"},
    {"nanogram", "NANOGRAM"},
    {"ng", "NANOGRAM"},
    {"uston", "USTON"},
    {"us_ton", "USTON"},
    {"klbm", "KPOUND_MASS"},
    {"kpound_mass", "KPOUND_MASS"},
    {"pound_mass", "POUND_MASS"},
    {"lbm", "POUND_MASS"},
    {"ounce_mass", "OUNCE_MASS"},
    {"ozm", "OUNCE_MASS"},
    {"slug", "SLUG"},
    {"DOZEN_SLUG", "SLINCH"},
    {"dozen_slug", "SLINCH"},
    {"slinch", "SLINCH"},
    {"knewton", "KNEWTON"},
    {"kn", "KNEWTON"},
    {"newton", "NEWTON"},
    {"n", "NEWTON"},
    {"millinewton", "MILLINEWTON"},
    {"mn", "MILLINEWTON"},
    {"dyne", "DYNE"},
    {"micronewton", "MICRONEWTON"},
    {"un", "MICRONEWTON"},
    {"nanonewton", "NANONEWTON"},
    {"nn", "NANONEWTON"},
    {"kpound_force", "KPOUND_FORCE"},
    {"klbf", "KPOUND_FORCE"},
    {"kip", "KPOUND_FORCE"},
    {"pound_force", "POUND_FORCE"},
    {"lbf", "POUND_FORCE"},
    {"kilogram_force", "KILOGRAM_FORCE"},
    {"kgf", "KILOGRAM_FORCE"},
    {"kg_force", "KILOGRAM_FORCE"},
    {"kgf", "KILOGRAM_FORCE"},
    {"ounce_force", "OUNCE_FORCE"},
    {"ozf", "OUNCE_FORCE"},
    {"kilometer", "KILOMETER"},
    {"km", "KILOMETER"},
    {"meter", "METER"},
    {"m", "METER"},
    {"centimeter", "CENTIMETER"},
    {"cm", "CENTIMETER"},
    {"millimeter", "MILLIMETER"},
    {"mm", "MILLIMETER"},
    {"micrometer", "MICROMETER"},
    {"micron", "MICROMETER"},
    {"um", "MICROMETER"},
    {"nanometer", "NANOMETER"},
    {"nm", "NANOMETER"},
    {"angstrom", "ANGSTROM"},
    {"ang", "ANGSTROM"},
    {"mile", "MILE"},
    {"mi", "MILE"},
    {"yard", "YARD"},
    {"yd", "YARD"},
    {"foot", "FOOT"},
    {"ft", "FOOT"},
    {"inch", "INCH"},
    {"in", "INCH"},
    {"mil", "MIL"},
    {"milli_inch", "MIL"},
    {"uin", "MICROINCH"},
    {"uinch", "MICROINCH"},
    {"microinch", "MICROINCH"},
    {"micro_inch", "MICROINCH"},
    {"second", "SECOND"},
    {"sec", "SECOND"},
    {"s", "SECOND"},
    {"millisecond", "MILLISECOND"},
    {"millisec", "MILLISECOND"},
    {"ms", "MILLISECOND"},
    {"microsecond", "MICROSECOND"},
    {"microsec", "MICROSECOND"},
    {"us", "MICROSECOND"},
    {"nanosecond", "NANOSECOND"},
    {"nanosec", "NANOSECOND"},
    {"ns", "NANOSECOND"},
    {"day", "DAY"},
    {"d", "DAY"},
    {"hour", "HOUR"},
    {"hr", "HOUR"},
    {"h", "HOUR"},
    {"minute", "MINUTE"},
    {"min", "MINUTE"},
};

}  // namespace

const UnitVocabulary kUnitVocabulary = {
    {kMassUnits, kLengthUnits, kTimeUnits, kForceUnits}, kSynonyms, std::size(kSynonyms)};

}  // namespace zel
