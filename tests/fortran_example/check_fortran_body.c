/*
 * Reads back, through the C interface, the body the Fortran example
 * translator wrote, and checks every value the example set.
 *
 *   check_fortran_body body.zel
 *
 * Prints each mismatch; exit status 0 when there is none.
 */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "zel.h"

static int mismatches = 0;

static void expect(int condition, const char *what) {
  if (condition) return;
  printf("mismatch: %s\n", what);
  ++mismatches;
}

static int near(double a, double b) { return fabs(a - b) <= 1e-12 * (1.0 + fabs(b)); }

static void check_header(Database *db) {
  char title[128], date[32], input_file[128], input_type[16], comments[3][80];
  char mass[16], length[16], time[16], force[16];
  ZEL_Header(db, title, date, input_file, input_type, comments[0], comments[1], comments[2]);
  expect(strcmp(title, "Fortran example plate") == 0, "title");
  expect(strcmp(input_file, "plate.f90") == 0, "input file name");
  expect(strcmp(input_type, "FORTRAN") == 0, "input file type");
  expect(strcmp(comments[0], "2 x 2 nodes, two modes") == 0, "first comment");
  expect(comments[1][0] == '\0' && comments[2][0] == '\0', "empty comments");
  ZEL_Units(db, mass, length, time, force);
  expect(strcmp(mass, "KILOGRAM") == 0 && strcmp(length, "METER") == 0 && strcmp(time, "SECOND") == 0 &&
             strcmp(force, "NEWTON") == 0,
         "units");
}

static void check_nodes(Database *db) {
  static const int ids[4] = {11, 12, 13, 14};
  int faces = 0, size = 0, count = 0, faces_list[5] = {0}, node;
  int *interface_ids;
  expect(ZEL_NodeCount(db) == 4, "node count");
  for (node = 0; node < 4 && ZEL_NodeCount(db) == 4; ++node) {
    double xyz[3];
    const int index = ZEL_NodeIndex(db, ids[node]);
    expect(index >= 0 && ZEL_NodeCoordinates(db, index, xyz), "node present");
    expect(near(xyz[0], 0.5 * (node % 2)) && near(xyz[1], 0.5 * (node / 2)) && xyz[2] == 0.0, "coordinates");
    expect(near(ZEL_NodalMass(db, index), 0.25), "nodal mass");
  }
  ZEL_FaceListSize(db, &faces, &size);
  expect(faces == 1 && size == 5, "face count");
  if (size == 5) {
    ZEL_ElementFaces(db, faces_list);
    expect(faces_list[0] == 4 && ZEL_NodeID(db, faces_list[1]) == 11 && ZEL_NodeID(db, faces_list[2]) == 12 &&
               ZEL_NodeID(db, faces_list[3]) == 14 && ZEL_NodeID(db, faces_list[4]) == 13,
           "face vertices");
  }
  interface_ids = ZEL_InterfaceNodeIDs(db, &count);
  expect(count == 1 && interface_ids != NULL && interface_ids[0] == 11, "interface node");
  ZEL_FreeMemory(interface_ids);
}

static void check_modes(Database *db) {
  static const double stiffness[2] = {400.0, 2500.0};
  int mode, node;
  expect(ZEL_ModeCount(db) == 2, "mode count");
  for (mode = 1; mode <= 2 && ZEL_ModeCount(db) == 2; ++mode) {
    double eigenvalue = 0.0, translations[12] = {0.0};
    expect(ZEL_Eigenvalue(db, mode, &eigenvalue, NULL, NULL, NULL, NULL) && near(eigenvalue, stiffness[mode - 1]),
           "eigenvalue");
    expect(ZEL_Mode(db, mode, 0, translations, 0) == 1, "mode shape read");
    for (node = 0; node < 4; ++node) {
      const double z = mode == 1 ? 1.0 : (node > 1 ? 1.0 : -1.0);
      const int index = ZEL_NodeIndex(db, 11 + node);
      expect(index >= 0 && translations[3 * index] == 0.0 && translations[3 * index + 1] == 0.0 &&
                 near(translations[3 * index + 2], z),
             "mode shape values");
    }
  }
}

int main(int argc, char **argv) {
  Database *db;
  if (argc != 2) {
    fprintf(stderr, "usage: check_fortran_body FILE\n");
    return 2;
  }
  db = ZEL_CreateFromZEL(argv[1]);
  if (db == NULL) {
    printf("mismatch: %s cannot be read\n", argv[1]);
    return 1;
  }
  check_header(db);
  check_nodes(db);
  check_modes(db);
  ZEL_UnLink(db);
  if (mismatches == 0) printf("every value the Fortran translator set reads back\n");
  return mismatches == 0 ? 0 : 1;
}
