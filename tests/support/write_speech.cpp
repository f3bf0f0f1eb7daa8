// Speaks the noise filters' test sentences once for a whole test run.
#include <cstdio>

#include "tests/support/speech.h"

int main() {
  if (speech::write_sentences(TONEWELL_SPEECH_FILE)) return 0;
  std::fprintf(stderr, "write_speech: could not write %s\n", TONEWELL_SPEECH_FILE);
  return 1;
}
