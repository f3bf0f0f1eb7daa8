#include "batch/wave_filter.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "audio/chain_feed.h"
#include "batch/open_file.h"
#include "engine/filter_chain.h"
#include "files/replace_file.h"

namespace batch {
namespace {

constexpr std::size_t pass_samples = engine::samples_per_buffer;

// Input frames read at a time.
constexpr std::size_t read_frames = 16384;

std::string channels_text(unsigned channels) {
  if (channels == 1) return "mono";
  if (channels == 2) return "stereo";
  return std::to_string(channels) + " channels";
}

std::string layout_refusal(files::WaveError error) {
  switch (error) {
    case files::WaveError::not_riff:
      return "found no RIFF header";
    case files::WaveError::not_wave:
      return "found a RIFF file that is not WAVE";
    case files::WaveError::fmt_incorrect:
      return "found no format chunk of 16 bytes or more first";
    case files::WaveError::no_data:
      return "found no data chunk";
    case files::WaveError::none:
      break;
  }
  return {};
}

constexpr std::string_view accepted =
    "; accepts 16-bit PCM WAV, mono or stereo, at 1000 to 768000 Hz";

std::string line(const std::string& path, const std::string& message) {
  return path + ": " + message;
}

std::string system_error(const std::string& path, const char* doing, int error) {
  return line(path, std::string(doing) + ": " + std::strerror(error));
}

// Output bytes gathered into large writes.
class Output {
 public:
  explicit Output(const std::string& path) : file_(path) { buffer_.reserve(buffer_bytes); }
  bool ok() const { return file_.ok(); }
  int error() const { return file_.error(); }

  void write(std::span<const std::uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    if (buffer_.size() >= buffer_bytes) flush();
  }

  bool commit() {
    flush();
    return file_.commit();
  }

 private:
  static constexpr std::size_t buffer_bytes = 1 << 16;

  void flush() {
    file_.write(buffer_);
    buffer_.clear();
  }

  files::ReplacingFile file_;
  std::vector<std::uint8_t> buffer_;
};

// Gathers mono 16-bit samples at 11025 Hz into passes and writes what each
// pass puts out, up to `total` samples; further samples are dropped.
class Passes {
 public:
  Passes(engine::FilterChain& chain, Output& output, std::uint64_t total,
         const Progress& progress)
      : chain_(chain), output_(output), total_(total), progress_(progress) {}

  bool full() const { return taken_ >= total_; }

  void add(std::span<const std::uint8_t> mono) {
    while (!mono.empty() && !full()) {
      const std::size_t room =
          std::min<std::uint64_t>(captured_.size() - filled_, 2 * (total_ - taken_));
      const std::size_t count = std::min(room, mono.size());
      std::copy_n(mono.begin(), count, captured_.begin() + static_cast<std::ptrdiff_t>(filled_));
      filled_ += count;
      taken_ += count / 2;
      mono = mono.subspan(count);
      if (filled_ == captured_.size() || full()) run();
    }
  }

  // Pads what is missing with silence.
  void finish() {
    while (!full()) {
      const std::array<std::uint8_t, 2 * pass_samples> silence{};
      add(silence);
    }
  }

 private:
  // One pass over the gathered samples, the rest of the block silent.
  void run() {
    std::fill(captured_.begin() + static_cast<std::ptrdiff_t>(filled_), captured_.end(), 0);
    chain_.process(captured_, mono_input, packed_, false);
    output_.write(std::span(packed_).first(filled_));
    filled_ = 0;
    if (progress_) progress_(taken_, total_);
  }

  // The passes take their samples as a mono input.
  static constexpr std::int32_t mono_input = 1;

  engine::FilterChain& chain_;
  Output& output_;
  const std::uint64_t total_;
  const Progress& progress_;
  std::array<std::uint8_t, 2 * pass_samples> captured_{};
  std::array<std::uint8_t, 2 * pass_samples> packed_{};
  std::size_t filled_ = 0;   // bytes gathered for the next pass
  std::uint64_t taken_ = 0;  // samples gathered in all
};

// The input's frames, read a piece at a time.
class Input {
 public:
  Input(std::FILE* file, const files::WaveLayout& layout)
      : source_(file),
        at_(layout.data_offset),
        align_(layout.format.block_align),
        frames_left_(layout.data_size / layout.format.block_align),
        frames_(read_frames * align_) {}

  // The next frames, none at the end; false on a read error.
  bool next(std::span<const std::uint8_t>& frames) {
    const std::size_t count = std::min<std::uint64_t>(read_frames, frames_left_);
    const std::size_t bytes = count * align_;
    if (source_.read_at(at_, std::span(frames_).first(bytes)) != bytes) return false;
    at_ += bytes;
    frames_left_ -= count;
    frames = std::span(frames_).first(bytes);
    return true;
  }

 private:
  files::FileSource source_;
  std::uint64_t at_;
  const std::size_t align_;
  std::uint64_t frames_left_;
  std::vector<std::uint8_t> frames_;
};

}  // namespace

std::optional<std::string> format_refusal(const files::WaveFormat& f) {
  std::string found;
  if (f.format_tag == 3) {
    found = "found " + std::to_string(f.bits_per_sample) + "-bit float samples";
  } else if (f.format_tag == 0xFFFE) {
    found = "found the extensible format (tag 0xFFFE)";
  } else if (f.format_tag != 1) {
    found = "found compressed audio (format tag " + std::to_string(f.format_tag) + ")";
  } else if (f.bits_per_sample != 16) {
    found = "found " + std::to_string(f.bits_per_sample) + "-bit PCM";
  } else if (f.channels != 1 && f.channels != 2) {
    found = "found " + channels_text(f.channels);
  } else if (f.block_align != 2 * f.channels) {
    found = "found a block align of " + std::to_string(f.block_align) + " for " +
            channels_text(f.channels) + " 16-bit PCM";
  } else if (f.samples_per_sec < lowest_rate || f.samples_per_sec > highest_rate) {
    found = "found a rate of " + std::to_string(f.samples_per_sec) + " Hz";
  } else {
    return std::nullopt;
  }
  return found + std::string(accepted);
}

std::optional<std::string> filter_wave(engine::FilterChain& chain, const std::string& input,
                                       const std::string& output, Channel channel,
                                       const RunHooks& hooks) {
  const FileHandle file = open_for_reading(input);
  if (!file) return system_error(input, "cannot open", errno);
  files::FileSource header_source(file.get());
  const files::WaveRead read = files::read_wave_layout(header_source);
  if (read.error != files::WaveError::none) {
    return line(input, layout_refusal(read.error) + std::string(accepted));
  }
  const files::WaveLayout& layout = read.layout;
  if (const auto refusal = format_refusal(layout.format)) return line(input, *refusal);

  audio::ChainFeed feed(layout.format.channels, layout.format.samples_per_sec,
                        channel == Channel::right ? 1 : 0);
  if (!feed.ready()) return line(input, "the rate converter could not be set up");
  const std::uint64_t total = feed.samples_for(layout.data_size / layout.format.block_align);
  if (2 * total + 36 > std::numeric_limits<std::uint32_t>::max()) {
    return line(output, "the filtered audio would not fit in a WAV file (4 GiB at most)");
  }
  if (hooks.planned) hooks.planned({total, static_cast<double>(total) / audio::chain_rate});

  Output out(output);
  if (!out.ok()) return system_error(output, "cannot write", out.error());
  out.write(files::recording_header(static_cast<std::uint32_t>(2 * total)));

  Passes passes(chain, out, total, hooks.progress);
  const auto sink = [&passes](std::span<const std::uint8_t> bytes) { passes.add(bytes); };
  Input samples(file.get(), layout);
  std::span<const std::uint8_t> frames;
  const auto stopped = [&hooks] { return hooks.stop && hooks.stop->received() != 0; };
  while (!passes.full() && out.ok()) {
    if (stopped()) return line(output, "stopped by a signal");
    if (!samples.next(frames)) return system_error(input, "cannot read", errno != 0 ? errno : EIO);
    if (frames.empty()) break;
    feed.add(frames, sink);
  }
  feed.finish(sink);
  passes.finish();
  if (!out.commit()) return system_error(output, "cannot write", out.error());
  return std::nullopt;
}

}  // namespace batch
