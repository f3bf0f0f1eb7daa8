// Program-wide state of the processing cycle. Every variable starts at zero;
// FormCreate gives each its start value. Who writes what is noted per group.
#pragma once

#include <array>
#include <cstdint>

#include "engine/block_filter.h"
#include "engine/noise_filters.h"

namespace engine {

// Block geometry. Set by FormCreate and by the microphone input-select
// command; constant while a cycle runs.
inline std::int32_t block_size = 0;  // samples per filter segment (512)
inline std::int32_t fft_size = 0;    // samples per transform, 2 x block_size (1024)

// Samples per pass: one input buffer of mono audio, or one channel of a
// stereo buffer. Fixed; not derived from block_size.
inline constexpr int samples_per_buffer = 1024;

// Cycle control. Written by the cycle, StopCycleBtnClick, TimeoutTimerTimer
// and Quit; read by the wave waits of the device layer.
inline std::uint8_t cycle_stopped = 0;   // 1 = no cycle running or a stop is requested
inline std::uint8_t wave_timeout = 0;    // 1 = every wait on a wave buffer gives up
inline std::int32_t source_mode = 0;     // 1 = live input, 2 = playback from a WAV file
inline std::int32_t work_offset = 0;     // start index into the pass arrays (always 0)
inline std::int32_t buffer_toggle = 0;   // 0 = next pass serves phase a, 1 = phase b
inline std::int32_t last_toggle = 0;     // buffer_toggle when the last block was packed
inline std::int32_t position_limit = 0;  // threshold of the start-of-phase position wait

// Output stage. bypass_on is written by BypassBtnClick.
inline std::uint8_t bypass_on = 0;

// Gain, written by the fine and coarse gain controls (saved: the positions).
inline float coarse_gain = 0.0f;
inline float signal_gain = 0.0f;  // factor applied to every output sample
inline std::int32_t rx_coarse_position = 0;
inline std::int32_t gain_position_time = 0;  // fine position last set in the time view
inline std::int32_t gain_position_freq = 0;  // fine position last set in the frequency view

// Noise filters, switched by their buttons (saved).
inline std::int32_t lms_filter_on = 0;
inline std::int32_t median_filter_on = 0;

// LMS filter. The weights, delay line and power estimate carry over between
// passes and cycles and are reset when the filter is switched on; the step
// size and the previous input are set at every cycle start. Written by the
// pass and by the LMS buttons.
inline std::array<float, lms_order + 1> lms_weights{};
inline std::array<float, 100> lms_taps{};  // delay line; the first lms_order + 1 in use
inline float lms_power = 2.0f;  // starts at 2.0, not zero
inline float lms_mu = 0.0f;
inline float lms_prev_input = 0.0f;
inline std::array<float, samples_per_buffer> lms_input{};
inline std::array<float, samples_per_buffer> lms_output{};

// Transform-domain stages: the tail each stage carries into the next pass,
// kept while the stage is off, and the working arrays they share. Written
// only by the stages.
inline std::array<std::int32_t, stage_length> nf1_overlap{};
inline std::array<std::int32_t, stage_length> nf2_overlap{};
inline std::array<std::int32_t, stage_length> var_notch_overlap{};
inline std::array<std::int32_t, stage_length> bp_overlap{};
inline std::array<std::int32_t, stage_length> var_bp_overlap{};
inline StageWork stage_work;

// Working arrays of a pass, written only by the pass itself.
inline std::array<std::int32_t, samples_per_buffer> raw_samples{};   // unfiltered input
inline std::array<std::int32_t, samples_per_buffer> work_samples{};  // through the filter chain
inline std::array<std::int32_t, samples_per_buffer> out_samples{};   // after bypass, gain, pause

}  // namespace engine
