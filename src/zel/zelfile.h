// One open ZEL file with its encoding: the only place that knows how ints,
// reals, chars and text fields become bytes.
//
//   kind   native file                 XDR file
//   int    4 bytes, machine order       4 bytes, big-endian
//   real   binary32 / binary64,         binary32 / binary64, big-endian
//          machine order
//   char   1 byte                       4 bytes: the value sign-extended,
//                                       big-endian
//
// Reals are doubles in memory whatever the file's precision: reads widen,
// writes narrow. Every read is checked against the bytes left in the file,
// so a count taken from a hostile file cannot cause a read past its end or
// an allocation larger than the file could fill (see fits()).
#ifndef ZEL_ZELFILE_H
#define ZEL_ZELFILE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include <rpc/xdr.h>

namespace zel {

enum class FileMode { kRead, kWrite };

struct ZelFile {
  std::FILE *fp = nullptr;   // the open stream, or null
  std::string name;          // the file's path
  int use_xdr = 0;           // 1: big-endian XDR encoding, 0: native order
  XDR *xdr = nullptr;        // XDR stream over fp, owned, or null
  int double_precision = 1;  // 1: reals are binary64, 0: binary32

  ZelFile() = default;
  ZelFile(const ZelFile &) = delete;
  ZelFile &operator=(const ZelFile &) = delete;
  ~ZelFile() { close(); }

  // Takes over `stream` (named `path`) for reading or writing with the
  // given encoding. For reading, the file's size is taken now: every later
  // read is bounded by it.
  void attach(std::FILE *stream, std::string path, FileMode mode, bool xdr_encoding, bool double_prec);
  // Switches the encoding of an attached stream (opening decides it only
  // after reading the version code); the position is kept.
  void set_encoding(bool xdr_encoding, bool double_prec);

  // Releases the XDR stream and closes the stream; the file stays on disk.
  void close() noexcept;

  int char_width() const { return use_xdr ? 4 : 1; }
  int real_size() const { return double_precision ? 8 : 4; }

  // 64-bit positioning on the underlying stream.
  int64_t tell() const;
  bool seek(int64_t offset);
  int64_t size() const { return size_; }
  int64_t bytes_left() const;
  // True when `count` items of `bytes_each` bytes fit in what is left of
  // the file from the current position. A negative count never fits.
  bool fits(int64_t count, int64_t bytes_each) const;

  // Reads: false on a short read (the values read so far are kept).
  bool read_int(int32_t &value);
  bool read_real(double &value);
  bool read_char(char &value);
  // A text field of n chars: trailing blanks and NULs are cut, at most n
  // characters kept.
  bool read_text(std::string &text, std::size_t n);
  bool read_ints(int32_t *values, std::size_t n);
  bool read_reals(double *values, std::size_t n);
  bool read_chars(char *values, std::size_t n);

  // Writes: false when the stream refused the bytes.
  bool write_int(int32_t value);
  bool write_real(double value);
  bool write_char(char value);
  // A text field of n chars: `text` cut to n, padded with `pad`.
  bool write_text(std::string_view text, std::size_t n, char pad = ' ');
  bool write_ints(const int32_t *values, std::size_t n);
  bool write_reals(const double *values, std::size_t n);
  bool write_chars(const char *values, std::size_t n);

 private:
  int64_t size_ = 0;
  FileMode mode_ = FileMode::kRead;
};

}  // namespace zel

#endif  // ZEL_ZELFILE_H
