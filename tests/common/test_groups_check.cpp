// Every pattern tests/test_groups.txt names for this program still finds a
// test: a suite or a test renamed would otherwise leave its group and run
// in another lane, or in none.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace norvane::test {
namespace {

// "Suite.*" finds the suite's tests; "Suite.Test" the one test.
bool Finds(const std::string& pattern, const ::testing::TestInfo& test) {
  const std::string suite = test.test_suite_name();
  if (pattern.ends_with(".*")) return pattern == suite + ".*";
  return pattern == suite + "." + test.name();
}

bool FindsATest(const std::string& pattern) {
  const ::testing::UnitTest& program = *::testing::UnitTest::GetInstance();
  for (int s = 0; s < program.total_test_suite_count(); ++s) {
    const ::testing::TestSuite& suite = *program.GetTestSuite(s);
    for (int t = 0; t < suite.total_test_count(); ++t) {
      if (Finds(pattern, *suite.GetTestInfo(t))) return true;
    }
  }
  return false;
}

TEST(TestGroups, EveryPatternNamedForThisProgramFindsATest) {
  std::istringstream patterns(NORVANE_GROUPED_TESTS);
  std::string pattern;
  while (std::getline(patterns, pattern, ':')) {
    EXPECT_TRUE(FindsATest(pattern)) << pattern << " (tests/test_groups.txt) finds no test in this program";
  }
}

}  // namespace
}  // namespace norvane::test
