/*
 * from_ccx.c - `zel from-ccx`: the translator in tools/ccx behind the
 * program's command table.
 */
#include "commands.h"
#include "from_ccx.h"

const Command from_ccx_command = {"from-ccx", "from-ccx JOB [-o FILE] [--interface NSET] [--units M,L,T,F] [--options TEXT]",
    "Makes a ZEL file from a CalculiX modal analysis (a *FREQUENCY step): the\n"
    "mesh, node sets and densities of JOB.inp, the mode shapes (and modal\n"
    "stresses and strains when written) of JOB.frd, the eigenvalues of JOB.dat.\n"
    "Shear strains are stored as engineering strains, twice the solver's\n"
    "tensor components.\n"
    "Solid elements C3D4, C3D10, C3D6, C3D15, C3D8, C3D8R, C3D8I, C3D20 and\n"
    "C3D20R; their skin faces are kept for drawing. Nodal masses integrate\n"
    "the consistent mass matrix and lump it by row sums for linear elements\n"
    "and by scaling its diagonal to the element mass (HRZ) for quadratic ones.\n"
    "The writer orthonormalizes the modes to these lumped masses.\n"
    "\n"
    "  -o FILE            the ZEL file (default JOB.zel)\n"
    "  --interface NSET   the nodes of node set NSET are interface nodes\n"
    "                     (repeatable)\n"
    "  --units M,L,T,F    the units the model was made in: mass, length, time,\n"
    "                     force (default kg,m,s,N)\n"
    "  --options TEXT     the writer's options, instead of KOR_ZELWRITE_OPTIONS;\n"
    "                     without either, full_invar (the inertia invariants,\n"
    "                     then only the nodes that draw and hold the body)\n"
    "\n"
    "Exit status: 0 written, 2 usage error or a file that cannot be read or\n"
    "translated.\n",
    zel_from_ccx};
