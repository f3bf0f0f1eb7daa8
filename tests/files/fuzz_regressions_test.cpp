// The inputs kept in fuzz_regressions/: crashes and hangs the fuzzers found
// once (the file names tell what), and seeds that reach the parsers' edges.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "tests/files/fuzz_properties.h"
#include "tests/support/wave_bytes.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;

TEST(FuzzRegressions, KeptInputsKeepTheParsersProperties) {
  const fs::path folder = TONEWELL_FUZZ_REGRESSIONS;
  int inputs = 0;
  for (const auto& entry : fs::directory_iterator(folder / "wav")) {
    const test_support::Bytes bytes = read_file(entry.path());
    EXPECT_TRUE(files_fuzz::wave_samples_inside_file(bytes)) << entry.path();
    EXPECT_TRUE(files_fuzz::wave_stream_reads_as_memory(bytes)) << entry.path();
    ++inputs;
  }
  for (const auto& entry : fs::directory_iterator(folder / "settings")) {
    EXPECT_TRUE(files_fuzz::settings_round_trip(read_file(entry.path()))) << entry.path();
    ++inputs;
  }
  EXPECT_GT(inputs, 0) << "no inputs in " << folder;
}

}  // namespace
