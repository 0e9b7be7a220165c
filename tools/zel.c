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
 * on the public C interface only.
 */
#define _GNU_SOURCE /* dladdr */

#include <dlfcn.h>

#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "from_ccx.h"
#include "zel.h"

#define EXIT_AGREES 0
#define EXIT_DISAGREES 1
#define EXIT_USAGE 2
#define EXIT_NOTHING_COMPARED 3

#define BLOCK_COUNT 32

typedef struct Command {
  const char *name;
  const char *synopsis;
  const char *help;
  int (*run)(int argc, char **argv);
} Command;

static int usage_error(const char *command, const char *format, const char *what) {
  fprintf(stderr, "zel%s%s: ", command[0] != '\0' ? " " : "", command);
  fprintf(stderr, format, what);
  fprintf(stderr, "\nTry 'zel %s%s--help'.\n", command, command[0] != '\0' ? " " : "");
  return EXIT_USAGE;
}

static int is_help(const char *arg) { return strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0; }

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

static Database *open_body(const char *command, const char *path) {
  const int reason = unreadable_reason(path);
  Database *db;
  if (reason == EINVAL) {
    fprintf(stderr, "zel: %s: not a regular file\n", path);
    return NULL;
  }
  if (reason != 0) {
    fprintf(stderr, "zel: %s: %s\n", path, strerror(reason));
    return NULL;
  }
  db = ZEL_CreateFromZEL(path);
  if (db == NULL) fprintf(stderr, "zel %s: cannot read %s\n", command, path);
  return db;
}

/* The command's exit status, or the output error's when what it printed
 * did not all reach standard output (a full disk, a closed pipe): a
 * report cut short must not pass for a whole one. */
static int output_status(const char *command, int status) {
  const int flush_failed = fflush(stdout) != 0;
  const int reason = errno;
  if (!flush_failed && !ferror(stdout)) return status;
  if (flush_failed)
    fprintf(stderr, "zel %s: cannot write the output: %s\n", command, strerror(reason));
  else
    fprintf(stderr, "zel %s: cannot write the output\n", command);
  return EXIT_USAGE;
}

/* ------------------------------------------------------------------ */
/* contents                                                            */
/* ------------------------------------------------------------------ */

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

/* ------------------------------------------------------------------ */
/* check                                                               */
/* ------------------------------------------------------------------ */

typedef struct Check {
  Database *db;
  double tolerance;
  int modes;
  int comparisons; /* comparisons that ran */
  int disagreements;
  double nodal_mass; /* the sum of the nodal masses */
  double body_mass;  /* the file's own figure, its invariant 1 */
  int reduced;       /* the node set was reduced when the file was written */
  int progress; /* standard error is a terminal */
} Check;

static void show_progress(const Check *check, const char *what, int done, int total) {
  if (check->progress) fprintf(stderr, "\rzel check: %s %d of %d   ", what, done, total);
}

static void end_progress(const Check *check) {
  if (check->progress) fprintf(stderr, "\r%60s\r", "");
}

static void disagree(Check *check) { ++check->disagreements; }

static const char *const kSetNames[3] = {"mode shape", "modal stress", "modal strain"};
static const char *const kPreValueNames[3] = {"", "pre-stress", "pre-strain"};

static size_t count_not_finite(const double *values, size_t count) {
  size_t bad = 0, k;
  for (k = 0; k < count; ++k)
    if (!isfinite(values[k])) ++bad;
  return bad;
}

/* Reads one mode (both halves of each node's six values) of a set. 0 when
 * it cannot be read; a non-finite value is a disagreement. */
static int read_mode(Check *check, int number, int set, double *values, size_t count, const char *name) {
  size_t bad;
  if (!ZEL_Mode(check->db, number, set, values, 0)) return 0;
  bad = count_not_finite(values, count);
  if (!ZEL_Mode(check->db, number, set, values, 1)) return 0;
  bad += count_not_finite(values, count);
  if (bad > 0) {
    if (number == 0 && set != 0)
      printf("%s: %lu values not finite\n", name, (unsigned long)bad);
    else
      printf("%s %d: %lu values not finite\n", name, number, (unsigned long)bad);
    disagree(check);
  }
  return 1;
}

static int read_every_mode(Check *check) {
  int set, m, ok = 1;
  for (set = 0; set < 3 && ok; ++set) {
    const int has_pre_values = set != 0 && ZEL_Exists(check->db, set == 1 ? 30 : 31);
    const int has_modes = ZEL_ModeExist(check->db, set);
    const size_t count = 3 * (size_t)ZEL_ModeNodeCount(check->db, set);
    double *values;
    if (!has_pre_values && !has_modes) continue;
    values = malloc((count > 0 ? count : 1) * sizeof *values);
    if (values == NULL) return 0;
    if (has_pre_values) ok = read_mode(check, 0, set, values, count, kPreValueNames[set]);
    for (m = 0; ok && has_modes && m < check->modes; ++m) {
      show_progress(check, kSetNames[set], m + 1, check->modes);
      ok = read_mode(check, ZEL_ModeNumber(check->db, m), set, values, count, kSetNames[set]);
    }
    free(values);
  }
  end_progress(check);
  return ok;
}

/* Every present block must be complete, and the blocks read on demand
 * must read whole. */
static int read_every_block(Check *check) {
  int b;
  for (b = 3; b < BLOCK_COUNT; ++b)
    if (ZEL_Exists(check->db, b) && ZEL_size_of_block(check->db, b) == 0) return 0;
  return ZEL_ReadGeneralizedStiffness(check->db) && ZEL_ReadGeneralizedMass(check->db) &&
         ZEL_ReadGeneralizedDamping(check->db) && read_every_mode(check);
}

/* One invariant as one array of values, and how its entries map to modes. */
typedef struct Invariant {
  int number;      /* 1..9 */
  int block_index; /* of its block */
  size_t count;
  double *values;
} Invariant;

enum { INVARIANT_COUNT = 8 };
static const int kInvariantNumbers[INVARIANT_COUNT] = {1, 2, 3, 4, 5, 7, 8, 9};

static size_t invariant_size(int number, size_t m) {
  switch (number) {
    case 1: return 1;
    case 2: return 3;
    case 3: case 4: return 3 * m;
    case 5: return 3 * m * m;
    case 7: return 9;
    case 8: return 9 * m;
    default: return 9 * m * m;
  }
}

/* Copies `count` values of a query's array into `to` and releases it. */
static int take(double *to, double *array, size_t count) {
  if (array == NULL) return 0;
  memcpy(to, array, count * sizeof *to);
  ZEL_FreeMemory(array);
  return 1;
}

/* The invariant as the queries give it now, laid out as its file block. */
static int query_invariant(Database *db, int number, int modes, double *to) {
  int i, j;
  size_t m = (size_t)modes;
  switch (number) {
    case 1: to[0] = ZEL_Invar1(db); return 1;
    case 2: return take(to, ZEL_Invar2(db), 3);
    case 3: return take(to, ZEL_Invar3(db), 3 * m);
    case 4: return take(to, ZEL_Invar4(db), 3 * m);
    case 5:
      for (i = 0; i < modes; ++i)
        if (!take(to + 3 * m * (size_t)i, ZEL_Invar5(db, i), 3 * m)) return 0;
      return 1;
    case 7: return take(to, ZEL_Invar7(db), 9);
    case 8:
      for (i = 0; i < modes; ++i)
        if (!take(to + 9 * (size_t)i, ZEL_Invar8(db, i), 9)) return 0;
      return 1;
    default:
      for (i = 0; i < modes; ++i)
        for (j = 0; j < modes; ++j)
          if (!take(to + 9 * ((size_t)i * m + (size_t)j), ZEL_Invar9(db, i, j), 9)) return 0;
      return 1;
  }
}

static int block_of_invariant(int number) { return number <= 5 ? 17 + number : 16 + number; }

static void describe_entry(const Check *check, int number, size_t entry) {
  size_t m = (size_t)check->modes;
  if (number == 3 || number == 4)
    printf(" at mode %d", ZEL_ModeNumber(check->db, (int)(entry % m)));
  else if (number == 5)
    printf(" at modes %d %d", ZEL_ModeNumber(check->db, (int)(entry / (3 * m))),
           ZEL_ModeNumber(check->db, (int)(entry % m)));
  else if (number == 8)
    printf(" at mode %d", ZEL_ModeNumber(check->db, (int)(entry / 9)));
  else if (number == 9)
    printf(" at modes %d %d", ZEL_ModeNumber(check->db, (int)(entry / (9 * m))),
           ZEL_ModeNumber(check->db, (int)(entry / 9 % m)));
}

/* The largest difference between two arrays, relative to the largest
 * magnitude on either side; a NaN on either side never agrees. */
typedef struct Difference {
  double largest;
  double relative;
  size_t where;
  int agrees;
} Difference;

static Difference difference_of(const double *stored, const double *computed, size_t count, double tolerance) {
  Difference d;
  double scale = 0.0;
  size_t k;
  int nan = 0;
  memset(&d, 0, sizeof d);
  for (k = 0; k < count; ++k) {
    const double difference = fabs(stored[k] - computed[k]);
    if (isnan(difference)) nan = 1;
    if (difference > d.largest) d.largest = difference, d.where = k;
    if (fabs(stored[k]) > scale) scale = fabs(stored[k]);
    if (fabs(computed[k]) > scale) scale = fabs(computed[k]);
  }
  d.relative = d.largest == 0.0 ? 0.0 : d.largest / scale;
  d.agrees = !nan && d.relative <= tolerance;
  return d;
}

/* Prints whether the file's values (`what` names them) agree with those
 * recomputed from the nodal data; 1 when they agree, else 0 with the line
 * left open for the caller to say where they differ most. */
static int report_difference(Check *check, const char *what, const Difference *d) {
  ++check->comparisons;
  if (d->agrees) {
    printf("%s: agrees\n", what);
    return 1;
  }
  printf("%s: file and nodal data differ by %.6e (relative %.6e)", what, d->largest, d->relative);
  disagree(check);
  return 0;
}

static void compare_invariant(Check *check, int number, const double *stored, const double *computed,
                              size_t count) {
  const Difference d = difference_of(stored, computed, count, check->tolerance);
  char what[32];
  snprintf(what, sizeof what, "invariant %d", number);
  if (report_difference(check, what, &d)) return;
  describe_entry(check, number, d.where);
  printf("\n");
}

/* A writer that computes the invariants keeps only the nodes that draw
 * and hold the body: the file's own mass (its invariant 1, read before
 * anything is recomputed) then exceeds what the nodes carry, and nothing
 * summed over the nodes can be recomputed. Without nodal masses there is
 * nothing to tell. */
static void note_reduced_nodes(Check *check) {
  int n;
  check->nodal_mass = 0.0;
  check->body_mass = ZEL_Invar1(check->db);
  for (n = 0; n < ZEL_NodeCount(check->db); ++n) check->nodal_mass += ZEL_NodalMass(check->db, n);
  check->reduced = ZEL_Exists(check->db, 8) && check->nodal_mass < check->body_mass * (1.0 - check->tolerance);
}

static int check_invariants(Check *check, const char *path) {
  Invariant stored[INVARIANT_COUNT];
  int k, ok = 1;
  Database *recomputed = check->db;
  size_t m = (size_t)check->modes;
  if (check->reduced) {
    printf("invariants: not compared: the nodes carry a mass of %.6e of the body's %.6e (the node set was reduced "
           "when the file was written)\n",
           check->nodal_mass, check->body_mass);
    return 1;
  }
  for (k = 0; k < INVARIANT_COUNT; ++k) {
    stored[k].number = kInvariantNumbers[k];
    stored[k].block_index = block_of_invariant(stored[k].number);
    stored[k].count = invariant_size(stored[k].number, m);
    stored[k].values = NULL;
    if (!ZEL_Exists(check->db, stored[k].block_index)) continue;
    stored[k].values = malloc((stored[k].count > 0 ? stored[k].count : 1) * sizeof(double));
    if (stored[k].values == NULL || !query_invariant(check->db, stored[k].number, check->modes, stored[k].values))
      ok = 0;
  }
  /* The file's blocks are held now: from here on the same handle computes
   * every invariant from the nodes and modes. */
  if (ok) ok = ZEL_ComputeInvariantsFromNodes(recomputed);
  for (k = 0; ok && k < INVARIANT_COUNT; ++k) {
    double *computed;
    if (stored[k].values == NULL) {
      printf("invariant %d: no block in the file\n", stored[k].number);
      continue;
    }
    show_progress(check, "computing invariant", k + 1, INVARIANT_COUNT);
    computed = malloc((stored[k].count > 0 ? stored[k].count : 1) * sizeof(double));
    ok = computed != NULL && query_invariant(recomputed, stored[k].number, check->modes, computed);
    end_progress(check);
    if (ok) compare_invariant(check, stored[k].number, stored[k].values, computed, stored[k].count);
    free(computed);
  }
  for (k = 0; k < INVARIANT_COUNT; ++k) free(stored[k].values);
  if (!ok) fprintf(stderr, "zel check: cannot compute the invariants of %s\n", path);
  return ok;
}

/* Bytes of mode data the generalized mass may hold at once: the library's
 * cap for the passes over every mode, ZEL_INVARIANT_MEMORY (MiB, default
 * 512). */
static size_t mode_memory_budget(void) {
  const size_t mib = 1024 * 1024;
  const char *text = getenv("ZEL_INVARIANT_MEMORY");
  if (text != NULL) {
    char *end = NULL;
    unsigned long long value;
    errno = 0;
    value = strtoull(text, &end, 10);
    if (errno == 0 && end != text && *end == '\0' && value > 0 && value < (1ULL << 40)) return (size_t)value * mib;
  }
  return 512 * mib;
}

/* Mode index `index` as 3n translations followed by 3n rotations. */
static int read_mode_shape(Database *db, int index, double *values, size_t positions) {
  const int number = ZEL_ModeNumber(db, index);
  return ZEL_Mode(db, number, 0, values, 0) && ZEL_Mode(db, number, 0, values + 3 * positions, 1);
}

static double dot(const double *a, const double *b, size_t count) {
  double sum = 0.0;
  size_t k;
  for (k = 0; k < count; ++k) sum += a[k] * b[k];
  return sum;
}

/* M phi of a mode read by read_mode_shape: translations times the nodal
 * mass, rotations times the nodal inertia tensor (none: no rotary term). */
static void weight_mode(Database *db, double *values, size_t positions) {
  double *rotations = values + 3 * positions;
  size_t p;
  int a;
  for (p = 0; p < positions; ++p) {
    const double mass = ZEL_NodalMass(db, (int)p);
    double inertia[9], theta[3];
    for (a = 0; a < 3; ++a) values[3 * p + (size_t)a] *= mass;
    memcpy(theta, rotations + 3 * p, sizeof theta);
    if (!ZEL_NodalInertia(db, (int)p, inertia)) memset(inertia, 0, sizeof inertia);
    for (a = 0; a < 3; ++a) rotations[3 * p + (size_t)a] = dot(inertia + 3 * a, theta, 3);
  }
}

/* Phi^T M Phi (m x m, row order) over the nodes that carry mode shapes.
 * The modes go in batches that fit the memory budget: a batch holds its
 * modes weighted (M phi_i), and every mode from the batch's first on is
 * read once against it, so memory stays at one batch plus one mode, and
 * a body that fits in one batch reads each mode once. */
static int modal_mass(Check *check, size_t positions, double *mass) {
  const size_t m = (size_t)check->modes, mode_doubles = 6 * positions;
  size_t batch = mode_memory_budget() / (mode_doubles * sizeof(double)), first, i, j;
  double *weighted, *current;
  int ok;
  if (batch < 1) batch = 1;
  if (batch > m) batch = m;
  weighted = malloc(batch * mode_doubles * sizeof *weighted);
  current = malloc(mode_doubles * sizeof *current);
  ok = weighted != NULL && current != NULL;
  for (first = 0; ok && first < m; first += batch) {
    const size_t end = first + batch < m ? first + batch : m;
    for (j = first; ok && j < m; ++j) {
      show_progress(check, "generalized mass, mode", (int)j + 1, (int)m);
      ok = read_mode_shape(check->db, (int)j, current, positions);
      if (ok && j < end) {
        memcpy(weighted + (j - first) * mode_doubles, current, mode_doubles * sizeof *current);
        weight_mode(check->db, weighted + (j - first) * mode_doubles, positions);
      }
      for (i = first; ok && i < end && i <= j; ++i)
        mass[i * m + j] = mass[j * m + i] = dot(weighted + (i - first) * mode_doubles, current, mode_doubles);
    }
  }
  end_progress(check);
  free(weighted);
  free(current);
  return ok;
}

/* The file's generalized mass (its block, else the eigenvalue records:
 * the identity for mass-orthonormal modes) against Phi^T M Phi from the
 * nodal masses and inertias. */
static int check_generalized_mass(Check *check, const char *path) {
  const size_t m = (size_t)check->modes, positions = (size_t)ZEL_ModeNodeCount(check->db, 0);
  double *stored, *computed;
  int ok;
  if (check->reduced) {
    printf("generalized mass: not compared: the node set was reduced when the file was written\n");
    return 1;
  }
  if (m == 0 || positions == 0 || !ZEL_Exists(check->db, 8)) {
    printf("generalized mass: not compared: the file holds no %s\n",
           m == 0 || positions == 0 ? "mode shapes" : "nodal masses");
    return 1;
  }
  stored = malloc(m * m * sizeof *stored);
  computed = calloc(m * m, sizeof *computed);
  ok = stored != NULL && computed != NULL;
  if (ok && !ZEL_GenMassFull(check->db, stored, (int)m)) {
    printf("generalized mass: not compared: the file holds none\n");
  } else if (ok && (ok = modal_mass(check, positions, computed))) {
    const Difference d = difference_of(stored, computed, m * m, check->tolerance);
    if (!report_difference(check, "generalized mass", &d))
      printf(" at modes %d %d\n", ZEL_ModeNumber(check->db, (int)(d.where / m)),
             ZEL_ModeNumber(check->db, (int)(d.where % m)));
  }
  free(stored);
  free(computed);
  if (!ok) fprintf(stderr, "zel check: cannot compute the generalized mass of %s\n", path);
  return ok;
}

static int parse_tolerance(const char *text, double *tolerance) {
  char *end = NULL;
  double value;
  errno = 0;
  value = strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !(value >= 0.0) || !isfinite(value)) return 0;
  *tolerance = value;
  return 1;
}

/* The verdict line and exit status of a check that read the whole file. */
static int check_verdict(const Check *check, const char *path) {
  if (check->disagreements > 0) {
    printf("%s: %d disagreement%s\n", path, check->disagreements, check->disagreements == 1 ? "" : "s");
    return EXIT_DISAGREES;
  }
  if (check->comparisons == 0) {
    printf("%s: nothing could be compared\n", path);
    return EXIT_NOTHING_COMPARED;
  }
  printf("%s: everything agrees\n", path);
  return EXIT_AGREES;
}

static int run_check(int argc, char **argv) {
  Check check;
  const char *path = NULL;
  int i, ok;
  memset(&check, 0, sizeof check);
  check.tolerance = 1e-6;
  for (i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--tolerance") == 0) {
      if (i + 1 == argc) return usage_error("check", "%s", "--tolerance needs a value");
      if (!parse_tolerance(argv[++i], &check.tolerance))
        return usage_error("check", "'%s' is not a tolerance (a number of at least 0)", argv[i]);
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      return usage_error("check", "unknown option '%s'", argv[i]);
    } else if (path == NULL) {
      path = argv[i];
    } else {
      return usage_error("check", "unexpected argument '%s'", argv[i]);
    }
  }
  if (path == NULL) return usage_error("check", "%s", "missing FILE");
  check.db = open_body("check", path);
  if (check.db == NULL) return EXIT_USAGE;
  check.modes = ZEL_ModeCount(check.db);
  check.progress = isatty(fileno(stderr));
  ok = read_every_block(&check);
  if (!ok) fprintf(stderr, "zel check: cannot read every block and mode of %s\n", path);
  if (ok) note_reduced_nodes(&check);
  ok = ok && check_invariants(&check, path) && check_generalized_mass(&check, path);
  ZEL_UnLink(check.db);
  return output_status("check", ok ? check_verdict(&check, path) : EXIT_USAGE);
}

/* ------------------------------------------------------------------ */
/* compare                                                             */
/* ------------------------------------------------------------------ */

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

/* ------------------------------------------------------------------ */
/* plot, vtk: handed to the Python package                             */
/* ------------------------------------------------------------------ */

/* Runs `$ZEL_PYTHON -m zel COMMAND ARGS...` (python3 by default) in place
 * of this program, with ZEL_LIBRARY naming the library this program runs
 * with unless it is set already. Returns only when that cannot start. */
static int run_python(const char *command, int argc, char **argv) {
  const char *python = getenv("ZEL_PYTHON");
  char **arguments = malloc(((size_t)argc + 5) * sizeof *arguments);
  Dl_info library;
  int i;
  if (python == NULL || python[0] == '\0') python = "python3";
  if (arguments == NULL) return EXIT_USAGE;
  if (getenv("ZEL_LIBRARY") == NULL && dladdr((void *)ZEL_Version, &library) != 0 && library.dli_fname != NULL)
    setenv("ZEL_LIBRARY", library.dli_fname, 1);
  arguments[0] = (char *)python;
  arguments[1] = "-m";
  arguments[2] = "zel";
  arguments[3] = (char *)command;
  for (i = 0; i < argc; ++i) arguments[4 + i] = argv[i];
  arguments[4 + argc] = NULL;
  execvp(python, arguments);
  fprintf(stderr, "zel %s: cannot run %s: %s\n", command, python, strerror(errno));
  free(arguments);
  return EXIT_USAGE;
}

static int run_plot(int argc, char **argv) { return run_python("plot", argc, argv); }
static int run_vtk(int argc, char **argv) { return run_python("vtk", argc, argv); }

/* ------------------------------------------------------------------ */
/* command table                                                       */
/* ------------------------------------------------------------------ */

#define PYTHON_NOTE                                                           \
  "Runs the Python package: python3 -m zel (ZEL_PYTHON names another\n"      \
  "interpreter), which must be installed or on PYTHONPATH, with numpy and\n" \
  "matplotlib. Exit status: 0 success, 2 usage or read error.\n"

static const Command kCommands[] = {
    {"contents", "contents [--all] FILE [ID...]", 
     "Prints the contents report of FILE, block by block.\n"
     "\n"
     "  ID...   only these blocks (1 to 32), in ascending order\n"
     "  --all   every block; without it the mode shapes, modal stresses and\n"
     "          modal strains (blocks 8, 18, 29) are left out, so that a look\n"
     "          at a large file reads no mode data\n"
     "\n"
     "Exit status: 0 printed, 2 usage, read or output error.\n",
     run_contents},
    {"check", "check [--tolerance T] FILE",
     "Reads every block and every mode of FILE, recomputes the inertia\n"
     "invariants from the nodal data and compares them with the file's\n"
     "invariant blocks, and compares the file's generalized mass (the identity\n"
     "for mass-orthonormal modes) with Phi^T M Phi over the mode-shape nodes:\n"
     "translations weighted with the nodal masses, rotations with the nodal\n"
     "inertia tensors. Prints what was compared and what disagrees. When the\n"
     "node set was reduced as the file was written, nothing summed over the\n"
     "nodes can be recomputed, and check says so. The generalized mass holds\n"
     "as many modes at once as fit in ZEL_INVARIANT_MEMORY MiB (default 512),\n"
     "at least one.\n"
     "\n"
     "  --tolerance T   largest relative difference accepted, relative to the\n"
     "                  largest magnitude of each compared quantity (default 1e-6)\n"
     "\n"
     "Exit status: 0 at least one comparison ran and everything agrees,\n"
     "1 something disagrees, 2 usage, read or output error, 3 nothing could be\n"
     "compared.\n",
     run_check},
    {"compare", "compare NEW BASE [--tolerance T] [--verbose N] [--missing-passes]",
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
     run_compare},
    {"plot", "plot FILE --mode N -o OUT [--deflection F] [--size WxH]",
     "Draws the skin faces of FILE undeformed and deformed by mode N, coloured\n"
     "by displacement magnitude, with the mode number and frequency in the\n"
     "title, into the picture OUT (.png, .svg, .pdf).\n"
     "\n"
     "  --deflection F   largest drawn displacement as a fraction of the body\n"
     "                   size (default 0.1)\n"
     "  --size WxH       picture size in pixels (default 800x600)\n"
     "\n"
     PYTHON_NOTE,
     run_plot},
    {"vtk", "vtk FILE OUT.vtu [--modes LIST]",
     "Writes the nodes, skin faces, masses and modes of FILE as a VTK XML\n"
     "UnstructuredGrid for ParaView: point data mode_N (translations) and\n"
     "mode_N_rotation of each mode.\n"
     "\n"
     "  --modes LIST   mode numbers, like 1-10 or 1,3,5-7 (default every mode)\n"
     "\n"
     PYTHON_NOTE,
     run_vtk},
    {"from-ccx",
     "from-ccx JOB [-o FILE] [--interface NSET] [--units M,L,T,F] [--options TEXT]\n"
     "       zel from-ccx JOB --craig-bampton --attach NSET[:rigid|:distributing] [--modes N] [--keep] [...]",
     "Makes a ZEL file from a CalculiX modal analysis (a *FREQUENCY step): the\n"
     "mesh, node sets and densities of JOB.inp, the mode shapes (and modal\n"
     "stresses and strains when written) of JOB.frd, the eigenvalues of JOB.dat.\n"
     "Shear strains are stored as engineering strains, twice the solver's\n"
     "tensor components.\n"
     "Solid elements C3D4, C3D10, C3D6, C3D15, C3D8, C3D8R, C3D8I, C3D20 and\n"
     "C3D20R; their skin faces are kept for drawing. Nodal masses integrate\n"
     "the consistent mass matrix and lump it by row sums for linear elements\n"
     "and by scaling its diagonal to the element mass (HRZ) for quadratic ones.\n"
     "The writer orthonormalizes the modes to these lumped masses.\n"
     "\n"
     "  -o FILE            the ZEL file (default JOB.zel)\n"
     "  --interface NSET   the nodes of node set NSET are interface nodes\n"
     "                     (repeatable)\n"
     "  --units M,L,T,F    the units the model was made in: mass, length, time,\n"
     "                     force (default kg,m,s,N)\n"
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
     "\n"
     "Exit status: 0 written, 2 usage error or a file that cannot be read or\n"
     "translated.\n",
     zel_from_ccx},
};

enum { COMMAND_COUNT = sizeof kCommands / sizeof kCommands[0] };

static void print_help(void) {
  size_t c;
  printf("Usage: zel COMMAND [ARGS...]\n\nLooks into ZEL flexible-body files.\n\nCommands:\n");
  for (c = 0; c < COMMAND_COUNT; ++c) printf("  zel %s\n", kCommands[c].synopsis);
  printf("\nOptions:\n  --help      this text; 'zel COMMAND --help' explains a command\n"
         "  --version   the program's version\n");
}

static void print_command_help(const Command *command) {
  printf("Usage: zel %s\n\n%s", command->synopsis, command->help);
}

/* ------------------------------------------------------------------ */
/* interruption                                                        */
/* ------------------------------------------------------------------ */

/* The library builds an output file with no name where the file system
 * allows, so a killed program leaves nothing; elsewhere the file has a
 * hidden name ".NAME.XXXXXX" beside its target until it is complete. On
 * an interruption the handler removes such files this process has open
 * for writing, then lets the signal end the program as it would have.
 * Only async-signal-safe calls are made here. */
enum { MOST_DESCRIPTORS = 1024, PENDING_SUFFIX = 7 /* ".XXXXXX" */ };

static int is_pending_name(const char *path, size_t length) {
  const char *base = path + length;
  while (base > path && base[-1] != '/') --base;
  return path[0] == '/' && base[0] == '.' && (size_t)(path + length - base) > PENDING_SUFFIX + 1 &&
         path[length - PENDING_SUFFIX] == '.';
}

static void descriptor_view(int fd, char *view) {
  static const char prefix[] = "/proc/self/fd/";
  char digits[12];
  int count = 0;
  do {
    digits[count++] = (char)('0' + fd % 10);
    fd /= 10;
  } while (fd > 0);
  memcpy(view, prefix, sizeof prefix - 1);
  view += sizeof prefix - 1;
  while (count > 0) *view++ = digits[--count];
  *view = '\0';
}

static void remove_pending_outputs(void) {
  char view[32], path[4096];
  struct stat status;
  int fd;
  for (fd = 3; fd < MOST_DESCRIPTORS; ++fd) {
    const int flags = fcntl(fd, F_GETFL);
    ssize_t length;
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
      continue;
    descriptor_view(fd, view);
    length = readlink(view, path, sizeof path - 1);
    if (length <= 0 || !is_pending_name(path, (size_t)length)) continue;
    path[length] = '\0';
    unlink(path);
  }
}

static void on_interruption(int signal_number) {
  struct sigaction fatal;
  remove_pending_outputs();
  memset(&fatal, 0, sizeof fatal);
  fatal.sa_handler = SIG_DFL;
  sigaction(signal_number, &fatal, NULL);
  raise(signal_number);
}

/* A signal the caller chose to ignore (nohup) stays ignored. */
static void remove_pending_outputs_on_interruption(void) {
  static const int signals[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction handler, previous;
  size_t s;
  memset(&handler, 0, sizeof handler);
  handler.sa_handler = on_interruption;
  sigemptyset(&handler.sa_mask);
  for (s = 0; s < sizeof signals / sizeof signals[0]; ++s)
    if (sigaction(signals[s], NULL, &previous) == 0 && previous.sa_handler != SIG_IGN)
      sigaction(signals[s], &handler, NULL);
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
    if (strcmp(argv[1], kCommands[c].name) != 0) continue;
    for (i = 2; i < argc; ++i)
      if (is_help(argv[i])) {
        print_command_help(&kCommands[c]);
        return EXIT_AGREES;
      }
    return kCommands[c].run(argc - 2, argv + 2);
  }
  return usage_error("", "unknown command '%s'", argv[1]);
}
