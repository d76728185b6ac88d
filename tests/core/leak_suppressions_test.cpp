// The test runs' leak suppressions may name system libraries only: a pattern
// that matched the library's own code would hide the leaks the sanitizer
// runs are there to find.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

TEST(LeakSuppressions, NameSharedSystemLibrariesOnly) {
  std::ifstream in(std::filesystem::path(VARNOK_TEST_DATA) / "../../tools/lsan-suppressions.txt");
  ASSERT_TRUE(in);
  int entries = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    // "leak:" and a shared object's file name, nothing that could match a function.
    EXPECT_EQ(line.rfind("leak:lib", 0), 0u) << line;
    EXPECT_NE(line.find(".so"), std::string::npos) << line;
    EXPECT_EQ(line.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_+-.:"), std::string::npos) << line;
    EXPECT_EQ(line.find("varnok"), std::string::npos) << line;
    entries++;
  }
  EXPECT_GT(entries, 0);
}

}  // namespace
