#include "io/zelfile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "io/xdr_codec.h"
#include "zel.h"

namespace zel {

namespace {

// Large enough that a mode vector costs few system calls (on a virtual
// machine each one is dear: 64 KiB chunks made writing a large body 30%
// slower), small enough to stay in the processor's cache between the read
// and the conversion.
constexpr std::size_t kChunkBytes = 512 * 1024;

}  // namespace

void ZelFile::attach(std::FILE *stream, std::string path, FileMode mode, bool xdr_encoding,
                     bool double_prec) {
  // Re-attaching the stream already held must not close it.
  if (stream == fp && !shared_) fp = nullptr;
  close();
  fp = stream;
  name = std::move(path);
  mode_ = mode;
  size_ = 0;
  if (fp != nullptr && mode == FileMode::kRead) {
    const int64_t here = tell();
    if (here >= 0 && FileSeek_Win32(fp, 0, SEEK_END) == 0) {
      size_ = std::max<int64_t>(tell(), 0);
      seek(here);
    }
    mapping_.map(::fileno(fp), size_);
  }
  set_encoding(xdr_encoding, double_prec);
}

void ZelFile::set_encoding(bool xdr_encoding, bool double_prec) {
  use_xdr = xdr_encoding ? 1 : 0;
  double_precision = double_prec ? 1 : 0;
  if (use_xdr && xdr == nullptr && fp != nullptr) {
    xdr = new XDR;
    owns_xdr_ = true;
    xdrstdio_create(xdr, fp, XDR_DECODE);
  } else if (!use_xdr) {
    release_xdr();
  }
}

void ZelFile::release_xdr() noexcept {
  if (xdr != nullptr && owns_xdr_) {
    xdr_destroy(xdr);
    delete xdr;
  }
  xdr = nullptr;
  owns_xdr_ = false;
}

void ZelFile::share(const ZelFile &owner) {
  close();
  fp = owner.fp;
  name = owner.name;
  use_xdr = owner.use_xdr;
  xdr = owner.xdr;
  double_precision = owner.double_precision;
  owns_xdr_ = false;
  size_ = owner.size_;
  mode_ = owner.mode_;
  shared_ = true;
}

void ZelFile::swap(ZelFile &other) noexcept {
  std::swap(fp, other.fp);
  name.swap(other.name);
  std::swap(use_xdr, other.use_xdr);
  std::swap(xdr, other.xdr);
  std::swap(double_precision, other.double_precision);
  std::swap(size_, other.size_);
  std::swap(mode_, other.mode_);
  std::swap(shared_, other.shared_);
  std::swap(owns_xdr_, other.owns_xdr_);
  scratch_.swap(other.scratch_);
  mapping_.swap(other.mapping_);
}

bool ZelFile::close_checked() noexcept {
  mapping_.release();
  release_xdr();
  const bool closed = shared_ || fp == nullptr || std::fclose(fp) == 0;
  fp = nullptr;
  shared_ = false;
  size_ = 0;
  return closed;
}

int64_t ZelFile::tell() const { return FileTell_Win32(fp); }

bool ZelFile::seek(int64_t offset) { return FileSeek_Win32(fp, offset, SEEK_SET) == 0; }

bool ZelFile::skip(int64_t offset) { return FileSeek_Win32(fp, offset, SEEK_CUR) == 0; }

int64_t ZelFile::size() const {
  if (mode_ == FileMode::kRead || fp == nullptr) return size_;
  struct stat status;
  if (std::fflush(fp) != 0 || fstat(fileno(fp), &status) != 0) return 0;
  return static_cast<int64_t>(status.st_size);
}

int64_t ZelFile::bytes_left() const {
  const int64_t here = tell();
  if (here < 0) return 0;
  return std::max<int64_t>(size() - here, 0);
}

bool ZelFile::fits(int64_t count, int64_t bytes_each) const {
  if (count < 0 || bytes_each < 0) return false;
  if (count == 0 || bytes_each == 0) return true;
  return count <= bytes_left() / bytes_each;
}

XDR *ZelFile::xdr_stream(xdr_op direction) {
  if (xdr != nullptr) xdr->x_op = direction;
  return xdr;
}

unsigned char *ZelFile::scratch() {
  if (scratch_.size() < kChunkBytes) scratch_.resize(kChunkBytes);
  return scratch_.data();
}

std::size_t ZelFile::records_per_chunk(std::size_t record_bytes) {
  const std::size_t per_chunk = std::max<std::size_t>(kChunkBytes / record_bytes, 1);
  if (scratch_.size() < per_chunk * record_bytes) scratch_.resize(per_chunk * record_bytes);
  return per_chunk;
}

bool ZelFile::read_chunk(std::size_t n) {
  if (scratch_.size() < n) scratch_.resize(n);
  return fp != nullptr && std::fread(scratch_.data(), 1, n, fp) == n;
}

bool ZelFile::write_bytes(const unsigned char *bytes, std::size_t n) {
  return fp != nullptr && std::fwrite(bytes, 1, n, fp) == n;
}

namespace {

// Reads n values of `bytes_each` encoded bytes a chunk at a time through
// the file's scratch buffer, converting each chunk with `decode`.
template <class Value, class ReadChunk, class Decode>
bool read_in_chunks(Value *values, std::size_t n, std::size_t bytes_each, ReadChunk &&read_chunk,
                    const unsigned char *chunk, Decode &&decode) {
  const std::size_t per_chunk = kChunkBytes / bytes_each;
  for (std::size_t done = 0; done < n;) {
    const std::size_t count = std::min(per_chunk, n - done);
    if (!read_chunk(count * bytes_each)) return false;
    decode(chunk, values + done, count);
    done += count;
  }
  return true;
}

template <class Value, class WriteBytes, class Encode>
bool write_in_chunks(const Value *values, std::size_t n, std::size_t bytes_each, WriteBytes &&write_bytes,
                     unsigned char *chunk, Encode &&encode) {
  const std::size_t per_chunk = kChunkBytes / bytes_each;
  for (std::size_t done = 0; done < n;) {
    const std::size_t count = std::min(per_chunk, n - done);
    encode(values + done, chunk, count);
    if (!write_bytes(chunk, count * bytes_each)) return false;
    done += count;
  }
  return true;
}

bool fits_count(const ZelFile &file, std::size_t n, std::size_t bytes_each) {
  return n <= static_cast<std::size_t>(std::numeric_limits<int64_t>::max()) &&
         file.fits(static_cast<int64_t>(n), static_cast<int64_t>(bytes_each));
}

}  // namespace

bool ZelFile::read_int(int32_t &value) {
  if (use_xdr) {
    XDR *stream = xdr_stream(XDR_DECODE);
    int decoded = 0;
    if (stream == nullptr || !xdr_int(stream, &decoded)) return false;
    value = decoded;
    return true;
  }
  return fp != nullptr && std::fread(&value, sizeof value, 1, fp) == 1;
}

bool ZelFile::read_real(double &value) {
  if (use_xdr) {
    XDR *stream = xdr_stream(XDR_DECODE);
    if (stream == nullptr) return false;
    if (double_precision) return xdr_double(stream, &value);
    float single = 0.0f;
    if (!xdr_float(stream, &single)) return false;
    value = single;
    return true;
  }
  if (fp == nullptr) return false;
  if (double_precision) return std::fread(&value, sizeof value, 1, fp) == 1;
  float single = 0.0f;
  if (std::fread(&single, sizeof single, 1, fp) != 1) return false;
  value = single;
  return true;
}

bool ZelFile::read_char(char &value) {
  if (use_xdr) {
    XDR *stream = xdr_stream(XDR_DECODE);
    return stream != nullptr && xdr_char(stream, &value);
  }
  return fp != nullptr && std::fread(&value, 1, 1, fp) == 1;
}

bool ZelFile::read_text(std::string &text, std::size_t n, bool trim) {
  if (!fits_count(*this, n, static_cast<std::size_t>(char_width()))) return false;
  std::string field(n, '\0');
  if (!read_chars(field.data(), n)) return false;
  if (trim && n <= static_cast<std::size_t>(std::numeric_limits<int>::max()))
    terminate_string(field.data(), static_cast<int>(n));
  text.assign(field.c_str());
  return true;
}

bool ZelFile::read_ints(int32_t *values, std::size_t n) {
  const std::size_t bytes_each = sizeof(int32_t);
  if (!fits_count(*this, n, bytes_each)) return false;
  if (!use_xdr) return n == 0 || std::fread(values, bytes_each, n, fp) == n;
  return read_in_chunks(values, n, bytes_each, [this](std::size_t bytes) { return read_chunk(bytes); },
                        scratch(), xdr_codec::decode_ints);
}

bool ZelFile::read_reals(double *values, std::size_t n) {
  const std::size_t bytes_each = static_cast<std::size_t>(real_size());
  if (!fits_count(*this, n, bytes_each)) return false;
  if (!use_xdr && double_precision) return n == 0 || std::fread(values, bytes_each, n, fp) == n;
  auto read = [this](std::size_t bytes) { return read_chunk(bytes); };
  if (!use_xdr) return read_in_chunks(values, n, bytes_each, read, scratch(), xdr_codec::widen_native_floats);
  if (double_precision) return read_in_chunks(values, n, bytes_each, read, scratch(), xdr_codec::decode_doubles);
  return read_in_chunks(values, n, bytes_each, read, scratch(), xdr_codec::decode_floats_widening);
}

bool ZelFile::read_chars(char *values, std::size_t n) {
  const std::size_t bytes_each = static_cast<std::size_t>(char_width());
  if (!fits_count(*this, n, bytes_each)) return false;
  if (!use_xdr) return n == 0 || std::fread(values, 1, n, fp) == n;
  return read_in_chunks(values, n, bytes_each, [this](std::size_t bytes) { return read_chunk(bytes); },
                        scratch(), xdr_codec::decode_chars);
}

bool ZelFile::write_int(int32_t value) {
  if (use_xdr) {
    XDR *stream = xdr_stream(XDR_ENCODE);
    int encoded = value;
    return stream != nullptr && xdr_int(stream, &encoded);
  }
  return fp != nullptr && std::fwrite(&value, sizeof value, 1, fp) == 1;
}

bool ZelFile::write_real(double value) {
  float single = static_cast<float>(value);
  if (use_xdr) {
    XDR *stream = xdr_stream(XDR_ENCODE);
    if (stream == nullptr) return false;
    return double_precision ? xdr_double(stream, &value) : xdr_float(stream, &single);
  }
  if (fp == nullptr) return false;
  if (double_precision) return std::fwrite(&value, sizeof value, 1, fp) == 1;
  return std::fwrite(&single, sizeof single, 1, fp) == 1;
}

bool ZelFile::write_char(char value) {
  if (use_xdr) {
    XDR *stream = xdr_stream(XDR_ENCODE);
    return stream != nullptr && xdr_char(stream, &value);
  }
  return fp != nullptr && std::fwrite(&value, 1, 1, fp) == 1;
}

bool ZelFile::write_text(std::string_view text, std::size_t n, char pad) {
  std::string field(n, pad);
  field.replace(0, std::min(text.size(), n), text.substr(0, n));
  return write_chars(field.data(), n);
}

bool ZelFile::write_ints(const int32_t *values, std::size_t n) {
  if (!use_xdr) return n == 0 || (fp != nullptr && std::fwrite(values, sizeof(int32_t), n, fp) == n);
  return write_in_chunks(values, n, xdr_codec::kIntBytes,
                         [this](const unsigned char *bytes, std::size_t count) { return write_bytes(bytes, count); },
                         scratch(), xdr_codec::encode_ints);
}

bool ZelFile::write_reals(const double *values, std::size_t n) {
  if (!use_xdr && double_precision)
    return n == 0 || (fp != nullptr && std::fwrite(values, sizeof(double), n, fp) == n);
  const std::size_t bytes_each = static_cast<std::size_t>(real_size());
  auto write = [this](const unsigned char *bytes, std::size_t count) { return write_bytes(bytes, count); };
  if (!use_xdr) return write_in_chunks(values, n, bytes_each, write, scratch(), xdr_codec::narrow_to_native_floats);
  if (double_precision) return write_in_chunks(values, n, bytes_each, write, scratch(), xdr_codec::encode_doubles);
  return write_in_chunks(values, n, bytes_each, write, scratch(), xdr_codec::encode_floats_narrowing);
}

bool ZelFile::write_chars(const char *values, std::size_t n) {
  if (!use_xdr) return n == 0 || (fp != nullptr && std::fwrite(values, 1, n, fp) == n);
  return write_in_chunks(values, n, xdr_codec::kCharBytes,
                         [this](const unsigned char *bytes, std::size_t count) { return write_bytes(bytes, count); },
                         scratch(), xdr_codec::encode_chars);
}

int32_t ZelFile::decode_int(const unsigned char *bytes) const {
  int32_t value = 0;
  if (use_xdr)
    xdr_codec::decode_ints(bytes, &value, 1);
  else
    std::memcpy(&value, bytes, sizeof value);
  return value;
}

char ZelFile::decode_char(const unsigned char *bytes) const {
  char value = 0;
  if (use_xdr)
    xdr_codec::decode_chars(bytes, &value, 1);
  else
    value = static_cast<char>(bytes[0]);
  return value;
}

void ZelFile::decode_reals(const unsigned char *bytes, double *values, std::size_t n) const {
  if (!use_xdr && double_precision)
    std::memcpy(values, bytes, n * sizeof(double));
  else if (!use_xdr)
    xdr_codec::widen_native_floats(bytes, values, n);
  else if (double_precision)
    xdr_codec::decode_doubles(bytes, values, n);
  else
    xdr_codec::decode_floats_widening(bytes, values, n);
}

void ZelFile::decode_real_halves(const unsigned char *bytes, double *first, double *second,
                                 std::size_t records) const {
  if (!use_xdr && double_precision)
    xdr_codec::split_native_double_halves(bytes, first, second, records);
  else if (!use_xdr)
    xdr_codec::widen_native_float_halves(bytes, first, second, records);
  else if (double_precision)
    xdr_codec::decode_double_halves(bytes, first, second, records);
  else
    xdr_codec::decode_float_halves_widening(bytes, first, second, records);
}

void ZelFile::encode_int(int32_t value, unsigned char *bytes) const {
  if (use_xdr)
    xdr_codec::encode_ints(&value, bytes, 1);
  else
    std::memcpy(bytes, &value, sizeof value);
}

void ZelFile::encode_char(char value, unsigned char *bytes) const {
  if (use_xdr)
    xdr_codec::encode_chars(&value, bytes, 1);
  else
    bytes[0] = static_cast<unsigned char>(value);
}

void ZelFile::encode_reals(const double *values, unsigned char *bytes, std::size_t n) const {
  if (!use_xdr && double_precision)
    std::memcpy(bytes, values, n * sizeof(double));
  else if (!use_xdr)
    xdr_codec::narrow_to_native_floats(values, bytes, n);
  else if (double_precision)
    xdr_codec::encode_doubles(values, bytes, n);
  else
    xdr_codec::encode_floats_narrowing(values, bytes, n);
}

}  // namespace zel
