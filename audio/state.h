// Program-wide state of the audio device layer. Every variable starts at
// zero; FormCreate gives each its start value. Who writes what is noted per
// group.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "audio/wave_device.h"

namespace audio {

// Bytes of each audio block: room for the largest buffer, with some to spare.
inline constexpr std::size_t audio_block_bytes = 16386;

// Sample formats. Set by FormCreate; the input values also by the
// input-select commands. The output values never change after start-up.
inline std::int32_t bytes_per_sample = 0;
inline std::int32_t in_sample_rate = 0;
inline std::uint16_t in_channels = 0;
inline std::uint16_t in_block_align = 0;
inline std::uint16_t in_bits = 0;
inline std::int32_t in_avg_bytes = 0;
inline std::uint16_t in_buffer_bytes = 0;  // one input buffer holds 1024 frames
inline std::int32_t out_sample_rate = 0;
inline std::uint16_t out_channels = 0;
inline std::uint16_t out_block_align = 0;
inline std::uint16_t out_bits = 0;
inline std::int32_t out_avg_bytes = 0;
inline std::uint16_t out_buffer_bytes = 0;  // one output buffer holds 1024 samples

// Device numbers, chosen in the sound-card dialog and saved in the settings.
inline std::int32_t input_device_id = 0;
inline std::int32_t output_device_id = 0;

// Which input the cycle takes: 1 = microphone (mono), 2 = left and 3 = right
// channel of the stereo line input. Written by the input-select commands
// (saved).
inline std::int32_t input_select = 0;

// The audio blocks, allocated by FormCreate and freed by FormDestroy. The
// cycle fills and reads them; the headers point at them.
inline std::unique_ptr<std::uint8_t[]> in_data_a;
inline std::unique_ptr<std::uint8_t[]> in_data_b;
inline std::unique_ptr<std::uint8_t[]> out_data_a;
inline std::unique_ptr<std::uint8_t[]> out_data_b;

// The wave service in use, installed at start-up.
inline WaveSystem* wave_system = nullptr;

// Written only by the device operations.
inline int wave_result = 0;  // result of the last wave call, in or out
inline std::unique_ptr<WaveInStream> wave_in;
inline std::unique_ptr<WaveOutStream> wave_out;
inline WaveFormat in_wave_format;
inline WaveFormat out_wave_format;
inline WaveHeader in_header_a;
inline WaveHeader in_header_b;
inline WaveHeader out_header_a;
inline WaveHeader out_header_b;

// What the device operations need from the window they run under.
class WaveHost {
 public:
  // Lets the window process its pending messages (handlers, timers).
  virtual void process_messages() = 0;
  // A modal report with an OK button.
  virtual void report(std::string_view caption, std::string_view text) = 0;

 protected:
  ~WaveHost() = default;
};

// Installed by the main window before the first cycle.
inline WaveHost* wave_host = nullptr;

}  // namespace audio
