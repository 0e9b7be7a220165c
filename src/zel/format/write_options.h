// The writer's options: whole words of one text (the environment variable
// KOR_ZELWRITE_OPTIONS), separated by anything that cannot be part of a
// word (letters, digits and '_' make words). A word counts only when it is
// exactly one of the known words, and only outside the parentheses of an
// argument, so a file name given to "sketch(...)" never switches an option
// on. "sketch", "coarsen", "lowpass" and "highpass" take an argument in
// parentheses written right after the word; a word the writer does not
// know is kept for a warning. Parsing only reads the text; nothing about
// the body.
#ifndef ZEL_WRITE_OPTIONS_H
#define ZEL_WRITE_OPTIONS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zel {

// The longest argument text taken between an option's parentheses or
// quotes; a longer one is refused rather than cut.
constexpr std::size_t kOptionArgumentLimit = 4096;

struct WriteOptions {
  bool lbrf2cm = false;
  std::optional<std::string> sketch;   // the sketch file's path
  bool strip_face = false;
  std::optional<std::string> coarsen;  // the text between "coarsen(" and ")"
  bool sparse_str = false;
  bool full_str = false;
  bool no_ortho = false;
  bool single = false;
  bool no_xdr = false;
  bool compatible_82 = false;
  bool compatible_81 = false;
  bool invar = false;       // any invariant word: invar, full_invar, fast_invar
  bool full_invar = false;
  bool fast_invar = false;
  bool empty = false;
  bool mks = false;
  double low_pass = 1.0e8;  // export modes up to this frequency (Hz)
  double high_pass = -1.0;  // export modes above this frequency (Hz)

  uint32_t version = 0x13C;  // level 60 with the XDR bit
  // The conflicts found, each an error message; a write with any fails.
  std::vector<std::string> conflicts;
  // An option whose argument cannot be read: the error message.
  std::optional<std::string> malformed;
  // Words that are no option, as written (with an argument, if one
  // followed): each draws a warning and is otherwise ignored.
  std::vector<std::string> unknown_words;

  bool use_xdr() const;
  bool double_precision() const;
  // Format levels 10 and 20 store faces as the old element topology.
  bool old_topology() const { return version == 10 || version == 20; }
};

// `text` may be null (no options). An argument word met more than once
// takes its first argument.
WriteOptions parse_write_options(const char *text);

}  // namespace zel

#endif  // ZEL_WRITE_OPTIONS_H
