#include "files/transport.h"

#include <algorithm>
#include <array>
#include <cstdio>


namespace files {
namespace {

void write_u32_at(std::FILE* file, long offset, std::uint32_t value) {
  std::array<std::uint8_t, 4> bytes{};
  put_u32(bytes, value);
  std::fseek(file, offset, SEEK_SET);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
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

Transport::~Transport() {
  finish_record_file();
  close_play_file();
}

// The two size fields for record_byte_count, then back to the end.
void Transport::write_sizes() {
  const auto data = static_cast<std::uint32_t>(record_byte_count);
  write_u32_at(record_file, riff_size_offset, data + 36);
  write_u32_at(record_file, data_size_offset, data);
  std::fseek(record_file, 0, SEEK_END);
}

bool Transport::create_record_file(const std::string& path) {
  record_file = std::fopen(path.c_str(), "wb");
  if (record_file == nullptr) {
    record_file_open = 0;
    return false;
  }
  record_file_open = 1;
  record_byte_count = 0;
  const auto header = recording_header(0);
  std::fwrite(header.data(), 1, header.size(), record_file);
  std::fflush(record_file);
  return true;
}

void Transport::append_record_block(std::span<const std::uint8_t> block) {
  std::fwrite(block.data(), 1, block.size(), record_file);
  record_byte_count += static_cast<std::int32_t>(block.size());
  // Seeking hands the block to the system before the sizes count it.
  write_sizes();
  std::fflush(record_file);
}

void Transport::finish_record_file() {
  if (record_file_open != 1) return;
  write_sizes();
  std::fclose(record_file);
  record_file = nullptr;
  record_file_open = 0;
}

std::optional<WaveReport> Transport::open_play_file(const std::string& path) {
  close_play_file();
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return WaveReport{"File Open Error Message", "Could not open the file"};
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
