/*
 * units.h - the units of `zel from-ccx --units M,L,T,F`, read strictly.
 *
 * The library matches unit names without regard to case, so "Mg" would be
 * a milligram and "MN" a millinewton. On the command line a symbol whose
 * meaning depends on its case is refused in favour of the unit's name,
 * "t" is a tonne, and the four units must make a consistent set
 * (a force unit of one mass unit times one length unit per time unit
 * squared) unless inconsistent sets were allowed.
 */
#ifndef ZEL_CLI_UNITS_H
#define ZEL_CLI_UNITS_H

enum { UNIT_NAME_SIZE = 16 };

typedef struct UnitSet {
  char names[4][UNIT_NAME_SIZE]; /* the library's names: mass, length, time, force */
} UnitSet;

/* 1 and the set; else 0 with the reason, one line without a line feed,
 * in `reason` (of `size` bytes). */
int read_unit_set(const char *text, int allow_inconsistent, UnitSet *set, char *reason, int size);

#endif /* ZEL_CLI_UNITS_H */
