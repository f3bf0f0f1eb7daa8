#include "files/transport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "audio/chain_feed.h"
#include "tests/files/hostile_targets.h"
#include "tests/files/own_folder.h"
#include "tests/support/allocations.h"
#include "tests/support/wave_bytes.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using files::RecordOutcome;

constexpr std::size_t block_bytes = 2048;

// A block of output whose bytes tell which block it is.
Bytes block(int number) {
  Bytes bytes(block_bytes);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(number * 31 + i);
  }
  return bytes;
}

// `count` bytes of a file from `offset`, of files too large to read whole.
Bytes bytes_at(const fs::path& path, std::uint64_t offset, std::size_t count) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  Bytes bytes(count);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
  return bytes;
}

// The two size fields of a recording's header: RIFF's and data's.
using Sizes = std::pair<std::uint32_t, std::uint32_t>;
Sizes sizes_of(const fs::path& path) {
  const Bytes header = bytes_at(path, 0, 44);
  return {test_support::u32_at(header, files::riff_size_offset),
          test_support::u32_at(header, files::data_size_offset)};
}
Sizes sizes_for(std::uint64_t data) {
  return {static_cast<std::uint32_t>(data + 36), static_cast<std::uint32_t>(data)};
}

// A file holds a recording of the blocks numbered 0 .. count - 1, and
// nothing more, when it reads back as exactly those samples.
void expect_recording_of_blocks(const fs::path& path, int count) {
  Bytes expected;
  for (int number = 0; number < count; ++number) {
    const Bytes next = block(number);
    expected.insert(expected.end(), next.begin(), next.end());
  }
  const Bytes bytes = test_support::read_file(path);
  files::MemorySource source(bytes);
  const files::WaveRead read = files::read_wave_layout(source);
  ASSERT_EQ(read.error, files::WaveError::none);
  EXPECT_EQ(files::format_refusal(read.layout), std::nullopt);
  EXPECT_EQ(read.layout.data_offset, 44u);
  EXPECT_EQ(read.layout.data_size, expected.size());
  EXPECT_EQ(sizes_of(path), sizes_for(expected.size()));
  EXPECT_EQ(Bytes(bytes.begin() + 44, bytes.end()), expected);
}

using Transport = files_test::OwnFolder;

TEST_F(Transport, EachBlockIsOnTheDiskAndCountedInTheHeaderAsItIsAppended) {
  const fs::path path = folder_ / "out.wav";
  std::ofstream(path) << "an older file that the recording replaces";
  files::Transport transport;
  ASSERT_TRUE(transport.create_record_file(path.string()));
  EXPECT_EQ(fs::file_size(path), 44u);
  for (int number = 0; number < 3; ++number) {
    EXPECT_EQ(transport.append_record_block(block(number)), RecordOutcome::appended);
    // Read back while the file is still open, as after a crash.
    expect_recording_of_blocks(path, number + 1);
  }
  EXPECT_EQ(transport.record_byte_count, 3 * block_bytes);
  EXPECT_TRUE(transport.finish_record_file());
  EXPECT_FALSE(transport.record_file_open);
  expect_recording_of_blocks(path, 3);
}

// What a recording in a child process limited to `file_limit` bytes a file
// came to: the system refuses to write past the limit with EFBIG, as on a
// full disk.
struct LimitedRecording {
  bool created = false;
  int blocks_appended = 0;
  RecordOutcome outcome = RecordOutcome::appended;
  std::uint64_t byte_count = 0;
  std::int32_t file_open = -1;
  int error = 0;
};

LimitedRecording record_with_file_limit(const fs::path& path, rlim_t file_limit) {
  int pipe_ends[2];
  if (::pipe(pipe_ends) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe_ends[0]);
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{file_limit, file_limit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    LimitedRecording result;
    files::Transport transport;
    result.created = transport.create_record_file(path.string());
    for (int number = 0; result.created && number < 10; ++number) {
      result.outcome = transport.append_record_block(block(number));
      if (result.outcome != RecordOutcome::appended) break;
      ++result.blocks_appended;
    }
    result.byte_count = transport.record_byte_count;
    result.file_open = transport.record_file_open;
    result.error = transport.record_error;
    const bool sent = ::write(pipe_ends[1], &result, sizeof result) == sizeof result;
    ::_exit(sent ? 0 : 1);
  }
  ::close(pipe_ends[1]);
  LimitedRecording result;
  const bool received = ::read(pipe_ends[0], &result, sizeof result) == sizeof result;
  ::close(pipe_ends[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(received && WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return result;
}

TEST_F(Transport, AFailedWriteStopsTheRecordingLeavingAValidFileOfTheWholeBlocks) {
  const fs::path path = folder_ / "full.wav";
  struct Case {
    const char* name;
    rlim_t file_limit;
    int whole_blocks;
  };
  for (const Case& c : {Case{"the limit inside the third block", 44 + 2 * block_bytes + 1000, 2},
                        Case{"the limit at the end of the third block", 44 + 3 * block_bytes, 3},
                        Case{"the limit one byte into the first block", 45, 0}}) {
    SCOPED_TRACE(c.name);
    const LimitedRecording result = record_with_file_limit(path, c.file_limit);
    ASSERT_TRUE(result.created);
    EXPECT_EQ(result.blocks_appended, c.whole_blocks);
    EXPECT_EQ(result.outcome, RecordOutcome::write_failed);
    EXPECT_EQ(result.error, EFBIG);
    EXPECT_EQ(result.file_open, 0);
    EXPECT_EQ(result.byte_count, c.whole_blocks * block_bytes);
    // The part of the block that was written is cut off again.
    EXPECT_EQ(fs::file_size(path), 44 + c.whole_blocks * block_bytes);
    expect_recording_of_blocks(path, c.whole_blocks);
  }
  // No room for the header: nothing is open.
  EXPECT_FALSE(record_with_file_limit(path, 20).created);
}

TEST_F(Transport, AFileRemovedWhileRecordingStopsTheRecording) {
  const fs::path path = folder_ / "gone.wav";
  files::Transport transport;
  ASSERT_TRUE(transport.create_record_file(path.string()));
  ASSERT_EQ(transport.append_record_block(block(0)), RecordOutcome::appended);
  fs::remove(path);
  EXPECT_EQ(transport.append_record_block(block(1)), RecordOutcome::file_removed);
  EXPECT_FALSE(transport.record_file_open);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(files::record_report(RecordOutcome::file_removed).caption, "Record Error");
}

// Recordings many hours long, in sparse files: the hours before the last
// blocks are a hole the system reads as silence.
TEST_F(Transport, ALongRecordingKeepsItsSizesRightAndStopsBeforeTheLargestAWaveFileHolds) {
  ASSERT_EQ(files::max_record_bytes + 36, 0xFFFF'FFFEull);
  const fs::path path = folder_ / "long.wav";
  struct Case {
    const char* name;
    std::uint64_t held;  // before two more blocks
    RecordOutcome second;
  };
  for (const Case& c :
       {Case{"40 hours at 22050 bytes a second: past 2 GiB", 3ull << 30, RecordOutcome::appended},
        Case{"one block of room", files::max_record_bytes - block_bytes, RecordOutcome::size_limit},
        Case{"less than two blocks of room", files::max_record_bytes - 2 * block_bytes + 2,
             RecordOutcome::size_limit}}) {
    SCOPED_TRACE(c.name);
    files::Transport transport;
    ASSERT_TRUE(transport.create_record_file(path.string()));
    transport.record_byte_count = c.held;
    ASSERT_EQ(transport.append_record_block(block(0)), RecordOutcome::appended);
    EXPECT_EQ(transport.append_record_block(block(1)), c.second);
    const int blocks = c.second == RecordOutcome::appended ? 2 : 1;
    const std::uint64_t held = c.held + blocks * block_bytes;
    EXPECT_EQ(transport.record_byte_count, held);
    EXPECT_EQ(transport.record_file_open, blocks == 2);
    if (transport.record_file_open) {
      ASSERT_TRUE(transport.finish_record_file());
    }
    EXPECT_EQ(sizes_of(path), sizes_for(held));
    EXPECT_EQ(fs::file_size(path), 44 + held);
    EXPECT_EQ(bytes_at(path, 44 + held - block_bytes, block_bytes), block(blocks - 1));
  }
}

// The play's file, where it stands in it and what is left: what a file that
// is refused leaves as it was.
auto play_state(const files::Transport& transport) {
  return std::tuple(transport.play_file_open, transport.play_file,
                    transport.play_file != nullptr ? ftello(transport.play_file) : -1,
                    transport.play_bytes_left);
}

// Plays a second of silence at 11025 Hz from `path`, one pass in.
void start_playing(files::Transport& transport, const fs::path& path) {
  const test_support::Samples silence(11025);
  test_support::write_file(path.string(), test_support::wave_file({}, silence));
  ASSERT_FALSE(transport.open_play_file(path.string()).has_value());
  Bytes captured(2048);
  transport.read_play_pass(captured, 1, 1024);
}

TEST_F(Transport, NothingIsWrittenOrPlayedWhereItMayNotBeAndThePlayAndRecordingGoOn) {
  files::Transport transport;
  start_playing(transport, folder_ / "play.wav");
  const auto playing = play_state(transport);
  fs::path recording = folder_ / "first.wav";
  ASSERT_TRUE(transport.create_record_file(recording.string()));
  int blocks = 0;
  std::vector<files_test::Hostile> targets = files_test::hostile_targets(folder_);
  fs::create_symlink("play.wav", folder_ / "play-link");
  using enum files::Standing;
  const std::string played = "is the file being played";
  targets.insert(targets.end() - 2,
                 {{"the play file", folder_ / "play.wav", regular, played},
                  {"a link to the play file", folder_ / "play-link", regular, played},
                  {"the file being recorded", recording, regular, "is the file being recorded"}});
  const auto header = files::recording_header(0);
  for (const files_test::Hostile& target : targets) {
    SCOPED_TRACE(target.name);
    const files_test::OnDisk before = files_test::on_disk(target.path);
    std::optional<files::WaveReport> refusal;
    std::string why;
    bool created = false;
    files_test::without_waiting(folder_ / "fifo", [&] {
      if (target.standing == special) refusal = transport.open_play_file(target.path.string());
      created = transport.create_record_file(target.path.string(), &why);
    });
    EXPECT_EQ(refusal.value_or(files::WaveReport{}).text,
              target.standing == special ? "Not a regular file" : "");
    EXPECT_EQ(play_state(transport), playing);
    EXPECT_EQ(why, target.refusal.empty() ? "" : "it " + target.refusal);
    EXPECT_EQ(
        files_test::on_disk(target.path),
        created ? files_test::written(before, std::string(header.begin(), header.end())) : before);
    // A new recording takes the place of the one before, finished.
    if (created) {
      expect_recording_of_blocks(recording, blocks);
      recording = target.path;
      blocks = 0;
    }
    EXPECT_TRUE(transport.record_file_open);
    ASSERT_EQ(transport.append_record_block(block(blocks)), RecordOutcome::appended);
    expect_recording_of_blocks(recording, ++blocks);
  }

  // A FIFO that is being read is refused all the same, and given nothing.
  const int reader = ::open((folder_ / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_FALSE(transport.create_record_file((folder_ / "fifo").string()));
  char byte = 0;
  EXPECT_LE(::read(reader, &byte, 1), 0);
  ::close(reader);

  const auto missing = transport.open_play_file((folder_ / "missing.wav").string());
  EXPECT_EQ(missing.value_or(files::WaveReport{}).text, "Could not open the file");
  EXPECT_EQ(play_state(transport), playing);
}

// A file to play: a tone on the left, another on the right (stereo), in
// 16-bit PCM of `shape`.
test_support::Bytes play_file_bytes(const test_support::WaveShape& shape, std::size_t frames) {
  test_support::Samples samples;
  for (std::size_t n = 0; n < frames; ++n) {
    const double t = static_cast<double>(n) / shape.rate;
    const double phase = 2 * std::numbers::pi * t;
    samples.push_back(static_cast<std::int16_t>(12000 * std::sin(phase * 700)));
    if (shape.channels == 2) {
      samples.push_back(static_cast<std::int16_t>(9000 * std::sin(phase * 1900)));
    }
  }
  return test_support::wave_file(shape, samples);
}

// What the cycle takes from a play: passes of 1024 frames while
// play_bytes_left is positive. The first channel of each frame, whether the
// others were equal to it, and the allocations the passes made.
struct Played {
  Bytes mono;
  bool channels_alike = true;
  int passes = 0;
  long allocations = 0;
};
Played play_through(files::Transport& transport, int input_channels) {
  Played played;
  std::vector<std::uint8_t> captured(16386);
  while (transport.play_bytes_left > 0 && played.passes < 100000) {
    const long before = test_support::allocations();
    transport.read_play_pass(captured, input_channels, 1024);
    played.allocations += test_support::allocations() - before;
    ++played.passes;
    for (std::size_t frame = 0; frame < 1024; ++frame) {
      const std::uint8_t* at = captured.data() + frame * 2 * input_channels;
      played.mono.insert(played.mono.end(), at, at + 2);
      if (input_channels == 2 && (at[0] != at[2] || at[1] != at[3])) played.channels_alike = false;
    }
  }
  return played;
}

// What the chain's feed makes of the left channel of `file`'s frames.
Bytes fed(const Bytes& file, std::uint16_t channels, std::uint32_t rate, std::size_t frames) {
  audio::ChainFeed chain_feed(channels, rate, 0);
  Bytes out;
  const auto sink = [&out](std::span<const std::uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
  };
  chain_feed.add(std::span(file).subspan(file.size() - frames * 2 * channels), sink);
  chain_feed.finish(sink);
  return out;
}

TEST_F(Transport, AFileAtAnotherRatePlaysItsLeftChannelThroughTheChainsFeedToItsExactEnd) {
  struct Case {
    std::uint32_t rate;
    std::uint16_t channels;
    int input_channels;
    std::size_t frames;
    std::optional<std::uint16_t> sub_format;
  };
  for (const Case& c : {Case{44100, 2, 2, 3 * 44100 + 7, {}}, Case{44100, 2, 1, 44100, {}},
                        Case{8000, 1, 2, 8000 * 2 + 1, {}}, Case{48000, 2, 1, 48000, 1},
                        Case{1000, 1, 1, 1001, {}}, Case{768000, 2, 2, 768000 / 2 + 3, {}}}) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " channels to "
                                    << c.input_channels << (c.sub_format ? ", extensible" : ""));
    const Bytes file = play_file_bytes(test_support::shape_with([&](test_support::WaveShape& w) {
                                         w.rate = c.rate;
                                         w.channels = c.channels;
                                         w.sub_format = c.sub_format;
                                       }),
                                       c.frames);
    const fs::path path = folder_ / "play.wav";
    test_support::write_file(path.string(), file);
    files::Transport transport;
    ASSERT_FALSE(transport.open_play_file(path.string()).has_value());
    const Bytes expected = fed(file, c.channels, c.rate, c.frames);
    ASSERT_EQ(expected.size(),
              2 * static_cast<std::size_t>(std::llround(c.frames * 11025.0 / c.rate)));
    EXPECT_EQ(transport.play_bytes_left, static_cast<std::int64_t>(expected.size()));

    const Played played = play_through(transport, c.input_channels);
    EXPECT_EQ(played.allocations, 0);
    EXPECT_EQ(played.passes, static_cast<int>((expected.size() / 2 + 1023) / 1024));
    EXPECT_EQ(transport.play_bytes_left, 0);
    EXPECT_TRUE(played.channels_alike);
    ASSERT_GE(played.mono.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), played.mono.begin()));
    EXPECT_TRUE(std::all_of(played.mono.begin() + static_cast<std::ptrdiff_t>(expected.size()),
                            played.mono.end(), [](std::uint8_t b) { return b == 0; }));
  }
}

TEST_F(Transport, AConvertedFileCutShortWhilePlayingEndsAfterTheSamplesOfTheFramesItKept) {
  const std::size_t frames = 30000;
  test_support::WaveShape shape;
  shape.rate = 22050;
  shape.channels = 2;
  const Bytes file = play_file_bytes(shape, 10 * frames);
  const fs::path path = folder_ / "cut.wav";
  test_support::write_file(path.string(), file);
  files::Transport transport;
  ASSERT_FALSE(transport.open_play_file(path.string()).has_value());
  EXPECT_EQ(transport.play_bytes_left, 2 * 10 * 15000);
  fs::resize_file(path, 44 + frames * 4 + 3);
  const Bytes kept(file.begin(), file.begin() + 44 + frames * 4);
  const Bytes expected = fed(kept, 2, 22050, frames);
  const Played played = play_through(transport, 2);
  EXPECT_EQ(played.passes, (15000 + 1023) / 1024);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), played.mono.begin()));
  EXPECT_TRUE(std::all_of(played.mono.begin() + 2 * 15000, played.mono.end(),
                          [](std::uint8_t b) { return b == 0; }));
}

TEST_F(Transport, FilesTonewellFilterRefusesAreRefusedAndThePlayGoesOn) {
  const auto shape = [](std::uint16_t bits, std::uint32_t rate, std::uint16_t channels = 1,
                        std::uint16_t tag = 1, std::optional<std::uint16_t> sub_format = {}) {
    test_support::WaveShape w;
    w.bits = bits;
    w.rate = rate;
    w.channels = channels;
    w.format_tag = tag;
    w.sub_format = sub_format;
    return w;
  };
  files::Transport transport;
  start_playing(transport, folder_ / "play.wav");
  const auto playing = play_state(transport);
  const std::pair<const char*, test_support::WaveShape> cases[] = {
      {"24-bit PCM", shape(24, 44100)},
      {"24-bit PCM at 11025 Hz", shape(24, 11025)},
      {"32-bit float", shape(32, 48000, 1, 3)},
      {"24-bit extensible", shape(24, 48000, 1, 1, 1)},
      {"32-bit float extensible", shape(32, 48000, 1, 1, 3)},
      {"three channels", shape(16, 44100, 3)},
      {"999 Hz", shape(16, 999)},
      {"768001 Hz", shape(16, 768001)},
  };
  for (const auto& [name, file_shape] : cases) {
    SCOPED_TRACE(name);
    const fs::path path = folder_ / "refused.wav";
    const Bytes file = play_file_bytes(file_shape, 100);
    test_support::write_file(path.string(), file);
    files::MemorySource source(file);
    const auto found = files::format_refusal(files::read_wave_layout(source).layout);
    const auto refusal = transport.open_play_file(path.string());
    ASSERT_TRUE(refusal.has_value() && found.has_value());
    EXPECT_EQ(refusal->text, "Wave parameters not compatible: " + *found);
    EXPECT_EQ(play_state(transport), playing);
  }
}

// Sparse: the system reads the samples as silence.
TEST_F(Transport, APlayFileOfThreeGibibytesPlaysAllItsSamples) {
  const std::uint64_t gib_3 = 3ull << 30;
  const fs::path path = folder_ / "long.wav";
  for (const std::uint32_t declared : {0u, 0xFFFFFFFFu, static_cast<std::uint32_t>(gib_3)}) {
    const auto header = files::recording_header(declared);
    test_support::write_file(path.string(), Bytes(header.begin(), header.end()));
    fs::resize_file(path, 44 + gib_3);
    files::Transport transport;
    ASSERT_FALSE(transport.open_play_file(path.string()).has_value());
    EXPECT_EQ(transport.play_bytes_left, static_cast<std::int64_t>(gib_3)) << declared;
    EXPECT_EQ(transport.play_warning.has_value(), declared != gib_3) << declared;
  }
}

}  // namespace
