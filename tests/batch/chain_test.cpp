#include "batch/chain.h"

#include <gtest/gtest.h>

#include <memory>

#include "design/presets.h"

namespace {

// A chain and its tuning, set up afresh by each test.
class Chain : public ::testing::Test {
 protected:
  void set_up(const files::Settings& base, const batch::Options& options) {
    batch::set_up_chain(base, options, tuning, *chain);
  }

  design::Tuning tuning;
  std::unique_ptr<engine::FilterChain> chain = std::make_unique<engine::FilterChain>();
};

TEST_F(Chain, HertzBecomeColumnsAndEdgePositions) {
  EXPECT_EQ(batch::centre_column(700.0), static_cast<float>(700.0 * 1024 / 11025));
  EXPECT_EQ(batch::centre_column(5512.5), 512.0f);
  EXPECT_EQ(batch::edge_position(1076.66), 100);  // 100.0 columns
  EXPECT_EQ(batch::edge_position(1081.0), 100);   // 100.4
  EXPECT_EQ(batch::edge_position(1083.0), 101);   // 100.6
  EXPECT_EQ(batch::edge_position(0.0), 1);
  EXPECT_EQ(batch::edge_position(5512.5), 512);
}

TEST_F(Chain, OptionsTuneAndSwitchOnlyWhatTheyName) {
  batch::Options options;
  options.notch1 = batch::Notch{1000.0, 2};
  options.q[static_cast<int>(batch::Filter::nf1)] = 25;
  options.bandpass = batch::Bandpass{4, 700.0};
  // Both edges fall on position 279: the lower bar settles one below.
  options.var_notch = batch::Band{3000.0, 3002.0};
  set_up(files::start_settings(), options);

  EXPECT_EQ(chain->nf1.on, 1);
  EXPECT_EQ(chain->bp.on, 1);
  EXPECT_EQ(chain->var_notch.on, 1);
  EXPECT_EQ(chain->nf2.on + chain->var_bp.on, 0);
  EXPECT_EQ(chain->median_on + chain->lms_on + chain->bypass_on, 0);
  EXPECT_EQ(chain->auto_notch_on + chain->noise_reduction_on, 0);
  design::Edges notch;
  design::notch_width_edges(2, batch::centre_column(1000.0), notch);
  EXPECT_EQ(tuning.nf1.edges.lo, notch.lo);
  EXPECT_EQ(tuning.nf1.edges.hi, notch.hi);
  EXPECT_EQ(tuning.nf1.q_level, 0.0f);
  EXPECT_FLOAT_EQ(tuning.bp.q_level, 0.05f);  // Q 20, the default
  EXPECT_NEAR(tuning.bp.edges.lo * 11025.0f, 575.0f, 0.5f);
  EXPECT_NEAR(tuning.bp.edges.hi * 11025.0f, 825.0f, 0.5f);
  EXPECT_EQ(tuning.var_notch.lo_bin, 278);
  EXPECT_EQ(tuning.var_notch.hi_bin, 279);
  EXPECT_EQ(tuning.var_notch.edges.hi, 279.0f / 1024.0f);
  EXPECT_EQ(chain->signal_gain, 1.0f);  // 10 x 0.1
}

TEST_F(Chain, ASettingsFileTunesAndTheOptionsTuneOverIt) {
  files::Settings s = files::start_settings();
  s.var_bp_lo_bin = 450;  // both above the upper bar's start position
  s.var_bp_hi_bin = 480;
  s.var_bp_q_position = 99;
  s.display_mode = 2;  // the time view's gain position is the one restored
  s.gain_position_time = 30;
  s.gain_position_freq = 70;
  s.rx_coarse_position = 6;
  s.nf2_center = 100.0f;
  s.nf2_width_index = 3;
  batch::Options options;
  options.on[static_cast<int>(batch::Filter::var_bp)] = true;
  options.on[static_cast<int>(batch::Filter::nf2)] = true;
  options.settings = "my.cfg";
  set_up(s, options);
  EXPECT_EQ(chain->var_bp.on, 1);
  EXPECT_EQ(chain->nf2.on, 1);
  EXPECT_EQ(chain->bp.on, 0);
  EXPECT_EQ(tuning.var_bp.edges.lo, 450.0f / 1024.0f);
  EXPECT_EQ(tuning.var_bp.edges.hi, 480.0f / 1024.0f);
  EXPECT_EQ(tuning.var_bp.q_level, 0.0f);  // held at 25
  EXPECT_NEAR(tuning.nf2.edges.lo * 11025.0f, 100.0f / 1024.0f * 11025.0f - 50.0f, 0.1f);
  EXPECT_EQ(chain->signal_gain, 30.0f);  // 30 x 1.0

  options.gain = batch::Gain{12, 3};
  options.var_bandpass = batch::Band{500.0, 700.0};
  set_up(s, options);
  EXPECT_EQ(chain->signal_gain, 12.0f * 0.001f);
  EXPECT_EQ(tuning.var_bp.lo_bin, 46);
  EXPECT_EQ(tuning.var_bp.hi_bin, 65);
}

}  // namespace
