// tonewell-filter's runs over files: lengths, the chain's delay, channels
// and rates, refusals, and the program's exit codes.
#include "batch/wave_filter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <numbers>
#include <sstream>
#include <thread>

#include "batch/run.h"
#include "tests/batch/program.h"

namespace {

using namespace test_support;
using WaveFilter = batch_test::FilterTest;
using batch_test::Ran;
using batch_test::run_program;
namespace fs = std::filesystem;

// Each entry but the tests' .txt files: name, inode, mode, link, bytes' hash.
std::set<std::string> listing() {
  std::set<std::string> entries;
  for (const auto& entry : fs::directory_iterator(".")) {
    const std::string name = entry.path().filename();
    struct stat s {};
    lstat(name.c_str(), &s);
    if (name.ends_with(".txt")) continue;
    std::ostringstream bytes;
    if (S_ISREG(s.st_mode)) bytes << std::ifstream(name, std::ios::binary).rdbuf();
    entries.insert(name + " " + std::to_string(s.st_ino) + " " + std::to_string(s.st_mode) + " " +
                   (S_ISLNK(s.st_mode) ? fs::read_symlink(name).string() : "") + " #" +
                   std::to_string(std::hash<std::string>{}(bytes.str())));
  }
  return entries;
}

Samples tone(double hz, std::uint32_t rate, std::size_t count, double amplitude) {
  Samples s(count);
  for (std::size_t n = 0; n < count; ++n) {
    s[n] = static_cast<std::int16_t>(std::lround(
        amplitude * std::sin(2 * std::numbers::pi * hz * static_cast<double>(n) / rate)));
  }
  return s;
}

double rms(const Samples& s, std::size_t from) {
  double sum = 0.0;
  for (std::size_t n = from; n < s.size(); ++n) sum += static_cast<double>(s[n]) * s[n];
  return std::sqrt(sum / static_cast<double>(s.size() - from));
}

// The frequency of a tone from its rising zero crossings.
double frequency(const Samples& s, double rate) {
  std::vector<std::size_t> rising;
  for (std::size_t n = 1; n < s.size(); ++n) {
    if (s[n - 1] < 0 && s[n] >= 0) rising.push_back(n);
  }
  return (static_cast<double>(rising.size()) - 1.0) * rate /
         static_cast<double>(rising.back() - rising.front());
}

Samples interleave(const Samples& left, const Samples& right) {
  Samples both;
  for (std::size_t n = 0; n < left.size(); ++n) {
    both.push_back(left[n]);
    both.push_back(right[n]);
  }
  return both;
}

TEST_F(WaveFilter, AsManySamplesComeOutAsGoInThroughGainAndSaturation) {
  batch::Options doubled;
  doubled.bypass = true;
  doubled.gain = batch::Gain{20, 5};  // 20 x 0.1
  for (const std::size_t count : {0u, 1u, 1023u, 1024u, 1025u, 3000u}) {
    Samples input(count);
    for (std::size_t n = 0; n < count; ++n) {
      input[n] = static_cast<std::int16_t>((static_cast<int>(n) * 37) % 40000 - 20000);
    }
    write_file("in.wav", wave_file({}, input));
    ASSERT_EQ(filter(doubled, "in.wav", "out.wav"), std::nullopt);
    const Bytes out = read_file("out.wav");
    ASSERT_EQ(out.size(), 44 + 2 * count);
    EXPECT_EQ(u32_at(out, 4), 36 + 2 * count);
    EXPECT_EQ(u32_at(out, 24), 11025u);
    EXPECT_EQ(u32_at(out, 40), 2 * count);
    const Samples output = samples_after_header(out);
    for (std::size_t n = 0; n < count; ++n) {
      ASSERT_EQ(output[n], std::clamp(input[n] * 2, -32768, 32767))
          << "sample " << n << " of " << count;
    }
    // A header that says 0 bytes: the samples the file holds, and one line
    // that says so.
    std::vector<std::string> notices;
    const auto notice = [&notices](const std::string& line) { notices.push_back(line); };
    write_file("zero.wav", wave_file(shape_with([](WaveShape& w) { w.claimed = 0; }), input));
    ASSERT_EQ(filter(doubled, "zero.wav", "zero-out.wav", {{}, {}, notice}), std::nullopt);
    EXPECT_EQ(read_file("zero-out.wav"), out);
    EXPECT_EQ(notices.size(), count > 0 ? 1u : 0u);
  }
}

TEST_F(WaveFilter, InputsOfThreeGibibytesAreTakenWholeAndLargerOnesRefused) {
  const std::uint64_t gib = 1ull << 30;
  for (const std::uint32_t declared : {static_cast<std::uint32_t>(3 * gib), 0u}) {
    const auto header = files::recording_header(declared);
    write_file("long.wav", Bytes(header.begin(), header.end()));
    fs::resize_file("long.wav", 44 + 3 * gib);  // sparse
    EXPECT_EQ(batch::planned_samples("long.wav"), 3 * gib / 2) << declared;
  }
  fs::resize_file("long.wav", 44 + 5 * gib);
  EXPECT_EQ(filter({}, "long.wav", "out.wav"),
            "out.wav: the filtered audio would not fit in a WAV file (4 GiB at most)");
  EXPECT_FALSE(fs::exists("out.wav"));
}

TEST_F(WaveFilter, AnImpulseComesOutAsTheBandpassKernel255SamplesLater) {
  Samples input(4000);
  input[1500] = 10000;
  write_file("in.wav", wave_file({}, input));
  batch::Options options;
  options.bandpass = batch::Bandpass{0, std::nullopt};
  options.q[static_cast<int>(batch::Filter::bp)] = 25;
  ASSERT_EQ(filter(options, "in.wav", "out.wav"), std::nullopt);
  const Samples output = samples_after_header(read_file("out.wav"));
  ASSERT_EQ(output.size(), input.size());
  // Kernel tap i + 1 weighs the input of i samples before; tap 256, the
  // centre, 255 samples before.
  for (std::size_t n = 0; n < output.size(); ++n) {
    const std::size_t tap = n >= 1500 && n < 1500 + 512 ? n - 1500 + 1 : 0;
    const double expected = tap == 0 ? 0.0 : 10000.0 * chain->bp.filter.taps[tap];
    ASSERT_NEAR(output[n], expected, 2.0) << "sample " << n;
  }
  EXPECT_EQ(std::max_element(output.begin(), output.end()) - output.begin(), 1755);
}

TEST_F(WaveFilter, ANotchAtAToneInHertzTakesItOutAndLeavesTheRest) {
  batch::Options options;
  options.notch1 = batch::Notch{1000.0, 2};
  options.q[static_cast<int>(batch::Filter::nf1)] = 25;
  write_file("near.wav", wave_file({}, tone(1000.0, 11025, 33075, 10000.0)));
  write_file("far.wav", wave_file({}, tone(1500.0, 11025, 33075, 10000.0)));
  ASSERT_EQ(filter(options, "near.wav", "near-out.wav"), std::nullopt);
  ASSERT_EQ(filter(options, "far.wav", "far-out.wav"), std::nullopt);
  // Levels in dB against the input's, past the first two passes.
  const double in = rms(tone(1000.0, 11025, 33075, 10000.0), 2048);
  const auto level = [in](const char* path) {
    return 20 * std::log10(std::max(rms(samples_after_header(read_file(path)), 2048), 0.01) / in);
  };
  EXPECT_LT(level("near-out.wav"), -55.0);
  EXPECT_NEAR(level("far-out.wav"), 0.0, 0.5);
}

TEST_F(WaveFilter, EitherChannelOfStereoAndOtherRatesAreTaken) {
  batch::Options right;
  right.bypass = true;
  right.channel = batch::Channel::right;
  const Samples left_ramp = tone(300.0, 11025, 5000, 8000.0);
  const Samples right_ramp = tone(2000.0, 11025, 5000, 8000.0);
  write_file("stereo.wav", wave_file(shape_with([](WaveShape& w) { w.channels = 2; }),
                                     interleave(left_ramp, right_ramp)));
  ASSERT_EQ(filter(right, "stereo.wav", "right.wav"), std::nullopt);
  EXPECT_EQ(samples_after_header(read_file("right.wav")), right_ramp);

  // Converted to 11025 Hz: as long in time, the tone where it was.
  for (const std::uint32_t rate : {8000u, 22050u, 44100u}) {
    write_file("rate.wav", wave_file(shape_with([rate](WaveShape& w) {
                                       w.channels = 2;
                                       w.rate = rate;
                                     }),
                                     interleave(tone(1700.0, rate, 2 * rate, 8000.0),
                                                tone(900.0, rate, 2 * rate, 8000.0))));
    ASSERT_EQ(filter(right, "rate.wav", "converted.wav"), std::nullopt);
    const Bytes out = read_file("converted.wav");
    EXPECT_EQ(u32_at(out, 24), 11025u);
    const Samples converted = samples_after_header(out);
    ASSERT_EQ(converted.size(), 22050u) << rate;
    EXPECT_NEAR(frequency(converted, 11025.0), 900.0, 1.0) << rate;
    EXPECT_NEAR(rms(Samples(converted.begin() + 1000, converted.end() - 1000), 0),
                8000.0 / std::sqrt(2.0), 100.0)
        << rate;
  }
}

TEST_F(WaveFilter, RefusedInputsAreOneLineNamingTheFileAndLeaveTheOutputAlone) {
  const Samples some(100, 5);
  const Bytes whole = wave_file({}, some);
  const auto file = [&some](const std::function<void(WaveShape&)>& change) {
    return wave_file(shape_with(change), some);
  };
  // In the extensible layout, with the sub-format PCM.
  const auto extensible = [&file](std::uint16_t bits) {
    return file([bits](WaveShape& w) {
      w.sub_format = 1;
      w.bits = bits;
      w.block_align = 2;
    });
  };
  const std::vector<std::pair<Bytes, std::string>> cases{
      {file([](WaveShape& w) { w.bits = 8; }), "found 8-bit PCM"},
      {file([](WaveShape& w) { w.bits = 24; }), "found 24-bit PCM"},
      {file([](WaveShape& w) {
         w.format_tag = 3;
         w.bits = 32;
       }),
       "found 32-bit float"},
      {file([](WaveShape& w) { w.format_tag = 0xFFFE; }), "found an unknown extensible sub-format"},
      {extensible(24), "found 24-bit PCM (extensible)"},
      {file([](WaveShape& w) {
         w.format_tag = 7;
         w.bits = 8;
       }),
       "found compressed audio (format tag 7)"},
      {file([](WaveShape& w) { w.channels = 6; }), "found 6 channels"},
      {file([](WaveShape& w) { w.block_align = 4; }),
       "found a block align of 4 for mono 16-bit PCM"},
      {file([](WaveShape& w) { w.rate = 500; }), "found a rate of 500 Hz"},
      {file([](WaveShape& w) { w.riff = "RIFX"; }), "found no RIFF header"},
      {Bytes(whole.begin(), whole.begin() + 36), "found no data chunk"},
      {Bytes{}, "found no RIFF header"},
  };
  write_file("out.wav", Bytes{'o', 'l', 'd'});
  for (const auto& [bytes, found] : cases) {
    write_file("bad.wav", bytes);
    const std::optional<std::string> error = filter({}, "bad.wav", "out.wav");
    ASSERT_TRUE(error.has_value()) << found;
    EXPECT_EQ(error->rfind("bad.wav: " + found, 0), 0u) << *error;
    EXPECT_NE(error->find("; accepts 16-bit PCM WAV, mono or stereo, at 1000 to 768000 Hz"),
              std::string::npos);
    EXPECT_EQ(error->find('\n'), std::string::npos);
  }
  EXPECT_EQ(filter({}, "missing.wav", "out.wav"),
            "missing.wav: cannot open: No such file or directory");
  write_file("good.wav", wave_file({}, some));
  EXPECT_EQ(filter({}, "good.wav", "no/such/folder/out.wav"),
            "no/such/folder/out.wav: cannot write: No such file or directory");
  EXPECT_EQ(read_file("out.wav"), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(listing().size(), 3u);  // bad.wav, good.wav and out.wav

  // 16-bit PCM in the extensible layout is taken like the plain one.
  write_file("extensible.wav", extensible(16));
  ASSERT_EQ(filter({}, "extensible.wav", "out.wav"), std::nullopt);
  EXPECT_EQ(samples_after_header(read_file("out.wav")), some);
}

TEST_F(WaveFilter, SettingsFilesMustBe124BytesAndTheBarCountsMinutesOfAudio) {
  files::Settings saved = files::start_settings();
  saved.nf1_q_position = 3;
  const auto bytes = files::serialise_settings(saved);
  write_file("good.cfg", Bytes(bytes.begin(), bytes.end()));
  write_file("short.cfg", Bytes(bytes.begin(), bytes.begin() + 60));
  write_file("long.cfg", Bytes(200, 1));
  EXPECT_EQ(std::get<files::Settings>(batch::read_settings_file("good.cfg")), saved);
  EXPECT_EQ(std::get<std::string>(batch::read_settings_file("short.cfg")),
            "short.cfg: not a settings file (60 bytes; a settings file has 124)");
  EXPECT_EQ(std::get<std::string>(batch::read_settings_file("long.cfg")),
            "long.cfg: not a settings file (more than 124 bytes; a settings file has 124)");
  EXPECT_EQ(std::get<std::string>(batch::read_settings_file("none.cfg")),
            "none.cfg: cannot open: No such file or directory");

  EXPECT_EQ(batch::progress_bar(11025 * 151, 11025 * 360, 6.2),
            "[################........................]  41%  2:31 of 6:00, 0:07 left");
  // However often the work reports, the line is drawn at most ten times a
  // second, the last report always; the time left goes at the pace so far.
  const batch::ProgressPace::Clock::time_point start{};
  batch::ProgressPace pace(start);
  int drawn = 0;
  for (std::uint64_t ms = 0; ms <= 1000; ++ms) {
    drawn += pace.due(start + std::chrono::milliseconds(ms), ms, 1000) ? 1 : 0;
  }
  EXPECT_EQ(drawn, 11);
  EXPECT_EQ(pace.seconds_left(start + std::chrono::seconds(2), 250, 1000), 6.0);
  EXPECT_EQ(pace.seconds_left(start + std::chrono::seconds(2), 0, 1000), std::nullopt);
  EXPECT_EQ(pace.seconds_left(start + std::chrono::seconds(2), 1000, 1000), std::nullopt);
}

TEST_F(WaveFilter, TheProgramExitsZeroOnSuccessOneOnAFileAndTwoOnUsage) {
  const Ran help = run_program("--help");
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("Usage: tonewell-filter [options] INPUT.wav OUTPUT.wav\n", 0), 0u);

  EXPECT_EQ(run_program("--gain 0,5 in.wav out.wav"),
            (Ran{2, "",
                 "tonewell-filter: --gain takes FINE,COARSE: FINE 1..100, COARSE 1..7\n"
                 "Try 'tonewell-filter --help' for more information.\n"}));

  write_file("eight.wav", wave_file(shape_with([](WaveShape& w) { w.bits = 8; }), Samples(10)));
  EXPECT_EQ(run_program("eight.wav out.wav"),
            (Ran{1, "",
                 "tonewell-filter: eight.wav: found 8-bit PCM; accepts 16-bit PCM WAV, mono or "
                 "stereo, at 1000 to 768000 Hz\n"}));

  // No bar when standard error is not a terminal.
  write_file("in.wav", wave_file({}, tone(700.0, 11025, 700000, 5000.0)));
  EXPECT_EQ(run_program("--bandpass 3,700 in.wav out.wav"), (Ran{0, "", ""}));
  EXPECT_EQ(samples_after_header(read_file("out.wav")).size(), 700000u);
}

// Starts the program with `arguments`, its standard error to stderr.txt.
pid_t start_program(const std::vector<std::string>& arguments, int input = -1, int output = -1) {
  std::vector<char*> argv{const_cast<char*>(TONEWELL_FILTER)};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input >= 0) posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  if (output >= 0) posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "stderr.txt",
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, TONEWELL_FILTER, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int exit_code(pid_t pid) {
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, 0), pid);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

// Whether the process sleeps (in a wait) rather than runs.
bool asleep(pid_t pid) {
  const Bytes stat = read_file("/proc/" + std::to_string(pid) + "/stat");
  const std::string line(stat.begin(), stat.end());
  return line.substr(line.rfind(')') + 2, 1) == "S";
}

TEST_F(WaveFilter, AStopSignalInAnyStateEndsTheRunAtOnceAndKeepsTheOldOutput) {
  // Ten minutes through every stage: long enough to be caught mid-run.
  Samples noise(600 * 11025);
  for (std::size_t n = 0; n < noise.size(); ++n) {
    noise[n] = static_cast<std::int16_t>((n * 7919 + n * n * 31) % 20000) - 10000;
  }
  write_file("in.wav", wave_file({}, noise));
  write_file("out.wav", Bytes{'o', 'l', 'd'});
  // An hour's header and a second of samples, for a stream that stalls or ends early.
  const Bytes hour =
      wave_file(shape_with([](WaveShape& w) { w.claimed = 2 * 3600 * 11025; }), Samples(11025));
  const auto before = listing();
  const auto writing_past = [](std::uintmax_t bytes) {  // the new file beside OUTPUT
    for (const auto& entry : fs::directory_iterator(".")) {
      std::error_code error;
      const std::string name = entry.path().filename();
      if (name.starts_with("out.wav.") && entry.file_size(error) >= bytes && !error) return true;
    }
    return false;
  };
  for (const auto& [state, signal] : {std::pair<std::string_view, int>{"mid-run", SIGINT},
                                      {"mid-run", SIGTERM},
                                      {"on a full output pipe", SIGTERM},
                                      {"on a stalled input", SIGTERM},
                                      {"padding", SIGTERM}}) {
    std::array<int, 2> pipe{};
    ASSERT_EQ(pipe2(pipe.data(), O_CLOEXEC), 0);
    const bool reads = state == "on a stalled input" || state == "padding";
    const bool writes = state == "on a full output pipe";
    const pid_t pid =
        start_program({"--median", "--lms", "--auto-notch", "--noise-reduction", "5", "--bandpass",
                       "0", reads ? "-" : "in.wav", writes ? "-" : "out.wav"},
                      reads ? pipe[0] : -1, writes ? pipe[1] : -1);
    EXPECT_EQ(reads ? write(pipe[1], hour.data(), hour.size()) : 0, ssize_t(hour.size()) * reads);
    if (state == "padding") close(std::exchange(pipe[1], -1));
    // Signalled writing; waiting on a full pipe (bytes in each page) or an empty one; padding.
    const int full = fcntl(pipe[0], F_GETPIPE_SZ) - getpagesize();
    const auto in_state = [&] {
      if (state == "mid-run") return writing_past(0);
      if (state == "padding") return writing_past(hour.size() + (1 << 16));
      int queued = 0;
      EXPECT_EQ(ioctl(pipe[0], FIONREAD, &queued), 0);
      return asleep(pid) && (reads ? queued == 0 : queued > full);
    };
    while (!in_state()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto signalled = std::chrono::steady_clock::now();
    ASSERT_EQ(kill(pid, signal), 0);
    EXPECT_EQ(exit_code(pid), 128 + signal) << state;
    // A bound against waits and work after the signal; 0.02 s measured.
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - signalled;
    EXPECT_LT(taken.count(), 1.0) << state;
    for (const int end : pipe) close(end);
    EXPECT_EQ(read_file("stderr.txt"), Bytes{});
    fs::remove("stderr.txt");
    EXPECT_EQ(listing(), before) << state;
    EXPECT_EQ(read_file("out.wav"), (Bytes{'o', 'l', 'd'}));
  }
}

// Noise with a tone, stereo at 22050 Hz: converted and filtered on the way.
Bytes stereo_noise(std::size_t frames) {
  Samples both(2 * frames);
  for (std::size_t n = 0; n < both.size(); ++n) {
    both[n] = static_cast<std::int16_t>(std::lround(6000 * std::sin(0.05 * static_cast<double>(n)) +
                                                    static_cast<double>(n * n % 4001) - 2000));
  }
  return wave_file(shape_with([](WaveShape& w) {
                     w.channels = 2;
                     w.rate = 22050;
                   }),
                   both);
}

int shell(const std::string& command) {
  const std::string filter = TONEWELL_FILTER;
  std::string line;
  for (const char c : command) line += c == '@' ? filter : std::string(1, c);
  return WEXITSTATUS(std::system(line.c_str()));
}

TEST_F(WaveFilter, PipesEitherWayGiveTheBytesFilesGive) {
  write_file("in.wav", stereo_noise(30000));
  ASSERT_EQ(shell("@ --lms --channel right in.wav files.wav"), 0);
  const Bytes expected = read_file("files.wav");
  ASSERT_EQ(expected.size(), 44 + 2 * 15000u);
  ASSERT_EQ(shell("cat in.wav | @ --lms --channel right - - 2>stderr.txt | cat >both.wav"), 0);
  ASSERT_EQ(shell("cat in.wav | @ --lms --channel right - from-pipe.wav"), 0);
  ASSERT_EQ(shell("@ --lms --channel right in.wav - | cat >to-pipe.wav"), 0);
  ASSERT_EQ(shell("@ --lms --channel right - redirected.wav <in.wav"), 0);
  for (const char* name : {"both.wav", "from-pipe.wav", "to-pipe.wav", "redirected.wav"}) {
    EXPECT_EQ(read_file(name), expected) << name;
  }
  EXPECT_EQ(read_file("stderr.txt"), Bytes{});

  // A stream whose header gives no sizes: "to the end" on a pipe, the real
  // sizes in a file.
  Bytes open = read_file("in.wav");
  std::fill_n(open.begin() + 4, 4, 0xFF);
  std::fill_n(open.begin() + 40, 4, 0xFF);
  write_file("open.wav", open);
  ASSERT_EQ(shell("cat open.wav | @ --lms --channel right - - | cat >streamed.wav"), 0);
  ASSERT_EQ(shell("cat open.wav | @ --lms --channel right - - >sized.wav"), 0);
  ASSERT_EQ(shell("cat open.wav | @ --lms --channel right - sized-file.wav"), 0);
  const Bytes streamed = read_file("streamed.wav");
  EXPECT_EQ(u32_at(streamed, 4), 0xFFFFFFFFu);
  EXPECT_EQ(u32_at(streamed, 40), 0xFFFFFFFFu);
  EXPECT_EQ(samples_after_header(streamed), samples_after_header(expected));
  EXPECT_EQ(read_file("sized.wav"), expected);
  EXPECT_EQ(read_file("sized-file.wav"), expected);

  // At the chain's own rate too, where no converter holds samples back: a
  // stream of about a pass, giving no size either way, keeps every sample.
  for (const std::size_t count : {1u, 1023u, 1024u, 2000u}) {
    Samples noise(count);
    for (std::size_t n = 0; n < count; ++n) noise[n] = static_cast<std::int16_t>(n * n % 8191);
    write_file("mono.wav", wave_file({}, noise));
    ASSERT_EQ(shell("@ --lms mono.wav mono-sized.wav"), 0);
    for (const std::uint8_t size : {0x00, 0xFF}) {
      SCOPED_TRACE(testing::Message() << count << " samples, size bytes " << int{size});
      Bytes unsized = read_file("mono.wav");
      std::fill_n(unsized.begin() + 4, 4, size);
      std::fill_n(unsized.begin() + 40, 4, size);
      write_file("unsized.wav", unsized);
      ASSERT_EQ(shell("cat unsized.wav | @ --lms - mono-streamed.wav"), 0);
      EXPECT_EQ(read_file("mono-streamed.wav"), read_file("mono-sized.wav"));
    }
  }

  // A stream that ends before its header's size is padded to it.
  write_file("cut.wav", Bytes(expected.begin(), expected.begin() + 44 + 2 * 5000));
  ASSERT_EQ(shell("cat cut.wav | @ --bypass - - | cat >padded.wav"), 0);
  const Samples padded = samples_after_header(read_file("padded.wav"));
  ASSERT_EQ(padded.size(), 15000u);
  const Samples whole = samples_after_header(expected);
  EXPECT_EQ(Samples(padded.begin(), padded.begin() + 5000),
            Samples(whole.begin(), whole.begin() + 5000));
  EXPECT_EQ(std::count(padded.begin() + 5000, padded.end(), 0), 10000);
}

TEST_F(WaveFilter, LinksAreReplacedAtTheirTargetsAndFifosAndDevicesWrittenStraight) {
  write_file("in.wav", stereo_noise(30000));
  ASSERT_EQ(shell("@ --lms in.wav files.wav"), 0);
  const Bytes expected = read_file("files.wav");
  fs::create_directory("real");
  write_file("real/target.wav", Bytes{'o', 'l', 'd'});
  fs::create_symlink("real/target.wav", "link.wav");
  ASSERT_EQ(shell("@ --lms in.wav link.wav"), 0);
  EXPECT_TRUE(fs::is_symlink("link.wav"));
  EXPECT_EQ(read_file("real/target.wav"), expected);
  EXPECT_EQ(std::distance(fs::directory_iterator("real"), fs::directory_iterator()), 1);

  const auto before = listing();
  EXPECT_EQ(shell("@ --lms in.wav /dev/null"), 0);
  EXPECT_EQ(listing(), before);

  // A FIFO written straight, found waiting for its reader.
  ASSERT_EQ(mkfifo("out.fifo", 0600), 0);
  const pid_t writer = start_program({"--lms", "in.wav", "out.fifo"});
  EXPECT_EQ(read_file("out.fifo"), expected);
  EXPECT_EQ(exit_code(writer), 0);

  // A FIFO read without a writer says so after a second, and goes on
  // waiting until one comes or a stop signal.
  ASSERT_EQ(mkfifo("in.fifo", 0600), 0);
  const auto told = [] {
    const Bytes err = read_file("stderr.txt");
    return std::string(err.begin(), err.end()) ==
           "tonewell-filter: in.fifo: waiting for a writer on this FIFO\n";
  };
  for (const bool writes : {true, false}) {
    const pid_t reader = start_program({"--lms", "in.fifo", "from-fifo.wav"});
    while (!told()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (writes) {
      write_file("in.fifo", read_file("in.wav"));
      EXPECT_EQ(exit_code(reader), 0);
      EXPECT_EQ(read_file("from-fifo.wav"), expected);
      fs::remove("from-fifo.wav");
    } else {
      const auto waiting = listing();
      ASSERT_EQ(kill(reader, SIGINT), 0);
      EXPECT_EQ(exit_code(reader), 130);
      EXPECT_EQ(listing(), waiting);
    }
  }
}

TEST_F(WaveFilter, HostileOutputsAreRefusedAndLeftAsTheyWereUnlessAskedFor) {
  const Bytes original = read_file(write_file("in.wav", wave_file({}, Samples(5000, 700))));
  const std::string read_only_file = write_file("ro\nly\x1b.wav", Bytes{'o', 'l', 'd'});
  ASSERT_EQ(chmod(read_only_file.c_str(), 0444), 0);
  fs::create_hard_link("in.wav", "hard.wav");
  ASSERT_EQ(mkfifo("fifo", 0600), 0);
  for (const auto& [link, target] : {std::pair<std::string, std::string>{"to-in.wav", "in.wav"},
                                     {"to-ro.wav", read_only_file},
                                     {"to-null", "/dev/null"},
                                     {"to-fifo", "fifo"}}) {
    fs::create_symlink(target, link);
  }
  fs::create_directory("folder");
  const std::string in = "in.wav: not filtered, ";
  const std::string itself = " is the input file itself (--in-place replaces it)";
  const std::string read_only = " is read-only (--force replaces it)";
  const std::string named = ", written only when named itself";
  const std::vector<std::pair<std::string, std::string>> cases{
      {"in.wav in.wav", in + "in.wav" + itself},
      {"in.wav to-in.wav", in + "to-in.wav" + itself},
      {"in.wav hard.wav", in + "hard.wav" + itself},
      {"- in.wav <in.wav", "standard input: not filtered, in.wav" + itself},
      {"in.wav '" + read_only_file + "'", in + "ro\\nly\\x1B.wav" + read_only},
      {"in.wav to-ro.wav", in + "to-ro.wav" + read_only},
      {"in.wav folder", in + "folder is a folder"},
      {"in.wav to-null", in + "to-null is a link to a character device" + named},
      {"in.wav to-fifo", in + "to-fifo is a link to a FIFO" + named},
      {"in.wav /dev/full", "/dev/full: cannot write: No space left on device"},
      {"in.wav - >>in.wav", in + "standard output is the input file itself"},
      {"- out.wav <&-", "standard input is closed"},
      {"in.wav - >&-", "standard output is closed"},
      {"--settings fifo in.wav new.wav",  // neither waited for nor read
       "fifo: not a settings file (a FIFO; a settings file is a file of 124 bytes)"},
  };
  const auto before = listing();
  for (const auto& [arguments, message] : cases) {
    EXPECT_EQ(run_program(arguments), (Ran{1, "", "tonewell-filter: " + message + "\n"}))
        << arguments;
    EXPECT_EQ(listing(), before) << arguments;
  }

  // Asked for: the input is replaced by its link's name (not its hard link's).
  ASSERT_EQ(run_program("in.wav filtered.wav").code, 0);
  const Bytes filtered = read_file("filtered.wav");
  EXPECT_EQ(run_program("-f in.wav to-ro.wav").code, 0);
  EXPECT_EQ(read_file(read_only_file), filtered);
  EXPECT_EQ(fs::status(read_only_file).permissions(), fs::perms(0444));
  EXPECT_EQ(run_program("--in-place in.wav to-in.wav").code, 0);
  EXPECT_EQ(read_file("in.wav"), filtered);
  EXPECT_EQ(read_file("hard.wav"), original);
  EXPECT_TRUE(fs::is_symlink("to-in.wav") && fs::is_symlink("to-ro.wav"));
  EXPECT_EQ(listing().size(), before.size() + 1);
}

TEST_F(WaveFilter, TheHeaderIsWrittenBeforeAnyPassAndAFailedWriteEndsTheRun) {
  write_file("in.wav", wave_file({}, Samples(60 * 11025)));  // 646 passes
  write_file("out.wav", Bytes{'o', 'l', 'd'});
  const auto before = listing();
  // A file size limit below the header's 44 bytes (SIGXFSZ ignored: EFBIG).
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
  const rlimit below_header{40, limit.rlim_max};
  signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &below_header), 0);
  unsigned passes = 0;
  const auto failure = filter({}, "in.wav", "out.wav", {{}, [&](auto, auto) { ++passes; }, {}});
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  EXPECT_EQ(passes, 0u);
  EXPECT_EQ(failure, "out.wav: cannot write: File too large");
  EXPECT_EQ(listing(), before);
}

TEST_F(WaveFilter, ATerminalShowsABarForInputsOverAMinuteUnlessQuiet) {
  write_file("long.wav", wave_file({}, Samples(70 * 11025)));
  write_file("short.wav", wave_file({}, Samples(50 * 11025)));
  const auto start = std::chrono::steady_clock::now();
  const std::string bar = batch_test::on_a_terminal("long.wav out.wav");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(bar.rfind("\r[", 0), 0u) << bar;
  EXPECT_NE(bar.find("\r[" + std::string(40, '#') + "] 100%  1:10 of 1:10\x1b[K\r\n"),
            std::string::npos);
  // Ten lines a second at most, the first and the last besides.
  std::size_t lines = 0;
  for (auto at = bar.find("\r["); at != std::string::npos; at = bar.find("\r[", at + 1)) ++lines;
  EXPECT_LE(static_cast<double>(lines), 2 + 10 * seconds);
  EXPECT_EQ(batch_test::on_a_terminal("short.wav out.wav"), "");
  EXPECT_EQ(batch_test::on_a_terminal("-q long.wav out.wav"), "");
}

}  // namespace
