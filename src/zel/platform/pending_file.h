// A ZEL file being written. It is built under a unique name beside its
// target (same directory, so the final rename stays on one file system;
// created exclusively, readable by its owner only while incomplete) and
// renamed over the target only when every byte reached the disk. Until
// then the target keeps whatever it held, and readers of it never see a
// half-written file. An unfinished file is removed on destruction.
#ifndef ZEL_PENDING_FILE_H
#define ZEL_PENDING_FILE_H

#include <string>

#include "io/zelfile.h"

namespace zel {

class PendingFile {
 public:
  PendingFile() = default;
  PendingFile(const PendingFile &) = delete;
  PendingFile &operator=(const PendingFile &) = delete;
  ~PendingFile() { abandon(); }

  // Creates the file beside `target` and attaches it for writing with the
  // given encoding. False, with errno set, when it cannot be created.
  bool create(const std::string &target, bool xdr_encoding, bool double_precision);
  // Flushes, syncs and closes the file, gives it the permissions a new
  // file at the target would get (or the target's own, when it exists)
  // and renames it over the target. False, with `problem` describing the
  // step that failed, when any step failed; the file is then removed.
  bool commit(std::string &problem);
  // Closes and removes the file, if it is still there.
  void abandon() noexcept;

  ZelFile file;

 private:
  std::string target_;
  std::string temporary_;
};

// Whether `path` names the file `file` has open (same device and inode,
// however either is spelled), or the file it was opened from.
bool names_file_of(const std::string &path, const ZelFile &file);

}  // namespace zel

#endif  // ZEL_PENDING_FILE_H
