// The built-in silent device: one input and one output, 16-bit PCM at
// 11025 Hz, mono or stereo, running in real time on a small thread per open
// stream. It is the device used when no sound card exists, and the tests'
// device: a test feeds the samples the input captures, reads back the
// samples the output played, can stall the device, and can run it on a
// clock of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "audio/device_clock.h"
#include "audio/wave_device.h"

namespace audio {

class StandinSystem : public WaveSystem {
 public:
  // The streams run by `clock`, which must outlive them.
  explicit StandinSystem(DeviceClock& clock = steady_device_clock());
  ~StandinSystem() override;

  // One device in each direction, number 0.
  int input_count() override;
  int output_count() override;
  // "Built-in silent device" for device 0; empty for any other number.
  std::string input_name(int device_id) override;
  std::string output_name(int device_id) override;

  // wave_bad_device_id for any device but 0, wave_bad_format for anything
  // but 16-bit PCM at 11025 Hz with one or two channels and consistent
  // block_align and avg_bytes_per_sec. With `stream` non-null, opens a
  // stream into it (written only on success) that runs until it is
  // destroyed; destroying it returns its queued buffers done. A stream may
  // outlive the system.
  int open_input(int device_id, const WaveFormat& format,
                 std::unique_ptr<WaveInStream>* stream) override;
  int open_output(int device_id, const WaveFormat& format,
                  std::unique_ptr<WaveOutStream>* stream) override;

  // Appends interleaved samples for the input to capture, in order, before
  // it falls back to silence. Shared by every input stream of this system.
  void feed(std::span<const std::int16_t> interleaved);

  // The samples every output stream has played since the last call, in the
  // order played and interleaved as the stream's format; played parts of a
  // buffer cut off by a reset included.
  std::vector<std::int16_t> take_played();

  // While stalled, no stream captures or plays, no position moves and no
  // buffer completes on its own; a reset still returns the queued buffers.
  void set_stalled(bool stalled);

  // Successful opens with a stream (queries not counted).
  int input_opens() const;
  int output_opens() const;

  // What the system and its streams share: the feed, the played samples
  // and the stall switch.
  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  int input_opens_ = 0;
  int output_opens_ = 0;
};

}  // namespace audio
