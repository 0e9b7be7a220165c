// Reads the stiffness and mass matrices the solver stores on request
// (JOB.sti, JOB.mas: one "row column value" triple a line, the upper
// triangle, 1-based) and the degree of freedom of each row (JOB.dof: one
// "node.direction" a line), and projects them onto a set of vectors.
#ifndef ZEL_CCX_MATRIX_READER_H
#define ZEL_CCX_MATRIX_READER_H

#include <string>
#include <string_view>
#include <vector>

namespace ccx {

// A symmetric matrix by the entries of its upper triangle, 0-based.
struct SymmetricMatrix {
  int size = 0;
  std::vector<int> rows;
  std::vector<int> columns;
  std::vector<double> values;
};

// The node and direction (1, 2, 3) of a matrix row.
struct MatrixDof {
  int node;
  int direction;
};

// InputError naming file and line for a malformed triple, an index outside
// 1..size, an entry below the diagonal or a value that is not finite.
SymmetricMatrix parse_matrix(std::string_view text, int size, const std::string &name);
SymmetricMatrix read_matrix(const std::string &path, int size);
// InputError for a line that is not node.direction with direction 1 to 3,
// or a degree of freedom listed twice.
std::vector<MatrixDof> parse_dofs(std::string_view text, const std::string &name);
std::vector<MatrixDof> read_dofs(const std::string &path);

// y = A x over the full symmetric matrix.
void multiply(const SymmetricMatrix &matrix, const double *x, double *y);

// V^T A V for the columns V[0..n-1] (each of matrix.size values): n x n,
// row-major, symmetric.
std::vector<double> project(const SymmetricMatrix &matrix, const std::vector<std::vector<double>> &columns);

}  // namespace ccx

#endif  // ZEL_CCX_MATRIX_READER_H
