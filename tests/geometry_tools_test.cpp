// Node searches, interior-face stripping, sketch files, geometry nodes and
// node exchange.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include "capture.h"
#include "body/database.h"
#include "allocation_control.h"
#include "zel.h"

namespace {

using zel_test::capture;
namespace fs = std::filesystem;

const std::string kNotInitialized = "ERROR:  The database has not been initialized.\n";

std::vector<int> take(int *array, int count) {
  std::vector<int> values(array, array + count);
  ZEL_FreeMemory(array);
  return values;
}

std::vector<int> closest_nodes(Database *db, std::array<double, 3> p, int k, int interface_only) {
  int count = -1;
  int *found = ZEL_ClosestNodes(db, p.data(), k, interface_only, &count);
  EXPECT_EQ(found == nullptr, count == 0);
  return take(found, count);
}

std::vector<int> neighborhood(Database *db, std::array<double, 3> p, double radius, int interface_only) {
  int count = -1;
  int *found = ZEL_ClosestNodesInNeighborhood(db, p.data(), radius, interface_only, &count);
  EXPECT_EQ(found == nullptr, count == 0);
  return take(found, count);
}

std::vector<int> geometry_nodes(Database *db) {
  int count = -1;
  int *nodes = ZEL_GeometryNodes(db, &count);
  return take(nodes, count);
}

// The face list as faces, each its node indices.
std::vector<std::vector<int>> faces_of(const Database *db) {
  std::vector<std::vector<int>> faces;
  for (std::size_t at = 0; at < db->face_list.size(); at += static_cast<std::size_t>(db->face_list[at]) + 1)
    faces.emplace_back(db->face_list.begin() + static_cast<long>(at) + 1,
                       db->face_list.begin() + static_cast<long>(at) + 1 + db->face_list[at]);
  return faces;
}

class GeometryToolsTest : public ::testing::Test {
 protected:
  void TearDown() override { ZEL_Terminate(); }

  // Nodes with IDs 100, 101, ... at the given points, indices 0, 1, ...
  Database *body_with_nodes(const std::vector<std::array<double, 3>> &points) {
    Database *db = ZEL_Create(static_cast<int>(points.size()), 0);
    for (std::size_t i = 0; i < points.size(); ++i)
      ZEL_SetNodeCoordinates(db, 100 + static_cast<int>(i), points[i][0], points[i][1], points[i][2]);
    return db;
  }
};

// The search rules as a plain insertion into a sorted buffer, the slow way,
// for comparison: ties keep scan order.
std::vector<int> k_nearest_by_insertion(const Database *db, std::array<double, 3> p, int k) {
  std::vector<std::pair<double, int>> buffer;
  for (int i = 0; i < db->node_count(); ++i) {
    const zel::NodeRecord &n = db->nodes[static_cast<std::size_t>(i)];
    const double d = (n.x - p[0]) * (n.x - p[0]) + (n.y - p[1]) * (n.y - p[1]) + (n.z - p[2]) * (n.z - p[2]);
    std::size_t at = buffer.size();
    while (at > 0 && buffer[at - 1].first > d) --at;
    buffer.insert(buffer.begin() + static_cast<long>(at), {d, i});
    if (buffer.size() > static_cast<std::size_t>(k)) buffer.pop_back();
  }
  std::vector<int> indices;
  for (const auto &entry : buffer) indices.push_back(entry.second);
  return indices;
}

TEST_F(GeometryToolsTest, ClosestNodeTiesGoToTheFirstScanned) {
  Database *db = body_with_nodes({{2, 0, 0}, {-1, 0, 0}, {1, 0, 0}, {0, 5, 0}});
  double origin[3] = {0, 0, 0};
  EXPECT_EQ(ZEL_ClosestNode(db, origin, 0), 1);
  double on_node[3] = {0, 5, 0};
  EXPECT_EQ(ZEL_ClosestNode(db, on_node, 0), 3);
  double between[3] = {1.5, 0, 0};
  EXPECT_EQ(ZEL_ClosestNode(db, between, 0), 0);
}

TEST_F(GeometryToolsTest, ClosestNodeAmongInterfaceNodesInTheirOrder) {
  Database *db = body_with_nodes({{0, 0, 0}, {3, 0, 0}, {-3, 0, 0}, {9, 0, 0}});
  double origin[3] = {0, 0, 0};
  // Without interface nodes every node is a candidate.
  EXPECT_EQ(ZEL_ClosestNode(db, origin, 1), 0);
  ZEL_SetInterfaceNode(db, 103);
  ZEL_SetInterfaceNode(db, 102);
  ZEL_SetInterfaceNode(db, 101);
  EXPECT_EQ(ZEL_ClosestNode(db, origin, 1), 2);
  EXPECT_EQ(ZEL_ClosestNode(db, origin, 0), 0);
}

TEST_F(GeometryToolsTest, ClosestNodeRejectsWhatItCannotSearch) {
  double origin[3] = {0, 0, 0};
  auto printed = capture([&] { EXPECT_EQ(ZEL_ClosestNode(nullptr, origin, 0), -1); });
  EXPECT_EQ(printed.err, kNotInitialized);
  Database *empty = ZEL_Create(0, 0);
  printed = capture([&] { EXPECT_EQ(ZEL_ClosestNode(empty, origin, 0), -1); });
  EXPECT_EQ(printed.err, "ERROR:  There are no nodes to search.\n");
  printed = capture([&] { EXPECT_EQ(ZEL_ClosestNode(empty, origin, 1), -1); });
  EXPECT_EQ(printed.err, "ERROR:  There are no nodes to search.\n");
  printed = capture([&] { EXPECT_EQ(ZEL_ClosestNode(body_with_nodes({{1, 1, 1}}), nullptr, 0), -1); });
  EXPECT_EQ(printed.err, "ERROR:  A node search needs a point.\n");
}

TEST_F(GeometryToolsTest, ClosestNodeWithoutMemoryFailsWithTheMemoryMessage) {
  Database *db = body_with_nodes({{1, 1, 1}, {2, 2, 2}});
  ZEL_SetInterfaceNode(db, 101);  // the search copies the interface list
  double point[3] = {0, 0, 0};
  int found = 0;
  const auto printed = capture([&] {
    zel_test::with_allocations_refused_from(1, [&] { found = ZEL_ClosestNode(db, point, 1); });
  });
  EXPECT_EQ(found, -1);
  EXPECT_EQ(printed.err.rfind("ERROR:  Failed to allocate memory at line ", 0), 0u) << printed.err;
  EXPECT_TRUE(printed.err.ends_with(" in file zeltools.\nERROR:  \n")) << printed.err;
  EXPECT_EQ(ZEL_ClosestNode(db, point, 1), 1);
}

TEST_F(GeometryToolsTest, ClosestNodesMatchInsertionOrderOnATieRichGrid) {
  // A 12 x 12 x 12 lattice: every point has many nodes at equal distance.
  std::vector<std::array<double, 3>> points;
  std::mt19937 shuffle(7);
  for (int i = 0; i < 12 * 12 * 12; ++i) points.push_back({double(i % 12), double(i / 12 % 12), double(i / 144)});
  std::shuffle(points.begin(), points.end(), shuffle);
  Database *db = body_with_nodes(points);
  for (const std::array<double, 3> p : {std::array<double, 3>{5, 5, 5}, {5.5, 5.5, 5}, {0, 0, 0}, {-3, 20, 6.5}})
    for (const int k : {1, 2, 7, 27, 100, 5000})
      EXPECT_EQ(closest_nodes(db, p, k, 0), k_nearest_by_insertion(db, p, k)) << "k = " << k;
}

TEST_F(GeometryToolsTest, ClosestNodesReturnsAllCandidatesWhenKIsLarger) {
  Database *db = body_with_nodes({{4, 0, 0}, {1, 0, 0}, {-1, 0, 0}, {2, 0, 0}});
  EXPECT_EQ(closest_nodes(db, {0, 0, 0}, 10, 0), (std::vector<int>{1, 2, 3, 0}));
  EXPECT_EQ(closest_nodes(db, {0, 0, 0}, 0, 0), std::vector<int>{});
  EXPECT_EQ(closest_nodes(db, {0, 0, 0}, -4, 0), std::vector<int>{});
  // Asking for interface nodes when there are none finds nothing.
  EXPECT_EQ(closest_nodes(db, {0, 0, 0}, 3, 1), std::vector<int>{});
  ZEL_SetInterfaceNode(db, 103);
  ZEL_SetInterfaceNode(db, 100);
  EXPECT_EQ(closest_nodes(db, {0, 0, 0}, 3, 1), (std::vector<int>{3, 0}));
  // An interface entry that names no node is passed over.
  db->interface_nodes.push_back(4000);
  EXPECT_EQ(closest_nodes(db, {0, 0, 0}, 3, 1), (std::vector<int>{3, 0}));
  EXPECT_EQ(neighborhood(db, {0, 0, 0}, 100.0, 1), (std::vector<int>{3, 0}));
}

TEST_F(GeometryToolsTest, NeighborhoodIncludesTheRadiusAndPutsLaterTiesFirst) {
  Database *db = body_with_nodes({{1, 0, 0}, {0, 3, 0}, {0, 0.5, 0}, {-1, 0, 0}, {0, 1, 0}, {0, 2.0001, 0}});
  EXPECT_EQ(neighborhood(db, {0, 0, 0}, 2.0, 0), (std::vector<int>{2, 4, 3, 0}));
  EXPECT_EQ(neighborhood(db, {0, 0, 0}, 3.0, 0), (std::vector<int>{2, 4, 3, 0, 5, 1}));
  EXPECT_EQ(neighborhood(db, {10, 10, 10}, 1.0, 0), std::vector<int>{});
  EXPECT_EQ(neighborhood(db, {0, 0, 0}, 5.0, 1), std::vector<int>{});
}

TEST_F(GeometryToolsTest, ListSearchesRejectANullHandle) {
  double origin[3] = {0, 0, 0};
  int count = 5;
  auto printed = capture([&] { EXPECT_EQ(ZEL_ClosestNodesInNeighborhood(nullptr, origin, 1.0, 0, &count), nullptr); });
  EXPECT_EQ(printed.err, kNotInitialized);
  EXPECT_EQ(count, 0);
  count = 5;
  printed = capture([&] { EXPECT_EQ(ZEL_ClosestNodes(nullptr, origin, 3, 0, &count), nullptr); });
  EXPECT_EQ(printed.err, kNotInitialized);
  EXPECT_EQ(count, 0);
}

// Outward-oriented faces of the unit hexahedron at (i, j, k) of a lattice
// whose node IDs run 1 + i + (n+1) (j + (n+1) k).
void add_hexahedron(Database *db, int n, int i, int j, int k) {
  auto id = [n](int x, int y, int z) { return 1 + x + (n + 1) * (y + (n + 1) * z); };
  const int c[8] = {id(i, j, k),         id(i + 1, j, k),         id(i + 1, j + 1, k),         id(i, j + 1, k),
                    id(i, j, k + 1),     id(i + 1, j, k + 1),     id(i + 1, j + 1, k + 1),     id(i, j + 1, k + 1)};
  static constexpr int kFaces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                       {3, 7, 6, 2}, {0, 4, 7, 3}, {1, 2, 6, 5}};
  for (const auto &f : kFaces) ZEL_SetFace(db, 4, c[f[0]], c[f[1]], c[f[2]], c[f[3]]);
}

Database *hexahedral_block(int n, int nx) {
  Database *db = ZEL_Create(0, 0);
  for (int k = 0; k <= n; ++k)
    for (int j = 0; j <= n; ++j)
      for (int i = 0; i <= nx; ++i) ZEL_SetNodeCoordinates(db, 1 + i + (n + 1) * (j + (n + 1) * k), i, j, k);
  for (int k = 0; k < n; ++k)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < nx; ++i) add_hexahedron(db, n, i, j, k);
  return db;
}

bool on_block_surface(const Database *db, const std::vector<int> &face, double size) {
  for (int axis = 0; axis < 3; ++axis) {
    for (const double side : {0.0, size}) {
      bool all = true;
      for (int v : face) {
        const zel::NodeRecord &n = db->nodes[static_cast<std::size_t>(v)];
        all = all && (axis == 0 ? n.x : axis == 1 ? n.y : n.z) == side;
      }
      if (all) return true;
    }
  }
  return false;
}

TEST_F(GeometryToolsTest, TwoHexahedraLoseTheirSharedFace) {
  Database *db = hexahedral_block(1, 2);  // two cubes side by side along x
  ASSERT_EQ(db->face_count, 12);
  const auto printed = capture([&] { ZEL_StripCommonFaces(db); });
  EXPECT_EQ(printed.out, "Stripping interior faces\n");
  EXPECT_EQ(db->face_count, 10);
  EXPECT_EQ(db->face_list_size(), 50);
  const std::vector<std::vector<int>> faces = faces_of(db);
  ASSERT_EQ(faces.size(), 10u);
  for (const std::vector<int> &face : faces) {
    EXPECT_EQ(*std::max_element(face.begin(), face.end()), face.front()) << "largest index leads";
    const bool shared = std::all_of(face.begin(), face.end(), [&](int v) { return db->nodes[v].x == 1.0; });
    EXPECT_FALSE(shared);
  }
}

TEST_F(GeometryToolsTest, BlockKeepsExactlyItsSkin) {
  Database *db = hexahedral_block(3, 3);
  ASSERT_EQ(db->face_count, 27 * 6);
  capture([&] { ZEL_StripCommonFaces(db); });
  const std::vector<std::vector<int>> faces = faces_of(db);
  EXPECT_EQ(db->face_count, 6 * 9);
  ASSERT_EQ(faces.size(), 54u);
  std::set<std::vector<int>> distinct(faces.begin(), faces.end());
  EXPECT_EQ(distinct.size(), 54u);
  for (const std::vector<int> &face : faces) EXPECT_TRUE(on_block_surface(db, face, 3.0));
}

TEST_F(GeometryToolsTest, RepeatedTrianglesByOrientation) {
  Database *db = body_with_nodes({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
  ZEL_SetFace(db, 3, 100, 101, 102);
  ZEL_SetFace(db, 3, 101, 102, 100);  // the same cycle, same orientation
  ZEL_SetFace(db, 3, 100, 101, 103);
  ZEL_SetFace(db, 3, 103, 101, 100);  // the same cycle, opposite orientation
  capture([&] { ZEL_StripCommonFaces(db); });
  EXPECT_EQ(faces_of(db), (std::vector<std::vector<int>>{{2, 0, 1}}));
  EXPECT_EQ(db->face_count, 1);
}

TEST_F(GeometryToolsTest, SingleFaceIsKeptAndAnEmptyListIsLeftAlone) {
  Database *db = body_with_nodes({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
  ZEL_SetFace(db, 4, 100, 103, 101, 102);
  capture([&] { ZEL_StripCommonFaces(db); });
  EXPECT_EQ(faces_of(db), (std::vector<std::vector<int>>{{3, 1, 2, 0}}));

  Database *empty = ZEL_Create(0, 0);
  const auto printed = capture([&] { ZEL_StripCommonFaces(empty); });
  EXPECT_EQ(printed.out, "");
  EXPECT_EQ(printed.err.rfind("ERROR:  Failed to allocate memory at line ", 0), 0u) << printed.err;
  EXPECT_NE(printed.err.find(" in file zeltools.\nERROR:  \n"), std::string::npos) << printed.err;
  EXPECT_EQ(empty->face_count, 0);
}

class SketchTest : public GeometryToolsTest {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zel_sketch_" + std::to_string(getpid()));
    fs::create_directories(dir_);
    db = body_with_nodes({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}});
    ZEL_SetFace(db, 3, 100, 101, 102);
  }
  void TearDown() override {
    fs::remove_all(dir_);
    GeometryToolsTest::TearDown();
  }

  std::string sketch(const std::string &text) {
    const std::string path = (dir_ / ("sketch" + std::to_string(files_++))).string();
    std::ofstream(path) << text;
    return path;
  }

  // Applies a sketch; the face list must be untouched when a warning says
  // the sketch was refused.
  zel_test::Printed apply(const std::string &path) {
    const std::vector<int32_t> before = db->face_list;
    const auto printed = capture([&] { ZEL_SketchGrid(db, path.c_str()); });
    if (!printed.err.empty()) {
      EXPECT_EQ(db->face_list, before);
      EXPECT_EQ(db->face_count, 1);
    }
    return printed;
  }

  Database *db = nullptr;

 private:
  fs::path dir_;
  int files_ = 0;
};

TEST_F(SketchTest, ReplacesTheFaceList) {
  const std::string path = sketch("2\n3 101 102 103\n 4 101 103\t104 105\n");
  const auto printed = apply(path);
  EXPECT_EQ(printed.out, "Using sketch file " + path + " to replace 1 faces with 2\n");
  EXPECT_EQ(printed.err, "");
  EXPECT_EQ(db->face_list, (std::vector<int32_t>{3, 1, 2, 3, 4, 1, 3, 4, 5}));
  EXPECT_EQ(db->face_count, 2);
}

TEST_F(SketchTest, NoFacesInstallsAnEmptyList) {
  apply(sketch("0"));
  EXPECT_TRUE(db->face_list.empty());
  EXPECT_EQ(db->face_count, 0);
}

TEST_F(SketchTest, UnknownNodeLeavesTheFacesInPlace) {
  const auto printed = apply(sketch("2 3 101 102 103 3 101 999 104"));
  EXPECT_EQ(printed.err, "WARNING:  Incorrect definition of face 2.  No node 999. Aborting.\n");
}

TEST_F(SketchTest, MalformedFilesAreRefused) {
  EXPECT_EQ(apply(sketch("2 3 101 102 103 3 101")).err, "WARNING:  Incorrect definition of face 2.  Aborting.\n");
  EXPECT_EQ(apply(sketch("1 x 101")).err, "WARNING:  Incorrect definition of face 1.  Aborting.\n");
  // A face without vertices, or with a negative count, is no face.
  EXPECT_EQ(apply(sketch("1 0")).err, "WARNING:  Incorrect definition of face 1.  Aborting.\n");
  EXPECT_EQ(apply(sketch("1 -2147483647 101")).err, "WARNING:  Incorrect definition of face 1.  Aborting.\n");
  EXPECT_EQ(apply(sketch("1 3 101 102 99999999999")).err, "WARNING:  Incorrect definition of face 1.  Aborting.\n");

  const std::string words = sketch("faces: 2");
  EXPECT_EQ(apply(words).err, "WARNING:  Sketch file " + words + " does not start with a face count\n");
  const std::string negative = sketch("-1");
  EXPECT_EQ(apply(negative).err, "WARNING:  Sketch file " + negative + " does not start with a face count\n");
  const std::string missing = sketch("") + "_missing";
  EXPECT_EQ(apply(missing).err, "WARNING:  Failed to open sketch file " + missing + "\n");
  const auto printed = capture([&] { ZEL_SketchGrid(db, nullptr); });
  EXPECT_EQ(printed.err, "WARNING:  Failed to apply sketch file.  Usage: sketch(filename)\n");
  EXPECT_EQ(capture([] { ZEL_SketchGrid(nullptr, "x"); }).err, kNotInitialized);
}

std::size_t open_descriptors() {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{}));
}

TEST_F(SketchTest, AnAbandonedSketchIsClosed) {
  const std::string bad = sketch("3 3 101 102 103 2 101 7");
  const std::size_t before = open_descriptors();
  for (int i = 0; i < 5; ++i) apply(bad);
  EXPECT_EQ(open_descriptors(), before);
}

// The sketch faces are the body's faces from now on: the face block is
// marked present and the geometry nodes are their corners.
TEST_F(SketchTest, SketchFacesCountAsTheBodysFaces) {
  Database *bare = body_with_nodes({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
  const std::string path = sketch("1 3 100 101 102");
  capture([&] { ZEL_SketchGrid(bare, path.c_str()); });
  EXPECT_EQ(zel::block_flag(*bare, zel::kFacesBlock), 1);

  EXPECT_EQ(geometry_nodes(db), (std::vector<int>{0, 1, 2}));
  apply(sketch("1 3 101 104 105"));
  EXPECT_EQ(geometry_nodes(db), (std::vector<int>{1, 4, 5}));
}

TEST_F(GeometryToolsTest, GeometryNodesAreFaceCornersAndInterfaceNodes) {
  Database *db = body_with_nodes(std::vector<std::array<double, 3>>(9, {0, 0, 0}));
  ZEL_SetFace(db, 3, 101, 102, 103);
  ZEL_SetFace(db, 3, 102, 103, 104);
  ZEL_SetInterfaceNode(db, 107);
  ZEL_SetInterfaceNode(db, 102);
  EXPECT_EQ(geometry_nodes(db), (std::vector<int>{1, 2, 3, 4, 7}));
  // A face added later through the builder joins the list.
  ZEL_SetFace(db, 3, 100, 105, 106);
  EXPECT_EQ(geometry_nodes(db), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(GeometryToolsTest, GeometryNodesNeedFaces) {
  Database *db = body_with_nodes({{0, 0, 0}, {1, 0, 0}});
  int count = 3;
  auto printed = capture([&] { EXPECT_EQ(ZEL_GeometryNodes(db, &count), nullptr); });
  EXPECT_EQ(printed.err.rfind("ERROR:  Failed to allocate memory at line ", 0), 0u) << printed.err;
  EXPECT_EQ(count, 0);
  ZEL_SetInterfaceNode(db, 101);
  printed = capture([&] { EXPECT_EQ(ZEL_GeometryNodes(db, &count), nullptr); });
  EXPECT_EQ(printed.err, "ERROR:  Missing element face information\n");
  printed = capture([&] { EXPECT_EQ(ZEL_GeometryNodes(nullptr, &count), nullptr); });
  EXPECT_EQ(printed.err, kNotInitialized);
}

TEST_F(GeometryToolsTest, SwappedNodesAreFoundAtTheirNewPlaces) {
  Database *db = body_with_nodes({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
  ZEL_SetNodalMass(db, 101, 5.0);
  ZEL_SetNodalInertia(db, 101, 1, 2, 3, 4, 5, 6);
  ZEL_SetFace(db, 3, 100, 101, 102);
  ZEL_SetInterfaceNode(db, 101);
  ASSERT_EQ(geometry_nodes(db), (std::vector<int>{0, 1, 2}));
  db->sets[zel::kStressSet].node_of_position = {3, 1};

  ZEL_SwapNodesByID(db, 101, 103);
  EXPECT_EQ(ZEL_NodeIndex(db, 101), 3);
  EXPECT_EQ(ZEL_NodeIndex(db, 103), 1);
  EXPECT_EQ(ZEL_NodeIndex(db, 100), 0);
  const zel::NodeRecord &moved = db->nodes[3];
  EXPECT_EQ(moved.id, 101);
  EXPECT_DOUBLE_EQ(moved.x, 1.0);
  EXPECT_DOUBLE_EQ(moved.mass, 5.0);
  ASSERT_TRUE(moved.inertia);
  EXPECT_DOUBLE_EQ((*moved.inertia)[5], 6.0);
  EXPECT_EQ(db->nodes[1].id, 103);
  EXPECT_DOUBLE_EQ(db->nodes[1].x, 3.0);
  EXPECT_FALSE(db->nodes[1].inertia);
  // Everything that names the nodes by index follows them.
  EXPECT_EQ(db->face_list, (std::vector<int32_t>{3, 0, 3, 2}));
  EXPECT_EQ(db->interface_nodes, std::vector<int32_t>{3});
  EXPECT_EQ(db->sets[zel::kStressSet].node_of_position, (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(geometry_nodes(db), (std::vector<int>{0, 2, 3}));
  double at_one[3] = {1, 0, 0};
  EXPECT_EQ(ZEL_ClosestNode(db, at_one, 0), 3);
  const std::span<const zel::IdPos> sorted = db->node_sorted.sorted();
  ASSERT_EQ(sorted.size(), 4u);
  EXPECT_EQ(sorted[1].pos, 3);
  EXPECT_EQ(sorted[3].pos, 1);
}

TEST_F(GeometryToolsTest, SwapWithAnUnknownIdDoesNothing) {
  Database *db = body_with_nodes({{0, 0, 0}, {1, 0, 0}});
  ZEL_SwapNodesByID(db, 100, 555);
  ZEL_SwapNodesByID(db, 100, 100);
  EXPECT_EQ(db->nodes[0].id, 100);
  EXPECT_EQ(db->nodes[1].id, 101);
  EXPECT_EQ(ZEL_NodeIndex(db, 101), 1);
}

// Stored mode shapes sit by node index; moving the nodes under them would
// hand each node the other's mode shape.
TEST_F(GeometryToolsTest, SwapIsRefusedOnceModeShapesAreStored) {
  Database *db = body_with_nodes({{0, 0, 0}, {1, 0, 0}});
  ASSERT_TRUE(db->temp[zel::kModeShapeSet].create(zel::kModeShapeSet, 1, 2, true));
  const auto printed = capture([&] { ZEL_SwapNodesByID(db, 100, 101); });
  EXPECT_EQ(printed.err,
            "ERROR:  Cannot exchange nodes 100 and 101: mode shapes are already stored by node position.\n");
  EXPECT_EQ(db->nodes[0].id, 100);
}

}  // namespace
