// Wave input: 16-bit PCM at 11025 Hz, mono or stereo, into the two input
// buffers a and b. The operations act on the program-wide objects of
// audio/state.h, store the service's result in wave_result and report a
// failure in a modal box captioned "Wave Device Message", then carry on.
#pragma once

#include <cstdint>

namespace audio {

void init_in_headers();
void reset_in_header_a();
void reset_in_header_b();
void open_wave_in();
// Opens the device as open_wave_in does, to test it; true when a call failed.
bool query_wave_in();
void prepare_in_a();
void prepare_in_b();
void add_in_a();
void add_in_b();
void start_wave_in();
// Bytes captured since the last start.
std::uint32_t get_in_position();
// Waits until the buffer is full or wave_timeout is raised; returns the
// header's bytes-recorded count.
unsigned wait_in_a();
unsigned wait_in_b();
void reset_wave_in();
void unprepare_in_b();
void close_wave_in();

}  // namespace audio
