/*
 * zel - look into ZEL files from a shell or a CI script.
 *
 *   zel contents [--all] FILE [ID...]   the contents report
 *   zel check [--tolerance T] FILE      the integrity check
 *   zel compare NEW BASE [...]          the block-by-block comparison
 *   zel plot FILE --mode N -o OUT       a picture of a mode shape (Python)
 *   zel vtk FILE OUT.vtu [--modes L]    the body for ParaView (Python)
 *   zel from-ccx JOB [...]              a body from a solver's modal analysis
 *
 * Results go to standard output, messages to standard error. Exit status:
 * 0 success (check: at least one comparison ran and everything agrees),
 * 1 a check that disagrees, 2 a usage, read or output error (or a
 * comparison that had to stop), 3 check: nothing could be compared. Built
 * on the public C interface only; each command family has its own file.
 */
#include <stdio.h>
#include <string.h>

#include "commands.h"
#include "interruption.h"

static const Command *const kCommands[] = {
    &contents_command, &check_command, &compare_command, &plot_command, &vtk_command, &from_ccx_command,
};

enum { COMMAND_COUNT = sizeof kCommands / sizeof kCommands[0] };

static void print_help(void) {
  size_t c;
  printf("Usage: zel COMMAND [ARGS...]\n\nLooks into ZEL flexible-body files.\n\nCommands:\n");
  for (c = 0; c < COMMAND_COUNT; ++c) printf("  zel %s\n", kCommands[c]->synopsis);
  printf("\nOptions:\n  --help      this text; 'zel COMMAND --help' explains a command\n"
         "  --version   the program's version\n");
}

static void print_command_help(const Command *command) {
  printf("Usage: zel %s\n\n%s", command->synopsis, command->help);
}

int main(int argc, char **argv) {
  size_t c;
  int i;
  remove_pending_outputs_on_interruption();
  if (argc < 2) return usage_error("", "%s", "missing COMMAND");
  if (is_help(argv[1])) {
    print_help();
    return EXIT_AGREES;
  }
  if (strcmp(argv[1], "--version") == 0) {
    printf("zel %s\n", ZEL_PROGRAM_VERSION);
    return EXIT_AGREES;
  }
  for (c = 0; c < COMMAND_COUNT; ++c) {
    if (strcmp(argv[1], kCommands[c]->name) != 0) continue;
    for (i = 2; i < argc; ++i)
      if (is_help(argv[i])) {
        print_command_help(kCommands[c]);
        return EXIT_AGREES;
      }
    return kCommands[c]->run(argc - 2, argv + 2);
  }
  return usage_error("", "unknown command '%s'", argv[1]);
}
