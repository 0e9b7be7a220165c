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
//
// Scalars of an XDR file go through libtirpc's stdio stream; arrays are
// moved a chunk at a time and converted in one pass (xdr_codec.h), with the
// same bytes as a call per value would give. A file opened for reading
// from a descriptor is also mapped, so that mode values can be decoded
// where they lie (mapped_bytes).
#ifndef ZEL_ZELFILE_H
#define ZEL_ZELFILE_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <rpc/xdr.h>

#include "io/file_mapping.h"

namespace zel {

enum class FileMode { kRead, kWrite };

struct ZelFile {
  std::FILE *fp = nullptr;   // the open stream, or null
  std::string name;          // the file's path
  int use_xdr = 0;           // 1: big-endian XDR encoding, 0: native order
  XDR *xdr = nullptr;        // XDR stream over fp, or null
  int double_precision = 1;  // 1: reals are binary64, 0: binary32

  ZelFile() = default;
  ZelFile(const ZelFile &) = delete;
  ZelFile &operator=(const ZelFile &) = delete;
  ~ZelFile() { close(); }

  // Takes over `stream` (named `path`) for reading or writing with the
  // given encoding. For reading, the file's size is taken now: every later
  // read is bounded by it. A stream opened for update ("w+b") is attached
  // for writing; its reads are bounded by the size it has when they start.
  void attach(std::FILE *stream, std::string path, FileMode mode, bool xdr_encoding, bool double_prec);
  // Switches the encoding of an attached stream (opening decides it only
  // after reading the version code); the position is kept.
  void set_encoding(bool xdr_encoding, bool double_prec);
  // Makes this record a second view of `owner`'s stream: same stream, name,
  // encoding and size, sharing one file position. The view never closes
  // the stream; `owner` must outlive it (or the view be closed first).
  void share(const ZelFile &owner);
  bool is_shared() const { return shared_; }

  // Releases the XDR stream and closes the stream; the file stays on disk.
  // A shared view only forgets the stream.
  void close() noexcept { (void)close_checked(); }
  // The same, saying whether the stream's last buffered bytes reached the
  // system: false when the closing flush failed (a disk that filled up).
  bool close_checked() noexcept;

  // Exchanges everything two records hold: a store replaced by one built
  // beside it takes over its stream.
  void swap(ZelFile &other) noexcept;

  int char_width() const { return use_xdr ? 4 : 1; }
  int real_size() const { return double_precision ? 8 : 4; }

  // 64-bit positioning on the underlying stream; -1 / false when there is
  // no stream or the runtime refuses.
  int64_t tell() const;
  bool seek(int64_t offset);
  // Moves `offset` bytes from the current position (skipping a mode vector).
  bool skip(int64_t offset);
  // The file's size in bytes: taken at attach for reading; measured now
  // (after flushing) for a stream attached for writing, which grows.
  int64_t size() const;
  int64_t bytes_left() const;
  // True when `count` items of `bytes_each` bytes fit in what is left of
  // the file from the current position. A negative count never fits.
  bool fits(int64_t count, int64_t bytes_each) const;

  // Reads: false on a short read (the values read so far are kept).
  bool read_int(int32_t &value);
  bool read_real(double &value);
  bool read_char(char &value);
  // A text field of n chars read as a C string: trailing blanks become
  // terminators from the end backwards (terminate_string), then the text
  // ends at the first NUL, so blank and NUL padding read alike and at most
  // n characters are kept. With trim false only the NUL rule applies (the
  // load-case labels are kept as written).
  bool read_text(std::string &text, std::size_t n, bool trim = true);
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

  // Runs of fixed-size records (a node ID and its values, say), moved a
  // chunk of whole records at a time instead of a call per value: a block
  // of a million records costs a few reads, not millions. `decode(bytes)`
  // gets each record's encoded bytes in turn and takes its fields with the
  // decode_* functions below; it returns false to stop the read (a field it
  // refuses), which then fails. `encode(bytes)` fills each record's bytes
  // with the encode_* functions. The records must fit in what is left of
  // the file, as for the bulk reads.
  template <class Decode>
  bool read_records(std::size_t count, std::size_t record_bytes, Decode &&decode);
  template <class Encode>
  bool write_records(std::size_t count, std::size_t record_bytes, Encode &&encode);
  // Fields of a record in this file's encoding.
  int32_t decode_int(const unsigned char *bytes) const;
  char decode_char(const unsigned char *bytes) const;
  void decode_reals(const unsigned char *bytes, double *values, std::size_t n) const;
  void encode_int(int32_t value, unsigned char *bytes) const;
  void encode_char(char value, unsigned char *bytes) const;
  void encode_reals(const double *values, unsigned char *bytes, std::size_t n) const;

  // The `n` encoded bytes at `offset` where they lie in the file's mapping,
  // for decoding in place with decode_reals or decode_real_halves; null when
  // the file is not mapped (a stream without a descriptor, a file being
  // written) or the bytes do not all lie in the file as it is now.
  const unsigned char *mapped_bytes(int64_t offset, std::size_t n) const { return mapping_.bytes(offset, n); }
  // Records of six reals in this file's encoding, values 0-2 of each to
  // `first` and 3-5 to `second` (three per record), in one pass.
  void decode_real_halves(const unsigned char *bytes, double *first, double *second, std::size_t records) const;

 private:
  // libtirpc's stdio stream reads and writes through fp itself, so it
  // shares the position with the bulk paths; its direction is set per call.
  XDR *xdr_stream(xdr_op direction);
  // Reads n bytes into the scratch buffer's front (n <= kChunkBytes).
  bool read_chunk(std::size_t n);
  bool write_bytes(const unsigned char *bytes, std::size_t n);
  unsigned char *scratch();
  // Whole records per chunk, at least one; the scratch buffer grows to hold
  // them (a record larger than a chunk was checked against the file's size).
  std::size_t records_per_chunk(std::size_t record_bytes);
  // Destroys the XDR stream when this record created it.
  void release_xdr() noexcept;

  int64_t size_ = 0;
  FileMode mode_ = FileMode::kRead;
  bool shared_ = false;    // fp belongs to another record
  bool owns_xdr_ = false;  // xdr was created here (a view may make its own)
  std::vector<unsigned char> scratch_;  // one chunk of encoded bytes
  FileMapping mapping_;                 // the whole file, when read from a descriptor
};

template <class Decode>
bool ZelFile::read_records(std::size_t count, std::size_t record_bytes, Decode &&decode) {
  if (count == 0) return true;
  if (record_bytes == 0 || count > static_cast<std::size_t>(INT64_MAX) ||
      !fits(static_cast<int64_t>(count), static_cast<int64_t>(record_bytes)))
    return false;
  const std::size_t per_chunk = records_per_chunk(record_bytes);
  for (std::size_t done = 0; done < count;) {
    const std::size_t n = std::min(per_chunk, count - done);
    if (!read_chunk(n * record_bytes)) return false;
    const unsigned char *record = scratch_.data();
    for (std::size_t k = 0; k < n; ++k, record += record_bytes)
      if (!decode(record)) return false;
    done += n;
  }
  return true;
}

template <class Encode>
bool ZelFile::write_records(std::size_t count, std::size_t record_bytes, Encode &&encode) {
  if (count == 0) return true;
  const std::size_t per_chunk = records_per_chunk(record_bytes);
  for (std::size_t done = 0; done < count;) {
    const std::size_t n = std::min(per_chunk, count - done);
    unsigned char *record = scratch_.data();
    for (std::size_t k = 0; k < n; ++k, record += record_bytes) encode(record);
    if (!write_bytes(scratch_.data(), n * record_bytes)) return false;
    done += n;
  }
  return true;
}

}  // namespace zel

#endif  // ZEL_ZELFILE_H
