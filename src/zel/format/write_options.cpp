#include "format/write_options.h"

#include <cstdlib>
#include <string_view>

#include "format/block_table.h"
#include "platform/build_profile.h"

namespace zel {
namespace {

constexpr std::string_view kFrequencyCharacters = " 0123456789.e-";
// The reduced library keeps no stress nodes through a coarsening.
constexpr std::string_view kCoarsenCharacters = profile::kCore ? " 0123456789.," : " 0123456789.,preserve_str";

bool has(std::string_view text, std::string_view word) { return text.find(word) != std::string_view::npos; }

std::string malformed_message(std::string_view option) {
  return "Malformed argument of the write option " + std::string(option) + ".";
}

// The run of `allowed` characters right after `opening`, when the option
// is present and the run ends at a closing parenthesis within the limit.
std::optional<std::string> closed_argument(std::string_view text, std::string_view opening,
                                           std::string_view allowed) {
  const std::size_t start = text.find(opening) + opening.size();
  const std::size_t stop = text.find_first_not_of(allowed, start);
  if (stop == std::string_view::npos || text[stop] != ')' || stop - start > kOptionArgumentLimit) return std::nullopt;
  return std::string(text.substr(start, stop - start));
}

// A frequency argument: the number its characters start with.
bool read_frequency(std::string_view text, std::string_view opening, double &value, WriteOptions &options) {
  if (!has(text, opening)) return true;
  const std::optional<std::string> argument = closed_argument(text, opening, kFrequencyCharacters);
  char *end = nullptr;
  if (argument) value = std::strtod(argument->c_str(), &end);
  if (!argument || end == argument->c_str()) {
    options.malformed = malformed_message(opening);
    return false;
  }
  return true;
}

// sketch("path"), sketch('path') or sketch(path): the first form that
// yields at least one character.
bool read_sketch(std::string_view text, WriteOptions &options) {
  if (!has(text, "sketch")) return true;
  const std::size_t word = text.find("sketch") + 6;
  if (word < text.size() && text[word] == '(') {
    const std::size_t start = word + 1;
    for (const char delimiter : {'"', '\'', ')'}) {
      const bool quoted = delimiter != ')';
      if (quoted && (start >= text.size() || text[start] != delimiter)) continue;
      const std::size_t first = quoted ? start + 1 : start;
      const std::size_t stop = text.find(delimiter, first);
      if (stop == std::string_view::npos || stop == first || stop - first > kOptionArgumentLimit) continue;
      options.sketch = std::string(text.substr(first, stop - first));
      return true;
    }
  }
  options.malformed = malformed_message("sketch(");
  return false;
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
  const std::string_view t = text == nullptr ? std::string_view() : std::string_view(text);
  o.lbrf2cm = has(t, "lbrf2cm");
  o.strip_face = has(t, "strip_face");
  o.sparse_str = has(t, "sparse_str");
  o.full_str = has(t, "full_str");
  o.no_ortho = has(t, "no_ortho");
  o.single = has(t, "single");
  o.no_xdr = has(t, "no_xdr");
  o.compatible_82 = has(t, "82_comp");
  o.compatible_81 = has(t, "81_comp");
  o.invar = has(t, "invar");
  o.full_invar = has(t, "full_invar");
  o.fast_invar = has(t, "fast_invar");
  o.empty = has(t, "empty");
  o.mks = has(t, "MKS");
  if (has(t, "coarsen(")) {
    o.coarsen = closed_argument(t, "coarsen(", kCoarsenCharacters);
    if (!o.coarsen) o.malformed = malformed_message("coarsen(");
  }
  if (!o.malformed && read_sketch(t, o) && read_frequency(t, "lowpass(", o.low_pass, o))
    read_frequency(t, "highpass(", o.high_pass, o);
  if (profile::kCore) o.single = o.sparse_str = o.full_str = o.empty = false;  // options it does not have
  o.version = profile::kCore ? reduced_version_code(o) : version_code(o);
  return o;
}

}  // namespace zel
