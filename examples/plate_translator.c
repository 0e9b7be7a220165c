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

int main(void) {
  Database *db = ZEL_Create(kColumns * kRows, 0);
  if (db == NULL || !build_plate(db)) {
    ZEL_Error("The example plate could not be built.");
    ZEL_Terminate();
    return 1;
  }
  ZEL_Info("Built a plate of %d nodes (last node ID %d at index %d).", kColumns * kRows,
           node_id(kColumns - 1, kRows - 1), ZEL_NodeIndex(db, node_id(kColumns - 1, kRows - 1)));
  ZEL_Info("Faces: %d quadrilaterals; interface nodes: 4 corners.", (kColumns - 1) * (kRows - 1));
  ZEL_Terminate();
  return 0;
}
