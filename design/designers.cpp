#include "design/designers.h"

#include "design/fir.h"
#include "design/state.h"

namespace design {

void design_bandpass(int n, std::span<float> taps, float f1, float f2) {
  design_bandpass_filter(n, f1, f2, bp_q_level, taps, bp_resp_re, bp_resp_im);
}

void design_var_bandpass(int n, float f1, float f2) {
  design_bandpass_filter(n, f1, f2, var_bp_q_level, var_bp_taps, var_bp_resp_re, var_bp_resp_im);
}

void design_nf1(int n, float f1, float f2) {
  design_notch_filter(n, f1, f2, nf1_q_level, nf1_taps, nf1_resp_re, nf1_resp_im);
}

void design_nf2(int n, float f1, float f2) {
  design_notch_filter(n, f1, f2, nf2_q_level, nf2_taps, nf2_resp_re, nf2_resp_im);
}

void design_var_notch(int n, float f1, float f2) {
  design_notch_filter(n, f1, f2, var_notch_q_level, var_notch_taps, var_notch_resp_re,
                      var_notch_resp_im);
}

}  // namespace design
