// A test fixture that writes bodies with the test-data builder into its
// own scratch directory and opens them, releasing every database after
// each test.
#ifndef ZEL_TEST_BODY_FILES_H
#define ZEL_TEST_BODY_FILES_H

#include <gtest/gtest.h>

#include <string>

#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace zel_test {

class BodyFiles : public ::testing::Test {
 protected:
  void TearDown() override { ZEL_Terminate(); }

  // The database read from a new file of the body.
  Database *open(const ZelBody &body) {
    const std::string path = dir.file("body" + std::to_string(files++) + ".zel");
    EXPECT_TRUE(write_zel_file(body, path));
    return ZEL_CreateFromZEL(path.c_str());
  }

  ScratchDir dir;
  int files = 0;
};

}  // namespace zel_test

#endif  // ZEL_TEST_BODY_FILES_H
