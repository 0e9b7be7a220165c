#include "matrix_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>
#include <utility>

#include "input_error.h"

namespace ccx {
namespace {

// The next blank-separated token of a line, advancing `rest` past it.
std::string_view next_token(std::string_view &rest) {
  size_t start = 0;
  while (start < rest.size() && (rest[start] == ' ' || rest[start] == '\t')) ++start;
  size_t stop = start;
  while (stop < rest.size() && rest[stop] != ' ' && rest[stop] != '\t') ++stop;
  const std::string_view token = rest.substr(start, stop - start);
  rest.remove_prefix(stop);
  return token;
}

template <typename Number>
bool to_number(std::string_view token, Number &value) {
  if (token.empty()) return false;
  if (token.front() == '+') token.remove_prefix(1);
  const auto [stop, error] = std::from_chars(token.data(), token.data() + token.size(), value);
  return error == std::errc() && stop == token.data() + token.size();
}

}  // namespace

SymmetricMatrix parse_matrix(std::string_view text, int size, const std::string &name) {
  SymmetricMatrix matrix;
  matrix.size = size;
  LineCursor lines(text);
  std::string_view line;
  while (lines.next(line)) {
    const Where where{name, lines.line_number()};
    std::string_view rest = line;
    const std::string_view row_text = next_token(rest), column_text = next_token(rest), value_text = next_token(rest);
    if (row_text.empty() && trim(line).empty()) continue;
    int row = 0, column = 0;
    double value = 0.0;
    if (!to_number(row_text, row) || !to_number(column_text, column) || !to_number(value_text, value) ||
        !trim(rest).empty())
      fail(where, "not a matrix entry 'row column value': " + quoted(trim(line)));
    if (row < 1 || row > size || column < 1 || column > size)
      fail(where, "entry (" + std::to_string(row) + ", " + std::to_string(column) + ") lies outside the " +
                      std::to_string(size) + " degrees of freedom");
    if (row > column)
      fail(where, "entry (" + std::to_string(row) + ", " + std::to_string(column) + ") lies below the diagonal");
    if (!std::isfinite(value)) fail(where, "entry value " + quoted(value_text) + " is not finite");
    matrix.rows.push_back(row - 1);
    matrix.columns.push_back(column - 1);
    matrix.values.push_back(value);
  }
  return matrix;
}

SymmetricMatrix read_matrix(const std::string &path, int size) { return parse_matrix(read_whole_file(path), size, path); }

std::vector<MatrixDof> parse_dofs(std::string_view text, const std::string &name) {
  std::vector<MatrixDof> dofs;
  std::set<std::pair<int, int>> seen;
  LineCursor lines(text);
  std::string_view line;
  while (lines.next(line)) {
    const std::string_view field = trim(line);
    if (field.empty()) continue;
    const size_t point = field.find('.');
    MatrixDof dof{0, 0};
    if (point == std::string_view::npos || !to_number(field.substr(0, point), dof.node) ||
        !to_number(field.substr(point + 1), dof.direction) || dof.direction < 1 || dof.direction > 3)
      fail({name, lines.line_number()}, quoted(field) + " is not node.direction with a direction 1 to 3");
    if (!seen.insert({dof.node, dof.direction}).second)
      fail({name, lines.line_number()}, "degree of freedom " + std::string(field) + " is listed twice");
    dofs.push_back(dof);
  }
  return dofs;
}

std::vector<MatrixDof> read_dofs(const std::string &path) { return parse_dofs(read_whole_file(path), path); }

void multiply(const SymmetricMatrix &matrix, const double *x, double *y) {
  std::fill_n(y, matrix.size, 0.0);
  for (size_t k = 0; k < matrix.values.size(); ++k) {
    const int r = matrix.rows[k], c = matrix.columns[k];
    y[r] += matrix.values[k] * x[c];
    if (r != c) y[c] += matrix.values[k] * x[r];
  }
}

std::vector<double> project(const SymmetricMatrix &matrix, const std::vector<std::vector<double>> &columns) {
  // One pass over the matrix for all columns at once: the vectors side by
  // side (row-major, n values per matrix row), so that each stored entry is
  // read once rather than once per column.
  const size_t n = columns.size(), size = static_cast<size_t>(matrix.size);
  std::vector<double> side_by_side(size * n), product(size * n, 0.0);
  for (size_t j = 0; j < n; ++j)
    for (size_t k = 0; k < size; ++k) side_by_side[k * n + j] = columns[j][k];
  for (size_t e = 0; e < matrix.values.size(); ++e) {
    const size_t r = static_cast<size_t>(matrix.rows[e]), c = static_cast<size_t>(matrix.columns[e]);
    const double value = matrix.values[e];
    const double *x_c = side_by_side.data() + c * n;
    double *y_r = product.data() + r * n;
    for (size_t j = 0; j < n; ++j) y_r[j] += value * x_c[j];
    if (r == c) continue;
    const double *x_r = side_by_side.data() + r * n;
    double *y_c = product.data() + c * n;
    for (size_t j = 0; j < n; ++j) y_c[j] += value * x_r[j];
  }
  std::vector<double> result(n * n, 0.0);
  for (size_t k = 0; k < size; ++k) {
    const double *x = side_by_side.data() + k * n, *y = product.data() + k * n;
    for (size_t i = 0; i < n; ++i)
      for (size_t j = 0; j < n; ++j) result[i * n + j] += x[i] * y[j];
  }
  // Symmetric in exact arithmetic; the mean of both halves in floating point.
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < i; ++j) result[i * n + j] = result[j * n + i] = 0.5 * (result[i * n + j] + result[j * n + i]);
  return result;
}

}  // namespace ccx
