/*
 * from_ccx.h - the `zel from-ccx` command: a solver's modal analysis
 * (JOB.inp, JOB.frd, JOB.dat) turned into a ZEL file through the library's
 * builder and writer. Compiles as C99 and C++.
 */
#ifndef ZEL_FROM_CCX_H
#define ZEL_FROM_CCX_H

#ifdef __cplusplus
extern "C" {
#endif

/* Runs the command with the arguments that follow its name. What it read
 * and wrote goes out as the library's information lines, errors to standard
 * error. The exit status: 0 written,
 * 2 a usage error or a file that cannot be read or translated. */
int zel_from_ccx(int argc, char **argv);

#ifdef __cplusplus
}
#endif

#endif /* ZEL_FROM_CCX_H */
