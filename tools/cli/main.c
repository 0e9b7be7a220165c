/*
 * zel - look into ZEL files from a shell or a CI script.
 *
 *   zel contents [--all] FILE [ID...]   the contents report
 *   zel info FILE                       a summary on one screen
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
#include "messages.h"

static const Command *const kCommands[] = {
    &contents_command, &info_command, &check_command, &compare_command,
    &plot_command,     &vtk_command,  &from_ccx_command, &mac_command,
};

enum { COMMAND_COUNT = sizeof kCommands / sizeof kCommands[0] };

static void print_help(void) {
  size_t c;
  printf("Usage: zel [-q|-v] COMMAND [ARGS...]\n\nLooks into ZEL flexible-body files.\n\nCommands:\n");
  for (c = 0; c < COMMAND_COUNT; ++c) printf("  zel %s\n", kCommands[c]->synopsis);
  printf("\nOptions:\n"
         "  -q, --quiet     errors only: no warnings\n"
         "  -v, --verbose   also the library's information lines (on standard error)\n"
         "  --help          this text; 'zel COMMAND --help' explains a command\n"
         "  --version       the program's version\n"
         "\n"
         "Errors and warnings go to standard error; progress too, as one line,\n"
         "when it is a terminal. -q and -v may also follow COMMAND.\n");
}

static void print_command_help(const Command *command) {
  printf("Usage: zel %s\n\n%s", command->synopsis, command->help);
}

/* The program's own options before COMMAND: -q/--quiet, -v/--verbose. The
 * index of COMMAND. */
static int take_program_options(int argc, char **argv) {
  int i = 1;
  for (; i < argc; ++i) {
    if (strcmp(argv[i], "--verbose") == 0)
      set_verbosity(VERBOSITY_VERBOSE);
    else if (!take_message_option(argv[i]))
      break;
  }
  return i;
}

int main(int argc, char **argv) {
  size_t c;
  int first, i;
  remove_pending_outputs_on_interruption();
  first = take_program_options(argc, argv);
  if (first == argc) return usage_error("", "%s", "missing COMMAND");
  if (is_help(argv[first])) {
    print_help();
    return EXIT_AGREES;
  }
  if (strcmp(argv[first], "--version") == 0) {
    printf("zel %s\n", ZEL_PROGRAM_VERSION);
    return EXIT_AGREES;
  }
  for (c = 0; c < COMMAND_COUNT; ++c) {
    if (strcmp(argv[first], kCommands[c]->name) != 0) continue;
    for (i = first + 1; i < argc && kCommands[c]->help != NULL; ++i)
      if (is_help(argv[i])) {
        print_command_help(kCommands[c]);
        return EXIT_AGREES;
      }
    route_messages(kCommands[c]->name);
    return kCommands[c]->run(argc - first - 1, argv + first + 1);
  }
  return usage_error("", "unknown command '%s'", argv[first]);
}
