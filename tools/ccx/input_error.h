// Faults in the solver's files, and the plain text access the readers share.
#ifndef ZEL_CCX_INPUT_ERROR_H
#define ZEL_CCX_INPUT_ERROR_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ccx {

// Something the translator cannot read or translate. The message names the
// file, and the line where there is one.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A place in an input file, for messages.
struct Where {
  std::string file;
  std::int64_t line = 0;
};

[[noreturn]] void fail(const Where &where, const std::string &what);
[[noreturn]] void fail_in(const std::string &file, const std::string &what);

// The largest file the translator reads: half the machine's memory, as the
// values parsed from a text take about as much again as the text.
std::uint64_t max_text_bytes();

// The whole content of a regular file of at most max_text_bytes(); anything
// else (a device, a pipe, a folder, a larger file) is refused before it is
// read. `included_at`, when given, is the *INCLUDE that names the file, and
// a refusal names that deck line.
std::string read_whole_file(const std::string &path, const Where *included_at = nullptr);

// Walks a text one line at a time, counting lines from 1. A line excludes
// its line feed and a carriage return before it.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) : text_(text) {}
  bool next(std::string_view &line) {
    if (position_ >= text_.size()) return false;
    const size_t end = text_.find('\n', position_);
    const size_t stop = end == std::string_view::npos ? text_.size() : end;
    line = text_.substr(position_, stop - position_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    position_ = stop + 1;
    ++line_number_;
    return true;
  }
  std::int64_t line_number() const { return line_number_; }

 private:
  std::string_view text_;
  size_t position_ = 0;
  std::int64_t line_number_ = 0;
};

std::string_view trim(std::string_view text);
std::string upper(std::string_view text);
// The text in single quotes, for messages.
std::string quoted(std::string_view text);
// The comma-separated fields of a line, each trimmed; a trailing comma
// gives no empty last field.
std::vector<std::string_view> split_fields(std::string_view line);
// Whole-field numbers; false when the field is not one.
bool parse_int(std::string_view field, int &value);
bool parse_double(std::string_view field, double &value);
// A finite whole-field number, else InputError at `where`: "'x' is not a
// WHAT", or "'inf' is not a finite WHAT" for an infinity or a NaN.
double finite_number(std::string_view field, const Where &where, const std::string &what);

}  // namespace ccx

#endif  // ZEL_CCX_INPUT_ERROR_H
