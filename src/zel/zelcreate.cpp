// Database creation, the process-wide list of databases, and release.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "body/database.h"
#include "platform/messages.h"
#include "body/database_list.h"
#include "format/reader.h"
#include "zel.h"

namespace {

constexpr char kModule[] = "zelcreate";

// Every live database, in creation order.
Database *database_list = nullptr;

// What tells one state of a file from another: which file (device,
// inode) and which content (size, modification time).
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};

  bool operator==(const FileIdentity &other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
  }
};

FileIdentity identity_of(const struct stat &status) {
  return {status.st_dev, status.st_ino, status.st_size, status.st_mtim};
}

// The file each database read from a file was opened as. A path is shared
// only while it names that same file unchanged: a file replaced or
// rewritten since must be read again, not answered from the old one.
std::vector<std::pair<const Database *, FileIdentity>> opened_files;

void forget_opened_file(const Database *db) {
  std::erase_if(opened_files, [db](const auto &entry) { return entry.first == db; });
}

// Releases one record (temporary stores deleted, the ZEL file closed) and
// gives the one after it.
Database *FreeDatabase(Database *db) {
  if (db == nullptr) return nullptr;
  forget_opened_file(db);
  Database *next = db->next;
  delete db;
  return next;
}

void append_to_list(Database *db) {
  if (database_list == nullptr) {
    database_list = db;
    return;
  }
  Database *tail = database_list;
  while (tail->next != nullptr) tail = tail->next;
  tail->next = db;
}

// Whether `count` node records would fit in the machine's memory. The index
// of a pre-sized table is filled at once, so a count far beyond any body
// could otherwise commit gigabytes on a system that grants every request.
bool could_hold_nodes(int32_t count) {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return true;
  return static_cast<double>(count) * sizeof(zel::NodeRecord) <= static_cast<double>(pages) * page_size;
}

// The announced node count is a promise about the body's size: the node
// table and its index are sized for it, so that a body of that size never
// regrows them. It stays a hint, though: a count that is negative, beyond
// the machine's memory or refused by the allocator sizes nothing, and the
// tables grow as nodes arrive.
void reserve_expected_nodes(Database &db) {
  if (db.expected_nodes <= 0 || !could_hold_nodes(db.expected_nodes)) return;
  try {
    db.nodes.reserve(static_cast<std::size_t>(db.expected_nodes));
    db.node_sorted.reserve(db.expected_nodes);
  } catch (const std::bad_alloc &) {
    zel::NodeTable().swap(db.nodes);
    db.node_sorted = zel::NodeIndex();
  }
}

// The file `db` read, as it was when opened here; for a database the
// reader filled from a caller's stream, the file that stream holds now.
bool opened_identity(const Database &db, FileIdentity &identity) {
  for (const auto &[opened_db, opened] : opened_files)
    if (opened_db == &db) {
      identity = opened;
      return true;
    }
  struct stat status;
  if (db.file.fp == nullptr || ::fstat(::fileno(db.file.fp), &status) != 0) return false;
  identity = identity_of(status);
  return true;
}

Database *find_open_file(const char *path) {
  struct stat status;
  if (::stat(path, &status) != 0) return nullptr;
  const FileIdentity now = identity_of(status);
  FileIdentity opened;
  for (Database *db = database_list; db != nullptr; db = db->next)
    if (db->file.name == path && opened_identity(*db, opened) && opened == now) return db;
  return nullptr;
}

}  // namespace

Database *zel::first_database() { return database_list; }

extern "C" {

ZEL_API Database *ZEL_Create(int expected_nodes, int max_modes) {
  Database *db = new (std::nothrow) Database;
  if (db == nullptr) return nullptr;
  db->expected_nodes = expected_nodes;
  db->max_modes = max_modes;
  reserve_expected_nodes(*db);
  append_to_list(db);
  return db;
}

ZEL_API Database *ZEL_CreateFromZEL(const char *path) {
  return ZEL_GUARDED(static_cast<Database *>(nullptr), {
    if (path == nullptr) return static_cast<Database *>(nullptr);
    if (Database *open = find_open_file(path)) return open;
    opened_files.reserve(opened_files.size() + 1);  // the record below cannot fail then
    std::FILE *stream = std::fopen(path, "rb");
    if (stream == nullptr) return static_cast<Database *>(nullptr);
    Database *db = ZEL_Create(0, 0);
    if (db == nullptr) {
      std::fclose(stream);
      return static_cast<Database *>(nullptr);
    }
    struct stat status;
    if (::fstat(::fileno(stream), &status) != 0) status = {};
    if (zel::read_zel_file(*db, stream, path)) {
      opened_files.emplace_back(db, identity_of(status));
      return db;
    }
    ZEL_UnLink(db);
    return static_cast<Database *>(nullptr);
  });
}

ZEL_API void ZEL_UnLink(Database *db) {
  if (db == nullptr) return;
  if (db == database_list) {
    database_list = FreeDatabase(db);
    return;
  }
  for (Database *walk = database_list; walk != nullptr; walk = walk->next) {
    if (walk->next == db) {
      walk->next = FreeDatabase(db);
      return;
    }
  }
}

ZEL_API void ZEL_Terminate(void) {
  while (database_list != nullptr) database_list = FreeDatabase(database_list);
}

ZEL_API void ZEL_Destroy(void) {}

ZEL_API int CheckZEL(Database *db) {
  if (db != nullptr) return 1;
  ZEL_Error("The database has not been initialized.");
  return 0;
}

ZEL_API void ZEL_FreeMemory(void *memory) { std::free(memory); }

ZEL_API const char *zelcreate_VersionId(void) { return "zelcreate 1.0"; }

}  // extern "C"
