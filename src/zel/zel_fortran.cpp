// The upper-case entry points for Fortran programs: every argument by
// reference, one implicit current database, a status argument last
// (0 success, 1 failure) and each character argument followed at once by
// its length, an int32 passed by value.
//
// Fortran strings are fixed-length and blank-padded, with no terminator:
// a text is read only within its given length, its trailing blanks are
// dropped, and a length that is negative or beyond any real text is
// refused rather than trusted.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "body/database.h"
#include "body/database_list.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zel_fortran";

// Characters kept of each kind of text (the terminator not counted); the
// header's are its fields'.
constexpr std::size_t kPathLimit = 1023;
constexpr std::size_t kLabelLimit = 255;
constexpr std::size_t kUnitLimit = 15;
// No text a Fortran program hands over is longer than this; a larger
// length is a corrupted argument list, not a string.
constexpr int kLongestText = 1 << 20;

constexpr int kFirstFaceSize = 2;
constexpr int kLastFaceSize = 8;

Database *current_database = nullptr;

// The current database, or null after the error. A current database that
// the C interface released meanwhile (ZEL_UnLink, ZEL_Terminate) is
// forgotten rather than used.
Database *current() {
  bool alive = false;
  for (Database *db = first_database(); db != nullptr && !alive; db = db->next) alive = db == current_database;
  if (!alive) current_database = nullptr;
  if (current_database == nullptr) ZEL_Error("No ZELDATA object.  Call ZEL_CREATE first");
  return current_database;
}

void set_status(int *status, bool success) {
  if (status != nullptr) *status = success ? 0 : 1;
}

// Runs `operation` on the current database inside the guard; its 1/0
// result becomes the status.
template <class Operation>
void on_current(int *status, Operation &&operation) {
  Database *db = current();
  set_status(status, db != nullptr && ZEL_GUARDED(0, { return operation(db) ? 1 : 0; }) != 0);
}

// The characters of a Fortran text, trailing blanks dropped; false after
// the error when the length cannot be a text's.
bool fortran_text(const char *text, int length, const char *routine, std::string &out) {
  if (length < 0 || length > kLongestText || (text == nullptr && length > 0)) {
    ZEL_Error("Invalid character argument length %d passed into %s", length, routine);
    return false;
  }
  std::size_t used = static_cast<std::size_t>(length);
  while (used > 0 && text[used - 1] == ' ') --used;
  out.assign(text, used);
  return true;
}

// A text cut to the buffer the binding keeps for it.
bool bounded_text(const char *text, int length, std::size_t limit, const char *routine, std::string &out) {
  if (!fortran_text(text, length, routine, out)) return false;
  if (out.size() > limit) out.resize(limit);
  return true;
}

// A file name: a name longer than its buffer, or with a NUL inside, is
// refused, never cut (a cut name would open or write some other file).
bool file_name(const char *text, int length, std::size_t limit, const char *routine, std::string &out) {
  if (!fortran_text(text, length, routine, out)) return false;
  if (out.size() > limit) {
    ZEL_Error("The file name passed into %s is longer than %d characters", routine, static_cast<int>(limit));
    return false;
  }
  if (out.find('\0') != std::string::npos) {
    ZEL_Error("The file name passed into %s holds a NUL character", routine);
    return false;
  }
  return true;
}

// Place of each column-ordered value in the row-ordered 3 x 3.
constexpr std::array<int, 9> kColumnToRow = {0, 3, 6, 1, 4, 7, 2, 5, 8};

std::array<double, 9> row_order(const double *column_ordered) {
  std::array<double, 9> rows{};
  for (std::size_t k = 0; k < 9; ++k) rows[static_cast<std::size_t>(kColumnToRow[k])] = column_ordered[k];
  return rows;
}

bool face(Database *db, int n, const int *ids) {
  if (n < kFirstFaceSize || n > kLastFaceSize) {
    ZEL_Error("Unable to create a face with %d vertices", n);
    return false;
  }
  return ZEL_SetFaceList(db, n, const_cast<int *>(ids)) != 0;
}

// The three values of components 0 then 1 of a node in set `set`.
bool node_values(Database *db, int number, int id, int set, double *first, double *second) {
  return ZEL_ModeByNode(db, number, set, id, first, 0) && ZEL_ModeByNode(db, number, set, id, second, 1);
}

void spread(const double *values, double *a, double *b, double *c) {
  *a = values[0];
  *b = values[1];
  *c = values[2];
}

bool get_node_values(Database *db, int number, int id, int set, double *s1, double *s2, double *s3, double *s4,
                     double *s5, double *s6) {
  double first[3];
  double second[3];
  const bool found = node_values(db, number, id, set, first, second);
  if (found) {
    spread(first, s1, s2, s3);
    spread(second, s4, s5, s6);
  }
  return found;
}

bool selected_transformation(Database *db, double *t, const int *selected, int nsel) {
  static constexpr char kRoutine[] = "ZEL_GET_TRANSFORM_TO_SELMOD";
  if (t == nullptr) {
    ZEL_Error("NULL argument T passed into %s\n", kRoutine);
    return false;
  }
  const int n = ZEL_ModeCount(db);
  if (n < 1) {
    ZEL_Error("Invalid mode count found at line %d in file %s.\n", __LINE__, kModule);
    return false;
  }
  if (nsel < 0 || (selected == nullptr && nsel > 0)) {
    ZEL_Error("Invalid selected mode count %d passed into %s", nsel, kRoutine);
    return false;
  }
  std::vector<int> columns(static_cast<std::size_t>(nsel));
  for (std::size_t j = 0; j < columns.size(); ++j) {
    columns[j] = ZEL_ModeIndex(db, selected[j]);
    if (columns[j] < 0) {
      ZEL_Error("Mode number %d passed into %s does not exist", selected[j], kRoutine);
      return false;
    }
  }
  const std::size_t size = static_cast<std::size_t>(n);
  std::vector<double> full(size * size);
  if (!ZEL_Transformation(db, full.data())) return false;
  for (std::size_t i = 0; i < size; ++i)
    for (std::size_t j = 0; j < columns.size(); ++j)
      t[i * columns.size() + j] = full[i * size + static_cast<std::size_t>(columns[j])];
  return true;
}

// The file name of a write, checked before anything else is done.
bool write_name(const char *path, int length, const char *routine, std::string &name) {
  return file_name(path, length, kPathLimit, routine, name);
}

}  // namespace
}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API const char *zel_fortran_VersionId(void) { return "zel_fortran 0.1"; }

// ------------------------------------------------------------ lifecycle

ZEL_API void ZEL_CREATE(const int *nodes, const int *modes, int *status) {
  set_status(status, ZEL_GUARDED(0, {
               // Only the binding's own database goes: those a C caller in
               // the same program made are not the binding's to release.
               if (current_database != nullptr) {
                 Database *previous = current_database;
                 current_database = nullptr;
                 ZEL_UnLink(previous);
               }
               current_database = ZEL_Create(*nodes, *modes);
               return current_database != nullptr ? 1 : 0;
             }) != 0);
}

ZEL_API void ZEL_CREATE_FROM_ZEL(const char *path, int length, int *status) {
  set_status(status, ZEL_GUARDED(0, {
               std::string name;
               if (!file_name(path, length, kPathLimit, "ZEL_CREATE_FROM_ZEL", name))
                 return 0;
               current_database = ZEL_CreateFromZEL(name.c_str());
               return current_database != nullptr ? 1 : 0;
             }) != 0);
}

// Releases every database whether or not one is current: after a failed
// ZEL_CREATE_FROM_ZEL none is, yet the databases made before it (and their
// temporary stores) must still go.
ZEL_API void ZEL_TERMINATE(int *status) {
  ZEL_Terminate();
  current_database = nullptr;
  set_status(status, true);
}

// ------------------------------------------------ nodes, masses, faces

ZEL_API void ZEL_SET_NODE_COORDINATES(const int *id, const double *x, const double *y, const double *z, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetNodeCoordinates(db, *id, *x, *y, *z); });
}

ZEL_API void ZEL_SET_NODE_COORDINATES_VEC(const int *id, const double *xyz, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetNodeCoordinates(db, *id, xyz[0], xyz[1], xyz[2]); });
}

ZEL_API void ZEL_SET_NODAL_MASS(const int *id, const double *mass, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetNodalMass(db, *id, *mass); });
}

ZEL_API void ZEL_SET_GLOBAL_MASS(const double *mass, const double *cm, const double *inertia, int *status) {
  on_current(status, [&](Database *db) {
    return ZEL_SetGlobalMass(db, *mass, const_cast<double *>(cm), const_cast<double *>(inertia));
  });
}

ZEL_API void ZEL_SET_NODAL_INERTIA(const int *id, const double *ixx, const double *iyy, const double *izz,
                                   const double *ixy, const double *ixz, const double *iyz, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetNodalInertia(db, *id, *ixx, *iyy, *izz, *ixy, *ixz, *iyz); });
}

ZEL_API void ZEL_SET_NODAL_INERTIA_VEC(const int *id, const double *v, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetNodalInertia(db, *id, v[0], v[1], v[2], v[3], v[4], v[5]); });
}

ZEL_API void ZEL_SET_NODAL_INERTIA_MAT(const int *id, const double *m, int *status) {
  on_current(status, [&](Database *db) {
    if (m[1] != m[3] || m[2] != m[6] || m[5] != m[7])
      ZEL_Warning("Unsymmetric Inertia Tensor supplied to ZEL_SET_NODAL_INERTIA_MAT");
    return ZEL_SetNodalInertia(db, *id, m[0], m[4], m[8], m[1], m[2], m[5]);
  });
}

ZEL_API void ZEL_SET_NODAL_INERTIA_ENTRY(const int *id, const int *row, const int *col, const double *value,
                                         int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetNodalInertiaEntry(db, *id, *row, *col, *value); });
}

ZEL_API void ZEL_SET_FACE(const int *n, const int *ids, int *status) {
  on_current(status, [&](Database *db) { return face(db, *n, ids); });
}

ZEL_API void ZEL_SET_FACE_2(const int *a, const int *b, int *status) {
  on_current(status, [&](Database *db) {
    const int ids[] = {*a, *b};
    return face(db, 2, ids);
  });
}

ZEL_API void ZEL_SET_FACE_3(const int *a, const int *b, const int *c, int *status) {
  on_current(status, [&](Database *db) {
    const int ids[] = {*a, *b, *c};
    return face(db, 3, ids);
  });
}

ZEL_API void ZEL_SET_FACE_4(const int *a, const int *b, const int *c, const int *d, int *status) {
  on_current(status, [&](Database *db) {
    const int ids[] = {*a, *b, *c, *d};
    return face(db, 4, ids);
  });
}

ZEL_API void ZEL_SET_FACE_5(const int *a, const int *b, const int *c, const int *d, const int *e, int *status) {
  on_current(status, [&](Database *db) {
    const int ids[] = {*a, *b, *c, *d, *e};
    return face(db, 5, ids);
  });
}

ZEL_API void ZEL_SET_FACE_6(const int *a, const int *b, const int *c, const int *d, const int *e, const int *f,
                            int *status) {
  on_current(status, [&](Database *db) {
    const int ids[] = {*a, *b, *c, *d, *e, *f};
    return face(db, 6, ids);
  });
}

ZEL_API void ZEL_SET_FACE_7(const int *a, const int *b, const int *c, const int *d, const int *e, const int *f,
                            const int *g, int *status) {
  on_current(status, [&](Database *db) {
    const int ids[] = {*a, *b, *c, *d, *e, *f, *g};
    return face(db, 7, ids);
  });
}

ZEL_API void ZEL_SET_FACE_8(const int *a, const int *b, const int *c, const int *d, const int *e, const int *f,
                            const int *g, const int *h, int *status) {
  on_current(status, [&](Database *db) {
    const int ids[] = {*a, *b, *c, *d, *e, *f, *g, *h};
    return face(db, 8, ids);
  });
}

ZEL_API void ZEL_SET_INTERFACE_NODE(const int *id, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetInterfaceNode(db, *id); });
}

// ------------------------------------------- modes, stresses, strains

ZEL_API void ZEL_SET_MODE_SHAPE(const int *number, const int *id, const double *v1, const double *v2,
                                const double *v3, const double *v4, const double *v5, const double *v6, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetMode(db, *number, *id, 0, *v1, *v2, *v3, *v4, *v5, *v6); });
}

ZEL_API void ZEL_SET_MODE_SHAPE_VEC(const int *number, const int *id, const double *values, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetModeVec(db, *number, *id, 0, const_cast<double *>(values)); });
}

ZEL_API void ZEL_SET_MODE_SHAPE_ENTRY(const int *number, const int *id, const int *dof, const double *value,
                                      int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetModeEntry(db, *number, *id, 0, *dof - 1, *value); });
}

ZEL_API void ZEL_SET_MODAL_STRESS(const int *number, const int *id, const double *v1, const double *v2,
                                  const double *v3, const double *v4, const double *v5, const double *v6,
                                  int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetMode(db, *number, *id, 1, *v1, *v2, *v3, *v4, *v5, *v6); });
}

ZEL_API void ZEL_SET_MODAL_STRESS_VEC(const int *number, const int *id, const double *values, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetModeVec(db, *number, *id, 1, const_cast<double *>(values)); });
}

ZEL_API void ZEL_SET_MODAL_STRAIN(const int *number, const int *id, const double *v1, const double *v2,
                                  const double *v3, const double *v4, const double *v5, const double *v6,
                                  int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetMode(db, *number, *id, 2, *v1, *v2, *v3, *v4, *v5, *v6); });
}

ZEL_API void ZEL_SET_MODAL_STRAIN_VEC(const int *number, const int *id, const double *values, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetModeVec(db, *number, *id, 2, const_cast<double *>(values)); });
}

ZEL_API void ZEL_GET_MODAL_STRESS(const int *number, const int *id, double *s1, double *s2, double *s3, double *s4,
                                  double *s5, double *s6, int *status) {
  on_current(status, [&](Database *db) { return get_node_values(db, *number, *id, 1, s1, s2, s3, s4, s5, s6); });
}

ZEL_API void ZEL_GET_MODAL_STRAIN(const int *number, const int *id, double *s1, double *s2, double *s3, double *s4,
                                  double *s5, double *s6, int *status) {
  on_current(status, [&](Database *db) { return get_node_values(db, *number, *id, 2, s1, s2, s3, s4, s5, s6); });
}

ZEL_API void ZEL_GET_MODE_COUNT(int *count, int *status) {
  on_current(status, [&](Database *db) {
    *count = ZEL_ModeCount(db);
    return true;
  });
}

ZEL_API void ZEL_GET_TRANSFORM_TO_SELMOD(double *t, const int *selected, const int *nsel, int *status) {
  on_current(status, [&](Database *db) { return selected_transformation(db, t, selected, *nsel); });
}

// ------------------------------------- generalized matrices and loads

ZEL_API void ZEL_SET_GENERALIZED_MASS(const int *row, const int *col, const double *value, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetGeneralizedMass(db, *row, *col, *value); });
}

ZEL_API void ZEL_SET_GENERALIZED_DAMPING(const int *row, const int *col, const double *value, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetGeneralizedDamping(db, *row, *col, *value); });
}

ZEL_API void ZEL_SET_GENERALIZED_STIFFNESS(const int *row, const int *col, const double *value, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetGeneralizedStiffness(db, *row, *col, *value); });
}

ZEL_API void ZEL_SET_MODAL_PRELOAD(const int *number, const double *value, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetModalPreload(db, *number, *value); });
}

ZEL_API void ZEL_SET_MODAL_LOAD(const int *load_case, const int *number, const double *value, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetModalLoad(db, *load_case - 1, *number, *value); });
}

ZEL_API void ZEL_SET_LOADCASE_LABEL(const int *load_case, const char *label, int length, int *status) {
  on_current(status, [&](Database *db) {
    std::string text;
    return bounded_text(label, length, kLabelLimit, "ZEL_SET_LOADCASE_LABEL", text) &&
           ZEL_SetModalLoadLabel(db, *load_case - 1, text.c_str());
  });
}

// ------------------------------------------------- header and units

ZEL_API void ZEL_SET_HEADER(const char *title, int title_length, const char *input_name, int input_name_length,
                            const char *input_type, int input_type_length, const char *comment1,
                            int comment1_length, const char *comment2, int comment2_length, const char *comment3,
                            int comment3_length, int *status) {
  on_current(status, [&](Database *db) {
    static constexpr char kRoutine[] = "ZEL_SET_HEADER";
    std::array<std::string, 6> texts;
    const bool read = bounded_text(title, title_length, kTitleLimit, kRoutine, texts[0]) &&
                      bounded_text(input_name, input_name_length, kInputFileNameLimit, kRoutine, texts[1]) &&
                      bounded_text(input_type, input_type_length, kInputFileTypeLimit, kRoutine, texts[2]) &&
                      bounded_text(comment1, comment1_length, kCommentLimit, kRoutine, texts[3]) &&
                      bounded_text(comment2, comment2_length, kCommentLimit, kRoutine, texts[4]) &&
                      bounded_text(comment3, comment3_length, kCommentLimit, kRoutine, texts[5]);
    return read && ZEL_SetHeader(db, texts[0].data(), texts[1].data(), texts[2].data(), texts[3].data(),
                                 texts[4].data(), texts[5].data());
  });
}

ZEL_API void ZEL_SET_UNITS(const char *mass, int mass_length, const char *length, int length_length,
                           const char *time, int time_length, const char *force, int force_length, int *status) {
  on_current(status, [&](Database *db) {
    static constexpr char kRoutine[] = "ZEL_SET_UNITS";
    std::array<std::string, 4> names;
    const bool read = bounded_text(mass, mass_length, kUnitLimit, kRoutine, names[0]) &&
                      bounded_text(length, length_length, kUnitLimit, kRoutine, names[1]) &&
                      bounded_text(time, time_length, kUnitLimit, kRoutine, names[2]) &&
                      bounded_text(force, force_length, kUnitLimit, kRoutine, names[3]);
    return read && ZEL_SetUnits(db, names[0].c_str(), names[1].c_str(), names[2].c_str(), names[3].c_str());
  });
}

ZEL_API void ZEL_UNITS_SI_MULTIPLIERS(const double *mass, const double *length, const double *time,
                                      const double *force, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetUnitsByMultiplierOnSI(db, *mass, *length, *time, *force); });
}

// -------------------------------------------------------- invariants

ZEL_API void ZEL_SET_INVAR1(const double *mass, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetInvar1(db, *mass); });
}

ZEL_API void ZEL_SET_INVAR2(const double *values, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetInvar2(db, const_cast<double *>(values)); });
}

ZEL_API void ZEL_SET_INVAR3(const int *number, const double *values, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetInvar3(db, *number, const_cast<double *>(values)); });
}

ZEL_API void ZEL_SET_INVAR4(const int *number, const double *values, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetInvar4(db, *number, const_cast<double *>(values)); });
}

ZEL_API void ZEL_SET_INVAR5(const int *i, const int *j, const double *values, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetInvar5(db, *i, *j, const_cast<double *>(values)); });
}

ZEL_API void ZEL_SET_INVAR6(const double *diagonal, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetInvar6(db, const_cast<double *>(diagonal)); });
}

ZEL_API void ZEL_SET_INVAR7(const double *values, int *status) {
  on_current(status, [&](Database *db) { return ZEL_SetInvar7(db, const_cast<double *>(values)); });
}

ZEL_API void ZEL_SET_INVAR8(const int *number, const double *matrix, int *status) {
  on_current(status, [&](Database *db) {
    std::array<double, 9> rows = row_order(matrix);
    return ZEL_SetInvar8(db, *number, rows.data());
  });
}

ZEL_API void ZEL_SET_INVAR9(const int *i, const int *j, const double *matrix, int *status) {
  on_current(status, [&](Database *db) {
    std::array<double, 9> rows = row_order(matrix);
    return ZEL_SetInvar9(db, *i, *j, rows.data());
  });
}

// ----------------------------------------------------------- writing

ZEL_API void ZEL_WRITE_ZEL(const char *path, int length, int *status) {
  on_current(status, [&](Database *db) {
    std::string name;
    return write_name(path, length, "ZEL_WRITE_ZEL", name) && ZEL_write_ZEL(db, name.c_str());
  });
}

// A coupling that failed leaves the body as it was and nothing is
// written: a file without the coupling would pass for a complete one.
ZEL_API void ZEL_WRITE_ANSYS_ZEL(const char *path, int length, const int *a, const int *b, int *status) {
  on_current(status, [&](Database *db) {
    std::string name;
    return write_name(path, length, "ZEL_WRITE_ANSYS_ZEL", name) && ZEL_AnsysAddGenMass(db, *a, *b) &&
           ZEL_write_ZEL(db, name.c_str());
  });
}

}  // extern "C"
