/*
 * An example translator: builds a small flexible body, a flat plate of
 * 7 x 5 nodes, through the builder interface, prints what it built and
 * writes it as a ZEL file (the first argument, else plate.zel).
 *
 * The plate is 0.6 m x 0.4 m, 2 mm steel: each node carries its share of
 * the mass and a small rotary inertia; the 24 quadrilaterals are its faces
 * and the four corners are where it is attached. Its modes are the first
 * four of a simply supported plate, sampled at the nodes; their
 * generalized masses come from the nodal masses and rotary inertias, so
 * the writer scales the modes to unit generalized mass.
 */
#include <math.h>
#include <stdio.h>

#include "zel.h"

enum { kColumns = 7, kRows = 5 };

static int node_id(int column, int row) { return 100 + row * kColumns + column; }

static const double kWidth = 0.6, kHeight = 0.4, kThickness = 0.002, kDensity = 7850.0;

/* Half-waves along x and y of each mode. */
static const int kHalfWaves[4][2] = {{1, 1}, {2, 1}, {1, 2}, {3, 1}};

/* Sets one plate mode (deflection and the two slopes at every node) and
 * its generalized mass and stiffness. */
static int add_plate_mode(Database *db, int number, double dx, double dy) {
  const double pi = 3.14159265358979323846, young = 210e9, poisson = 0.3;
  const double a = kHalfWaves[number - 1][0] * pi / kWidth, b = kHalfWaves[number - 1][1] * pi / kHeight;
  const double rigidity = young * kThickness * kThickness * kThickness / (12.0 * (1.0 - poisson * poisson));
  const double omega = (a * a + b * b) * sqrt(rigidity / (kDensity * kThickness));
  double generalized_mass = 0.0;
  int row, column, ok = 1;
  for (row = 0; row < kRows; ++row) {
    for (column = 0; column < kColumns; ++column) {
      const double x = column * dx, y = row * dy;
      const double w = sin(a * x) * sin(b * y);
      const double slope_x = b * sin(a * x) * cos(b * y), slope_y = -a * cos(a * x) * sin(b * y);
      const int index = ZEL_NodeIndex(db, node_id(column, row));
      double inertia[9];
      /* The rotations move the nodes' rotary inertia too: phi^T M phi
       * takes both. */
      ok = ok && ZEL_NodalInertia(db, index, inertia);
      generalized_mass += ZEL_NodalMass(db, index) * w * w + inertia[0] * slope_x * slope_x +
                          inertia[4] * slope_y * slope_y;
      ok = ok && ZEL_SetMode(db, number, node_id(column, row), 0, 0.0, 0.0, w, slope_x, slope_y, 0.0);
    }
  }
  return ok && ZEL_SetGeneralizedMass(db, number, number, generalized_mass) &&
         ZEL_SetGeneralizedStiffness(db, number, number, omega * omega * generalized_mass);
}

static int build_plate(Database *db) {
  const double width = kWidth, height = kHeight, thickness = kThickness, density = kDensity;
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
  for (column = 1; column <= 4; ++column) ok = ok && add_plate_mode(db, column, dx, dy);
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

int main(int argc, char **argv) {
  const char *path = argc > 1 ? argv[1] : "plate.zel";
  int written;
  Database *db = ZEL_Create(kColumns * kRows, 4);
  if (db == NULL || !build_plate(db)) {
    ZEL_Error("The example plate could not be built.");
    ZEL_Terminate();
    return 1;
  }
  print_summary(db);
  written = ZEL_write_ZEL(db, path);
  if (written) ZEL_Info("\nWrote %s", path);
  ZEL_Terminate();
  return written ? 0 : 1;
}
