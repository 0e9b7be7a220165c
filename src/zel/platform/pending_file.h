// A ZEL file being written. It is built beside its target (same directory,
// so that it reaches the target by a rename on one file system) as a file
// with no name where the file system allows (an interrupted or killed
// process then leaves nothing behind), else under a unique hidden name
// ".NAME.XXXXXX" (created exclusively, readable by its owner only while
// incomplete). Only when every byte reached the disk does it take the
// target's place, in one rename. Until then the target keeps whatever it
// held, and readers of it never see a half-written file. An unfinished
// file is removed on destruction.
//
// A target that is a symbolic link is written through: the file is built
// beside the file the link leads to and replaces that file, and the link
// stays a link.
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
  // given encoding. False, with `problem` holding the system's reason,
  // when it cannot be created.
  bool create(const std::string &target, bool xdr_encoding, bool double_precision, std::string &problem);
  // Flushes, syncs and closes the file, gives it the permissions a new
  // file at the target would get (or the target's own, when it exists)
  // and puts it in the target's place. False, with `problem` naming the
  // step that failed and the system's reason, when any step failed; the
  // file is then removed.
  bool commit(std::string &problem);
  // Closes and removes the file, if it is still there.
  void abandon() noexcept;

  // The hidden name a file being written for `target` gets when it needs
  // one: the target's name cut so that the whole stays within the
  // system's limit on a name, with a 6-character unique suffix (XXXXXX
  // here).
  static std::string hidden_name_pattern(const std::string &target);

  ZelFile file;

 private:
  bool open_beside(const std::string &target, bool xdr_encoding, bool double_precision);
  bool commit_named(std::string &problem);
  bool link_into_place(std::string &problem);

  std::string target_;     // the file to replace (symbolic links resolved)
  std::string temporary_;  // the hidden name, while the file has one
  int descriptor_ = -1;    // a nameless file's own descriptor, kept to give it a name
};

// Whether `path` names the file `file` has open (same device and inode,
// however either is spelled), or the file it was opened from.
bool names_file_of(const std::string &path, const ZelFile &file);

}  // namespace zel

#endif  // ZEL_PENDING_FILE_H
