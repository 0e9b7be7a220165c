#include "input_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

namespace ccx {

void fail(const Where &where, const std::string &what) {
  throw InputError(where.file + ":" + std::to_string(where.line) + ": " + what);
}

void fail_in(const std::string &file, const std::string &what) { throw InputError(file + ": " + what); }

std::uint64_t max_text_bytes() {
  const long pages = sysconf(_SC_PHYS_PAGES), page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return std::uint64_t{1} << 30;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size) / 2;
}

namespace {

[[noreturn]] void refuse_file(const std::string &path, const Where *included_at, const std::string &why) {
  if (included_at != nullptr) fail(*included_at, "*INCLUDE " + quoted(path) + ": " + why);
  fail_in(path, why);
}

std::string too_large(std::uint64_t size, std::uint64_t limit) {
  return std::to_string(size) + " bytes, more than the " + std::to_string(limit) +
         " bytes the translator reads (half this machine's memory)";
}

std::string kind_of_file(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a pipe";
  if (S_ISSOCK(mode)) return "a socket";
  return "a special file";
}

// A device may never end, a pipe may never be written, and a size beyond
// memory would end in an allocation failure half-way: none is read.
void check_readable(const std::string &path, const Where *included_at, const struct stat &status) {
  if (!S_ISREG(status.st_mode)) refuse_file(path, included_at, kind_of_file(status.st_mode) + ", not a regular file");
  const std::uint64_t limit = max_text_bytes();
  if (static_cast<std::uint64_t>(status.st_size) > limit)
    refuse_file(path, included_at, too_large(static_cast<std::uint64_t>(status.st_size), limit));
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor &) = delete;
  Descriptor &operator=(const Descriptor &) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string read_whole_file(const std::string &path, const Where *included_at) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0)
    refuse_file(path, included_at, std::string("cannot open the file: ") + std::strerror(errno));
  check_readable(path, included_at, status);
  // Not blocking: should the path turn into a pipe after the check, the
  // open does not wait for a writer, and the second check refuses it.
  const Descriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0) refuse_file(path, included_at, std::string("cannot open the file: ") + std::strerror(errno));
  if (fstat(file.get(), &status) != 0)
    refuse_file(path, included_at, std::string("cannot read the file: ") + std::strerror(errno));
  check_readable(path, included_at, status);

  // Some files (those of /proc) state a size of 0 and have more: the limit
  // holds for what is read, not for what the size said.
  const std::uint64_t limit = max_text_bytes();
  std::string text;
  text.reserve(static_cast<size_t>(status.st_size));
  char buffer[1 << 16];
  while (true) {
    const ssize_t got = read(file.get(), buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      refuse_file(path, included_at, std::string("cannot read the file: ") + std::strerror(errno));
    }
    if (text.size() + static_cast<size_t>(got) > limit)
      refuse_file(path, included_at, too_large(text.size() + static_cast<size_t>(got), limit));
    text.append(buffer, static_cast<size_t>(got));
  }
  return text;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

std::string upper(std::string_view text) {
  std::string result(text);
  for (char &c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return result;
}

std::string quoted(std::string_view text) {
  std::string result;
  result.reserve(text.size() + 2);
  result += '\'';
  result += text;
  result += '\'';
  return result;
}

std::vector<std::string_view> split_fields(std::string_view line) {
  std::vector<std::string_view> fields;
  while (true) {
    const size_t comma = line.find(',');
    fields.push_back(trim(line.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    line.remove_prefix(comma + 1);
  }
  if (fields.size() > 1 && fields.back().empty()) fields.pop_back();
  return fields;
}

bool parse_int(std::string_view field, int &value) {
  field = trim(field);
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  return error == std::errc() && end == field.data() + field.size() && !field.empty();
}

bool parse_double(std::string_view field, double &value) {
  field = trim(field);
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  // Fortran-style exponents (1.5D3) are common in hand-written decks.
  std::string normalised;
  if (field.find_first_of("dD") != std::string_view::npos) {
    normalised.assign(field);
    for (char &c : normalised)
      if (c == 'd' || c == 'D') c = 'e';
    field = normalised;
  }
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  return error == std::errc() && end == field.data() + field.size() && !field.empty();
}

double finite_number(std::string_view field, const Where &where, const std::string &what) {
  double value;
  if (!parse_double(field, value)) fail(where, quoted(trim(field)) + " is not a " + what);
  if (!std::isfinite(value)) fail(where, quoted(trim(field)) + " is not a finite " + what);
  return value;
}

}  // namespace ccx
