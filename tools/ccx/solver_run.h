// Running the solver on decks the translator writes.
#ifndef ZEL_CCX_SOLVER_RUN_H
#define ZEL_CCX_SOLVER_RUN_H

#include <string>

namespace ccx {

// The solver's program on PATH (`name` there), or empty.
std::string find_on_path(const std::string &name, const char *path);

// The model data of a deck: its text before the first *STEP, with the
// relative paths of *INCLUDE made absolute (from the deck's directory), so
// that decks written elsewhere can take it over. InputError as read_inp.
std::string model_data(const std::string &deck);

// A folder for the decks and the solver's files: a new one under TMPDIR
// that goes with the object, or the given one (made when missing), kept.
class WorkFolder {
 public:
  explicit WorkFolder(const std::string &kept);
  ~WorkFolder();
  WorkFolder(const WorkFolder &) = delete;
  WorkFolder &operator=(const WorkFolder &) = delete;
  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  bool kept_;
};

// Writes JOB.inp in the folder and runs `program` on it there, its output
// in JOB.log. InputError when the solver fails.
void run_solver(const std::string &program, const WorkFolder &folder, const std::string &job, const std::string &deck);

}  // namespace ccx

#endif  // ZEL_CCX_SOLVER_RUN_H
