// The LAS layer on hostile input: file names and file contents that lie, each of which once
// misled the reader or the writer (several found by the fuzz targets in fuzz/).
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "las/reader.hpp"
#include "las/writer.hpp"
#include "test_support.hpp"

namespace las {
namespace {

// open() stops at a NUL: "a.las\0..." would open a.las. Such a name is refused instead.
TEST(Hostile, PathWithNulByte) {
  las_test::TempDir dir;
  const std::string prefix = dir.file("tile.las");
  std::string path = prefix;
  path.push_back('\0');
  path += "/../other.las";
  {
    Header header;
    auto writer = Writer::create(path, header);
    ASSERT_FALSE(writer.has_value());
    EXPECT_EQ(writer.error().message(), "file name contained an unexpected NUL byte");
  }
  {
    auto created = Writer::create(prefix, Header{});
    ASSERT_TRUE(created.has_value()) << created.error().message();
    ASSERT_TRUE(created->close().has_value());
  }
  auto reader = Reader::open(path);
  ASSERT_FALSE(reader.has_value());
  EXPECT_EQ(reader.error().message(), "file name contained an unexpected NUL byte");
}

}  // namespace
}  // namespace las
