/*
 * node_grid.h - the nearest of many points to each of many others, fast:
 * the points sorted into a uniform grid of cells, each query looking in
 * shells of cells around its own until nothing farther can be nearer.
 * Answers as a linear scan would: the nearest by squared distance, the
 * first point on a tie. Compiles as C99 and C++.
 */
#ifndef ZEL_NODE_GRID_H
#define ZEL_NODE_GRID_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct NodeGrid NodeGrid;

/* A grid over `count` points, x, y, z each; the coordinates are copied.
 * A point with a coordinate that is not finite is never found. NULL when
 * memory runs out. */
NodeGrid *node_grid_new(const double *xyz, int count);

void node_grid_free(NodeGrid *grid);

/* The position (0..count-1) of the point nearest to `point` whose
 * distance is at most `reach` (infinity: any), the lowest position among
 * equally near ones; -1 when there is none. */
int node_grid_nearest(const NodeGrid *grid, const double point[3], double reach);

#ifdef __cplusplus
}
#endif

#endif /* ZEL_NODE_GRID_H */
