/*
 * The C side of bench/python_modes_bench.py: reads every mode shape of a
 * ZEL file through the public interface, as a C consumer would, and prints
 * the best time of a number of passes.
 *
 *   python_modes_timing FILE [PASSES]
 *
 * Prints one line per way of reading: "<name> <seconds> <modes>". The ways
 * are ZEL_Read_Mode_Double into one buffer (double-precision files) and
 * ZEL_Mode for both halves of each node's six values (any file).
 */
#define _POSIX_C_SOURCE 200809L

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "zel.h"

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

/* Seconds to read every mode once; a negative value when one failed. */
static double read_every_mode(Database *db, double *values, int whole) {
  const double start = now();
  int m;
  for (m = 0; m < ZEL_ModeCount(db); ++m) {
    const int number = ZEL_ModeNumber(db, m);
    const int read = whole ? ZEL_Read_Mode_Double(db, number, 0, values)
                           : ZEL_Mode(db, number, 0, values, 0) && ZEL_Mode(db, number, 0, values, 1);
    if (!read) return -1.0;
  }
  return now() - start;
}

static int time_way(Database *db, double *values, int whole, int passes, const char *name) {
  double best = -1.0;
  int pass;
  for (pass = 0; pass < passes; ++pass) {
    const double seconds = read_every_mode(db, values, whole);
    if (seconds < 0.0) return 0;
    if (best < 0.0 || seconds < best) best = seconds;
  }
  printf("%s %.6f %d\n", name, best, ZEL_ModeCount(db));
  return 1;
}

int main(int argc, char **argv) {
  Database *db;
  double *values;
  int passes = argc > 2 ? atoi(argv[2]) : 3, ok = 1;
  if (argc < 2 || passes < 1) {
    fprintf(stderr, "usage: python_modes_timing FILE [PASSES]\n");
    return 2;
  }
  db = ZEL_CreateFromZEL(argv[1]);
  if (db == NULL) return 1;
  values = malloc(6 * (size_t)ZEL_ModeNodeCount(db, 0) * sizeof *values);
  if (values == NULL) return 1;
  if (ZEL_Double_Prec(db)) ok = time_way(db, values, 1, passes, "ZEL_Read_Mode_Double");
  ok = ok && time_way(db, values, 0, passes, "ZEL_Mode");
  free(values);
  ZEL_UnLink(db);
  return ok ? 0 : 1;
}
