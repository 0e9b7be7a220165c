/* A plain C99 program against the public header and the shared library. */
#include <stdio.h>

#include "zel.h"

int main(void) {
  Database *db = ZEL_Create(10, 2);
  int ids[3] = {1, 2, 3};
  int ok = db != NULL;
  ok = ok && ZEL_SetNodeCoordinates(db, 1, 0.0, 0.0, 0.0);
  ok = ok && ZEL_SetFaceList(db, 3, ids);
  ok = ok && ZEL_NodeIndex(db, 3) == 2;
  ZEL_UnLink(db);
  if (!ok) {
    fprintf(stderr, "C consumer failed\n");
    return 1;
  }
  return 0;
}
