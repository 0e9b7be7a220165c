#include "input_error.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <memory>

namespace ccx {

void fail(const Where &where, const std::string &what) {
  throw InputError(where.file + ":" + std::to_string(where.line) + ": " + what);
}

void fail_in(const std::string &file, const std::string &what) { throw InputError(file + ": " + what); }

std::string read_whole_file(const std::string &path) {
  std::unique_ptr<FILE, int (*)(FILE *)> stream(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!stream) fail_in(path, "cannot open the file");
  std::string text;
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, stream.get())) > 0) text.append(buffer, got);
  if (std::ferror(stream.get())) fail_in(path, "cannot read the file");
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

}  // namespace ccx
