// What the batch tests share: a folder of their own, a chain to filter
// through, and runs of the program itself.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "batch/chain.h"
#include "batch/wave_filter.h"
#include "tests/support/wave_bytes.h"

namespace batch_test {

namespace fs = std::filesystem;

// Every test works in an empty folder of its own.
class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tonewell-filter.XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    fs::current_path(folder_);
  }
  void TearDown() override {
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(folder_);
  }

  // Runs a fresh chain set up by `options` from the start settings; `chain`
  // keeps it.
  std::optional<std::string> filter(const batch::Options& options, const std::string& in,
                                    const std::string& out, const batch::RunHooks& hooks = {}) {
    chain = std::make_unique<engine::FilterChain>();
    design::Tuning tuning;
    batch::set_up_chain(files::start_settings(), options, tuning, *chain);
    return batch::filter_wave(*chain, in, out, options.channel, stop, hooks);
  }

  fs::path folder_;
  batch::StopSignals stop;
  std::unique_ptr<engine::FilterChain> chain;
};

// The program's exit code, standard output and standard error.
struct Ran {
  int code;
  std::string out;
  std::string err;
  bool operator==(const Ran&) const = default;
  friend void PrintTo(const Ran& ran, std::ostream* os) {
    *os << ran.code << ", out \"" << ran.out << "\", err \"" << ran.err << '"';
  }
};

// Runs the program with `arguments` (which may redirect its streams again);
// killed after a minute.
inline Ran run_program(const std::string& arguments) {
  const int status = std::system(("timeout -s KILL 60 " + std::string(TONEWELL_FILTER) +
                                  " >stdout.txt 2>stderr.txt " + arguments)
                                     .c_str());
  const test_support::Bytes out = test_support::read_file("stdout.txt");
  const test_support::Bytes err = test_support::read_file("stderr.txt");
  return {WEXITSTATUS(status), std::string(out.begin(), out.end()),
          std::string(err.begin(), err.end())};
}

// Runs the program on a terminal of its own (script(1)); what it showed.
inline std::string on_a_terminal(const std::string& arguments) {
  const std::string command = "script -qec '" + std::string(TONEWELL_FILTER) + " " + arguments +
                              "' /dev/null >terminal.txt 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  const test_support::Bytes shown = test_support::read_file("terminal.txt");
  return {shown.begin(), shown.end()};
}

}  // namespace batch_test
