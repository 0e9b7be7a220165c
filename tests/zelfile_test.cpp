// The encoded file: primitives in every encoding and precision, the bulk
// paths against libtirpc byte for byte, bounds, and 64-bit positioning.
#include <gtest/gtest.h>

#include <rpc/xdr.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "io/xdr_codec.h"
#include "io/zelfile.h"
#include "scratch_dir.h"
#include "zel.h"

namespace {

namespace fs = std::filesystem;
using zel_test::ScratchDir;
using zel::FileMode;
using zel::ZelFile;


struct Encoding {
  bool xdr;
  bool double_precision;
};

std::string encoding_name(const testing::TestParamInfo<Encoding> &info) {
  return std::string(info.param.xdr ? "Xdr" : "Native") + (info.param.double_precision ? "Double" : "Single");
}

std::vector<unsigned char> file_bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const std::string &path, const std::vector<unsigned char> &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Opens `path` for writing (or reading) with the encoding.
void open_for(ZelFile &file, const std::string &path, FileMode mode, Encoding encoding) {
  std::FILE *stream = std::fopen(path.c_str(), mode == FileMode::kWrite ? "wb" : "rb");
  ASSERT_NE(stream, nullptr);
  file.attach(stream, path, mode, encoding.xdr, encoding.double_precision);
}

uint64_t bits(double value) { return std::bit_cast<uint64_t>(value); }

// Values that a byte-order or widening slip would change: signed zeros,
// infinities, NaNs with payloads, denormals, extremes, and random doubles.
std::vector<double> awkward_doubles(std::size_t random_count, uint32_t seed) {
  std::vector<double> values = {
      0.0,
      -0.0,
      1.0,
      -2.5,
      std::numeric_limits<double>::infinity(),
      -std::numeric_limits<double>::infinity(),
      std::numeric_limits<double>::quiet_NaN(),
      std::bit_cast<double>(uint64_t{0x7FF8000000000123}),  // quiet NaN, payload
      std::bit_cast<double>(uint64_t{0xFFF4000000ABCDEF}),  // signalling NaN, sign set
      std::numeric_limits<double>::denorm_min(),
      -std::numeric_limits<double>::denorm_min() * 12345,
      std::numeric_limits<double>::max(),
      std::numeric_limits<double>::lowest(),
      static_cast<double>(std::numeric_limits<float>::denorm_min()) * 3,
      static_cast<double>(std::bit_cast<float>(uint32_t{0x7FC01234})),  // float NaN payload
      1e-310,
  };
  std::mt19937_64 random(seed);
  std::uniform_int_distribution<uint64_t> any_bits;
  std::normal_distribution<double> normal(0.0, 1e3);
  for (std::size_t i = 0; i < random_count; ++i)
    values.push_back(i % 2 ? normal(random) : std::bit_cast<double>(any_bits(random)));
  return values;
}

// --- Round trips -----------------------------------------------------------

class EveryEncoding : public testing::TestWithParam<Encoding> {
 protected:
  ScratchDir dir;
  std::string path = dir.file("round_trip.zel");
};

INSTANTIATE_TEST_SUITE_P(ZelFile, EveryEncoding,
                         testing::Values(Encoding{false, true}, Encoding{false, false}, Encoding{true, true},
                                         Encoding{true, false}),
                         encoding_name);

TEST_P(EveryEncoding, EveryPrimitiveKindComesBackAsWritten) {
  const Encoding encoding = GetParam();
  // Enough values that the bulk paths cross several chunks.
  std::vector<int32_t> ints(40000);
  for (std::size_t i = 0; i < ints.size(); ++i) ints[i] = static_cast<int32_t>(i * 2654435761u);
  ints[0] = std::numeric_limits<int32_t>::min();
  ints[1] = -1;
  std::vector<double> reals = awkward_doubles(30000, 7);
  std::string chars(70000, '\0');
  for (std::size_t i = 0; i < chars.size(); ++i) chars[i] = static_cast<char>(i * 37);

  {
    ZelFile out;
    open_for(out, path, FileMode::kWrite, encoding);
    ASSERT_TRUE(out.write_int(-123456789));
    ASSERT_TRUE(out.write_real(0.1));
    ASSERT_TRUE(out.write_char(static_cast<char>(0xE9)));
    ASSERT_TRUE(out.write_text("Plate", 16));
    ASSERT_TRUE(out.write_text("NUL padded", 12, '\0'));
    ASSERT_TRUE(out.write_text("much too long for the field", 8));
    ASSERT_TRUE(out.write_ints(ints.data(), ints.size()));
    ASSERT_TRUE(out.write_reals(reals.data(), reals.size()));
    ASSERT_TRUE(out.write_chars(chars.data(), chars.size()));
  }
  const std::size_t w = encoding.xdr ? 4 : 1;
  const std::size_t r = encoding.double_precision ? 8 : 4;
  EXPECT_EQ(fs::file_size(path), 4 + r + w + (16 + 12 + 8) * w + 4 * ints.size() + r * reals.size() + w * chars.size());

  ZelFile in;
  open_for(in, path, FileMode::kRead, encoding);
  int32_t i = 0;
  double x = 0.0;
  char c = 0;
  std::string text;
  ASSERT_TRUE(in.read_int(i));
  EXPECT_EQ(i, -123456789);
  ASSERT_TRUE(in.read_real(x));
  EXPECT_EQ(x, encoding.double_precision ? 0.1 : static_cast<double>(0.1f));
  ASSERT_TRUE(in.read_char(c));
  EXPECT_EQ(c, static_cast<char>(0xE9));
  ASSERT_TRUE(in.read_text(text, 16));
  EXPECT_EQ(text, "Plate");
  ASSERT_TRUE(in.read_text(text, 12));
  EXPECT_EQ(text, "NUL padded");
  ASSERT_TRUE(in.read_text(text, 8));
  EXPECT_EQ(text, "much too");

  std::vector<int32_t> ints_back(ints.size());
  std::vector<double> reals_back(reals.size());
  std::string chars_back(chars.size(), '\0');
  ASSERT_TRUE(in.read_ints(ints_back.data(), ints_back.size()));
  ASSERT_TRUE(in.read_reals(reals_back.data(), reals_back.size()));
  ASSERT_TRUE(in.read_chars(chars_back.data(), chars_back.size()));
  EXPECT_EQ(ints_back, ints);
  EXPECT_EQ(chars_back, chars);
  for (std::size_t k = 0; k < reals.size(); ++k) {
    const double expected = encoding.double_precision ? reals[k] : static_cast<double>(static_cast<float>(reals[k]));
    if (std::isnan(expected))
      ASSERT_TRUE(std::isnan(reals_back[k])) << k;
    else
      ASSERT_EQ(bits(reals_back[k]), bits(expected)) << k << ": " << reals[k];
  }
  EXPECT_EQ(in.bytes_left(), 0);
  EXPECT_FALSE(in.read_int(i));
}

TEST_P(EveryEncoding, ScalarAndBulkPathsWriteTheSameBytes) {
  const Encoding encoding = GetParam();
  const std::vector<double> reals = awkward_doubles(50, 11);
  const std::vector<int32_t> ints = {0, 1, -1, 0x7FFFFFFF, std::numeric_limits<int32_t>::min(), 0x0102030A};
  const std::string chars = std::string("Az\x7F\x80\xFF ", 6);
  const std::string one_by_one = dir.file("scalars.zel");
  const std::string all_at_once = dir.file("bulk.zel");
  {
    ZelFile out;
    open_for(out, one_by_one, FileMode::kWrite, encoding);
    for (double x : reals) ASSERT_TRUE(out.write_real(x));
    for (int32_t i : ints) ASSERT_TRUE(out.write_int(i));
    for (char c : chars) ASSERT_TRUE(out.write_char(c));
  }
  {
    ZelFile out;
    open_for(out, all_at_once, FileMode::kWrite, encoding);
    ASSERT_TRUE(out.write_reals(reals.data(), reals.size()));
    ASSERT_TRUE(out.write_ints(ints.data(), ints.size()));
    ASSERT_TRUE(out.write_chars(chars.data(), chars.size()));
  }
  EXPECT_EQ(file_bytes(one_by_one), file_bytes(all_at_once));
}

TEST(ZelFileLayout, IntsAndCharsHaveTheFormatsByteOrderAndWidth) {
  ScratchDir dir;
  const std::string native = dir.file("native.zel");
  const std::string xdr = dir.file("xdr.zel");
  for (const auto &[path, use_xdr] : {std::pair{native, false}, std::pair{xdr, true}}) {
    ZelFile out;
    open_for(out, path, FileMode::kWrite, {use_xdr, true});
    ASSERT_TRUE(out.write_int(0x0102030A));
    ASSERT_TRUE(out.write_char(static_cast<char>(-2)));
    ASSERT_TRUE(out.write_text("ab", 3));
  }
  EXPECT_EQ(file_bytes(native), (std::vector<unsigned char>{0x0A, 0x03, 0x02, 0x01, 0xFE, 'a', 'b', ' '}));
  EXPECT_EQ(file_bytes(xdr), (std::vector<unsigned char>{0x01, 0x02, 0x03, 0x0A, 0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 'a',
                                                         0, 0, 0, 'b', 0, 0, 0, ' '}));
}

// --- Text fields ------------------------------------------------------------

TEST(ZelFileText, TrailingBlanksAreCutButBlanksBeforeANulStay) {
  ScratchDir dir;
  const std::string path = dir.file("text.zel");
  write_bytes(path, {'A', 'B', ' ', ' ', 0, 0, 'C', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '});
  ZelFile in;
  open_for(in, path, FileMode::kRead, {false, true});
  std::string first, second, third;
  ASSERT_TRUE(in.read_text(first, 6));
  ASSERT_TRUE(in.read_text(second, 6));
  ASSERT_TRUE(in.read_text(third, 5, false));
  EXPECT_EQ(first, "AB  ");  // the NULs end the text; the blanks before them are kept
  EXPECT_EQ(second, "C");
  EXPECT_EQ(third, "     ");  // labels are kept as written
}

// --- Bulk paths against libtirpc -------------------------------------------

// libtirpc's own encoding of the values: one xdr_vector over a memory stream.
template <class Value>
std::vector<unsigned char> tirpc_encode(std::vector<Value> values, xdrproc_t element, std::size_t wire_size) {
  std::vector<unsigned char> bytes(values.size() * wire_size);
  XDR stream;
  xdrmem_create(&stream, reinterpret_cast<char *>(bytes.data()), static_cast<u_int>(bytes.size()), XDR_ENCODE);
  EXPECT_TRUE(xdr_vector(&stream, reinterpret_cast<char *>(values.data()), static_cast<u_int>(values.size()),
                         sizeof(Value), element));
  xdr_destroy(&stream);
  return bytes;
}

template <class Value>
std::vector<Value> tirpc_decode(std::vector<unsigned char> bytes, std::size_t count, xdrproc_t element) {
  std::vector<Value> values(count);
  XDR stream;
  xdrmem_create(&stream, reinterpret_cast<char *>(bytes.data()), static_cast<u_int>(bytes.size()), XDR_DECODE);
  EXPECT_TRUE(xdr_vector(&stream, reinterpret_cast<char *>(values.data()), static_cast<u_int>(count),
                         sizeof(Value), element));
  xdr_destroy(&stream);
  return values;
}

class AgainstLibtirpc : public testing::TestWithParam<uint32_t> {
 protected:
  ScratchDir dir;
  std::string path = dir.file("bulk.zel");
};

INSTANTIATE_TEST_SUITE_P(Seeds, AgainstLibtirpc, testing::Values(1u, 2u, 3u));

// Writes `values` in the precision of `Wire` through the bulk path and
// checks the bytes against libtirpc's encoding of the same values, then
// decodes them both ways and compares the doubles bit for bit.
template <class Wire>
void expect_reals_match_libtirpc(const std::string &path, const std::vector<double> &values, xdrproc_t element) {
  const bool double_precision = sizeof(Wire) == sizeof(double);
  {
    ZelFile out;
    open_for(out, path, FileMode::kWrite, {true, double_precision});
    ASSERT_TRUE(out.write_reals(values.data(), values.size()));
  }
  const std::vector<unsigned char> ours = file_bytes(path);
  ASSERT_EQ(ours, tirpc_encode(std::vector<Wire>(values.begin(), values.end()), element, sizeof(Wire)));

  const std::vector<Wire> theirs = tirpc_decode<Wire>(ours, values.size(), element);
  std::vector<double> decoded(values.size());
  ZelFile in;
  open_for(in, path, FileMode::kRead, {true, double_precision});
  ASSERT_TRUE(in.read_reals(decoded.data(), decoded.size()));
  for (std::size_t i = 0; i < values.size(); ++i)
    ASSERT_EQ(bits(decoded[i]), bits(static_cast<double>(theirs[i]))) << i;
}

TEST_P(AgainstLibtirpc, DoublesEncodeAndDecodeIdentically) {
  expect_reals_match_libtirpc<double>(path, awkward_doubles(20000, GetParam()),
                                      reinterpret_cast<xdrproc_t>(xdr_double));
}

TEST_P(AgainstLibtirpc, SinglesNarrowAndWidenIdentically) {
  expect_reals_match_libtirpc<float>(path, awkward_doubles(20000, GetParam()),
                                     reinterpret_cast<xdrproc_t>(xdr_float));
}

TEST_P(AgainstLibtirpc, IntsAndCharsEncodeAndDecodeIdentically) {
  std::mt19937 random(GetParam());
  std::vector<int32_t> ints(5000);
  for (auto &i : ints) i = static_cast<int32_t>(random());
  std::vector<char> chars(5000);
  for (auto &c : chars) c = static_cast<char>(random());
  {
    ZelFile out;
    open_for(out, path, FileMode::kWrite, {true, true});
    ASSERT_TRUE(out.write_ints(ints.data(), ints.size()));
    ASSERT_TRUE(out.write_chars(chars.data(), chars.size()));
  }
  std::vector<unsigned char> expected = tirpc_encode(ints, reinterpret_cast<xdrproc_t>(xdr_int), 4);
  const std::vector<unsigned char> char_bytes = tirpc_encode(chars, reinterpret_cast<xdrproc_t>(xdr_char), 4);
  expected.insert(expected.end(), char_bytes.begin(), char_bytes.end());
  ASSERT_EQ(file_bytes(path), expected);

  std::vector<int32_t> ints_back(ints.size());
  std::vector<char> chars_back(chars.size());
  ZelFile in;
  open_for(in, path, FileMode::kRead, {true, true});
  ASSERT_TRUE(in.read_ints(ints_back.data(), ints_back.size()));
  ASSERT_TRUE(in.read_chars(chars_back.data(), chars_back.size()));
  EXPECT_EQ(ints_back, ints);
  EXPECT_EQ(chars_back, chars);
}

// --- Bounds -----------------------------------------------------------------

TEST(ZelFileBounds, CountsBeyondTheFileAreRefusedBeforeReading) {
  ScratchDir dir;
  const std::string path = dir.file("short.zel");
  write_bytes(path, std::vector<unsigned char>(100, 0x11));
  ZelFile in;
  open_for(in, path, FileMode::kRead, {true, true});
  EXPECT_EQ(in.size(), 100);
  ASSERT_TRUE(in.seek(20));
  EXPECT_EQ(in.bytes_left(), 80);
  EXPECT_TRUE(in.fits(10, 8));
  EXPECT_FALSE(in.fits(11, 8));
  EXPECT_FALSE(in.fits(-1, 8));
  EXPECT_FALSE(in.fits(std::numeric_limits<int64_t>::max(), 8));

  // A claimed count far beyond the file: refused, and the position kept,
  // so nothing was consumed.
  std::vector<double> room(11);
  EXPECT_FALSE(in.read_reals(room.data(), 11));
  EXPECT_EQ(in.tell(), 20);
  EXPECT_FALSE(in.read_reals(room.data(), std::size_t{1} << 60));
  std::string text;
  EXPECT_FALSE(in.read_text(text, std::size_t{1} << 40));
  EXPECT_EQ(in.tell(), 20);
  EXPECT_TRUE(in.read_reals(room.data(), 10));
  EXPECT_EQ(in.bytes_left(), 0);
}

TEST(ZelFileBounds, AStreamBeingWrittenIsBoundedByWhatItHoldsSoFar) {
  ScratchDir dir;
  const std::string path = dir.file("update.zel");
  std::FILE *stream = std::fopen(path.c_str(), "w+b");
  ASSERT_NE(stream, nullptr);
  ZelFile store;
  store.attach(stream, path, FileMode::kWrite, false, true);
  const std::vector<double> values = {1.5, -2.5, 3.25};
  ASSERT_TRUE(store.write_reals(values.data(), values.size()));
  EXPECT_EQ(store.size(), 24);
  ASSERT_TRUE(store.seek(8));
  std::vector<double> back(3);
  EXPECT_FALSE(store.read_reals(back.data(), 3));
  ASSERT_TRUE(store.read_reals(back.data(), 2));
  EXPECT_EQ(back[0], -2.5);
  EXPECT_EQ(back[1], 3.25);
}

// --- Sharing and encoding switches ------------------------------------------

TEST(ZelFileSharing, AViewReadsTheSameStreamAndNeverClosesIt) {
  ScratchDir dir;
  const std::string path = dir.file("shared.zel");
  write_bytes(path, {0, 0, 0, 7, 0, 0, 0, 9});
  ZelFile owner;
  open_for(owner, path, FileMode::kRead, {false, true});
  owner.set_encoding(true, true);
  int32_t value = 0;
  {
    ZelFile view;
    view.share(owner);
    EXPECT_TRUE(view.is_shared());
    EXPECT_EQ(view.size(), 8);
    ASSERT_TRUE(view.read_int(value));
    EXPECT_EQ(value, 7);
  }
  // The view is gone; the owner's stream is still open and has moved on.
  ASSERT_TRUE(owner.read_int(value));
  EXPECT_EQ(value, 9);
}

TEST(ZelFileSharing, AViewMayReadInAnotherEncodingWithoutDisturbingTheOwner) {
  ScratchDir dir;
  const std::string path = dir.file("views.zel");
  write_bytes(path, {0, 0, 0, 7, 9, 0, 0, 0});
  ZelFile owner;
  open_for(owner, path, FileMode::kRead, {false, true});
  int32_t value = 0;
  {
    ZelFile view;
    view.share(owner);
    view.set_encoding(true, true);  // its own XDR stream, released with it
    ASSERT_TRUE(view.read_int(value));
    EXPECT_EQ(value, 7);
  }
  EXPECT_EQ(owner.xdr, nullptr);
  ASSERT_TRUE(owner.read_int(value));
  EXPECT_EQ(value, 9);
  // Attaching the stream the record already holds keeps it open.
  owner.attach(owner.fp, path, FileMode::kRead, true, true);
  ASSERT_TRUE(owner.seek(0));
  ASSERT_TRUE(owner.read_int(value));
  EXPECT_EQ(value, 7);
}

TEST(ZelFileSharing, SwitchingEncodingKeepsThePosition) {
  ScratchDir dir;
  const std::string path = dir.file("switch.zel");
  write_bytes(path, {1, 0, 0, 0, 0, 0, 0, 2});
  ZelFile in;
  open_for(in, path, FileMode::kRead, {false, true});
  int32_t value = 0;
  ASSERT_TRUE(in.read_int(value));
  EXPECT_EQ(value, 1);
  in.set_encoding(true, true);
  EXPECT_EQ(in.char_width(), 4);
  ASSERT_TRUE(in.read_int(value));
  EXPECT_EQ(value, 2);
  in.set_encoding(false, false);
  EXPECT_EQ(in.xdr, nullptr);
  EXPECT_EQ(in.real_size(), 4);
}

// --- 64-bit positioning -----------------------------------------------------

TEST(Positioning, SeeksAndWritesPastFourGigabytesInASparseFile) {
  ScratchDir dir;
  const std::string path = dir.file("sparse.zel");
  const long long beyond = (5LL << 30) + 12345;  // past every 32-bit limit
  {
    ZelFile out;
    open_for(out, path, FileMode::kWrite, {true, true});
    ASSERT_EQ(FileSeek_Win32(out.fp, beyond, 0), 0);
    EXPECT_EQ(FileTell_Win32(out.fp), beyond);
    ASSERT_TRUE(out.write_int(0x5EED));
    ASSERT_TRUE(out.write_real(-0.75));
    EXPECT_EQ(out.tell(), beyond + 12);
  }
  EXPECT_EQ(static_cast<long long>(fs::file_size(path)), beyond + 12);
  ZelFile in;
  open_for(in, path, FileMode::kRead, {true, true});
  EXPECT_EQ(in.size(), beyond + 12);
  ASSERT_TRUE(in.seek(beyond));
  int32_t marker = 0;
  double value = 0;
  ASSERT_TRUE(in.read_int(marker));
  ASSERT_TRUE(in.read_real(value));
  EXPECT_EQ(marker, 0x5EED);
  EXPECT_EQ(value, -0.75);
  // Relative moves across the 4 GB line, both ways.
  ASSERT_EQ(FileSeek_Win32(in.fp, -12, 2), 0);
  EXPECT_EQ(FileTell_Win32(in.fp), beyond);
  ASSERT_TRUE(in.skip(-beyond + 100));
  EXPECT_EQ(in.tell(), 100);
  ASSERT_EQ(FileSeek_Win32(in.fp, beyond - 100, 1), 0);
  EXPECT_EQ(in.tell(), beyond);
}

TEST(Positioning, RefusedSeeksChangeNothing) {
  std::FILE *stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  std::fputs("0123456789", stream);
  ASSERT_EQ(FileSeek_Win32(stream, 4, 0), 0);
  EXPECT_EQ(FileSeek_Win32(stream, 0, 3), 1);
  EXPECT_EQ(FileSeek_Win32(stream, 0, -1), 1);
  EXPECT_NE(FileSeek_Win32(stream, -5, 1), 0);
  EXPECT_NE(FileSeek_Win32(stream, -11, 2), 0);
  EXPECT_NE(FileSeek_Win32(stream, std::numeric_limits<long long>::max(), 1), 0);
  EXPECT_EQ(FileTell_Win32(stream), 4);
  ASSERT_EQ(FileSeek_Win32(stream, -3, 2), 0);
  EXPECT_EQ(std::fgetc(stream), '7');
  std::fclose(stream);
  EXPECT_EQ(FileSeek_Win32(nullptr, 0, 0), 1);
  EXPECT_EQ(FileTell_Win32(nullptr), -1);
}

// --- The codec's own loops --------------------------------------------------

TEST(XdrCodec, NativeWideningAndNarrowingWorkInPlace) {
  // Floats in the front half of the doubles' own memory, as float2double
  // is used on a buffer read in single precision.
  std::vector<double> memory(5);
  const float floats[5] = {1.5f, -0.0f, 3.0e-40f, std::numeric_limits<float>::infinity(), 7.25f};
  std::memcpy(memory.data(), floats, sizeof floats);
  zel::xdr_codec::widen_native_floats(reinterpret_cast<const unsigned char *>(memory.data()), memory.data(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(bits(memory[i]), bits(static_cast<double>(floats[i]))) << i;

  zel::xdr_codec::narrow_to_native_floats(memory.data(), reinterpret_cast<unsigned char *>(memory.data()), 5);
  float narrowed[5];
  std::memcpy(narrowed, memory.data(), sizeof narrowed);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(std::bit_cast<uint32_t>(narrowed[i]), std::bit_cast<uint32_t>(floats[i])) << i;
}

}  // namespace
