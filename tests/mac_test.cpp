// `zel mac`: the mode shapes of two meshes of one part compared on nodes
// paired by position, checked against a brute-force reckoning; and the
// nearest-node grid behind the pairing against the library's own scan.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "capture.h"
#include "program_run.h"
#include "node_grid.h"
#include "scoped_env.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace {

using Values = std::array<double, 6>;  // translations, rotations
using Shape = std::function<Values(double x, double y)>;

// A strip 8 long and 6 wide, its nodes on a grid of xs by ys, its modes
// given as functions of position.
struct Strip {
  std::vector<double> xs, ys;
  std::vector<Shape> modes;
  std::vector<double> hz;
  std::function<double(double, double)> mass = [](double, double) { return 1.0; };
  std::optional<zel::NodalInertia> inertia;  // at every node
  double length_unit = 1.0;                  // metres per length unit
  std::vector<int> numbers;                  // mode numbers; 1, 2, ... when empty

  std::vector<std::array<double, 2>> nodes() const {
    std::vector<std::array<double, 2>> at;
    for (double x : xs)
      for (double y : ys) at.push_back({x, y});
    return at;
  }
  int number(int i) const { return numbers.empty() ? i + 1 : numbers[static_cast<std::size_t>(i)]; }
};

std::vector<double> spaced(double step, double last) {
  std::vector<double> at;
  for (int i = 0; i * step <= last + 1e-12; ++i) at.push_back(i * step);
  return at;
}

// Bending along the strip, k half waves: the deflection and its slope.
Shape bending(int k) {
  return [k](double x, double) {
    const double a = k * M_PI / 8.0;
    return Values{0, 0, std::sin(a * x), 0, -a * std::cos(a * x), 0};
  };
}

Shape twisted(Shape shape, double amount) {
  return [shape, amount](double x, double y) {
    Values v = shape(x, y);
    v[3] += amount * std::sin(M_PI * x / 8.0);
    v[5] += 0.5 * amount * std::cos(M_PI * x / 8.0);
    return v;
  };
}

Strip beam(std::vector<double> xs, std::vector<double> ys) {
  Strip strip;
  strip.xs = std::move(xs);
  strip.ys = std::move(ys);
  for (int k = 1; k <= 4; ++k) {
    strip.modes.push_back(bending(k));
    strip.hz.push_back(1.5 * k * k);
  }
  return strip;
}

// The 33 x 4 mesh every case compares against, and a finer 49 x 7 one.
Strip coarse_beam() { return beam(spaced(0.25, 8.0), {-3, -1, 1, 3}); }
Strip fine_beam() { return beam(spaced(1.0 / 6.0, 8.0), {-3, -2, -1, 0, 1, 2, 3}); }

zel_test::ZelBody body_of(const Strip &strip) {
  zel_test::ZelBody body;
  body.version = 316;
  body.invariants = false;
  const auto nodes = strip.nodes();
  const double scale = 1.0 / strip.length_unit;
  zel_test::ModalValues shapes;
  shapes.mode_count = static_cast<int32_t>(strip.modes.size());
  for (std::size_t p = 0; p < nodes.size(); ++p) {
    const auto [x, y] = nodes[p];
    body.nodes.push_back({static_cast<int32_t>(p + 1), x * scale, y * scale, 0.0, strip.mass(x, y), strip.inertia});
    shapes.node_ids.push_back(static_cast<int32_t>(p + 1));
  }
  body.eigen = std::vector<double>();
  for (std::size_t i = 0; i < strip.modes.size(); ++i) {
    shapes.mode_numbers.push_back(strip.number(static_cast<int>(i)));
    const double omega = 2 * M_PI * strip.hz[i];
    body.eigen->insert(body.eigen->end(),
                       {double(strip.number(static_cast<int>(i))), omega * omega, strip.hz[i], omega, 1.0, omega * omega});
  }
  shapes.value = [strip, nodes](int i, int p, int c) {
    return strip.modes[static_cast<std::size_t>(i)](nodes[static_cast<std::size_t>(p)][0],
                                                    nodes[static_cast<std::size_t>(p)][1])[static_cast<std::size_t>(c)];
  };
  body.mode_shapes = shapes;
  if (strip.length_unit != 1.0) body.units = std::array<std::string, 4>{"KILOGRAM", "MILLIMETER", "SECOND", "NEWTON"};
  return body;
}

// The MAC matrix reckoned the long way: every base node against every
// other node (the first of equally near ones), sums in long double.
std::vector<std::vector<double>> reckoned_mac(const Strip &base, const Strip &other, double tolerance,
                                              bool rotations) {
  const auto base_nodes = base.nodes(), other_nodes = other.nodes();
  const std::size_t nb = base.modes.size(), no = other.modes.size();
  std::vector<std::vector<long double>> cross(nb, std::vector<long double>(no, 0));
  std::vector<long double> base_norm(nb, 0), other_norm(no, 0);
  const int dim = rotations ? 6 : 3;
  for (const auto &[x, y] : base_nodes) {
    std::size_t nearest = 0;
    for (std::size_t q = 1; q < other_nodes.size(); ++q)
      if (std::hypot(other_nodes[q][0] - x, other_nodes[q][1] - y) <
          std::hypot(other_nodes[nearest][0] - x, other_nodes[nearest][1] - y))
        nearest = q;
    const auto [ox, oy] = other_nodes[nearest];
    if (std::hypot(ox - x, oy - y) > tolerance) continue;
    double weight[6][6] = {};
    for (int c = 0; c < 3; ++c) weight[c][c] = base.mass(x, y);
    if (base.inertia) {
      const zel::NodalInertia &n = *base.inertia;
      const double tensor[3][3] = {{n[0], n[3], n[4]}, {n[3], n[1], n[5]}, {n[4], n[5], n[2]}};
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) weight[3 + r][3 + c] = tensor[r][c];
    }
    const auto product = [&](const Values &a, const Values &b) {
      long double sum = 0;
      for (int r = 0; r < dim; ++r)
        for (int c = 0; c < dim; ++c) sum += static_cast<long double>(a[r]) * weight[r][c] * b[c];
      return sum;
    };
    for (std::size_t i = 0; i < nb; ++i) {
      const Values a = base.modes[i](x, y);
      base_norm[i] += product(a, a);
      for (std::size_t j = 0; j < no; ++j) cross[i][j] += product(a, other.modes[j](ox, oy));
    }
    for (std::size_t j = 0; j < no; ++j) other_norm[j] += product(other.modes[j](ox, oy), other.modes[j](ox, oy));
  }
  std::vector<std::vector<double>> mac(nb, std::vector<double>(no));
  for (std::size_t i = 0; i < nb; ++i)
    for (std::size_t j = 0; j < no; ++j)
      mac[i][j] = static_cast<double>(cross[i][j] * cross[i][j] / (base_norm[i] * other_norm[j]));
  return mac;
}

using Outcome = zel_test::ProgramRun;

struct CsvRow {
  int base_mode, other_mode;
  double mac, base_hz, other_hz;
};

std::vector<CsvRow> csv_rows(const std::string &text, std::string *header) {
  std::istringstream in(text);
  std::string line;
  std::getline(in, *header);
  std::vector<CsvRow> rows;
  while (std::getline(in, line)) {
    CsvRow row{};
    EXPECT_EQ(std::sscanf(line.c_str(), "%d,%d,%lf,%lf,%lf", &row.base_mode, &row.other_mode, &row.mac, &row.base_hz,
                          &row.other_hz),
              5)
        << line;
    rows.push_back(row);
  }
  return rows;
}

// The partner column of the table: the other mode of each base line.
std::vector<int> partners(const std::string &table) {
  std::istringstream in(table);
  std::string line;
  std::getline(in, line);
  std::vector<int> found;
  int base = 0, other = 0;
  while (std::getline(in, line) && std::sscanf(line.c_str(), "%d %d", &base, &other) == 2) found.push_back(other);
  return found;
}

class ZelMac : public ::testing::Test {
 protected:
  Outcome zel(const std::string &arguments, const std::string &device = {}) {
    return zel_test::run_program(ZEL_PROGRAM, "mac " + arguments, dir, device);
  }

  std::string write(const Strip &strip, const std::string &name) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(zel_test::write_zel_file(body_of(strip), path));
    return path;
  }

  // Compares two strips with `options` and checks every MAC of the CSV
  // against the matrix reckoned with the weights of `weighed_as` (by
  // default the base's own); gives the run.
  Outcome compare_with_reckoning(const Strip &base, const Strip &other, const std::string &options, double tolerance,
                                 bool rotations, const Strip *weighed_as = nullptr) {
    const std::string csv = dir.file("mac.csv");
    const Outcome run =
        zel("'" + write(base, "base.zel") + "' '" + write(other, "other.zel") + "' --csv '" + csv + "' " + options);
    const auto expected = reckoned_mac(weighed_as ? *weighed_as : base, other, tolerance, rotations);
    std::string header;
    const auto rows = csv_rows(zel_test::read_text_file(csv), &header);
    EXPECT_EQ(header, "base_mode,other_mode,mac,base_hz,other_hz");
    EXPECT_EQ(rows.size(), base.modes.size() * other.modes.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const std::size_t i = r / other.modes.size(), j = r % other.modes.size();
      SCOPED_TRACE("base " + std::to_string(i) + ", other " + std::to_string(j));
      EXPECT_EQ(rows[r].base_mode, base.number(static_cast<int>(i)));
      EXPECT_EQ(rows[r].other_mode, other.number(static_cast<int>(j)));
      EXPECT_NEAR(rows[r].mac, expected[i][j], 1e-8);
      EXPECT_DOUBLE_EQ(rows[r].base_hz, base.hz[i]);
      EXPECT_DOUBLE_EQ(rows[r].other_hz, other.hz[j]);
    }
    return run;
  }

  zel_test::ScratchDir dir;
};

TEST_F(ZelMac, IdenticalBodiesPrintAMacOfOneOnTheDiagonal) {
  Strip base = coarse_beam();
  base.numbers = {1, 2, 5, 7};
  const std::string path = write(base, "beam.zel");
  const Outcome run = zel("'" + path + "' '" + path + "' --min-mac 1");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            " base other      MAC        base Hz       other Hz        diff Hz    diff %\n"
            "    1     1 1.000000            1.5            1.5             +0    +0.000\n"
            "    2     2 1.000000              6              6             +0    +0.000\n"
            "    5     5 1.000000           13.5           13.5             +0    +0.000\n"
            "    7     7 1.000000             24             24             +0    +0.000\n");
}

// Each case against the long reckoning: the MAC of every pair of modes and
// each base mode's partner.
TEST_F(ZelMac, MacOfEveryModePairAgreesWithTheReckoning) {
  Strip swapped = fine_beam();
  std::swap(swapped.modes[1], swapped.modes[2]);
  std::swap(swapped.hz[1], swapped.hz[2]);
  // Heavier towards one end: the sines are then no longer orthogonal under
  // the base's masses, and masses of the other side would give other values.
  Strip heavy_end = coarse_beam();
  heavy_end.mass = [](double x, double y) { return 1.0 + x * x + 0.1 * y; };
  Strip light_other = fine_beam();
  light_other.mass = [](double, double) { return 7.0; };
  Strip spinning = coarse_beam();
  spinning.inertia = zel::NodalInertia{0.5, 0.25, 0.125, 0.0625, 0.0, -0.03125};
  Strip twisting = fine_beam();
  twisting.modes[0] = twisted(twisting.modes[0], 0.4);
  twisting.modes[2] = twisted(twisting.modes[2], -0.3);
  const struct {
    const char *name;
    Strip base, other;
    std::string options;
    bool rotations;
    std::vector<int> partners;
  } kCases[] = {
      {"two meshes", coarse_beam(), fine_beam(), "", false, {1, 2, 3, 4}},
      {"swapped order", coarse_beam(), swapped, "", false, {1, 3, 2, 4}},
      {"base masses", heavy_end, light_other, "", false, {1, 2, 3, 4}},
      {"rotations left out", spinning, twisting, "", false, {1, 2, 3, 4}},
      {"rotations weighed", spinning, twisting, "--rotations", true, {1, 2, 3, 4}},
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.name);
    const Outcome run = compare_with_reckoning(c.base, c.other, c.options, 0.5, c.rotations);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(partners(run.out), c.partners) << run.out;
  }
}

TEST_F(ZelMac, SwappedModesShowInTheTable) {
  Strip swapped = fine_beam();
  std::swap(swapped.modes[1], swapped.modes[2]);
  std::swap(swapped.hz[1], swapped.hz[2]);
  for (double &hz : swapped.hz) hz *= 1.02;
  const Outcome run = zel("'" + write(coarse_beam(), "a.zel") + "' '" + write(swapped, "b.zel") + "'");
  EXPECT_EQ(run.status, 0);
  std::istringstream lines(run.out);
  std::string line;
  std::vector<std::string> table;
  while (std::getline(lines, line)) table.push_back(line);
  ASSERT_EQ(table.size(), 5u) << run.out;
  // Base mode 2 (6 Hz) found as other mode 3, 2% higher.
  EXPECT_EQ(table[2].substr(0, 15), "    2     3 0.9");
  EXPECT_EQ(table[2].substr(20), "              6           6.12          +0.12    +2.000");
  EXPECT_EQ(table[3].substr(0, 15), "    3     2 0.9");
}

// Without any mass on the base's paired nodes every node weighs alike: a
// unit mass, and a unit inertia on the rotations.
TEST_F(ZelMac, MasslessBaseNodesWeighAlike) {
  Strip massless = coarse_beam(), unit = coarse_beam();
  massless.mass = [](double, double) { return 0.0; };
  unit.mass = [](double, double) { return 1.0; };
  unit.inertia = zel::NodalInertia{1, 1, 1, 0, 0, 0};
  Strip twisting = fine_beam();
  twisting.modes[1] = twisted(twisting.modes[1], 0.5);
  const Outcome run = compare_with_reckoning(massless, twisting, "--rotations", 0.5, true, &unit);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "zel mac: " + dir.file("base.zel") + ": the paired nodes carry no mass; every node weighs alike\n");
}

// Base modes held a batch at a time give every value as all at once: a
// base of 48,861 nodes, whose modes fit one at a time in 1 MiB.
TEST_F(ZelMac, BatchesOfBaseModesGiveTheSameValues) {
  Strip dense = beam(spaced(0.01, 8.0), spaced(0.1, 6.0));
  for (double &y : dense.ys) y -= 3.0;
  dense.mass = [](double x, double y) { return 1.0 + x + 0.5 * y * y; };
  const std::string base = write(dense, "dense.zel"), other = write(fine_beam(), "fine.zel");
  const auto run = [&](const std::optional<std::string> &memory, const std::string &csv) {
    zel_test::ScopedEnv budget("ZEL_INVARIANT_MEMORY", memory);
    const Outcome outcome = zel("'" + base + "' '" + other + "' --tolerance 1 --csv '" + dir.file(csv) + "'");
    EXPECT_EQ(outcome.status, 0);
    return outcome.out + zel_test::read_text_file(dir.file(csv));
  };
  const std::string whole = run(std::nullopt, "whole.csv");
  EXPECT_EQ(std::count(whole.begin(), whole.end(), '\n'), 5 + 17) << whole;  // the table, then the CSV
  EXPECT_EQ(run("1", "batched.csv"), whole);
}

// Nodes of the base beyond the other's end (which stops at x = 6) are left
// out when farther than the tolerance, inclusive; the default tolerance is
// 5% of the base's box diagonal of 10.
TEST_F(ZelMac, NodesBeyondTheToleranceAreLeftOutAndCounted) {
  Strip short_beam = fine_beam();
  short_beam.xs.resize(37);  // up to x = 6
  const struct {
    std::string option, tolerance_text;
    double tolerance;
    int left_out;
  } kCases[] = {
      {"", "0.5", 0.5, 24},
      {"--tolerance 0.49", "0.49", 0.49, 28},
      {"--tolerance 1", "1", 1.0, 16},
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.option);
    const Outcome run = compare_with_reckoning(coarse_beam(), short_beam, c.option, c.tolerance, false);
    EXPECT_EQ(run.status, 0);
    char message[64];
    std::snprintf(message, sizeof message, "%d of 132 nodes of ", c.left_out);
    EXPECT_EQ(run.err, "zel mac: " + std::string(message) + dir.file("base.zel") + " have no node of " +
                           dir.file("other.zel") +  " within " + c.tolerance_text +
                           " and are left out\n");
  }
}

TEST_F(ZelMac, OtherCoordinatesAreTakenIntoTheBaseLengthUnit) {
  Strip millimetres = fine_beam();
  millimetres.length_unit = 0.001;
  const Outcome run = compare_with_reckoning(coarse_beam(), millimetres, "--tolerance 0.1", 0.1, false);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
}

TEST_F(ZelMac, MinMacDecidesTheExitStatus) {
  const std::string base = write(coarse_beam(), "a.zel"), other = write(fine_beam(), "b.zel");
  const auto lowest = [&] {
    double least = 1.0;
    const auto mac = reckoned_mac(coarse_beam(), fine_beam(), 0.5, false);
    for (std::size_t i = 0; i < mac.size(); ++i) least = std::min(least, mac[i][i]);
    return least;
  }();
  ASSERT_GT(lowest, 0.99);
  ASSERT_LT(lowest, 0.9999);
  const struct {
    std::string option;
    int status;
  } kCases[] = {{"", 0}, {"--min-mac 0", 0}, {"--min-mac 0.99", 0}, {"--min-mac 0.9999", 1}, {"--min-mac 1", 1}};
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.option);
    const Outcome run = zel("'" + base + "' '" + other + "' " + c.option);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(partners(run.out), (std::vector<int>{1, 2, 3, 4}));
  }
}

TEST_F(ZelMac, ThePictureHasACellPerModePairColouredByMac) {
  Strip other = coarse_beam();
  other.modes.push_back(other.modes[1]);  // a fifth mode, a copy of the second
  other.hz.push_back(30.0);
  std::swap(other.modes[0], other.modes[3]);
  std::swap(other.hz[0], other.hz[3]);
  const std::string picture = dir.file("mac.svg");
  const Outcome run =
      zel("'" + write(coarse_beam(), "a.zel") + "' '" + write(other, "b.zel") + "' --picture '" + picture + "'");
  EXPECT_EQ(run.status, 0);
  const std::string svg = zel_test::read_text_file(picture);
  EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u);
  EXPECT_NE(svg.find("width=\"160\" height=\"140\""), std::string::npos);
  EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
  // Base mode i (row) against other mode j (column): the shapes are the
  // same sines, so a cell is dark blue where they match and white elsewhere.
  const int match_of_base[4] = {3, 1, 2, 0};
  const std::regex cell("<rect class=\"cell\" x=\"(\\d+)\" y=\"(\\d+)\" width=\"20\" height=\"20\" fill=\"(#[0-9a-f]{6})\">");
  int cells = 0;
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), cell); it != std::sregex_iterator(); ++it, ++cells) {
    const int column = (std::stoi((*it)[1]) - 50) / 20, row = (std::stoi((*it)[2]) - 50) / 20;
    const bool match = column == match_of_base[row] || (row == 1 && column == 4);
    EXPECT_EQ((*it)[3], match ? "#08306b" : "#ffffff") << "row " << row << ", column " << column;
  }
  EXPECT_EQ(cells, 20);
  // The partner of base mode 2 is the first of its two copies.
  const std::regex partner("<rect class=\"partner\" x=\"(\\d+)\" y=\"(\\d+)\"");
  std::vector<std::pair<int, int>> outlined;
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), partner); it != std::sregex_iterator(); ++it)
    outlined.emplace_back(std::stoi((*it)[2]), std::stoi((*it)[1]));
  EXPECT_EQ(outlined, (std::vector<std::pair<int, int>>{{50, 110}, {70, 70}, {90, 90}, {110, 50}}));
}

TEST_F(ZelMac, PictureColoursFollowTheMacLinearly) {
  // One mode against itself plus twice an orthogonal one of the same norm:
  // a MAC of 1/5.
  Strip base = coarse_beam(), other = coarse_beam();
  base.modes.resize(1), base.hz.resize(1), other.modes.resize(1), other.hz.resize(1);
  other.modes[0] = [](double x, double y) {
    Values a = bending(1)(x, y), b = bending(2)(x, y);
    for (int c = 0; c < 6; ++c) a[c] += 2 * b[c];
    return a;
  };
  const std::string picture = dir.file("half.svg");
  const Outcome run = zel("'" + write(base, "a.zel") + "' '" + write(other, "b.zel") + "' --picture '" + picture + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("    1     1 0.200000 "), std::string::npos) << run.out;
  // A fifth of the way from white (255, 255, 255) to (8, 48, 107).
  EXPECT_NE(zel_test::read_text_file(picture).find("fill=\"#ced6e1\"><title>base 1, other 1: 0.200000</title>"),
            std::string::npos);
}

TEST_F(ZelMac, UsageReadAndOutputErrorsExitWithTwo) {
  const std::string good = write(coarse_beam(), "good.zel"), missing = dir.file("missing.zel");
  Strip modeless = coarse_beam();
  zel_test::ZelBody no_modes = body_of(modeless);
  no_modes.mode_shapes.reset();
  no_modes.eigen.reset();
  const std::string bare = dir.file("bare.zel");
  ASSERT_TRUE(zel_test::write_zel_file(no_modes, bare));
  const std::string unwritable = dir.file("no/such/dir/mac.csv");
  const struct {
    std::string arguments, out, err;
  } kCases[] = {
      {"'" + good + "'", "", "zel mac: needs BASE and OTHER\nTry 'zel mac --help'.\n"},
      {"'" + good + "' '" + good + "' '" + good + "'", "",
       "zel mac: unexpected argument '" + good + "'\nTry 'zel mac --help'.\n"},
      {"'" + good + "' '" + good + "' --tolerance", "", "zel mac: --tolerance needs a value\nTry 'zel mac --help'.\n"},
      {"'" + good + "' '" + good + "' --tolerance -1", "",
       "zel mac: '-1' is not a tolerance (a distance of at least 0)\nTry 'zel mac --help'.\n"},
      {"'" + good + "' '" + good + "' --min-mac 1.5", "", "zel mac: '1.5' is not a MAC (0 to 1)\nTry 'zel mac --help'.\n"},
      {"'" + good + "' '" + good + "' --min-mac nan", "", "zel mac: 'nan' is not a MAC (0 to 1)\nTry 'zel mac --help'.\n"},
      {"'" + good + "' '" + good + "' --modes 1", "", "zel mac: unknown option '--modes'\nTry 'zel mac --help'.\n"},
      {"'" + good + "' '" + missing + "'", "", "zel: " + missing + ": No such file or directory\n"},
      {"'" + good + "' /dev/null", "", "zel: /dev/null: not a regular file\n"},
      {"'" + bare + "' '" + good + "'", "", "zel mac: " + bare + ": no mode shapes\n"},
      {"'" + good + "' '" + good + "' --csv '" + unwritable + "'", "",
       "zel mac: " + unwritable + ": No such file or directory\n"},
      {"'" + good + "' '" + good + "' --csv /dev/full", "", "zel mac: /dev/full: No space left on device\n"},
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.arguments);
    const Outcome run = zel(c.arguments);
    EXPECT_EQ(run.status, 2);
    if (c.arguments.find("--csv") != std::string::npos)
      EXPECT_EQ(run.out.rfind(" base other", 0), 0u) << "the table comes before the files";
    else
      EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

TEST_F(ZelMac, HelpTellsWhatWeighsTheMac) {
  const std::string synopsis =
      "mac BASE OTHER [--tolerance D] [--rotations] [--min-mac X] [--csv FILE] [--picture FILE.svg]\n";
  const Outcome help = zel("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: zel " + synopsis, 0), 0u) << help.out;
  EXPECT_NE(help.out.find("where M holds BASE's nodal masses"), std::string::npos);
  const std::string list = "'" ZEL_PROGRAM "' --help >'" + dir.file("list") + "'";
  ASSERT_EQ(std::system(list.c_str()), 0);
  EXPECT_NE(zel_test::read_text_file(dir.file("list")).find("  zel " + synopsis), std::string::npos);
}

TEST_F(ZelMac, NoPairedNodeIsAnError) {
  Strip far_away = fine_beam();
  for (double &x : far_away.xs) x += 100.0;
  const std::string base = write(coarse_beam(), "a.zel"), other = write(far_away, "b.zel");
  const Outcome run = zel("'" + base + "' '" + other + "'");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "zel mac: 132 of 132 nodes of " + base + " have no node of " + other +
                         " within 0.5 and are left out\nzel mac: no node of " + base + " has a node of " + other +
                         " within 0.5\n");
}

TEST_F(ZelMac, ATableThatCannotBeWrittenExitsWithTwo) {
  const std::string path = write(coarse_beam(), "a.zel");
  const Outcome run = zel("'" + path + "' '" + path + "'", "/dev/full");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "zel mac: cannot write the output: No space left on device\n");
}

// ---------------------------------------------------------------------------
// The nearest-node grid

Database *cloud_body(const std::vector<std::array<double, 3>> &points) {
  Database *db = ZEL_Create(static_cast<int>(points.size()), 1);
  for (std::size_t p = 0; p < points.size(); ++p)
    ZEL_SetNodeCoordinates(db, static_cast<int>(p + 1), points[p][0], points[p][1], points[p][2]);
  return db;
}

// Lattice points queried at lattice points and halfway between them give
// ties by the dozen; random queries fall inside and outside the cloud.
TEST(NodeGrid, FindsWhatTheLibrarysScanFinds) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const auto lattice = [](int nx, int ny, int nz, double step) {
    std::vector<std::array<double, 3>> at;
    for (int k = 0; k < nz; ++k)
      for (int i = 0; i < nx; ++i)
        for (int j = 0; j < ny; ++j) at.push_back({i * step, j * step, k * step});
    return at;
  };
  std::vector<std::array<double, 3>> scattered(3000), doubled = lattice(6, 6, 1, 0.5);
  for (auto &p : scattered) p = {unit(random), unit(random) * 0.01, unit(random) * 3.0};
  doubled.insert(doubled.end(), doubled.begin(), doubled.end());  // every point twice
  const struct {
    const char *name;
    std::vector<std::array<double, 3>> points;
  } kClouds[] = {
      {"block lattice", lattice(12, 9, 7, 0.25)},
      {"flat lattice", lattice(40, 30, 1, 0.1)},
      {"line", lattice(500, 1, 1, 0.01)},
      {"scattered, slender", scattered},
      {"every point twice", doubled},
      {"one point", {{1.0, 2.0, 3.0}}},
  };
  for (const auto &cloud : kClouds) {
    SCOPED_TRACE(cloud.name);
    Database *db = cloud_body(cloud.points);
    std::vector<double> xyz;
    for (const auto &p : cloud.points) xyz.insert(xyz.end(), p.begin(), p.end());
    NodeGrid *grid = node_grid_new(xyz.data(), static_cast<int>(cloud.points.size()));
    ASSERT_NE(grid, nullptr);
    std::vector<std::array<double, 3>> queries;
    for (std::size_t p = 0; p < cloud.points.size(); p += 7) {
      const auto &a = cloud.points[p];
      queries.push_back(a);
      queries.push_back({a[0] + 0.125, a[1] + 0.125, a[2]});
      queries.push_back({a[0] + 0.05, a[1], a[2] + 0.125});
    }
    for (int q = 0; q < 300; ++q) queries.push_back({unit(random) * 8 - 2, unit(random) * 8 - 2, unit(random) * 8 - 2});
    for (auto &query : queries) {
      const int scanned = ZEL_ClosestNode(db, query.data(), 0);
      const auto &n = cloud.points[static_cast<std::size_t>(scanned)];
      const double distance = std::sqrt((n[0] - query[0]) * (n[0] - query[0]) +
                                        (n[1] - query[1]) * (n[1] - query[1]) + (n[2] - query[2]) * (n[2] - query[2]));
      ASSERT_EQ(node_grid_nearest(grid, query.data(), INFINITY), scanned)
          << query[0] << " " << query[1] << " " << query[2];
      EXPECT_EQ(node_grid_nearest(grid, query.data(), distance * (1 + 1e-12)), scanned);
      if (distance > 0) {
        EXPECT_EQ(node_grid_nearest(grid, query.data(), distance * (1 - 1e-9)), -1);
      }
    }
    node_grid_free(grid);
    ZEL_UnLink(db);
  }
}

// Two points equally far from the query, the first of them on the far side
// of the face between the two cells a grid of two points has: the search
// must not stop at the nearer one of its own cell, with or without a reach
// of just that distance.
TEST(NodeGrid, ATieAcrossACellFaceGoesToTheFirstPoint) {
  const double xyz[] = {4, 0, 0, 0, 0, 0}, middle[3] = {2, 0, 0};
  Database *db = cloud_body({{4, 0, 0}, {0, 0, 0}});
  ASSERT_EQ(ZEL_ClosestNode(db, const_cast<double *>(middle), 0), 0);
  ZEL_UnLink(db);
  NodeGrid *grid = node_grid_new(xyz, 2);
  EXPECT_EQ(node_grid_nearest(grid, middle, INFINITY), 0);
  EXPECT_EQ(node_grid_nearest(grid, middle, 2.0), 0);
  node_grid_free(grid);
}

// Clouds at the ends of the double range, where a cell's side underflows
// or the extent overflows, are searched as the library's scan searches them.
TEST(NodeGrid, CloudsAtTheEndsOfTheRangeAreSearched) {
  std::vector<std::array<double, 3>> tiny(2000, {0, 0, 0}), huge = {{-1.7e308, 0, 0}, {1.7e308, 0, 0}, {1e300, 1, 0}};
  tiny[1500] = {4.9e-324, 0, 0};
  const std::array<double, 3> queries[] = {{4.9e-324, 0, 0}, {1e300, 0.5, 0}, {-1e308, 0, 0}};
  for (const auto *cloud : {&tiny, &huge}) {
    std::vector<double> xyz;
    for (const auto &p : *cloud) xyz.insert(xyz.end(), p.begin(), p.end());
    NodeGrid *grid = node_grid_new(xyz.data(), static_cast<int>(cloud->size()));
    Database *db = cloud_body(*cloud);
    for (auto query : queries) EXPECT_EQ(node_grid_nearest(grid, query.data(), INFINITY), ZEL_ClosestNode(db, query.data(), 0));
    ZEL_UnLink(db);
    node_grid_free(grid);
  }
}

TEST(NodeGrid, PassesOverPointsThatAreNotFinite) {
  const double xyz[] = {NAN, 0, 0, 5, 5, 5, 1, INFINITY, 0, 1, 1, 1};
  NodeGrid *grid = node_grid_new(xyz, 4);
  const double origin[3] = {0, 0, 0}, nowhere[3] = {NAN, 0, 0};
  EXPECT_EQ(node_grid_nearest(grid, origin, INFINITY), 3);
  EXPECT_EQ(node_grid_nearest(grid, nowhere, INFINITY), -1);
  node_grid_free(grid);
  NodeGrid *empty = node_grid_new(nullptr, 0);
  EXPECT_EQ(node_grid_nearest(empty, origin, INFINITY), -1);
  node_grid_free(empty);
}

}  // namespace
