// The two WAV files of the transport: the record file, which receives the
// program's output block by block, and the play file, whose samples replace
// the captured input (converted to 11025 Hz on the way when the file is at
// another rate). Only regular files are taken: opening never waits on a
// FIFO or a device. No Qt.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audio/chain_feed.h"
#include "files/wav.h"

namespace files {

// The most sample bytes a recording holds: its RIFF size, data + 36, must fit
// in 32 bits, and the data is whole 16-bit samples.
inline constexpr std::uint64_t max_record_bytes = (0xFFFF'FFFFull - 36) & ~1ull;

// What became of a block handed to append_record_block. Any outcome but
// appended has stopped the recording: the file is finished with a header
// describing the whole blocks it holds, and closed (record_file_open false).
enum class RecordOutcome {
  appended,
  write_failed,  // the system refused the block (disk full, file too large,
                 // I/O error); record_error says why
  file_removed,  // the file was deleted, or renamed over, while recording:
                 // the recording is gone with it
  size_limit,    // the block would take the data past max_record_bytes
};

// The report for a stopped recording (both empty for appended).
WaveReport record_report(RecordOutcome outcome);

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
  bool record_on = false;      // the cycle appends each output block
  bool play_on = false;        // the cycle reads its input from the play file
  bool pause_on = false;       // silence out, no file reading or writing
  bool transport_idle = true;  // neither recording nor playing

  // The files, opened by the Open Wave and Save Wave commands.
  std::FILE* play_file = nullptr;
  bool record_file_open = false;
  bool play_file_open = false;
  // Sample bytes written so far; the next block goes to byte 44 + this.
  std::uint64_t record_byte_count = 0;
  int record_error = 0;  // errno of the write that stopped the recording
  // Bytes of the play still to come, the cycle's sign of its end: the file's
  // sample bytes not yet read (a file at 11025 Hz), or those of the mono
  // 16-bit samples at 11025 Hz its conversion has still to give.
  std::int64_t play_bytes_left = 0;
  std::uint16_t play_channels = 0;  // channels of the play file's frames, 1 or 2

  // create_record_file: creates (truncating) the record file at `path`
  // with a recording header for no samples yet, then finishes a record file
  // already open and takes the new one in its place: record_file_open true,
  // record_byte_count 0, record_error 0. A symbolic link is written at its
  // target and stays a link. False, with `why` told (as "it is read-only")
  // and the transport as it was (a recording in progress goes on), when
  // `path` cannot be created or written, names anything but a regular file
  // (a FIFO, a device, a folder), a read-only file, the play file or the
  // file being recorded; such a file is left untouched.
  bool create_record_file(const std::string& path, std::string* why = nullptr);

  // append_record_block: writes a block of sample bytes after those already
  // recorded, counts them in record_byte_count and brings the size fields up
  // to date, each write handed to the system at once: a recording cut off by
  // a crash or a kill keeps all it holds. The header never claims more than
  // the file has been given. A block the system refuses, or one that would
  // pass max_record_bytes, stops the recording (see RecordOutcome); a block
  // written in part is cut off the file. Needs record_file_open.
  RecordOutcome append_record_block(std::span<const std::uint8_t> block);

  // finish_record_file: writes the final sizes (data + 36 at byte 4, data
  // at byte 40) and closes; record_file_open false. False when the sizes could
  // not be written or the close failed. Nothing (true) when no file is open.
  bool finish_record_file();

  // open_play_file: opens `path`, checks its header and, when it is
  // accepted, closes a play file already open and leaves the new one
  // positioned at its first sample in its place: play_file_open true,
  // play_channels its channel count, play_bytes_left the data's size, or,
  // for a file at another rate than 11025 Hz, twice the samples its frames
  // give at 11025 Hz (ChainFeed::samples_for). Takes what format_refusal
  // passes, as tonewell-filter does, with the file's length followed as
  // read_wave_layout says (play_warning then tells it). Returns the report
  // for a refusal, and a play file open before stays as it was; anything but
  // a regular file is refused without waiting for it. Sets up the
  // conversion, allocating, when it is needed.
  std::optional<WaveReport> open_play_file(const std::string& path);
  // The warning of the last accepted play file whose data size was not
  // followed (files::size_warning).
  std::optional<std::string> play_warning;

  // read_play_pass: fills `captured` with the play's next `frames` frames
  // in the layout of an input of `input_channels` channels (1: 2 bytes a
  // frame, 2: 4 bytes), at most max_play_frames. A file at 11025 Hz gives
  // its frames as they are: a mono file fills both channels of a stereo
  // input, a mono input takes a stereo file's left channel. A file at
  // another rate gives its left channel converted to 11025 Hz (as
  // tonewell-filter does by default), in both channels of a stereo input;
  // its play ends after exactly the samples its frames give. Frames past
  // the end are silence. Subtracts what it gave from play_bytes_left, which
  // becomes 0 when the file ends before its header said it would. `captured`
  // must hold frames x input_channels x 2 bytes. Does not allocate: it runs
  // on the processing cycle.
  void read_play_pass(std::span<std::uint8_t> captured, int input_channels, int frames);

  // The most frames a pass may ask of read_play_pass.
  static constexpr int max_play_frames = 4096;

  // close_play_file: closes the play file if it is open; play_file_open false.
  void close_play_file();

 private:
  bool write_sizes();
  RecordOutcome stop_recording(RecordOutcome outcome);
  void read_file_pass(std::span<std::uint8_t> captured, int input_channels, int frames);
  void read_converted_pass(std::span<std::uint8_t> captured, int input_channels, int frames);

  int record_fd_ = -1;

  // The conversion of a play file at another rate than 11025 Hz: the feed,
  // the file's frames read at a time, the samples it gave that no pass has
  // taken yet.
  std::unique_ptr<audio::ChainFeed> feed_;
  bool converting_ = false;
  bool feed_finished_ = false;  // the file's frames are all in the feed
  std::uint32_t play_rate_ = 0;
  std::uint64_t play_frames_left_ = 0;  // frames of the file not yet read
  std::vector<std::uint8_t> file_frames_;
  std::vector<std::uint8_t> converted_;
  std::size_t converted_bytes_ = 0;
};

}  // namespace files
