// The sample stages of one pass: unpacking the captured block, the output
// stage (bypass, gain, pause) and packing to 16 bits. Plain functions over
// the caller's arrays; none allocates.
#pragma once

#include <cstdint>
#include <span>

namespace engine {

// unpack_input_block: converts `work.size()` samples of a captured buffer of
// signed 16-bit little-endian PCM into `work` and `raw`, both sign-extended.
//   input_select 1: mono, sample i at bytes 2i, 2i+1      (2 bytes a frame)
//   input_select 2: left channel, bytes 4i, 4i+1          (4 bytes a frame)
//   input_select 3: right channel, bytes 4i+2, 4i+3       (4 bytes a frame)
// Any other input_select converts nothing and leaves both arrays as they are.
// `buffer` must hold work.size() frames of the selected layout; `raw` must be
// as long as `work`.
void unpack_input_block(std::span<const std::uint8_t> buffer, std::int32_t input_select,
                        std::span<std::int32_t> work, std::span<std::int32_t> raw);

// Output stage: out[j] = trunc(float(s) * gain), s = raw[j] with bypass on,
// else work[j]; then all zeros with pause on. Gain is a plain factor
// (1e-5 .. 1000 from the controls). All three arrays have out.size() entries.
void output_stage(std::span<const std::int32_t> raw, std::span<const std::int32_t> work,
                  bool bypass, float gain, bool pause, std::span<std::int32_t> out);

// Packs samples into signed 16-bit little-endian PCM, saturating to
// -32768..32767. `bytes` holds 2 x samples.size() bytes.
void pack_output_block(std::span<const std::int32_t> samples, std::span<std::uint8_t> bytes);

}  // namespace engine
