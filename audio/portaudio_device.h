// The sound cards, through PortAudio callback streams, with the buffer
// semantics of the wave service on top: queued buffers completed by the
// audio callback, a capture position in bytes since start, a reset that
// returns every queued buffer done.
//
// Devices are numbered per direction: 0 is the system's default device, then
// every other device that can capture (or play), in PortAudio's order. A
// direction for which PortAudio offers no device lists the built-in silent
// device alone, so the program runs on a machine without sound hardware.
//
// A device that cannot run the requested rate is opened at its own default
// rate and converted with libsamplerate; a device that cannot run the
// requested channel count is opened with the other one (mono is doubled for
// a stereo output, the left channel taken from a stereo input; a mono input
// is doubled for a stereo request).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audio/standin_device.h"
#include "audio/wave_device.h"

namespace audio {

class PortAudioSystem : public WaveSystem {
 public:
  // Initialises PortAudio and lists the devices. The probing messages the
  // sound libraries print while doing so are kept off the terminal.
  // PortAudio then stays initialised until the process ends: terminating it
  // unloads the sound server's plugins, and their memory would be left
  // behind unreachable. The operating system releases it all at exit.
  PortAudioSystem();
  PortAudioSystem(const PortAudioSystem&) = delete;
  PortAudioSystem& operator=(const PortAudioSystem&) = delete;

  int input_count() override;
  int output_count() override;
  std::string input_name(int device_id) override;
  std::string output_name(int device_id) override;

  // wave_bad_device_id for a number not listed; wave_bad_format for anything
  // but 16-bit PCM with one or two channels and consistent block_align and
  // avg_bytes_per_sec, or when the device takes neither the format nor its
  // own default rate; wave_error when the stream does not open. A stream
  // must be destroyed before the system.
  int open_input(int device_id, const WaveFormat& format,
                 std::unique_ptr<WaveInStream>* stream) override;
  int open_output(int device_id, const WaveFormat& format,
                  std::unique_ptr<WaveOutStream>* stream) override;

 private:
  std::vector<int> inputs_;   // PortAudio device indices, by device number
  std::vector<int> outputs_;
  StandinSystem builtin_;     // for a direction without a sound card
};

}  // namespace audio
