// Mesh coarsening: the request text and its defaults, which nodes leave and
// which stay, and the shape of the face list left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "allocation_control.h"
#include "body/database.h"
#include "box_surface.h"
#include "capture.h"
#include "numeric/coarsen.h"
#include "zel.h"

namespace {

using zel_test::capture;

// The face list as faces, each its node indices; fails the test when the
// list is not a well-formed sequence of counts and valid node indices.
std::vector<std::vector<int>> faces_of(const Database *db) {
  std::vector<std::vector<int>> faces;
  std::size_t at = 0;
  while (at < db->face_list.size()) {
    const int n = db->face_list[at];
    EXPECT_GT(n, 0) << "face " << faces.size();
    EXPECT_LE(at + 1 + static_cast<std::size_t>(n), db->face_list.size()) << "face " << faces.size();
    if (n <= 0 || at + 1 + static_cast<std::size_t>(n) > db->face_list.size()) break;
    faces.emplace_back(db->face_list.begin() + static_cast<long>(at) + 1,
                       db->face_list.begin() + static_cast<long>(at) + 1 + n);
    for (int v : faces.back()) EXPECT_TRUE(v >= 0 && v < db->node_count()) << "vertex " << v;
    at += static_cast<std::size_t>(n) + 1;
  }
  EXPECT_EQ(static_cast<int>(faces.size()), db->face_count);
  return faces;
}

std::set<int> ids_on_faces(const Database *db) {
  std::set<int> ids;
  for (const auto &face : faces_of(db))
    for (int v : face) ids.insert(db->nodes[static_cast<std::size_t>(v)].id);
  return ids;
}

// The summed area of the faces, all lying in the plane z = 0.
double plane_area(const Database *db) {
  double total = 0.0;
  for (const auto &face : faces_of(db)) {
    double twice = 0.0;
    for (std::size_t k = 0; k < face.size(); ++k) {
      const zel::NodeRecord &a = db->nodes[static_cast<std::size_t>(face[k])];
      const zel::NodeRecord &b = db->nodes[static_cast<std::size_t>(face[(k + 1) % face.size()])];
      twice += a.x * b.y - b.x * a.y;
    }
    total += std::fabs(twice) / 2.0;
  }
  return total;
}

// The unit square in the plane z = 0 as an n x n grid of squares, each cut
// into two triangles; node (i, j) has ID 1 + i + (n + 1) j. With
// `mixed_winding`, every other square's triangles are wound the other way.
int plate_id(int n, int i, int j) { return 1 + i + (n + 1) * j; }

Database *triangulated_plate(int n, bool mixed_winding = false) {
  Database *db = ZEL_Create((n + 1) * (n + 1), 4);
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) ZEL_SetNodeCoordinates(db, plate_id(n, i, j), double(i) / n, double(j) / n, 0.0);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const int a = plate_id(n, i, j), b = plate_id(n, i + 1, j), c = plate_id(n, i + 1, j + 1),
                d = plate_id(n, i, j + 1);
      if (mixed_winding && (i + j) % 2 == 1) {
        ZEL_SetFace(db, 3, a, c, b);
        ZEL_SetFace(db, 3, a, d, c);
      } else {
        ZEL_SetFace(db, 3, a, b, c);
        ZEL_SetFace(db, 3, a, c, d);
      }
    }
  return db;
}

std::set<int> plate_outline(int n) {
  std::set<int> ids;
  for (int k = 0; k <= n; ++k) ids.insert({plate_id(n, k, 0), plate_id(n, k, n), plate_id(n, 0, k), plate_id(n, n, k)});
  return ids;
}

// The surface of the unit cube, each side an n x n grid of quadrilaterals;
// the IDs of the nodes on the cube's edges are collected.
Database *quad_cube(int n, std::set<int> &edge_ids) {
  Database *db = ZEL_Create(6 * (n + 1) * (n + 1), 4);
  std::map<zel_test::LatticePoint, int> ids;
  auto id_of = [&](const zel_test::LatticePoint &p) {
    auto [it, added] = ids.emplace(p, static_cast<int>(ids.size()) + 1);
    if (added) ZEL_SetNodeCoordinates(db, it->second, double(p[0]) / n, double(p[1]) / n, double(p[2]) / n);
    int on_boundary = 0;
    for (int c : p) on_boundary += c == 0 || c == n;
    if (on_boundary >= 2) edge_ids.insert(it->second);
    return it->second;
  };
  zel_test::for_each_box_square(n, [&](const std::array<zel_test::LatticePoint, 4> &square) {
    ZEL_SetFace(db, 4, id_of(square[0]), id_of(square[1]), id_of(square[2]), id_of(square[3]));
  });
  return db;
}

class CoarsenTest : public ::testing::Test {
 protected:
  void TearDown() override { ZEL_Terminate(); }
};

constexpr char kResolutionWarning[] =
    "WARNING:  Coarsening resolution outside the 0-50 percent range not supported.  You selected ";
constexpr char kAngleWarning[] = "WARNING:  Face angles outside the 0-45 degree range not supported.  You selected ";

TEST_F(CoarsenTest, OutOfRangeValuesWarnAndFallBackToTheDefaults) {
  struct Case {
    const char *settings;
    std::string warnings;
    std::string announced;
  };
  const std::vector<Case> cases = {
      {"0.6,50,0", std::string(kResolutionWarning) + "60.000000\nWARNING:  \n" + kAngleWarning + "50.000000\nWARNING:  \n",
       "Coarsening to resolution 2% with face-angle 10.00 deg"},
      {"-0.001,45,1", std::string(kResolutionWarning) + "0.000000\nWARNING:  \n",
       "Coarsening to resolution 2% with face-angle 45.00 deg and co-linear vertex removal"},
      {"0.5,0,0", std::string(kAngleWarning) + "0.000000\nWARNING:  \n",
       "Coarsening to resolution 50% with face-angle 10.00 deg"},
      {"0.29;12.345;7", "", "Coarsening to resolution 28% with face-angle 12.35 deg and co-linear vertex removal"},
      {"nan,inf,0", std::string(kResolutionWarning) + "nan\nWARNING:  \n" + kAngleWarning + "inf\nWARNING:  \n",
       "Coarsening to resolution 2% with face-angle 10.00 deg"},
      {"", std::string(kResolutionWarning) + "0.000000\nWARNING:  \n" + kAngleWarning + "0.000000\nWARNING:  \n",
       "Coarsening to resolution 2% with face-angle 10.00 deg"},
  };
  for (const Case &c : cases) {
    Database *db = triangulated_plate(2);
    const auto printed = capture([&] { ZEL_TrimGeometry(db, c.settings); });
    EXPECT_EQ(printed.err, c.warnings) << c.settings;
    EXPECT_EQ(printed.out.substr(0, printed.out.find('\n')), c.announced) << c.settings;
    ZEL_UnLink(db);
  }
}

TEST_F(CoarsenTest, AnEmptyFaceListReportsNoReduction) {
  Database *db = ZEL_Create(3, 0);
  ZEL_SetNodeCoordinates(db, 1, 0.0, 0.0, 0.0);
  ZEL_SetNodeCoordinates(db, 2, 1.0, 0.0, 0.0);
  const auto printed = capture([&] { ZEL_TrimGeometry(db, "0.1,20,0"); });
  EXPECT_EQ(printed.out,
            "Coarsening to resolution 10% with face-angle 20.00 deg\nPreserving nodes: \n NONE\n\nFace reduction from 0 to 0\n");
  EXPECT_EQ(printed.err, "");
  EXPECT_TRUE(db->face_list.empty());
}

TEST_F(CoarsenTest, AFlatPlateLosesInteriorNodesAndKeepsItsOutlineAndArea) {
  const int n = 8;
  Database *db = triangulated_plate(n);
  const auto printed = capture([&] { ZEL_TrimGeometry(db, "0.5,10,0"); });
  const std::set<int> kept = ids_on_faces(db);
  for (int id : plate_outline(n)) EXPECT_TRUE(kept.count(id)) << "outline node " << id;
  EXPECT_LT(kept.size(), static_cast<std::size_t>((n + 1) * (n + 1)));
  EXPECT_NEAR(plane_area(db), 1.0, 1e-12);
  EXPECT_LT(db->face_count, 2 * n * n);
  EXPECT_NE(printed.out.find("\nFace reduction from 128 to " + std::to_string(db->face_count) + "\n"), std::string::npos);
  EXPECT_EQ(db->node_count(), (n + 1) * (n + 1));  // removed nodes keep their place in the node table
}

// A face's normal flips with its winding; flatness is about the plane, not
// the side, so a plate meshed both ways loses the same nodes.
TEST_F(CoarsenTest, AFlatPlateWoundBothWaysCoarsensLikeAConsistentlyWoundOne) {
  const int n = 8;
  Database *consistent = triangulated_plate(n);
  Database *mixed = triangulated_plate(n, true);
  capture([&] {
    ZEL_TrimGeometry(consistent, "0.5,10,0");
    ZEL_TrimGeometry(mixed, "0.5,10,0");
  });
  EXPECT_LT(mixed->face_count, 2 * n * n);
  EXPECT_EQ(mixed->face_count, consistent->face_count);
  EXPECT_EQ(ids_on_faces(mixed), ids_on_faces(consistent));
  EXPECT_NEAR(plane_area(mixed), 1.0, 1e-12);
}

TEST_F(CoarsenTest, ColinearRemovalKeepsTheCornersAndTheArea) {
  const int n = 32;  // edges of 1/32, shorter than 5 percent of the diagonal
  Database *db = triangulated_plate(n);
  capture([&] { ZEL_TrimGeometry(db, "0.5,10,1"); });
  const std::set<int> kept = ids_on_faces(db);
  for (int id : {plate_id(n, 0, 0), plate_id(n, n, 0), plate_id(n, 0, n), plate_id(n, n, n)})
    EXPECT_TRUE(kept.count(id)) << "corner " << id;
  EXPECT_FALSE(kept.count(plate_id(n, n / 2, 0))) << "a vertex in the middle of a straight outline stays";
  EXPECT_NEAR(plane_area(db), 1.0, 1e-12);
}

TEST_F(CoarsenTest, PreservedNodesStayAndArePrinted) {
  const int n = 6;
  // Every one of these goes when nothing is preserved.
  const int centre = plate_id(n, 3, 3), stressed = plate_id(n, 2, 1), strained = plate_id(n, 2, 5),
            listed = plate_id(n, 2, 3), after_zero = plate_id(n, 2, 2);
  struct Case {
    std::string settings;
    std::string preserved;  // the lines after "Preserving nodes: "
    std::set<int> kept;
    std::set<int> removed;
  };
  const std::vector<Case> cases = {
      {"0.5,10,0", " NONE\n", {}, {centre, stressed, strained, listed, after_zero}},
      {"0.5,10,0,preserve_str", std::to_string(stressed) + " \n" + std::to_string(strained) + " \n",
       {stressed, strained}, {centre, listed}},
      {"0.5,10,0," + std::to_string(listed) + ",9999,0," + std::to_string(after_zero),
       std::to_string(listed) + " \n", {listed}, {after_zero, stressed}},
      {"0.5,10,0," + std::to_string(centre) + ",0,preserve_str",
       std::to_string(centre) + " \n" + std::to_string(stressed) + " \n" + std::to_string(strained) + " \n",
       {centre, stressed, strained}, {listed}},
  };
  const double six[6] = {1, 2, 3, 4, 5, 6};
  for (const Case &c : cases) {
    Database *db = triangulated_plate(n);
    ASSERT_EQ(ZEL_SetPreStressVec(db, stressed, const_cast<double *>(six)), 1);
    ASSERT_EQ(ZEL_SetPreStrainVec(db, strained, const_cast<double *>(six)), 1);
    const auto printed = capture([&] { ZEL_TrimGeometry(db, c.settings.c_str()); });
    EXPECT_NE(printed.out.find("\nPreserving nodes: \n" + c.preserved + "\nFace reduction"), std::string::npos)
        << c.settings << "\n" << printed.out;
    const std::set<int> kept = ids_on_faces(db);
    for (int id : c.kept) EXPECT_TRUE(kept.count(id)) << c.settings << ": node " << id << " left";
    for (int id : c.removed) EXPECT_FALSE(kept.count(id)) << c.settings << ": node " << id << " stayed";
    EXPECT_NEAR(plane_area(db), 1.0, 1e-12) << c.settings;
    ZEL_UnLink(db);
  }
}

TEST_F(CoarsenTest, InterfaceNodesAreNeverRemoved) {
  const int n = 6;
  Database *db = triangulated_plate(n);
  const int centre = plate_id(n, 3, 3);
  ASSERT_EQ(ZEL_SetInterfaceNode(db, centre), 1);
  const auto printed = capture([&] { ZEL_TrimGeometry(db, "0.5,10,0"); });
  EXPECT_NE(printed.out.find("\nPreserving nodes: \n" + std::to_string(centre) + " \n\n"), std::string::npos);
  EXPECT_TRUE(ids_on_faces(db).count(centre));
  EXPECT_FALSE(ids_on_faces(db).count(plate_id(n, 2, 2)));
  EXPECT_NEAR(plane_area(db), 1.0, 1e-12);
}

TEST_F(CoarsenTest, ACubeKeepsItsEdgesAndLosesTheInsidesOfItsSides) {
  std::set<int> edge_ids;
  Database *db = quad_cube(4, edge_ids);
  const int nodes = db->node_count();
  capture([&] { ZEL_TrimGeometry(db, "0.5,10,0"); });
  const std::set<int> kept = ids_on_faces(db);
  for (int id : edge_ids) EXPECT_TRUE(kept.count(id)) << "edge node " << id;
  EXPECT_EQ(nodes - static_cast<int>(edge_ids.size()), 6 * 3 * 3);
  EXPECT_LT(kept.size(), static_cast<std::size_t>(nodes)) << "no node inside a side went";
}

// Meshes of every shape the pass may meet (holes, folds, faces wound
// either way, a face given twice) still give a well-formed list, and the
// nodes that must stay keep their place in it.
TEST_F(CoarsenTest, RandomMeshesStayWellFormedAndKeepTheirInterfaceNodes) {
  std::mt19937 random(20261207);
  const int n = 5;
  for (int trial = 0; trial < 120; ++trial) {
    Database *db = ZEL_Create((n + 1) * (n + 1), 0);
    std::uniform_real_distribution<double> bump(-0.02, 0.02);
    for (int j = 0; j <= n; ++j)
      for (int i = 0; i <= n; ++i)
        ZEL_SetNodeCoordinates(db, plate_id(n, i, j), double(i) / n, double(j) / n, trial % 2 ? bump(random) : 0.0);
    std::bernoulli_distribution keep(0.8), flip(0.2);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        std::array<int, 3> lower = {plate_id(n, i, j), plate_id(n, i + 1, j), plate_id(n, i + 1, j + 1)};
        std::array<int, 3> upper = {plate_id(n, i, j), plate_id(n, i + 1, j + 1), plate_id(n, i, j + 1)};
        for (auto *face : {&lower, &upper}) {
          if (!keep(random)) continue;
          if (flip(random)) std::swap((*face)[1], (*face)[2]);
          ZEL_SetFaceList(db, 3, face->data());
        }
      }
    std::uniform_int_distribution<int> any_node(1, (n + 1) * (n + 1));
    ZEL_SetInterfaceNode(db, any_node(random));
    const std::set<int> before = ids_on_faces(db);
    const std::string settings = "0." + std::to_string(1 + trial % 5) + ",30," + std::to_string(trial % 3);
    capture([&] { ZEL_TrimGeometry(db, settings.c_str()); });
    const std::set<int> after = ids_on_faces(db);
    for (int index : db->interface_nodes) {
      const int id = db->nodes[static_cast<std::size_t>(index)].id;
      EXPECT_EQ(after.count(id), before.count(id)) << "trial " << trial << ": interface node " << id;
    }
    EXPECT_TRUE(std::includes(before.begin(), before.end(), after.begin(), after.end())) << "trial " << trial;
    ZEL_UnLink(db);
  }
}

TEST_F(CoarsenTest, ANodeIndexOutsideTheNodeTableIsCarriedThrough) {
  Database *db = triangulated_plate(4);
  const std::vector<int32_t> stray = {3, 0, 1, 1000, 4, 2, 3, -7, 4};
  db->face_list.insert(db->face_list.end(), stray.begin(), stray.end());
  db->face_count += 2;
  capture([&] { ZEL_TrimGeometry(db, "0.5,10,1"); });
  const std::vector<int32_t> tail(db->face_list.end() - 9, db->face_list.end());
  EXPECT_EQ(tail, stray);
}

TEST_F(CoarsenTest, TheRequestIsReadWithinItsText) {
  struct Case {
    std::string text;
    double resolution, face_angle;
    bool colinear;
    std::vector<int32_t> ids;
    bool preserve;
  };
  const std::vector<Case> cases = {
      {"0.1,20,1,5,-6,0,7,preserve_str", 0.1, 20, true, {5, -6}, true},
      {"0.1,20,0,9", 0.1, 20, false, {9}, false},
      {"0.1", 0.1, 0, false, {}, false},
      {"0.1,20,0,99999999999,4", 0.1, 20, false, {4}, false},
      {"0.1 20 3 preserve_st", 0.1, 20, true, {}, false},
      {"0.1,20,0,x,preserve_str", 0.1, 20, false, {}, true},
  };
  for (const Case &c : cases) {
    // An exact-size copy, so that a read past the terminator is caught.
    std::unique_ptr<char[]> text(new char[c.text.size() + 1]);
    std::memcpy(text.get(), c.text.c_str(), c.text.size() + 1);
    const zel::CoarsenRequest request = zel::parse_coarsen_request(text.get());
    EXPECT_EQ(request.resolution, c.resolution) << c.text;
    EXPECT_EQ(request.face_angle, c.face_angle) << c.text;
    EXPECT_EQ(request.colinear_removal, c.colinear) << c.text;
    EXPECT_EQ(request.kept_ids, c.ids) << c.text;
    EXPECT_EQ(request.preserve_stress_strain, c.preserve) << c.text;
  }
}

TEST_F(CoarsenTest, ABadHandleOrNoRequestChangesNothing) {
  auto printed = capture([] { ZEL_TrimGeometry(nullptr, "0.1,10,0"); });
  EXPECT_EQ(printed.err, "ERROR:  The database has not been initialized.\n");
  EXPECT_EQ(printed.out, "");
  Database *db = triangulated_plate(3);
  const std::vector<int32_t> before = db->face_list;
  printed = capture([&] { ZEL_TrimGeometry(db, nullptr); });
  EXPECT_EQ(printed.out + printed.err, "");
  EXPECT_EQ(db->face_list, before);
}

TEST_F(CoarsenTest, RunningOutOfMemoryLeavesTheFaceListAsItWas) {
  Database *db = triangulated_plate(40);
  const std::vector<int32_t> before = db->face_list;
  const std::size_t list_bytes = before.size() * sizeof(int32_t);
  zel_test::Printed printed;
  zel_test::with_allocations_refused_from(list_bytes, [&] { printed = capture([&] { ZEL_TrimGeometry(db, "0.1,10,0"); }); });
  const std::string memory = "ERROR:  Failed to allocate memory at line ";
  ASSERT_EQ(printed.err.compare(0, memory.size(), memory), 0) << printed.err;
  EXPECT_NE(printed.err.find(" in file zelcoarse.\nERROR:  \nERROR:  Problem encountered while trimming geometry\nERROR:  \n"),
            std::string::npos)
      << printed.err;
  EXPECT_EQ(db->face_list, before);
  EXPECT_EQ(db->face_count, 2 * 40 * 40);
}

}  // namespace
