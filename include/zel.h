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
 * exactly that path while the file there is still the one it read
 * (same file, size and modification time), else a new one read from the
 * file. NULL when the file cannot be opened or read. */
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
 * Reading
 * ------------------------------------------------------------------- */

/* Fills the empty db from the ZEL file open for binary reading on stream,
 * named name. From the call on db owns stream, whatever the result, and
 * keeps it open: mode shapes, stresses and strains are read from it on
 * demand. 1 when the whole file was read; 0 after the message of the first
 * fatal problem (db then holds what was read so far and is to be released
 * by the caller). A NULL db gives 0 and leaves stream alone. */
ZEL_API int ZEL_ReadZEL(Database *db, FILE *stream, const char *name);

/* Re-read block 12 (13, 15) of db's file into the generalized stiffness
 * (mass, damping) entries; damping also takes the principal-axes flag.
 * 1 when the block was read whole, is absent or db has no file to read it
 * from (the entries held are then kept), else 0. The file position is
 * kept. */
ZEL_API int ZEL_ReadGeneralizedStiffness(Database *db);
ZEL_API int ZEL_ReadGeneralizedMass(Database *db);
ZEL_API int ZEL_ReadGeneralizedDamping(Database *db);

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

/* Where the messages go. With no handler installed (the default, or after
 * ZEL_SetMessageHandler(NULL, NULL)) they are printed as described above.
 * An installed handler receives every line instead, without its prefix
 * and without a line feed, with its kind; a progress step arrives as one
 * line "NNN%, NNNN seconds left of NNNN estimated total" of kind
 * ZEL_MESSAGE_PROGRESS, and the next message of another kind (or the
 * caller's end of the work) ends the progress. The handler may be called
 * from any thread of the library; the line lives only for the call.
 * Programs use this to be quiet by default, to send information to
 * standard error, or to show progress only on a terminal. */
enum {
  ZEL_MESSAGE_ERROR = 1,
  ZEL_MESSAGE_WARNING = 2,
  ZEL_MESSAGE_INFO = 3,
  ZEL_MESSAGE_PROGRESS = 4
};
typedef void (*ZEL_MessageHandler)(int kind, const char *line, void *context);
ZEL_API void ZEL_SetMessageHandler(ZEL_MessageHandler handler, void *context);

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
 * order), warning where they disagree with invariants 1, 2 and 7 (a file's
 * invariant blocks, else the nodal data). */
ZEL_API int ZEL_SetGlobalMass(Database *db, double mass, double *cm, double *inertia);
/* Fills the global mass properties from invariants 1, 2 and 7 (a file's
 * invariant blocks, else the nodal data). 1; 0 when memory runs out. */
ZEL_API int ZEL_CalculateGlobalMassFromNodeMass(Database *db);

/* ---------------------------------------------------------------------
 * Queries: header, nodes, interface nodes, faces, global mass
 * A null handle gives 0, 0.0 or NULL without a message; indices are
 * 0-based and out-of-range indices give 0 (0.0) without a message.
 * ------------------------------------------------------------------- */

/* The file version code (its low byte). */
ZEL_API int ZEL_Version(Database *db);
/* Copies the header texts into the caller's buffers of 128, 32, 128, 16,
 * 80, 80 and 80 bytes; a NULL buffer is skipped. */
ZEL_API void ZEL_Header(Database *db, char *title, char *date, char *input_file_name,
                        char *input_file_type, char *comment1, char *comment2, char *comment3);
ZEL_API int ZEL_NodeCount(Database *db);
ZEL_API int ZEL_NodeID(Database *db, int index);
/* 1 and x, y, z; an index out of range zeroes xyz and gives 0. */
ZEL_API int ZEL_NodeCoordinates(Database *db, int index, double *xyz);
/* x, y, z of every node (xyz holds 3 x ZEL_NodeCount) and the count. */
ZEL_API int ZEL_NodeCoordinateList(Database *db, double *xyz, int *count);
ZEL_API double ZEL_NodalMass(Database *db, int index);
/* 1 and the full symmetric tensor in row order; 0 (tensor untouched)
 * when the node has no inertia. */
ZEL_API int ZEL_NodalInertia(Database *db, int index, double *tensor);
ZEL_API int ZEL_NodalMassAndGeometry(Database *db, int index, double *mass, double *xyz);
/* New arrays of the interface nodes' indices (or IDs), *count set; NULL
 * with *count 0 when there are none. Release with ZEL_FreeMemory. */
ZEL_API int *ZEL_InterfaceNodes(Database *db, int *count);
ZEL_API int *ZEL_InterfaceNodeIDs(Database *db, int *count);
/* Recomputes the global mass, inertia tensor (9, row order, usual sign
 * convention) and centre of mass (3) from the invariants; stores and
 * returns them. */
ZEL_API int ZEL_TotalMassInertia(Database *db, double *mass, double *inertia, double *cm);
ZEL_API int ZEL_ModeCount(Database *db);
/* The number of faces and of integers in the face list. */
ZEL_API void ZEL_FaceListSize(Database *db, int *faces, int *size);
/* Copies the face list (ZEL_FaceListSize integers) into faces. */
ZEL_API int ZEL_ElementFaces(Database *db, int *faces);
/* Copies the mode-shape transformation (modes x modes) into matrix. */
ZEL_API int ZEL_Transformation(Database *db, double *matrix);
/* Always 0. */
ZEL_API int ZEL_DiscreteMethod(void);

/* Mode queries. Sets: 0 mode shapes (translations x, y, z, rotations),
 * 1 modal stress, 2 modal strain (normal xx, yy, zz, shear xy, xz, yz);
 * a set's values are six per node of its node list. Mode number 0 in set
 * 1 (2) is the pre-stress (pre-strain) vector. Values come in the current
 * units: translations times the length factor, stresses times
 * force / length^2. A failed read prints "Problem reading mode shape %d"
 * (or its stress, strain, pre-stress or pre-strain twin). */

/* The number of nodes of a set (0 for a set other than 0, 1, 2). */
ZEL_API int ZEL_ModeNodeCount(Database *db, int set);
/* The ID of the node at a position of a set's node list, or 0. */
ZEL_API int ZEL_ModeNodeID(Database *db, int set, int position);
/* 1 when the set's block (mode shapes, modal stress, modal strain) is
 * present, else 0. */
ZEL_API int ZEL_ModeExist(Database *db, int set);
/* 1 when the mode shapes are held in double precision. */
ZEL_API int ZEL_Double_Prec(Database *db);
/* 1 and three values per node of the set, in set order: component 0 the
 * first three of each node's six, 1 the last three. 0 for an unknown mode,
 * a failed read or another component. One mode per set is cached: asking
 * for it again reads nothing. */
ZEL_API int ZEL_Mode(Database *db, int number, int set, double *values, int component);
/* 1 and the three values of one node (by ID); values is zeroed first and
 * stays zero on failure (0). */
ZEL_API int ZEL_ModeByNode(Database *db, int number, int set, int id, double *values, int component);
/* 1 and all six values per node of the set, bypassing the cache. Each
 * fails (0) on a store of the other precision; the pre-stress and
 * pre-strain vectors are given in either. */
ZEL_API int ZEL_Read_Mode_Single(Database *db, int number, int set, float *values);
ZEL_API int ZEL_Read_Mode_Double(Database *db, int number, int set, double *values);
/* 1 and the mode's eigenvalue, frequency (Hz), circular frequency
 * (rad/s), generalized mass and stiffness; any output may be NULL. Without
 * eigenvalue records they come from the diagonal generalized stiffness k
 * and mass m (m missing: 1e-16 k for k > 1, else 1e-16). 0 for an unknown
 * mode (outputs untouched) and for non-diagonal generalized matrices
 * (outputs 0.0). */
ZEL_API int ZEL_Eigenvalue(Database *db, int number, double *eigenvalue, double *frequency,
                           double *circular_frequency, double *generalized_mass,
                           double *generalized_stiffness);

/* ---------------------------------------------------------------------
 * Builder: mode list, mode shapes, modal stresses and strains
 * ------------------------------------------------------------------- */

/* Mode numbers are the caller's labels (any int, 0 included); mode indices
 * run 0..mode count - 1 in order of first appearance. */

/* Mode index of the first mode with this number, or -1. */
ZEL_API int ZEL_ModeIndex(Database *db, int number);
/* Mode number at a mode index, or -1 for an index outside the list. */
ZEL_API int ZEL_ModeNumber(Database *db, int index);
/* Appends a mode without looking for the number first; its index, or -1
 * (with an error) when the list already holds max_modes modes. */
ZEL_API int ZEL_AddMode(Database *db, int number);
/* The mode's index, adding the mode when the number is new; -1 on failure. */
ZEL_API int ZEL_LookupOrAddMode(Database *db, int number);

/* Value sets: 0 mode shapes (every node; position = node index), 1 modal
 * stress and pre-stress, 2 modal strain and pre-strain (a node takes the
 * next free position the first time a value of the set names it).
 * Position of a node in a set, or -1. */
ZEL_API int ZEL_ModeNodeIndex(Database *db, int set, int id);

/* Stores six values of one node in one mode of a set: translations x, y, z
 * then rotations (set 0), or normal xx, yy, zz then shear xy, xz, yz
 * components (sets 1 and 2). The mode and node are added when new; the
 * first value of a set creates its temporary store file (KOR_TMP_MOD,
 * KOR_TMP_STR, KOR_TMP_STN name it, else a new file "zel_*" in $TMP),
 * deleted when the database is released; a set with more nodes than
 * ZEL_Create expected widens its store. Mode number 0 in set 1 or 2 sets
 * the pre-stress or pre-strain instead. A later value replaces an earlier
 * one. 1, or 0 with an error. */
ZEL_API int ZEL_SetModeVec(Database *db, int number, int id, int set, double *values);
/* ZEL_SetModeVec with the six values as arguments. */
ZEL_API int ZEL_SetMode(Database *db, int number, int id, int set, double v1, double v2, double v3,
                        double v4, double v5, double v6);
/* Stores one component (0..5) of one node in one mode; mode number 0 is an
 * ordinary mode here. 1 or 0. */
ZEL_API int ZEL_SetModeEntry(Database *db, int number, int id, int set, int component, double value);
/* The six pre-stress (set 1) or pre-strain (set 2) values of a node, kept
 * in memory; the node enters the set when new. 1 or 0. */
ZEL_API int ZEL_SetPreStressVec(Database *db, int id, double *values);
ZEL_API int ZEL_SetPreStrainVec(Database *db, int id, double *values);

/* ---------------------------------------------------------------------
 * Builder: generalized matrices, preload, load cases and invariants
 * Modes are named by mode number. The generalized setters, the preload
 * and the modal loads add a mode that is new; the invariant setters need
 * the mode to exist ("Mode number %d does not exist. ..." otherwise). A
 * value for a mode added after its array was made still finds room.
 * ------------------------------------------------------------------- */

/* Appends one entry (row mode, column mode, value) to the generalized
 * stiffness, mass or damping entries, in call order; a pair set twice is
 * held twice. An off-diagonal stiffness or mass entry marks the matrices
 * not diagonal; a diagonal mass entry farther than 1e-8 from 1.0 marks the
 * mass not unit. Damping entries are refused once the damping held is on
 * principal axes. 0 when a mode cannot be added. */
ZEL_API int ZEL_SetGeneralizedStiffness(Database *db, int row, int col, double value);
ZEL_API int ZEL_SetGeneralizedMass(Database *db, int row, int col, double value);
ZEL_API int ZEL_SetGeneralizedDamping(Database *db, int row, int col, double value);

/* The modal preload of one mode; modes without a value hold 0.0. */
ZEL_API int ZEL_SetModalPreload(Database *db, int number, double value);
/* The value of one mode in load case index (0-based, not negative). Cases
 * up to index are created as needed, labelled "Load Case <index + 1>". */
ZEL_API int ZEL_SetModalLoad(Database *db, int index, int number, double value);
/* The label of load case index, created as needed: at most 255 chars
 * (longer text is cut with a warning); "" gives the label "<index + 1>". */
ZEL_API int ZEL_SetModalLoadLabel(Database *db, int index, const char *text);

/* Inertia invariants computed by the caller (else the writer computes
 * them). Invariant 1, the total mass, must be greater than zero. */
ZEL_API int ZEL_SetInvar1(Database *db, double mass);
/* Three values: mass times centre of mass. */
ZEL_API int ZEL_SetInvar2(Database *db, double *moment);
/* Three values of one mode. */
ZEL_API int ZEL_SetInvar3(Database *db, int number, double *values);
ZEL_API int ZEL_SetInvar4(Database *db, int number, double *values);
/* Three values of the mode pair (i, j); (j, i) gets them negated. A pair
 * i = j whose values are not zero within 1e-8 is warned about. */
ZEL_API int ZEL_SetInvar5(Database *db, int i, int j, double *values);
/* The generalized mass diagonal (ZEL_ModeCount values), which must be all
 * 1.0: each mode's unit mass is set until a value is not. */
ZEL_API int ZEL_SetInvar6(Database *db, double *diagonal);
/* Six values I11, I22, I33, I12, I13, I23 of a symmetric 3 x 3. */
ZEL_API int ZEL_SetInvar7(Database *db, double *values);
/* Nine values (3 x 3, row order) of one mode. */
ZEL_API int ZEL_SetInvar8(Database *db, int number, double *values);
/* Nine values (3 x 3, row order) of the mode pair (i, j); (j, i) gets the
 * transpose. A pair i = j that is not symmetric is warned about. */
ZEL_API int ZEL_SetInvar9(Database *db, int i, int j, double *values);

/* ---------------------------------------------------------------------
 * Builder: many nodes in one call
 * For bindings and translators holding whole arrays: each call is the
 * loop of its per-node setter over ids[0..count-1], row k of the values
 * going to node ids[k] (a node added when new, a later row of the same
 * node replacing an earlier one), with that setter's checks and messages.
 * The loop stops at the first node refused: the nodes before it keep
 * their values. count 0 sets nothing and gives 1 (the arrays may then be
 * NULL); a negative count, or NULL arrays for rows, give 0 with an error
 * before anything is set. 1, or 0 with an error.
 * ------------------------------------------------------------------- */

/* Coordinates x, y, z: 3 count values (ZEL_SetNodeCoordinates). */
ZEL_API int ZEL_SetNodeCoordinatesArray(Database *db, int count, const int *ids, const double *xyz);
/* Masses: count values (ZEL_SetNodalMass). */
ZEL_API int ZEL_SetNodalMassArray(Database *db, int count, const int *ids, const double *masses);
/* Inertias Ixx, Iyy, Izz, Ixy, Ixz, Iyz: 6 count values (ZEL_SetNodalInertia). */
ZEL_API int ZEL_SetNodalInertiaArray(Database *db, int count, const int *ids, const double *inertias);
/* Mode `number` of value set `set`: 6 count values (ZEL_SetModeVec, so
 * number 0 of set 1 or 2 is the pre-stress or pre-strain). */
ZEL_API int ZEL_SetModeVecArray(Database *db, int number, int set, int count, const int *ids,
                                const double *values);

/* ---------------------------------------------------------------------
 * Queries: preload, load cases, statistics and body size
 * A null handle gives 0, 0.0 or NULL; load-case indices are 0-based.
 * ------------------------------------------------------------------- */

/* 1 when the body holds a modal preload. */
ZEL_API int ZEL_ModalPreloadExist(Database *db);
/* A new array of ZEL_ModeCount preload values, *count set to it; NULL with
 * *count 0 when there is no preload, no mode or no memory. Release with
 * ZEL_FreeMemory. count may be NULL. */
ZEL_API double *ZEL_GetModalPreload(Database *db, int *count);
ZEL_API int ZEL_GetModalLoadCaseCount(Database *db);
/* 1 once the case's rigid-body values are projected on principal axes;
 * 0 otherwise and for an index out of range. */
ZEL_API int ZEL_ModalLoadProcessed(Database *db, int index);
/* 1 and the case's label in label (256 bytes: at most 255 chars and the
 * terminator); 0 for an index out of range or a NULL buffer. */
ZEL_API int ZEL_GetModalLoadCaseLabel(Database *db, int index, char *label);
/* A new array of the case's ZEL_ModeCount values, *count set to it; NULL
 * with *count 0 for an index out of range, no mode or no memory. Release
 * with ZEL_FreeMemory. count may be NULL. */
ZEL_API double *ZEL_GetModalLoad(Database *db, int index, int *count);

/* 1 when the body holds its modal statistics: read with its file, or made
 * by a statistics query. */
ZEL_API int ZEL_ModalStatisticsExist(Database *db);
/* 1 and, for one mode, the node ID and the value of the largest
 * translation magnitude, rotation magnitude, von Mises stress or von Mises
 * strain (sqrt(xx^2 + yy^2 + zz^2 - xx yy - yy zz - zz xx + 3 (xy^2 + xz^2
 * + yz^2)), strain as stored) over the nodes of its value set; ties go to
 * the node listed first. Taken from the file, else computed once and held
 * (a mode whose values are all zero gives node ID 0 and 0.0, and is looked
 * at again next time). Either output may be NULL. 0 for an unknown mode or
 * when the mode's values cannot be read. */
ZEL_API int ZEL_GetMaxModeDisplacement(Database *db, int number, int *node_id, double *value);
ZEL_API int ZEL_GetMaxModeRotation(Database *db, int number, int *node_id, double *value);
ZEL_API int ZEL_GetMaxVonMisesStress(Database *db, int number, int *node_id, double *value);
ZEL_API int ZEL_GetMaxVonMisesStrain(Database *db, int number, int *node_id, double *value);

/* The diagonal of the box around node index 0 and every face vertex,
 * computed once and held; 0.0 (computed again next time) for a body
 * without faces or nodes. */
ZEL_API double ZEL_BodySize(Database *db);

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

/* One row of a unit table: a canonical unit name and the SI value of one
 * such unit. A table ends with a row whose name is NULL. */
typedef struct ZEL_UnitRow {
  const char *name;
  double factor;
} ZEL_UnitRow;

/* The quantities, in the order of the database's unit names. */
#define ZEL_MASS_UNITS 0
#define ZEL_LENGTH_UNITS 1
#define ZEL_TIME_UNITS 2
#define ZEL_FORCE_UNITS 3

/* The unit table of a quantity (ZEL_MASS_UNITS ... ZEL_FORCE_UNITS), owned
 * by the library; NULL for any other value. */
ZEL_API const ZEL_UnitRow *ZEL_UnitTable(int quantity);

/* Turns the label in buffer (at least 16 bytes) into its canonical unit
 * name, matching the accepted spellings without regard to case. 1 and the
 * buffer overwritten; 0 and the buffer unchanged when the label is unknown. */
ZEL_API int ZEL_ConvertUnitsLabel(char *buffer);

/* SI value of the unit called name in table: 1.0 for an empty name, 0.0
 * when no row has that name (case ignored). */
ZEL_API double ZEL_UnitsDivider(const char *name, const ZEL_UnitRow *table);

/* Canonical name of the first row of table whose SI value is within a
 * relative 1e-4 of value; NULL when none. The text belongs to the library. */
ZEL_API const char *ZEL_UnitsLabel(double value, const ZEL_UnitRow *table);

/* value expressed in SI units, from the database's mass, length, time or
 * force unit. An unset unit counts as SI; an unknown name gives 0.0. */
ZEL_API double ZEL_Mass2Kilogram(Database *db, double value);
ZEL_API double ZEL_Length2Meter(Database *db, double value);
ZEL_API double ZEL_Time2Second(Database *db, double value);
ZEL_API double ZEL_Force2Newton(Database *db, double value);

/* Units consistency factor: force SI x time SI^2 / (length SI x mass SI);
 * 1.0 for any consistent unit system, 0.0 when a unit name is unknown. */
ZEL_API double ZEL_UCF(Database *db);

/* Copies the four unit names into the caller's 16-byte buffers; unset
 * names read "KILOGRAM", "METER", "SECOND", "NEWTON". 1, or 0 for a null
 * handle or buffer. */
ZEL_API int ZEL_Units(Database *db, char *mass, char *length, char *time, char *force);

/* Sets the database's units (names cut to 15 characters, then recognised).
 * A database without units just takes the names; one with units is
 * converted: its unit factors change and every value it holds is rescaled.
 * 1 on success; 0 with nothing changed when a name is unknown. */
ZEL_API int ZEL_SetUnits(Database *db, const char *mass, const char *length,
                         const char *time, const char *force);

/* ZEL_SetUnits with the units whose SI values are given; 0 when a value
 * names no unit within a relative 1e-4. */
ZEL_API int ZEL_SetUnitsByMultiplierOnSI(Database *db, double mass, double length,
                                         double time, double force);

/* Multiplies count values in place by factor; gives values. */
ZEL_API double *ZEL_Convert_Units(double *values, int count, double factor);

/* Rescales every value the database holds in memory by its unit factors
 * (mode data kept in files is converted when read). Applies the factors
 * again on every call. */
ZEL_API void ZEL_ScaleDatabase(Database *db);

/* ---------------------------------------------------------------------
 * Generalized eigensolver
 * ------------------------------------------------------------------- */

/* The QZ algorithm for A x = lambda B x with A, B real n x n, in four
 * steps called in this order. Every argument is passed by reference, as
 * from Fortran. Matrices are stored column by column with leading
 * dimension nm: element (i, j), 1-based, at a[(j-1)*nm + i-1]. matz
 * non-zero accumulates the right-hand transformations in z; with matz zero
 * z is not referenced (it may be NULL). A call whose order exceeds nm, or
 * that lacks an array it needs, does nothing. Nothing is printed. */

/* Step 1: a becomes upper Hessenberg and b upper triangular. With matz
 * set, z starts as the identity and receives the transformations. */
ZEL_API void ZEL_QZHESS(const int *nm, const int *n, double *a, double *b, const int *matz, double *z);

/* Step 2: a becomes quasi-upper-triangular (1 x 1 and 2 x 2 blocks), b
 * stays upper triangular. eps1 is the tolerance for negligible elements;
 * eps1 <= 0 takes the round-off level EIGPSN(1.0). At most 30 n sweeps in
 * all. *ierr: 0 on success; when the sweeps run out, the 1-based index of
 * the eigenvalue being sought (the reduction is then unfinished and steps
 * 3 and 4 give no meaningful result); -1 for an unusable call. For n > 1,
 * b(n,1) then holds the negligibility threshold of b that steps 3 and 4
 * read. */
ZEL_API void ZEL_QZITT(const int *nm, const int *n, double *a, double *b, const double *eps1,
                       const int *matz, double *z, int *ierr);

/* Step 3: the eigenvalues, eigenvalue k being (alfr[k] + i alfi[k]) /
 * beta[k] with beta[k] >= 0; beta[k] = 0 denotes an infinite eigenvalue.
 * A complex pair occupies consecutive entries, positive imaginary part
 * first. The 2 x 2 blocks of real pairs are split (z updated with matz
 * set); b(n,1) still holds the threshold afterwards. */
ZEL_API void ZEL_QZVALL(const int *nm, const int *n, double *a, double *b, double *alfr, double *alfi,
                        double *beta, const int *matz, double *z);

/* Step 4 (needs z from steps 1 to 3 with matz set): column k of z becomes
 * the eigenvector of eigenvalue k; a complex pair k, k+1 gives the real
 * part of the eigenvector of eigenvalue k in column k, its imaginary part
 * in column k+1. Each vector is scaled so that its largest component has
 * magnitude 1. The upper triangle of b is overwritten. */
ZEL_API void ZEL_QZVECC(const int *nm, const int *n, double *a, double *b, const double *alfr,
                        const double *alfi, const double *beta, double *z);

/* Round-off level: halves *x until 1 + *x is no longer greater than 1,
 * stores the result in *x and gives it. EIGPSN(1.0) is 2^-53 in double
 * precision. 0.0 for a NULL x. */
ZEL_API double EIGPSN(double *x);

/* ---------------------------------------------------------------------
 * Geometry tools: node search, faces, sketch grid, geometry nodes
 * ------------------------------------------------------------------- */

/* Node searches around point (x, y, z) by squared distance. With
 * interface_only non-zero only the interface nodes are candidates. */

/* Index of the nearest node; ties go to the node scanned first (interface
 * nodes in their stored order, else node index order). With interface_only
 * set but no interface nodes, every node is a candidate. -1 with an error
 * for a null handle or point, or when there are no nodes. */
ZEL_API int ZEL_ClosestNode(Database *db, double *point, int interface_only);

/* The node indices of the k nearest candidates, nearest first, ties in scan
 * order; *count tells how many (fewer than k when there are fewer
 * candidates). NULL with *count 0 when there is none. The caller releases
 * the array with ZEL_FreeMemory. */
ZEL_API int *ZEL_ClosestNodes(Database *db, double *point, int k, int interface_only, int *count);

/* The node indices of every candidate within radius (inclusive), nearest
 * first, among equal distances the later scanned first; *count tells how
 * many. NULL with *count 0 when there is none. Release with ZEL_FreeMemory. */
ZEL_API int *ZEL_ClosestNodesInNeighborhood(Database *db, double *point, double radius,
                                            int interface_only, int *count);

/* Removes interior faces: a face given twice with opposite orientations
 * goes; one given twice with the same orientation is kept once. The face
 * list is rewritten in a canonical order, each face starting at its largest
 * node index. */
ZEL_API void ZEL_StripCommonFaces(Database *db);

/* Replaces the face list by the faces of a sketch file: whitespace-
 * separated integers, the face count, then per face its vertex count and
 * node IDs. A missing file or a malformed face (or an unknown node ID)
 * draws a warning and leaves the face list as it was. */
ZEL_API void ZEL_SketchGrid(Database *db, const char *path);

/* Coarsens the face list for drawing. settings is "r,a,c" optionally followed
 * by node IDs ending at a 0 and the word preserve_str (any one character
 * separates them): r the resolution as a fraction of the body size (above
 * 0, at most 0.5; else 0.02 with a warning), a the face angle in degrees
 * (above 0, at most 45; else 10 with a warning), c non-zero to also drop
 * nearly co-linear outline vertices. The faces around a node merge into
 * one polygon without it when all their corners lie within r times the
 * body size of it and they are flat within a. Interface nodes, the listed
 * nodes and, with preserve_str, the nodes of the stress and strain sets
 * stay. Nodes, coordinates and modes are untouched. A NULL settings does
 * nothing; when memory runs out the face list is left as it was. */
ZEL_API void ZEL_TrimGeometry(Database *db, const char *settings);
/* The version text of the coarsening module. */
ZEL_API const char *zelcoarse_VersionId(void);

/* The node indices of the face corners and the interface nodes, ascending,
 * each once; *count tells how many. NULL with *count 0 when there are none
 * or when the body has no faces. Release with ZEL_FreeMemory. */
ZEL_API int *ZEL_GeometryNodes(Database *db, int *count);

/* Exchanges the places of the nodes with IDs a and b in the node table;
 * the node index, faces, interface nodes and stress and strain node sets
 * follow them. An unknown ID does nothing. Refused once mode shapes are
 * stored, since they are stored by node place. */
ZEL_API void ZEL_SwapNodesByID(Database *db, int a, int b);

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
 * Inertia invariants
 *
 * The nine sums over the nodes from which a simulator integrates the
 * body's motion, in the current units. Each is the value held in the
 * database (set by the builder, or computed or read before), else the
 * file's block, else computed from the nodal masses, coordinates and
 * inertias and the mode shapes, then held. The rigid invariants (1, 2, 7)
 * sum over every node, the modal ones over the nodes that carry mode
 * shapes. M is the mode count; i and j are mode indices. Arrays are new,
 * owned by the caller and released with ZEL_FreeMemory; a bad handle, an
 * index outside 0..M-1, no modes (for 3, 4, 5, 8, 9) or no memory give
 * null (0.0 for invariant 1). Computing them reads each mode once, a block
 * of nodes at a time, in at most ZEL_INVARIANT_MEMORY MiB (default 512).
 * ------------------------------------------------------------------- */
/* Total mass: sum of m. */
ZEL_API double ZEL_Invar1(Database *db);
/* First mass moment, 3 values: sum of m x. */
ZEL_API double *ZEL_Invar2(Database *db);
/* 3 x M, entry (a, i) at a * M + i: sum of m phi_i[a]. */
ZEL_API double *ZEL_Invar3(Database *db);
/* 3 x M as invariant 3: sum of m (x cross phi_i) + sum of J theta_i. */
ZEL_API double *ZEL_Invar4(Database *db);
/* 3 x M for mode i, entry (a, j) at a * M + j: sum of m (phi_i cross
 * phi_j); antisymmetric in i and j. */
ZEL_API double *ZEL_Invar5(Database *db, int i);
/* M x M, row order: the full generalized mass (ZEL_GenMassFull); never
 * held, made anew at each call. */
ZEL_API double *ZEL_Invar6(Database *db);
/* Inertia tensor about the origin, 9 values in row order: sum of
 * m (|x|^2 I - x x^T) + J (products of inertia negative). */
ZEL_API double *ZEL_Invar7(Database *db);
/* 3 x 3 of mode i in row order: sum of m x~ phi_i~ (a~ is the cross-product
 * matrix of a). */
ZEL_API double *ZEL_Invar8(Database *db, int i);
/* 3 x 3 of the pair (i, j) in row order: sum of m phi_i~ phi_j~; the
 * (j, i) matrix is its transpose. */
ZEL_API double *ZEL_Invar9(Database *db, int i, int j);
/* Drops the invariants read from the file or computed before (those the
 * builder set stay) and has every later query compute them from the
 * nodal data, ignoring the file's invariant blocks: how a file's blocks
 * are checked against its nodes. 1, or 0 for a bad handle. */
ZEL_API int ZEL_ComputeInvariantsFromNodes(Database *db);

/* ---------------------------------------------------------------------
 * Generalized matrix queries
 * The stiffness, mass and damping matrices are lists of entries (row mode
 * index, column mode index, value), each off-diagonal pair once or twice.
 * Stiffness and mass without a list stand for one diagonal entry per mode,
 * the value ZEL_Eigenvalue gives; damping has no such fallback. Dense
 * forms are zeroed first (for any handle, but ZEL_GenDampFull's null one),
 * filled symmetrically in list order so that the last entry for a pair
 * wins, and skip, with one warning, entries outside the matrix they fill.
 * A null matrix, row or selection, or an order below 1, gives 0 before
 * anything is written. Otherwise 0 means no entries (no messages).
 * ------------------------------------------------------------------- */

/* The comparator of the library's sorted lookup tables (for qsort and
 * bsearch): compares the leading 32-bit integers of two records as signed
 * values; -1, 0 or 1. */
ZEL_API int By_Id(const void *a, const void *b);

/* Position of number among count mode numbers in ascending order (binary
 * search), or -1. */
ZEL_API int SelectedModeIndex(int number, const int *modes, int count);

/* The number of entries: the list's, or the mode count without a list. */
ZEL_API int ZEL_NumberOfGenStiff(Database *db);
ZEL_API int ZEL_NumberOfGenMass(Database *db);
/* The damping list's number of entries, 0 without one. */
ZEL_API int ZEL_NumberOfGenDamp(Database *db);
/* 1 when the body holds at least one damping entry. */
ZEL_API int ZEL_GenDampExist(Database *db);

/* 1 and the entries in stored order into the caller's arrays of
 * ZEL_NumberOfGen* elements each. */
ZEL_API int ZEL_GenStiffSparse(Database *db, double *values, int *rows, int *cols);
ZEL_API int ZEL_GenMassSparse(Database *db, double *values, int *rows, int *cols);
ZEL_API int ZEL_GenDampSparse(Database *db, double *values, int *rows, int *cols);

/* 1 and the n x n matrix over mode indices 0..n-1, row order, in matrix. */
ZEL_API int ZEL_GenStiffFull(Database *db, double *matrix, int n);
ZEL_API int ZEL_GenMassFull(Database *db, double *matrix, int n);
ZEL_API int ZEL_GenDampFull(Database *db, double *matrix, int n);

/* 1 and the n x n matrix over the n selected mode numbers (ascending) into
 * the caller's n rows of n doubles; entries of other modes are dropped. */
ZEL_API int ZEL_GenStiffSelected(Database *db, double **rows, int n, int *selected);
ZEL_API int ZEL_GenMassSelected(Database *db, double **rows, int n, int *selected);

/* 1 and the (n + 6) x (n + 6) damping matrix into the caller's n + 6 rows:
 * rows and columns 0..5 the rigid-body coordinates on the principal axes
 * (translations x, y, z, rotations about x, y, z), 6 + s the s-th selected
 * mode. Converts the damping to principal axes first when that was not yet
 * done; a selected rigid-body mode is named in a warning. */
ZEL_API int ZEL_GenDampPrincipalAndSelected(Database *db, double **rows, int n, int *selected);

/* ---------------------------------------------------------------------
 * Numeric tools: LUP solver, rigid-body modes, principal axes
 * Matrices are n row pointers to n doubles each. A singular or nearly
 * singular matrix is reported and gives 0; a null pointer or an order
 * below 1 gives 0 with an error before anything is written.
 * ------------------------------------------------------------------- */

/* P a = L U with partial pivoting: 1, a overwritten by L (below the
 * diagonal, unit diagonal implied) and U, perm[i] the input row that ended
 * in row i. 0 leaves a and perm as they were. */
ZEL_API int ZEL_LUPDecomposition(double **a, int n, int *perm);
/* 1 and b overwritten by the solution x of a x = b, from the factors. */
ZEL_API int ZEL_LUPSolve(double **lu, int n, int *perm, double *b);
/* 1 and lu overwritten by the inverse of the matrix that was factored. */
ZEL_API int ZEL_LUPInvert(double **lu, int n, int *perm);

/* The number of leading rigid-body modes: the modes before the first jump
 * in natural frequency (a first mode below 0.1 Hz then one above 10 Hz, or
 * a frequency 10000 times the one before it); 0 without a jump. */
ZEL_API int ZEL_RigidBodyModeCount(Database *db);

/* 1 and table[r][m], r = 0..5, m = 0..k-1: the mass-weighted share of rigid
 * motion r (translation x, y, z, rotation about the axes x, y, z through
 * the origin) in the translations of mode index m; 0.0 for a mode without
 * weighted motion. 0 with an error and the table untouched for a null
 * handle or row, k outside 0..mode count, or an unreadable mode. */
ZEL_API int ZEL_RigidModes2VELMO(Database *db, double **table, int k);

/* Replaces the rigid-body components of the preload and of each load case
 * not yet converted by the resultant force and moment about the origin
 * (using the nodal masses, or the node positions and the total mass
 * properties when KOR_MFORCE_NO_FEA_MASS is set or the body has no nodal
 * masses), and marks them converted. */
ZEL_API void ZEL_RigidBodyForcesOnPrincipalAxes(Database *db);

/* Re-expresses the damping matrix with the six rigid-body coordinates as
 * rows and columns 0..5 and flexible mode f (mode index k + f, k rigid
 * modes) as 6 + f. 1, also when there is nothing to do; 0 for a null
 * handle, a memory failure or an unreadable mode. */
ZEL_API int ZEL_DampingOnPrincipalAxes(Database *db);

/* ---------------------------------------------------------------------
 * Writer
 * ------------------------------------------------------------------- */

/* Writes db to the ZEL file at path, with the options found in the
 * environment variable KOR_ZELWRITE_OPTIONS (words such as no_xdr, single,
 * no_ortho, full_invar, lowpass(f), coarsen(r,a,c)). 1 when the whole file
 * was written, 0 after the messages otherwise.
 * The file is built under a temporary name in path's directory and
 * renamed over path only when complete: a failed write leaves whatever
 * was at path as it was and no temporary file behind. A malformed or
 * conflicting option, or a path naming the file db was read from or one
 * of its stores, fails before anything is touched.
 * The write changes db in place and does not undo it: the mesh options,
 * the orthonormalized and renumbered modes, computed invariants, the node
 * set reduced to the geometry nodes, converted units and the statistics
 * stay. A caller that needs the body as built reads the written file. */
ZEL_API int ZEL_write_ZEL(Database *db, const char *path);

/* ---------------------------------------------------------------------
 * Contents report
 * ------------------------------------------------------------------- */

/* Writes a boxed banner and the contents of block id (1..32) of db to
 * stream, as the queries give them (current units; invariants computed
 * when the file has none); for the whole file call it for ids 1 to 32.
 * Nothing is written for a bad handle, an id outside 1..32 or a NULL
 * stream. Mode data is read only by the blocks that print it (8, 18, 29)
 * and by invariants or statistics the body does not hold yet. */
ZEL_API void ZEL_Contents(Database *db, int id, FILE *stream);

/* ---------------------------------------------------------------------
 * Module versions
 * ------------------------------------------------------------------- */
ZEL_API const char *zelcreate_VersionId(void);
ZEL_API const char *zelunits_VersionId(void);
ZEL_API const char *zeltools_VersionId(void);
ZEL_API const char *zelmsg_VersionId(void);
ZEL_API const char *zelset_VersionId(void);
ZEL_API const char *zelinvar_VersionId(void);
ZEL_API const char *zelread_VersionId(void);
ZEL_API const char *zeltoc_VersionId(void);
ZEL_API const char *zeldata_VersionId(void);
ZEL_API const char *zelwrite_VersionId(void);

/* ---------------------------------------------------------------------
 * File comparison
 * ------------------------------------------------------------------- */

/* Settings of ZEL_Compare that callers may set; the library reads them and
 * never writes them. info: the verbosity of old callers (initial value 1;
 * ZEL_Compare takes its verbosity from its argument). mode: 1 makes a
 * check whose block either file lacks print a "not checked" note and pass
 * instead of comparing (initial value 0). */
ZEL_API extern int info;
ZEL_API extern int mode;

/* The result of ZEL_Compare when the comparison had to stop: a line
 * ending in "(Exit)" was printed (a node of the new file missing in the
 * base, a missing nodal_coords, eigenvalues or mode_shapes block, fewer
 * base nodes than new ones, units that cannot be set to SI, a mode,
 * pre-value vector or invariant of either file that cannot be read), or a
 * handle was null or memory ran out. */
#define ZEL_COMPARE_STOPPED (-2147483647 - 1)

/* Compares the body in candidate (the new file) with the one in base (the
 * reference), check by check within the relative tolerance, and prints one
 * report line per check on standard output. Both databases are converted
 * to kilogram, meter, second, newton first, in place (one already in SI is
 * left alone), and stay so. The new file may hold a subset of the base's
 * nodes, in any order; modes are paired by mode index, the first
 * min(mode counts) of each.
 * verbosity: below 0 nothing; 0 the failure lines ("->Fail ..."); 1 also
 * warnings, notes, per-mode eigenvalue failures and the verdict line
 * (" Files are equivalent" or "->Files differ"); 2 and up also the passes,
 * the per-mode mode-shape lines and the node-map progress.
 * Result: 0 when the files are equivalent (differences, if any, were only
 * warnings or notes); a negative count of the failed checks when they are
 * not; ZEL_COMPARE_STOPPED (also negative) when the comparison stopped.
 * Everything the comparison builds is released before it returns. */
ZEL_API int ZEL_Compare(Database *base, Database *candidate, int verbosity, double tolerance);

ZEL_API const char *zelcompare_VersionId(void);

/* ---------------------------------------------------------------------
 * Mass coupling of two mode groups
 * ------------------------------------------------------------------- */

/* Adds the generalized masses between modes 1..a and modes a+1..a+b (by
 * mode number), sum over the nodes of m phi_i . phi_j + theta_j' J theta_i,
 * each as (i, j) and (j, i); entries within a group are left alone. a + b
 * must be the mode count ("Mode count mismatch while generating additional
 * generalized masses."); a body without nodes gives the memory message.
 * 1, or 0 with the generalized mass list exactly as it was. */
ZEL_API int ZEL_AnsysAddGenMass(Database *db, int a, int b);

/* ---------------------------------------------------------------------
 * Fortran entry points
 *
 * Every argument is passed by reference, except the length of a character
 * argument, an int passed by value right after it. The last argument
 * receives the status: 0 success, 1 failure. All work on one current
 * database, made by ZEL_CREATE or ZEL_CREATE_FROM_ZEL; any other call
 * (but ZEL_TERMINATE) without one prints "No ZELDATA object.  Call ZEL_CREATE first" and
 * gives status 1 (so does one whose database a C caller released).
 * Character arguments are read only within their length and lose their
 * trailing blanks; a negative length or one beyond 2^20 gives status 1.
 * Header texts, unit names (15 characters) and load-case labels (255) are
 * cut to their fields; a file name over 1023 characters, or one holding
 * a NUL character, is refused.
 * Load cases and degrees of freedom count from 1; 3 x 3 matrices are in
 * column order.
 * ------------------------------------------------------------------- */

/* A new empty current database; the previous current one, if any, is
 * released (other databases are not touched). */
ZEL_API void ZEL_CREATE(const int *nodes, const int *modes, int *status);
/* The database of the ZEL file becomes current (the previous one is kept
 * until ZEL_TERMINATE). */
ZEL_API void ZEL_CREATE_FROM_ZEL(const char *path, int length, int *status);
/* ZEL_Terminate: every database goes, whether or not one is current;
 * none is current afterwards. Status 0. */
ZEL_API void ZEL_TERMINATE(int *status);

/* The builder setters of the same name over the current database. */
ZEL_API void ZEL_SET_NODE_COORDINATES(const int *id, const double *x, const double *y, const double *z, int *status);
ZEL_API void ZEL_SET_NODE_COORDINATES_VEC(const int *id, const double *xyz, int *status);
ZEL_API void ZEL_SET_NODAL_MASS(const int *id, const double *mass, int *status);
ZEL_API void ZEL_SET_GLOBAL_MASS(const double *mass, const double *cm, const double *inertia, int *status);
ZEL_API void ZEL_SET_NODAL_INERTIA(const int *id, const double *ixx, const double *iyy, const double *izz,
                                   const double *ixy, const double *ixz, const double *iyz, int *status);
/* values: Ixx, Iyy, Izz, Ixy, Ixz, Iyz. */
ZEL_API void ZEL_SET_NODAL_INERTIA_VEC(const int *id, const double *values, int *status);
/* A full 3 x 3; an unsymmetric one draws "Unsymmetric Inertia Tensor
 * supplied to ZEL_SET_NODAL_INERTIA_MAT" and its values below the
 * diagonal are kept. */
ZEL_API void ZEL_SET_NODAL_INERTIA_MAT(const int *id, const double *matrix, int *status);
/* row and col in 1..3. */
ZEL_API void ZEL_SET_NODAL_INERTIA_ENTRY(const int *id, const int *row, const int *col, const double *value,
                                         int *status);
/* A face of n (2..8) node IDs; another n gives "Unable to create a face
 * with %d vertices". ZEL_SET_FACE_k takes its k IDs as arguments. */
ZEL_API void ZEL_SET_FACE(const int *n, const int *ids, int *status);
ZEL_API void ZEL_SET_FACE_2(const int *a, const int *b, int *status);
ZEL_API void ZEL_SET_FACE_3(const int *a, const int *b, const int *c, int *status);
ZEL_API void ZEL_SET_FACE_4(const int *a, const int *b, const int *c, const int *d, int *status);
ZEL_API void ZEL_SET_FACE_5(const int *a, const int *b, const int *c, const int *d, const int *e, int *status);
ZEL_API void ZEL_SET_FACE_6(const int *a, const int *b, const int *c, const int *d, const int *e, const int *f,
                            int *status);
ZEL_API void ZEL_SET_FACE_7(const int *a, const int *b, const int *c, const int *d, const int *e, const int *f,
                            const int *g, int *status);
ZEL_API void ZEL_SET_FACE_8(const int *a, const int *b, const int *c, const int *d, const int *e, const int *f,
                            const int *g, const int *h, int *status);
ZEL_API void ZEL_SET_INTERFACE_NODE(const int *id, int *status);

/* Six values of a node in one mode: mode shapes (set 0), modal stress
 * (set 1; mode 0 the pre-stress), modal strain (set 2; mode 0 the
 * pre-strain). dof of the entry setter: 1..6. */
ZEL_API void ZEL_SET_MODE_SHAPE(const int *number, const int *id, const double *v1, const double *v2,
                                const double *v3, const double *v4, const double *v5, const double *v6, int *status);
ZEL_API void ZEL_SET_MODE_SHAPE_VEC(const int *number, const int *id, const double *values, int *status);
ZEL_API void ZEL_SET_MODE_SHAPE_ENTRY(const int *number, const int *id, const int *dof, const double *value,
                                      int *status);
ZEL_API void ZEL_SET_MODAL_STRESS(const int *number, const int *id, const double *v1, const double *v2,
                                  const double *v3, const double *v4, const double *v5, const double *v6,
                                  int *status);
ZEL_API void ZEL_SET_MODAL_STRESS_VEC(const int *number, const int *id, const double *values, int *status);
ZEL_API void ZEL_SET_MODAL_STRAIN(const int *number, const int *id, const double *v1, const double *v2,
                                  const double *v3, const double *v4, const double *v5, const double *v6,
                                  int *status);
ZEL_API void ZEL_SET_MODAL_STRAIN_VEC(const int *number, const int *id, const double *values, int *status);
/* The six stress (strain) values of a node in one mode; status 0 only when
 * all six were found. */
ZEL_API void ZEL_GET_MODAL_STRESS(const int *number, const int *id, double *s1, double *s2, double *s3, double *s4,
                                  double *s5, double *s6, int *status);
ZEL_API void ZEL_GET_MODAL_STRAIN(const int *number, const int *id, double *s1, double *s2, double *s3, double *s4,
                                  double *s5, double *s6, int *status);
ZEL_API void ZEL_GET_MODE_COUNT(int *count, int *status);
/* t (nsel x modes, column order) gets, in column i, row i of the
 * mode-shape transformation restricted to the selected mode numbers; a
 * number that is not a mode of the body gives status 1. */
ZEL_API void ZEL_GET_TRANSFORM_TO_SELMOD(double *t, const int *selected, const int *nsel, int *status);

ZEL_API void ZEL_SET_GENERALIZED_MASS(const int *row, const int *col, const double *value, int *status);
ZEL_API void ZEL_SET_GENERALIZED_DAMPING(const int *row, const int *col, const double *value, int *status);
ZEL_API void ZEL_SET_GENERALIZED_STIFFNESS(const int *row, const int *col, const double *value, int *status);
ZEL_API void ZEL_SET_MODAL_PRELOAD(const int *number, const double *value, int *status);
ZEL_API void ZEL_SET_MODAL_LOAD(const int *load_case, const int *number, const double *value, int *status);
ZEL_API void ZEL_SET_LOADCASE_LABEL(const int *load_case, const char *label, int length, int *status);

ZEL_API void ZEL_SET_HEADER(const char *title, int title_length, const char *input_name, int input_name_length,
                            const char *input_type, int input_type_length, const char *comment1,
                            int comment1_length, const char *comment2, int comment2_length, const char *comment3,
                            int comment3_length, int *status);
ZEL_API void ZEL_SET_UNITS(const char *mass, int mass_length, const char *length, int length_length,
                           const char *time, int time_length, const char *force, int force_length, int *status);
ZEL_API void ZEL_UNITS_SI_MULTIPLIERS(const double *mass, const double *length, const double *time,
                                      const double *force, int *status);

/* Invariants 8 and 9 take their 3 x 3 in column order. */
ZEL_API void ZEL_SET_INVAR1(const double *mass, int *status);
ZEL_API void ZEL_SET_INVAR2(const double *values, int *status);
ZEL_API void ZEL_SET_INVAR3(const int *number, const double *values, int *status);
ZEL_API void ZEL_SET_INVAR4(const int *number, const double *values, int *status);
ZEL_API void ZEL_SET_INVAR5(const int *i, const int *j, const double *values, int *status);
ZEL_API void ZEL_SET_INVAR6(const double *diagonal, int *status);
ZEL_API void ZEL_SET_INVAR7(const double *values, int *status);
ZEL_API void ZEL_SET_INVAR8(const int *number, const double *matrix, int *status);
ZEL_API void ZEL_SET_INVAR9(const int *i, const int *j, const double *matrix, int *status);

/* The writer (ZEL_write_ZEL) with the current database; ZEL_WRITE_ANSYS_ZEL
 * first adds the mass coupling of modes 1..a and a+1..a+b
 * (ZEL_AnsysAddGenMass) and writes nothing when that fails. */
ZEL_API void ZEL_WRITE_ZEL(const char *path, int length, int *status);
ZEL_API void ZEL_WRITE_ANSYS_ZEL(const char *path, int length, const int *a, const int *b, int *status);

ZEL_API const char *zel_fortran_VersionId(void);

#ifdef __cplusplus
}
#endif

#endif /* ZEL_H */
