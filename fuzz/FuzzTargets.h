#pragma once

#include <cstddef>
#include <cstdint>

namespace imvora::fuzz {

// One fuzzer input each. Input the program refuses ends in an EImvoraError, which is the
// expected outcome; anything else escapes: a crash to the fuzzer, a failure to the regression
// test that replays every input that ever found a fault.

// Decodes a bitmap file, touches every pixel, writes it and reads it back unchanged.
void FuzzBmpDecode(const std::uint8_t* data, std::size_t size);
// Decodes a JPEG file, touches every pixel, encodes it and decodes that again.
void FuzzJpegDecode(const std::uint8_t* data, std::size_t size);
// A picture of at most 16 x 16 and an optional selection from the first bytes, then up to
// four filter calls, one a line, through the document, then the markup view.
void FuzzFilterCalls(const std::uint8_t* data, std::size_t size);
// The input as a script run by the batch runner over one small bitmap file.
void FuzzScriptRunner(const std::uint8_t* data, std::size_t size);

}  // namespace imvora::fuzz
