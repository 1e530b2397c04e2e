// The libFuzzer entry point; IMVORA_FUZZ_TARGET names the function of FuzzTargets.h that this
// executable fuzzes.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  imvora::fuzz::IMVORA_FUZZ_TARGET(data, size);
  return 0;
}
