#include "audio/device_choice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/standin_device.h"

using namespace audio;

namespace {

// The built-in input, and outputs listed under the given names.
class Listed : public StandinSystem {
 public:
  int output_count() override { return static_cast<int>(names.size()); }
  std::string output_name(int id) override { return names.at(static_cast<std::size_t>(id)); }
  std::vector<std::string> names;
};

}  // namespace

TEST(DeviceChoice, TheNameWinsOverTheNumberAndAMissingDeviceGivesWayToTheDefault) {
  Listed system;
  system.names = {"default", "USB Audio", "HDA Intel"};
  const auto output = [&](int id, const char* name) {
    return find_device(system, Direction::output, id, name);
  };
  // Still where it was.
  EXPECT_EQ(output(2, "HDA Intel").device_id, 2);
  EXPECT_FALSE(output(2, "HDA Intel").missing);
  // Renumbered, as when a card is plugged in: found by name.
  system.names = {"default", "HDA Intel", "USB Audio"};
  EXPECT_EQ(output(1, "USB Audio").device_id, 2);
  EXPECT_FALSE(output(1, "USB Audio").missing);
  // Unplugged: the default, naming what is missing.
  system.names = {"default", "HDA Intel"};
  EXPECT_EQ(output(2, "USB Audio").device_id, 0);
  EXPECT_EQ(output(2, "USB Audio").missing, "USB Audio");
  // No name saved: a listed number stands; one not listed gives way.
  EXPECT_EQ(output(1, "").device_id, 1);
  EXPECT_FALSE(output(1, "").missing);
  EXPECT_EQ(output(-3, "").device_id, 0);
  EXPECT_EQ(output(-3, "").missing, "-3");
  EXPECT_EQ(find_device(system, Direction::input, 77, "").missing, "77");
  EXPECT_EQ(device_name(system, Direction::output, 5), "");
  EXPECT_EQ(device_name(system, Direction::input, 0), "Built-in silent device");
}
