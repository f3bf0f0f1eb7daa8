// The sound cards, through PortAudio streams (playback by callback, capture
// read by a thread of the stream's own that sleeps while nothing has
// arrived), with the buffer semantics of the wave service on top: queued
// buffers completed as the card plays or captures, a capture position in
// bytes since start, a reset that returns every queued buffer done.
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
//
// The sound server can stall (stopped, overloaded, unreachable), and every
// PortAudio call may then block for as long as the stall lasts. So after
// initialisation the system makes its PortAudio calls on a device thread of
// its own, one at a time, and the calling thread (the program's window
// thread) never waits on the server for longer than device_answer_limit:
// destroying a stream returns at once, its close running on the device
// thread; a query or an open the device thread does not answer in time
// returns wave_pending and carries on there. A stream that opens late is
// kept for late_stream_kept and handed to the next open of the same device,
// direction and format, and closed if none comes. Each device's setup
// (channels and rate it runs a format at) is found once per direction and
// format and remembered.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "audio/standin_device.h"
#include "audio/wave_device.h"

namespace audio {

// How long a query or an open waits for the device thread's answer.
inline constexpr std::chrono::milliseconds device_answer_limit{100};
// How long a stream that opened too late waits to be taken.
inline constexpr std::chrono::seconds late_stream_kept{5};
// How long destroying the system waits for the device thread to finish its
// calls before leaving it to the process's exit.
inline constexpr std::chrono::milliseconds device_exit_wait{500};

// The thread that makes a system's PortAudio calls, with what it remembers.
class DeviceThread;

class PortAudioSystem : public WaveSystem {
 public:
  // Initialises PortAudio and lists the devices. The probing messages the
  // sound libraries print while doing so are kept off the terminal.
  // PortAudio then stays initialised until the process ends: terminating it
  // unloads the sound server's plugins, and their memory would be left
  // behind unreachable. The operating system releases it all at exit.
  PortAudioSystem();
  // Waits up to device_exit_wait for the device thread to close what is
  // still open, then leaves it running if it is stuck on the server.
  ~PortAudioSystem() override;
  PortAudioSystem(const PortAudioSystem&) = delete;
  PortAudioSystem& operator=(const PortAudioSystem&) = delete;

  int input_count() override;
  int output_count() override;
  std::string input_name(int device_id) override;
  std::string output_name(int device_id) override;

  // wave_bad_device_id for a number not listed; wave_bad_format for anything
  // but 16-bit PCM with one or two channels and consistent block_align and
  // avg_bytes_per_sec, or when the device takes neither the format nor its
  // own default rate; wave_error when the stream does not open;
  // wave_pending when the device thread does not answer within
  // device_answer_limit, and asking again waits for the same answer. A stream
  // should be destroyed before the system.
  int open_input(int device_id, const WaveFormat& format,
                 std::unique_ptr<WaveInStream>* stream) override;
  int open_output(int device_id, const WaveFormat& format,
                  std::unique_ptr<WaveOutStream>* stream) override;

 private:
  std::vector<int> inputs_;  // PortAudio device indices, by device number
  std::vector<int> outputs_;
  std::vector<std::string> input_names_;  // PortAudio's names, by device number
  std::vector<std::string> output_names_;
  StandinSystem builtin_;  // for a direction without a sound card
  std::shared_ptr<DeviceThread> thread_;
};

}  // namespace audio
