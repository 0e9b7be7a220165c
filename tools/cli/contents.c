/*
 * contents.c - `zel contents`: the library's contents report, block by block.
 */
#include "commands.h"
#include "messages.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>


/* The blocks that print every value of every mode: left out unless asked
 * for, so that a look at a large file reads no mode data. */
static int prints_mode_data(int id) { return id == 8 || id == 18 || id == 29; }

static int parse_block_id(const char *text, int *id) {
  char *end = NULL;
  long value;
  errno = 0;
  value = strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < 1 || value > BLOCK_COUNT) return 0;
  *id = (int)value;
  return 1;
}

/* A report printed whole: the body released, the output's status. */
static int release_and_finish(const char *command, Database *db) {
  ZEL_UnLink(db);
  return output_status(command, EXIT_AGREES);
}

static int run_contents(int argc, char **argv) {
  int all = 0, chosen[BLOCK_COUNT + 1] = {0}, any_chosen = 0, id, i;
  const char *path = NULL;
  Database *db;
  for (i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--all") == 0)
      all = 1;
    else if (take_message_option(argv[i]))
      continue;
    else if (argv[i][0] == '-' && argv[i][1] != '\0')
      return usage_error("contents", "unknown option '%s'", argv[i]);
    else if (path == NULL)
      path = argv[i];
    else if (parse_block_id(argv[i], &id))
      chosen[id] = any_chosen = 1;
    else
      return usage_error("contents", "'%s' is not a block id (1 to 32)", argv[i]);
  }
  if (path == NULL) return usage_error("contents", "%s", "missing FILE");
  db = open_body("contents", path);
  if (db == NULL) return EXIT_USAGE;
  for (id = 1; id <= BLOCK_COUNT; ++id)
    if (any_chosen ? chosen[id] : (all || !prints_mode_data(id))) ZEL_Contents(db, id, stdout);
  return release_and_finish("contents", db);
}

const Command contents_command = {"contents", "contents [--all] FILE [ID...]",
    "Prints the contents report of FILE, block by block.\n"
    "\n"
    "  ID...   only these blocks (1 to 32), in ascending order\n"
    "  --all   every block; without it the mode shapes, modal stresses and\n"
    "          modal strains (blocks 8, 18, 29) are left out, so that a look\n"
    "          at a large file reads no mode data\n"
    "\n"
    "Exit status: 0 printed, 2 usage, read or output error.\n",
    run_contents};

/* ------------------------------------------------------------------ */
/* info: one screen about the body                                     */
/* ------------------------------------------------------------------ */

static const char *const kBlockNames[BLOCK_COUNT] = {
    "version_code",      "header",           "content_summary",           "nodal_coords",    "element_topology",
    "global_body_props", "eigenvalues",      "mode_shapes",               "nodal_masses",    "nodal_inertias",
    "units",             "generalized_stiff", "generalized_mass",         "element_faces",   "generalized_damping",
    "mode_shape_transformation", "interface_nodes", "modal_stress",       "invar1",          "invar2",
    "invar3",            "invar4",           "invar5",                    "invar7",          "invar8",
    "invar9",            "preload",          "modal_loads",               "modal_strain",    "modal_statistics",
    "pre_stress",        "pre_strain"};

enum { FREQUENCIES_PER_LINE = 4, FIELD = 17 };

/* The level byte of the version code trails in the platform-independent
 * (XDR) order and leads in the machine's (little-endian) order. The library
 * gives the level only, so the file's first bytes tell the encoding. */
static const char *encoding_of(const char *path, int level) {
  unsigned char code[4];
  FILE *file = fopen(path, "rb");
  const int read = file != NULL && fread(code, 1, sizeof code, file) == sizeof code;
  if (file != NULL) fclose(file);
  if (!read) return "unknown encoding";
  return code[3] == level ? "XDR" : "native";
}

static void print_field(const char *label, const char *value) { printf("%-*s%s\n", FIELD, label, value); }

static void print_header(Database *db, const char *path) {
  char title[128], date[32], input[128], type[16], line[200];
  const int level = ZEL_Version(db);
  ZEL_Header(db, title, date, input, type, NULL, NULL, NULL);
  print_field("File:", path);
  print_field("Title:", title);
  print_field("Date:", date);
  snprintf(line, sizeof line, "%s%s%s%s", input, type[0] != '\0' ? " (" : "", type, type[0] != '\0' ? ")" : "");
  print_field("From:", line);
  snprintf(line, sizeof line, "level %.1f, %s, %s precision", level * 0.1, encoding_of(path, level),
           ZEL_Double_Prec(db) ? "double" : "single");
  print_field("Format:", line);
}

static void print_counts(Database *db) {
  char mass[16], length[16], time[16], force[16];
  int faces = 0, face_list = 0, interface_count = 0;
  int *interface_nodes = ZEL_InterfaceNodes(db, &interface_count);
  ZEL_FreeMemory(interface_nodes);
  ZEL_FaceListSize(db, &faces, &face_list);
  ZEL_Units(db, mass, length, time, force);
  printf("%-*smass %s, length %s, time %s, force %s\n", FIELD, "Units:", mass, length, time, force);
  printf("%-*s%d (with mode shapes %d, stresses %d, strains %d)\n", FIELD, "Nodes:", ZEL_NodeCount(db),
         ZEL_ModeNodeCount(db, 0), ZEL_ModeNodeCount(db, 1), ZEL_ModeNodeCount(db, 2));
  printf("%-*s%d\n", FIELD, "Interface nodes:", interface_count);
  printf("%-*s%d\n", FIELD, "Faces:", faces);
  printf("%-*s%d\n", FIELD, "Modes:", ZEL_ModeCount(db));
}

/* Four to a line, each "number: frequency" in a column of its own. */
static void print_frequencies(Database *db) {
  const int modes = ZEL_ModeCount(db);
  char line[FREQUENCIES_PER_LINE * 32];
  size_t used = 0;
  int m;
  if (modes == 0) return;
  printf("Frequencies (Hz):\n");
  for (m = 0; m < modes; ++m) {
    const int number = ZEL_ModeNumber(db, m);
    double frequency = 0.0;
    char value[24] = "-";
    if (ZEL_Eigenvalue(db, number, NULL, &frequency, NULL, NULL, NULL)) snprintf(value, sizeof value, "%g", frequency);
    used += (size_t)snprintf(line + used, sizeof line - used, "%5d: %-12s", number, value);
    if ((m + 1) % FREQUENCIES_PER_LINE == 0 || m + 1 == modes) {
      while (used > 0 && line[used - 1] == ' ') --used;
      printf("%.*s\n", (int)used, line);
      used = 0;
    }
  }
}

/* The inertia as the query gives it: about the origin, with the products
 * as +sum m x y (the contents report's convention). */
static void print_mass_properties(Database *db) {
  double mass = 0.0, inertia[9], centre[3], nodal_mass = 0.0, body_mass = 0.0;
  ZEL_TotalMassInertia(db, &mass, inertia, centre);
  printf("%-*s%g\n", FIELD, "Mass:", mass);
  printf("%-*s%g %g %g\n", FIELD, "Centre of mass:", centre[0], centre[1], centre[2]);
  printf("%-*sIxx %g, Iyy %g, Izz %g about the origin\n", FIELD, "Inertia:", inertia[0], inertia[4], inertia[8]);
  printf("%-*sIxy %g, Ixz %g, Iyz %g (sums of +m x y)\n", FIELD, "", inertia[1], inertia[2], inertia[5]);
  if (node_set_reduced(db, 1e-6, &nodal_mass, &body_mass))
    printf("%-*sreduced when written: the nodal masses sum to %g of the body's %g\n", FIELD, "Node set:", nodal_mass,
           body_mass);
  else
    print_field("Node set:", "complete");
}

static void print_blocks(Database *db) {
  int b;
  printf("Blocks present (bytes):\n");
  for (b = 0; b < BLOCK_COUNT; ++b)
    if (ZEL_Exists(db, b)) printf("%5d %-26s %llu\n", b + 1, kBlockNames[b], ZEL_size_of_block(db, b));
}

static int run_info(int argc, char **argv) {
  const char *path = NULL;
  Database *db;
  int i;
  for (i = 0; i < argc; ++i) {
    if (take_message_option(argv[i])) continue;
    if (argv[i][0] == '-' && argv[i][1] != '\0') return usage_error("info", "unknown option '%s'", argv[i]);
    if (path != NULL) return usage_error("info", "unexpected argument '%s'", argv[i]);
    path = argv[i];
  }
  if (path == NULL) return usage_error("info", "%s", "missing FILE");
  db = open_body("info", path);
  if (db == NULL) return EXIT_USAGE;
  print_header(db, path);
  print_counts(db);
  print_mass_properties(db);
  print_frequencies(db);
  print_blocks(db);
  return release_and_finish("info", db);
}

const Command info_command = {"info", "info FILE",
    "Prints a summary of FILE on one screen: title, format level and\n"
    "encoding, units, counts, mass, centre of mass and inertia, whether the\n"
    "node set was reduced when the file was written (the nodal masses then\n"
    "sum to less than the body's mass), the frequencies and the blocks\n"
    "present with their sizes. Reads no mode data; 'zel contents' gives the\n"
    "complete report.\n"
    "\n"
    "Exit status: 0 printed, 2 usage, read or output error.\n",
    run_info};
