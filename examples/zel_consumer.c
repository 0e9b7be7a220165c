/*
 * An example consumer: opens the ZEL file named on the command line and
 * prints what a simulator asks of a flexible body first: the header, the
 * counts, the eigenvalues and the largest displacement of the first mode.
 *
 *   zel_consumer body.zel
 *
 * Exit status: 0 when the file was read, 1 when it could not be, 2 for a
 * wrong command line.
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "zel.h"

static void print_header(Database *db) {
  char title[128], date[32], input_file[128], input_type[16], comments[3][80];
  char mass[16], length[16], time[16], force[16];
  int c;
  ZEL_Header(db, title, date, input_file, input_type, comments[0], comments[1], comments[2]);
  ZEL_Units(db, mass, length, time, force);
  printf("Title:       %s\n", title);
  printf("Created:     %s\n", date);
  printf("Input file:  %s (%s)\n", input_file, input_type);
  for (c = 0; c < 3; ++c)
    if (comments[c][0] != '\0') printf("Comment:     %s\n", comments[c]);
  printf("Version:     %d, %s precision\n", ZEL_Version(db), ZEL_Double_Prec(db) ? "double" : "single");
  printf("Units:       mass %s, length %s, time %s, force %s\n", mass, length, time, force);
}

static void print_counts(Database *db) {
  int faces = 0, face_list_size = 0, interface_count = 0;
  int *interface_nodes = ZEL_InterfaceNodes(db, &interface_count);
  ZEL_FreeMemory(interface_nodes);
  ZEL_FaceListSize(db, &faces, &face_list_size);
  printf("Nodes:       %d\n", ZEL_NodeCount(db));
  printf("Modes:       %d\n", ZEL_ModeCount(db));
  printf("Faces:       %d\n", faces);
  printf("Interface:   %d nodes\n", interface_count);
  if (ZEL_ModeExist(db, 1)) printf("Stress:      %d nodes\n", ZEL_ModeNodeCount(db, 1));
  if (ZEL_ModeExist(db, 2)) printf("Strain:      %d nodes\n", ZEL_ModeNodeCount(db, 2));
}

static void print_eigenvalues(Database *db) {
  int index;
  printf("\n%6s %16s %16s %16s %16s\n", "Mode", "Eigenvalue", "Frequency [Hz]", "Gen. mass", "Gen. stiffness");
  for (index = 0; index < ZEL_ModeCount(db); ++index) {
    const int number = ZEL_ModeNumber(db, index);
    double eigenvalue = 0.0, hz = 0.0, mass = 0.0, stiffness = 0.0;
    if (ZEL_Eigenvalue(db, number, &eigenvalue, &hz, NULL, &mass, &stiffness))
      printf("%6d %16.8g %16.8g %16.8g %16.8g\n", number, eigenvalue, hz, mass, stiffness);
    else
      printf("%6d %16s\n", number, "(none)");
  }
}

/* The node where the first mode moves farthest, and how far. */
static int print_largest_displacement(Database *db) {
  const int nodes = ZEL_ModeNodeCount(db, 0);
  const int number = ZEL_ModeNumber(db, 0);
  double *translations, largest = -1.0;
  int n, at = -1;
  if (ZEL_ModeCount(db) < 1 || nodes < 1) return 1;
  translations = malloc(3 * (size_t)nodes * sizeof *translations);
  if (translations == NULL) return 0;
  if (!ZEL_Mode(db, number, 0, translations, 0)) {
    free(translations);
    return 0;
  }
  for (n = 0; n < nodes; ++n) {
    const double *t = translations + 3 * n;
    const double size = sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
    if (size > largest) {
      largest = size;
      at = n;
    }
  }
  printf("\nMode %d moves node %d farthest: %g\n", number, ZEL_ModeNodeID(db, 0, at), largest);
  free(translations);
  return 1;
}

int main(int argc, char **argv) {
  Database *db;
  int ok;
  if (argc != 2) {
    fprintf(stderr, "usage: %s <file.zel>\n", argc > 0 ? argv[0] : "zel_consumer");
    return 2;
  }
  db = ZEL_CreateFromZEL(argv[1]);
  if (db == NULL) {
    fprintf(stderr, "%s: cannot read %s as a ZEL file\n", argv[0], argv[1]);
    return 1;
  }
  print_header(db);
  print_counts(db);
  print_eigenvalues(db);
  ok = print_largest_displacement(db);
  ZEL_UnLink(db);
  return ok ? 0 : 1;
}
