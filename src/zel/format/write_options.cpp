#include "format/write_options.h"

#include <cstdlib>
#include <string_view>

#include "format/block_table.h"
#include "platform/build_profile.h"

namespace zel {
namespace {

// Blanks around the number are allowed; its exponent may carry a sign.
constexpr std::string_view kFrequencyCharacters = " 0123456789.eE+-";
// The reduced library keeps no stress nodes through a coarsening.
constexpr std::string_view kCoarsenCharacters = profile::kCore ? " 0123456789.," : " 0123456789.,preserve_str";

struct FlagWord {
  std::string_view name;
  bool WriteOptions::*flag;
  bool in_reduced_library;
};

constexpr FlagWord kFlagWords[] = {
    {"lbrf2cm", &WriteOptions::lbrf2cm, true},       {"strip_face", &WriteOptions::strip_face, true},
    {"sparse_str", &WriteOptions::sparse_str, false}, {"full_str", &WriteOptions::full_str, false},
    {"no_ortho", &WriteOptions::no_ortho, true},     {"single", &WriteOptions::single, false},
    {"no_xdr", &WriteOptions::no_xdr, true},         {"82_comp", &WriteOptions::compatible_82, true},
    {"81_comp", &WriteOptions::compatible_81, true}, {"invar", &WriteOptions::invar, true},
    {"full_invar", &WriteOptions::full_invar, true}, {"fast_invar", &WriteOptions::fast_invar, true},
    {"empty", &WriteOptions::empty, false},          {"MKS", &WriteOptions::mks, true},
};

bool is_word_character(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// One word of the option text, with the argument in parentheses that
// follows it directly.
struct Word {
  std::string_view name;
  bool has_parenthesis = false;
  // The text between the delimiters; none when the argument is not closed
  // (or, for a sketch, yields no character).
  std::optional<std::string_view> argument;
  std::string_view written;  // the word as written, argument included
};

// An argument and the position just past its closing delimiter.
struct ArgumentSpan {
  std::optional<std::string_view> argument;
  std::size_t end = 0;
};

// From the parenthesis at `open` to the first closing one.
ArgumentSpan plain_argument(std::string_view text, std::size_t open) {
  const std::size_t close = text.find(')', open + 1);
  if (close == std::string_view::npos) return {std::nullopt, text.size()};
  return {text.substr(open + 1, close - open - 1), close + 1};
}

// sketch("path"), sketch('path') or sketch(path): the first form that
// yields at least one character. A quoted path may hold parentheses.
ArgumentSpan sketch_argument(std::string_view text, std::size_t open) {
  const std::size_t start = open + 1;
  for (const char quote : {'"', '\''}) {
    if (start >= text.size() || text[start] != quote) continue;
    const std::size_t close = text.find(quote, start + 1);
    if (close != std::string_view::npos && close > start + 1 && close + 1 < text.size() && text[close + 1] == ')')
      return {text.substr(start + 1, close - start - 1), close + 2};
  }
  const ArgumentSpan bare = plain_argument(text, open);
  if (bare.argument && bare.argument->empty()) return {std::nullopt, bare.end};
  return bare;
}

std::vector<Word> split_words(std::string_view text) {
  std::vector<Word> words;
  std::size_t at = 0;
  while (at < text.size()) {
    if (!is_word_character(text[at]) && text[at] != '(') {
      ++at;
      continue;
    }
    const std::size_t start = at;
    while (at < text.size() && is_word_character(text[at])) ++at;
    Word word;
    word.name = text.substr(start, at - start);
    if (at < text.size() && text[at] == '(') {
      const ArgumentSpan span = word.name == "sketch" ? sketch_argument(text, at) : plain_argument(text, at);
      word.has_parenthesis = true;
      word.argument = span.argument;
      at = span.end;
    }
    word.written = text.substr(start, at - start);
    words.push_back(word);
  }
  return words;
}

std::string malformed_message(std::string_view name) {
  return "Malformed argument of the write option " + std::string(name) + "(.";
}

// The argument of an argument word when it is closed and within the limit.
std::optional<std::string> bounded_argument(const Word &word) {
  if (!word.argument || word.argument->size() > kOptionArgumentLimit) return std::nullopt;
  return std::string(*word.argument);
}

// The same, made only of `allowed` characters.
std::optional<std::string> argument_within(const Word &word, std::string_view allowed) {
  std::optional<std::string> argument = bounded_argument(word);
  if (argument && argument->find_first_not_of(allowed) != std::string::npos) return std::nullopt;
  return argument;
}

// A number, blanks around it allowed, and nothing else.
std::optional<double> frequency_of(const std::string &argument) {
  char *end = nullptr;
  const double value = std::strtod(argument.c_str(), &end);
  if (end == argument.c_str()) return std::nullopt;
  if (argument.find_first_not_of(' ', static_cast<std::size_t>(end - argument.c_str())) != std::string::npos)
    return std::nullopt;
  return value;
}

// The argument words met so far; the first of each counts.
struct Arguments {
  std::optional<std::string> sketch, coarsen;
  std::optional<double> low_pass, high_pass;
};

template <class Value>
void keep_first(std::optional<Value> &kept, std::optional<Value> value, const Word &word, WriteOptions &o) {
  if (!value) {
    if (!o.malformed) o.malformed = malformed_message(word.name);
    return;
  }
  if (!kept) kept = std::move(value);
}

std::optional<double> frequency_argument(const Word &word) {
  const std::optional<std::string> text = argument_within(word, kFrequencyCharacters);
  return text ? frequency_of(*text) : std::nullopt;
}

// False when the word takes no argument.
bool take_argument_word(const Word &word, Arguments &arguments, WriteOptions &o) {
  if (word.name == "sketch")
    keep_first(arguments.sketch, bounded_argument(word), word, o);
  else if (word.name == "coarsen")
    keep_first(arguments.coarsen, argument_within(word, kCoarsenCharacters), word, o);
  else if (word.name == "lowpass")
    keep_first(arguments.low_pass, frequency_argument(word), word, o);
  else if (word.name == "highpass")
    keep_first(arguments.high_pass, frequency_argument(word), word, o);
  else
    return false;
  return true;
}

bool take_flag_word(const Word &word, WriteOptions &o) {
  if (word.has_parenthesis) return false;
  for (const FlagWord &known : kFlagWords)
    if (known.name == word.name && (known.in_reduced_library || !profile::kCore)) {
      o.*known.flag = true;
      return true;
    }
  return false;
}

void read_words(std::string_view text, WriteOptions &o) {
  Arguments arguments;
  for (const Word &word : split_words(text))
    if (!take_flag_word(word, o) && !take_argument_word(word, arguments, o))
      o.unknown_words.emplace_back(word.written);
  o.invar = o.invar || o.full_invar || o.fast_invar;
  o.sketch = std::move(arguments.sketch);
  o.coarsen = std::move(arguments.coarsen);
  o.low_pass = arguments.low_pass.value_or(o.low_pass);
  o.high_pass = arguments.high_pass.value_or(o.high_pass);
}

void note_conflicts(const WriteOptions &o, const char *release, std::vector<std::string> &conflicts) {
  const std::string prefix = std::string(release) + " compatible ZEL cannot ";
  if (o.invar) conflicts.push_back(prefix + "contain Invariants");
  if (o.single) conflicts.push_back(prefix + "be single precision");
  if (o.sparse_str) conflicts.push_back(prefix + "have sparse stress or strain modes");
}

// Later options override earlier ones: "81_comp" wins over everything.
uint32_t version_code(WriteOptions &o) {
  uint32_t code = 0x13C;
  if (o.full_str) {
    if (o.sparse_str) o.conflicts.emplace_back("Cannot specify full and sparse stress and strain modes.");
    code = 41;
  }
  if (o.single) code = code == 41 ? 51 : code | 0x200u;
  if (o.no_xdr) code = code == 41 ? 40 : code == 51 ? 50 : code & ~0x100u;
  if (o.compatible_82) {
    note_conflicts(o, "8.2", o.conflicts);
    code = 20;
  }
  if (o.compatible_81) {
    note_conflicts(o, "8.1", o.conflicts);
    code = 10;
  }
  return code;
}

// The reduced library writes only the older levels, in double precision:
// 41 (XDR), 40 without "no_xdr" unless invariants are asked for, 20 and 10
// for the compatible levels, which cannot hold invariants.
uint32_t reduced_version_code(WriteOptions &o) {
  uint32_t code = o.no_xdr && !o.invar ? 40 : 41;
  if (o.compatible_82 || o.compatible_81) {
    const char *release = o.compatible_82 ? "8.2" : "8.1";
    if (o.invar) o.conflicts.push_back(std::string(release) + " compatible ZEL cannot contain Invariants");
    code = o.compatible_81 ? 10 : 20;
  }
  return code;
}

}  // namespace

bool WriteOptions::use_xdr() const { return is_xdr_version(version); }
bool WriteOptions::double_precision() const { return !is_single_precision_version(version); }

WriteOptions parse_write_options(const char *text) {
  WriteOptions o;
  read_words(text == nullptr ? std::string_view() : std::string_view(text), o);
  o.version = profile::kCore ? reduced_version_code(o) : version_code(o);
  return o;
}

}  // namespace zel
