// GoogleTest main: each test gets a fresh temporary working directory, since
// every path of the program is relative to the working directory. Set
// QOE_KEEP_TEST_DIRS=1 to keep the folders for inspection.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class FreshDirListener : public testing::EmptyTestEventListener {
 public:
  void OnTestStart(const testing::TestInfo&) override {
    char tmpl[] = "/tmp/qoe-test-XXXXXX";
    char* d = mkdtemp(tmpl);
    if (!d) std::abort();
    dir_ = d;
    if (chdir(dir_.c_str()) != 0) std::abort();
    // A death test's child is a new run of this program, started in the
    // folder the tests were started from: it goes to this test's folder.
    setenv("QOE_TEST_DIR", dir_.c_str(), 1);
  }
  void OnTestEnd(const testing::TestInfo&) override {
    if (chdir(home_.c_str()) != 0) std::abort();
    unsetenv("QOE_TEST_DIR");
    const char* keep = std::getenv("QOE_KEEP_TEST_DIRS");
    if (!keep || !*keep) {
      std::error_code ec;
      std::filesystem::remove_all(dir_, ec);
    }
  }
  explicit FreshDirListener(std::string home) : home_(std::move(home)) {}

 private:
  std::string home_, dir_;
};

}  // namespace

int main(int argc, char** argv) {
  // Set only in a death test's child: it runs in its parent test's folder.
  const char* test_dir = std::getenv("QOE_TEST_DIR");
  if (test_dir && *test_dir && chdir(test_dir) != 0) std::abort();
  testing::InitGoogleTest(&argc, argv);
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  char buf[4096];
  std::string home = getcwd(buf, sizeof buf) ? buf : "/tmp";
  testing::UnitTest::GetInstance()->listeners().Append(new FreshDirListener(home));
  return RUN_ALL_TESTS();
}
