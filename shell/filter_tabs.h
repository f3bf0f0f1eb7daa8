// The filter tabs as tables: each transform-domain filter with its stage,
// its tab's controls and their hidden twins, and each group of filter lines
// with its switches. The window builds the tabs and connects, handles,
// saves and restores their controls from these rows.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "design/controls.h"
#include "design/presets.h"
#include "display/view.h"
#include "engine/filter_chain.h"
#include "files/settings_format.h"
#include "shell/Zoduvov.h"

namespace shell {

using Handler = void (TZForm::*)();

// A group of filter lines: the tab button and the hidden check box (with
// its caption) that both show or hide it, with their handlers; its show
// flag and the flags that follow it; and where the settings file keeps it.
struct LineSwitch {
  QPushButton* TZForm::*button;
  Handler button_click;
  QCheckBox* TZForm::*box;
  const char* caption;
  Handler box_click;
  bool display::View::*shown;
  std::array<bool display::View::*, 2> followers;
  std::uint8_t files::Settings::*saved;
};

inline constexpr LineSwitch bp_lines{.button = &TZForm::DisplayBPBtn,
                                     .button_click = &TZForm::DisplayBPBtnClick,
                                     .box = &TZForm::BPFltr,
                                     .caption = "BP Filter",
                                     .box_click = &TZForm::BPFltrClick,
                                     .shown = &display::View::bp_line_on,
                                     .followers = {},
                                     .saved = &files::Settings::bp_line_on};
inline constexpr LineSwitch var_bp_lines{.button = &TZForm::DisplayVarBPBtn,
                                         .button_click = &TZForm::DisplayVarBPBtnClick,
                                         .box = &TZForm::LoVarFltr,
                                         .caption = "Var BP Filter",
                                         .box_click = &TZForm::LoVarFltrClick,
                                         .shown = &display::View::var_bp_lo_line_on,
                                         .followers = {&display::View::var_bp_hi_line_on},
                                         .saved = &files::Settings::var_bp_lo_line_on};
inline constexpr LineSwitch nf1_lines{.button = &TZForm::DisplayNF1Btn,
                                      .button_click = &TZForm::DisplayNF1BtnClick,
                                      .box = &TZForm::NF1Fltr,
                                      .caption = "NF1 Filter",
                                      .box_click = &TZForm::NF1FltrClick,
                                      .shown = &display::View::nf1_line_on,
                                      .followers = {},
                                      .saved = &files::Settings::nf1_line_on};
inline constexpr LineSwitch nf2_lines{.button = &TZForm::DisplayNF2Btn,
                                      .button_click = &TZForm::DisplayNF2BtnClick,
                                      .box = &TZForm::NF2Fltr,
                                      .caption = "NF2 Filter",
                                      .box_click = &TZForm::NF2FltrClick,
                                      .shown = &display::View::nf2_line_on,
                                      .followers = {},
                                      .saved = &files::Settings::nf2_line_on};
inline constexpr LineSwitch var_notch_lines{
    .button = &TZForm::DisplayVarNFBtn,
    .button_click = &TZForm::DisplayVarNFBtnClick,
    .box = &TZForm::VarNotchFltr,
    .caption = "Var Notch Filter",
    .box_click = &TZForm::VarNotchFltrClick,
    .shown = &display::View::var_notch_line_on,
    .followers = {&display::View::var_notch_lo_line_on, &display::View::var_notch_hi_line_on},
    .saved = &files::Settings::var_notch_line_on};
inline constexpr LineSwitch ref_lines{.button = &TZForm::DisplayRefBtn,
                                      .button_click = &TZForm::DisplayRefBtnClick,
                                      .box = &TZForm::RefLine,
                                      .caption = "Reference",
                                      .box_click = &TZForm::RefLineClick,
                                      .shown = &display::View::ref_line_on,
                                      .followers = {},
                                      .saved = &files::Settings::ref_line_on};

// Every group, in the order of the hidden check boxes.
inline constexpr std::array<const LineSwitch*, 6> line_switches{
    &nf1_lines, &nf2_lines, &bp_lines, &var_bp_lines, &var_notch_lines, &ref_lines};

// A width list: the box and its handler, the controls its item sets, and
// the design that item runs on its filter. The two boxes of a filter are
// not kept in step.
struct WidthList {
  QComboBox* TZForm::*box;
  Handler change;
  design::CentredControls design::Tuning::*controls;
  engine::FilterStage engine::FilterChain::*stage;
  void (*design)(design::CentredControls&, design::DesignedFilter&);
};

inline constexpr std::array<WidthList, 6> width_lists{{
    {&TZForm::BPComboBox2, &TZForm::BPComboBox2Change, &design::Tuning::bp,
     &engine::FilterChain::bp, design::design_bandpass_at_centre},
    {&TZForm::BPComboBox, &TZForm::BPComboBoxChange, &design::Tuning::bp, &engine::FilterChain::bp,
     design::design_bandpass_at_centre},
    {&TZForm::NF1ComboBox2, &TZForm::NF1ComboBox2Change, &design::Tuning::nf1,
     &engine::FilterChain::nf1, design::design_notch_at_centre},
    {&TZForm::NF1ComboBox, &TZForm::NF1ComboBoxChange, &design::Tuning::nf1,
     &engine::FilterChain::nf1, design::design_notch_at_centre},
    {&TZForm::NF2ComboBox2, &TZForm::NF2ComboBox2Change, &design::Tuning::nf2,
     &engine::FilterChain::nf2, design::design_notch_at_centre},
    {&TZForm::NF2ComboBox, &TZForm::NF2ComboBoxChange, &design::Tuning::nf2,
     &engine::FilterChain::nf2, design::design_notch_at_centre},
}};

// A filter's tab, left to right: its lines' display button, the enable
// button, the width (a list of the designer's widths, or for a variable
// filter a memo of the width its lines give, with its tip) and the Q bar.
// The enable button's hidden twin, when it has one, shares its handler.
struct FilterBinding {
  const char* caption;
  QWidget* TZForm::*page;
  engine::FilterStage engine::FilterChain::*stage;
  const LineSwitch* lines;
  QPushButton* TZForm::*enable;
  QPushButton* TZForm::*hidden_enable;
  Handler enable_click;
  QComboBox* TZForm::*width_list;
  std::span<const std::string_view> widths;
  QLineEdit* TZForm::*width_memo;
  const char* width_tip;
  QSlider* TZForm::*q_bar;
  Handler q_change;
};

inline constexpr FilterBinding bandpass{.caption = "BP1",
                                        .page = &TZForm::BP1Tab,
                                        .stage = &engine::FilterChain::bp,
                                        .lines = &bp_lines,
                                        .enable = &TZForm::BandPassBtn2,
                                        .hidden_enable = &TZForm::BandPassBtn,
                                        .enable_click = &TZForm::BandPassBtnClick,
                                        .width_list = &TZForm::BPComboBox2,
                                        .widths = design::bp_preset_texts,
                                        .width_memo = nullptr,
                                        .width_tip = nullptr,
                                        .q_bar = &TZForm::QTrackBar,
                                        .q_change = &TZForm::QTrackBarChange};
inline constexpr FilterBinding var_bandpass{
    .caption = "Var. BP",
    .page = &TZForm::VarBPTab,
    .stage = &engine::FilterChain::var_bp,
    .lines = &var_bp_lines,
    .enable = &TZForm::VarFltrBtn2,
    .hidden_enable = &TZForm::VarFltrBtn,
    .enable_click = &TZForm::VarFltrBtnClick,
    .width_list = nullptr,
    .widths = {},
    .width_memo = &TZForm::VarFilterMemo,
    .width_tip = "Width of the variable bandpass; drag its lines to change it",
    .q_bar = &TZForm::QTrackBar2,
    .q_change = &TZForm::QTrackBar2Change};
inline constexpr FilterBinding notch1{.caption = "NF1",
                                      .page = &TZForm::NF1Tab,
                                      .stage = &engine::FilterChain::nf1,
                                      .lines = &nf1_lines,
                                      .enable = &TZForm::NF1Btn2,
                                      .hidden_enable = &TZForm::NF1Btn,
                                      .enable_click = &TZForm::NF1BtnClick,
                                      .width_list = &TZForm::NF1ComboBox2,
                                      .widths = design::nf1_width_texts,
                                      .width_memo = nullptr,
                                      .width_tip = nullptr,
                                      .q_bar = &TZForm::QTrackBar3,
                                      .q_change = &TZForm::QTrackBar3Change};
inline constexpr FilterBinding notch2{.caption = "NF2",
                                      .page = &TZForm::NF2Tab,
                                      .stage = &engine::FilterChain::nf2,
                                      .lines = &nf2_lines,
                                      .enable = &TZForm::NF2Btn2,
                                      .hidden_enable = &TZForm::NF2Btn,
                                      .enable_click = &TZForm::NF2BtnClick,
                                      .width_list = &TZForm::NF2ComboBox2,
                                      .widths = design::nf2_width_texts,
                                      .width_memo = nullptr,
                                      .width_tip = nullptr,
                                      .q_bar = &TZForm::QTrackBar4,
                                      .q_change = &TZForm::QTrackBar4Change};
inline constexpr FilterBinding var_notch{
    .caption = "Var. NF",
    .page = &TZForm::VarNFTab,
    .stage = &engine::FilterChain::var_notch,
    .lines = &var_notch_lines,
    .enable = &TZForm::VarNF2Btn,
    .hidden_enable = nullptr,
    .enable_click = &TZForm::VarNF2BtnClick,
    .width_list = nullptr,
    .widths = {},
    .width_memo = &TZForm::VarNotchFilterMemo,
    .width_tip = "Width of the variable notch; drag its lines to change it",
    .q_bar = &TZForm::QTrackBar5,
    .q_change = &TZForm::QTrackBar5Change};

// The filter tabs in the order they are shown.
inline constexpr std::array<const FilterBinding*, 5> filter_tabs{&bandpass, &var_bandpass, &notch1,
                                                                 &notch2, &var_notch};

}  // namespace shell
