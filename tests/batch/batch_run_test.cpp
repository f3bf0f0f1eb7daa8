// Batches of tonewell-filter: outputs equal to single runs, failures on
// lines of their own, and the one progress line.
#include "batch/batch_run.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>

#include "tests/batch/program.h"

namespace {

using namespace test_support;
using Batch = batch_test::FilterTest;
using batch_test::Ran;
using batch_test::run_program;
namespace fs = std::filesystem;

// Each input its own length, rate and tone.
void write_inputs(int count) {
  for (int i = 0; i < count; ++i) {
    const std::uint32_t rate = i % 2 == 0 ? 11025 : 16000;
    Samples samples(static_cast<std::size_t>(rate) * (2 + i));
    for (std::size_t n = 0; n < samples.size(); ++n) {
      samples[n] = static_cast<std::int16_t>((n * (97 + 13 * i)) % 16000) - 8000;
    }
    write_file("in" + std::to_string(i) + ".wav",
               wave_file(shape_with([rate](WaveShape& w) { w.rate = rate; }), samples));
  }
}

TEST_F(Batch, EachOutputIsTheSingleRunsAndAFailureLetsTheOthersGoOn) {
  write_inputs(5);
  write_file("bad.wav", Bytes{'n', 'o'});
  fs::create_directory("out");
  batch::Options options;
  options.lms = true;
  options.bandpass = batch::Bandpass{0, std::nullopt};
  // Its 512-point transforms interleave with the stages' 1024-point ones
  // in every worker.
  options.noise_reduction = 5;
  options.output_dir.emplace("out");
  options.inputs = {"in0.wav", "in1.wav", "bad.wav", "in2.wav", "in3.wav", "in4.wav"};

  std::mutex mutex;
  std::vector<std::string> failures;
  batch::BatchProgress last;
  std::uint64_t written_before = 0;
  bool never_back = true;
  const batch::BatchHooks hooks{[&](const batch::BatchProgress& p) {
                                  const std::scoped_lock lock(mutex);
                                  never_back = never_back && p.written >= written_before;
                                  written_before = p.written;
                                  last = p;
                                },
                                [&](const std::string& line) {
                                  const std::scoped_lock lock(mutex);
                                  failures.push_back(line);
                                },
                                nullptr};
  EXPECT_EQ(batch::run_batch(files::start_settings(), options, 3, stop, hooks), 1u);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].rfind("bad.wav: found no RIFF header", 0), 0u);
  EXPECT_TRUE(never_back);
  EXPECT_EQ(last.files_done, 6u);
  EXPECT_EQ(last.files, 6u);
  // 2, 3, 4, 5 and 6 seconds at 11025 Hz.
  EXPECT_EQ(last.total, 20u * 11025);
  EXPECT_EQ(last.written, last.total);

  std::set<std::string> written;
  for (const auto& entry : fs::directory_iterator("out")) written.insert(entry.path().filename());
  EXPECT_EQ(written,
            (std::set<std::string>{"in0.wav", "in1.wav", "in2.wav", "in3.wav", "in4.wav"}));
  for (const std::string input : {"in0.wav", "in1.wav", "in2.wav", "in3.wav", "in4.wav"}) {
    ASSERT_EQ(filter(options, input, "alone.wav"), std::nullopt);
    EXPECT_EQ(read_file("out/" + input), read_file("alone.wav")) << input;
  }
  EXPECT_EQ(batch::batch_progress_line({2, 5, 11025, 44100}),
            "[##########..............................]  25%  2 of 5 files");
}

TEST_F(Batch, TheProgramShowsOneLineForTheBatchAndRefusesAFolderThatIsNot) {
  write_inputs(3);
  fs::create_directory("out");
  const std::string shown = batch_test::on_a_terminal("-j2 -o out in0.wav in1.wav in2.wav");
  EXPECT_EQ(shown.rfind("\r[", 0), 0u) << shown;
  EXPECT_NE(shown.find("\r[" + std::string(40, '#') + "] 100%  3 of 3 files\x1b[K\r\n"),
            std::string::npos);
  EXPECT_EQ(shown.find("tonewell-filter"), std::string::npos);
  EXPECT_EQ(batch_test::on_a_terminal("-q -o out in0.wav in1.wav"), "");
  EXPECT_EQ(run_program("-o in0.wav in1.wav in2.wav"),
            (Ran{2, "",
                 "tonewell-filter: -o in0.wav: not a folder\n"
                 "Try 'tonewell-filter --help' for more information.\n"}));
  EXPECT_EQ(run_program("-o out in0.wav missing.wav"),
            (Ran{1, "", "tonewell-filter: missing.wav: cannot open: No such file or directory\n"}));
  const Bytes input = read_file("in1.wav");
  EXPECT_EQ(run_program("-o . in1.wav"),
            (Ran{1, "",
                 "tonewell-filter: in1.wav: not filtered, ./in1.wav is the input file itself "
                 "(--in-place replaces it)\n"}));
  EXPECT_EQ(read_file("in1.wav"), input);
  EXPECT_EQ(run_program("--in-place -o . in1.wav"), (Ran{0, "", ""}));
  EXPECT_EQ(u32_at(read_file("in1.wav"), 24), 11025u);  // filtered from 16000 Hz
}

}  // namespace
