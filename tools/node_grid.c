/*
 * node_grid.c - a uniform grid of cells over a point cloud for nearest-point
 * queries. About two points per cell; a flat or slender cloud gets cells
 * small enough that its populated cells still hold few points each.
 */
#include "node_grid.h"

#include <math.h>
#include <stdlib.h>

struct NodeGrid {
  double origin[3];
  double cell_size;
  int cells[3];     /* along x, y, z */
  size_t *first;    /* per cell (x fastest), its first entry; one more at the end */
  double *xyz;      /* the points in cell order */
  int *position;    /* their positions in the caller's list */
};

enum { POINTS_PER_CELL = 2, MOST_HALVINGS = 64 };

static int is_finite_point(const double *p) { return isfinite(p[0]) && isfinite(p[1]) && isfinite(p[2]); }

static double cell_count_for(const double extent[3], double size) {
  double cells = 1.0;
  int d;
  for (d = 0; d < 3; ++d) cells *= floor(extent[d] / size) + 1.0;
  return cells;
}

/* A cube's side gives about the wanted number of cells for a solid cloud;
 * a flat or slender one fills few of them, so the side shrinks until the
 * cells are numerous enough there too. */
static double choose_cell_size(const double extent[3], int count) {
  const double wanted = count / POINTS_PER_CELL > 1 ? (double)(count / POINTS_PER_CELL) : 1.0;
  double largest = fmax(extent[0], fmax(extent[1], extent[2])), size;
  int halvings;
  if (!isfinite(largest)) return INFINITY;
  if (largest <= 0.0) return 1.0;
  size = largest / cbrt(wanted);
  for (halvings = 0; halvings < MOST_HALVINGS && cell_count_for(extent, size) < wanted / 4.0; ++halvings)
    size /= 2.0;
  /* A cloud of extents near the smallest doubles, where the side underflows:
   * one cell, slow but right. */
  return cell_count_for(extent, size) <= 8.0 * wanted + 8.0 ? size : INFINITY;
}

static int clamped_cell(double offset, double size, int cells) {
  const double cell = floor(offset / size);
  if (!(cell > 0.0)) return 0;
  return cell >= cells - 1 ? cells - 1 : (int)cell;
}

static size_t cell_of(const NodeGrid *grid, const double *p, int cell[3]) {
  int d;
  for (d = 0; d < 3; ++d) cell[d] = clamped_cell(p[d] - grid->origin[d], grid->cell_size, grid->cells[d]);
  return ((size_t)cell[2] * (size_t)grid->cells[1] + (size_t)cell[1]) * (size_t)grid->cells[0] + (size_t)cell[0];
}

static void set_bounds(NodeGrid *grid, const double *xyz, int count) {
  double low[3] = {0.0, 0.0, 0.0}, high[3] = {0.0, 0.0, 0.0}, extent[3];
  int any = 0, i, d;
  for (i = 0; i < count; ++i) {
    const double *p = xyz + 3 * (size_t)i;
    if (!is_finite_point(p)) continue;
    for (d = 0; d < 3; ++d) {
      if (!any || p[d] < low[d]) low[d] = p[d];
      if (!any || p[d] > high[d]) high[d] = p[d];
    }
    any = 1;
  }
  for (d = 0; d < 3; ++d) extent[d] = high[d] - low[d];
  grid->cell_size = choose_cell_size(extent, count);
  for (d = 0; d < 3; ++d) {
    grid->origin[d] = low[d];
    /* A cloud too wide to measure (coordinates near the largest doubles)
     * is one cell too. */
    grid->cells[d] = isfinite(grid->cell_size) ? (int)(floor(extent[d] / grid->cell_size) + 1.0) : 1;
  }
}

/* A counting sort by cell: within a cell the points keep their order. */
static int fill_cells(NodeGrid *grid, const double *xyz, int count) {
  const size_t cells = (size_t)grid->cells[0] * (size_t)grid->cells[1] * (size_t)grid->cells[2];
  size_t *cell_of_point = malloc(((size_t)count + 1) * sizeof *cell_of_point);
  size_t c, used = 0;
  int i, cell[3];
  grid->first = calloc(cells + 1, sizeof *grid->first);
  if (cell_of_point == NULL || grid->first == NULL) {
    free(cell_of_point);
    return 0;
  }
  for (i = 0; i < count; ++i) {
    const double *p = xyz + 3 * (size_t)i;
    cell_of_point[i] = is_finite_point(p) ? cell_of(grid, p, cell) : cells;
    if (cell_of_point[i] < cells) ++grid->first[cell_of_point[i] + 1], ++used;
  }
  for (c = 0; c < cells; ++c) grid->first[c + 1] += grid->first[c];
  grid->xyz = malloc((used + 1) * 3 * sizeof *grid->xyz);
  grid->position = malloc((used + 1) * sizeof *grid->position);
  if (grid->xyz != NULL && grid->position != NULL) {
    size_t *next = calloc(cells, sizeof *next);
    if (next != NULL) {
      for (i = 0; i < count; ++i) {
        const size_t home = cell_of_point[i];
        size_t at;
        if (home == cells) continue;
        at = grid->first[home] + next[home]++;
        grid->xyz[3 * at] = xyz[3 * (size_t)i];
        grid->xyz[3 * at + 1] = xyz[3 * (size_t)i + 1];
        grid->xyz[3 * at + 2] = xyz[3 * (size_t)i + 2];
        grid->position[at] = i;
      }
      free(next);
      free(cell_of_point);
      return 1;
    }
  }
  free(cell_of_point);
  return 0;
}

NodeGrid *node_grid_new(const double *xyz, int count) {
  NodeGrid *grid = calloc(1, sizeof *grid);
  if (grid == NULL) return NULL;
  if (count < 0) count = 0;
  set_bounds(grid, xyz, count);
  if (!fill_cells(grid, xyz, count)) {
    node_grid_free(grid);
    return NULL;
  }
  return grid;
}

void node_grid_free(NodeGrid *grid) {
  if (grid == NULL) return;
  free(grid->first);
  free(grid->xyz);
  free(grid->position);
  free(grid);
}

typedef struct Search {
  const double *point;
  double reach_squared;
  double best_distance;
  int best;
} Search;

static void search_cell(const NodeGrid *grid, Search *search, size_t cell) {
  const double *p = search->point;
  size_t at;
  for (at = grid->first[cell]; at < grid->first[cell + 1]; ++at) {
    const double *q = grid->xyz + 3 * at;
    const double dx = q[0] - p[0], dy = q[1] - p[1], dz = q[2] - p[2];
    const double d = dx * dx + dy * dy + dz * dz;
    const int position = grid->position[at];
    if (d > search->reach_squared) continue;
    if (search->best < 0 || d < search->best_distance ||
        (d == search->best_distance && position < search->best)) {
      search->best = position;
      search->best_distance = d;
    }
  }
}

static int in_range(int cell, int cells) { return cell >= 0 && cell < cells; }

/* The cells whose largest offset from `home` along any axis is exactly
 * `ring`: the shell around the cells already searched. */
static void search_ring(const NodeGrid *grid, Search *search, const int home[3], int ring) {
  int dx, dy, dz;
  for (dz = -ring; dz <= ring; ++dz) {
    const int z = home[2] + dz;
    if (!in_range(z, grid->cells[2])) continue;
    for (dy = -ring; dy <= ring; ++dy) {
      const int y = home[1] + dy;
      const int on_shell = dz == -ring || dz == ring || dy == -ring || dy == ring;
      const int step = on_shell || ring == 0 ? 1 : 2 * ring;
      if (!in_range(y, grid->cells[1])) continue;
      for (dx = -ring; dx <= ring; dx += step) {
        const int x = home[0] + dx;
        if (in_range(x, grid->cells[0]))
          search_cell(grid, search, ((size_t)z * (size_t)grid->cells[1] + (size_t)y) * (size_t)grid->cells[0] +
                                        (size_t)x);
      }
    }
  }
}

/* How far the point is from the nearest cell not searched yet once the
 * rings up to `ring` are done: infinity when every cell is searched. */
static double unsearched_margin(const NodeGrid *grid, const double *p, const int home[3], int ring) {
  double margin = INFINITY;
  int d;
  for (d = 0; d < 3; ++d) {
    if (home[d] - ring > 0) margin = fmin(margin, p[d] - (grid->origin[d] + (home[d] - ring) * grid->cell_size));
    if (home[d] + ring < grid->cells[d] - 1)
      margin = fmin(margin, grid->origin[d] + (home[d] + ring + 1) * grid->cell_size - p[d]);
  }
  return margin > 0.0 ? margin : 0.0;
}

int node_grid_nearest(const NodeGrid *grid, const double point[3], double reach) {
  Search search;
  int home[3], ring;
  if (grid == NULL || !is_finite_point(point) || !(reach >= 0.0)) return -1;
  search.point = point;
  search.reach_squared = reach * reach;
  search.best_distance = INFINITY;
  search.best = -1;
  cell_of(grid, point, home);
  for (ring = 0;; ++ring) {
    double margin;
    search_ring(grid, &search, home, ring);
    margin = unsearched_margin(grid, point, home, ring);
    /* A point as near as the best could still come first by position, so
     * the search ends only when everything left is strictly farther. */
    if (margin == INFINITY || margin > reach || (search.best >= 0 && search.best_distance < margin * margin))
      return search.best;
  }
}
