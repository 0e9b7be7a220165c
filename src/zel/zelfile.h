// One open ZEL or temporary file with its encoding.
#ifndef ZEL_ZELFILE_H
#define ZEL_ZELFILE_H

#include <cstdio>
#include <string>

#include <rpc/xdr.h>

namespace zel {

struct ZelFile {
  std::FILE *fp = nullptr;  // the open stream, or null
  std::string name;         // the file's path
  int use_xdr = 0;          // 1: big-endian XDR encoding, 0: native order
  XDR *xdr = nullptr;       // XDR stream over fp, owned, or null
  int double_precision = 1; // 1: reals are binary64, 0: binary32

  ZelFile() = default;
  ZelFile(const ZelFile &) = delete;
  ZelFile &operator=(const ZelFile &) = delete;
  ~ZelFile() { close(); }

  // Releases the XDR stream and closes the stream; the file stays on disk.
  void close() noexcept;
};

}  // namespace zel

#endif  // ZEL_ZELFILE_H
