// The surface of the unit cube as a lattice of squares, shared by the
// coarsening tests and benchmarks.
#ifndef ZEL_TEST_BOX_SURFACE_H
#define ZEL_TEST_BOX_SURFACE_H

#include <array>
#include <cstddef>

namespace zel_test {

using LatticePoint = std::array<int, 3>;  // each coordinate in 0..n

// Calls square(corners) for every square of the cube's surface, each side
// an n x n grid: the four lattice points in order around the square.
template <class Square>
void for_each_box_square(int n, Square &&square) {
  for (int axis = 0; axis < 3; ++axis)
    for (int side : {0, n})
      for (int u = 0; u < n; ++u)
        for (int v = 0; v < n; ++v) {
          auto corner = [&](int du, int dv) {
            LatticePoint p{};
            p[static_cast<std::size_t>(axis)] = side;
            p[static_cast<std::size_t>((axis + 1) % 3)] = u + du;
            p[static_cast<std::size_t>((axis + 2) % 3)] = v + dv;
            return p;
          };
          square(std::array<LatticePoint, 4>{corner(0, 0), corner(1, 0), corner(1, 1), corner(0, 1)});
        }
}

}  // namespace zel_test

#endif  // ZEL_TEST_BOX_SURFACE_H
