// Version code, content summary, block offsets and 64-bit positioning.
#include "format/zeltoc.h"

#include <algorithm>
#include <optional>

#include "format/block_table.h"
#include "platform/build_profile.h"
#include "format/blocks.h"
#include "body/database.h"
#include "platform/messages.h"
#include "zel.h"

namespace {

constexpr char kModule[] = "zeltoc";

// Block lengths are worked out wide enough that no product of four 32-bit
// counts can overflow; only a length that fits in the file is believed.
using WideSize = unsigned __int128;

constexpr uint32_t kLowByte = 0xFFu;
constexpr uint32_t kXdrFlag = 0x100u;
constexpr uint32_t kFirstFlaggedVersion = 60;

// Version codes 10..50 say everything in their low byte; from 60 on, flag
// bits above it carry the encoding and precision.
bool is_plain_native_version(uint32_t low_byte) {
  return low_byte == 10 || low_byte == 20 || low_byte == 30 || low_byte == 40 || low_byte == 50;
}

bool is_plain_xdr_version(uint32_t low_byte) { return low_byte == 31 || low_byte == 41 || low_byte == 51; }

// From level 60 on the code is the level and the two flag bits: any bit
// above them means the four bytes are not a version code (the start of a
// picture or a text file renamed), and nothing after them is read.
constexpr uint32_t kFlaggedVersionBits = 0x3FFu;

bool is_flagged_version(uint32_t value) {
  return (value & kLowByte) >= kFirstFlaggedVersion && (value & ~kFlaggedVersionBits) == 0;
}

bool report_invalid_format() {
  ZEL_Error("Not a valid ZEL format.");
  return false;
}

// The cause goes first, so that a program showing one line shows the cause.
bool report_too_short_for_a_version_code(const zel::ZelFile &file) {
  if (file.size() == 0)
    ZEL_Error("The file is empty.");
  else
    ZEL_Error("The file is truncated: it holds %lld bytes, fewer than the 4 of a version code.",
              static_cast<long long>(file.size()));
  return report_invalid_format();
}

// `code` as read in the XDR (big-endian) order: its hex digits are then the
// file's first four bytes in the order a hex dump shows them.
bool report_unknown_version_code(uint32_t code) {
  ZEL_Error("Unknown version code 0x%08X: not a ZEL file.", static_cast<unsigned>(code));
  return report_invalid_format();
}

// Said once, before the first size message it explains: a block that
// starts at or runs past the end of the file. Damaged counts look the same
// as a cut, so the line names both. True when said.
bool report_block_past_the_end(const zel::BlockInfo &block, int64_t start, std::optional<WideSize> size,
                               int64_t file_size) {
  if (start >= file_size) {
    ZEL_Error("The file ends at byte %lld, where block %d (%s) should start: the file is truncated.",
              static_cast<long long>(file_size), block.id, block.name);
    return true;
  }
  if (!size) return false;
  ZEL_Error("The file ends at byte %lld, inside block %d (%s), which should run from byte %lld to byte %llu: the "
            "file is truncated or the block is damaged.",
            static_cast<long long>(file_size), block.id, block.name, static_cast<long long>(start),
            static_cast<unsigned long long>(static_cast<WideSize>(start) + *size));
  return true;
}

bool block_present(const Database &db, int b) {
  if (b < zel::kFirstOptionalBlock) return true;
  return db.exists[static_cast<std::size_t>(zel::content_position(b))] != 0;
}

// A count at a block's start: unreadable or negative ends the sizing.
bool read_count(zel::ZelFile &file, WideSize &count) {
  int32_t value = 0;
  if (!file.read_int(value) || value < 0) return false;
  count = static_cast<WideSize>(value);
  return true;
}

// The obsolete topology block has no length of its own: it is 8 bytes of
// counts, 12 bytes per element entry {label, F, V}, then per element F face
// records of 2 + V ints. The walk stops as soon as it passes `available`.
// The face total T in front only restates the element table, which alone
// gives the length.
std::optional<WideSize> element_topology_size(zel::ZelFile &file, WideSize available) {
  int32_t total_faces = 0;
  WideSize elements = 0;
  if (!file.read_int(total_faces) || !read_count(file, elements)) return std::nullopt;
  WideSize size = 8 + 12 * elements;
  if (size > available) return std::nullopt;
  for (WideSize e = 0; e < elements; ++e) {
    int32_t entry[3];  // label, faces, vertices per face
    if (!file.read_ints(entry, 3) || entry[1] < 0 || entry[2] < 0) return std::nullopt;
    size += 4 * static_cast<WideSize>(entry[1]) * (static_cast<WideSize>(entry[2]) + 2);
    if (size > available) return std::nullopt;
  }
  return size;
}

int value_set_of_block(int block_id) {
  return block_id == 18 ? zel::kStressSet : block_id == 29 ? zel::kStrainSet : zel::kModeShapeSet;
}

WideSize fixed_size(const zel::BlockInfo &block, WideSize w, WideSize r) {
  return 4 * static_cast<WideSize>(block.fixed_ints) + w * static_cast<WideSize>(block.fixed_chars) +
         r * static_cast<WideSize>(block.fixed_reals);
}

// The size rules of block_table.h, reading the counts from the file's
// current position (the block's start).
std::optional<WideSize> size_from_counts(const zel::BlockInfo &block, Database &db, WideSize available) {
  zel::ZelFile &file = db.file;
  const WideSize w = static_cast<WideSize>(file.char_width());
  const WideSize r = static_cast<WideSize>(file.real_size());
  const WideSize per_mode = static_cast<WideSize>(block.fixed_reals);
  WideSize n = 0;
  WideSize m = 0;
  switch (block.size_rule) {
    case zel::SizeRule::kFixed:
      return fixed_size(block, w, r);
    case zel::SizeRule::kNodeRecords:
      if (!read_count(file, n) || !read_count(file, m)) return std::nullopt;
      return 8 + n * (4 + m * r);
    case zel::SizeRule::kElementTopology:
      return element_topology_size(file, available);
    case zel::SizeRule::kEigenvalues:
      if (!read_count(file, n)) return std::nullopt;
      return 4 + n * (4 + 5 * r);
    case zel::SizeRule::kModeVectors: {
      if (!read_count(file, m) || !read_count(file, n)) return std::nullopt;
      // Sized by the layout each version really has: the stress and strain
      // records of format levels 3.0 and 3.1 carry no mode number.
      const WideSize mode_number_slot =
          zel::mode_number_field(db.version, value_set_of_block(block.id)) == zel::ModeNumberField::kAbsent ? 0 : 4;
      return 8 + 4 * n + m * (mode_number_slot + 6 * n * r);
    }
    case zel::SizeRule::kNodalInertias:
      if (!read_count(file, n)) return std::nullopt;
      return 4 + n * (4 + 2 * w + r);
    case zel::SizeRule::kGeneralizedEntries:
      if (!read_count(file, n)) return std::nullopt;
      return 8 + n * (12 + r);
    case zel::SizeRule::kSelfSized: {
      // Four header ints at least; anything shorter would make the next
      // block start inside this one.
      if (!read_count(file, n) || n < 16) return std::nullopt;
      return n;
    }
    case zel::SizeRule::kTransformation: {
      // A count of zero or below stands for "no transformation": the block
      // is that one int.
      int32_t modes = 0;
      if (!file.read_int(modes)) return std::nullopt;
      if (modes <= 0) return WideSize{4};
      n = static_cast<WideSize>(modes);
      return 4 + n * (4 + n * r);
    }
    case zel::SizeRule::kIntList:
      if (!read_count(file, n)) return std::nullopt;
      return 4 * (n + 1);
    case zel::SizeRule::kPerMode:
      if (!read_count(file, m)) return std::nullopt;
      return 4 + per_mode * m * r;
    case zel::SizeRule::kPerModePair:
      if (!read_count(file, m)) return std::nullopt;
      return 4 + per_mode * m * m * r;
    case zel::SizeRule::kPreload:
      if (!read_count(file, m)) return std::nullopt;
      return 8 + m * r;
    case zel::SizeRule::kModalLoads:
      if (!read_count(file, m) || !read_count(file, n)) return std::nullopt;
      return 8 + n * (zel::kLoadCaseLabelChars * w + 4 + m * r);
    case zel::SizeRule::kStatistics:
      if (!read_count(file, n)) return std::nullopt;
      return 4 + 13 * n * (4 + r);
    case zel::SizeRule::kNodalSixValues:
      if (!read_count(file, n)) return std::nullopt;
      return 4 + 6 * n * r;
  }
  return std::nullopt;
}

}  // namespace

namespace zel {

bool detect_encoding(ZelFile &file, uint32_t &version) {
  file.set_encoding(false, true);
  int32_t code = 0;
  if (!file.seek(0) || !file.read_int(code)) return report_too_short_for_a_version_code(file);
  uint32_t value = static_cast<uint32_t>(code);
  uint32_t low_byte = value & kLowByte;
  if (is_plain_native_version(low_byte)) {
    version = low_byte;
  } else if (is_flagged_version(value) && (value & kXdrFlag) == 0) {
    version = value;
  } else {
    file.set_encoding(true, true);
    if (!file.seek(0) || !file.read_int(code)) return report_too_short_for_a_version_code(file);
    value = static_cast<uint32_t>(code);
    low_byte = value & kLowByte;
    if (is_plain_xdr_version(low_byte))
      version = low_byte;
    else if (!is_flagged_version(value) || (value & kXdrFlag) == 0)
      return report_unknown_version_code(value);
    else
      version = value;
  }
  if (!profile::reads_version(version)) {
    ZEL_Error("Version code %u is not read by this build of the library.", static_cast<unsigned>(version));
    return report_invalid_format();
  }
  file.set_encoding(is_xdr_version(version), !is_single_precision_version(version));
  return true;
}

namespace {

// The size a block's counts claim (from its start in the table of contents)
// and the bytes the file holds from there; no size when the counts cannot
// be read or make no sense.
struct ClaimedSize {
  std::optional<WideSize> size;
  WideSize available = 0;
};

ClaimedSize claimed_size(Database &db, int b) {
  const BlockInfo &block = kBlocks[static_cast<std::size_t>(b)];
  ZelFile &file = db.file;
  ClaimedSize claimed;
  if (block.size_rule == SizeRule::kFixed) {
    claimed.size = fixed_size(block, static_cast<WideSize>(file.char_width()), static_cast<WideSize>(file.real_size()));
    claimed.available = static_cast<WideSize>(std::max<int64_t>(file.size() - db.toc[b], 0));
    return claimed;
  }
  const int64_t resume = file.tell();
  if (file.seek(db.toc[b])) {
    claimed.available = static_cast<WideSize>(std::max<int64_t>(file.size() - db.toc[b], 0));
    claimed.size = size_from_counts(block, db, claimed.available);
  }
  if (resume >= 0) file.seek(resume);
  return claimed;
}

// A block whose size runs past the end of the file is reported as such
// (when asked, and only the first: the blocks after it are then misplaced).
uint64_t sized_block(Database &db, int b, bool *past_the_end_reported) {
  if (b < 0 || b >= kBlockCount || !block_present(db, b)) return 0;
  const BlockInfo &block = kBlocks[static_cast<std::size_t>(b)];
  const ClaimedSize claimed = claimed_size(db, b);
  const bool fits = claimed.size && *claimed.size <= claimed.available;
  if (!fits && past_the_end_reported != nullptr && !*past_the_end_reported)
    *past_the_end_reported = report_block_past_the_end(block, db.toc[b], claimed.size, db.file.size());
  // A block of fixed size has no counts to fail: its readers tell.
  if (block.size_rule == SizeRule::kFixed) return static_cast<uint64_t>(*claimed.size);
  if (!fits) {
    ZEL_Error("%s", block.size_failure);
    return 0;
  }
  return static_cast<uint64_t>(*claimed.size);
}

// The last block's size is not needed for the table of contents, so only a
// cut inside it is told, without a size message.
void report_last_block_past_the_end(Database &db) {
  const int last = kBlockCount - 1;
  if (!block_present(db, last)) return;
  const ClaimedSize claimed = claimed_size(db, last);
  if (!claimed.size || *claimed.size > claimed.available)
    report_block_past_the_end(kBlocks[static_cast<std::size_t>(last)], db.toc[last], claimed.size, db.file.size());
}

}  // namespace

bool build_table_of_contents(Database &db) {
  ZelFile &file = db.file;
  std::array<char, kExistsFlagCount> flags{};
  const bool summary_read =
      file.seek(4 + int64_t{kHeaderChars} * file.char_width()) && file.read_chars(flags.data(), flags.size());
  if (summary_read) std::copy(flags.begin(), flags.end(), db.exists.begin());
  if (has_short_content_summary(db.version))
    std::fill(db.exists.begin() + kShortContentSummaryPositions, db.exists.end(), 0);
  if (!summary_read) {
    const int64_t summary_end = 4 + int64_t{kHeaderChars + kExistsFlagCount} * file.char_width();
    if (file.size() < summary_end)
      ZEL_Error("The file is truncated: it ends at byte %lld, before the end of its content summary at byte %lld.",
                static_cast<long long>(file.size()), static_cast<long long>(summary_end));
    ZEL_Error("Problem reading ZEL table of contents.");
    return false;
  }
  db.toc[0] = 0;
  bool past_the_end_reported = false;
  for (int b = 1; b < kBlockCount; ++b)
    db.toc[b] = db.toc[b - 1] + static_cast<int64_t>(sized_block(db, b - 1, &past_the_end_reported));
  if (!past_the_end_reported) report_last_block_past_the_end(db);
  return true;
}

uint64_t block_size(Database &db, int b) { return sized_block(db, b, nullptr); }

}  // namespace zel

extern "C" {

ZEL_API int ZEL_Exists(Database *db, int b) {
  if (!CheckZEL(db) || b < 0 || b >= zel::kBlockCount) return 0;
  if (b < zel::kFirstOptionalBlock) return 1;
  // Any nonzero flag means present; the stored char is reported as is.
  return static_cast<signed char>(zel::block_flag(*db, b));
}

ZEL_API int ZEL_goto_block(Database *db, int b) {
  return ZEL_GUARDED(0, {
    if (!CheckZEL(db) || db->file.fp == nullptr || !ZEL_Exists(db, b)) return 0;
    FileSeek_Win32(db->file.fp, db->toc[static_cast<std::size_t>(b)], SEEK_SET);
    return 1;
  });
}

ZEL_API unsigned long long ZEL_size_of_block(Database *db, int b) {
  return ZEL_GUARDED(0ULL, {
    if (!CheckZEL(db)) return 0ULL;
    return static_cast<unsigned long long>(zel::block_size(*db, b));
  });
}

ZEL_API int FileSeek_Win32(FILE *stream, long long offset, int whence) {
  if (stream == nullptr) return 1;
  const off_t start = ftello(stream);
  long long base = 0;
  switch (whence) {
    case SEEK_SET:
      break;
    case SEEK_CUR:
      base = start;
      break;
    case SEEK_END:
      if (fseeko(stream, 0, SEEK_END) != 0) return 1;
      base = ftello(stream);
      break;
    default:
      return 1;
  }
  long long target = 0;
  if (base < 0 || __builtin_add_overflow(base, offset, &target) || target < 0 ||
      fseeko(stream, static_cast<off_t>(target), SEEK_SET) != 0) {
    if (start >= 0) fseeko(stream, start, SEEK_SET);
    return 1;
  }
  return 0;
}

ZEL_API long long FileTell_Win32(FILE *stream) {
  if (stream == nullptr) return -1;
  return static_cast<long long>(ftello(stream));
}

ZEL_API const char *zeltoc_VersionId(void) { return "zeltoc 0.1"; }

}  // extern "C"
