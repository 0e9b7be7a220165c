// Mesh coarsening of a body's face list, as the writer's coarsen option
// asks for it: the request text, the preserved nodes, the pass over the
// nodes and the new face list.
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

#include "body/database.h"
#include "numeric/coarsen.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zelcoarse";
constexpr double kDefaultResolution = 0.02;
constexpr double kDefaultFaceAngle = 10.0;  // degrees
constexpr double kRadiansPerDegree = 0.017453292519943295;

// Steps past the one separator after a value, never past the terminator.
const char *after_separator(const char *at) { return *at != '\0' ? at + 1 : at; }

double read_real(const char *&at) {
  char *end = nullptr;
  const double value = std::strtod(at, &end);
  at = after_separator(end);
  return value;
}

// A base-10 integer; `end` is left where the reading stopped.
long read_integer(const char *at, const char *&end) {
  char *stop = nullptr;
  const long value = std::strtol(at, &stop, 10);
  end = stop;
  return value;
}

// The supported ranges, with the defaults and their warnings outside them.
struct CoarsenLimits {
  double resolution;
  double face_angle;
};

CoarsenLimits checked_limits(const CoarsenRequest &request) {
  CoarsenLimits limits{request.resolution, request.face_angle};
  if (!(limits.resolution > 0.0 && limits.resolution <= 0.5)) {
    // Truncated in floating point: a huge or undefined value still prints.
    const double percent = std::trunc(100.0 * limits.resolution) + 0.0;
    ZEL_Warning("Coarsening resolution outside the 0-50 percent range not supported.  You selected %lf\n", percent);
    limits.resolution = kDefaultResolution;
  }
  if (!(limits.face_angle > 0.0 && limits.face_angle <= 45.0)) {
    ZEL_Warning("Face angles outside the 0-45 degree range not supported.  You selected %lf\n", limits.face_angle);
    limits.face_angle = kDefaultFaceAngle;
  }
  return limits;
}

std::optional<CoarseMesh> build_or_report(const Database &db) {
  const int line = __LINE__ + 2;
  try {
    return build_coarse_mesh(db);
  } catch (const std::bad_alloc &) {
    report_memory_failure(line, kModule);
    ZEL_Error("Problem encountered while trimming geometry\n");
    return std::nullopt;
  }
}

// Takes a node out of the pass; prints its ID when it was taking part or
// `always` says so.
bool preserve(Database &db, CoarseMesh &mesh, int32_t index, bool always) {
  if (index < 0 || index >= mesh.node_count) return false;
  uint8_t &record = mesh.has_record[static_cast<std::size_t>(index)];
  if (!always && record == 0) return false;
  record = 0;
  ZEL_Info("%d ", db.nodes[static_cast<std::size_t>(index)].id);
  return true;
}

// Interface nodes, the nodes the request names and, when asked, the nodes
// carrying modal stresses or strains keep their place in the faces.
void preserve_nodes(Database &db, CoarseMesh &mesh, const CoarsenRequest &request) {
  ZEL_Info("Preserving nodes: ");
  bool any = false;
  for (int32_t index : db.interface_nodes) any = preserve(db, mesh, index, true) || any;
  for (int32_t id : request.kept_ids) any = preserve(db, mesh, ZEL_NodeIndex(&db, id), false) || any;
  if (request.preserve_stress_strain)
    for (int set : {kStressSet, kStrainSet})
      for (int32_t index : db.sets[static_cast<std::size_t>(set)].node_of_position)
        any = preserve(db, mesh, index, false) || any;
  if (!any) ZEL_Info(" NONE");
}

// One forward pass over the nodes, with the progress shown.
void remove_flat_nodes(CoarseMesh &mesh, const CoarsenLimits &limits) {
  const double reach = (limits.resolution * mesh.body_size) * (limits.resolution * mesh.body_size);
  const double cos_angle = std::cos(limits.face_angle * kRadiansPerDegree);
  const int32_t nodes = mesh.node_count;
  const int32_t stamp_every = nodes / 100;
  MergeScratch scratch;
  ZEL_TimeMonitor(100);
  for (int32_t node = 0; node < nodes; ++node) {
    if (nodes > 100 && node % stamp_every == 0) ZEL_TimeMonitorStamp();
    remove_flat_node(mesh, node, reach, cos_angle, scratch);
  }
}

void trim_geometry(Database &db, const char *settings) {
  const CoarsenRequest request = parse_coarsen_request(settings);
  const CoarsenLimits limits = checked_limits(request);
  const int percent = static_cast<int>(100.0 * limits.resolution);
  if (request.colinear_removal)
    ZEL_Info("Coarsening to resolution %d%% with face-angle %5.2lf deg and co-linear vertex removal", percent,
             limits.face_angle);
  else
    ZEL_Info("Coarsening to resolution %d%% with face-angle %5.2lf deg", percent, limits.face_angle);

  std::optional<CoarseMesh> mesh = build_or_report(db);
  if (!mesh) return;
  preserve_nodes(db, *mesh, request);
  remove_flat_nodes(*mesh, limits);
  if (request.colinear_removal) remove_colinear_vertices(*mesh);

  int32_t face_count = 0;
  std::vector<int32_t> list = flat_face_list(*mesh, face_count);
  const int32_t old_face_count = db.face_count;
  db.face_list = std::move(list);
  db.face_count = face_count;
  db.geometry_nodes.reset();  // the corners of the merged faces no longer carry geometry
  ZEL_Info("\nFace reduction from %d to %d", old_face_count, face_count);
}

}  // namespace

CoarsenRequest parse_coarsen_request(const char *text) {
  CoarsenRequest request;
  const char *at = text;
  request.resolution = read_real(at);
  request.face_angle = read_real(at);
  const char *end = nullptr;
  request.colinear_removal = read_integer(at, end) != 0;
  at = after_separator(end);
  // Node IDs up to the first 0 (or the first text that is no number). An ID
  // too large for a node ID names no node and is passed over.
  for (long id = read_integer(at, end); id != 0; id = read_integer(at, end)) {
    at = after_separator(end);
    if (id >= INT32_MIN && id <= INT32_MAX) request.kept_ids.push_back(static_cast<int32_t>(id));
  }
  request.preserve_stress_strain = std::strstr(end, "preserve_str") != nullptr;
  return request;
}

}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API void ZEL_TrimGeometry(Database *db, const char *settings) {
  if (!CheckZEL(db) || settings == nullptr) return;
  ZEL_GUARDED_VOID({ trim_geometry(*db, settings); });
}

ZEL_API const char *zelcoarse_VersionId(void) { return "zelcoarse 1.0"; }

}  // extern "C"
