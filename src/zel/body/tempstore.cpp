#include "body/tempstore.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "io/xdr_codec.h"
#include "platform/build_profile.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zelset";

// The directory variable every message points the caller to.
constexpr const char *kDirectoryVariable = profile::kTemporaryDirectoryVariables[0];

// Memory for staging windows, all slots together, and the smallest window:
// a few hundred records keep the system calls per value well below 1%.
constexpr int64_t kStagingBudget = int64_t{16} << 20;
constexpr int64_t kSmallestWindow = int64_t{16} << 10;
constexpr std::size_t kPage = 4096;
constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

// A message whose text names the file and then the directory variable;
// the full library closes it with `full_close` (the reduced library's
// messages end with the variable).
struct TempStore::Message {
  const char *text;
  const char *full_close;
};

struct TempStore::Texts {
  const char *path_variable;  // null: always a generated name
  const char *created;
  const Message *cannot_open;
  const Message *no_room;
};

namespace {

using Message = TempStore::Message;
using StoreTexts = TempStore::Texts;

constexpr char kModeShapePath[] = ",\nor specify path name (file name) in environment variable KOR_TMP_MOD.";
constexpr char kModalStressPath[] = ",\nor specify path name (file name) in environment variable KOR_TMP_STR.";
constexpr char kModalStrainPath[] = ",\nor specify path name (file name) in environment variable KOR_TMP_STN.";

constexpr Message kStoreMessages[3][2] = {
    {{"Unable to open temporary mode shape file %s.\nTo write elsewhere, specify directory name in environment "
      "variable %s",
      kModeShapePath},
     {"Insufficient disk space for temporary mode shape file  %s.\nTo write elsewhere, specify directory name in "
      "environment variable %s",
      kModeShapePath}},
    {{"Unable to open temporary modal stress file %s.\nTo write elsewhere, specify directory name in environment "
      "variable %s",
      kModalStressPath},
     {"Insufficient disk space for temporary modal stress file %s.\nTo write elsewhere, specify directory name in "
      "environment variable %s",
      kModalStressPath}},
    {{"Unable to open temporary modal strain file %s.\nTo write elsewhere, specify directory name in environment "
      "variable %s",
      kModalStrainPath},
     {"Insufficient disk space for temporary modal strain file %s.\nTo write elsewhere, specify directory name in "
      "environment variable %s",
      kModalStrainPath}},
};

const StoreTexts kStoreTexts[3] = {
    {"KOR_TMP_MOD", "Temp modeshape file: %s", &kStoreMessages[0][0], &kStoreMessages[0][1]},
    {"KOR_TMP_STR", "Temp modal stress file: %s", &kStoreMessages[1][0], &kStoreMessages[1][1]},
    {"KOR_TMP_STN", "Temp modal strain file: %s", &kStoreMessages[2][0], &kStoreMessages[2][1]},
};

constexpr Message kReplacementCannotOpen{
    "Unable to open %s for write.  Specify different temporary file directory by\nsetting the %s environment "
    "variable",
    "."};
constexpr Message kReplacementNoRoom{
    "Insufficient disk space for file %s.  Specify different temporary\nfile directory by setting the %s "
    "environment variable",
    ""};

void report_store_failure(const Message &message, const std::string &name) {
  std::string format = message.text;
  if constexpr (!profile::kCore) format += message.full_close;
  ZEL_Error(format.c_str(), name.c_str(), kDirectoryVariable);
}

const char *nonempty_env(const char *variable) {
  if (variable == nullptr) return nullptr;
  const char *value = std::getenv(variable);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

std::string temporary_directory() {
  std::string directory;
  for (const char *variable : profile::kTemporaryDirectoryVariables) {
    if (const char *tmp = nonempty_env(variable)) {
      directory = tmp;
      break;
    }
  }
  if (directory.empty()) {
    std::error_code error;
    directory = std::filesystem::temp_directory_path(error).string();
    if (error || directory.empty()) directory = "/tmp";
  }
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory;
}

// Opens a new store file and names it in `name`; -1 on failure. A path the
// caller gives replaces any file of that name and keeps it while the store
// lives. A generated name is unique and created exclusively, so no other
// file is ever written through it, and it is removed at once: the store
// lives on in its descriptor, and no way the process may die (a signal,
// a kill) leaves the file behind.
int open_store_file(const char *path_variable, std::string &name) {
  if (const char *path = nonempty_env(path_variable)) {
    name = path;
    ::unlink(path);
    return ::open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  }
  name = temporary_directory() + "/zel_XXXXXX";
  std::vector<char> pattern(name.begin(), name.end());
  pattern.push_back('\0');
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd >= 0) {
    name = pattern.data();
    ::unlink(pattern.data());
  }
  return fd;
}

// Bytes of a grid of `slots` x `positions` records of 6 values of `width`
// bytes; false when that does not fit a file offset.
bool grid_bytes(int64_t slots, int64_t positions, int width, int64_t &bytes) {
  int64_t per_slot = 0;
  return !__builtin_mul_overflow(positions, int64_t{6} * width, &per_slot) &&
         !__builtin_mul_overflow(per_slot, slots, &bytes);
}

// Values as the store holds them: native doubles, or floats.
void encode(const double *values, int64_t n, bool double_precision, unsigned char *to) {
  if (double_precision)
    std::memcpy(to, values, static_cast<std::size_t>(n) * sizeof(double));
  else
    xdr_codec::narrow_to_native_floats(values, to, static_cast<std::size_t>(n));
}

void decode(const unsigned char *from, int64_t n, bool double_precision, double *values) {
  if (double_precision)
    std::memcpy(values, from, static_cast<std::size_t>(n) * sizeof(double));
  else
    xdr_codec::widen_native_floats(from, values, static_cast<std::size_t>(n));
}

// Moves every byte with pread or pwrite, which may move fewer or be
// interrupted; false at an error or the end of the file.
template <class Byte, class Transfer>
bool transfer_fully(Transfer transfer, int fd, Byte *data, int64_t bytes, int64_t offset) {
  while (bytes > 0) {
    const ssize_t moved = transfer(fd, data, static_cast<std::size_t>(bytes), offset);
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) return false;
    data += moved;
    bytes -= moved;
    offset += moved;
  }
  return true;
}

bool read_fully(int fd, unsigned char *data, int64_t bytes, int64_t offset) {
  return transfer_fully(::pread, fd, data, bytes, offset);
}

bool write_fully(int fd, const unsigned char *data, int64_t bytes, int64_t offset) {
  return transfer_fully(::pwrite, fd, data, bytes, offset);
}

}  // namespace

bool TempStore::create(int set, int32_t slots, int32_t positions, bool double_precision) {
  return create_with(kStoreTexts[set], slots, positions, double_precision);
}

bool TempStore::create_replacement(int32_t slots, int32_t positions, bool double_precision,
                                   const char *created) {
  const Texts texts{nullptr, created, &kReplacementCannotOpen, &kReplacementNoRoom};
  return create_with(texts, slots, positions, double_precision);
}

void TempStore::swap(TempStore &other) noexcept {
  file.swap(other.file);
  std::swap(base_, other.base_);
  std::swap(mapped_bytes_, other.mapped_bytes_);
  std::swap(no_room_, other.no_room_);
  std::swap(slots_, other.slots_);
  std::swap(positions_, other.positions_);
  windows_.swap(other.windows_);
  std::swap(window_values_, other.window_values_);
  std::swap(appendable_values_, other.appendable_values_);
  arena_.swap(other.arena_);
  std::swap(buffer_count_, other.buffer_count_);
  free_buffers_.swap(other.free_buffers_);
  std::swap(next_to_release_, other.next_to_release_);
  std::swap(device_, other.device_);
  std::swap(inode_, other.inode_);
}

bool TempStore::create_with(const Texts &texts, int32_t slots, int32_t positions, bool double_precision) {
  discard();
  if (slots <= 0 || positions <= 0) {
    report_memory_failure(__LINE__, kModule);
    return false;
  }
  const int64_t record_bytes = int64_t{6} * (double_precision ? 8 : 4);
  const int64_t window_bytes = std::max(kSmallestWindow, kStagingBudget / slots);
  const int64_t window_records = std::clamp<int64_t>(window_bytes / record_bytes, 1, positions);
  window_values_ = 6 * window_records;
  appendable_values_ = double_precision ? window_values_ : 0;
  buffer_count_ = static_cast<int32_t>(
      std::clamp<int64_t>(kStagingBudget / (window_records * record_bytes), 1, slots));
  try {
    windows_.resize(static_cast<std::size_t>(slots));  // before the file: a failure leaves nothing behind
  } catch (const std::bad_alloc &) {
    report_memory_failure(__LINE__, kModule);
    return false;
  }
  std::string name;
  const int fd = open_store_file(texts.path_variable, name);
  if (fd < 0) {
    report_store_failure(*texts.cannot_open, name);
    return false;
  }
  ZEL_Info(texts.created, name.c_str());
  std::FILE *stream = ::fdopen(fd, "w+b");
  if (stream == nullptr) {
    ::close(fd);
    ::unlink(name.c_str());
    report_memory_failure(__LINE__, kModule);
    return false;
  }
  file.attach(stream, std::move(name), FileMode::kWrite, false, double_precision);
  struct stat identity {};
  if (::fstat(fd, &identity) == 0) {
    device_ = identity.st_dev;
    inode_ = identity.st_ino;
  }

  int64_t bytes = 0;
  if (!grid_bytes(slots, positions, value_size(), bytes) || ::posix_fallocate(fd, 0, bytes) != 0) {
    report_store_failure(*texts.no_room, file.name);
    discard();
    return false;
  }
  void *grid = ::mmap(nullptr, static_cast<std::size_t>(bytes), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (grid == MAP_FAILED) {
    report_memory_failure(__LINE__, kModule);
    discard();
    return false;
  }
  base_ = static_cast<unsigned char *>(grid);
  mapped_bytes_ = bytes;
  no_room_ = texts.no_room;
  slots_ = slots;
  positions_ = positions;
  return true;
}

bool TempStore::widen(int32_t count) {
  if (!flush()) return false;
  // Doubling keeps the cost of all moves linear in the final size.
  const int32_t wanted = static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(count, 2 * int64_t{positions_}),
                                                                INT32_MAX));
  int64_t bytes = 0;
  if (!grid_bytes(slots_, wanted, value_size(), bytes) ||
      ::posix_fallocate(fd(), mapped_bytes_, bytes - mapped_bytes_) != 0) {
    drop_unmapped_tail();
    report_no_room();
    return false;
  }
  void *grown = ::mremap(base_, static_cast<std::size_t>(mapped_bytes_), static_cast<std::size_t>(bytes),
                         MREMAP_MAYMOVE);
  if (grown == MAP_FAILED) {
    drop_unmapped_tail();
    report_memory_failure(__LINE__, kModule);
    return false;
  }
  base_ = static_cast<unsigned char *>(grown);
  mapped_bytes_ = bytes;

  // Every slot moves to a higher offset, so moving the last slot first
  // never overwrites one not yet moved; what lies behind a moved slot is
  // stale and becomes the zero records of the new positions.
  const int64_t old_slot = slot_bytes();
  positions_ = wanted;
  const int64_t new_slot = slot_bytes();
  for (int32_t slot = slots_ - 1; slot >= 0; --slot) {
    unsigned char *to = at(slot * new_slot);
    std::memmove(to, at(slot * old_slot), static_cast<std::size_t>(old_slot));
    std::memset(to + old_slot, 0, static_cast<std::size_t>(new_slot - old_slot));
  }
  return true;
}

// A refused growth may still have lengthened the file; the grid stays as
// it was either way, so a failure to cut the file back changes nothing else.
void TempStore::drop_unmapped_tail() noexcept {
  [[maybe_unused]] const int result = ::ftruncate(fd(), mapped_bytes_);
}

bool TempStore::write_value(int32_t slot, int32_t position, int component, double value) {
  return stage(slot, int64_t{6} * position + component, &value, 1);
}

bool TempStore::write_records(int32_t slot, int32_t first, const double *values, int32_t count) {
  return stage(slot, int64_t{6} * first, values, int64_t{6} * count);
}

bool TempStore::read_records(int32_t slot, int32_t first, double *values, int32_t count) {
  if (!write_out(slot)) return false;
  if (file.double_precision != 0)
    return read_fully(fd(), reinterpret_cast<unsigned char *>(values), int64_t{48} * count,
                      slot_offset(slot) + int64_t{48} * first);
  decode(at(slot_offset(slot) + int64_t{6} * first * value_size()), int64_t{6} * count,
         file.double_precision != 0, values);
  return true;
}

const double *TempStore::mapped_records(int32_t slot, int32_t first, int32_t count) {
  if (file.double_precision == 0 || slot < 0 || slot >= slots_ || first < 0 || count < 0 ||
      first > positions_ - count || !write_out(slot))
    return nullptr;
  return reinterpret_cast<const double *>(at(slot_offset(slot) + int64_t{48} * first));
}

void TempStore::report_no_room() const {
  if (no_room_ != nullptr) report_store_failure(*no_room_, file.name);
}

bool TempStore::flush() {
  for (int32_t slot = 0; slot < slots_; ++slot)
    if (!write_out(slot)) return false;
  return true;
}

// Values [first, first + n) of a slot, split at window boundaries.
bool TempStore::stage(int32_t slot, int64_t first, const double *values, int64_t n) {
  while (n > 0) {
    const int64_t part = std::min(n, window_values_ - first % window_values_);
    if (!stage_in_window(slot, first, values, part)) return false;
    first += part;
    values += part;
    n -= part;
  }
  return true;
}

bool TempStore::stage_in_window(int32_t slot, int64_t first, const double *values, int64_t n) {
  Window &window = windows_[static_cast<std::size_t>(slot)];
  const int64_t start = first - first % window_values_;
  const int64_t lo = first - start;
  const int64_t hi = lo + n;
  // A window holds one unbroken run of values set since it was last
  // written out, so writing out the run never overwrites the file with
  // values nobody set.
  if (window.staged() && (window.first != start || lo > window.hi || hi < window.lo) && !write_out(slot))
    return false;
  if (window.bytes == nullptr && !take_buffer(window)) return false;
  if (window.staged()) {
    window.lo = std::min(window.lo, lo);
    window.hi = std::max(window.hi, hi);
  } else {
    window.first = start;
    window.lo = lo;
    window.hi = hi;
  }
  encode(values, n, file.double_precision != 0, window.bytes + lo * value_size());
  return true;
}

bool TempStore::write_out(int32_t slot) {
  Window &window = windows_[static_cast<std::size_t>(slot)];
  if (!window.staged()) return true;
  const int64_t size = value_size();
  if (!write_fully(fd(), window.bytes + window.lo * size, (window.hi - window.lo) * size,
                   slot_offset(slot) + (window.first + window.lo) * size))
    return false;
  window.lo = window.hi = 0;
  return true;
}

// A buffer for `window`: a free one, else the next one held (round robin)
// once its values are written out. Throws bad_alloc when the arena cannot
// be made.
bool TempStore::take_buffer(Window &window) {
  const std::size_t buffer_bytes = static_cast<std::size_t>(window_values_ * value_size());
  if (!arena_) {
    const std::size_t bytes = buffer_bytes * static_cast<std::size_t>(buffer_count_);
    const std::size_t alignment = bytes >= kHugePage ? kHugePage : kPage;
    const std::size_t rounded = (bytes + alignment - 1) / alignment * alignment;
    arena_.reset(static_cast<unsigned char *>(std::aligned_alloc(alignment, rounded)));
    if (!arena_) throw std::bad_alloc();
    if (alignment == kHugePage) ::madvise(arena_.get(), rounded, MADV_HUGEPAGE);
    free_buffers_.reserve(static_cast<std::size_t>(buffer_count_));
    for (int32_t i = buffer_count_ - 1; i >= 0; --i) free_buffers_.push_back(arena_.get() + i * buffer_bytes);
  }
  while (free_buffers_.empty()) {
    const int32_t slot = next_to_release_;
    next_to_release_ = (next_to_release_ + 1) % slots_;
    Window &held = windows_[static_cast<std::size_t>(slot)];
    if (held.bytes == nullptr) continue;
    if (!write_out(slot)) return false;
    free_buffers_.push_back(held.bytes);
    held.bytes = nullptr;
    held.first = -1;
  }
  window.bytes = free_buffers_.back();
  free_buffers_.pop_back();
  return true;
}

void TempStore::discard() noexcept {
  if (base_ != nullptr) ::munmap(base_, static_cast<std::size_t>(mapped_bytes_));
  if (file.fp != nullptr) {
    struct stat current {};
    if (::stat(file.name.c_str(), &current) == 0 && current.st_dev == device_ && current.st_ino == inode_)
      ::unlink(file.name.c_str());
  }
  file.close();
  file.name.clear();
  base_ = nullptr;
  mapped_bytes_ = 0;
  windows_.clear();
  window_values_ = 0;
  appendable_values_ = 0;
  arena_.reset();
  buffer_count_ = 0;
  free_buffers_.clear();
  next_to_release_ = 0;
  slots_ = 0;
  positions_ = 0;
  device_ = 0;
  inode_ = 0;
}

}  // namespace zel
