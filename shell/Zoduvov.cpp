#include "shell/Zoduvov.h"

#include <QCloseEvent>

TZForm::TZForm() {
  create_controls();
}

TZForm::~TZForm() = default;

void TZForm::closeEvent(QCloseEvent* event) { event->accept(); }
void TZForm::request_quit() {}
void TZForm::process_messages() {}
void TZForm::report(std::string_view, std::string_view) {}
void TZForm::enable_timeout_timer(bool) {}
void TZForm::show_diagnostic(engine::Diagnostic, std::uint32_t) {}
void TZForm::stop_transport() {}
void TZForm::update_display() {}

void TZForm::FormCreate() {}
void TZForm::FormDestroy() {}
void TZForm::FormClose() {}
void TZForm::RecordBtnClick() {}
void TZForm::PlayBtnClick() {}
void TZForm::StopBtnClick() {}
void TZForm::PauseBtnClick() {}
void TZForm::SpectrumBoxMouseMove(Qt::MouseButtons, int, int) {}
void TZForm::SpectrumBoxMouseUp(Qt::MouseButton, int, int) {}
void TZForm::RefScrollBarChange() {}
void TZForm::SpectrumWidthBtnClick() {}
void TZForm::SpectrumTypeBtnClick() {}
void TZForm::DataBtnClick() {}
void TZForm::DisplayBtnClick() {}
void TZForm::BypassBtnClick() {}
void TZForm::BitBtn1Click() {}
void TZForm::SignalGainBarChange() {}
void TZForm::RxCoarseTrackBarChange() {}
void TZForm::DisplayBPBtnClick() {}
void TZForm::BandPassBtnClick() {}
void TZForm::BPComboBox2Change() {}
void TZForm::BPComboBoxChange() {}
void TZForm::QTrackBarChange() {}
void TZForm::QTrackBar10Change() {}
void TZForm::DisplayVarBPBtnClick() {}
void TZForm::VarFltrBtnClick() {}
void TZForm::QTrackBar2Change() {}
void TZForm::DisplayNF1BtnClick() {}
void TZForm::NF1BtnClick() {}
void TZForm::NF1ComboBox2Change() {}
void TZForm::NF1ComboBoxChange() {}
void TZForm::QTrackBar3Change() {}
void TZForm::DisplayNF2BtnClick() {}
void TZForm::NF2BtnClick() {}
void TZForm::NF2ComboBox2Change() {}
void TZForm::NF2ComboBoxChange() {}
void TZForm::QTrackBar4Change() {}
void TZForm::DisplayVarNFBtnClick() {}
void TZForm::VarNF2BtnClick() {}
void TZForm::QTrackBar5Change() {}
void TZForm::LMSFilterBtn2Click() {}
void TZForm::LMSFilterBtnClick() {}
void TZForm::MedianFltrBtn2Click() {}
void TZForm::MedianFltrBtnClick() {}
void TZForm::DisplayRefBtnClick() {}
void TZForm::Lo_BP_Freq_ScrollBarChange() {}
void TZForm::Hi_BP_Freq_ScrollBarChange() {}
void TZForm::Lo_Notch_Freq_ScrollBarChange() {}
void TZForm::Hi_Notch_Freq_ScrollBarChange() {}
void TZForm::NF1FltrClick() {}
void TZForm::NF2FltrClick() {}
void TZForm::BPFltrClick() {}
void TZForm::LoVarFltrClick() {}
void TZForm::VarNotchFltrClick() {}
void TZForm::RefLineClick() {}
void TZForm::StartBtnClick() {}
void TZForm::StopCycleBtnClick() {}
void TZForm::StartTimerTimer() {}
void TZForm::TimeoutTimerTimer() {}
void TZForm::LoadWaveClick() {}
void TZForm::SaveWaveClick() {}
void TZForm::Quit1Click() {}
void TZForm::InputSoundCardClick() {}
void TZForm::OutputSoundCardClick() {}
void TZForm::MicInputClick() {}
void TZForm::LeftInputClick() {}
void TZForm::RightInputClick() {}
void TZForm::HelpMenu1Click() {}
void TZForm::About1Click() {}
