#include "batch/wave_filter.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "audio/chain_feed.h"
#include "batch/endpoints.h"
#include "batch/open_file.h"
#include "engine/filter_chain.h"

namespace batch {
namespace {

// Input frames read at a time.
constexpr std::size_t read_frames = 16384;

std::string line(const std::string& path, const std::string& message) {
  return path + ": " + message;
}

std::string system_error(const std::string& path, const char* doing, int error) {
  return line(path, std::string(doing) + ": " + std::strerror(error));
}

// Gathers mono 16-bit samples at 11025 Hz into passes of the chain's length
// and writes what each pass puts out, up to `total` samples; further
// samples are dropped. No pass runs once the output has failed or a stop
// signal has come.
class Passes {
 public:
  Passes(engine::FilterChain& chain, OutputEnd& output, std::uint64_t total,
         const Progress& progress, const StopSignals& stop)
      : chain_(chain),
        output_(output),
        total_(total),
        progress_(progress),
        stop_(stop),
        pass_bytes_(2 * static_cast<std::size_t>(chain.pass_samples())) {}

  bool full() const { return taken_ >= total_; }
  bool ended() const { return !output_.ok() || stop_.received() != 0; }
  std::uint64_t taken() const { return taken_; }

  // The total once known at the end; never below what was taken.
  void set_total(std::uint64_t total) { total_ = std::max(total, taken_); }

  void add(std::span<const std::uint8_t> mono) {
    while (!mono.empty() && !full() && !ended()) {
      const std::size_t room =
          std::min<std::uint64_t>(pass_bytes_ - filled_, 2 * (total_ - taken_));
      const std::size_t count = std::min(room, mono.size());
      std::copy_n(mono.begin(), count, captured_.begin() + static_cast<std::ptrdiff_t>(filled_));
      filled_ += count;
      taken_ += count / 2;
      mono = mono.subspan(count);
      if (filled_ == pass_bytes_ || full()) run();
    }
  }

  // Pads what is missing with silence, and runs the samples still gathered:
  // a total set at the end may fall inside the last pass.
  void finish() {
    while (!full() && !ended()) {
      const std::array<std::uint8_t, 2 * engine::samples_per_buffer> silence{};
      add(silence);
    }
    if (filled_ > 0 && !ended()) run();
  }

 private:
  // One pass over the gathered samples, the rest of the block silent.
  void run() {
    std::fill(captured_.begin() + static_cast<std::ptrdiff_t>(filled_),
              captured_.begin() + static_cast<std::ptrdiff_t>(pass_bytes_), 0);
    chain_.process(captured_, mono_input, packed_, false);
    output_.write(std::span(packed_).first(filled_));
    filled_ = 0;
    if (progress_) progress_(taken_, total_);
  }

  // The passes take their samples as a mono input.
  static constexpr std::int32_t mono_input = 1;

  engine::FilterChain& chain_;
  OutputEnd& output_;
  std::uint64_t total_;
  const Progress& progress_;
  const StopSignals& stop_;
  const std::size_t pass_bytes_;
  std::array<std::uint8_t, 2 * engine::samples_per_buffer> captured_{};
  std::array<std::uint8_t, 2 * engine::samples_per_buffer> packed_{};
  std::size_t filled_ = 0;   // bytes gathered for the next pass
  std::uint64_t taken_ = 0;  // samples gathered in all
};

// The input's frames, read a piece at a time; a stream may end before the
// layout's size.
class Input {
 public:
  Input(InputEnd& end, const files::WaveLayout& layout)
      : end_(end),
        at_(layout.data_offset),
        align_(layout.format.block_align),
        frames_left_(layout.data_size / layout.format.block_align),
        frames_(read_frames * align_) {}

  std::uint64_t frames_read() const { return frames_read_; }

  // The next whole frames, none at the end; false on a read error.
  bool next(std::span<const std::uint8_t>& frames) {
    const std::size_t count = std::min<std::uint64_t>(read_frames, frames_left_);
    const std::size_t bytes = count * align_;
    const std::size_t read = end_.source().read_at(at_, std::span(frames_).first(bytes));
    if (read != bytes) {
      if (end_.failed()) return false;
      frames_left_ = 0;
    } else {
      frames_left_ -= count;
    }
    const std::size_t whole = read / align_;
    at_ += read;
    frames_read_ += whole;
    frames = std::span(frames_).first(whole * align_);
    return true;
  }

 private:
  InputEnd& end_;
  std::uint64_t at_;
  const std::size_t align_;
  std::uint64_t frames_left_;
  std::uint64_t frames_read_ = 0;
  std::vector<std::uint8_t> frames_;
};

// The header with the sizes of `samples` samples, or "to the end" ones.
std::array<std::uint8_t, 44> header_for(std::optional<std::uint64_t> samples) {
  if (samples) return files::recording_header(static_cast<std::uint32_t>(2 * *samples));
  std::array<std::uint8_t, 44> header = files::recording_header(0);
  files::put_u32(std::span(header).subspan<files::riff_size_offset, 4>(), 0xFFFFFFFF);
  files::put_u32(std::span(header).subspan<files::data_size_offset, 4>(), 0xFFFFFFFF);
  return header;
}

}  // namespace

std::optional<std::uint64_t> planned_samples(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  const FileHandle file = open_for_reading(path);
  if (!file) return std::nullopt;
  files::FileSource source(file.get());
  const files::WaveRead read = files::read_wave_layout(source);
  if (read.error != files::WaveError::none || files::format_refusal(read.layout))
    return std::nullopt;
  const audio::ChainFeed feed(read.layout.format.channels, read.layout.format.samples_per_sec, 0);
  return feed.samples_for(read.layout.data_size / read.layout.format.block_align);
}

std::optional<std::string> filter_wave(engine::FilterChain& chain, const std::string& input,
                                       const std::string& output, Channel channel,
                                       const StopSignals& stop, const RunHooks& hooks) {
  const std::string in_name = shown_name(input, "standard input");
  const std::string out_name = shown_name(output, "standard output");
  const auto stopped = [&] { return stop.received() != 0; };
  const std::string stopped_line = line(out_name, "stopped by a signal");

  InputEnd in(input, stop, hooks.notice);
  if (in.error() != 0) return system_error(in_name, "cannot open", in.error());
  const files::WaveRead read = files::read_wave_layout(in.source());
  if (stopped()) return stopped_line;
  if (in.failed()) return system_error(in_name, "cannot read", errno != 0 ? errno : EIO);
  if (read.error != files::WaveError::none) {
    return line(in_name, files::header_refusal(read));
  }
  const files::WaveLayout& layout = read.layout;
  if (const auto refusal = files::format_refusal(layout)) return line(in_name, *refusal);
  if (const auto warning = files::size_warning(layout); warning && hooks.notice) {
    hooks.notice(line(in_name, *warning));
  }

  audio::ChainFeed feed(layout.format.channels, layout.format.samples_per_sec,
                        channel == Channel::right ? 1 : 0);
  if (!feed.ready()) return line(in_name, "the rate converter could not be set up");
  // A stream whose header gives no size runs to its end, up to what a WAV
  // file holds.
  constexpr std::uint64_t most_samples = (std::numeric_limits<std::uint32_t>::max() - 36) / 2;
  const std::optional<std::uint64_t> known =
      layout.to_the_end
          ? std::nullopt
          : std::optional(feed.samples_for(layout.data_size / layout.format.block_align));
  if (known > most_samples) {
    return line(out_name, "the filtered audio would not fit in a WAV file (4 GiB at most)");
  }
  if (hooks.planned) {
    hooks.planned({known.value_or(0), static_cast<double>(known.value_or(0)) / files::chain_rate,
                   known.has_value()});
  }

  OutputEnd out(output, stop, hooks.notice);
  const auto write_failure = [&] {
    return stopped() ? stopped_line : system_error(out_name, "cannot write", out.error());
  };
  // The header reaches the output before the first pass, so that an output
  // that takes nothing fails before the work.
  out.write(header_for(known));
  if (!out.flush()) return write_failure();

  Passes passes(chain, out, known.value_or(most_samples), hooks.progress, stop);
  const auto sink = [&passes](std::span<const std::uint8_t> bytes) { passes.add(bytes); };
  Input samples(in, layout);
  std::span<const std::uint8_t> frames;
  while (!passes.full() && !passes.ended()) {
    if (!samples.next(frames)) {
      return stopped() ? stopped_line
                       : system_error(in_name, "cannot read", errno != 0 ? errno : EIO);
    }
    if (frames.empty()) break;
    feed.add(frames, sink);
  }
  if (!known) passes.set_total(std::min(feed.samples_for(samples.frames_read()), most_samples));
  feed.finish(sink);
  passes.finish();
  const std::optional<std::array<std::uint8_t, 44>> final_header =
      known ? std::nullopt : std::optional(header_for(passes.taken()));
  if (passes.ended() || !out.commit(final_header)) return write_failure();
  return std::nullopt;
}

}  // namespace batch
