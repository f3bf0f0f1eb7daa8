// The two WAV files of the transport: the record file, which receives the
// program's output block by block, and the play file, whose samples replace
// the captured input. No Qt.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

#include "files/wav.h"

namespace files {

// The transport's state and its two files. The cycle reads and writes
// blocks through it and keeps the two counts.
class Transport {
 public:
  Transport() = default;
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;
  // A recording in progress keeps everything recorded; a play file closes.
  ~Transport();

  // Transport flags, written by the transport buttons and, at the end of
  // the play data, by the cycle.
  std::uint8_t record_on = 0;       // the cycle appends each output block
  std::uint8_t play_on = 0;         // the cycle reads its input from the play file
  std::uint8_t pause_on = 0;        // silence out, no file reading or writing
  std::uint8_t transport_idle = 1;  // neither recording nor playing

  // The files, opened by the Open Wave and Save Wave commands.
  std::FILE* record_file = nullptr;
  std::FILE* play_file = nullptr;
  std::int32_t record_file_open = 0;
  std::int32_t play_file_open = 0;
  std::int32_t record_byte_count = 0;  // sample bytes written so far
  std::int32_t play_bytes_left = 0;    // sample bytes not yet read
  std::uint16_t play_channels = 0;     // channels of the play file's frames, 1 or 2

  // create_record_file: creates (truncating) the record file at `path` with
  // a recording header for no samples yet; record_file_open 1,
  // record_byte_count 0. False, with no file open, when it cannot be
  // created.
  bool create_record_file(const std::string& path);

  // append_record_block: appends a block of sample bytes, counts them in
  // record_byte_count, brings the size fields up to date and hands
  // everything to the system: a recording cut off by a crash or a kill
  // keeps all it holds. The header never claims more than the file has been
  // given.
  void append_record_block(std::span<const std::uint8_t> block);

  // finish_record_file: writes the final sizes (data + 36 at byte 4, data
  // at byte 40) and closes; record_file_open 0. Nothing when no file is
  // open.
  void finish_record_file();

  // open_play_file: opens `path`, checks its header and leaves it
  // positioned at its first sample: play_file_open 1, play_bytes_left the
  // data's size, play_channels its channel count. Returns the report for a
  // refusal (then no file is open).
  std::optional<WaveReport> open_play_file(const std::string& path);

  // read_play_pass: reads the play file's next `frames` frames, or what is
  // left of its data, into `captured` in the layout of an input of
  // `input_channels` channels (1: 2 bytes a frame, 2: 4 bytes). A mono file
  // fills both channels of a stereo input; a mono input takes a stereo
  // file's left channel. Frames the data no longer holds are silence.
  // Subtracts the bytes read from play_bytes_left, which becomes 0 when the
  // file ends before its header said it would. `captured` must hold frames x
  // input_channels x 2 bytes.
  void read_play_pass(std::span<std::uint8_t> captured, int input_channels, int frames);

  // close_play_file: closes the play file if it is open; play_file_open 0.
  void close_play_file();

 private:
  void write_sizes();
};

}  // namespace files
