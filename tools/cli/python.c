/*
 * python.c - `zel plot` and `zel vtk`: handed to the Python package.
 */
#define _GNU_SOURCE /* dladdr */

#include "commands.h"

#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>


/* Runs `$ZEL_PYTHON -m zel COMMAND ARGS...` (python3 by default) in place
 * of this program, with ZEL_LIBRARY naming the library this program runs
 * with unless it is set already. Returns only when that cannot start. */
static int run_python(const char *command, int argc, char **argv) {
  const char *python = getenv("ZEL_PYTHON");
  char **arguments = malloc(((size_t)argc + 5) * sizeof *arguments);
  Dl_info library;
  int i;
  if (python == NULL || python[0] == '\0') python = "python3";
  if (arguments == NULL) return EXIT_USAGE;
  if (getenv("ZEL_LIBRARY") == NULL && dladdr((void *)ZEL_Version, &library) != 0 && library.dli_fname != NULL)
    setenv("ZEL_LIBRARY", library.dli_fname, 1);
  arguments[0] = (char *)python;
  arguments[1] = "-m";
  arguments[2] = "zel";
  arguments[3] = (char *)command;
  for (i = 0; i < argc; ++i) arguments[4 + i] = argv[i];
  arguments[4 + argc] = NULL;
  execvp(python, arguments);
  fprintf(stderr, "zel %s: cannot run %s: %s\n", command, python, strerror(errno));
  free(arguments);
  return EXIT_USAGE;
}

static int run_plot(int argc, char **argv) { return run_python("plot", argc, argv); }
static int run_vtk(int argc, char **argv) { return run_python("vtk", argc, argv); }

#define PYTHON_NOTE                                                           \
  "Runs the Python package: python3 -m zel (ZEL_PYTHON names another\n"      \
  "interpreter), which must be installed or on PYTHONPATH, with numpy and\n" \
  "matplotlib. Exit status: 0 success, 2 usage or read error.\n"

const Command plot_command = {"plot", "plot FILE --mode N -o OUT [--deflection F] [--size WxH]",
    "Draws the skin faces of FILE undeformed and deformed by mode N, coloured\n"
    "by displacement magnitude, with the mode number and frequency in the\n"
    "title, into the picture OUT (.png, .svg, .pdf).\n"
    "\n"
    "  --deflection F   largest drawn displacement as a fraction of the body\n"
    "                   size (default 0.1)\n"
    "  --size WxH       picture size in pixels (default 800x600)\n"
    "\n"
    PYTHON_NOTE,
    run_plot};

const Command vtk_command = {"vtk", "vtk FILE OUT.vtu [--modes LIST]",
    "Writes the nodes, skin faces, masses and modes of FILE as a VTK XML\n"
    "UnstructuredGrid for ParaView: point data mode_N (translations) and\n"
    "mode_N_rotation of each mode.\n"
    "\n"
    "  --modes LIST   mode numbers, like 1-10 or 1,3,5-7 (default every mode)\n"
    "\n"
    PYTHON_NOTE,
    run_vtk};
