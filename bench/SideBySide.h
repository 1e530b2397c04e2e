#pragma once

// Side-by-side cases: one filter call through the document, as imvora-cli runs it, and an
// OpenCV operation on the same 4096 x 4096 picture, timed by turns in the same run. Each case
// reports the best time of either side and their ratio (ours / OpenCV) as counters, so that
// the load of other processes falls on both sides alike. Beside them: the filter's own Apply,
// and the memory floor, one copy of the picture's bytes; `apply_floors` is Apply in copies,
// `around_copies` the document's work around the call in copies.
#include <benchmark/benchmark.h>

#include <functional>
#include <opencv2/core.hpp>
#include <string>

#include "core/Document.h"
#include "core/Raster.h"

namespace imvora::bench {

constexpr int kSideBySideSide = 4096;

// The command line's answers: nothing is asked of anyone, nothing is shown.
class TSilentUi : public IDocumentUi {
 public:
  TSaveAnswer AskSaveChanges() override { return TSaveAnswer::No; }
  bool ChooseSaveName(std::string&) override { return false; }
  bool AskJpegOptions(TJpegDialogResult&) override { return false; }
  bool ShowsPicture() const override { return false; }
};

// 0: camera-like (soft shapes, texture and a little sensor noise); 1: uniform random bytes.
const TBitmap& SideBySidePicture(int kind);
// The bitmap's pixels as an 8-bit three-channel matrix, without a copy.
cv::Mat MatOf(const TBitmap& bitmap);

// The OpenCV side of a case: reads source, writes result (kept between runs, as a caller that
// reuses its buffers would).
using TOpenCvOp = std::function<void(const cv::Mat& source, cv::Mat& result)>;

// Arguments: picture kind, threads (1, or 0 for all cores, on both sides).
void SideBySide(benchmark::State& state, const std::string& call, const TOpenCvOp& openCv);
// The same on a picture of the caller's, named in the label; `openCv` works on its own data.
void SideBySide(benchmark::State& state, const std::string& call, const TBitmap& picture,
                const std::string& pictureName, const std::function<void()>& openCv);
// Threads for both sides: 0 means all cores.
void UseThreads(int threads);
void SideBySideArguments(benchmark::internal::Benchmark* b);

}  // namespace imvora::bench
