// The writer's output and the builder's stores at their edges: a process
// that dies mid-write, links, long names, failures the system reports and
// the permissions of a file rewritten.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "capture.h"
#include "file_size_limit.h"
#include "scoped_env.h"
#include "zel.h"

using zel_test::capture;
using zel_test::ScopedEnv;
using zel_test::TempDir;

namespace {

// A body of `nodes` nodes in a row, unit masses and `modes` modes with
// unit generalized masses (nothing to orthonormalize).
Database *row_body(int nodes, int modes) {
  Database *db = ZEL_Create(nodes, modes);
  for (int id = 1; id <= nodes; ++id) {
    ZEL_SetNodeCoordinates(db, id, id, 0.0, 0.0);
    ZEL_SetNodalMass(db, id, 1.0);
  }
  for (int mode = 1; mode <= modes; ++mode) {
    for (int id = 1; id <= nodes; ++id) ZEL_SetMode(db, mode, id, 0, 0.0, id * mode * 1e-3, 0.0, 0.0, 0.0, 0.0);
    ZEL_SetGeneralizedMass(db, mode, mode, 1.0);
    ZEL_SetGeneralizedStiffness(db, mode, mode, 100.0 * mode * mode);
  }
  return db;
}

int node_count_of(const std::string &path) {
  Database *db = nullptr;
  capture([&] { db = ZEL_CreateFromZEL(path.c_str()); });
  const int count = db != nullptr ? ZEL_NodeCount(db) : -1;
  ZEL_UnLink(db);
  return count;
}

mode_t permissions_of(const std::string &path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

class AtomicOutput : public ::testing::Test, protected zel_test::PrivateStoreDirectory {
 protected:
  void TearDown() override { ZEL_Terminate(); }

  // Writes a small body at `path`: the result and what was printed on stderr.
  std::pair<int, std::string> write(const std::string &path) {
    Database *db = nullptr;
    capture([&] { db = row_body(5, 2); });
    int result = -1;
    const zel_test::Printed printed = capture([&] { result = ZEL_write_ZEL(db, path.c_str()); });
    ZEL_UnLink(db);
    return {result, printed.err};
  }

  TempDir out;  // where the outputs go; `dir` is TMP, the stores' directory
  ScopedEnv options{"KOR_ZELWRITE_OPTIONS", std::nullopt};
};

// The signal that ends the child; sent from the handler of the signal the
// file size limit raises, so that the child dies in the middle of a write.
int ending_signal = SIGKILL;

void end_with_chosen_signal(int) { ::kill(::getpid(), ending_signal); }

}  // namespace

TEST_F(AtomicOutput, AProcessKilledMidWriteLeavesNoStoreAndNoOutput) {
  for (const int signal_number : {SIGKILL, SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal_number);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      Database *db = row_body(2000, 4);  // its stores are made (and laid out) here
      ending_signal = signal_number;
      std::signal(SIGXFSZ, end_with_chosen_signal);
      const rlimit limit{4096, 4096};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      ZEL_write_ZEL(db, out.file("body.zel").c_str());
      ::_exit(0);  // not reached: the body is far larger than the limit
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), signal_number);
    const std::string outputs = out.path().substr(out.path().rfind('/') + 1);  // made in TMP too
    EXPECT_EQ(dir.entries(), std::vector<std::string>{outputs}) << "stores left in TMP";
    EXPECT_EQ(out.entries(), std::vector<std::string>{}) << "output left beside the target";
  }
}

TEST_F(AtomicOutput, WritingThroughALinkReplacesTheFileItLeadsToAndKeepsTheLink) {
  TempDir elsewhere;
  const std::string real = elsewhere.file("real.zel"), link = out.file("link.zel");
  ASSERT_EQ(write(real).first, 1);
  const std::string relative = "../" + elsewhere.path().substr(elsewhere.path().rfind('/') + 1) + "/real.zel";
  ASSERT_EQ(::symlink(relative.c_str(), link.c_str()), 0);
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);

  Database *db = nullptr;
  capture([&] { db = row_body(7, 1); });
  EXPECT_EQ(ZEL_write_ZEL(db, link.c_str()), 1);

  struct stat status {};
  ASSERT_EQ(::lstat(link.c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  EXPECT_EQ(node_count_of(real), 7);
  EXPECT_EQ(permissions_of(real), 0640u);
  EXPECT_EQ(out.entries(), std::vector<std::string>{"link.zel"});
  EXPECT_EQ(elsewhere.entries(), std::vector<std::string>{"real.zel"});
}

TEST_F(AtomicOutput, NamesUpToTheSystemsLimitAreWritten) {
  for (const std::size_t length : {247u, 248u, 251u, 255u}) {
    SCOPED_TRACE(length);
    const std::string name = std::string(length - 4, 'n') + ".zel";
    EXPECT_EQ(write(out.file(name)), std::make_pair(1, std::string()));
    EXPECT_EQ(out.entries(), std::vector<std::string>{name});
    EXPECT_EQ(node_count_of(out.file(name)), 5);
    ::unlink(out.file(name).c_str());
  }
}

TEST_F(AtomicOutput, AFailedOpenNamesTheSystemsReasonAndAFullDiskLeavesNothing) {
  const std::string missing = out.file("no/such/folder.zel");
  EXPECT_EQ(write(missing),
            std::make_pair(0, "ERROR:  Unable to open " + missing + " for write: No such file or directory\n"));

  std::pair<int, std::string> full;
  {
    zel_test::FileSizeLimit limit(1000);
    full = write(out.file("full.zel"));
  }
  EXPECT_EQ(full.first, 0);
  // One line: the block that met the limit, and the system's reason.
  EXPECT_TRUE(full.second.starts_with("ERROR:  Problem writing ")) << full.second;
  EXPECT_TRUE(full.second.ends_with(": File too large\n")) << full.second;
  EXPECT_EQ(std::count(full.second.begin(), full.second.end(), '\n'), 1) << full.second;
  EXPECT_EQ(out.entries(), std::vector<std::string>{});
}

TEST_F(AtomicOutput, ARewriteKeepsTheTargetsPermissionsAndANewFileFollowsTheUmask) {
  const std::string path = out.file("body.zel");
  const mode_t saved = ::umask(022);
  ASSERT_EQ(write(path).first, 1);
  EXPECT_EQ(permissions_of(path), 0644u);
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  ASSERT_EQ(write(path).first, 1);
  ::umask(saved);
  EXPECT_EQ(permissions_of(path), 0600u);
}
