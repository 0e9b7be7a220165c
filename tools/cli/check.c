/*
 * check.c - `zel check`: every block and mode read, the inertia invariants
 * and the generalized mass recomputed from the nodal data and compared with
 * the file's own.
 */
#include "commands.h"
#include "messages.h"

#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct Check {
  Database *db;
  double tolerance;
  int modes;
  int comparisons; /* comparisons that ran */
  int disagreements;
  double nodal_mass; /* the sum of the nodal masses */
  double body_mass;  /* the file's own figure, its invariant 1 */
  int reduced;       /* the node set was reduced when the file was written */
} Check;

static void show_check_progress(const char *what, int done, int total) {
  char line[128];
  snprintf(line, sizeof line, "zel check: %s %d of %d", what, done, total);
  show_progress(line);
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
    end_progress();
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
      show_check_progress(kSetNames[set], m + 1, check->modes);
      ok = read_mode(check, ZEL_ModeNumber(check->db, m), set, values, count, kSetNames[set]);
    }
    free(values);
  }
  end_progress();
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

/* After a reduction of the node set nothing summed over the nodes can be
 * recomputed. Invariant 1 is read here, before anything is recomputed. */
static void note_reduced_nodes(Check *check) {
  check->reduced = node_set_reduced(check->db, check->tolerance, &check->nodal_mass, &check->body_mass);
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
    show_check_progress("computing invariant", k + 1, INVARIANT_COUNT);
    computed = malloc((stored[k].count > 0 ? stored[k].count : 1) * sizeof(double));
    ok = computed != NULL && query_invariant(recomputed, stored[k].number, check->modes, computed);
    end_progress();
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
      show_check_progress("generalized mass, mode", (int)j + 1, (int)m);
      ok = read_mode_shape(check->db, (int)j, current, positions);
      if (ok && j < end) {
        memcpy(weighted + (j - first) * mode_doubles, current, mode_doubles * sizeof *current);
        weight_mode(check->db, weighted + (j - first) * mode_doubles, positions);
      }
      for (i = first; ok && i < end && i <= j; ++i)
        mass[i * m + j] = mass[j * m + i] = dot(weighted + (i - first) * mode_doubles, current, mode_doubles);
    }
  }
  end_progress();
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
    } else if (take_message_option(argv[i])) {
      continue;
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
  ok = read_every_block(&check);
  if (!ok) fprintf(stderr, "zel check: cannot read every block and mode of %s\n", path);
  if (ok) note_reduced_nodes(&check);
  ok = ok && check_invariants(&check, path) && check_generalized_mass(&check, path);
  ZEL_UnLink(check.db);
  return output_status("check", ok ? check_verdict(&check, path) : EXIT_USAGE);
}

const Command check_command = {"check", "check [--tolerance T] FILE",
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
    run_check};
