/*
 * python.c - `zel plot` and `zel vtk`: handed to the Python package.
 */
#define _GNU_SOURCE /* dladdr */

#include "commands.h"
#include "messages.h"

#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

enum { FOLDER_SIZE = 4096 };

static int holds_package(const char *folder) {
  char path[FOLDER_SIZE + 32];
  snprintf(path, sizeof path, "%s/zel/__main__.py", folder);
  return access(path, R_OK) == 0;
}

/* The folder that holds the package zel: the one installed with this
 * program (its bin folder's ../share/zel/python), else the sources it was
 * built from. 0 when neither holds it. */
static int find_package(char *folder) {
  char self[FOLDER_SIZE];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  char *slash;
  if (length > 0) {
    self[length] = '\0';
    slash = strrchr(self, '/');
    if (slash != NULL) {
      *slash = '\0';
      if (snprintf(folder, FOLDER_SIZE, "%s/%s", self, ZEL_PYTHON_FROM_BINDIR) < FOLDER_SIZE && holds_package(folder))
        return 1;
    }
  }
  snprintf(folder, FOLDER_SIZE, "%s", ZEL_PYTHON_SOURCE_DIR);
  return holds_package(folder);
}

/* Puts folder first on PYTHONPATH, so that the package found with this
 * program is the one run. */
static int put_first_on_python_path(const char *folder) {
  const char *old = getenv("PYTHONPATH");
  const size_t size = strlen(folder) + (old != NULL ? strlen(old) : 0) + 2;
  char *path = malloc(size);
  int ok;
  if (path == NULL) return 0;
  snprintf(path, size, "%s%s%s", folder, old != NULL && old[0] != '\0' ? ":" : "", old != NULL ? old : "");
  ok = setenv("PYTHONPATH", path, 1) == 0;
  free(path);
  return ok;
}

/* 1 when `python -c "import zel"` succeeds, quietly. */
static int python_imports_package(const char *python) {
  int status = 0;
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    execlp(python, python, "-c", "import zel", (char *)NULL);
    _exit(127);
  }
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

/* Runs `$ZEL_PYTHON -m zel COMMAND ARGS...` (by default the interpreter
 * with numpy and matplotlib found when the program was built) in place
 * of this program, with the package found with this program first on
 * PYTHONPATH and ZEL_LIBRARY naming the library this program runs with
 * unless it is set already. Returns only when that cannot start. */
static int run_python(const char *command, int argc, char **argv) {
  const char *python = getenv("ZEL_PYTHON");
  char **arguments = malloc(((size_t)argc + 6) * sizeof *arguments);
  char folder[FOLDER_SIZE];
  Dl_info library;
  int first, i;
  if (python == NULL || python[0] == '\0') python = ZEL_DEFAULT_PYTHON;
  if (arguments == NULL) return EXIT_USAGE;
  if (find_package(folder) ? !put_first_on_python_path(folder) : !python_imports_package(python)) {
    fprintf(stderr,
            "zel %s: the Python package zel is not installed for %s: install it with 'pip install "
            "SOURCES/python', or set PYTHONPATH to the folder that holds it\n",
            command, python);
    free(arguments);
    return EXIT_USAGE;
  }
  if (getenv("ZEL_LIBRARY") == NULL && dladdr((void *)ZEL_Version, &library) != 0 && library.dli_fname != NULL)
    setenv("ZEL_LIBRARY", library.dli_fname, 1);
  arguments[0] = (char *)python;
  arguments[1] = "-m";
  arguments[2] = "zel";
  arguments[3] = (char *)command;
  first = 4;
  /* The program's -q or -v, taken before COMMAND, go on to the package. */
  if (verbosity() != VERBOSITY_NORMAL) arguments[first++] = verbosity() == VERBOSITY_QUIET ? "--quiet" : "--verbose";
  for (i = 0; i < argc; ++i) arguments[first + i] = argv[i];
  arguments[first + argc] = NULL;
  execvp(python, arguments);
  fprintf(stderr, "zel %s: cannot run %s: %s\n", command, python, strerror(errno));
  free(arguments);
  return EXIT_USAGE;
}

static int run_plot(int argc, char **argv) { return run_python("plot", argc, argv); }
static int run_vtk(int argc, char **argv) { return run_python("vtk", argc, argv); }

/* Their help is the Python package's own (`zel plot --help` is handed over
 * like any other arguments), so that it cannot fall behind its options. */
const Command plot_command = {
    "plot", "plot FILE (--mode N | --modes LIST) -o OUT [--deflection F] [--size WxH]", NULL, run_plot};
const Command vtk_command = {"vtk", "vtk FILE OUT [--modes LIST]", NULL, run_vtk};
