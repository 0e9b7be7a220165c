/*
 * common.c - usage errors, opening a body's file, the output's status.
 */
#define _POSIX_C_SOURCE 200809L /* O_CLOEXEC */

#include "common.h"

#include "messages.h"

#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

int usage_error(const char *command, const char *format, const char *what) {
  fprintf(stderr, "zel%s%s: ", command[0] != '\0' ? " " : "", command);
  fprintf(stderr, format, what);
  fprintf(stderr, "\nTry 'zel %s%s--help'.\n", command, command[0] != '\0' ? " " : "");
  return EXIT_USAGE;
}

int is_help(const char *arg) { return strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0; }

/* The reason a path cannot be a body's file, as the system words it (a
 * missing file, no permission, a folder), or 0. Opened without blocking, so
 * a pipe or a device is refused instead of waited on. */
static int unreadable_reason(const char *path) {
  struct stat status;
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  int reason = fd < 0 ? errno : 0;
  if (fd >= 0) {
    if (fstat(fd, &status) != 0)
      reason = errno;
    else if (S_ISDIR(status.st_mode))
      reason = EISDIR;
    else if (!S_ISREG(status.st_mode))
      reason = EINVAL;
    close(fd);
  }
  return reason;
}

Database *open_body(const char *command, const char *path) {
  const int reason = unreadable_reason(path);
  const char *errors;
  Database *db;
  if (reason == EINVAL) {
    fprintf(stderr, "zel: %s: not a regular file\n", path);
    return NULL;
  }
  if (reason != 0) {
    fprintf(stderr, "zel: %s: %s\n", path, strerror(reason));
    return NULL;
  }
  start_collecting_errors();
  db = ZEL_CreateFromZEL(path);
  errors = stop_collecting_errors();
  if (db != NULL || verbosity() == VERBOSITY_VERBOSE) print_kept_errors();
  if (db != NULL) return db;
  /* The first error is the cause; the rest follow from it. */
  if (errors[0] != '\0')
    fprintf(stderr, "zel: %s: %.*s\n", path, (int)strcspn(errors, "\n"), errors);
  else
    fprintf(stderr, "zel %s: cannot read %s\n", command, path);
  return db;
}

/* The command's exit status, or the output error's when what it printed
 * did not all reach standard output (a full disk, a closed pipe): a
 * report cut short must not pass for a whole one. */
int output_status(const char *command, int status) {
  const int flush_failed = fflush(stdout) != 0;
  const int reason = errno;
  if (!flush_failed && !ferror(stdout)) return status;
  if (flush_failed)
    fprintf(stderr, "zel %s: cannot write the output: %s\n", command, strerror(reason));
  else
    fprintf(stderr, "zel %s: cannot write the output\n", command);
  return EXIT_USAGE;
}

int parse_tolerance(const char *text, double *tolerance) {
  char *end = NULL;
  double value;
  errno = 0;
  value = strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !(value >= 0.0) || !isfinite(value)) return 0;
  *tolerance = value;
  return 1;
}


int node_set_reduced(Database *db, double tolerance, double *nodal_mass, double *body_mass) {
  const int nodes = ZEL_NodeCount(db);
  int n;
  *nodal_mass = 0.0;
  *body_mass = ZEL_Invar1(db);
  for (n = 0; n < nodes; ++n) *nodal_mass += ZEL_NodalMass(db, n);
  return ZEL_Exists(db, 8) && *nodal_mass < *body_mass * (1.0 - tolerance);
}
