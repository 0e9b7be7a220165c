/*
 * Builds a small body through the operations libzelcore exports and writes
 * it with the options of KOR_ZELWRITE_OPTIONS to the file named on the
 * command line.
 *
 *   core_translator FILE
 *
 * Exit status 0 when the body was built and written, 1 otherwise.
 */
#include <stdio.h>

#include "zelcore.h"

static int build(Database *db) {
  static const int ids[4] = {101, 102, 103, 104};
  int ok = 1, node, mode;
  ok = ok && ZEL_SetHeader(db, "core body", "core.fem", "FEM", "written by zelcore", "", "");
  ok = ok && ZEL_SetUnits(db, "kg", "mm", "s", "n");
  for (node = 0; node < 4; ++node) {
    ok = ok && ZEL_SetNodeCoordinates(db, ids[node], node % 2, node / 2, 0.25 * node);
    ok = ok && ZEL_SetNodalMass(db, ids[node], 0.5 + node);
  }
  ok = ok && ZEL_SetNodalInertia(db, ids[1], 1.0, 2.0, 3.0, 0.0, 0.0, 0.0);
  ok = ok && ZEL_SetFace(db, 4, ids[0], ids[1], ids[3], ids[2]);
  ok = ok && ZEL_SetInterfaceNode(db, ids[0]) && ZEL_SetInterfaceNode(db, ids[3]);
  for (mode = 1; mode <= 2; ++mode) {
    for (node = 0; node < 4; ++node)
      ok = ok && ZEL_SetMode(db, mode, ids[node], 0, mode == 1 ? 0.5 : 0.0, mode == 2 ? 0.25 * node : 0.0, 0.125,
                             0.0, 0.0, 0.01 * mode);
    ok = ok && ZEL_SetMode(db, mode, ids[2], 1, 10.0 * mode, 1, 2, 3, 4, 5);
    ok = ok && ZEL_SetGeneralizedMass(db, mode, mode, 1.0);
    ok = ok && ZEL_SetGeneralizedStiffness(db, mode, mode, 1000.0 * mode * mode);
  }
  return ok;
}

int main(int argc, char **argv) {
  Database *db;
  int ok;
  if (argc != 2) {
    fprintf(stderr, "usage: core_translator FILE\n");
    return 2;
  }
  db = ZEL_Create(4, 2);
  ok = db != NULL && build(db) && ZEL_write_ZEL(db, argv[1]);
  ZEL_Terminate();
  return ok ? 0 : 1;
}
