/*
 * units.c - reading and checking the four units of --units.
 */
#include "units.h"

#include <ctype.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "zel.h"

static const char *const kQuantities[4] = {"mass", "length", "time", "force"};

/* Symbols that mean one unit in lower case and another (or a unit of a
 * different size) with a capital M, each with the names to write instead. */
static const struct {
  const char *symbol;
  const char *names;
} kCaseDependent[] = {
    {"mg", "megagram (or tonne) or milligram"},
    {"mn", "meganewton or millinewton"},
};

/* "mm" and "ms" are safe written in lower case only: "MM" or "Ms" would be
 * read as milli- where the writer most likely meant mega-. */
static const char *const kLowerCaseOnly[] = {"mm", "ms"};

static int equals_ignoring_case(const char *a, const char *b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (tolower((unsigned char)*a) != tolower((unsigned char)*b)) return 0;
  return *a == *b;
}

static int refuse_case_dependent(const char *token, char *reason, int size) {
  size_t k;
  for (k = 0; k < sizeof kCaseDependent / sizeof kCaseDependent[0]; ++k)
    if (equals_ignoring_case(token, kCaseDependent[k].symbol)) {
      snprintf(reason, (size_t)size, "'%s' means different units in upper and lower case: write %s", token,
               kCaseDependent[k].names);
      return 1;
    }
  for (k = 0; k < sizeof kLowerCaseOnly / sizeof kLowerCaseOnly[0]; ++k)
    if (equals_ignoring_case(token, kLowerCaseOnly[k]) && strcmp(token, kLowerCaseOnly[k]) != 0) {
      snprintf(reason, (size_t)size, "'%s' would be read as %s: write %s, or the unit's name", token,
               kLowerCaseOnly[k], kLowerCaseOnly[k]);
      return 1;
    }
  return 0;
}

/* The accepted names of a quantity: its table's names in lower case. */
static void list_names(int quantity, char *list, size_t size) {
  const ZEL_UnitRow *row = ZEL_UnitTable(quantity);
  size_t used = 0, k;
  list[0] = '\0';
  for (; row != NULL && row->name != NULL && used + 1 < size; ++row) {
    const int written = snprintf(list + used, size - used, "%s%s", used > 0 ? ", " : "", row->name);
    if (written < 0 || (size_t)written >= size - used) break;
    for (k = used; list[k] != '\0'; ++k) list[k] = (char)tolower((unsigned char)list[k]);
    used += (size_t)written;
  }
}

/* The library's name of one unit of `quantity`, or 0 with the reason. */
static int read_unit(const char *token, int quantity, char *name, char *reason, int size) {
  char list[400];
  const char *spelled = equals_ignoring_case(token, "t") ? "tonne" : token;
  const size_t length = strlen(spelled);
  if (refuse_case_dependent(token, reason, size)) return 0;
  if (length < UNIT_NAME_SIZE) {
    memcpy(name, spelled, length + 1);
    if (ZEL_ConvertUnitsLabel(name) && ZEL_UnitsDivider(name, ZEL_UnitTable(quantity)) > 0.0) return 1;
  }
  list_names(quantity, list, sizeof list);
  snprintf(reason, (size_t)size, "'%s' is not a %s unit; accepted: %s%s, or their usual symbols", token,
           kQuantities[quantity], quantity == ZEL_MASS_UNITS ? "t, " : "", list);
  return 0;
}

static double si_value(const UnitSet *set, int quantity) {
  return ZEL_UnitsDivider(set->names[quantity], ZEL_UnitTable(quantity));
}

/* One force unit must be one mass unit times one length unit per time
 * unit squared; a relative 1e-6 allows for the tables' rounding. */
static int consistent(const UnitSet *set, double *ratio) {
  const double t = si_value(set, ZEL_TIME_UNITS);
  *ratio = si_value(set, ZEL_FORCE_UNITS) * t * t / (si_value(set, ZEL_MASS_UNITS) * si_value(set, ZEL_LENGTH_UNITS));
  return fabs(*ratio - 1.0) <= 1e-6;
}

static void lower(char *text) {
  for (; *text != '\0'; ++text) *text = (char)tolower((unsigned char)*text);
}

int read_unit_set(const char *text, int allow_inconsistent, UnitSet *set, char *reason, int size) {
  char token[64], names[4][UNIT_NAME_SIZE];
  const char *start = text;
  double ratio;
  int q;
  for (q = 0; q < 4; ++q) {
    const char *comma = strchr(start, ',');
    const size_t length = comma != NULL ? (size_t)(comma - start) : strlen(start);
    if ((q < 3) != (comma != NULL) || length == 0 || length >= sizeof token) {
      snprintf(reason, (size_t)size, "'%s' is not four units MASS,LENGTH,TIME,FORCE", text);
      return 0;
    }
    memcpy(token, start, length);
    token[length] = '\0';
    if (!read_unit(token, q, set->names[q], reason, size)) return 0;
    start = comma + 1;
  }
  if (allow_inconsistent || consistent(set, &ratio)) return 1;
  for (q = 0; q < 4; ++q) {
    snprintf(names[q], sizeof names[q], "%s", set->names[q]);
    lower(names[q]);
  }
  snprintf(reason, (size_t)size,
           "units %s, %s, %s, %s are not consistent: one %s is %g %s %s per %s squared (give "
           "--inconsistent-units to keep them)",
           names[0], names[1], names[2], names[3], names[3], ratio, names[0], names[1], names[2]);
  return 0;
}
