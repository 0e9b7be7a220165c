// The smaller unit vocabulary of the reduced build, and its name for the
// label conversion.
#include <iterator>

#include "body/units.h"
#include "zelcore.h"

namespace zel {
namespace {

const ZEL_UnitRow kMassUnits[] = {
    {"KILOGRAM", 1.0},       {"POUND_MASS", 0.45359237},  {"SLUG", 14.5939029372}, {"DOZEN_SLUG", 175.1271524},
    {"GRAM", 0.001},         {"OUNCE_MASS", 0.02834952},  {"KPOUND_MASS", 453.59237}, {"MEGAGRAM", 1000.0},
    {nullptr, 0.0},
};

const ZEL_UnitRow kForceUnits[] = {
    {"NEWTON", 1.0},      {"POUND_FORCE", 4.44822161526}, {"KILOGRAM_FORCE", 9.80665}, {"OUNCE_FORCE", 0.2780139},
    {"DYNE", 1e-05},      {"MILLINEWTON", 0.001},         {"KNEWTON", 1000.0},         {"KPOUND_FORCE", 4448.22161526},
    {nullptr, 0.0},
};

const ZEL_UnitRow kLengthUnits[] = {
    {"KILOMETER", 1000.0}, {"METER", 1.0},       {"CENTIMETER", 0.01}, {"MILLIMETER", 0.001},
    {"MILE", 1609.344},    {"FOOT", 0.3048},     {"INCH", 0.0254},     {nullptr, 0.0},
};

const ZEL_UnitRow kTimeUnits[] = {
    {"HOUR", 3600.0}, {"MINUTE", 60.0}, {"SECOND", 1.0}, {"MILLISECOND", 0.001}, {nullptr, 0.0},
};

// Tried in this order.
const UnitSynonym kSynonyms[] = {
    {"kilogram", "KILOGRAM"},
    {"kg", "KILOGRAM"},
    {"pound_mass", "POUND_MASS"},
    {"lbm", "POUND_MASS"},
    {"slug", "SLUG"},
    {"dozen_slug", "DOZEN_SLUG"},
    {"gram", "GRAM"},
    {"ounce_mass", "OUNCE_MASS"},
    {"ozm", "OUNCE_MASS"},
    {"klbm", "KPOUND_MASS"},
    {"kpound_mass", "KPOUND_MASS"},
    {"mgg", "MEGAGRAM"},
    {"megagram", "MEGAGRAM"},
    {"newton", "NEWTON"},
    {"n", "NEWTON"},
    {"millinewton", "MILLINEWTON"},
    {"mn", "MILLINEWTON"},
    {"pound_force", "POUND_FORCE"},
    {"lbf", "POUND_FORCE"},
    {"kilogram_force", "KILOGRAM_FORCE"},
    {"kgf", "KILOGRAM_FORCE"},
    {"kg_force", "KILOGRAM_FORCE"},
    {"ounce_force", "OUNCE_FORCE"},
    {"ozf", "OUNCE_FORCE"},
    {"dyne", "DYNE"},
    {"knewton", "KNEWTON"},
    {"kn", "KNEWTON"},
    {"kpound_force", "KPOUND_FORCE"},
    {"klbf", "KPOUND_FORCE"},
    {"kip", "KPOUND_FORCE"},
    {"kilometer", "KILOMETER"},
    {"km", "KILOMETER"},
    {"meter", "METER"},
    {"m", "METER"},
    {"centimeter", "CENTIMETER"},
    {"cm", "CENTIMETER"},
    {"millimeter", "MILLIMETER"},
    {"mm", "MILLIMETER"},
    {"mile", "MILE"},
    {"mi", "MILE"},
    {"foot", "FOOT"},
    {"ft", "FOOT"},
    {"inch", "INCH"},
    {"in", "INCH"},
    {"hour", "HOUR"},
    {"hr", "HOUR"},
    {"h", "HOUR"},
    {"minute", "MINUTE"},
    {"min", "MINUTE"},
    {"second", "SECOND"},
    {"sec", "SECOND"},
    {"s", "SECOND"},
    {"millisecond", "MILLISECOND"},
    {"millisec", "MILLISECOND"},
    {"ms", "MILLISECOND"},
};

}  // namespace

const UnitVocabulary kUnitVocabulary = {
    {kMassUnits, kLengthUnits, kTimeUnits, kForceUnits}, kSynonyms, std::size(kSynonyms)};

}  // namespace zel

extern "C" {

ZEL_API int ZEL_CleanupUnitsLabelSynonym(char *label) { return ZEL_ConvertUnitsLabel(label); }

}  // extern "C"
