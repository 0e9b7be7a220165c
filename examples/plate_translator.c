/*
 * An example translator: builds a small flexible body, a flat plate of
 * 7 x 5 nodes, through the builder interface and prints what it built.
 *
 * The plate is 0.6 m x 0.4 m, 2 mm steel: each node carries its share of
 * the mass and a small rotary inertia; the 24 quadrilaterals are its faces
 * and the four corners are where it is attached.
 */
#include <stdio.h>

#include "zel.h"

enum { kColumns = 7, kRows = 5 };

static int node_id(int column, int row) { return 100 + row * kColumns + column; }

static int build_plate(Database *db) {
  const double width = 0.6, height = 0.4, thickness = 0.002, density = 7850.0;
  const double dx = width / (kColumns - 1), dy = height / (kRows - 1);
  const double plate_mass = width * height * thickness * density;
  int row, column, ok = 1;

  ok = ok && ZEL_SetHeader(db, "Example plate", "plate.example", "EXAMPLE", "7 x 5 nodes, 2 mm steel",
                           "Built by the example translator", "");
  for (row = 0; row < kRows; ++row) {
    for (column = 0; column < kColumns; ++column) {
      /* Edge and corner nodes carry a half and a quarter share. */
      double share = 1.0;
      double mass;
      if (row == 0 || row == kRows - 1) share *= 0.5;
      if (column == 0 || column == kColumns - 1) share *= 0.5;
      mass = plate_mass * share / ((kColumns - 1) * (kRows - 1));
      ok = ok && ZEL_SetNodeCoordinates(db, node_id(column, row), column * dx, row * dy, 0.0);
      ok = ok && ZEL_SetNodalMass(db, node_id(column, row), mass);
      ok = ok && ZEL_SetNodalInertia(db, node_id(column, row), mass * dy * dy / 12.0, mass * dx * dx / 12.0,
                                     mass * (dx * dx + dy * dy) / 12.0, 0.0, 0.0, 0.0);
    }
  }
  for (row = 0; row + 1 < kRows; ++row)
    for (column = 0; column + 1 < kColumns; ++column)
      ok = ok && ZEL_SetFace(db, 4, node_id(column, row), node_id(column + 1, row),
                             node_id(column + 1, row + 1), node_id(column, row + 1));
  ok = ok && ZEL_SetInterfaceNode(db, node_id(0, 0));
  ok = ok && ZEL_SetInterfaceNode(db, node_id(kColumns - 1, 0));
  ok = ok && ZEL_SetInterfaceNode(db, node_id(kColumns - 1, kRows - 1));
  ok = ok && ZEL_SetInterfaceNode(db, node_id(0, kRows - 1));
  ok = ok && ZEL_CalculateGlobalMassFromNodeMass(db);
  return ok;
}

static void print_summary(Database *db) {
  double mass = 0.0, inertia[9], cm[3];
  int faces = 0, face_list_size = 0, interface_count = 0;
  int *interface_ids = ZEL_InterfaceNodeIDs(db, &interface_count);
  char title[128];
  ZEL_Header(db, title, NULL, NULL, NULL, NULL, NULL, NULL);
  ZEL_FaceListSize(db, &faces, &face_list_size);
  ZEL_TotalMassInertia(db, &mass, inertia, cm);
  ZEL_Info("\nBody \"%s\": %d nodes, %d faces (%d list entries), %d interface nodes", title,
           ZEL_NodeCount(db), faces, face_list_size, interface_count);
  if (interface_ids != NULL)
    ZEL_Info("Interface node IDs: %d %d %d %d", interface_ids[0], interface_ids[1], interface_ids[2],
             interface_ids[3]);
  ZEL_FreeMemory(interface_ids);
  ZEL_Info("Mass %.4f kg, centre of mass (%.4f, %.4f, %.4f) m", mass, cm[0], cm[1], cm[2]);
  ZEL_Info("Inertia about the origin [kg m^2]:\n%12.6f %12.6f %12.6f\n%12.6f %12.6f %12.6f\n%12.6f %12.6f %12.6f",
           inertia[0], inertia[1], inertia[2], inertia[3], inertia[4], inertia[5], inertia[6], inertia[7],
           inertia[8]);
}

int main(void) {
  Database *db = ZEL_Create(kColumns * kRows, 0);
  if (db == NULL || !build_plate(db)) {
    ZEL_Error("The example plate could not be built.");
    ZEL_Terminate();
    return 1;
  }
  print_summary(db);
  ZEL_Terminate();
  return 0;
}
