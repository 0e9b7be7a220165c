/*
 * zel.h - the public C interface of the ZEL flexible-body library.
 *
 * A Database holds one flexible body: nodes, modes, mass data, faces,
 * invariants, loads and units. Create one empty (ZEL_Create) and fill it
 * through the builder, or open a ZEL file (ZEL_CreateFromZEL); release it
 * with ZEL_UnLink, or all of them with ZEL_Terminate.
 *
 * Conventions of every operation below:
 *  - The handle comes first and is checked; a null handle prints
 *    "The database has not been initialized." and gives the failing result.
 *  - Results: 1 success, 0 failure; index lookups give -1 when nothing is
 *    found; queries give 0, 0.0 or NULL on failure.
 *  - Errors and warnings go to standard error, information to standard
 *    output. Nothing is silent, nothing throws.
 *  - Arrays returned by the library are new allocations owned by the caller,
 *    released with ZEL_FreeMemory. Dense matrices are written into buffers
 *    the caller provides.
 *  - One thread at a time: the library keeps process-wide state unguarded.
 *
 * This header compiles as C99 and as C++.
 */
#ifndef ZEL_H
#define ZEL_H

#include <stdio.h>

#if defined(ZEL_BUILDING_LIBRARY)
#define ZEL_API __attribute__((visibility("default")))
#else
#define ZEL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The record of one flexible body; opaque to callers. */
typedef struct Database Database;

/* ---------------------------------------------------------------------
 * Lifecycle and handles
 * ------------------------------------------------------------------- */

/* An empty database sized for about expected_nodes nodes and at most
 * max_modes modes (0 allows nodes but no modes). NULL when memory is
 * exhausted. The database joins the process-wide list, in creation order. */
ZEL_API Database *ZEL_Create(int expected_nodes, int max_modes);

/* The database holding the ZEL file at path: the one already open under
 * exactly that path, else a new one read from the file. NULL when the file
 * cannot be opened or read. */
ZEL_API Database *ZEL_CreateFromZEL(const char *path);

/* Releases one database: its arrays, its temporary files (deleted) and the
 * ZEL file it was read from (closed, not deleted). NULL is ignored; so is a
 * handle not in the list. The handle is dead afterwards. */
ZEL_API void ZEL_UnLink(Database *db);

/* Releases every database, as ZEL_UnLink does for one. */
ZEL_API void ZEL_Terminate(void);

/* Kept for old callers; does nothing. */
ZEL_API void ZEL_Destroy(void);

/* 1 when db is usable (non-null), else 0 with an error message. */
ZEL_API int CheckZEL(Database *db);

/* Releases an array the library returned. NULL is ignored. */
ZEL_API void ZEL_FreeMemory(void *memory);

/* ---------------------------------------------------------------------
 * Messages and progress
 * ------------------------------------------------------------------- */

/* printf-style reporters. Every line of the formatted text is printed on
 * its own line: errors as "ERROR:  <line>" and warnings as
 * "WARNING:  <line>" on standard error, information as "<line>" on
 * standard output. A text ending in a line feed gives a last line holding
 * the prefix alone. The result carries no meaning. */
ZEL_API int ZEL_Error(const char *format, ...);
ZEL_API int ZEL_Warning(const char *format, ...);
ZEL_API int ZEL_Info(const char *format, ...);

/* Starts the process-wide progress monitor for total steps (at least 1). */
ZEL_API void ZEL_TimeMonitor(int total);
/* Counts one step and rewrites the progress line on standard output. */
ZEL_API void ZEL_TimeMonitorStamp(void);

/* ---------------------------------------------------------------------
 * Builder: header, nodes, masses, inertias, faces, interface nodes
 * ------------------------------------------------------------------- */

/* Sets the six header texts (none may be NULL) and stamps the creation
 * date. Texts longer than their field (127, 127, 15, 79, 79, 79 chars) are
 * cut with a warning; line feeds in the caller's strings become blanks. */
ZEL_API int ZEL_SetHeader(Database *db, char *title, char *input_file_name,
                          char *input_file_type, char *comment1,
                          char *comment2, char *comment3);

/* Node index (0-based, in order of first appearance) of a node ID, or -1. */
ZEL_API int ZEL_NodeIndex(Database *db, int id);
/* Adds a node without looking for the ID first; its index, or -1. */
ZEL_API int ZEL_AddNode(Database *db, int id);
/* The node's index, adding the node when the ID is new; -1 on failure. */
ZEL_API int ZEL_LookupOrAddNode(Database *db, int id);

/* The setters below add the node when its ID is new. */
ZEL_API int ZEL_SetNodeCoordinates(Database *db, int id, double x, double y, double z);
ZEL_API int ZEL_SetNodalMass(Database *db, int id, double mass);
ZEL_API int ZEL_AddNodalMass(Database *db, int id, double mass);
/* row and col in 1..3; (r, c) and (c, r) name the same symmetric entry. */
ZEL_API int ZEL_SetNodalInertiaEntry(Database *db, int id, int row, int col, double value);
ZEL_API int ZEL_SetNodalInertia(Database *db, int id, double ixx, double iyy,
                                double izz, double ixy, double ixz, double iyz);

/* One face of n node IDs. A vertex equal to the previous one, or a last
 * vertex equal to the first, is dropped; fewer than 2 vertices left gives 0. */
ZEL_API int ZEL_SetFaceList(Database *db, int n, int *ids);
/* The same with the n IDs (at most 256) as further int arguments. */
ZEL_API int ZEL_SetFace(Database *db, int n, ...);

/* Marks an existing node as an interface node (once); 0 for an unknown ID. */
ZEL_API int ZEL_SetInterfaceNode(Database *db, int id);

/* Stores the global mass, centre of mass (3) and inertia tensor (9, row
 * order), warning where they disagree with the nodal data. */
ZEL_API int ZEL_SetGlobalMass(Database *db, double mass, double *cm, double *inertia);
/* Fills the global mass properties from the nodal data. Always 1. */
ZEL_API int ZEL_CalculateGlobalMassFromNodeMass(Database *db);

/* ---------------------------------------------------------------------
 * Builder: mode list, mode shapes, modal stresses and strains
 * ------------------------------------------------------------------- */

/* ---------------------------------------------------------------------
 * File container: block access and 64-bit positioning
 * ------------------------------------------------------------------- */

/* Block b is named by its index, block id - 1 (0..31).
 * 1 for b = 0, 1, 2 (always present); the block's content flag (the stored
 * char, sign-extended) for b = 3..31; 0 for b outside 0..31 or a bad db. */
ZEL_API int ZEL_Exists(Database *db, int b);
/* Moves db's file to the start of block b: 1, or 0 when db is bad, has no
 * open file or the block is absent (the position is then unchanged). */
ZEL_API int ZEL_goto_block(Database *db, int b);
/* The byte length of block b from the counts at its start; the file
 * position is restored. 0 for a bad db or an absent block; 0 with the
 * block's error message when a count cannot be read, is negative, or gives
 * a block running past the end of the file. */
ZEL_API unsigned long long ZEL_size_of_block(Database *db, int b);
/* 64-bit stream positioning. whence 0: from the start, 1: from the current
 * position, 2: from the end. 0 on success; nonzero on failure (a null
 * stream, a negative target, another whence), the position unchanged. */
ZEL_API int FileSeek_Win32(FILE *stream, long long offset, int whence);
/* The stream's 64-bit position, -1 on failure or for a null stream. */
ZEL_API long long FileTell_Win32(FILE *stream);

/* ---------------------------------------------------------------------
 * Units and scaling
 * ------------------------------------------------------------------- */

/* ---------------------------------------------------------------------
 * Geometry tools: node search, faces, sketch grid, geometry nodes
 * ------------------------------------------------------------------- */

/* ---------------------------------------------------------------------
 * System utilities
 * ------------------------------------------------------------------- */

/* Local date and/or time with the offset from Greenwich time into out (at
 * least 64 chars): mode 1 "YYYY-MM-DD", mode 2 "hh:mm +HHMM", any other
 * mode both, separated by a blank. A negative mode gives the text of its
 * absolute value and also prints two trace lines on standard output.
 * Always 0. */
ZEL_API int ZEL_localtime_ISO8601(int mode, char *out);
/* The operating system into out (at least 64 chars): its name, and for
 * modes 2, 3, 12, 13 its release (3 and 13 also a version number), joined
 * by blanks (2, 3) or underscores (12, 13). Other modes: the name alone.
 * Always 0. */
ZEL_API int ZEL_uname(int mode, char *out);
/* Processor time used by the process so far, in seconds; -1.0 when the
 * runtime cannot tell. */
ZEL_API double ZEL_cputime(void);
/* Turns the trailing blanks of text[0..length-1] into NULs, from the end
 * back to the first non-blank. length <= 0 does nothing. */
ZEL_API void terminate_string(char *text, int length);
/* Widens n floats into n doubles, last to first, so that dst may be the
 * same memory as src. Gives dst. */
ZEL_API double *float2double(double *dst, float *src, int n);
/* Narrows n doubles into n floats, first to last, so that dst may be the
 * same memory as src. Gives dst. */
ZEL_API float *double2float(float *dst, double *src, int n);

/* ---------------------------------------------------------------------
 * Module versions
 * ------------------------------------------------------------------- */
ZEL_API const char *zelcreate_VersionId(void);
ZEL_API const char *zelmsg_VersionId(void);
ZEL_API const char *zelset_VersionId(void);
ZEL_API const char *zelinvar_VersionId(void);
ZEL_API const char *zelread_VersionId(void);
ZEL_API const char *zeltoc_VersionId(void);

#ifdef __cplusplus
}
#endif

#endif /* ZEL_H */
