#include "files/transport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <tuple>

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

bool Transport::create_record_file(const std::string& path) {
  finish_record_file();
  record_error = 0;
  const int fd = open_regular(path, O_WRONLY | O_CREAT).fd;
  if (fd < 0) return false;
  const auto header = recording_header(0);
  if (::ftruncate(fd, 0) != 0 || !write_all_at(fd, header, 0)) {
    ::close(fd);
    return false;
  }
  record_fd_ = fd;
  record_file_open = 1;
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
  if (record_file_open != 1) return true;
  const bool sized = write_sizes();
  const bool closed = ::close(record_fd_) == 0;
  record_fd_ = -1;
  record_file_open = 0;
  return sized && closed;
}

std::optional<WaveReport> Transport::open_play_file(const std::string& path) {
  close_play_file();
  const Opened opened = open_regular(path, O_RDONLY);
  if (opened.not_regular) return WaveReport{"File Error Message", "Not a regular file"};
  std::FILE* file = opened.fd < 0 ? nullptr : ::fdopen(opened.fd, "rb");
  if (file == nullptr) {
    if (opened.fd >= 0) ::close(opened.fd);
    return WaveReport{"File Open Error Message", "Could not open the file"};
  }
  FileSource source(file);
  const WaveRead read = read_wave_layout(source);
  std::optional<WaveReport> refusal;
  if (read.error != WaveError::none) {
    refusal = wave_report(read.error);
  } else if (!playable(read.layout.format)) {
    refusal = WaveReport{"File Open Error Message", "Wave parameters not compatible"};
  }
  if (refusal) {
    std::fclose(file);
    return refusal;
  }
  fseeko(file, static_cast<off_t>(read.layout.data_offset), SEEK_SET);
  play_file = file;
  play_file_open = 1;
  play_channels = read.layout.format.channels;
  play_bytes_left = static_cast<std::int32_t>(read.layout.data_size);
  return std::nullopt;
}

void Transport::read_play_pass(std::span<std::uint8_t> captured, int input_channels, int frames) {
  const int file_frame = play_channels * 2;
  const int input_frame = input_channels * 2;
  const int wanted = std::min(frames, std::max(play_bytes_left, 0) / file_frame);
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

void Transport::close_play_file() {
  if (play_file_open != 1) return;
  std::fclose(play_file);
  play_file = nullptr;
  play_file_open = 0;
}

}  // namespace files
