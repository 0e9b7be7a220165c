/*
 * contents.c - `zel contents`: the library's contents report, block by block.
 */
#include "commands.h"

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

static int run_contents(int argc, char **argv) {
  int all = 0, chosen[BLOCK_COUNT + 1] = {0}, any_chosen = 0, id, i;
  const char *path = NULL;
  Database *db;
  for (i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--all") == 0)
      all = 1;
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
  ZEL_UnLink(db);
  return output_status("contents", EXIT_AGREES);
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
