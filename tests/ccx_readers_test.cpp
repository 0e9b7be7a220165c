// The translator's readers on hand-written fragments of the solver's
// files, and the element masses and skin faces on single elements.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "body.h"
#include "ccx_jobs.h"
#include "dat_reader.h"
#include "frd_reader.h"
#include "inp_reader.h"
#include "scratch_dir.h"

namespace {


void write_file(const std::string &path, const std::string &text) { std::ofstream(path) << text; }

using zel_test::input_error_of;

// ---------------------------------------------------------------------
// Input deck
// ---------------------------------------------------------------------

TEST(CcxInpReader, ReadsNodesElementsSetsMaterialsAndIncludedFiles) {
  zel_test::ScratchDir dir;
  write_file(dir.file("nodes.inp"),
             "** nodes live in their own file\n"
             "*Node, nset=Nall\n"
             "1, 0., 0., 0.\n2, 1., 0., 0.\n3, 0., 1., 0.\n4, 0., 0., 1.\n5, 1.5D0, -2.5e-1\n");
  write_file(dir.file("job.inp"),
             "*HEADING\nA bracket\nsecond heading line\n"
             "*INCLUDE, INPUT=nodes.inp\n"
             "**\n"
             "*ELEMENT, TYPE=c3d4, ELSET=Tets\n"
             "1, 1, 2, 3, 4\n"
             "*ELEMENT, TYPE=C3D20R, ELSET=Bricks\n"
             "2, 1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 1, 2, 3, 4, 5,\n"
             "1, 2, 3, 4, 5\n"
             "*NSET, NSET=EVERY, GENERATE\n1, 5, 2\n"
             "*NSET, NSET=MIXED\nEVERY, 2,\n"
             "*ELSET, ELSET=EALL\nTETS, bricks\n"
             "*MATERIAL, NAME=Steel\n*ELASTIC\n210e9, .3\n*DENSITY\n7800., 20.\n7700., 200.\n"
             "*Solid  Section, Elset=EALL, Material=STEEL\n"
             "*STEP\n*FREQUENCY\n4\n*NODE FILE\nU\n*END STEP\n");
  const ccx::Mesh mesh = ccx::read_inp(dir.file("job.inp"));

  EXPECT_EQ(mesh.title, "A bracket");
  EXPECT_EQ(mesh.node_ids, (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(std::vector<double>(mesh.coordinates.end() - 3, mesh.coordinates.end()),
            (std::vector<double>{1.5, -0.25, 0.0}));
  ASSERT_EQ(mesh.elements.size(), 2u);
  EXPECT_EQ(mesh.elements[0].type, "C3D4");
  EXPECT_EQ(mesh.elements[1].type, "C3D20R");
  EXPECT_EQ(mesh.elements[1].kind->node_count, 20);
  EXPECT_EQ(mesh.elements[1].where.line, 9);  // where its first line is
  EXPECT_EQ(mesh.connectivity.size(), 24u);
  EXPECT_EQ(mesh.connectivity.back(), 5);
  EXPECT_EQ(mesh.node_sets.at("NALL").size(), 5u);
  EXPECT_EQ(mesh.node_sets.at("EVERY"), (std::vector<int>{1, 3, 5}));
  EXPECT_EQ(mesh.node_sets.at("MIXED"), (std::vector<int>{1, 3, 5, 2}));
  EXPECT_EQ(mesh.element_sets.at("EALL"), (std::vector<int>{1, 2}));
  EXPECT_DOUBLE_EQ(mesh.materials.at("STEEL").density, 7800.0);  // the first temperature's
  ASSERT_EQ(mesh.sections.size(), 1u);
  EXPECT_EQ(mesh.sections[0].element_set, "EALL");
  EXPECT_EQ(mesh.sections[0].where.line, 23);
}

// "@" stands for the deck's path in the expected messages.
struct DeckFault {
  const char *name;
  const char *deck;
  const char *message;
};

const DeckFault kDeckFaults[] = {
    {"unsupported types counted",
     "*NODE\n1,0,0,0\n*ELEMENT, TYPE=M3D4\n1, 1,1,1,1\n2, 1,1,1,1\n*ELEMENT, TYPE=CAX8\n3, 1,\n1, 1\n",
     "@:3: unsupported element type M3D4 (2 elements); also CAX8 (1 element); the translator reads C3D4, C3D10, "
     "C3D6, C3D15, C3D8, C3D8R, C3D8I, C3D20, C3D20R, S3, S4, S4R, S6, S8, S8R, B31, B31R, B32, B32R"},
    {"material without density",
     "*NODE\n1,0,0,0\n2,1,0,0\n3,0,1,0\n4,0,0,1\n*ELEMENT,TYPE=C3D4,ELSET=E\n1,1,2,3,4\n"
     "*MATERIAL,NAME=ALU\n*ELASTIC\n70e9,.3\n*SOLID SECTION,ELSET=E,MATERIAL=ALU\n",
     "@:8: material ALU has no *DENSITY, so its mass is unknown"},
    {"negative density",
     "*NODE\n1,0,0,0\n2,1,0,0\n3,0,1,0\n4,0,0,1\n*ELEMENT,TYPE=C3D4,ELSET=E\n1,1,2,3,4\n"
     "*MATERIAL,NAME=ALU\n*DENSITY\n-2.7e3\n*SOLID SECTION,ELSET=E,MATERIAL=ALU\n",
     "@:8: material ALU has a density that is not positive"},
    {"element outside every section",
     "*NODE\n1,0,0,0\n2,1,0,0\n3,0,1,0\n4,0,0,1\n*ELEMENT,TYPE=C3D4\n7,1,2,3,4\n",
     "@:7: element 7 (C3D4) is in no *SOLID SECTION"},
    {"undefined node", "*NODE\n1,0,0,0\n*ELEMENT,TYPE=C3D4\n7,1,2,3,4\n",
     "@:4: element 7 (C3D4) refers to node 2, which is not defined"},
    {"undefined material", "*NODE\n1,0,0,0\n*ELEMENT,TYPE=C3D4,ELSET=E\n7,1,1,1,1\n*SOLID SECTION,ELSET=E,MATERIAL=X\n",
     "@:5: material X is not defined"},
    {"undefined element set", "*NODE\n1,0,0,0\n*ELEMENT,TYPE=C3D4\n7,1,1,1,1\n*SOLID SECTION,ELSET=E,MATERIAL=X\n",
     "@:5: element set E is not defined"},
    {"inverted element",
     "*NODE\n1,0,0,0\n2,1,0,0\n3,0,1,0\n4,0,0,1\n*ELEMENT,TYPE=C3D4,ELSET=E\n1,1,3,2,4\n"
     "*MATERIAL,NAME=ALU\n*DENSITY\n2.7e3\n*SOLID SECTION,ELSET=E,MATERIAL=ALU\n",
     "@:7: element 1 is inverted or flat"},
    // Corners on the plane z = x + y: rounding leaves a Jacobian of about
    // 1e-17, positive at every point of the linear element.
    {"flat linear element",
     "*NODE\n1,0,0,0\n2,1,0,1\n3,0,1,1\n4,0.1,0.3,0.4\n*ELEMENT,TYPE=C3D4,ELSET=E\n1,1,2,3,4\n"
     "*MATERIAL,NAME=ALU\n*DENSITY\n2.7e3\n*SOLID SECTION,ELSET=E,MATERIAL=ALU\n",
     "@:7: element 1 is inverted or flat"},
    {"flat quadratic element",
     "*NODE\n1,0,0,0\n2,1,0,1\n3,0,1,1\n4,0.1,0.3,0.4\n5,0.5,0,0.5\n6,0.5,0.5,1\n7,0,0.5,0.5\n"
     "8,0.05,0.15,0.2\n9,0.55,0.15,0.7\n10,0.05,0.65,0.7\n*ELEMENT,TYPE=C3D10,ELSET=E\n1,1,2,3,4,5,6,7,8,9,10\n"
     "*MATERIAL,NAME=ALU\n*DENSITY\n2.7e3\n*SOLID SECTION,ELSET=E,MATERIAL=ALU\n",
     "@:13: element 1 is inverted or flat"},
    {"infinite density",
     "*NODE\n1,0,0,0\n2,1,0,0\n3,0,1,0\n4,0,0,1\n*ELEMENT,TYPE=C3D4,ELSET=E\n1,1,2,3,4\n"
     "*MATERIAL,NAME=ALU\n*DENSITY\ninf\n*SOLID SECTION,ELSET=E,MATERIAL=ALU\n",
     "@:10: 'inf' is not a finite density"},
    {"NaN density", "*MATERIAL,NAME=ALU\n*DENSITY\n NaN , 20.\n", "@:3: 'NaN' is not a finite density"},
    {"infinite coordinate", "*NODE\n1, 0., -Infinity, 0.\n", "@:2: '-Infinity' is not a finite coordinate"},
    {"overflowing coordinate", "*NODE\n1, 1.0D400\n", "@:2: '1.0D400' is not a coordinate"},
    {"GENERATE with a step of 0", "*NSET,NSET=A,GENERATE\n1, 10, 0\n",
     "@:2: GENERATE needs first, last and a positive step"},
    {"GENERATE with a negative step", "*ELSET,ELSET=A,GENERATE\n10, 1, -1\n",
     "@:2: GENERATE needs first, last and a positive step"},
    {"short element", "*NODE\n1,0,0,0\n*ELEMENT,TYPE=C3D8\n1, 1, 2, 3\n*NSET,NSET=N\n1\n",
     "@:4: element 1 has 3 of the 8 nodes of type C3D8"},
    {"long element", "*ELEMENT,TYPE=C3D4\n1, 1, 2, 3, 4, 5\n", "@:2: element 1 has more than 4 nodes for type C3D4"},
    {"unknown set in a set", "*NSET,NSET=A\n1, B\n", "@:2: node set B is not defined"},
    {"bad coordinate", "*NODE\n1, 0., x\n", "@:2: 'x' is not a coordinate"},
    {"element without type", "*ELEMENT\n1, 1\n", "@:1: *ELEMENT needs TYPE="},
    {"missing include", "**\n*INCLUDE, INPUT=gone.inp\n",
     "@:2: *INCLUDE '@dir/gone.inp': cannot open the file: No such file or directory"},
    {"no elements", "*NODE\n1,0,0,0\n", "@: no solid, shell or beam elements"},
};

TEST(CcxInpReader, NamesFileAndLineOfEveryFault) {
  for (const DeckFault &fault : kDeckFaults) {
    SCOPED_TRACE(fault.name);
    zel_test::ScratchDir dir;
    const std::string path = dir.file("job.inp");
    write_file(path, fault.deck);
    std::string expected = fault.message;
    for (size_t at = expected.find("@dir/"); at != std::string::npos; at = expected.find("@dir/"))
      expected.replace(at, 5, dir.file(""));
    expected.replace(0, 1, path);
    EXPECT_EQ(input_error_of([&] { ccx::build_body(ccx::read_inp(path)); }), expected);
  }
}

TEST(CcxInpReader, AnIncludeLoopIsStopped) {
  zel_test::ScratchDir dir;
  write_file(dir.file("job.inp"), "*INCLUDE, INPUT=job.inp\n");
  EXPECT_EQ(input_error_of([&] { ccx::read_inp(dir.file("job.inp")); }),
            dir.file("job.inp") + ":1: *INCLUDE nested more than 16 files deep (a file including itself?)");
}

// A device is never read to its end, a pipe is never waited on, and a file
// larger than half the memory is refused before a byte of it is read.
TEST(CcxInpReader, IncludesOnlyRegularFilesOfABoundedSize) {
  zel_test::ScratchDir dir;
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0700), 0);
  const std::string huge = dir.file("huge.inp");
  const std::uint64_t limit = ccx::max_text_bytes();
  {
    // Sparse: it takes no room on the disk.
    const int fd = open(huge.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(limit + 1)), 0);
    close(fd);
  }
  const struct {
    std::string target, why;
  } cases[] = {
      {"/dev/zero", "a character device, not a regular file"},
      {dir.file("pipe"), "a pipe, not a regular file"},
      {"folder", "a folder, not a regular file"},
      {"huge.inp", std::to_string(limit + 1) + " bytes, more than the " + std::to_string(limit) +
                       " bytes the translator reads (half this machine's memory)"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.target);
    write_file(dir.file("job.inp"), "*NODE\n1,0,0,0\n*INCLUDE, INPUT=" + c.target + "\n");
    const std::string shown = c.target[0] == '/' ? c.target : dir.file(c.target);
    EXPECT_EQ(input_error_of([&] { ccx::read_inp(dir.file("job.inp")); }),
              dir.file("job.inp") + ":3: *INCLUDE '" + shown + "': " + c.why);
  }
  // The job's own files obey the same rule.
  EXPECT_EQ(input_error_of([&] { ccx::read_frd(dir.file("pipe")); }),
            dir.file("pipe") + ": a pipe, not a regular file");
}

TEST(CcxInpReader, RelativeIncludesStartFromTheIncludingFile) {
  zel_test::ScratchDir dir;
  std::filesystem::create_directories(dir.file("mesh/parts"));
  write_file(dir.file("job.inp"), "*INCLUDE, INPUT=mesh/nodes.inp\n");
  write_file(dir.file("mesh/nodes.inp"), "*NODE\n1, 0, 0, 0\n*INCLUDE, INPUT=parts/more.inp\n");
  write_file(dir.file("mesh/parts/more.inp"), "*NODE\n2, 1, 0, 0\n");
  write_file(dir.file("parts/more.inp"), "*NODE\n3, 1, 0, 0\n");  // beside the job: not the one meant
  EXPECT_EQ(ccx::read_inp(dir.file("job.inp")).node_ids, (std::vector<int>{1, 2}));
}

// A set holds each ID once: naming a set in itself, or twice, adds nothing,
// so twenty self-references cannot make 2^20 entries; a GENERATE range
// takes only the IDs defined so far, however wide it is.
TEST(CcxInpReader, SetsHoldEachDefinedIdOnce) {
  zel_test::ScratchDir dir;
  std::string deck = "*NODE\n1,0,0,0\n2,1,0,0\n7,0,1,0\n40,0,0,1\n*NSET,NSET=A\n2, 1, 2\n";
  for (int k = 0; k < 20; ++k) deck += "*NSET,NSET=A\nA\n";
  deck += "*NSET,NSET=B\nA, 7, A, 1\n*NSET,NSET=WIDE,GENERATE\n1, 2147483647\n*NSET,NSET=ODD,GENERATE\n1, 2147483647, 3\n"
          "*NSET,NSET=NARROW,GENERATE\n2, 8\n"
          "*ELEMENT,TYPE=C3D4,ELSET=FIRST\n5,1,2,7,40\n*ELEMENT,TYPE=C3D4\n9,1,2,7,40\n"
          "*ELSET,ELSET=EVERY,GENERATE\n-2147483647, 2147483647\n*ELSET,ELSET=EVERY\nFIRST,EVERY,5\n"
          "*NSET,NSET=LATE,GENERATE\n1,100\n*NODE,NSET=LATE\n100,0,0,0\n";
  write_file(dir.file("job.inp"), deck);
  const ccx::Mesh mesh = ccx::read_inp(dir.file("job.inp"));
  EXPECT_EQ(mesh.node_sets.at("A"), (std::vector<int>{2, 1}));
  EXPECT_EQ(mesh.node_sets.at("B"), (std::vector<int>{2, 1, 7}));
  EXPECT_EQ(mesh.node_sets.at("WIDE"), (std::vector<int>{1, 2, 7, 40}));
  EXPECT_EQ(mesh.node_sets.at("ODD"), (std::vector<int>{1, 7, 40}));
  EXPECT_EQ(mesh.node_sets.at("NARROW"), (std::vector<int>{2, 7}));
  EXPECT_EQ(mesh.element_sets.at("EVERY"), (std::vector<int>{5, 9}));
  // Node 100 comes after the range; the *NODE line adds it by name.
  EXPECT_EQ(mesh.node_sets.at("LATE"), (std::vector<int>{1, 2, 7, 40, 100}));
}

// ---------------------------------------------------------------------
// Result file
// ---------------------------------------------------------------------

// A result block's header line in the solver's columns.
std::string block_header(int step_type, int mode, double frequency, int format = 1) {
  char line[96];
  std::snprintf(line, sizeof line, "  100CL%5d%12.8f%12d%20s%2d%5d%-10s%2d\n", 100 + mode, frequency, 2, "",
                step_type, mode, "MODAL", format);
  return line;
}

const char kDispComponents[] =
    " -4  DISP        4    1\n -5  D1          1    2    1    0\n -5  D2          1    2    2    0\n"
    " -5  D3          1    2    3    0\n -5  ALL         1    2    0    0    1ALL\n";
const char kStressComponents[] =
    " -4  STRESS      6    1\n -5  SXX         1    4    1    1\n -5  SYY         1    4    2    2\n"
    " -5  SZZ         1    4    3    3\n -5  SXY         1    4    1    2\n -5  SYZ         1    4    2    3\n"
    " -5  SZX         1    4    3    1\n";

std::string frd_prologue() {
  return "    1C\n    1UUSER\n    2C                             2                                     1\n"
         " -1         1 0.00000E+00 0.00000E+00 0.00000E+00\n -1         2 1.00000E+00 0.00000E+00 0.00000E+00\n"
         " -3\n";
}

TEST(CcxFrdReader, ReadsFixedShortAndFreeFormatBlocks) {
  const std::string text =
      frd_prologue() + "    1PSTEP                         1           1           1\n" +
      "    1PGM                2.500000E+00\n" + block_header(2, 1, 34.00096253) + kDispComponents +
      " -1         1-4.58839E+07-1.48524E-03 2.54352E+09\n"    // values run together
      " -1        22 0.00000E+00 1.00000E+00-1.00000E+00\n -3\n" +
      block_header(2, 1, 34.00096253) + kStressComponents +
      " -1         1 1.00000E+00 2.00000E+00 3.00000E+00 4.00000E+00 5.00000E+00 6.00000E+00\n -3\n" +
      block_header(2, 2, 50.5, 0) + kDispComponents + " -1    1 1.00000E+00 2.00000E+00 3.00000E+00\n -3\n" +
      block_header(2, 3, 60.0) + kDispComponents +
      " -1 5 1.5 -2.5e-3 4\n"     // blank-separated, any width
      " -1  6 -1-2 +3\n -3\n" +
      block_header(2, 3, 60.0) + kStressComponents + " -1 5 1 2 3\n -2 4 5 6\n -3\n 9999\n";
  const std::vector<ccx::ModeResults> modes = ccx::parse_frd(text, "job.frd");

  ASSERT_EQ(modes.size(), 3u);
  EXPECT_EQ(modes[0].number, 1);
  EXPECT_DOUBLE_EQ(modes[0].frequency, 34.00096253);
  EXPECT_DOUBLE_EQ(modes[0].generalized_mass, 2.5);
  EXPECT_DOUBLE_EQ(modes[1].generalized_mass, 1.0);  // not carried over to the next mode
  EXPECT_EQ(modes[0].displacement.node_ids, (std::vector<int>{1, 22}));
  EXPECT_EQ(modes[0].displacement.values,
            (std::vector<double>{-4.58839e7, -1.48524e-3, 2.54352e9, 0.0, 1.0, -1.0}));
  // Shear comes as xy, yz, zx and is kept as xy, xz, yz.
  EXPECT_EQ(modes[0].stress.values, (std::vector<double>{1, 2, 3, 4, 6, 5}));
  EXPECT_TRUE(modes[0].strain.node_ids.empty());
  EXPECT_EQ(modes[1].displacement.values, (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(modes[2].displacement.node_ids, (std::vector<int>{5, 6}));
  EXPECT_EQ(modes[2].displacement.values, (std::vector<double>{1.5, -2.5e-3, 4, -1, -2, 3}));
  EXPECT_EQ(modes[2].stress.values, (std::vector<double>{1, 2, 3, 4, 6, 5}));
}

struct ResultFault {
  const char *name;
  std::string text;
  const char *message;
};

TEST(CcxFrdReader, NamesFileAndLineOfEveryFault) {
  const std::string disp = frd_prologue() + block_header(2, 1, 10.0) + kDispComponents;  // records from line 13
  const ResultFault faults[] = {
      {"missing value", disp + " -1         7 1.00000E+00 2.00000E+00\n -3\n",
       "job.frd:13: node 7 has 2 of the 3 values of DISP"},
      {"blank field", disp + " -1         7 1.00000E+00            3.00000E+00\n -3\n",
       "job.frd:13: node 7 has 2 of the 3 values of DISP"},
      {"not a number", disp + " -1 7 1.0 abc 3.0\n -3\n", "job.frd:13: 'abc' is not a number"},
      {"not finite", disp + " -1 7 1.0 -nan 3.0\n -3\n", "job.frd:13: value 2 of node 7 is not finite"},
      {"too many values", disp + " -1 7 1 2 3 4\n -3\n", "job.frd:13: node 7 has more than the 3 values of DISP"},
      {"block left open", disp + " -1 7 1 2 3\n", "job.frd:13: DISP block not closed"},
      {"mode given twice", disp + " -1 7 1 2 3\n -3\n" + block_header(2, 1, 10.0) + kDispComponents,
       "job.frd:16: mode 1 is given twice (results of more than one frequency step?)"},
      {"static displacements", frd_prologue() + block_header(0, 1, 1.0) + kDispComponents + " -1 7 1 2 3\n -3\n",
       "job.frd:8: these displacements are not of a frequency step; the file holds no mode shapes"},
      {"no results", frd_prologue() + " 9999\n", "job.frd: no mode shapes: the file holds no displacements of a "
                                                  "frequency step"},
      {"stresses without displacements", frd_prologue() + block_header(2, 4, 1.0) + kStressComponents + " -3\n",
       "job.frd: mode 4 has stresses or strains but no displacements"},
      {"binary", frd_prologue() + block_header(2, 1, 1.0, 2),
       "job.frd:7: binary results cannot be read; have the solver write its results as text"},
      {"short header", frd_prologue() + "  100CL  101 1.0\n", "job.frd:7: result block header too short"},
      {"NaN frequency", frd_prologue() + block_header(2, 1, NAN) + kDispComponents,
       "job.frd:7: the result block's value 'nan' is not finite"},
      {"infinite generalized mass", frd_prologue() + "    1PGM                      -inf\n",
       "job.frd:7: the generalized mass '-inf' of the next mode is not finite"},
  };
  for (const ResultFault &fault : faults) {
    SCOPED_TRACE(fault.name);
    EXPECT_EQ(input_error_of([&] { ccx::parse_frd(fault.text, "job.frd"); }), fault.message);
  }
}

// ---------------------------------------------------------------------
// Printout
// ---------------------------------------------------------------------

const char kEigenvalueTable[] =
    "\n     E I G E N V A L U E   O U T P U T\n\n"
    " MODE NO    EIGENVALUE                       FREQUENCY\n"
    "                                     REAL PART            IMAGINARY PART\n"
    "                           (RAD/TIME)      (CYCLES/TIME     (RAD/TIME)\n\n"
    "      1  -0.1234567E-05   0.0000000E+00   0.0000000E+00   0.1111111E-02\n"
    "      2   0.1022761E+06   0.3198064E+03   0.5089877E+02   0.0000000E+00\n\n"
    "     P A R T I C I P A T I O N   F A C T O R S\n\n"
    "      1   0.5843945E-13   0.1012634E+02  -0.1806876E-09  -0.3037901E+00   0.1322920E-09   0.7363217E+01\n";

TEST(CcxDatReader, ReadsTheEigenvalueTableOnly) {
  const std::vector<ccx::Eigenvalue> table = ccx::parse_dat(kEigenvalueTable, "job.dat");
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0].mode, 1);
  EXPECT_DOUBLE_EQ(table[0].value, -1.234567e-6);
  EXPECT_EQ(table[1].line, 9);
  EXPECT_DOUBLE_EQ(table[1].value, 1.022761e5);
}

TEST(CcxDatReader, RefusesAMissingOrRepeatedTable) {
  EXPECT_EQ(input_error_of([] { ccx::parse_dat("nothing here\n", "job.dat"); }), "job.dat: no eigenvalue table");
  const std::string twice = std::string(kEigenvalueTable) + kEigenvalueTable;
  EXPECT_EQ(input_error_of([&] { ccx::parse_dat(twice, "job.dat"); }),
            "job.dat:21: mode 1 is listed twice (eigenvalues of more than one frequency step?)");
}

// A NaN eigenvalue would pass the check against the result file's
// frequency unseen.
TEST(CcxDatReader, RefusesAnEigenvalueThatIsNotFinite) {
  std::string table = kEigenvalueTable;
  table.replace(table.find("0.1022761E+06"), 13, "          NaN");
  EXPECT_EQ(input_error_of([&] { ccx::parse_dat(table, "job.dat"); }), "job.dat:9: 'NaN' is not a finite eigenvalue");
}

// ---------------------------------------------------------------------
// Element masses and skin faces
// ---------------------------------------------------------------------

// Node coordinates of each family's reference element in the solver's
// numbering, and its volume.
struct ReferenceElement {
  const char *type;
  std::vector<std::array<double, 3>> nodes;
  double volume;
};

std::array<double, 3> midpoint(const std::array<double, 3> &a, const std::array<double, 3> &b) {
  return {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2};
}

std::vector<std::array<double, 3>> with_midpoints(std::vector<std::array<double, 3>> corners,
                                                  const std::vector<std::array<int, 2>> &edges) {
  const auto copy = corners;
  for (const auto &edge : edges) corners.push_back(midpoint(copy[edge[0]], copy[edge[1]]));
  return corners;
}

std::vector<ReferenceElement> reference_elements() {
  const std::vector<std::array<double, 3>> tet = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const std::vector<std::array<double, 3>> wedge = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0},
                                                    {0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
  const std::vector<std::array<double, 3>> brick = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                                    {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  return {
      {"C3D4", tet, 1.0 / 6},
      {"C3D10", with_midpoints(tet, {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}}), 1.0 / 6},
      {"C3D6", wedge, 0.5},
      {"C3D15", with_midpoints(wedge, {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {4, 5}, {5, 3}, {0, 3}, {1, 4}, {2, 5}}), 0.5},
      {"C3D8R", brick, 1.0},
      {"C3D20", with_midpoints(brick, {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6}, {6, 7}, {7, 4}, {0, 4}, {1, 5},
                                       {2, 6}, {3, 7}}),
       1.0},
  };
}

// A sheared, stretched and moved copy: an affine map keeps the element
// straight-edged and multiplies its volume by the determinant, 6 here.
std::vector<double> mapped(const std::vector<std::array<double, 3>> &nodes) {
  std::vector<double> xyz;
  for (const auto &p : nodes) {
    xyz.push_back(2.0 * p[0] + 0.5 * p[1] + 0.3 * p[2] + 10.0);
    xyz.push_back(1.5 * p[1] - 0.4 * p[2] - 3.0);
    xyz.push_back(2.0 * p[2] + 1.0);
  }
  return xyz;
}

TEST(CcxElementMass, LumpedMassesAddUpToDensityTimesVolume) {
  const double density = 7850.0;
  for (const ReferenceElement &element : reference_elements()) {
    SCOPED_TRACE(element.type);
    const ccx::ElementKind &kind = *ccx::find_element_kind(element.type);
    ASSERT_EQ(static_cast<size_t>(kind.node_count), element.nodes.size());
    std::vector<double> masses(kind.node_count);
    const double volume = ccx::lump_element_mass(kind, mapped(element.nodes).data(), density, masses.data(),
                                                 {"job.inp", 1}, 1);
    EXPECT_NEAR(volume, 6.0 * element.volume, 1e-13);
    EXPECT_NEAR(std::accumulate(masses.begin(), masses.end(), 0.0), density * volume, 1e-12 * density * volume);
    for (double mass : masses) EXPECT_GT(mass, 0.0);
  }
}

TEST(CcxElementMass, RowSumsForLinearAndHrzForQuadraticElements) {
  const std::vector<ReferenceElement> elements = reference_elements();
  std::vector<double> masses(20);
  // Linear tetrahedron: a quarter of the mass at each corner.
  ccx::lump_element_mass(*ccx::find_element_kind("C3D4"), mapped(elements[0].nodes).data(), 1.0, masses.data(),
                         {"job.inp", 1}, 1);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(masses[i], 1.0 / 4, 1e-14);
  // Quadratic tetrahedron: the consistent diagonal is V/70 at a corner and
  // 8V/105 at a mid-side node, scaled to the mass: 1/36 and 4/27 of it.
  ccx::lump_element_mass(*ccx::find_element_kind("C3D10"), mapped(elements[1].nodes).data(), 1.0, masses.data(),
                         {"job.inp", 1}, 1);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(masses[i], 1.0 / 36, 1e-14);
  for (int i = 4; i < 10; ++i) EXPECT_NEAR(masses[i], 4.0 / 27, 1e-14);
}

// Builds a one-material mesh of the given elements over the nodes.
ccx::Mesh mesh_of(const std::vector<std::array<double, 3>> &nodes,
                  const std::vector<std::pair<const char *, std::vector<int>>> &elements) {
  ccx::Mesh mesh;
  mesh.file = "job.inp";
  for (size_t i = 0; i < nodes.size(); ++i) {
    mesh.node_ids.push_back(static_cast<int>(i + 1));
    mesh.node_index[static_cast<int>(i + 1)] = i;
    mesh.coordinates.insert(mesh.coordinates.end(), nodes[i].begin(), nodes[i].end());
  }
  for (const auto &[type, ids] : elements) {
    const int id = static_cast<int>(mesh.elements.size() + 1);
    mesh.elements.push_back({id, ccx::find_element_kind(type), type, mesh.connectivity.size(), {"job.inp", id}});
    mesh.connectivity.insert(mesh.connectivity.end(), ids.begin(), ids.end());
    mesh.element_sets["ALL"].push_back(id);
  }
  mesh.materials["M"] = {true, 2.0, {"job.inp", 1}};
  mesh.sections.push_back({"ALL", "M", {"job.inp", 1}});
  return mesh;
}

TEST(CcxSkin, EveryFaceOfOneElementPointsOutward) {
  for (const ReferenceElement &element : reference_elements()) {
    SCOPED_TRACE(element.type);
    std::vector<int> ids(element.nodes.size());
    std::iota(ids.begin(), ids.end(), 1);
    const ccx::Body body = ccx::build_body(mesh_of(element.nodes, {{element.type, ids}}));
    const ccx::ElementKind &kind = *ccx::find_element_kind(element.type);
    EXPECT_EQ(body.face_count, static_cast<int>(kind.faces.size()));
    std::array<double, 3> centre{};
    for (const auto &p : element.nodes)
      for (int d = 0; d < 3; ++d) centre[d] += p[d] / element.nodes.size();
    for (size_t k = 0; k < body.faces.size(); k += 1 + body.faces[k]) {
      const int n = body.faces[k];
      EXPECT_EQ(n, kind.quadratic ? (n == 6 ? 6 : 8) : (n == 3 ? 3 : 4));
      // Corners come first along the boundary, mid-side nodes between them.
      const int step = kind.quadratic ? 2 : 1;
      const auto &a = element.nodes[body.faces[k + 1] - 1], &b = element.nodes[body.faces[k + 1 + step] - 1],
                 &c = element.nodes[body.faces[k + 1 + 2 * step] - 1];
      const std::array<double, 3> u{b[0] - a[0], b[1] - a[1], b[2] - a[2]}, v{c[0] - a[0], c[1] - a[1], c[2] - a[2]};
      const std::array<double, 3> normal{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                                         u[0] * v[1] - u[1] * v[0]};
      const double outward =
          normal[0] * (a[0] - centre[0]) + normal[1] * (a[1] - centre[1]) + normal[2] * (a[2] - centre[2]);
      EXPECT_GT(outward, 0.0);
      if (kind.quadratic)
        for (int m = 0; m < n; m += 2) {
          const auto &from = element.nodes[body.faces[k + 1 + m] - 1];
          const auto &to = element.nodes[body.faces[k + 1 + (m + 2) % n] - 1];
          EXPECT_EQ(element.nodes[body.faces[k + 2 + m] - 1], midpoint(from, to));
        }
    }
    EXPECT_NEAR(body.mass, 2.0 * element.volume, 1e-14);
  }
}

TEST(CcxSkin, AFaceTwoElementsShareIsLeftOut) {
  // Two bricks side by side, then a third cube split into two wedges.
  const std::vector<std::array<double, 3>> nodes = {
      {0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {2, 0, 0}, {2, 1, 0},
      {2, 0, 1}, {2, 1, 1}, {3, 0, 0}, {3, 1, 0}, {3, 0, 1}, {3, 1, 1}};
  const ccx::Body body = ccx::build_body(mesh_of(nodes, {{"C3D8", {1, 2, 3, 4, 5, 6, 7, 8}},
                                                          {"C3D8I", {2, 9, 10, 3, 6, 11, 12, 7}},
                                                          {"C3D6", {9, 13, 10, 11, 15, 12}},
                                                          {"C3D6", {13, 14, 10, 15, 16, 12}}}));
  // 6 + 6 + 5 + 5 faces less both sides of the three shared ones.
  EXPECT_EQ(body.face_count, 16);
  for (size_t k = 0; k < body.faces.size(); k += 1 + body.faces[k]) {
    std::vector<int> face(body.faces.begin() + k + 1, body.faces.begin() + k + 1 + body.faces[k]);
    std::sort(face.begin(), face.end());
    EXPECT_NE(face, (std::vector<int>{2, 3, 6, 7}));
    EXPECT_NE(face, (std::vector<int>{9, 10, 11, 12}));
    EXPECT_NE(face, (std::vector<int>{10, 12, 13, 15}));
  }
  EXPECT_EQ(body.node_ids.size(), 16u);
  EXPECT_NEAR(std::accumulate(body.masses.begin(), body.masses.end(), 0.0), 2.0 * 3.0, 1e-13);
}

}  // namespace
