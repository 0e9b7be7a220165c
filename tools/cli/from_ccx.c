/*
 * from_ccx.c - `zel from-ccx`: the translator in tools/ccx behind the
 * program's command table.
 */
#define _POSIX_C_SOURCE 200809L /* stat, access */

#include "commands.h"
#include "from_ccx.h"
#include "messages.h"
#include "units.h"

#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

/* Options of the translator that take a value: their values are not read
 * as options here. */
static int takes_value(const char *arg) {
  return strcmp(arg, "-o") == 0 || strcmp(arg, "--interface") == 0 || strcmp(arg, "--options") == 0;
}

/* Why the output cannot be written (a folder, a folder that is missing or
 * not writable), as the system words it, or 0: said before the
 * translation rather than after it. */
static int output_refusal(const char *path) {
  struct stat status;
  char folder[4096];
  const char *slash = strrchr(path, '/');
  if (stat(path, &status) == 0 && S_ISDIR(status.st_mode)) return EISDIR;
  if (slash == NULL)
    snprintf(folder, sizeof folder, ".");
  else
    snprintf(folder, sizeof folder, "%.*s", slash == path ? 1 : (int)(slash - path), path);
  return access(folder, W_OK) == 0 ? 0 : errno;
}

static void print_units(const UnitSet *set) {
  char names[4][UNIT_NAME_SIZE];
  int q, k;
  for (q = 0; q < 4; ++q)
    for (k = 0; k < UNIT_NAME_SIZE; ++k) names[q][k] = (char)tolower((unsigned char)set->names[q][k]);
  end_progress();
  fprintf(stderr, "zel from-ccx: units: mass %s, length %s, time %s, force %s\n", names[0], names[1], names[2],
          names[3]);
}

/* The program's own options (-q, -v, --inconsistent-units) are taken out,
 * and the units are read strictly here and handed to the translator by the
 * library's names. */
static int run_from_ccx(int argc, char **argv) {
  static char units[4 * UNIT_NAME_SIZE + 4];
  const char *units_text = NULL, *output = NULL;
  int kept = 0, units_at = -1, allow_inconsistent = 0, refusal, i;
  UnitSet set;
  char reason[600];
  for (i = 0; i < argc; ++i) {
    if (take_message_option(argv[i])) continue;
    if (strcmp(argv[i], "--inconsistent-units") == 0) {
      allow_inconsistent = 1;
      continue;
    }
    if (strcmp(argv[i], "--units") == 0 && i + 1 < argc) {
      units_at = kept + 1;
      units_text = argv[i + 1];
    }
    if (strcmp(argv[i], "-o") == 0 && i + 1 < argc) output = argv[i + 1];
    argv[kept++] = argv[i];
    if ((takes_value(argv[i]) || strcmp(argv[i], "--units") == 0) && i + 1 < argc) argv[kept++] = argv[++i];
  }
  refusal = output != NULL ? output_refusal(output) : 0;
  if (refusal != 0) {
    fprintf(stderr, "zel: %s: %s\n", output, strerror(refusal));
    return EXIT_USAGE;
  }
  if (units_text != NULL) {
    if (!read_unit_set(units_text, allow_inconsistent, &set, reason, (int)sizeof reason))
      return usage_error("from-ccx", "%s", reason);
    snprintf(units, sizeof units, "%s,%s,%s,%s", set.names[0], set.names[1], set.names[2], set.names[3]);
    argv[units_at] = units;
    if (verbosity() != VERBOSITY_QUIET) print_units(&set);
  }
  return zel_from_ccx(kept, argv);
}

const Command from_ccx_command = {"from-ccx",
    "from-ccx JOB [-o FILE] [--interface NSET] [--units M,L,T,F] [--options TEXT]\n"
    "       zel from-ccx JOB --craig-bampton --attach NSET[:rigid|:distributing] [--modes N] [--keep]\n"
    "                    [--lumped-mass] [...]",
    "Makes a ZEL file from a CalculiX modal analysis (a *FREQUENCY step): the\n"
    "mesh, node sets and densities of JOB.inp, the mode shapes (and modal\n"
    "stresses and strains when written) of JOB.frd, the eigenvalues of JOB.dat.\n"
    "Shear strains are stored as engineering strains, twice the solver's\n"
    "tensor components.\n"
    "Solid elements C3D4, C3D10, C3D6, C3D15, C3D8, C3D8R, C3D8I, C3D20 and\n"
    "C3D20R; their skin faces are kept for drawing. Shells S3, S4, S4R, S6, S8\n"
    "and S8R (drawn as faces) and beams B31, B31R, B32 and B32R (drawn as\n"
    "segments), whose nodes get rotations fitted to the solver's expanded\n"
    "solution (results written with *NODE FILE, OUTPUT=3D, the default).\n"
    "Nodal masses integrate the consistent mass matrix and lump it by row sums\n"
    "for linear elements and by scaling its diagonal to the element mass (HRZ)\n"
    "for quadratic ones. The writer orthonormalizes the modes to these lumped\n"
    "masses.\n"
    "\n"
    "  -o FILE            the ZEL file (default JOB.zel)\n"
    "  --interface NSET   the nodes of node set NSET are interface nodes\n"
    "                     (repeatable)\n"
    "  --units M,L,T,F    the units the model was made in: mass, length, time,\n"
    "                     force (default kg,m,s,N), by name (tonne, millimeter)\n"
    "                     or symbol (t, mm, s, N); Mg, mg, MN and mN, whose\n"
    "                     meaning depends on case, are refused. The units\n"
    "                     understood are printed.\n"
    "  --inconsistent-units  accept units whose force unit is not the mass unit\n"
    "                     times the length unit per time unit squared (t,mm,s,N\n"
    "                     and kg,m,s,N are consistent; kg,mm,s,N is not)\n"
    "  --options TEXT     the writer's options, instead of KOR_ZELWRITE_OPTIONS;\n"
    "                     without either, full_invar (the inertia invariants,\n"
    "                     then only the nodes that draw and hold the body)\n"
    "\n"
    "With --craig-bampton the command runs ccx (found on PATH) on decks made\n"
    "from the model data of JOB.inp and writes a body of component modes: the\n"
    "normal modes with the attachment points held and one static constraint\n"
    "mode per attachment degree of freedom, their generalized stiffness and\n"
    "mass reduced with the solver's stiffness and consistent mass matrices and\n"
    "orthonormalized by the writer. Nodal masses stay lumped.\n"
    "  --attach NSET[:K]  node set NSET is an attachment point: a reference node\n"
    "                     at its centroid (an interface node with translations\n"
    "                     and rotations) tied to the set by a rigid (default) or\n"
    "                     distributing coupling; a set of one node is its own\n"
    "                     attachment point (repeatable)\n"
    "  --modes N          normal modes with the attachment points held (default 10)\n"
    "  --keep             leave the decks and the solver's files in JOB.runs/\n"
    "  --lumped-mass      reduce the mass with the lumped nodal masses instead of\n"
    "                     the consistent matrix: modes orthonormal to the masses\n"
    "                     the file holds, as zel check weighs them\n"
    "\n"
    "Exit status: 0 written, 2 usage error or a file that cannot be read or\n"
    "translated.\n",
    run_from_ccx};
