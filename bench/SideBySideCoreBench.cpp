// Side by side with OpenCV: the Gaussian blur, unsharp masking and the box blur against
// OpenCV's float filters with the same taps (exact doubles here, so the float filters, not the
// fixed-point GaussianBlur), the point filters against their OpenCV counterparts, and k-means.
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "bench/SideBySide.h"
#include "filters/Gaussian.h"

namespace {

using imvora::bench::SideBySide;
using imvora::bench::SideBySideArguments;

cv::Mat FloatTaps(const std::vector<double>& taps) {
  cv::Mat row(1, static_cast<int>(taps.size()), CV_32F);
  for (std::size_t i = 0; i < taps.size(); ++i) row.at<float>(static_cast<int>(i)) = float(taps[i]);
  return row;
}

void BM_Gauss_vs_sepFilter2D(benchmark::State& state) {
  const cv::Mat taps = FloatTaps(imvora::GaussKernel(3, 2.0));
  SideBySide(state, "Gauss(YYY 3 2)", [&](const cv::Mat& source, cv::Mat& result) {
    cv::sepFilter2D(source, result, -1, taps, taps, cv::Point(-1, -1), 0, cv::BORDER_REFLECT_101);
  });
}
BENCHMARK(BM_Gauss_vs_sepFilter2D)->Apply(SideBySideArguments);

// Unsharp masking: 2 · in − blur, limited to the byte range.
void BM_GSharpen_vs_sepFilter2D_addWeighted(benchmark::State& state) {
  const cv::Mat taps = FloatTaps(imvora::GaussKernel(3, 2.0));
  cv::Mat blurred;
  SideBySide(state, "GSharpen(YYY 3 2)", [&](const cv::Mat& source, cv::Mat& result) {
    cv::sepFilter2D(source, blurred, -1, taps, taps, cv::Point(-1, -1), 0, cv::BORDER_REFLECT_101);
    cv::addWeighted(source, 2, blurred, -1, 0, result);
  });
}
BENCHMARK(BM_GSharpen_vs_sepFilter2D_addWeighted)->Apply(SideBySideArguments);

void BM_Box_vs_filter2D(benchmark::State& state) {
  const cv::Mat taps(3, 3, CV_32F, cv::Scalar(1.0f / 9));
  SideBySide(state, "Box(YYY 0)", [&](const cv::Mat& source, cv::Mat& result) {
    cv::filter2D(source, result, -1, taps, cv::Point(-1, -1), 0, cv::BORDER_REFLECT_101);
  });
}
BENCHMARK(BM_Box_vs_filter2D)->Apply(SideBySideArguments);

void BM_Invert_vs_bitwise_not(benchmark::State& state) {
  SideBySide(state, "Invert(YYY)",
             [](const cv::Mat& source, cv::Mat& result) { cv::bitwise_not(source, result); });
}
BENCHMARK(BM_Invert_vs_bitwise_not)->Apply(SideBySideArguments);

void BM_GrayScale_vs_cvtColor(benchmark::State& state) {
  SideBySide(state, "GrayScale(YYY 0)", [](const cv::Mat& source, cv::Mat& result) {
    cv::cvtColor(source, result, cv::COLOR_BGR2GRAY);
  });
}
BENCHMARK(BM_GrayScale_vs_cvtColor)->Apply(SideBySideArguments);

// k = 8 and one attempt from random centres, until the centres move less than one level;
// OpenCV gets the pixels as float samples, converted beforehand.
void BM_kMeans_vs_kmeans(benchmark::State& state) {
  const cv::Mat pixels = imvora::bench::MatOf(imvora::bench::SideBySidePicture(state.range(0)));
  cv::Mat samples, labels, centres;
  pixels.reshape(1, static_cast<int>(pixels.total())).convertTo(samples, CV_32F);
  SideBySide(state, "kMeans(YYY 8 1 0)", [&](const cv::Mat&, cv::Mat& result) {
    cv::setRNGSeed(1);
    cv::kmeans(samples, 8, labels, cv::TermCriteria(cv::TermCriteria::EPS, 0, 1.0), 1,
               cv::KMEANS_RANDOM_CENTERS, centres);
    result = labels;
  });
}
BENCHMARK(BM_kMeans_vs_kmeans)->Apply(SideBySideArguments)->Iterations(1);

}  // namespace
