/*
 * compare.c - `zel compare`: the library's block-by-block comparison of two
 * bodies.
 */
#include "commands.h"
#include "messages.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct CompareOptions {
  const char *paths[2]; /* NEW, BASE */
  int path_count;
  double tolerance;
  int verbosity;
  int missing_passes;
} CompareOptions;

static int parse_verbosity(const char *text, int *verbosity) {
  char *end = NULL;
  long value;
  errno = 0;
  value = strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < -1 || value > 9) return 0;
  *verbosity = (int)value;
  return 1;
}

/* 0, or the usage error's exit status. */
static int parse_compare_options(int argc, char **argv, CompareOptions *options) {
  int i;
  for (i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--tolerance") == 0) {
      if (i + 1 == argc) return usage_error("compare", "%s", "--tolerance needs a value");
      if (!parse_tolerance(argv[++i], &options->tolerance))
        return usage_error("compare", "'%s' is not a tolerance (a number of at least 0)", argv[i]);
    } else if (strcmp(argv[i], "--verbose") == 0) {
      if (i + 1 == argc) return usage_error("compare", "%s", "--verbose needs a level");
      if (!parse_verbosity(argv[++i], &options->verbosity))
        return usage_error("compare", "'%s' is not a verbosity (-1 to 9)", argv[i]);
    } else if (strcmp(argv[i], "--missing-passes") == 0) {
      options->missing_passes = 1;
    } else if (take_message_option(argv[i])) {
      continue;
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      return usage_error("compare", "unknown option '%s'", argv[i]);
    } else if (options->path_count < 2) {
      options->paths[options->path_count++] = argv[i];
    } else {
      return usage_error("compare", "unexpected argument '%s'", argv[i]);
    }
  }
  if (options->path_count < 2) return usage_error("compare", "%s", "needs NEW and BASE");
  return 0;
}

static int run_compare(int argc, char **argv) {
  CompareOptions options;
  Database *candidate, *base;
  int usage, result;
  memset(&options, 0, sizeof options);
  options.tolerance = 1e-4;
  options.verbosity = 1;
  usage = parse_compare_options(argc, argv, &options);
  if (usage != 0) return usage;
  candidate = open_body("compare", options.paths[0]);
  base = candidate != NULL ? open_body("compare", options.paths[1]) : NULL;
  if (base == NULL) {
    ZEL_Terminate();
    return EXIT_USAGE;
  }
  mode = options.missing_passes;
  result = ZEL_Compare(base, candidate, options.verbosity, options.tolerance);
  ZEL_Terminate();
  if (result == ZEL_COMPARE_STOPPED) return output_status("compare", EXIT_USAGE);
  return output_status("compare", result >= 0 ? EXIT_AGREES : EXIT_DISAGREES);
}

const Command compare_command = {"compare", "compare NEW BASE [--tolerance T] [--verbose N] [--missing-passes]",
    "Compares the body in NEW with the one in BASE, block by block, and prints\n"
    "one line per check. Other units, renumbered or reordered nodes and a\n"
    "subset of the base's nodes in NEW are allowed.\n"
    "\n"
    "  --tolerance T      largest relative difference accepted (default 1e-4)\n"
    "  --verbose N        -1 nothing, 0 failures, 1 also warnings, notes and the\n"
    "                     verdict (default), 2 also every pass\n"
    "  --missing-passes   a block that either file lacks passes with a note\n"
    "\n"
    "Exit status: 0 equivalent, 1 not equivalent, 2 usage, read or output\n"
    "error, or a comparison that had to stop (a line ending in \"(Exit)\").\n",
    run_compare};
