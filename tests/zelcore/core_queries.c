/*
 * Prints what the queries both libraries export answer for a ZEL file:
 * built once against libzel and once against libzelcore, the two outputs
 * for one file must be the same.
 *
 *   core_queries FILE
 *
 * Exit status 0 when the file was read, 1 when it was not.
 */
#include <stdio.h>
#include <stdlib.h>

#include "zel.h"

static void print_header(Database *db) {
  char title[128], date[32], input_file[128], input_type[16], comments[3][80];
  ZEL_Header(db, title, date, input_file, input_type, comments[0], comments[1], comments[2]);
  printf("version %d\ntitle %s\ndate %s\ninput %s %s\ncomments %s|%s|%s\n", ZEL_Version(db), title, date, input_file,
         input_type, comments[0], comments[1], comments[2]);
}

static void print_nodes(Database *db) {
  int index, count = 0, faces = 0, size = 0;
  int *ids = ZEL_InterfaceNodeIDs(db, &count);
  for (index = 0; index < ZEL_NodeCount(db); ++index) {
    double xyz[3] = {0.0, 0.0, 0.0};
    ZEL_NodeCoordinates(db, index, xyz);
    printf("node %d (index %d) at %.17g %.17g %.17g mass %.17g\n", ZEL_NodeID(db, index),
           ZEL_NodeIndex(db, ZEL_NodeID(db, index)), xyz[0], xyz[1], xyz[2], ZEL_NodalMass(db, index));
  }
  for (index = 0; index < count; ++index) printf("interface node %d\n", ids[index]);
  free(ids); /* libzelcore has no ZEL_FreeMemory */
  ZEL_FaceListSize(db, &faces, &size);
  printf("faces %d in %d integers\n", faces, size);
  if (size > 0 && size < 4096) {
    int list[4096];
    ZEL_ElementFaces(db, list);
    for (index = 0; index < size; ++index) printf("%d%c", list[index], index + 1 == size ? '\n' : ' ');
  }
}

static void print_modes(Database *db) {
  const int modes = ZEL_ModeCount(db);
  const int nodes = ZEL_NodeCount(db);
  int index, n;
  for (index = 0; index < modes; ++index) {
    const int number = ZEL_ModeNumber(db, index);
    double eigenvalue = 0.0, hz = 0.0, rad = 0.0, mass = 0.0, stiffness = 0.0;
    const int found = ZEL_Eigenvalue(db, number, &eigenvalue, &hz, &rad, &mass, &stiffness);
    printf("mode %d: %d %.17g %.17g %.17g %.17g %.17g\n", number, found, eigenvalue, hz, rad, mass, stiffness);
    if (nodes <= 4096) {
      static double values[3 * 4096];
      int component;
      for (component = 0; component < 2; ++component) {
        if (!ZEL_Mode(db, number, 0, values, component)) continue;
        for (n = 0; n < 3 * nodes; ++n) printf("%.17g%c", values[n], n + 1 == 3 * nodes ? '\n' : ' ');
      }
    }
  }
  if (modes > 0 && modes <= 64) {
    int selected[64];
    double matrix[64][64];
    double *rows[64];
    for (index = 0; index < modes; ++index) {
      selected[index] = ZEL_ModeNumber(db, index);
      rows[index] = matrix[index];
    }
    if (ZEL_GenStiffSelected(db, rows, modes, selected))
      for (index = 0; index < modes; ++index)
        for (n = 0; n < modes; ++n) printf("%.17g%c", matrix[index][n], n + 1 == modes ? '\n' : ' ');
  }
}

int main(int argc, char **argv) {
  Database *db;
  if (argc != 2) {
    fprintf(stderr, "usage: core_queries FILE\n");
    return 2;
  }
  db = ZEL_CreateFromZEL(argv[1]);
  if (db == NULL) return 1;
  print_header(db);
  print_nodes(db);
  print_modes(db);
  ZEL_UnLink(db);
  return 0;
}
