// Rendering of las::Error values and the logging facade's level gate.
#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "las/error.hpp"
#include "las/log.hpp"

namespace {

TEST(Error, TextIsKeptWhole) {
  const las::Error error = las::Error::text("failed to fill whole buffer");
  EXPECT_EQ(error.message(), "failed to fill whole buffer");
  EXPECT_EQ(error.os_error(), 0);
}

TEST(Error, OsErrorRendersDescriptionAndNumber) {
  const struct {
    int number;
    const char* message;
  } kCases[] = {
      {ENOENT, "No such file or directory (os error 2)"},
      {EACCES, "Permission denied (os error 13)"},
      {EISDIR, "Is a directory (os error 21)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.number);
    const las::Error error = las::Error::os(c.number);
    EXPECT_EQ(error.message(), c.message);
    EXPECT_EQ(error.os_error(), c.number);
  }
}

TEST(Log, LevelIsCheckedBeforeFormatting) {
  std::vector<std::string> records;
  las::log::set_sink([&](las::log::Level, std::string_view target, std::string_view message) {
    records.push_back(std::string(target) + "|" + std::string(message));
  });
  int evaluated = 0;
  auto count = [&] { return ++evaluated; };

  las::log::set_max_level(las::log::Level::Off);
  LAS_LOG(las::log::Level::Error, "t", "a {}", count());
  EXPECT_EQ(evaluated, 0);

  las::log::set_max_level(las::log::Level::Warn);
  LAS_LOG(las::log::Level::Info, "t", "b {}", count());
  LAS_LOG(las::log::Level::Warn, "t", "c {}", count());
  EXPECT_EQ(evaluated, 1);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], "t|c 1");

  las::log::set_max_level(las::log::Level::Off);
  las::log::set_sink({});
}

}  // namespace
