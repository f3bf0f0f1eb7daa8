// Wave output: 16-bit mono PCM at 11025 Hz through the two output buffers a
// and b. The operations act on the program-wide objects of audio/state.h,
// store the service's result in wave_result and report a failure in a modal
// box captioned "Wave Device Message", then carry on.
#pragma once

namespace audio {

void init_out_headers();
void reset_out_header_a();
void reset_out_header_b();
void open_wave_out();
// Opens the device as open_wave_out does, to test it; true when a call failed.
bool query_wave_out();
void prepare_out_a();
void prepare_out_b();
void write_out_a();
void write_out_b();
// Waits until the buffer has played or wave_timeout is raised; returns the
// header's bytes-recorded count.
unsigned wait_out_a();
unsigned wait_out_b();
void reset_wave_out();
void unprepare_out_a();
void unprepare_out_b();
void close_wave_out();

}  // namespace audio
