// Block access to the two WAV files the transport keeps open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace files {

// Reads the next block of sample bytes of the play file into `into`; returns
// how many bytes it read (fewer at the end of the file).
std::size_t read_play_block(std::span<std::uint8_t> into);

// Appends a block of sample bytes to the record file.
void append_record_block(std::span<const std::uint8_t> block);

// Close the file if it is open and clear its open flag.
void close_play_file();
void close_record_file();

}  // namespace files
