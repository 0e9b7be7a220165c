// Header, coordinates, old-style topology, global properties, nodal masses
// and inertias, units, element faces and interface nodes: round trips in
// every encoding and precision, the sizes the container relies on, and
// hostile blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "format/blocks.h"
#include "allocation_control.h"
#include "blocks_files.h"
#include "capture.h"

namespace {

using zel::NodeRecord;
using zel::ZelFile;
using zel_test::BlockFile;
using zel_test::Encoding;

// A database whose node table holds the given IDs, in order.
void add_nodes(Database &db, std::initializer_list<int32_t> ids) {
  for (int32_t id : ids) {
    db.node_sorted.insert(id, db.node_count());
    NodeRecord node;
    node.id = id;
    db.nodes.push_back(std::move(node));
  }
}

std::vector<NodeRecord> sample_nodes() {
  std::vector<NodeRecord> nodes(3);
  const double xyz[3][3] = {{1.5, -2.25, 3.0}, {0.0, 0.125, -1e3}, {42.0, 7.5, -0.5}};
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    nodes[n].id = 100 + static_cast<int32_t>(n) * 7;
    nodes[n].x = xyz[n][0];
    nodes[n].y = xyz[n][1];
    nodes[n].z = xyz[n][2];
    nodes[n].mass = 0.5 * static_cast<double>(n + 1);
  }
  return nodes;
}

class GeometryBlocks : public ::testing::TestWithParam<Encoding> {
 protected:
  BlockFile file_{GetParam()};
  int64_t w() const { return GetParam().xdr ? 4 : 1; }
  int64_t r() const { return GetParam().double_precision ? 8 : 4; }
};

TEST_P(GeometryBlocks, HeaderKeepsEveryFieldAndDropsPadding) {
  zel::Header written;
  written.title = std::string(128, 'T');  // a field may be full
  written.date = "2026-12-07 08:00";
  written.input_file_name = "plate.op2";
  written.input_file_type = "NASTRAN";
  written.comment = {"first   comment", "", "third"};
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_header(f, written); }));
  EXPECT_EQ(file_.size(), 544 * w());

  zel::Header read;
  ASSERT_TRUE(zel::read_header(file_.reader(), read));
  EXPECT_EQ(read.title, written.title);
  EXPECT_EQ(read.date, written.date);
  EXPECT_EQ(read.input_file_name, written.input_file_name);
  EXPECT_EQ(read.input_file_type, written.input_file_type);
  EXPECT_EQ(read.comment, written.comment);

  file_.truncate(544 * w() - 1);
  EXPECT_FALSE(zel::read_header(file_.reader(), read));
}

TEST_P(GeometryBlocks, CoordinatesRoundTripWithTheirSize) {
  const std::vector<NodeRecord> nodes = sample_nodes();
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_coordinates(f, nodes); }));
  EXPECT_EQ(file_.size(), 8 + 3 * (4 + 3 * r()));

  ZelFile &in = file_.reader();
  zel::CoordinatesHead head;
  ASSERT_TRUE(zel::read_coordinates_head(in, head));
  EXPECT_EQ(head.node_count, 3);
  EXPECT_EQ(head.coords_per_node, 3);
  zel::NodeTable read;
  ASSERT_TRUE(zel::read_coordinates(in, head, read));
  ASSERT_EQ(read.size(), nodes.size());
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    EXPECT_EQ(read[n].id, nodes[n].id);
    EXPECT_EQ(read[n].x, nodes[n].x);
    EXPECT_EQ(read[n].y, nodes[n].y);
    EXPECT_EQ(read[n].z, nodes[n].z);
  }
}

// Records are K values long whatever K is: a fourth value must not become
// the next node's ID, a missing third one reads as 0.
TEST_P(GeometryBlocks, CoordinateRecordsFollowTheStoredValueCount) {
  for (int32_t per_node : {4, 2}) {
    ASSERT_TRUE(file_.write([&](ZelFile &f) {
      bool ok = f.write_int(2) && f.write_int(per_node);
      for (int32_t node = 0; node < 2; ++node) {
        ok = ok && f.write_int(11 + node);
        for (int32_t c = 0; c < per_node; ++c) ok = ok && f.write_real(10.0 * node + c + 1);
      }
      return ok;
    }));
    ZelFile &in = file_.reader();
    zel::CoordinatesHead head;
    zel::NodeTable read;
    ASSERT_TRUE(zel::read_coordinates_head(in, head));
    EXPECT_EQ(head.coords_per_node, per_node);
    ASSERT_TRUE(zel::read_coordinates(in, head, read));
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[1].id, 12);
    EXPECT_EQ(read[1].x, 11.0);
    EXPECT_EQ(read[1].y, 12.0);
    EXPECT_EQ(read[1].z, per_node == 4 ? 13.0 : 0.0);
    EXPECT_EQ(in.bytes_left(), 0);
  }
}

// Blocks of node records large enough to take several chunks of the bulk
// record paths in every encoding (70,000 records of at least 8 bytes), each
// against a value-by-value coding: encoded by the block writers and decoded
// a value at a time, and the other way round. Every record is distinct, so
// a record dropped, repeated or misplaced at a chunk's edge shows.
constexpr int32_t kManyNodes = 70000;

std::vector<char> bytes_of(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

NodeRecord many_node(int32_t n) {
  NodeRecord node;
  node.id = 3 * n + 1;
  node.x = 0.5 * n + 0.25;
  node.y = -n;
  node.z = n / 8.0;
  node.mass = 1.0 + n / 4.0;
  return node;
}

zel::InertiaEntry many_inertia(int32_t n) { return {3 * n + 1, 4 + n % 3, 4 + (n / 3) % 3, n + 0.5}; }

enum class Records { kCoordinates, kMasses, kInertias };

bool encode_value_by_value(ZelFile &f, Records block) {
  bool ok = f.write_int(kManyNodes) && (block == Records::kInertias || f.write_int(block == Records::kCoordinates ? 3 : 1));
  for (int32_t n = 0; ok && n < kManyNodes; ++n) {
    const NodeRecord node = many_node(n);
    const zel::InertiaEntry entry = many_inertia(n);
    ok = f.write_int(node.id);
    if (block == Records::kCoordinates) ok = ok && f.write_real(node.x) && f.write_real(node.y) && f.write_real(node.z);
    if (block == Records::kMasses) ok = ok && f.write_real(node.mass);
    if (block == Records::kInertias)
      ok = ok && f.write_char(static_cast<char>(entry.row)) && f.write_char(static_cast<char>(entry.column)) &&
           f.write_real(entry.value);
  }
  return ok;
}

TEST_P(GeometryBlocks, RecordBlocksAcrossChunksAgreeWithAValueByValueCoding) {
  std::vector<NodeRecord> nodes;
  std::vector<zel::InertiaEntry> entries;
  for (int32_t n = 0; n < kManyNodes; ++n) {
    nodes.push_back(many_node(n));
    entries.push_back(many_inertia(n));
  }
  for (const Records block : {Records::kCoordinates, Records::kMasses, Records::kInertias}) {
    SCOPED_TRACE(static_cast<int>(block));
    // Decoding: values coded one at a time, read by the block readers.
    ASSERT_TRUE(file_.write([&](ZelFile &f) { return encode_value_by_value(f, block); }));
    const std::vector<char> by_value = bytes_of(file_.path());
    Database db;
    ZelFile &in = file_.reader();
    if (block == Records::kCoordinates) {
      zel::CoordinatesHead head;
      ASSERT_TRUE(zel::read_coordinates_head(in, head));
      ASSERT_TRUE(zel::read_coordinates(in, head, db.nodes));
    } else {
      for (const NodeRecord &node : nodes) add_nodes(db, {node.id});
      ASSERT_TRUE(block == Records::kMasses ? zel::read_nodal_masses(in, db) : zel::read_nodal_inertias(in, db));
    }
    ASSERT_EQ(db.nodes.size(), nodes.size());
    for (std::size_t n = 0; n < nodes.size(); ++n) {
      const NodeRecord &read = db.nodes[n];
      ASSERT_EQ(read.id, nodes[n].id) << "record " << n;
      if (block == Records::kCoordinates) {
        ASSERT_TRUE(read.x == nodes[n].x && read.y == nodes[n].y && read.z == nodes[n].z) << "record " << n;
      } else if (block == Records::kMasses) {
        ASSERT_EQ(read.mass, nodes[n].mass) << "record " << n;
      } else {
        ASSERT_TRUE(read.inertia) << "record " << n;
        const int slot = zel::inertia_slot(entries[n].row, entries[n].column);
        ASSERT_EQ((*read.inertia)[static_cast<std::size_t>(slot)], entries[n].value) << "record " << n;
      }
    }
    // Encoding: the block writers give the same bytes.
    ASSERT_TRUE(file_.write([&](ZelFile &f) {
      if (block == Records::kCoordinates) return zel::write_coordinates(f, nodes);
      if (block == Records::kMasses) return zel::write_nodal_masses(f, nodes);
      return zel::write_nodal_inertias(f, entries);
    }));
    EXPECT_TRUE(bytes_of(file_.path()) == by_value);
  }
}

TEST_P(GeometryBlocks, HostileCoordinateCountsFailCleanly) {
  // Two billion nodes announced in a file of a few bytes.
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(2000000000) && f.write_int(3) && f.write_int(1); }));
  zel::CoordinatesHead head;
  zel::NodeTable read;
  ASSERT_TRUE(zel::read_coordinates_head(file_.reader(), head));
  EXPECT_FALSE(zel::read_coordinates(file_.reader(), {2000000000, 3}, read));
  EXPECT_TRUE(read.empty());

  // No nodes, but records of two billion values each: nothing may be sized by K.
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(0) && f.write_int(2000000000); }));
  ZelFile &empty = file_.reader();
  ASSERT_TRUE(zel::read_coordinates_head(empty, head));
  bool decoded = false;
  const std::size_t largest =
      zel_test::largest_allocation_in([&] { decoded = zel::read_coordinates(empty, head, read); });
  EXPECT_TRUE(decoded);
  EXPECT_LT(largest, zel_test::kModestAllocation);
  EXPECT_TRUE(read.empty());

  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(-5) && f.write_int(3); }));
  EXPECT_FALSE(zel::read_coordinates_head(file_.reader(), head));
  EXPECT_EQ(head.node_count, -5) << "the count read is kept for the caller";

  const std::vector<NodeRecord> nodes = sample_nodes();
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_coordinates(f, nodes); }));
  file_.truncate(file_.size() - 1);
  ZelFile &in = file_.reader();
  ASSERT_TRUE(zel::read_coordinates_head(in, head));
  EXPECT_FALSE(zel::read_coordinates(in, head, read));
}

TEST_P(GeometryBlocks, GlobalPropertiesRoundTrip) {
  zel::GlobalProperties written;
  written.mass = 12.5;
  written.cm = {0.25, -1.0, 3.5};
  for (std::size_t k = 0; k < 9; ++k) written.inertia[k] = static_cast<double>(k) - 4.5;
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_global_properties(f, written); }));
  EXPECT_EQ(file_.size(), 13 * r());
  zel::GlobalProperties read;
  ASSERT_TRUE(zel::read_global_properties(file_.reader(), read));
  EXPECT_EQ(read.mass, written.mass);
  EXPECT_EQ(read.cm, written.cm);
  EXPECT_EQ(read.inertia, written.inertia);
  file_.truncate(13 * r() - 1);
  EXPECT_FALSE(zel::read_global_properties(file_.reader(), read));
}

TEST_P(GeometryBlocks, NodalMassesLandOnTheirNodes) {
  const std::vector<NodeRecord> nodes = sample_nodes();
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_nodal_masses(f, nodes); }));
  EXPECT_EQ(file_.size(), 8 + 3 * (4 + r()));

  Database db;
  add_nodes(db, {nodes[2].id, 5, nodes[0].id});  // node 107 is not in this table
  const zel_test::Printed printed =
      zel_test::capture([&] { ASSERT_TRUE(zel::read_nodal_masses(file_.reader(), db)); });
  EXPECT_EQ(printed.err, "") << "an unknown ID is skipped silently";
  EXPECT_EQ(db.nodes[0].mass, nodes[2].mass);
  EXPECT_EQ(db.nodes[1].mass, 0.0);
  EXPECT_EQ(db.nodes[2].mass, nodes[0].mass);

  // Reading the block again redefines the masses already set.
  const zel_test::Printed again =
      zel_test::capture([&] { ASSERT_TRUE(zel::read_nodal_masses(file_.reader(), db)); });
  EXPECT_EQ(again.err, "WARNING:  Redefining mass of Node 100\nWARNING:  Redefining mass of Node 114\n");
}

// A node table that names an ID twice answers lookups with the first
// node: a mass listed at the second one's place still lands on the first.
TEST_P(GeometryBlocks, MassesOfARepeatedIdLandOnItsFirstNode) {
  ASSERT_TRUE(file_.write([](ZelFile &f) {
    return f.write_int(2) && f.write_int(1) && f.write_int(7) && f.write_real(1.0) && f.write_int(7) &&
           f.write_real(2.0);
  }));
  Database db;
  add_nodes(db, {7, 7});
  const zel_test::Printed printed =
      zel_test::capture([&] { ASSERT_TRUE(zel::read_nodal_masses(file_.reader(), db)); });
  EXPECT_EQ(printed.err, "WARNING:  Redefining mass of Node 7\n");
  EXPECT_EQ(db.nodes[0].mass, 2.0);
  EXPECT_EQ(db.nodes[1].mass, 0.0);
}

TEST_P(GeometryBlocks, SeveralMassValuesPerNodeAreAveraged) {
  ASSERT_TRUE(file_.write([](ZelFile &f) {
    const double values[3] = {1.0, 2.0, 6.0};
    return f.write_int(1) && f.write_int(3) && f.write_int(9) && f.write_reals(values, 3);
  }));
  Database db;
  add_nodes(db, {9});
  const zel_test::Printed printed =
      zel_test::capture([&] { ASSERT_TRUE(zel::read_nodal_masses(file_.reader(), db)); });
  EXPECT_EQ(printed.err,
            "WARNING:  Each node must possess a single scalar mass\n"
            "WARNING:  Generating scalar by averaging 3 values\n");
  EXPECT_EQ(db.nodes[0].mass, 3.0);
}

TEST_P(GeometryBlocks, MassBlocksWithoutValuesOrWithHostileCountsFail) {
  Database db;
  add_nodes(db, {1});
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(1) && f.write_int(0) && f.write_int(1); }));
  EXPECT_FALSE(zel::read_nodal_masses(file_.reader(), db)) << "no value to take a mass from";
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(1) && f.write_int(-2); }));
  EXPECT_FALSE(zel::read_nodal_masses(file_.reader(), db));
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(0) && f.write_int(1); }));
  EXPECT_TRUE(zel::read_nodal_masses(file_.reader(), db)) << "a block of no entries";
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(2147483647) && f.write_int(1) && f.write_int(1); }));
  EXPECT_FALSE(zel::read_nodal_masses(file_.reader(), db));
  for (int32_t entries : {1, 0}) {
    ASSERT_TRUE(file_.write([&](ZelFile &f) { return f.write_int(entries) && f.write_int(2147483647); }));
    zel_test::Printed printed;
    const std::size_t largest = zel_test::largest_allocation_in([&] {
      printed = zel_test::capture([&] { EXPECT_EQ(zel::read_nodal_masses(file_.reader(), db), entries == 0); });
    });
    EXPECT_LT(largest, zel_test::kModestAllocation) << "no value is ever sized by K";
    EXPECT_EQ(printed.err,
              "WARNING:  Each node must possess a single scalar mass\n"
              "WARNING:  Generating scalar by averaging 2147483647 values\n");
  }
  EXPECT_EQ(db.nodes[0].mass, 0.0);
}

TEST_P(GeometryBlocks, NodalInertiasRoundTripThroughTheUpperTriangle) {
  std::vector<NodeRecord> nodes = sample_nodes();
  nodes[0].inertia = std::make_unique<zel::NodalInertia>(zel::NodalInertia{1.0, 2.0, 3.0, 0.5, 0.0, -0.25});
  nodes[2].inertia = std::make_unique<zel::NodalInertia>(zel::NodalInertia{0.0, 0.0, 4.0, 0.0, 0.0, 0.0});
  const std::vector<zel::InertiaEntry> entries = zel::nodal_inertia_entries(nodes);
  ASSERT_EQ(entries.size(), 6u);  // the nonzero terms only
  EXPECT_EQ(entries[1].row, 4);
  EXPECT_EQ(entries[1].column, 5);
  EXPECT_EQ(entries[1].value, 0.5);
  EXPECT_EQ(entries[5].node_id, nodes[2].id);
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_nodal_inertias(f, entries); }));
  EXPECT_EQ(file_.size(), 4 + 6 * (4 + 2 * w() + r()));

  Database db;
  add_nodes(db, {nodes[0].id, nodes[1].id, nodes[2].id});
  const zel_test::Printed printed =
      zel_test::capture([&] { ASSERT_TRUE(zel::read_nodal_inertias(file_.reader(), db)); });
  EXPECT_EQ(printed.err, "");
  ASSERT_TRUE(db.nodes[0].inertia);
  EXPECT_EQ(*db.nodes[0].inertia, *nodes[0].inertia);
  EXPECT_FALSE(db.nodes[1].inertia) << "a node without entries gets no inertia";
  ASSERT_TRUE(db.nodes[2].inertia);
  EXPECT_EQ(*db.nodes[2].inertia, *nodes[2].inertia);
}

// Encoded by hand rather than through the encoder, whose slot table is
// the one under test: each (row, column) lands in its place of the
// row-order tensor, the lower triangle's entries in their mirror.
TEST_P(GeometryBlocks, EachInertiaEntryLandsInItsPlaceOfTheTensor) {
  struct Entry {
    char row, column;
    double value;
  };
  const Entry upper[] = {{4, 4, 1.0}, {4, 5, 2.0}, {4, 6, 3.0}, {5, 5, 4.0}, {5, 6, 5.0}, {6, 6, 6.0}};
  const Entry lower[] = {{4, 4, 1.0}, {5, 4, 2.0}, {6, 4, 3.0}, {5, 5, 4.0}, {6, 5, 5.0}, {6, 6, 6.0}};
  for (const auto *entries : {upper, lower}) {
    ASSERT_TRUE(file_.write([&](ZelFile &f) {
      bool written = f.write_int(6);
      for (int e = 0; e < 6; ++e)
        written = written && f.write_int(8) && f.write_char(entries[e].row) && f.write_char(entries[e].column) &&
                  f.write_real(entries[e].value);
      return written;
    }));
    Database db;
    add_nodes(db, {8});
    ASSERT_TRUE(zel::read_nodal_inertias(file_.reader(), db));
    double tensor[9] = {};
    ASSERT_EQ(ZEL_NodalInertia(&db, 0, tensor), 1);
    const double expected[9] = {1.0, 2.0, 3.0, 2.0, 4.0, 5.0, 3.0, 5.0, 6.0};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(tensor[k], expected[k]) << "entry " << k / 3 << k % 3;
  }
}

TEST_P(GeometryBlocks, InertiaRedefinitionWarnsOnlyForAChangedValue) {
  ASSERT_TRUE(file_.write([](ZelFile &f) {
    return zel::write_nodal_inertias(f, std::vector<zel::InertiaEntry>{{8, 4, 5, 2.0},
                                                                        {8, 5, 4, 2.0},
                                                                        {8, 5, 4, 2.5},
                                                                        {99, 4, 4, 1.0}});
  }));
  Database db;
  add_nodes(db, {8});
  const zel_test::Printed printed =
      zel_test::capture([&] { ASSERT_TRUE(zel::read_nodal_inertias(file_.reader(), db)); });
  EXPECT_EQ(printed.err, "WARNING:  Redefining mass of Nodal inertia 8\n");
  EXPECT_EQ((*db.nodes[0].inertia)[3], 2.5);
}

TEST_P(GeometryBlocks, InertiaRowsAndColumnsOutsideTheRotationsStopTheBlock) {
  Database db;
  add_nodes(db, {8});
  ASSERT_TRUE(file_.write([](ZelFile &f) {
    return zel::write_nodal_inertias(f, std::vector<zel::InertiaEntry>{{8, 4, 4, 1.0}, {8, 3, 4, 2.0}});
  }));
  zel_test::Printed printed = zel_test::capture([&] { EXPECT_FALSE(zel::read_nodal_inertias(file_.reader(), db)); });
  EXPECT_EQ(printed.err, "ERROR:  Row index of nodal inertia entries should be 4, 5, or 6.  3 encoutered\nERROR:  \n");
  EXPECT_EQ((*db.nodes[0].inertia)[0], 1.0) << "entries before the bad one stay applied";

  ASSERT_TRUE(file_.write([](ZelFile &f) {
    return zel::write_nodal_inertias(f, std::vector<zel::InertiaEntry>{{8, 6, -1, 2.0}});
  }));
  printed = zel_test::capture([&] { EXPECT_FALSE(zel::read_nodal_inertias(file_.reader(), db)); });
  EXPECT_EQ(printed.err,
            "ERROR:  Column index of nodal inertia entries should be 4, 5, or 6.  -1 encoutered\nERROR:  \n");
}

TEST_P(GeometryBlocks, HostileInertiaBlocksFailCleanly) {
  Database db;
  add_nodes(db, {8});
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(1000000000) && f.write_int(8); }));
  EXPECT_FALSE(zel::read_nodal_inertias(file_.reader(), db));
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(-1); }));
  EXPECT_FALSE(zel::read_nodal_inertias(file_.reader(), db));
  ASSERT_TRUE(file_.write([](ZelFile &f) {
    return zel::write_nodal_inertias(f, std::vector<zel::InertiaEntry>{{8, 4, 4, 1.0}});
  }));
  file_.truncate(file_.size() - 1);
  EXPECT_FALSE(zel::read_nodal_inertias(file_.reader(), db));
  EXPECT_FALSE(db.nodes[0].inertia);
}

TEST_P(GeometryBlocks, UnitNamesRoundTripInFixedFields) {
  const std::array<std::string, 4> names{"KILOGRAM", "MILLIMETER", "SECOND", "NEWTON"};
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_units(f, names); }));
  EXPECT_EQ(file_.size(), 64 * w());  // 256 bytes in an XDR file
  std::array<std::string, 4> read;
  ASSERT_TRUE(zel::read_units(file_.reader(), read));
  EXPECT_EQ(read, names);
  file_.truncate(63 * w());
  EXPECT_FALSE(zel::read_units(file_.reader(), read));
}

TEST_P(GeometryBlocks, ElementFacesRoundTripWithAnExactLength) {
  const std::vector<int32_t> faces{3, 0, 1, 2, 4, 0, 1, 2, 3, 2, 5, 6};
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_element_faces(f, 3, faces); }));
  EXPECT_EQ(file_.size(), 16 + 4 * 12);
  ZelFile &in = file_.reader();
  int32_t block_bytes = 0;
  ASSERT_TRUE(in.read_int(block_bytes));
  EXPECT_EQ(block_bytes, file_.size()) << "the container sizes this block by its first int";

  int32_t face_count = 0;
  std::vector<int32_t> read;
  ASSERT_TRUE(zel::read_element_faces(file_.reader(), face_count, read));
  EXPECT_EQ(face_count, 3);
  EXPECT_EQ(read, faces);
  EXPECT_FALSE(file_.write([&](ZelFile &f) { return zel::write_element_faces(f, 2, faces); }));
  EXPECT_EQ(file_.size(), 0) << "a face list the reader would refuse is not written";
}

TEST_P(GeometryBlocks, ElementFaceBlocksThatContradictThemselvesFail) {
  int32_t face_count = 0;
  std::vector<int32_t> read;
  auto face_block = [&](int32_t block_bytes, int32_t faces, std::vector<int32_t> list) {
    return file_.write([&](ZelFile &f) {
      return f.write_int(block_bytes) && f.write_int(0) && f.write_int(faces) &&
             f.write_int(static_cast<int32_t>(list.size())) && f.write_ints(list.data(), list.size());
    });
  };
  ASSERT_TRUE(face_block(16 + 4 * 4 + 4, 1, {3, 0, 1, 2}));
  EXPECT_FALSE(zel::read_element_faces(file_.reader(), face_count, read)) << "length word off by 4";
  ASSERT_TRUE(face_block(16 + 4 * 4, 2, {3, 0, 1, 2}));
  EXPECT_FALSE(zel::read_element_faces(file_.reader(), face_count, read)) << "two faces announced, one stored";
  ASSERT_TRUE(face_block(16 + 4 * 4, 1, {5, 0, 1, 2}));
  EXPECT_FALSE(zel::read_element_faces(file_.reader(), face_count, read)) << "a face running past the list";
  ASSERT_TRUE(face_block(16 + 4 * 4, 1, {-3, 0, 1, 2}));
  EXPECT_FALSE(zel::read_element_faces(file_.reader(), face_count, read));
  ASSERT_TRUE(file_.write([](ZelFile &f) {
    return f.write_int(16 + 4 * 500000000) && f.write_int(0) && f.write_int(1) && f.write_int(500000000);
  }));
  EXPECT_FALSE(zel::read_element_faces(file_.reader(), face_count, read));
  EXPECT_TRUE(zel::face_list_is_well_formed(std::vector<int32_t>{}, 0));
  EXPECT_TRUE(zel::face_list_is_well_formed(std::vector<int32_t>{0, 1, 7}, 2));
}

TEST_P(GeometryBlocks, InterfaceNodesRoundTrip) {
  const std::vector<int32_t> nodes{4, 0, 17};
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_interface_nodes(f, nodes); }));
  EXPECT_EQ(file_.size(), 4 * (3 + 1));
  std::vector<int32_t> read;
  ASSERT_TRUE(zel::read_interface_nodes(file_.reader(), read));
  EXPECT_EQ(read, nodes);
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(-1); }));
  EXPECT_FALSE(zel::read_interface_nodes(file_.reader(), read));
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(1 << 30); }));
  EXPECT_FALSE(zel::read_interface_nodes(file_.reader(), read));
}

// Old-style topology: the writer groups faces by vertex count, the reader
// turns node IDs back into indices.
TEST_P(GeometryBlocks, OldTopologyGroupsFacesByVertexCount) {
  std::vector<NodeRecord> nodes(4);
  for (std::size_t n = 0; n < nodes.size(); ++n) nodes[n].id = 10 * static_cast<int32_t>(n + 1);
  std::vector<int32_t> faces{4, 0, 1, 2, 3, 3, 0, 1, 2, 3, 1, 2, 3};
  faces.push_back(14);  // no group holds a face of 14 vertices
  faces.insert(faces.end(), 14, 0);
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_element_topology(f, faces, nodes); }));
  // 12 element entries; two triangles and one quadrilateral of 2 + V ints.
  EXPECT_EQ(file_.size(), 8 + 12 * 12 + 2 * 4 * (3 + 2) + 4 * (4 + 2));

  ZelFile &in = file_.reader();
  std::vector<int32_t> head(2 + 3 * 12);
  ASSERT_TRUE(in.read_ints(head.data(), head.size()));
  EXPECT_EQ(head[0], 3) << "T counts the faces written";
  EXPECT_EQ(head[1], 12);
  for (int32_t group = 0; group < 12; ++group) {
    EXPECT_EQ(head[2 + 3 * group], group);
    EXPECT_EQ(head[2 + 3 * group + 1], group == 1 ? 2 : group == 2 ? 1 : 0);
    EXPECT_EQ(head[2 + 3 * group + 2], group + 2);
  }

  Database db;
  add_nodes(db, {40, 30, 20, 10});  // indices reversed against the writer's table
  zel::OldTopology topology;
  ASSERT_TRUE(zel::read_element_topology(file_.reader(), db.node_sorted, topology));
  EXPECT_EQ(topology.face_count, 3);
  EXPECT_EQ(topology.element_count, 12);
  EXPECT_EQ(topology.face_list, (std::vector<int32_t>{3, 3, 2, 1, 3, 2, 1, 0, 4, 3, 2, 1, 0}));
}

TEST_P(GeometryBlocks, OldTopologyOfOneElementBecomesAFaceList) {
  ASSERT_TRUE(file_.write([](ZelFile &f) {
    const int32_t block[] = {2, 1, 77, 2, 3, 0, 0, 10, 20, 30, 5, 5, 30, 20, 99};
    return f.write_ints(block, std::size(block));
  }));
  Database db;
  add_nodes(db, {10, 20, 30});
  zel::OldTopology topology;
  ASSERT_TRUE(zel::read_element_topology(file_.reader(), db.node_sorted, topology));
  EXPECT_EQ(topology.face_count, 2);
  EXPECT_EQ(topology.face_list, (std::vector<int32_t>{3, 0, 1, 2, 3, 2, 1, -1})) << "an unknown ID becomes -1";
}

TEST_P(GeometryBlocks, HostileOldTopologiesFailCleanly) {
  Database db;
  add_nodes(db, {10});
  zel::OldTopology topology;
  const std::vector<std::vector<int32_t>> blocks{
      {1, 2000000000, 0, 1, 3},                 // elements beyond the file
      {1, 1, 0, 2000000000, 3, 0, 0, 10},       // faces beyond the file
      {1, 1, 0, 1, 2147483647, 0, 0, 10},       // vertices overflowing the record size
      {1, 1, 0, 1, -3, 0, 0, 10},               // negative vertex count
      {1, -1},                                  // negative element count
      {2, 2, 0, 1, 1, 0, 1, 1, 0, 0, 10, 0, 0}, // second record cut short
  };
  for (const std::vector<int32_t> &block : blocks) {
    ASSERT_TRUE(file_.write([&](ZelFile &f) { return f.write_ints(block.data(), block.size()); }));
    EXPECT_FALSE(zel::read_element_topology(file_.reader(), db.node_sorted, topology)) << block[1];
  }
}

TEST_P(GeometryBlocks, OldTopologyWriterRefusesFacesItCannotName) {
  std::vector<NodeRecord> nodes(2);
  EXPECT_FALSE(file_.write([&](ZelFile &f) {
    return zel::write_element_topology(f, std::vector<int32_t>{2, 0, 2}, nodes);
  })) << "node index 2 of a table of 2";
  EXPECT_FALSE(file_.write([&](ZelFile &f) {
    return zel::write_element_topology(f, std::vector<int32_t>{3, 0, 1}, nodes);
  })) << "a face running past the list";
}

INSTANTIATE_TEST_SUITE_P(AllEncodings, GeometryBlocks, ::testing::ValuesIn(zel_test::kAllEncodings),
                         [](const ::testing::TestParamInfo<Encoding> &info) { return info.param.name; });

}  // namespace
