/*
 * mac.c - `zel mac BASE OTHER`: two bodies of one part with different
 * meshes, their mode shapes compared on nodes paired by position. Only the
 * table goes to standard output; notes and errors go to standard error.
 */
#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "commands.h"
#include "node_grid.h"

#define EXIT_COMPARED 0
#define EXIT_BELOW_MIN_MAC 1

/* The default pairing tolerance as a share of the base's size: wide enough
 * for a coarse mesh against a fine one, narrow enough to leave out nodes of
 * a feature the other mesh does not have. */
#define DEFAULT_TOLERANCE_SHARE 0.05

enum { SVG_CELL = 20, SVG_MARGIN = 50, SVG_PAD = 10 };

typedef struct Options {
  const char *paths[2]; /* BASE, OTHER */
  int path_count;
  double tolerance; /* negative: the default */
  int rotations;
  double min_mac; /* negative: not judged */
  const char *csv;
  const char *picture;
} Options;

typedef struct Body {
  const char *path;
  Database *db;
  int nodes;       /* mode-shape nodes */
  int *node_index; /* of each mode-shape position */
  double *xyz;     /* of each position, in the base's length unit */
  int modes;
  int *numbers;
  double *hz; /* NaN where the body gives no frequency */
} Body;

/* Base positions paired with other positions, and the base's weights. */
typedef struct Pairs {
  int count;
  int left_out;
  int *base;
  int *other;
  double *mass;
  double *inertia; /* nine per pair, row order; only with rotations */
  int weighs_alike;
} Pairs;

typedef struct Comparison {
  int dim; /* values per paired node: 3, or 6 with rotations */
  double *mac; /* base modes x other modes, row by row */
  int *partner; /* per base mode, the other mode index of its highest MAC */
} Comparison;

static int mac_usage(const char *format, const char *what) { return usage_error("mac", format, what); }

static int out_of_memory(void) {
  fprintf(stderr, "zel mac: out of memory\n");
  return EXIT_USAGE;
}

static int parse_number(const char *text, double *value) {
  char *end = NULL;
  errno = 0;
  *value = strtod(text, &end);
  return errno == 0 && end != text && *end == '\0' && isfinite(*value);
}

static int option_value(int argc, char **argv, int *i, const char **value) {
  if (*i + 1 == argc) return 0;
  *value = argv[++*i];
  return 1;
}

/* 0, or the usage error's exit status. */
static int parse_options(int argc, char **argv, Options *options) {
  const char *value = NULL;
  int i;
  for (i = 0; i < argc; ++i) {
    const char *arg = argv[i];
    const int takes_value = strcmp(arg, "--tolerance") == 0 || strcmp(arg, "--min-mac") == 0 ||
                            strcmp(arg, "--csv") == 0 || strcmp(arg, "--picture") == 0;
    if (takes_value && !option_value(argc, argv, &i, &value)) return mac_usage("%s needs a value", arg);
    if (strcmp(arg, "--tolerance") == 0) {
      if (!parse_number(value, &options->tolerance) || options->tolerance < 0.0)
        return mac_usage("'%s' is not a tolerance (a distance of at least 0)", value);
    } else if (strcmp(arg, "--min-mac") == 0) {
      if (!parse_number(value, &options->min_mac) || options->min_mac < 0.0 || options->min_mac > 1.0)
        return mac_usage("'%s' is not a MAC (0 to 1)", value);
    } else if (strcmp(arg, "--csv") == 0) {
      options->csv = value;
    } else if (strcmp(arg, "--picture") == 0) {
      options->picture = value;
    } else if (strcmp(arg, "--rotations") == 0) {
      options->rotations = 1;
    } else if (arg[0] == '-' && arg[1] != '\0') {
      return mac_usage("unknown option '%s'", arg);
    } else if (options->path_count < 2) {
      options->paths[options->path_count++] = arg;
    } else {
      return mac_usage("unexpected argument '%s'", arg);
    }
  }
  if (options->path_count < 2) return mac_usage("%s", "needs BASE and OTHER");
  return 0;
}

static void release_body(Body *body) {
  free(body->node_index);
  free(body->xyz);
  free(body->numbers);
  free(body->hz);
}

static int body_error(const Body *body, const char *reason) {
  fprintf(stderr, "zel mac: %s: %s\n", body->path, reason);
  return 0;
}

/* The mode-shape nodes with their coordinates times `length_factor`, and
 * the modes with their numbers and frequencies. 0 with a message. */
static int load_body(Body *body, double length_factor) {
  int p, m;
  body->modes = ZEL_ModeCount(body->db);
  body->nodes = ZEL_ModeNodeCount(body->db, 0);
  if (!ZEL_ModeExist(body->db, 0) || body->modes <= 0 || body->nodes <= 0)
    return body_error(body, "no mode shapes");
  body->node_index = malloc((size_t)body->nodes * sizeof *body->node_index);
  body->xyz = malloc(3 * (size_t)body->nodes * sizeof *body->xyz);
  body->numbers = malloc((size_t)body->modes * sizeof *body->numbers);
  body->hz = malloc((size_t)body->modes * sizeof *body->hz);
  if (body->node_index == NULL || body->xyz == NULL || body->numbers == NULL || body->hz == NULL)
    return body_error(body, "out of memory");
  for (p = 0; p < body->nodes; ++p) {
    double *xyz = body->xyz + 3 * (size_t)p;
    body->node_index[p] = ZEL_NodeIndex(body->db, ZEL_ModeNodeID(body->db, 0, p));
    if (!ZEL_NodeCoordinates(body->db, body->node_index[p], xyz))
      return body_error(body, "a mode-shape node has no coordinates");
    xyz[0] *= length_factor, xyz[1] *= length_factor, xyz[2] *= length_factor;
  }
  for (m = 0; m < body->modes; ++m) {
    body->numbers[m] = ZEL_ModeNumber(body->db, m);
    if (!ZEL_Eigenvalue(body->db, body->numbers[m], NULL, &body->hz[m], NULL, NULL, NULL)) body->hz[m] = NAN;
  }
  return 1;
}

static double box_diagonal(const Body *body) {
  double low[3], high[3];
  int p, d;
  for (d = 0; d < 3; ++d) low[d] = high[d] = body->xyz[d];
  for (p = 1; p < body->nodes; ++p)
    for (d = 0; d < 3; ++d) {
      low[d] = fmin(low[d], body->xyz[3 * (size_t)p + d]);
      high[d] = fmax(high[d], body->xyz[3 * (size_t)p + d]);
    }
  return sqrt((high[0] - low[0]) * (high[0] - low[0]) + (high[1] - low[1]) * (high[1] - low[1]) +
              (high[2] - low[2]) * (high[2] - low[2]));
}

static void release_pairs(Pairs *pairs) {
  free(pairs->base);
  free(pairs->other);
  free(pairs->mass);
  free(pairs->inertia);
}

/* The base's weights of each pair; when the paired nodes carry no mass at
 * all, a unit mass and a unit inertia everywhere. */
static void weigh_pairs(const Body *base, Pairs *pairs, int rotations) {
  double total = 0.0;
  int k;
  for (k = 0; k < pairs->count; ++k) {
    const int index = base->node_index[pairs->base[k]];
    pairs->mass[k] = ZEL_NodalMass(base->db, index);
    total += fabs(pairs->mass[k]);
    if (rotations && !ZEL_NodalInertia(base->db, index, pairs->inertia + 9 * (size_t)k))
      memset(pairs->inertia + 9 * (size_t)k, 0, 9 * sizeof *pairs->inertia);
  }
  pairs->weighs_alike = total == 0.0;
  for (k = 0; pairs->weighs_alike && k < pairs->count; ++k) {
    double *tensor = rotations ? pairs->inertia + 9 * (size_t)k : NULL;
    pairs->mass[k] = 1.0;
    if (tensor != NULL) {
      memset(tensor, 0, 9 * sizeof *tensor);
      tensor[0] = tensor[4] = tensor[8] = 1.0;
    }
  }
}

/* Each base node with the nearest other node within the tolerance. */
static int pair_nodes(const Body *base, const Body *other, double tolerance, int rotations, Pairs *pairs) {
  NodeGrid *grid = node_grid_new(other->xyz, other->nodes);
  int p;
  memset(pairs, 0, sizeof *pairs);
  pairs->base = malloc((size_t)base->nodes * sizeof *pairs->base);
  pairs->other = malloc((size_t)base->nodes * sizeof *pairs->other);
  pairs->mass = malloc((size_t)base->nodes * sizeof *pairs->mass);
  pairs->inertia = rotations ? malloc(9 * (size_t)base->nodes * sizeof *pairs->inertia) : NULL;
  if (grid == NULL || pairs->base == NULL || pairs->other == NULL || pairs->mass == NULL ||
      (rotations && pairs->inertia == NULL)) {
    node_grid_free(grid);
    return 0;
  }
  for (p = 0; p < base->nodes; ++p) {
    const int q = node_grid_nearest(grid, base->xyz + 3 * (size_t)p, tolerance);
    if (q < 0) {
      ++pairs->left_out;
      continue;
    }
    pairs->base[pairs->count] = p;
    pairs->other[pairs->count++] = q;
  }
  node_grid_free(grid);
  weigh_pairs(base, pairs, rotations);
  return 1;
}

/* One mode of a body at the paired positions, `dim` values each. `scratch`
 * holds six values per mode-shape node of the body. */
static int gather_mode(const Body *body, int mode, const int *positions, int count, int dim, double *scratch,
                       double *out) {
  const double *translations = scratch, *rotations = scratch + 3 * (size_t)body->nodes;
  int k, c;
  if (!ZEL_Mode(body->db, body->numbers[mode], 0, scratch, 0) ||
      (dim == 6 && !ZEL_Mode(body->db, body->numbers[mode], 0, scratch + 3 * (size_t)body->nodes, 1))) {
    fprintf(stderr, "zel mac: %s: cannot read mode shape %d\n", body->path, body->numbers[mode]);
    return 0;
  }
  for (k = 0; k < count; ++k) {
    const size_t at = 3 * (size_t)positions[k];
    for (c = 0; c < 3; ++c) out[(size_t)k * dim + c] = translations[at + c];
    for (c = 3; c < dim; ++c) out[(size_t)k * dim + c] = rotations[at + c - 3];
  }
  return 1;
}

/* M v over the pairs: the mass on translations, the inertia tensor on
 * rotations. */
static void weigh(const Pairs *pairs, int dim, const double *v, double *out) {
  int k, r;
  for (k = 0; k < pairs->count; ++k) {
    const double *in = v + (size_t)k * dim;
    double *to = out + (size_t)k * dim;
    for (r = 0; r < 3; ++r) to[r] = pairs->mass[k] * in[r];
    if (dim == 6) {
      const double *tensor = pairs->inertia + 9 * (size_t)k;
      for (r = 0; r < 3; ++r) to[3 + r] = tensor[3 * r] * in[3] + tensor[3 * r + 1] * in[4] + tensor[3 * r + 2] * in[5];
    }
  }
}

static double dot(const double *a, const double *b, size_t n) {
  double sum = 0.0;
  size_t i;
  for (i = 0; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

static double assurance(double cross, double base_norm, double other_norm) {
  return base_norm > 0.0 && other_norm > 0.0 ? cross * cross / (base_norm * other_norm) : 0.0;
}

/* How many base modes are held at once: as many as fit in
 * ZEL_INVARIANT_MEMORY MiB (default 512), the cap of every pass over all
 * modes, and at least one. */
static int base_modes_at_once(size_t mode_bytes, int modes) {
  const char *text = getenv("ZEL_INVARIANT_MEMORY");
  double mib = 512.0, fit;
  if (text != NULL && parse_number(text, &fit) && fit >= 1.0) mib = fit;
  fit = floor(mib * 1024.0 * 1024.0 / (double)(mode_bytes > 0 ? mode_bytes : 1));
  return fit < 1.0 ? 1 : fit >= modes ? modes : (int)fit;
}

/* A batch of base modes weighted and held, the other body's modes read
 * one at a time against all of them; again for the next batch. */
static int compute_mac(const Body *base, const Body *other, const Pairs *pairs, Comparison *result) {
  const size_t length = (size_t)pairs->count * result->dim;
  const int batch = base_modes_at_once(length * sizeof(double), base->modes);
  const int most_nodes = base->nodes > other->nodes ? base->nodes : other->nodes;
  double *weighted = malloc((size_t)batch * length * sizeof *weighted);
  double *base_norm = malloc((size_t)base->modes * sizeof *base_norm);
  double *shape = malloc(length * sizeof *shape), *weighted_shape = malloc(length * sizeof *weighted_shape);
  double *scratch = malloc(6 * (size_t)most_nodes * sizeof *scratch);
  int first, i, j, ok = weighted != NULL && base_norm != NULL && shape != NULL && weighted_shape != NULL &&
                        scratch != NULL;
  if (!ok) out_of_memory();
  for (first = 0; ok && first < base->modes; first += batch) {
    const int last = first + batch < base->modes ? first + batch : base->modes;
    for (i = first; ok && i < last; ++i) {
      double *w = weighted + (size_t)(i - first) * length;
      ok = gather_mode(base, i, pairs->base, pairs->count, result->dim, scratch, shape);
      if (!ok) break;
      weigh(pairs, result->dim, shape, w);
      base_norm[i] = dot(shape, w, length);
    }
    for (j = 0; ok && j < other->modes; ++j) {
      double other_norm;
      ok = gather_mode(other, j, pairs->other, pairs->count, result->dim, scratch, shape);
      if (!ok) break;
      weigh(pairs, result->dim, shape, weighted_shape);
      other_norm = dot(shape, weighted_shape, length);
      for (i = first; i < last; ++i)
        result->mac[(size_t)i * other->modes + j] =
            assurance(dot(weighted + (size_t)(i - first) * length, shape, length), base_norm[i], other_norm);
    }
  }
  for (i = 0; ok && i < base->modes; ++i) {
    const double *row = result->mac + (size_t)i * other->modes;
    result->partner[i] = 0;
    for (j = 1; j < other->modes; ++j)
      if (row[j] > row[result->partner[i]]) result->partner[i] = j;
  }
  free(weighted);
  free(base_norm);
  free(shape);
  free(weighted_shape);
  free(scratch);
  return ok;
}

/* ------------------------------------------------------------------ */
/* output                                                              */
/* ------------------------------------------------------------------ */

static void print_value(const char *format, double value, int width) {
  if (isnan(value))
    printf(" %*s", width, "-");
  else
    printf(format, value);
}

static void print_table(const Body *base, const Body *other, const Comparison *result) {
  int i;
  printf("%5s %5s %8s %14s %14s %14s %9s\n", "base", "other", "MAC", "base Hz", "other Hz", "diff Hz", "diff %");
  for (i = 0; i < base->modes; ++i) {
    const int j = result->partner[i];
    const double base_hz = base->hz[i], other_hz = other->hz[j];
    const double percent = base_hz != 0.0 ? 100.0 * (other_hz - base_hz) / base_hz : NAN;
    printf("%5d %5d %8.6f", base->numbers[i], other->numbers[j], result->mac[(size_t)i * other->modes + j]);
    print_value(" %14.6g", base_hz, 14);
    print_value(" %14.6g", other_hz, 14);
    print_value(" %+14.6g", other_hz - base_hz, 14);
    print_value(" %+9.3f", percent, 9);
    printf("\n");
  }
}

/* Closes a written file; 0 with the system's reason when anything of it
 * did not reach the disk. */
static int close_output(FILE *file, const char *path) {
  const int failed = fflush(file) != 0 || ferror(file);
  const int reason = errno;
  if (fclose(file) != 0 || failed) {
    fprintf(stderr, "zel mac: %s: %s\n", path, strerror(failed ? reason : errno));
    return 0;
  }
  return 1;
}

static FILE *open_output(const char *path) {
  FILE *file = fopen(path, "w");
  if (file == NULL) fprintf(stderr, "zel mac: %s: %s\n", path, strerror(errno));
  return file;
}

static void csv_value(FILE *file, double value) {
  if (!isnan(value)) fprintf(file, "%.9g", value);
}

static int write_csv(const char *path, const Body *base, const Body *other, const Comparison *result) {
  FILE *file = open_output(path);
  int i, j;
  if (file == NULL) return 0;
  fprintf(file, "base_mode,other_mode,mac,base_hz,other_hz\n");
  for (i = 0; i < base->modes; ++i)
    for (j = 0; j < other->modes; ++j) {
      fprintf(file, "%d,%d,%.9g,", base->numbers[i], other->numbers[j], result->mac[(size_t)i * other->modes + j]);
      csv_value(file, base->hz[i]);
      fputc(',', file);
      csv_value(file, other->hz[j]);
      fputc('\n', file);
    }
  return close_output(file, path);
}

/* White at 0 to dark blue at 1, linear in each channel. */
static void mac_colour(double mac, char colour[8]) {
  static const int kWhite[3] = {255, 255, 255}, kDark[3] = {8, 48, 107};
  const double t = mac < 0.0 ? 0.0 : mac > 1.0 ? 1.0 : mac;
  int channel[3], c;
  for (c = 0; c < 3; ++c) channel[c] = (int)lround(kWhite[c] + t * (kDark[c] - kWhite[c]));
  snprintf(colour, 8, "#%02x%02x%02x", channel[0], channel[1], channel[2]);
}

static void svg_labels(FILE *file, const Body *base, const Body *other) {
  int i;
  fprintf(file, "<g font-family=\"sans-serif\" font-size=\"10\">\n");
  fprintf(file, "<text x=\"%d\" y=\"%d\">base \\ other</text>\n", SVG_PAD / 2, SVG_PAD + 5);
  for (i = 0; i < other->modes; ++i)
    fprintf(file, "<text class=\"other\" x=\"%d\" y=\"%d\" text-anchor=\"middle\">%d</text>\n",
            SVG_MARGIN + SVG_CELL * i + SVG_CELL / 2, SVG_MARGIN - 5, other->numbers[i]);
  for (i = 0; i < base->modes; ++i)
    fprintf(file, "<text class=\"base\" x=\"%d\" y=\"%d\" text-anchor=\"end\">%d</text>\n", SVG_MARGIN - 5,
            SVG_MARGIN + SVG_CELL * i + SVG_CELL / 2 + 4, base->numbers[i]);
  fprintf(file, "</g>\n");
}

static int write_picture(const char *path, const Body *base, const Body *other, const Comparison *result) {
  const int width = SVG_MARGIN + SVG_CELL * other->modes + SVG_PAD;
  const int height = SVG_MARGIN + SVG_CELL * base->modes + SVG_PAD;
  FILE *file = open_output(path);
  char colour[8];
  int i, j;
  if (file == NULL) return 0;
  fprintf(file, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  fprintf(file, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\">\n",
          width, height, width, height);
  svg_labels(file, base, other);
  for (i = 0; i < base->modes; ++i)
    for (j = 0; j < other->modes; ++j) {
      const double mac = result->mac[(size_t)i * other->modes + j];
      mac_colour(mac, colour);
      fprintf(file,
              "<rect class=\"cell\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\">"
              "<title>base %d, other %d: %.6f</title></rect>\n",
              SVG_MARGIN + SVG_CELL * j, SVG_MARGIN + SVG_CELL * i, SVG_CELL, SVG_CELL, colour, base->numbers[i],
              other->numbers[j], mac);
    }
  /* Each base mode's partner outlined, so that a swapped order stands out. */
  for (i = 0; i < base->modes; ++i)
    fprintf(file,
            "<rect class=\"partner\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"none\" "
            "stroke=\"#d62728\" stroke-width=\"2\"/>\n",
            SVG_MARGIN + SVG_CELL * result->partner[i], SVG_MARGIN + SVG_CELL * i, SVG_CELL, SVG_CELL);
  fprintf(file, "</svg>\n");
  return close_output(file, path);
}

static int every_mode_reaches(const Body *base, const Body *other, const Comparison *result, double min_mac) {
  int i;
  for (i = 0; i < base->modes; ++i)
    if (!(result->mac[(size_t)i * other->modes + result->partner[i]] >= min_mac)) return 0;
  return 1;
}

static int table_written(void) {
  const int failed = fflush(stdout) != 0;
  const int reason = errno;
  if (!failed && !ferror(stdout)) return 1;
  if (failed)
    fprintf(stderr, "zel mac: cannot write the output: %s\n", strerror(reason));
  else
    fprintf(stderr, "zel mac: cannot write the output\n");
  return 0;
}

/* ------------------------------------------------------------------ */
/* the command                                                         */
/* ------------------------------------------------------------------ */

static void report_pairing(const Body *base, const Body *other, const Pairs *pairs, double tolerance) {
  if (pairs->left_out > 0)
    fprintf(stderr, "zel mac: %d of %d nodes of %s have no node of %s within %g and are left out\n",
            pairs->left_out, base->nodes, base->path, other->path, tolerance);
  if (pairs->weighs_alike && pairs->count > 0)
    fprintf(stderr, "zel mac: %s: the paired nodes carry no mass; every node weighs alike\n", base->path);
}

static int report(const Options *options, const Body *base, const Body *other, const Comparison *result) {
  int written;
  print_table(base, other, result);
  written = table_written();
  if (options->csv != NULL) written = write_csv(options->csv, base, other, result) && written;
  if (options->picture != NULL) written = write_picture(options->picture, base, other, result) && written;
  if (!written) return EXIT_USAGE;
  if (options->min_mac >= 0.0 && !every_mode_reaches(base, other, result, options->min_mac))
    return EXIT_BELOW_MIN_MAC;
  return EXIT_COMPARED;
}

static int compare_bodies(const Options *options, Body *base, Body *other) {
  const double base_metre = ZEL_Length2Meter(base->db, 1.0), other_metre = ZEL_Length2Meter(other->db, 1.0);
  Pairs pairs;
  Comparison result;
  double tolerance;
  int status = EXIT_USAGE;
  if (base_metre == 0.0 || other_metre == 0.0) {
    body_error(base_metre == 0.0 ? base : other, "unknown length unit");
    return EXIT_USAGE;
  }
  if (!load_body(base, 1.0) || !load_body(other, other_metre / base_metre)) return EXIT_USAGE;
  tolerance = options->tolerance >= 0.0 ? options->tolerance : DEFAULT_TOLERANCE_SHARE * box_diagonal(base);
  if (!pair_nodes(base, other, tolerance, options->rotations, &pairs)) {
    release_pairs(&pairs);
    return out_of_memory();
  }
  report_pairing(base, other, &pairs, tolerance);
  result.dim = options->rotations ? 6 : 3;
  result.mac = malloc((size_t)base->modes * (size_t)other->modes * sizeof *result.mac);
  result.partner = malloc((size_t)base->modes * sizeof *result.partner);
  if (pairs.count == 0)
    fprintf(stderr, "zel mac: no node of %s has a node of %s within %g\n", base->path, other->path, tolerance);
  else if (result.mac == NULL || result.partner == NULL)
    out_of_memory();
  else if (compute_mac(base, other, &pairs, &result))
    status = report(options, base, other, &result);
  free(result.mac);
  free(result.partner);
  release_pairs(&pairs);
  return status;
}

static int run_mac(int argc, char **argv) {
  Options options;
  Body base, other;
  int status;
  memset(&options, 0, sizeof options);
  memset(&base, 0, sizeof base);
  memset(&other, 0, sizeof other);
  options.tolerance = -1.0;
  options.min_mac = -1.0;
  status = parse_options(argc, argv, &options);
  if (status != 0) return status;
  base.path = options.paths[0];
  other.path = options.paths[1];
  base.db = open_body("mac", base.path);
  other.db = base.db != NULL ? open_body("mac", other.path) : NULL;
  status = other.db != NULL ? compare_bodies(&options, &base, &other) : EXIT_USAGE;
  release_body(&base);
  release_body(&other);
  ZEL_Terminate();
  return status;
}

#define MAC_SYNOPSIS \
  "mac BASE OTHER [--tolerance D] [--rotations] [--min-mac X] [--csv FILE] [--picture FILE.svg]"

#define MAC_HELP                                                               \
  "Compares the mode shapes of OTHER with those of BASE, two meshes of one\n"  \
  "part, by the modal assurance criterion (MAC). Each mode-shape node of BASE\n" \
  "is paired with the nearest mode-shape node of OTHER (the first one on a\n"  \
  "tie); a node of BASE with none within the tolerance is left out, and how\n" \
  "many were is said on standard error. OTHER's coordinates are taken into\n"  \
  "BASE's length unit first. On the paired nodes, for mode i of BASE (a)\n"    \
  "and mode j of OTHER (b),\n"                                                 \
  "\n"                                                                         \
  "  MAC(i, j) = (a_i' M b_j)^2 / ((a_i' M a_i) (b_j' M b_j))\n"              \
  "\n"                                                                         \
  "where M holds BASE's nodal masses: each node of BASE stands for the\n"      \
  "material around it, so the sums approximate the mass integrals over the\n"  \
  "part whatever mesh OTHER has, and the same weights on both sides give\n"    \
  "identical shapes a MAC of 1. Rotations are left out (a solid mesh has\n"    \
  "none) unless --rotations, which weights them with BASE's nodal inertia\n"   \
  "tensors. When the paired nodes carry no mass, every node weighs alike. A\n" \
  "mode that moves no paired node has a MAC of 0 with every mode. As many\n"   \
  "modes of BASE are held at once as fit in ZEL_INVARIANT_MEMORY MiB\n"       \
  "(default 512), at least one; OTHER's modes are read again for each batch.\n" \
  "\n"                                                                         \
  "Prints one line per mode of BASE: its partner in OTHER (the highest MAC,\n" \
  "the first on a tie), the MAC, both frequencies and their difference\n"      \
  "(OTHER minus BASE, in Hz and in percent of BASE's frequency).\n"            \
  "\n"                                                                         \
  "  --tolerance D      the farthest a node of OTHER may be from its node of\n" \
  "                     BASE, in BASE's length unit (default 5% of the\n"      \
  "                     diagonal of the box around BASE's mode-shape nodes)\n" \
  "  --rotations        compare rotations too\n"                               \
  "  --min-mac X        the least MAC every mode of BASE must reach (0 to 1)\n" \
  "  --csv FILE         every MAC, one line per pair of modes: base_mode,\n"   \
  "                     other_mode, mac, base_hz, other_hz\n"                  \
  "  --picture FILE     the MAC matrix as an SVG picture: BASE's modes down,\n" \
  "                     OTHER's across, white at 0 to dark blue at 1\n"        \
  "\n"                                                                         \
  "Exit status: 0 compared (with --min-mac: every mode of BASE has a partner\n" \
  "at X or above), 1 a mode of BASE below X, 2 usage, read or output error.\n"

const Command mac_command = {"mac", MAC_SYNOPSIS, MAC_HELP, run_mac};
