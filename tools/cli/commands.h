/*
 * commands.h - the commands of the `zel` program, one family to a file.
 */
#ifndef ZEL_CLI_COMMANDS_H
#define ZEL_CLI_COMMANDS_H

#include "common.h"

extern const Command contents_command; /* contents.c */
extern const Command info_command;     /* contents.c */
extern const Command check_command;    /* check.c */
extern const Command compare_command;  /* compare.c */
extern const Command plot_command;     /* python.c */
extern const Command vtk_command;      /* python.c */
extern const Command from_ccx_command; /* from_ccx.c */
extern const Command mac_command;      /* mac.c */

#endif /* ZEL_CLI_COMMANDS_H */
