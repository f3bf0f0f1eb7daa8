#include "engine/pass.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "design/rounding.h"

namespace {

std::vector<std::uint8_t> little_endian(const std::vector<std::int16_t>& samples) {
  std::vector<std::uint8_t> bytes;
  for (const std::int16_t s : samples) {
    bytes.push_back(static_cast<std::uint8_t>(s & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
  }
  return bytes;
}

TEST(TruncateToInt32, TruncatesTowardZeroAndSaturates) {
  EXPECT_EQ(design::truncate_to_int32(2.5f), 2);
  EXPECT_EQ(design::truncate_to_int32(-7.5f), -7);
  EXPECT_EQ(design::truncate_to_int32(-0.99f), 0);
  EXPECT_EQ(design::truncate_to_int32(3.0e9f), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(design::truncate_to_int32(-3.0e9f), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(design::truncate_to_int32(std::numeric_limits<float>::infinity()),
            std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(design::truncate_to_int32(std::nanf("")), 0);
}

TEST(UnpackInputBlock, TakesTheSelectedChannelSignExtended) {
  // Four stereo frames: left 1, -2, 32767, -32768; right 100, -200, 300, -400.
  // Selection 2 takes the left, 3 the right; 1 reads the same bytes as mono,
  // every 16-bit word in turn.
  const auto stereo = little_endian({1, 100, -2, -200, 32767, 300, -32768, -400});
  using Samples = std::array<std::int32_t, 4>;
  for (const auto& [select, expected] : {std::pair{2, Samples{1, -2, 32767, -32768}},
                                         {3, Samples{100, -200, 300, -400}},
                                         {1, Samples{1, 100, -2, -200}}}) {
    Samples work{};
    Samples raw{};
    engine::unpack_input_block(stereo, select, work, raw);
    EXPECT_EQ(work, expected) << "selection " << select;
    EXPECT_EQ(raw, work) << "selection " << select;
  }
}

TEST(UnpackInputBlock, UnknownSelectionLeavesBothArrays) {
  const auto mono = little_endian({5, 6, 7, 8});
  std::array<std::int32_t, 4> work{11, 12, 13, 14};
  std::array<std::int32_t, 4> raw{21, 22, 23, 24};
  for (const std::int32_t select : {0, 4, 7, -1}) {
    engine::unpack_input_block(mono, select, work, raw);
    EXPECT_EQ(work, (std::array<std::int32_t, 4>{11, 12, 13, 14}));
    EXPECT_EQ(raw, (std::array<std::int32_t, 4>{21, 22, 23, 24}));
  }
}

TEST(OutputStage, BypassTakesTheRawSamplesAndPauseSilencesAll) {
  const std::array<std::int32_t, 3> raw{10, -20, 30};
  const std::array<std::int32_t, 3> work{1, 2, 3};
  std::array<std::int32_t, 3> out{};
  engine::output_stage(raw, work, true, 1.0f, false, out);
  EXPECT_EQ(out, raw);

  for (const bool bypass : {true, false}) {
    out = {9, 9, 9};
    engine::output_stage(raw, work, bypass, 1.0f, true, out);
    EXPECT_EQ(out, (std::array<std::int32_t, 3>{0, 0, 0})) << "bypass " << bypass;
  }
}

TEST(PackOutputBlock, WritesLittleEndianAndSaturates) {
  const std::array<std::int32_t, 6> samples{1, -1, 40000, -40000, 32767, -32768};
  std::array<std::uint8_t, 12> bytes{};
  engine::pack_output_block(samples, bytes);
  EXPECT_EQ(bytes, (std::array<std::uint8_t, 12>{0x01, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x80,
                                                 0xFF, 0x7F, 0x00, 0x80}));
}

TEST(PackOutputBlock, RoundTripsThroughUnpack) {
  std::vector<std::int16_t> values;
  for (int v = -32768; v <= 32767; v += 257) values.push_back(static_cast<std::int16_t>(v));
  const auto bytes = little_endian(values);
  std::vector<std::int32_t> work(values.size());
  std::vector<std::int32_t> raw(values.size());
  engine::unpack_input_block(bytes, 1, work, raw);
  std::vector<std::uint8_t> packed(bytes.size());
  engine::pack_output_block(work, packed);
  EXPECT_EQ(packed, bytes);
}

}  // namespace
