// Replays the fuzz corpus through the fuzz targets' per-input code, so every
// input the fuzzers ever needed is a regular test: the seeds under
// tests/fuzz/corpus/<target>/ and the inputs kept under
// tests/fuzz/corpus/regression/<target>/ (crashes found by fuzzing, and edge
// cases). One test per file; a broken invariant aborts that test's process.
// The seeds themselves are checked to be the realistic inputs they claim to
// be, so that the fuzzers start from well-formed messages and configs.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/walk/bulk_walk_step.h"
#include "tests/fuzz/init_setting_input.h"
#include "tests/fuzz/walk_response_input.h"

namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = PDU_FUZZ_CORPUS_DIR;

// Regular files of `dir` in name order; hidden files are not inputs.
std::vector<fs::path> InputFiles(const fs::path& dir) {
  std::vector<fs::path> files;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (it->is_regular_file() && !name.empty() && name[0] != '.') files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<fs::path> SeedsAndRegressions(const char* target) {
  std::vector<fs::path> files = InputFiles(kCorpus / target);
  const std::vector<fs::path> kept = InputFiles(kCorpus / "regression" / target);
  files.insert(files.end(), kept.begin(), kept.end());
  return files;
}

std::vector<std::uint8_t> ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// "<seed|regression>_<file name>" with every other character made '_'.
std::string TestName(const testing::TestParamInfo<fs::path>& info) {
  const bool kept = info.param.parent_path().parent_path().filename() == "regression";
  std::string name = (kept ? "regression_" : "seed_") + info.param.filename().string();
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

class FuzzRegressionWalkResponseCorpus : public testing::TestWithParam<fs::path> {};

TEST_P(FuzzRegressionWalkResponseCorpus, KeepsTheWalkInvariants) {
  const std::vector<std::uint8_t> bytes = ReadFile(GetParam());
  fuzz::RunWalkResponseInput(bytes.data(), bytes.size());
}

INSTANTIATE_TEST_SUITE_P(Corpus, FuzzRegressionWalkResponseCorpus,
                         testing::ValuesIn(SeedsAndRegressions("response")), TestName);

class FuzzRegressionInitSettingCorpus : public testing::TestWithParam<fs::path> {};

TEST_P(FuzzRegressionInitSettingCorpus, KeepsTheConfigurationInvariants) {
  const std::vector<std::uint8_t> bytes = ReadFile(GetParam());
  fuzz::RunInitSettingInput(bytes.data(), bytes.size());
}

INSTANTIATE_TEST_SUITE_P(Corpus, FuzzRegressionInitSettingCorpus,
                         testing::ValuesIn(SeedsAndRegressions("settings")), TestName);

TEST(FuzzRegressionSeeds, ResponsesAreWellFormedAndReachEveryEndOfAStep) {
  const std::vector<fs::path> seeds = InputFiles(kCorpus / "response");
  ASSERT_FALSE(seeds.empty()) << kCorpus / "response";
  std::set<pdu::WalkStep> steps;
  bool some_value_stored = false;
  for (const fs::path& seed : seeds) {
    SCOPED_TRACE(seed.filename().string());
    const std::vector<std::uint8_t> bytes = ReadFile(seed);
    const fuzz::WalkResponseOutcome outcome =
        fuzz::RunWalkResponseInput(bytes.data(), bytes.size());
    EXPECT_TRUE(outcome.parsed);
    steps.insert(outcome.step);
    some_value_stored = some_value_stored || outcome.record_changed;
  }
  EXPECT_EQ(steps, (std::set<pdu::WalkStep>{
                       pdu::WalkStep::kContinue, pdu::WalkStep::kEndOutsideSubtree,
                       pdu::WalkStep::kEndException, pdu::WalkStep::kEndErrorStatus,
                       pdu::WalkStep::kEndNoBinding, pdu::WalkStep::kEndNotIncreasing}));
  EXPECT_TRUE(some_value_stored);
}

TEST(FuzzRegressionSeeds, ConfigsAreAcceptedInEveryMode) {
  const std::vector<fs::path> seeds = InputFiles(kCorpus / "settings");
  ASSERT_FALSE(seeds.empty()) << kCorpus / "settings";
  std::set<int> modes;
  for (const fs::path& seed : seeds) {
    SCOPED_TRACE(seed.filename().string());
    const std::vector<std::uint8_t> bytes = ReadFile(seed);
    const fuzz::InitSettingOutcome outcome = fuzz::RunInitSettingInput(bytes.data(), bytes.size());
    EXPECT_TRUE(outcome.parsed);
    EXPECT_FALSE(outcome.json_exception);
    EXPECT_EQ(outcome.result, 1);
    modes.insert(outcome.mode);
  }
  EXPECT_EQ(modes, (std::set<int>{1, 2, 3}));
}

}  // namespace
