#include "solver_run.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "input_error.h"

namespace ccx {
namespace {

// The text in single quotes for the shell, quotes inside escaped.
std::string shell_quoted(const std::string &text) {
  std::string quoted_text = "'";
  for (char c : text) quoted_text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted_text + "'";
}

bool starts_keyword(std::string_view line, std::string_view keyword) {
  const std::string head = upper(trim(line).substr(0, keyword.size()));
  if (head != keyword) return false;
  const std::string_view rest = trim(line).substr(keyword.size());
  return rest.empty() || rest.front() == ',' || rest.front() == ' ';
}

// "*INCLUDE, INPUT=file" with the file made absolute.
std::string absolute_include(std::string_view line, const std::filesystem::path &folder) {
  const std::string upper_line = upper(line);
  const size_t key = upper_line.find("INPUT=");
  if (key == std::string::npos) return std::string(line);
  const size_t start = key + 6;
  size_t stop = line.find(',', start);
  if (stop == std::string_view::npos) stop = line.size();
  const std::string name(trim(line.substr(start, stop - start)));
  if (name.empty() || name.front() == '/') return std::string(line);
  return std::string(line.substr(0, start)) + (folder / name).string() + std::string(line.substr(stop));
}

}  // namespace

std::string find_on_path(const std::string &name, const char *path) {
  if (path == nullptr) return "";
  std::string_view rest = path;
  while (true) {
    const size_t colon = rest.find(':');
    const std::string folder(rest.substr(0, colon));
    const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
    struct stat status {};
    if (stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
    if (colon == std::string_view::npos) return "";
    rest.remove_prefix(colon + 1);
  }
}

std::string model_data(const std::string &deck) {
  const std::string text = read_whole_file(deck);
  const std::filesystem::path folder = std::filesystem::absolute(std::filesystem::path(deck)).parent_path();
  std::string model;
  LineCursor lines(text);
  std::string_view line;
  while (lines.next(line)) {
    if (starts_keyword(line, "*STEP")) break;
    model += starts_keyword(line, "*INCLUDE") ? absolute_include(line, folder) : std::string(line);
    model += "\n";
  }
  return model;
}

WorkFolder::WorkFolder(const std::string &kept) : kept_(!kept.empty()) {
  if (kept_) {
    std::error_code error;
    std::filesystem::create_directories(kept, error);
    if (error || !std::filesystem::is_directory(kept))
      throw InputError("cannot make the folder " + ccx::quoted(kept) + " for the solver's files");
    path_ = kept;
    return;
  }
  const char *tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/zel_ccx_XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr)
    throw InputError("cannot make a folder for the solver's files in " + ccx::quoted(pattern) + ": " + std::strerror(errno));
  path_ = name.data();
}

WorkFolder::~WorkFolder() {
  if (kept_) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void run_solver(const std::string &program, const WorkFolder &folder, const std::string &job, const std::string &deck) {
  {
    std::ofstream out(folder.file(job + ".inp"), std::ios::binary);
    out << deck;
    if (!out.flush()) throw InputError("cannot write " + folder.file(job + ".inp"));
  }
  const std::string command = "cd " + shell_quoted(folder.path()) + " && " + shell_quoted(program) + " -i " +
                              shell_quoted(job) + " > " + shell_quoted(job + ".log") + " 2>&1 < /dev/null";
  const int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw InputError("the solver failed on " + folder.file(job + ".inp") + " (exit status " +
                     std::to_string(status == -1 || !WIFEXITED(status) ? -1 : WEXITSTATUS(status)) + "); see " +
                     folder.file(job + ".log"));
}

}  // namespace ccx
