#include <cstdlib>

#include "tests/files/fuzz_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!files_fuzz::wave_samples_inside_file({data, size}) ||
      !files_fuzz::wave_stream_reads_as_memory({data, size})) {
    std::abort();
  }
  return 0;
}
