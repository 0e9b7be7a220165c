// The process-wide list of live databases, in creation order.
#ifndef ZEL_DATABASE_LIST_H
#define ZEL_DATABASE_LIST_H

struct Database;

namespace zel {

// The oldest live database; follow `next` for the others.
Database *first_database();

}  // namespace zel

#endif  // ZEL_DATABASE_LIST_H
