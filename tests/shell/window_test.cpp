// The main window as built: every control's start value, its wiring, and a
// layout in which nothing is clipped.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <tuple>
#include <vector>

#include "audio/standin_device.h"
#include "shell/Zoduvov.h"
#include "shell/paint_box.h"
#include "shell/toolkit.h"
#include "tests/shell/test_application.h"

namespace {

class Window : public StoppedWindow {
 protected:
  // Every track bar and scroll bar, with its range and its position once a
  // first start has applied the start values.
  std::vector<std::tuple<QAbstractSlider*, int, int, int>> bars() {
    std::vector<std::tuple<QAbstractSlider*, int, int, int>> all{
        {form.RefScrollBar, 1, 512, 255},           {form.SignalGainBar, 1, 100, 25},
        {form.RxCoarseTrackBar, 1, 7, 5},           {form.Lo_BP_Freq_ScrollBar, 1, 512, 100},
        {form.Hi_BP_Freq_ScrollBar, 1, 512, 400},   {form.Lo_Notch_Freq_ScrollBar, 1, 512, 100},
        {form.Hi_Notch_Freq_ScrollBar, 1, 512, 400}};
    for (QAbstractSlider* q : {form.QTrackBar, form.QTrackBar2, form.QTrackBar3, form.QTrackBar4,
                               form.QTrackBar5, form.QTrackBar10})
      all.emplace_back(q, 0, 25, 20);
    return all;
  }

  QStringList labels_in(const QWidget* container) const {
    QStringList texts;
    for (const QLabel* l : container->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
      texts << l->text();
    return texts;
  }
};

// The entries of a menu as shown, without their Alt-key marks.
QStringList actions_of(const QWidget* menu) {
  QStringList texts;
  for (const QAction* a : menu->actions()) texts << (a->isSeparator() ? "-" : a->iconText());
  return texts;
}

}  // namespace

TEST_F(Window, IsANavyWindowWithAFullSizeDisplayThatShrinksOnlyTo636Wide) {
  show();
  EXPECT_EQ(form.windowTitle(), "Tonewell");
  EXPECT_EQ(form.windowIcon().availableSizes(),
            (QList<QSize>{QSize(48, 48), QSize(128, 128), QSize(256, 256)}));
  const QSize start = form.size();
  EXPECT_TRUE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(form.centralWidget()->size(), QSize(720, 438));
  for (const QSize smaller : {QSize(900, start.height() - 1), QSize(719, 900), QSize(600, 400)}) {
    form.resize(smaller);
    QApplication::processEvents();
    EXPECT_EQ(form.size(), smaller.expandedTo(start - QSize(720 - 636, 0)));
  }
  const QFontMetrics metrics = form.RefFreqLabel->fontMetrics();
  EXPECT_LT(form.RefFreqLabel->x() + metrics.horizontalAdvance("5512 Hz"),
            form.HiFreqLabel->geometry().right() - metrics.horizontalAdvance("5512 Hz"));
  form.resize(start);
  QApplication::processEvents();
  EXPECT_EQ(form.centralWidget()->palette().color(QPalette::Window), QColor(0, 0, 128));

  EXPECT_GE(form.DisplayPanel->width(), 513);
  EXPECT_GE(form.DisplayPanel->height(), 197);
  EXPECT_EQ(form.SpectrumBox->geometry(), form.DisplayPanel->rect());
  EXPECT_TRUE(form.SpectrumBox->on_mouse_move);
  EXPECT_TRUE(form.SpectrumBox->on_mouse_up);
  EXPECT_EQ(form.FilterControl->currentWidget(), form.NoiseTab);
}

TEST_F(Window, NothingVisibleIsClipped) {
  show();
  for (int tab = 0; tab < form.FilterControl->count(); ++tab) {
    form.FilterControl->setCurrentIndex(tab);
    SCOPED_TRACE(::testing::Message() << "tab " << tab);
    expect_nothing_clipped(form.centralWidget());
  }
  // Captions must fit the widest text the handlers will write later.
  const std::pair<const QWidget*, QString> widest[] = {
      {form.SpectrumWidthBtn, "Quarter"}, {form.SpectrumTypeBtn, "LINE"},
      {form.DataBtn, "Filter"},           {form.DisplayBtn, "Time"},
      {form.RecordBtn, "Record"},         {form.LMSFilterBtn2, "OFF"},
      {form.RefFreqLabel, "5512 Hz"},     {form.HiFreqLabel, "5512 Hz"},
      {form.LoFreqLabel, "10 Hz"},        {form.RefLabel, "Reference Frequency = "},
      {form.VarFilterMemo, "5512 Hz"},    {form.BPComboBox2, "200 Hz to 3.0 kHz"},
  };
  for (const auto& [w, text] : widest)
    EXPECT_LE(w->fontMetrics().horizontalAdvance(text) + 12, w->width()) << text.toStdString();
  for (const QLabel* l : form.centralWidget()->findChildren<QLabel*>())
    EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width()) << l->text().toStdString();
  // The tab bar's buttons and page fit inside the tab control.
  EXPECT_LE(form.FilterControl->tabBar()->sizeHint().width(), form.FilterControl->width());
  EXPECT_TRUE(form.FilterControl->rect().contains(form.NoiseTab->geometry()));
}

TEST_F(Window, ControlsStartWithTheirCaptionsRangesAndItems) {
  const std::pair<QWidget*, const char*> captions[] = {
      {form.RecordBtn, "Record"},       {form.PlayBtn, "Play"},
      {form.StopBtn, "Stop"},           {form.PauseBtn, "Pause"},
      {form.SpectrumWidthBtn, "Full"},  {form.SpectrumTypeBtn, "LINE"},
      {form.DataBtn, "Filter"},         {form.DisplayBtn, "Freq"},
      {form.BitBtn1, "Volume"},         {form.StartBtn, "Start"},
      {form.StopCycleBtn, "StopCycle"}, {form.LoFreqLabel, "10 Hz"},
      {form.HiFreqLabel, "5512 Hz"},    {form.RefFreqLabel, "2745 Hz"},
      {form.VarFilterMemo, "3229 Hz"},  {form.VarNotchFilterMemo, "3229 Hz"},
      {form.VarFilterMemo2, "1000 Hz"}, {form.RefLabel, "Reference Frequency = "},
  };
  for (const auto& [w, caption] : captions) EXPECT_EQ(w->property("text").toString(), caption);
  for (const QPushButton* b :
       {form.BypassBtn, form.DisplayBPBtn, form.BandPassBtn2, form.DisplayVarBPBtn,
        form.VarFltrBtn2, form.DisplayNF1Btn, form.NF1Btn2, form.DisplayNF2Btn, form.NF2Btn2,
        form.DisplayVarNFBtn, form.VarNF2Btn, form.DisplayRefBtn, form.BandPassBtn, form.NF1Btn,
        form.NF2Btn, form.VarFltrBtn})
    EXPECT_EQ(b->text(), "Off");
  for (const QPushButton* b : {form.LMSFilterBtn2, form.MedianFltrBtn2, form.LMSFilterBtn,
                               form.MedianFltrBtn, form.AutoNotchBtn, form.NoiseReductionBtn})
    EXPECT_EQ(b->text(), "OFF");
  for (const QPushButton* b : form.findChildren<QPushButton*>()) {
    if (!form.centralWidget()->isAncestorOf(b) && !form.HiddenControls->isAncestorOf(b)) continue;
    const bool red = b == form.StopBtn || b == form.DataBtn;
    EXPECT_EQ(shell::font_color(b), red ? shell::engaged_color : shell::idle_color)
        << b->text().toStdString();
    EXPECT_EQ(b->font().pixelSize(), 15) << b->text().toStdString();
  }
  EXPECT_EQ(shell::font_color(form.LoFreqLabel), shell::idle_color);
  EXPECT_EQ(shell::font_color(form.HiFreqLabel), shell::idle_color);
  EXPECT_EQ(shell::font_color(form.RefFreqLabel), shell::engaged_color);
  EXPECT_TRUE(form.HiFreqLabel->alignment() & Qt::AlignRight);
  EXPECT_TRUE(form.RefLabel->alignment() & Qt::AlignRight);
  for (const QLineEdit* m : {form.VarFilterMemo, form.VarNotchFilterMemo, form.VarFilterMemo2}) {
    EXPECT_TRUE(m->isReadOnly());
    EXPECT_EQ(m->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  }
  const std::pair<QCheckBox*, const char*> boxes[] = {{form.NF1Fltr, "NF1 Filter"},
                                                      {form.NF2Fltr, "NF2 Filter"},
                                                      {form.BPFltr, "BP Filter"},
                                                      {form.LoVarFltr, "Var BP Filter"},
                                                      {form.VarNotchFltr, "Var Notch Filter"},
                                                      {form.RefLine, "Reference"}};
  for (const auto& [c, caption] : boxes) {
    EXPECT_EQ(c->text(), caption);
    EXPECT_FALSE(c->isChecked()) << caption;
    EXPECT_EQ(c->parentWidget(), form.GroupBox6);
  }
  const std::pair<QWidget*, const char*> tips[] = {
      {form.SignalGainBar, "Set the Fine Input Signal Level"},
      {form.RxCoarseTrackBar, "Set the Coarse Input Signal Level"},
      {form.MedianFltrBtn2, "Enable a Median Noise Filter"},
      {form.MedianFltrBtn, "Enable a Median Noise Filter"},
  };
  for (const auto& [w, tip] : tips) EXPECT_EQ(w->toolTip(), tip);

  for (const auto& [bar, min, max, position] : bars()) {
    EXPECT_EQ(std::tuple(bar->minimum(), bar->maximum(), bar->value(), bar->orientation()),
              std::tuple(min, max, position, Qt::Horizontal))
        << min << ".." << max;
  }
  EXPECT_EQ(form.RefScrollBar->pageStep(), 2);
  EXPECT_EQ(form.RxCoarseTrackBar->pageStep(), 1);
  // The centre lines stand at the start centre's column, 1, not at 128.
  EXPECT_EQ(std::tuple(form.centre_columns.bp, form.centre_columns.nf1, form.centre_columns.nf2),
            std::tuple(1, 1, 1));

  const QStringList bandpass{"200 Hz to 3.0 kHz", "200 Hz to 2.4 kHz", "300 Hz to 1.6 kHz",
                             "CW,  400 Hz",       "CW,  250 Hz",       "CW,  150 Hz",
                             "CW,  100 Hz"};
  const QStringList notch1{"1000 Hz", "400  Hz", "200  Hz", "100  Hz"};
  const QStringList notch2{"1000 Hz", "400   Hz", "200   Hz", "100   Hz"};
  const std::pair<QComboBox*, const QStringList*> combos[] = {
      {form.BPComboBox2, &bandpass}, {form.BPComboBox, &bandpass}, {form.NF1ComboBox2, &notch1},
      {form.NF1ComboBox, &notch1},   {form.NF2ComboBox2, &notch2}, {form.NF2ComboBox, &notch2},
  };
  for (const auto& [box, items] : combos) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    EXPECT_EQ(texts, *items);
    EXPECT_EQ(box->currentIndex(), 0);
    EXPECT_FALSE(box->isEditable());
  }

  form.LoadWaveClick();
  form.SaveWaveClick();
  EXPECT_EQ(form.OpenWaveDialog->acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(form.OpenWaveDialog->fileMode(), QFileDialog::ExistingFile);
  EXPECT_EQ(form.SaveWaveDialog->acceptMode(), QFileDialog::AcceptSave);
  for (QFileDialog* d : {form.OpenWaveDialog, form.SaveWaveDialog}) {
    EXPECT_EQ(d->defaultSuffix(), "wav");
    EXPECT_EQ(d->nameFilters(), QStringList{"Wave Files (*.wav)"});
    EXPECT_EQ(d->parentWidget(), &form);
    d->reject();
    EXPECT_FALSE(d->isVisible());
  }
}

TEST_F(Window, GroupsAndTabsCarryYellowCaptions) {
  const std::tuple<QWidget*, const char*, QStringList> groups[] = {
      {form.GroupBox1, "File", {}},
      {form.GroupBox2, "Screen", {"Width", "Type", "Data", "Display"}},
      {form.GroupBox3, "Audio", {"Bypass", "Volume"}},
      {form.GroupBox4, "Input", {"Rx Gain", "Coarse"}},
      {form.BandPass, "BandPass Filter", {}},
      {form.NotchFilter1, "Notch Filter 1", {}},
      {form.NotchFilter2, "Notch Filter 2", {}},
      {form.GroupBox7, "Variable Filter", {}},
      {form.GroupBox5, "Bandpass Filter Q", {"Min", "Max"}},
      {form.NoiseFilters, "Noise Filters", {}},
      {form.GroupBox6, "Display Filter Lines", {}},
  };
  for (const auto& [w, caption, inner] : groups) {
    const auto* box = static_cast<QGroupBox*>(w);
    EXPECT_EQ(box->title(), caption);
    EXPECT_EQ(shell::font_color(box), shell::group_caption_color) << caption;
    EXPECT_EQ(box->font().pixelSize(), 15) << caption;
    EXPECT_EQ(labels_in(box), inner) << caption;
    for (const QLabel* l : box->findChildren<QLabel*>())
      EXPECT_EQ(shell::font_color(l), shell::group_caption_color) << caption;
  }

  const QStringList filter_columns{"Display", "Filter Enable", "Filter Width",
                                   "Filter Quality (Q)"};
  const std::tuple<QWidget*, const char*, QStringList> tabs[] = {
      {form.BP1Tab, "BP1", filter_columns},
      {form.VarBPTab, "Var. BP", filter_columns},
      {form.NF1Tab, "NF1", filter_columns},
      {form.NF2Tab, "NF2", filter_columns},
      {form.VarNFTab, "Var. NF", filter_columns},
      {form.NoiseTab,
       "Noise",
       {"LMS Filter", "Median Filter", "Auto Notch", "Noise Reduction", "Strength", "Noise Blanker",
        "Threshold"}},
      {form.RefTab, "Ref.", {"Reference Display"}},
  };
  ASSERT_EQ(form.FilterControl->count(), 7);
  int index = 0;
  for (const auto& [page, caption, inner] : tabs) {
    EXPECT_EQ(form.FilterControl->widget(index), page) << caption;
    EXPECT_EQ(form.FilterControl->tabText(index++), caption);
    EXPECT_EQ(labels_in(page), inner) << caption;
  }
}

TEST_F(Window, HiddenControlsStayHiddenWhileTheWindowShows) {
  show();
  EXPECT_FALSE(form.HiddenControls->isVisible());
  // Diagnostic labels, filter groups, single controls and the variable
  // filters' edge bars.
  const std::vector<const QWidget*> hidden[] = {
      {form.Label35, form.bytes_recorded_aa, form.Label36, form.bytes_recorded_bb, form.Label37,
       form.byte_position_a, form.Label43, form.byte_position_b},
      {form.BandPass, form.NotchFilter1, form.NotchFilter2, form.GroupBox7, form.GroupBox5,
       form.NoiseFilters, form.GroupBox6},
      {form.BPComboBox, form.BandPassBtn, form.NF1ComboBox, form.NF1Btn, form.NF2ComboBox,
       form.NF2Btn, form.VarFltrBtn, form.VarFilterMemo2, form.QTrackBar10, form.LMSFilterBtn,
       form.MedianFltrBtn, form.RefLine, form.StartBtn, form.StopCycleBtn},
      {form.Lo_BP_Freq_ScrollBar, form.Hi_BP_Freq_ScrollBar, form.Lo_Notch_Freq_ScrollBar,
       form.Hi_Notch_Freq_ScrollBar},
  };
  for (const auto& kind : hidden) {
    for (const QWidget* w : kind) {
      EXPECT_TRUE(form.HiddenControls->isAncestorOf(w));
      EXPECT_FALSE(w->isVisible());
    }
  }
  EXPECT_TRUE(form.SignalGainBar->isVisible());
  EXPECT_TRUE(form.LMSFilterBtn2->isVisible());
}

TEST_F(Window, MenusHoldTheirCommandsInOrder) {
  EXPECT_EQ(actions_of(form.menuBar()), (QStringList{"File", "Options", "View", "Help"}));
  EXPECT_EQ(actions_of(form.View1), (QStringList{"Waterfall", "Filter Response"}));
  for (const QAction* check : {form.Waterfall1, form.FilterResponse1, form.LowLatency1}) {
    EXPECT_TRUE(check->isCheckable());
    EXPECT_FALSE(check->isChecked()) << "off at a first start";
  }
  EXPECT_EQ(actions_of(form.File1), (QStringList{"Open Wave", "Save Wave", "-", "Quit"}));
  EXPECT_EQ(actions_of(form.Options1), (QStringList{"Sound Card", "Input Select", "Low Latency"}));
  EXPECT_EQ(actions_of(form.SoundCard1), (QStringList{"Input Sound Card", "Output Sound Card"}));
  EXPECT_EQ(actions_of(form.InputSelect1), (QStringList{"Mic", "Line"}));
  EXPECT_EQ(actions_of(form.Left1), (QStringList{"Left Channel", "Right Channel"}));
  EXPECT_EQ(actions_of(form.Help1), (QStringList{"Help Menu", "About"}));
  for (const QAction* input : {form.MicInput, form.LeftInput, form.RightInput}) {
    EXPECT_TRUE(input->isCheckable());
    EXPECT_EQ(input->isChecked(), input == form.MicInput);
  }
  EXPECT_EQ(form.Options1->actions(),
            (QList<QAction*>{form.SoundCard1->menuAction(), form.InputSelect1->menuAction(),
                             form.LowLatency1}));
  EXPECT_EQ(form.InputSelect1->actions(),
            (QList<QAction*>{form.MicInput, form.Left1->menuAction()}));
  EXPECT_EQ(form.File1->actions(),
            (QList<QAction*>{form.LoadWave, form.SaveWave, form.N1, form.Quit1}));
}

TEST_F(Window, EveryMenuEntryHasItsOwnAltKeyAndAltOpensTheMenus) {
  for (const QWidget* menu : std::initializer_list<const QWidget*>{
           form.menuBar(), form.File1, form.Options1, form.SoundCard1, form.InputSelect1,
           form.Left1, form.View1, form.Help1}) {
    QList<QKeySequence> keys;
    for (const QAction* a : menu->actions()) {
      if (a->isSeparator()) continue;
      const QKeySequence key = QKeySequence::mnemonic(a->text());
      EXPECT_FALSE(key.isEmpty()) << a->iconText().toStdString();
      EXPECT_FALSE(keys.contains(key)) << a->iconText().toStdString();
      keys << key;
    }
  }
  show_active();
  const std::pair<Qt::Key, QMenu*> menus[] = {{Qt::Key_F, form.File1},
                                              {Qt::Key_O, form.Options1},
                                              {Qt::Key_V, form.View1},
                                              {Qt::Key_H, form.Help1}};
  for (const auto& [key, menu] : menus) {
    QTest::keyClick(&form, key, Qt::AltModifier);
    EXPECT_EQ(QApplication::activePopupWidget(), menu) << menu->title().toStdString();
    menu->close();
  }
}

TEST_F(Window, CtrlOAndCtrlSOpenTheFileDialogsAndCtrlQQuits) {
  show_active();
  QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);
  EXPECT_TRUE(form.OpenWaveDialog->isVisible());
  form.OpenWaveDialog->reject();
  QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(form.SaveWaveDialog->isVisible());
  form.SaveWaveDialog->reject();
  // Quit ends the application's message loop.
  bool quit_by_key = true;
  QTimer::singleShot(0, &form, [this] { QTest::keyClick(&form, Qt::Key_Q, Qt::ControlModifier); });
  QTimer::singleShot(2000, &form, [&quit_by_key] {
    quit_by_key = false;
    QCoreApplication::quit();
  });
  QCoreApplication::exec();
  EXPECT_TRUE(quit_by_key);
}

// Space pauses and resumes a playing or recording file, unless the focused
// control takes Space itself.
TEST_F(Window, SpacePausesUnlessTheFocusedControlTakesIt) {
  show_active();
  // Keys go to the focused control, or to the window when none has the focus.
  const auto space = [this](Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focused = QApplication::focusWidget();
    QTest::keyClick(focused != nullptr ? focused : &form, Qt::Key_Space, modifiers);
  };
  space();
  EXPECT_FALSE(form.transport.pause_on) << "nothing to pause while idle";
  form.transport.transport_idle = false;
  EXPECT_EQ(QApplication::focusWidget(), form.SpectrumBox);
  space();
  EXPECT_TRUE(form.transport.pause_on) << "the display has the focus at start";
  // A button clicked with the mouse leaves the focus where it was.
  QTest::mouseClick(form.BypassBtn, Qt::LeftButton);
  EXPECT_EQ(form.chain.bypass_on, 1);
  space();
  EXPECT_FALSE(form.transport.pause_on) << "Space stays Pause after a click";
  QTest::mouseClick(form.BypassBtn, Qt::LeftButton);

  form.NoiseReductionBar->setFocus();
  const int strength = form.NoiseReductionBar->value();
  space();
  EXPECT_TRUE(form.transport.pause_on) << "a slider leaves Space to the window";
  EXPECT_EQ(shell::font_color(form.PauseBtn), shell::engaged_color);
  EXPECT_EQ(form.NoiseReductionBar->value(), strength);

  form.BypassBtn->setFocus();
  space();
  EXPECT_EQ(form.chain.bypass_on, 1) << "a focused button is pressed";
  EXPECT_TRUE(form.transport.pause_on);
  form.FilterControl->setCurrentWidget(form.BP1Tab);
  form.BPComboBox2->setFocus();
  space();
  EXPECT_TRUE(form.BPComboBox2->view()->isVisible()) << "a focused list opens";
  form.BPComboBox2->hidePopup();
  EXPECT_TRUE(form.transport.pause_on);

  QApplication::focusWidget()->clearFocus();
  space();
  EXPECT_FALSE(form.transport.pause_on) << "with no focus the window takes it";
  EXPECT_EQ(shell::font_color(form.PauseBtn), shell::idle_color);
  space(Qt::ShiftModifier);
  EXPECT_FALSE(form.transport.pause_on);
  // A key held down pauses once: its repeats do nothing.
  QTest::simulateEvent(&form, true, Qt::Key_Space, Qt::NoModifier, " ", true);
  EXPECT_FALSE(form.transport.pause_on);
}

// Tab walks the filter tabs as they are laid out: from the Volume button to
// the tab bar, through the controls of the page shown from left to right,
// then on to the Input group.
TEST_F(Window, TabWalksTheFilterTabsAsTheyAreLaidOut) {
  show_active();
  const std::pair<QWidget*, std::vector<QWidget*>> pages[] = {
      {form.BP1Tab, {form.DisplayBPBtn, form.BandPassBtn2, form.BPComboBox2, form.QTrackBar}},
      {form.VarBPTab,
       {form.DisplayVarBPBtn, form.VarFltrBtn2, form.VarFilterMemo, form.QTrackBar2}},
      {form.NF1Tab, {form.DisplayNF1Btn, form.NF1Btn2, form.NF1ComboBox2, form.QTrackBar3}},
      {form.NF2Tab, {form.DisplayNF2Btn, form.NF2Btn2, form.NF2ComboBox2, form.QTrackBar4}},
      {form.VarNFTab,
       {form.DisplayVarNFBtn, form.VarNF2Btn, form.VarNotchFilterMemo, form.QTrackBar5}},
      {form.NoiseTab,
       {form.LMSFilterBtn2, form.MedianFltrBtn2, form.AutoNotchBtn, form.NoiseReductionBtn,
        form.NoiseReductionBar, form.NoiseBlankerBtn, form.NoiseBlankerBar}},
      {form.RefTab, {form.DisplayRefBtn}},
  };
  for (const auto& [page, controls] : pages) {
    form.FilterControl->setCurrentWidget(page);
    std::vector<QWidget*> expected{form.FilterControl->tabBar()};
    expected.insert(expected.end(), controls.begin(), controls.end());
    expected.push_back(form.SignalGainBar);
    form.BitBtn1->setFocus();
    std::vector<QWidget*> walked;
    for (std::size_t step = 0; step < expected.size(); ++step) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      walked.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(walked, expected)
        << form.FilterControl->tabText(form.FilterControl->indexOf(page)).toStdString();
  }
}

// QObject::disconnect answers whether the connection was there.
TEST_F(Window, EveryControlFiresAHandler) {
  TZForm* f = &form;
  const auto fires = [f](QObject* sender, const char* signal) {
    return QObject::disconnect(sender, signal, f, nullptr);
  };
  QList<QWidget*> controls = f->centralWidget()->findChildren<QWidget*>();
  controls += f->HiddenControls->findChildren<QWidget*>();
  for (QWidget* w : controls) {
    if (qobject_cast<QPushButton*>(w) || qobject_cast<QCheckBox*>(w)) {
      EXPECT_TRUE(fires(w, SIGNAL(clicked(bool)))) << w->property("text").toString().toStdString();
    }
    if (auto* box = qobject_cast<QComboBox*>(w)) {
      // A combo box answers the user's choice only, never a change from code.
      EXPECT_FALSE(fires(box, SIGNAL(currentIndexChanged(int))));
      EXPECT_TRUE(fires(box, SIGNAL(activated(int))));
    }
  }
  for (const auto& [bar, min, max, position] : bars())
    EXPECT_TRUE(fires(bar, SIGNAL(valueChanged(int)))) << min << ".." << max << " at " << position;
  for (const QMenu* menu : {f->File1, f->SoundCard1, f->InputSelect1, f->Left1, f->Help1}) {
    for (QAction* command : menu->actions()) {
      if (command->isSeparator() || command->menu()) continue;
      EXPECT_TRUE(fires(command, SIGNAL(triggered(bool)))) << command->text().toStdString();
    }
  }
  EXPECT_TRUE(fires(f->StartTimer, SIGNAL(timeout())));
  EXPECT_TRUE(fires(f->AudioTimer, SIGNAL(timeout())));
}
