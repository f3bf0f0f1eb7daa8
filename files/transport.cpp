#include "files/transport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <tuple>
#include <utility>

#include "files/replace_file.h"

namespace files {
namespace {

// Writes all of `bytes` at `offset`; false (errno set) when the system takes
// fewer.
bool write_all_at(int fd, std::span<const std::uint8_t> bytes, std::uint64_t offset) {
  while (!bytes.empty()) {
    const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return false;
    if (written == 0) {
      errno = EIO;
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(written));
    offset += static_cast<std::uint64_t>(written);
  }
  return true;
}

bool write_u32_at(int fd, long offset, std::uint32_t value) {
  std::array<std::uint8_t, 4> bytes{};
  put_u32(bytes, value);
  return write_all_at(fd, bytes, static_cast<std::uint64_t>(offset));
}

// The 44-byte header before a recording's samples.
constexpr std::uint64_t header_bytes = std::tuple_size_v<decltype(recording_header(0))>;

struct Opened {
  int fd = -1;               // -1 when refused
  bool not_regular = false;  // refused as a FIFO, a device or a folder
};

// Opens `path` without waiting on a FIFO or a device: O_NONBLOCK for the open
// itself, then anything but a regular file is closed again and refused. The
// descriptor returned is back in blocking mode.
Opened open_regular(const std::string& path, int flags) {
  Opened opened;
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) {
    // A FIFO no one reads cannot be opened for writing.
    opened.not_regular = errno == ENXIO || errno == EISDIR;
    return opened;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    opened.not_regular = status.st_mode != 0;
    ::close(fd);
    return opened;
  }
  const int status_flags = ::fcntl(fd, F_GETFL);
  if (status_flags < 0 || ::fcntl(fd, F_SETFL, status_flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return opened;
  }
  opened.fd = fd;
  return opened;
}

std::int16_t sample_at(const std::uint8_t* bytes) {
  return static_cast<std::int16_t>(bytes[0] | (bytes[1] << 8));
}

void put_sample(std::uint8_t* bytes, std::int16_t sample) {
  const auto bits = static_cast<std::uint16_t>(sample);
  bytes[0] = static_cast<std::uint8_t>(bits & 0xFF);
  bytes[1] = static_cast<std::uint8_t>(bits >> 8);
}

// Whether the open `fd` is the file at `path`.
bool same_file(int fd, const std::string& path) {
  struct stat open_file {};
  struct stat named {};
  return fd >= 0 && ::fstat(fd, &open_file) == 0 && ::stat(path.c_str(), &named) == 0 &&
         open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

// Frames of a file at another rate read at a time, at most.
constexpr std::size_t read_frames = 16384;

// Room for converted samples beyond a pass: what a read gives past the
// samples asked for (at most the rate ratio, 11 at 1000 Hz), and what the
// converter still holds at the end of the file (its delay: some 20 frames
// of the file, 230 samples at 1000 Hz).
constexpr std::size_t converted_spare = 2048;

}  // namespace

WaveReport record_report(RecordOutcome outcome) {
  switch (outcome) {
    case RecordOutcome::appended:
      break;
    case RecordOutcome::write_failed:
      return {"Record Error",
              "The Wave file could not be written (is the disk full?): recording stopped, the file "
              "keeps what was recorded before"};
    case RecordOutcome::file_removed:
      return {"Record Error", "The Wave file was removed while recording: recording stopped"};
    case RecordOutcome::size_limit:
      return {"Record Error",
              "The Wave file has reached the largest size a Wave file can have: recording stopped"};
  }
  return {};
}

Transport::~Transport() {
  finish_record_file();
  close_play_file();
}

// The two size fields for record_byte_count.
bool Transport::write_sizes() {
  const auto data = static_cast<std::uint32_t>(record_byte_count);
  return write_u32_at(record_fd_, riff_size_offset, data + 36) &&
         write_u32_at(record_fd_, data_size_offset, data);
}

bool Transport::create_record_file(const std::string& path, std::string* why) {
  const auto refuse = [why](std::string reason) {
    if (why != nullptr) *why = std::move(reason);
    return false;
  };
  if (same_file(play_file != nullptr ? ::fileno(play_file) : -1, path)) {
    return refuse("it is the file being played");
  }
  if (same_file(record_fd_, path)) return refuse("it is the file being recorded");
  const Target target = follow_links(path);
  if (target.standing == Standing::special || target.standing == Standing::read_only) {
    return refuse("it " + standing_text(target.standing));
  }
  const Opened opened = open_regular(path, O_WRONLY | O_CREAT);
  if (opened.fd < 0) {
    return refuse(opened.not_regular ? "it " + standing_text(Standing::special)
                                     : std::string(std::strerror(errno)));
  }
  const auto header = recording_header(0);
  if (::ftruncate(opened.fd, 0) != 0 || !write_all_at(opened.fd, header, 0)) {
    const int error = errno;
    ::close(opened.fd);
    return refuse(std::strerror(error));
  }
  finish_record_file();
  record_error = 0;
  record_fd_ = opened.fd;
  record_file_open = true;
  record_byte_count = 0;
  return true;
}

RecordOutcome Transport::append_record_block(std::span<const std::uint8_t> block) {
  if (block.size() > max_record_bytes - record_byte_count) {
    return stop_recording(RecordOutcome::size_limit);
  }
  // The block reaches the system before the sizes count it.
  if (!write_all_at(record_fd_, block, header_bytes + record_byte_count)) {
    record_error = errno;
    return stop_recording(RecordOutcome::write_failed);
  }
  record_byte_count += block.size();
  if (!write_sizes()) {
    record_error = errno;
    record_byte_count -= block.size();
    return stop_recording(RecordOutcome::write_failed);
  }
  struct stat status {};
  if (::fstat(record_fd_, &status) == 0 && status.st_nlink == 0) {
    return stop_recording(RecordOutcome::file_removed);
  }
  return RecordOutcome::appended;
}

// Ends a recording that cannot go on: the file is cut back to the whole
// blocks record_byte_count counts and finished.
RecordOutcome Transport::stop_recording(RecordOutcome outcome) {
  if (::ftruncate(record_fd_, static_cast<off_t>(header_bytes + record_byte_count)) != 0 &&
      record_error == 0) {
    record_error = errno;
  }
  finish_record_file();
  return outcome;
}

bool Transport::finish_record_file() {
  if (!record_file_open) return true;
  const bool sized = write_sizes();
  const bool closed = ::close(record_fd_) == 0;
  record_fd_ = -1;
  record_file_open = false;
  return sized && closed;
}

std::optional<WaveReport> Transport::open_play_file(const std::string& path) {
  const Opened opened = open_regular(path, O_RDONLY);
  if (opened.not_regular) return WaveReport{"File Error Message", "Not a regular file"};
  std::FILE* file = opened.fd < 0 ? nullptr : ::fdopen(opened.fd, "rb");
  if (file == nullptr) {
    if (opened.fd >= 0) ::close(opened.fd);
    return WaveReport{"File Open Error Message", "Could not open the file"};
  }
  FileSource source(file);
  const WaveRead read = read_wave_layout(source);
  const WaveLayout& layout = read.layout;
  std::optional<WaveReport> refusal;
  std::unique_ptr<audio::ChainFeed> feed;
  const std::uint32_t rate = layout.format.samples_per_sec;
  if (read.error != WaveError::none) {
    refusal = wave_report(read.error);
  } else if (const auto found = format_refusal(layout)) {
    refusal = WaveReport{"File Open Error Message", "Wave parameters not compatible: " + *found};
  } else if (rate != files::chain_rate) {
    feed = std::make_unique<audio::ChainFeed>(layout.format.channels, rate, 0);
    if (!feed->ready()) {
      refusal = WaveReport{"File Open Error Message", "Could not convert the file's rate"};
    }
  }
  if (refusal) {
    std::fclose(file);
    return refusal;
  }
  close_play_file();
  fseeko(file, static_cast<off_t>(layout.data_offset), SEEK_SET);
  play_file = file;
  play_file_open = true;
  play_channels = layout.format.channels;
  play_warning = size_warning(layout);
  converting_ = feed != nullptr;
  feed_ = std::move(feed);
  if (!converting_) {
    play_bytes_left = static_cast<std::int64_t>(layout.data_size);
    return std::nullopt;
  }
  play_rate_ = rate;
  play_frames_left_ = layout.data_size / layout.format.block_align;
  play_bytes_left = static_cast<std::int64_t>(2 * feed_->samples_for(play_frames_left_));
  feed_finished_ = false;
  file_frames_.resize(read_frames * 4);
  converted_.resize(2 * (max_play_frames + converted_spare));
  converted_bytes_ = 0;
  return std::nullopt;
}

void Transport::read_play_pass(std::span<std::uint8_t> captured, int input_channels, int frames) {
  if (converting_) {
    read_converted_pass(captured, input_channels, frames);
  } else {
    read_file_pass(captured, input_channels, frames);
  }
}

void Transport::read_file_pass(std::span<std::uint8_t> captured, int input_channels, int frames) {
  const int file_frame = play_channels * 2;
  const int input_frame = input_channels * 2;
  const int wanted = static_cast<int>(
      std::min<std::int64_t>(frames, std::max<std::int64_t>(play_bytes_left, 0) / file_frame));
  std::array<std::uint8_t, 4> frame{};
  int got = 0;
  for (; got < wanted; ++got) {
    if (std::fread(frame.data(), 1, static_cast<std::size_t>(file_frame), play_file) !=
        static_cast<std::size_t>(file_frame)) {
      break;
    }
    std::uint8_t* into = captured.data() + got * input_frame;
    if (play_channels == input_channels) {
      std::copy_n(frame.data(), input_frame, into);
    } else if (input_channels == 2) {
      const std::int16_t sample = sample_at(frame.data());
      put_sample(into, sample);
      put_sample(into + 2, sample);
    } else {
      put_sample(into, sample_at(frame.data()));
    }
  }
  std::fill(captured.begin() + got * input_frame, captured.begin() + frames * input_frame,
            std::uint8_t{0});
  play_bytes_left = got < wanted || got < frames ? 0 : play_bytes_left - got * file_frame;
}

// Reads and converts the file's frames until the samples gathered cover the
// pass, or the file has ended and the feed given its last samples, then
// hands the pass its samples and keeps the rest for the next.
void Transport::read_converted_pass(std::span<std::uint8_t> captured, int input_channels,
                                    int frames) {
  const auto gather = [this](std::span<const std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(),
              converted_.begin() + static_cast<std::ptrdiff_t>(converted_bytes_));
    converted_bytes_ += bytes.size();
  };
  const std::size_t frame_bytes = 2 * std::size_t{play_channels};
  std::size_t wanted = static_cast<std::size_t>(
      std::min<std::int64_t>(frames, std::max<std::int64_t>(play_bytes_left, 0) / 2));
  while (converted_bytes_ < 2 * wanted && !feed_finished_) {
    if (play_frames_left_ == 0) {
      feed_->finish(gather);
      feed_finished_ = true;
      // Now known to the sample: the file may have ended early.
      play_bytes_left = static_cast<std::int64_t>(converted_bytes_);
      wanted = std::min(wanted, converted_bytes_ / 2);
      break;
    }
    // The frames that give the missing samples, rounded up.
    const std::uint64_t missing = wanted - converted_bytes_ / 2;
    const std::uint64_t enough = (missing * play_rate_ + files::chain_rate - 1) / files::chain_rate;
    const std::size_t count = std::min<std::uint64_t>({read_frames, play_frames_left_, enough});
    const std::size_t got =
        std::fread(file_frames_.data(), 1, count * frame_bytes, play_file) / frame_bytes;
    play_frames_left_ = got < count ? 0 : play_frames_left_ - got;
    feed_->add(std::span(file_frames_).first(got * frame_bytes), gather);
  }
  const int input_frame = input_channels * 2;
  for (std::size_t i = 0; i < wanted; ++i) {
    std::uint8_t* into = captured.data() + i * static_cast<std::size_t>(input_frame);
    for (int c = 0; c < input_channels; ++c) {
      into[2 * c] = converted_[2 * i];
      into[2 * c + 1] = converted_[2 * i + 1];
    }
  }
  std::fill(captured.begin() + static_cast<std::ptrdiff_t>(wanted) * input_frame,
            captured.begin() + frames * input_frame, std::uint8_t{0});
  std::copy(converted_.begin() + static_cast<std::ptrdiff_t>(2 * wanted),
            converted_.begin() + static_cast<std::ptrdiff_t>(converted_bytes_), converted_.begin());
  converted_bytes_ -= 2 * wanted;
  play_bytes_left -= static_cast<std::int64_t>(2 * wanted);
}

void Transport::close_play_file() {
  if (!play_file_open) return;
  std::fclose(play_file);
  play_file = nullptr;
  play_file_open = false;
}

}  // namespace files
