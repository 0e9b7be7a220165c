/*
 * A program built outside the source tree against an installed library:
 * it builds a two-node body and queries it back. Uses only operations both
 * libraries export, so it builds against either.
 */
#include <stdio.h>

#include "zelcore.h"

int main(void) {
  Database *db = ZEL_Create(2, 1);
  double xyz[3] = {0.0, 0.0, 0.0};
  int ok = db != NULL;
  ok = ok && ZEL_SetNodeCoordinates(db, 7, 1.0, 2.0, 3.0) && ZEL_SetNodeCoordinates(db, 9, 4.0, 5.0, 6.0);
  ok = ok && ZEL_NodeCount(db) == 2 && ZEL_NodeCoordinates(db, ZEL_NodeIndex(db, 9), xyz) && xyz[2] == 6.0;
  ZEL_Terminate();
  printf("%s\n", ok ? "installed library works" : "installed library failed");
  return ok ? 0 : 1;
}
