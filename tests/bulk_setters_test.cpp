// The many-node setters against the per-node loops they replace: the same
// database, the same file and the same messages, refusals included.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "capture.h"
#include "scoped_env.h"
#include "zel.h"

using zel_test::capture;

namespace {

// Rows of values that differ in every component, so a row or a column
// taken from the wrong place shows.
std::vector<double> rows(int count, int width, double base) {
  std::vector<double> values(static_cast<std::size_t>(count * width));
  for (std::size_t k = 0; k < values.size(); ++k) values[k] = base + 0.25 * static_cast<double>(k) - 3.0;
  return values;
}

// What a filled database holds, through the queries, as bit patterns (so
// NaN compares equal to NaN): nodes with coordinates, masses and
// inertias, then per set its node IDs and every mode's six values a node,
// the pre-values included.
std::vector<uint64_t> contents(Database *db) {
  std::vector<uint64_t> held;
  auto put = [&held](double value) { held.push_back(std::bit_cast<uint64_t>(value)); };
  const int nodes = ZEL_NodeCount(db);
  put(nodes);
  for (int n = 0; n < nodes; ++n) {
    double xyz[3] = {0, 0, 0}, tensor[9] = {0};
    ZEL_NodeCoordinates(db, n, xyz);
    ZEL_NodalInertia(db, n, tensor);
    put(ZEL_NodeID(db, n));
    for (double v : xyz) put(v);
    put(ZEL_NodalMass(db, n));
    for (double v : tensor) put(v);
  }
  const int modes = ZEL_ModeCount(db);
  put(modes);
  for (int set = 0; set < 3; ++set) {
    const int count = ZEL_ModeNodeCount(db, set);
    put(count);
    for (int p = 0; p < count; ++p) put(ZEL_ModeNodeID(db, set, p));
    std::vector<double> values(6 * static_cast<std::size_t>(count));
    for (int m = -1; m < modes; ++m) {
      const int number = m < 0 ? 0 : ZEL_ModeNumber(db, m);  // number 0 first: the pre-values
      if (m < 0 && set == 0) continue;
      put(number);
      put(count > 0 && ZEL_Read_Mode_Double(db, number, set, values.data()));
      for (double v : values) put(v);
    }
  }
  return held;
}

// The temporary stores' names are random: the rest of a line must agree.
std::string without_store_names(const std::string &text) {
  static const std::regex kStoreName("zel_[A-Za-z0-9]{6}");
  return std::regex_replace(text, kStoreName, "zel_XXXXXX");
}

// One way of filling a body: per node, or in bulk; the result of the last
// call that failed, or 1.
using Fill = std::function<int(Database *, bool bulk)>;

// Fills one body per node and one in bulk; both must print the same and
// hold the same.
void expect_same_as_per_node(const Fill &fill, int max_modes = 10) {
  Database *per_node = ZEL_Create(4, max_modes);
  Database *bulk = ZEL_Create(4, max_modes);
  int per_node_result = 0, bulk_result = 0;
  const auto per_node_printed = capture([&] { per_node_result = fill(per_node, false); });
  const auto bulk_printed = capture([&] { bulk_result = fill(bulk, true); });
  EXPECT_EQ(bulk_result, per_node_result);
  EXPECT_EQ(bulk_printed.err, per_node_printed.err);
  EXPECT_EQ(without_store_names(bulk_printed.out), without_store_names(per_node_printed.out));
  std::vector<uint64_t> bulk_holds, per_node_holds;
  capture([&] {  // reading a mode a set lacks complains, alike for both
    bulk_holds = contents(bulk);
    per_node_holds = contents(per_node);
  });
  EXPECT_EQ(bulk_holds, per_node_holds);
  ZEL_UnLink(per_node);
  ZEL_UnLink(bulk);
}

// The per-node loop a translator writes: stops at the first refusal.
int each_node(const std::vector<int> &ids, int width, const std::vector<double> &values,
              const std::function<int(int id, const double *row)> &set) {
  for (std::size_t k = 0; k < ids.size(); ++k)
    if (!set(ids[k], values.data() + width * k)) return 0;
  return 1;
}

int coordinates(Database *db, bool bulk, const std::vector<int> &ids, const std::vector<double> &xyz) {
  if (bulk) return ZEL_SetNodeCoordinatesArray(db, static_cast<int>(ids.size()), ids.data(), xyz.data());
  return each_node(ids, 3, xyz, [db](int id, const double *r) { return ZEL_SetNodeCoordinates(db, id, r[0], r[1], r[2]); });
}

int masses(Database *db, bool bulk, const std::vector<int> &ids, const std::vector<double> &mass) {
  if (bulk) return ZEL_SetNodalMassArray(db, static_cast<int>(ids.size()), ids.data(), mass.data());
  return each_node(ids, 1, mass, [db](int id, const double *r) { return ZEL_SetNodalMass(db, id, r[0]); });
}

int inertias(Database *db, bool bulk, const std::vector<int> &ids, const std::vector<double> &inertia) {
  if (bulk) return ZEL_SetNodalInertiaArray(db, static_cast<int>(ids.size()), ids.data(), inertia.data());
  return each_node(ids, 6, inertia, [db](int id, const double *r) {
    return ZEL_SetNodalInertia(db, id, r[0], r[1], r[2], r[3], r[4], r[5]);
  });
}

int mode_values(Database *db, bool bulk, int number, int set, const std::vector<int> &ids, const std::vector<double> &values) {
  if (bulk) return ZEL_SetModeVecArray(db, number, set, static_cast<int>(ids.size()), ids.data(), values.data());
  return each_node(ids, 6, values,
                   [=](int id, const double *r) { return ZEL_SetModeVec(db, number, id, set, const_cast<double *>(r)); });
}

class BulkSetters : public ::testing::Test, protected zel_test::PrivateStoreDirectory {
 protected:
  void TearDown() override { ZEL_Terminate(); }
};

}  // namespace

// Each case fills a body as a translator would; the bulk calls must leave
// what the per-node loops leave. IDs are not sorted, repeat (a later row
// wins) and are new to some setters (the node is added).
TEST_F(BulkSetters, FillLeavesWhatThePerNodeLoopsLeave) {
  const std::vector<int> ids = {40, 10, 30, 20};
  const std::vector<int> repeated = {30, 50, 30, 10};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char *name;
    Fill fill;
  } cases[] = {
      {"coordinates, masses, inertias",
       [&](Database *db, bool bulk) {
         return coordinates(db, bulk, ids, rows(4, 3, 1)) & masses(db, bulk, repeated, rows(4, 1, 2)) &
                inertias(db, bulk, ids, rows(4, 6, 3));
       }},
      {"modes of every set, nodes new to a set",
       [&](Database *db, bool bulk) {
         coordinates(db, bulk, ids, rows(4, 3, 1));
         return mode_values(db, bulk, 7, 0, ids, rows(4, 6, 5)) & mode_values(db, bulk, 3, 0, repeated, rows(4, 6, 6)) &
                mode_values(db, bulk, 7, 1, repeated, rows(4, 6, 7)) & mode_values(db, bulk, 3, 2, ids, rows(4, 6, 8));
       }},
      {"pre-stress and pre-strain as mode number 0",
       [&](Database *db, bool bulk) {
         return mode_values(db, bulk, 0, 1, ids, rows(4, 6, 9)) & mode_values(db, bulk, 2, 1, repeated, rows(4, 6, 4)) &
                mode_values(db, bulk, 0, 2, repeated, rows(4, 6, 10));
       }},
      {"NaN, infinities, node IDs 0 and negative: taken as the per-node setters take them",
       [&](Database *db, bool bulk) {
         const std::vector<double> odd = {nan, -INFINITY, 1.0, INFINITY, nan, 0.0};
         return coordinates(db, bulk, {0, -5}, odd) & masses(db, bulk, {0, -5}, {nan, INFINITY}) &
                mode_values(db, bulk, 1, 0, {-5}, odd);
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    expect_same_as_per_node(c.fill);
  }
}

// Refusals of the per-node setter: the same message once, the same
// result, and the nodes before the refused one kept.
TEST_F(BulkSetters, RefusalsAreThePerNodeSettersOwn) {
  const std::vector<int> ids = {5, 6, 7};
  struct Case {
    const char *name;
    Fill fill;
  } cases[] = {
      {"unknown value set", [&](Database *db, bool bulk) { return mode_values(db, bulk, 1, 3, ids, rows(3, 6, 1)); }},
      {"negative value set", [&](Database *db, bool bulk) { return mode_values(db, bulk, 1, -1, ids, rows(3, 6, 1)); }},
      {"no room for another mode",
       [&](Database *db, bool bulk) {
         return mode_values(db, bulk, 1, 0, ids, rows(3, 6, 1)) & mode_values(db, bulk, 2, 0, ids, rows(3, 6, 2));
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    expect_same_as_per_node(c.fill, 1);
  }
  int result = 1;
  const auto printed = capture([&] { result = ZEL_SetModeVecArray(nullptr, 1, 0, 3, ids.data(), rows(3, 6, 1).data()); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed.err, "ERROR:  The database has not been initialized.\n");
}

// What only an array call can get wrong: its count and its pointers.
// Nothing is set then, and count 0 is an empty loop even without arrays.
TEST_F(BulkSetters, CountAndArraysAreCheckedBeforeAnythingIsSet) {
  const int ids[2] = {1, 2};
  const double values[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  using Call = std::function<int(Database *, int count, const int *, const double *)>;
  const struct Setter {
    const char *what;
    Call call;
  } setters[] = {
      {"coordinates", ZEL_SetNodeCoordinatesArray},
      {"masses", ZEL_SetNodalMassArray},
      {"inertias", ZEL_SetNodalInertiaArray},
      {"mode values", [](Database *db, int n, const int *i, const double *v) { return ZEL_SetModeVecArray(db, 4, 0, n, i, v); }},
  };
  const struct Arguments {
    int count;
    const int *ids;
    const double *values;
    int result;
    const char *message;  // %s: what the setter sets
  } arguments[] = {
      {0, nullptr, nullptr, 1, ""},
      {-1, ids, values, 0, "ERROR:  The %s of a negative number of nodes (-1) were given.\n"},
      {2, nullptr, values, 0, "ERROR:  The %s of 2 nodes were given without their node IDs.\n"},
      {2, ids, nullptr, 0, "ERROR:  The %s of 2 nodes were given without their values.\n"},
  };
  for (const Setter &setter : setters) {
    for (const Arguments &a : arguments) {
      SCOPED_TRACE(std::string(setter.what) + ", count " + std::to_string(a.count));
      Database *db = ZEL_Create(4, 4);
      int result = -7;
      const auto printed = capture([&] { result = setter.call(db, a.count, a.ids, a.values); });
      std::string expected(a.message);
      if (const auto at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, setter.what);
      EXPECT_EQ(result, a.result);
      EXPECT_EQ(printed.err, expected);
      EXPECT_EQ(ZEL_NodeCount(db), 0);
      EXPECT_EQ(ZEL_ModeCount(db), 0);
      ZEL_UnLink(db);
    }
  }
}

// A body built in bulk writes the very file the per-node body writes.
TEST_F(BulkSetters, BodiesBuiltBothWaysWriteTheSameFile) {
  zel_test::TempDir out;
  std::vector<int> ids;
  for (int id = 1; id <= 12; ++id) ids.push_back(id * 3);
  std::vector<double> xyz = rows(12, 3, 0.5), mass(12, 0.125);
  std::string bytes[2];
  for (const bool bulk : {false, true}) {
    Database *db = ZEL_Create(12, 4);
    const std::string path = out.path() + (bulk ? "/bulk.zel" : "/per_node.zel");
    const auto printed = capture([&] {
      coordinates(db, bulk, ids, xyz);
      masses(db, bulk, ids, mass);
      for (int number = 1; number <= 3; ++number) {
        mode_values(db, bulk, number, 0, ids, rows(12, 6, number));
        ZEL_SetGeneralizedMass(db, number, number, 1.0);
        ZEL_SetGeneralizedStiffness(db, number, number, 100.0 * number * number);
      }
      EXPECT_EQ(ZEL_write_ZEL(db, path.c_str()), 1);
    });
    EXPECT_EQ(printed.err, "");
    ZEL_UnLink(db);
    bytes[bulk] = zel_test::read_text_file(path);
  }
  EXPECT_GT(bytes[0].size(), 1000u);
  EXPECT_TRUE(bytes[0] == bytes[1]);
}
