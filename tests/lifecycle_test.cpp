// Creation, the process-wide list, lookup by path and release.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "body/database.h"
#include "body/database_list.h"
#include "capture.h"
#include "scoped_env.h"
#include "zel_file_builder.h"
#include "zel.h"

using zel_test::capture;

namespace {

std::vector<Database *> listed() {
  std::vector<Database *> order;
  for (Database *db = zel::first_database(); db != nullptr; db = db->next) order.push_back(db);
  return order;
}

class Lifecycle : public ::testing::Test {
 protected:
  void TearDown() override { ZEL_Terminate(); }
};

}  // namespace

TEST_F(Lifecycle, CreateGivesDefaults) {
  Database *db = ZEL_Create(25, 4);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(db->expected_nodes, 25);
  EXPECT_EQ(db->max_modes, 4);
  EXPECT_EQ(db->version, 31u);
  EXPECT_EQ(db->file.double_precision, 1);
  for (const auto &store : db->temp) EXPECT_FALSE(store.is_open());
  for (int k = 0; k < 3; ++k) EXPECT_EQ(db->cache_mode[k], -1);
  for (double factor : db->unit_factor) EXPECT_EQ(factor, 1.0);
  for (auto flag : db->exists) EXPECT_EQ(flag, 0);
  EXPECT_EQ(db->node_count(), 0);
  EXPECT_EQ(db->mode_count(), 0);
  EXPECT_TRUE(db->title.empty());
}

TEST_F(Lifecycle, ListKeepsCreationOrder) {
  Database *a = ZEL_Create(0, 0);
  Database *b = ZEL_Create(0, 0);
  Database *c = ZEL_Create(0, 0);
  EXPECT_EQ(listed(), (std::vector<Database *>{a, b, c}));
}

TEST_F(Lifecycle, UnlinkFromTheMiddleKeepsTheOthersInOrder) {
  Database *a = ZEL_Create(0, 0);
  Database *b = ZEL_Create(0, 0);
  Database *c = ZEL_Create(0, 0);
  Database *d = ZEL_Create(0, 0);
  ZEL_UnLink(c);
  EXPECT_EQ(listed(), (std::vector<Database *>{a, b, d}));
  ZEL_UnLink(a);
  EXPECT_EQ(listed(), (std::vector<Database *>{b, d}));
  ZEL_UnLink(d);
  EXPECT_EQ(listed(), (std::vector<Database *>{b}));
}

TEST_F(Lifecycle, UnlinkOfNullOrOfAForeignRecordDoesNothing) {
  Database *a = ZEL_Create(0, 0);
  ZEL_UnLink(nullptr);
  Database stranger;
  ZEL_UnLink(&stranger);
  EXPECT_EQ(listed(), (std::vector<Database *>{a}));
}

TEST_F(Lifecycle, TerminateReleasesEverythingAndIsHarmlessWhenEmpty) {
  ZEL_Create(0, 0);
  ZEL_Create(0, 0);
  ZEL_Terminate();
  EXPECT_TRUE(listed().empty());
  ZEL_Terminate();
  EXPECT_TRUE(listed().empty());
}

TEST_F(Lifecycle, DestroyTouchesNothing) {
  Database *a = ZEL_Create(3, 1);
  ZEL_SetNodeCoordinates(a, 7, 1.0, 2.0, 3.0);
  ZEL_Destroy();
  EXPECT_EQ(listed(), (std::vector<Database *>{a}));
  EXPECT_EQ(ZEL_NodeIndex(a, 7), 0);
}

TEST_F(Lifecycle, CheckZelRejectsNullWithTheMessage) {
  int result = 1;
  const auto printed = capture([&] { result = CheckZEL(nullptr); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed.err, "ERROR:  The database has not been initialized.\n");
  Database *db = ZEL_Create(0, 0);
  EXPECT_EQ(CheckZEL(db), 1);
}

// A body whose file tells which one it is by its title.
bool write_titled(const std::string &path, const std::string &title, uint32_t version = 316) {
  zel_test::ZelBody body = zel_test::sample_body(version);
  body.header.title = title;
  return zel_test::write_zel_file(body, path);
}

TEST_F(Lifecycle, CreateFromZelSharesAPathOnlyWhileItNamesTheSameUnchangedFile) {
  zel_test::TempDir dir;
  const std::string first = dir.file("first.zel"), second = dir.file("second.zel");
  ASSERT_TRUE(write_titled(first, "first"));
  ASSERT_TRUE(write_titled(second, "second"));
  Database *a = nullptr, *b = nullptr;
  capture([&] {
    a = ZEL_CreateFromZEL(first.c_str());
    b = ZEL_CreateFromZEL(second.c_str());
  });
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(ZEL_CreateFromZEL(second.c_str()), b);
  EXPECT_EQ(ZEL_CreateFromZEL(first.c_str()), a);
  // The comparison is exact: another spelling of the path opens the file again.
  Database *again = nullptr;
  capture([&] { again = ZEL_CreateFromZEL((dir.path() + "/./first.zel").c_str()); });
  EXPECT_NE(again, nullptr);
  EXPECT_NE(again, a);

  // Replaced by another file (a writer renames its output into place).
  ASSERT_TRUE(write_titled(dir.file("new.zel"), "replaced"));
  ASSERT_EQ(std::rename(dir.file("new.zel").c_str(), first.c_str()), 0);
  Database *replaced = nullptr;
  capture([&] { replaced = ZEL_CreateFromZEL(first.c_str()); });
  ASSERT_NE(replaced, nullptr);
  EXPECT_NE(replaced, a);
  EXPECT_EQ(replaced->title, "replaced");
  EXPECT_EQ(a->title, "first") << "the earlier handle keeps the body it read";
  EXPECT_EQ(ZEL_CreateFromZEL(first.c_str()), replaced);

  // Rewritten in place: the same file, another size.
  ASSERT_TRUE(write_titled(second, "rewritten", 572));
  Database *rewritten = nullptr;
  capture([&] { rewritten = ZEL_CreateFromZEL(second.c_str()); });
  ASSERT_NE(rewritten, nullptr);
  EXPECT_NE(rewritten, b);
  EXPECT_EQ(rewritten->title, "rewritten");
}

TEST_F(Lifecycle, CreateFromZelOfAnUnopenableFileIsNullWithoutMessage) {
  Database *result = reinterpret_cast<Database *>(1);
  const auto printed = capture([&] { result = ZEL_CreateFromZEL("/nonexistent/dir/missing.zel"); });
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(printed.err, "");
  EXPECT_EQ(printed.out, "");
  EXPECT_TRUE(listed().empty());
  EXPECT_EQ(ZEL_CreateFromZEL(nullptr), nullptr);
}

TEST_F(Lifecycle, ReleaseClosesButKeepsTheFileItWasReadFrom) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "zel_lifecycle_kept.zel";
  std::FILE *stream = std::fopen(path.c_str(), "wb+");
  ASSERT_NE(stream, nullptr);
  Database *db = ZEL_Create(0, 0);
  db->file.fp = stream;
  db->file.name = path.string();
  ZEL_UnLink(db);
  EXPECT_TRUE(std::filesystem::exists(path));
  std::filesystem::remove(path);
}

TEST_F(Lifecycle, ReleaseFreesEveryOwnedArray) {
  // Run under the leak checker: everything a full record owns must go.
  Database *db = ZEL_Create(4, 2);
  for (int id = 1; id <= 1200; ++id) {
    ZEL_SetNodeCoordinates(db, id, id, 0.0, 0.0);
    ZEL_SetNodalInertia(db, id, 1, 2, 3, 0, 0, 0);
  }
  ZEL_SetFace(db, 3, 1, 2, 3);
  ZEL_SetInterfaceNode(db, 1);
  db->invar5.assign(2, std::vector<double>(6, 1.0));
  db->invar9.assign(4, {});
  db->load_cases.push_back(zel::LoadCase{"gravity", 0, {1.0, 2.0}});
  db->pre_stress.assign(12, 0.5);
  db->float_buffer.assign(100, 0.0f);
  ZEL_UnLink(db);
  EXPECT_TRUE(listed().empty());
}

TEST_F(Lifecycle, FreeMemoryIgnoresNull) { ZEL_FreeMemory(nullptr); }

TEST_F(Lifecycle, EveryModuleNamesItsVersion) {
  for (const char *version : {zelcreate_VersionId(), zelmsg_VersionId(), zelset_VersionId(),
                              zelinvar_VersionId(), zelread_VersionId()}) {
    ASSERT_NE(version, nullptr);
    EXPECT_GT(std::string(version).size(), 0u);
  }
}
