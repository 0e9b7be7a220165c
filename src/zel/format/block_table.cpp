#include "format/block_table.h"

namespace zel {

namespace {

constexpr BlockInfo fixed(int id, const char *name, int position, const char *label, int ints, int chars,
                          int reals) {
  return {id, name, position, label, SizeRule::kFixed, ints, chars, reals, nullptr};
}

constexpr BlockInfo counted(int id, const char *name, int position, const char *label, SizeRule rule,
                            const char *failure, int reals_per_mode = 0) {
  return {id, name, position, label, rule, 0, 0, reals_per_mode, failure};
}

}  // namespace

const std::array<BlockInfo, kBlockCount> kBlocks = {{
    fixed(1, "version_code", -1, "Version code (1)", 1, 0, 0),
    fixed(2, "header", -1, "Header (2)", 0, kHeaderChars, 0),
    fixed(3, "content_summary", -1, "Content_summary (3)", 0, kContentSummaryChars, 0),
    counted(4, "nodal_coords", 0, "Nodal_coords (4)", SizeRule::kNodeRecords, "Problem in nodal coords block"),
    counted(5, "element_topology", 1, "Element_topology (5)", SizeRule::kElementTopology,
            "Problem in old style element topology block"),
    fixed(6, "global_body_props", 2, "Global_body_props (6)", 0, 0, 13),
    counted(7, "eigenvalues", 3, "Eigenvalues (7)", SizeRule::kEigenvalues, "Problem in eigenvalues block"),
    counted(8, "mode_shapes", 4, "Mode_shapes (8)", SizeRule::kModeVectors, "Problem in mode shapes block"),
    counted(9, "nodal_masses", 5, "Nodal_masses (9)", SizeRule::kNodeRecords, "Problem in nodal mass block"),
    counted(10, "nodal_inertias", 6, "Nodal_inertias (10)", SizeRule::kNodalInertias,
            "Problem in nodal inertia block"),
    fixed(11, "units", 8, "Units (11)", 0, kUnitsChars, 0),
    counted(12, "generalized_stiff", 9, "Generalized_stiffness (12)", SizeRule::kGeneralizedEntries,
            "Problem in generalized stiffness block"),
    counted(13, "generalized_mass", 10, "Generalized_mass (13)", SizeRule::kGeneralizedEntries,
            "Problem in generalized mass block"),
    counted(14, "element_faces", 12, "Element_faces (14)", SizeRule::kSelfSized, "Problem in element face block"),
    counted(15, "generalized_damping", 13, "Generalized_damping (15)", SizeRule::kGeneralizedEntries,
            "Problem in generalized damping block"),
    counted(16, "mode_shape_transformation", 14, "Mode_Shape_Transformation (16)", SizeRule::kTransformation,
            "Problem in mode shape transformation block"),
    counted(17, "interface_nodes", 15, "Interface_Nodes (17)", SizeRule::kIntList,
            "Problem in interface node block"),
    counted(18, "modal_stress", 16, "Modal Stress (18)", SizeRule::kModeVectors, "Problem in modal stress block"),
    fixed(19, "invar1", 17, "Invariants 1 (19)", 0, 0, 1),
    fixed(20, "invar2", 18, "Invariants 2 (20)", 0, 0, 3),
    counted(21, "invar3", 19, "Invariants 3 (21)", SizeRule::kPerMode, "Problem in invar 3 block", 3),
    counted(22, "invar4", 20, "Invariants 4 (22)", SizeRule::kPerMode, "Problem in invar 4 block", 3),
    counted(23, "invar5", 21, "Invariants 5 (23)", SizeRule::kPerModePair, "Problem in invar 5 block", 3),
    fixed(24, "invar7", 22, "Invariants 7 (24)", 0, 0, 9),
    counted(25, "invar8", 23, "Invariants 8 (25)", SizeRule::kPerMode, "Problem in invar 8 block", 9),
    counted(26, "invar9", 24, "Invariants 9 (26)", SizeRule::kPerModePair, "Problem in invar 9 block", 9),
    counted(27, "preload", 25, "Modal Preload (27)", SizeRule::kPreload, "Problem in modal preload block"),
    counted(28, "modal_loads", 26, "Modal Loads (28)", SizeRule::kModalLoads, "Problem in modal load block"),
    counted(29, "modal_strain", 27, "Modal Strain (29)", SizeRule::kModeVectors, "Problem in modal strain block"),
    counted(30, "modal_statistics", 28, "Modal Statistics (30)", SizeRule::kStatistics,
            "Problem in modal statistics block"),
    counted(31, "pre_stress", 29, "Nodal Pre-Stress (31)", SizeRule::kNodalSixValues,
            "Problem in nodal pre-stress block"),
    counted(32, "pre_strain", 30, "Nodal Pre-Strain (32)", SizeRule::kNodalSixValues,
            "Problem in nodal pre-strain block"),
}};

}  // namespace zel
