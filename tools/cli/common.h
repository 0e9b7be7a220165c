/*
 * common.h - what every command of the `zel` program shares: the exit
 * statuses, the command table's entry, usage errors, opening a body's file
 * and the check that the output reached its destination.
 */
#ifndef ZEL_CLI_COMMON_H
#define ZEL_CLI_COMMON_H

#include "zel.h"

#define EXIT_AGREES 0
#define EXIT_DISAGREES 1
#define EXIT_USAGE 2
#define EXIT_NOTHING_COMPARED 3

#define BLOCK_COUNT 32

typedef struct Command {
  const char *name;
  const char *synopsis;
  const char *help; /* NULL: the command answers --help itself */
  int (*run)(int argc, char **argv);
} Command;

/* Prints "zel COMMAND: <format with what>" and the hint to the command's
 * help on standard error; returns EXIT_USAGE. */
int usage_error(const char *command, const char *format, const char *what);

int is_help(const char *arg);

/* The body in the file at path, or NULL after a one-line message naming the
 * path and the reason. */
Database *open_body(const char *command, const char *path);

/* The command's exit status, or EXIT_USAGE after a message when what it
 * printed did not all reach standard output. */
int output_status(const char *command, int status);

/* A relative tolerance: a finite number of at least 0. 1 when text is one. */
int parse_tolerance(const char *text, double *tolerance);

/* A writer that computes the inertia invariants keeps only the nodes that
 * draw and hold the body: the file's own mass (its invariant 1) then
 * exceeds what the nodes carry by more than the relative tolerance. 1 when
 * so (0 without nodal masses), with both masses. */
int node_set_reduced(Database *db, double tolerance, double *nodal_mass, double *body_mass);

#endif /* ZEL_CLI_COMMON_H */
