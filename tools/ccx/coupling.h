// Attachment points: where a body is held or loaded in a multibody model.
// A node set becomes one reference node at its centroid that carries three
// translations and three rotations, tied to the set by a rigid or by a
// distributing coupling; a set of one node is an attachment point by
// itself, with its three translations.
#ifndef ZEL_CCX_COUPLING_H
#define ZEL_CCX_COUPLING_H

#include <array>
#include <string>
#include <vector>

#include "inp_reader.h"

namespace ccx {

enum class Coupling {
  None,          // a single node, no reference node
  Rigid,         // the set moves as a rigid body with the reference node
  Distributing,  // the reference node moves with the set's weighted mean
};

struct AttachmentRequest {
  std::string set;  // node set name, any case
  Coupling coupling = Coupling::Rigid;
};

// A degree of freedom of the solver's model: a node and a direction 1 to 3.
// The solver carries the reference node's rotations as the translations of
// a second node at the same place.
struct Dof {
  int node;
  int direction;
  bool operator==(const Dof &other) const { return node == other.node && direction == other.direction; }
};

struct AttachmentPoint {
  std::string set;                 // upper case
  Coupling coupling = Coupling::None;
  std::vector<int> nodes;          // the set's nodes
  std::array<double, 3> centroid{};
  int reference = 0;               // the body's interface node
  int rotation = 0;                // the node that carries the rotations; 0 without coupling
  // Translations, then rotations when there is a coupling.
  std::vector<Dof> dofs() const;
};

// One point per request, in request order; reference and rotation nodes
// are numbered on from the mesh's largest node ID. A set of one node is a
// point without coupling whatever the request. InputError for an undefined
// or empty set, a node outside the solid elements (`body_nodes`, ascending),
// a set named twice and a distributing coupling over nodes on one line.
std::vector<AttachmentPoint> attachment_points(const Mesh &mesh, const std::vector<int> &body_nodes,
                                               const std::vector<AttachmentRequest> &requests);

// The deck lines that define the point's reference and rotation nodes and
// its coupling; empty for a point without coupling.
std::string coupling_deck(const Mesh &mesh, const AttachmentPoint &point);

}  // namespace ccx

#endif  // ZEL_CCX_COUPLING_H
