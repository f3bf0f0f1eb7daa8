#include "files/transport.h"

#include <cstdio>

#include "files/state.h"

namespace files {

std::size_t read_play_block(std::span<std::uint8_t> into) {
  return std::fread(into.data(), 1, into.size(), play_file);
}

void append_record_block(std::span<const std::uint8_t> block) {
  std::fwrite(block.data(), 1, block.size(), record_file);
}

void close_play_file() {
  if (play_file_open != 1) return;
  std::fclose(play_file);
  play_file = nullptr;
  play_file_open = 0;
}

void close_record_file() {
  if (record_file_open != 1) return;
  std::fclose(record_file);
  record_file = nullptr;
  record_file_open = 0;
}

}  // namespace files
