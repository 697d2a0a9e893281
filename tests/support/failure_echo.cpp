// GoogleTest prints failures on standard output, where a test capturing it
// would hide them: this listener, in every program linking the test support,
// writes each failure again to the original standard output while it is
// redirected.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

class FailureEcho : public testing::EmptyTestEventListener {
  void OnTestPartResult(const testing::TestPartResult& result) override {
    struct stat now {
    }, original{};
    if (!result.failed() || fstat(STDOUT_FILENO, &now) != 0 || fstat(original_, &original) != 0 ||
        (now.st_dev == original.st_dev && now.st_ino == original.st_ino)) {
      return;
    }
    const std::string text = "[failure while standard output was captured] " +
                             std::string(result.file_name() ? result.file_name() : "?") + ":" +
                             std::to_string(result.line_number()) + ": " + result.message() + "\n";
    [[maybe_unused]] const ssize_t written = write(original_, text.data(), text.size());
  }
  const int original_ = dup(STDOUT_FILENO);  // before any test captures it
};

const bool registered = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new FailureEcho);
  return true;
}();

}  // namespace
