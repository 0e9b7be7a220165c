// Writes the ZEL file of a flat rectangular plate for the Python tests,
// benchmarks and pictures:
//
//   zel_plate_file PATH NX NY MODES [VERSION]
//
// NX x NY nodes (IDs 1, 2, ... row by row) on a 2:1 plate in the x-y plane,
// quad faces between them, nodal masses that sum to 1, the corner nodes as
// interface nodes, and MODES bending modes of a simply supported plate:
// mode k is sin(p pi x / a) sin(q pi y / b) in z, for the k-th lowest pair
// (p, q), with the rotations that go with it, and the generalized matrices
// and eigenvalue records that belong to these shapes: generalized mass
// sum(m w^2) (the nodes carry no rotary inertia), stiffness eigenvalue x
// mass. Exit status 0 when the file was written.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "zel_file_builder.h"

namespace {

constexpr double kLength = 2.0;  // a, along x
constexpr double kWidth = 1.0;   // b, along y

struct PlateMode {
  int p = 1, q = 1;
  double eigenvalue = 0.0;
};

// The `count` lowest plate modes, by eigenvalue (pi^4 ((p/a)^2 + (q/b)^2)^2).
std::vector<PlateMode> lowest_modes(int count) {
  std::vector<PlateMode> modes;
  for (int p = 1; p <= count; ++p)
    for (int q = 1; q <= count; ++q) {
      const double wave = std::pow(p / kLength, 2) + std::pow(q / kWidth, 2);
      modes.push_back({p, q, std::pow(std::numbers::pi, 4) * wave * wave});
    }
  std::stable_sort(modes.begin(), modes.end(),
                   [](const PlateMode &a, const PlateMode &b) { return a.eigenvalue < b.eigenvalue; });
  modes.resize(static_cast<std::size_t>(count));
  return modes;
}

// Translation z and rotations about x and y of a mode at (x, y).
double mode_component(const PlateMode &mode, double x, double y, int component) {
  const double kx = mode.p * std::numbers::pi / kLength, ky = mode.q * std::numbers::pi / kWidth;
  switch (component) {
    case 2: return std::sin(kx * x) * std::sin(ky * y);
    case 3: return ky * std::sin(kx * x) * std::cos(ky * y);   // dw/dy
    case 4: return -kx * std::cos(kx * x) * std::sin(ky * y);  // -dw/dx
    default: return 0.0;
  }
}

zel_test::ZelBody plate(int nx, int ny, int mode_count, uint32_t version) {
  zel_test::ZelBody body;
  body.version = version;
  body.header.title = "simply supported plate";
  body.header.date = "Mon Dec  7 08:00:00 2026";
  body.header.input_file_name = "plate.fem";
  body.header.input_file_type = "FEM";
  body.inertias = false;
  body.invariants = false;
  const double mass = 1.0 / (static_cast<double>(nx) * ny);
  std::vector<int32_t> ids;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      const int32_t id = static_cast<int32_t>(ids.size()) + 1;
      body.nodes.push_back({id, kLength * i / (nx - 1), kWidth * j / (ny - 1), 0.0, mass, std::nullopt});
      ids.push_back(id);
    }
  zel_test::FaceList faces;
  for (int j = 0; j + 1 < ny; ++j)
    for (int i = 0; i + 1 < nx; ++i) {
      const int32_t corner = j * nx + i;
      faces.list.insert(faces.list.end(), {4, corner, corner + 1, corner + 1 + nx, corner + nx});
      ++faces.face_count;
    }
  body.faces = faces;
  body.interface_nodes = std::vector<int32_t>{0, nx - 1, nx * (ny - 1), nx * ny - 1};

  const std::vector<PlateMode> modes = lowest_modes(mode_count);
  std::vector<int32_t> numbers;
  std::vector<double> eigen;
  zel_test::GeneralizedBlock stiffness{mode_count, {}}, generalized_mass{mode_count, {}};
  for (int m = 0; m < mode_count; ++m) {
    const PlateMode &mode = modes[static_cast<std::size_t>(m)];
    const double lambda = mode.eigenvalue, omega = std::sqrt(lambda);
    double mass_of_mode = 0.0;
    for (const zel_test::BodyNode &node : body.nodes)
      mass_of_mode += node.mass * std::pow(mode_component(mode, node.x, node.y, 2), 2);
    numbers.push_back(m + 1);
    eigen.insert(eigen.end(),
                 {m + 1.0, lambda, omega / (2 * std::numbers::pi), omega, mass_of_mode, lambda * mass_of_mode});
    stiffness.entries.push_back({m, m, lambda * mass_of_mode});
    generalized_mass.entries.push_back({m, m, mass_of_mode});
  }
  body.eigen = eigen;
  body.gen_stiff = stiffness;
  body.gen_mass = generalized_mass;
  const std::vector<zel_test::BodyNode> &nodes = body.nodes;
  body.mode_shapes = zel_test::ModalValues{
      zel::kModeShapeSet, mode_count, ids, numbers, [&nodes, modes](int mode, int position, int component) {
        const zel_test::BodyNode &node = nodes[static_cast<std::size_t>(position)];
        return mode_component(modes[static_cast<std::size_t>(mode)], node.x, node.y, component);
      }};
  return body;
}

int positive(const char *text) {
  const int value = std::atoi(text);
  return value > 0 ? value : 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 5 || argc > 6) {
    std::fprintf(stderr, "usage: zel_plate_file PATH NX NY MODES [VERSION]\n");
    return 2;
  }
  const int nx = positive(argv[2]), ny = positive(argv[3]), modes = positive(argv[4]);
  const uint32_t version = argc == 6 ? static_cast<uint32_t>(positive(argv[5])) : 316u;
  if (nx < 2 || ny < 2 || modes < 1 || version == 0) {
    std::fprintf(stderr, "zel_plate_file: NX and NY must be at least 2, MODES at least 1\n");
    return 2;
  }
  if (!zel_test::write_zel_file(plate(nx, ny, modes, version), argv[1])) {
    std::fprintf(stderr, "zel_plate_file: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
