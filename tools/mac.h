/*
 * mac.h - the `zel mac` command: the mode shapes of two bodies of one part,
 * meshed differently, compared by the mass-weighted modal assurance
 * criterion on nodes paired by position. Compiles as C99 and C++.
 */
#ifndef ZEL_MAC_H
#define ZEL_MAC_H

#ifdef __cplusplus
extern "C" {
#endif

#define MAC_SYNOPSIS \
  "mac BASE OTHER [--tolerance D] [--rotations] [--min-mac X] [--csv FILE] [--picture FILE.svg]"

#define MAC_HELP                                                               \
  "Compares the mode shapes of OTHER with those of BASE, two meshes of one\n"  \
  "part, by the modal assurance criterion (MAC). Each mode-shape node of BASE\n" \
  "is paired with the nearest mode-shape node of OTHER (the first one on a\n"  \
  "tie); a node of BASE with none within the tolerance is left out, and how\n" \
  "many were is said on standard error. OTHER's coordinates are taken into\n"  \
  "BASE's length unit first. On the paired nodes, for mode i of BASE (a)\n"    \
  "and mode j of OTHER (b),\n"                                                 \
  "\n"                                                                         \
  "  MAC(i, j) = (a_i' M b_j)^2 / ((a_i' M a_i) (b_j' M b_j))\n"              \
  "\n"                                                                         \
  "where M holds BASE's nodal masses: each node of BASE stands for the\n"      \
  "material around it, so the sums approximate the mass integrals over the\n"  \
  "part whatever mesh OTHER has, and the same weights on both sides give\n"    \
  "identical shapes a MAC of 1. Rotations are left out (a solid mesh has\n"    \
  "none) unless --rotations, which weights them with BASE's nodal inertia\n"   \
  "tensors. When the paired nodes carry no mass, every node weighs alike. A\n" \
  "mode that moves no paired node has a MAC of 0 with every mode. As many\n"   \
  "modes of BASE are held at once as fit in ZEL_INVARIANT_MEMORY MiB\n"       \
  "(default 512), at least one; OTHER's modes are read again for each batch.\n" \
  "\n"                                                                         \
  "Prints one line per mode of BASE: its partner in OTHER (the highest MAC,\n" \
  "the first on a tie), the MAC, both frequencies and their difference\n"      \
  "(OTHER minus BASE, in Hz and in percent of BASE's frequency).\n"            \
  "\n"                                                                         \
  "  --tolerance D      the farthest a node of OTHER may be from its node of\n" \
  "                     BASE, in BASE's length unit (default 5% of the\n"      \
  "                     diagonal of the box around BASE's mode-shape nodes)\n" \
  "  --rotations        compare rotations too\n"                               \
  "  --min-mac X        the least MAC every mode of BASE must reach (0 to 1)\n" \
  "  --csv FILE         every MAC, one line per pair of modes: base_mode,\n"   \
  "                     other_mode, mac, base_hz, other_hz\n"                  \
  "  --picture FILE     the MAC matrix as an SVG picture: BASE's modes down,\n" \
  "                     OTHER's across, white at 0 to dark blue at 1\n"        \
  "\n"                                                                         \
  "Exit status: 0 compared (with --min-mac: every mode of BASE has a partner\n" \
  "at X or above), 1 a mode of BASE below X, 2 usage, read or output error.\n"

/* Runs the command with the arguments that follow its name. */
int run_mac(int argc, char **argv);

#ifdef __cplusplus
}
#endif

#endif /* ZEL_MAC_H */
