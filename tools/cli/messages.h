/*
 * messages.h - where the library's messages and the program's progress go.
 *
 * Errors always reach standard error, warnings unless -q was given,
 * information only with -v (on standard error: standard output carries the
 * results). Progress is one self-updating line on standard error, shown only
 * when standard error is a terminal, and ended with a line feed before any
 * other output and at exit.
 */
#ifndef ZEL_CLI_MESSAGES_H
#define ZEL_CLI_MESSAGES_H

enum Verbosity { VERBOSITY_QUIET = 0, VERBOSITY_NORMAL = 1, VERBOSITY_VERBOSE = 2 };

/* Routes the library's messages through the program, naming it "zel
 * COMMAND" on progress lines. Called once, before the command runs. */
void route_messages(const char *command);

void set_verbosity(enum Verbosity verbosity);
enum Verbosity verbosity(void);

/* -q/--quiet or -v: sets the verbosity and gives 1; else 0. */
int take_message_option(const char *arg);

/* Shows `line` as the progress line (when standard error is a terminal). */
void show_progress(const char *line);
/* Ends an open progress line with a line feed; nothing when none is open. */
void end_progress(void);

/* While collecting, the library's errors are kept instead of printed:
 * after a failure the first names the cause and the others are its
 * consequences. stop_collecting_errors gives them, each line ending in a
 * line feed ("" when none), until the next start; print_kept_errors prints
 * them as the library would. */
void start_collecting_errors(void);
const char *stop_collecting_errors(void);
void print_kept_errors(void);

#endif /* ZEL_CLI_MESSAGES_H */
