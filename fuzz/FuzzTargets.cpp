#include "fuzz/FuzzTargets.h"

#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/BatchRunner.h"
#include "core/Error.h"
#include "core/Filtering.h"
#include "core/ImageFile.h"
#include "core/TextFile.h"
#include "filters/FilterCatalog.h"
#include "tests/core/FakeUi.h"

namespace imvora::fuzz {
namespace {

using TBytes = std::vector<std::uint8_t>;

// Writing and reading back a picture holds three copies of it. A few RLE or arithmetic-coded
// bytes may rightly describe a picture of hundreds of megabytes; such pictures are decoded and
// touched, but not copied, which would only run into the fuzzer's memory limit.
constexpr std::int64_t kRoundTripPixels = std::int64_t{1} << 22;

void Require(bool condition, const char* what) {
  if (!condition) throw std::logic_error(what);
}

// Decodes the input, reads every pixel (so that the sanitizers see any byte outside the rows)
// and, when the picture is small enough to copy, hands it to `writtenBack`, which writes it and
// checks what reads back.
template <class TDecode, class TCheck>
void FuzzDecoder(const std::uint8_t* data, std::size_t size, TDecode decode, TCheck writtenBack) {
  TBitmap bitmap;
  try {
    bitmap = decode(TBytes(data, data + size));
  } catch (const EImvoraError&) {
    return;
  }
  Require(bitmap.BitsPerPixel() == 24 && !bitmap.Empty(), "decoded to no 24-bit picture");
  BuildHistogram(&bitmap);
  if (std::int64_t{bitmap.Width()} * bitmap.Height() <= kRoundTripPixels) writtenBack(bitmap);
}

// A run-length bitmap too large to copy: a few bytes may rightly describe it, and it decodes
// correctly, but filling it takes seconds under the sanitizers, which would only read as a
// time-out and starve the rest of the search.
bool IsLargeRunLengthBitmap(const std::uint8_t* data, std::size_t size) {
  const auto field = [data](int at) {  // little-endian
    return data[at] | data[at + 1] << 8 | data[at + 2] << 16 | std::uint32_t{data[at + 3]} << 24;
  };
  if (size < 34 || field(14) < 40 || (field(30) != 1 && field(30) != 2)) return false;
  const std::int64_t width = static_cast<std::int32_t>(field(18));
  return std::abs(width * static_cast<std::int32_t>(field(22))) > kRoundTripPixels;
}

// Parameters that are valid but make a filter work for seconds even on a 16 x 16 picture: a
// blur kernel thousands of pixels wide, a huge neighbourhood, millions of noise trials per
// pixel. In the program the user cancels such work; here it would only read as a time-out.
// A probe of the filter's name notes such a parameter, read as the document reads the call.
class TSlowParamProbe : public TImvoraFilter {
 public:
  TSlowParamProbe(const char* name, std::vector<std::int64_t> limits, bool& slow)
      : limits_(std::move(limits)), slow_(slow) {
    Name = name;
  }
  void SetParam(std::int32_t index, std::int32_t value) override {
    const bool limited = index >= 0 && index < static_cast<std::int32_t>(limits_.size());
    slow_ = slow_ || (limited && std::abs(std::int64_t{value}) > limits_[index]);
  }
  void Apply(TBitmap*, bool, bool, bool) override {}

 private:
  std::vector<std::int64_t> limits_;
  bool& slow_;
};

bool AnySlowButValid(const std::vector<std::string>& calls) {
  bool slow = false;
  testing::TFakeUi ui;
  TDocument probe(ui);
  const std::pair<const char*, std::vector<std::int64_t>> limits[] = {
      {"Gauss", {64, 64}},
      {"LightAlign", {64, 64}},
      {"GSharpen", {64, 64}},
      {"Median", {64}},
      {"GaussianNoise", {INT64_MAX, INT64_MAX, 4096}},
      {"Morpho", {64}}};
  for (const auto& [name, limit] : limits) {
    probe.AddFilter(std::make_unique<TSlowParamProbe>(name, limit, slow));
  }
  for (const std::string& call : calls) probe.RunFilterCall(call);
  return slow;
}

// A folder of this process for the script runner's file, removed when the fuzzer ends.
const std::string& ScratchFolder() {
  static const struct TScratchFolder {
    TScratchFolder() : Path(std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp") {
      Path += "/imvora-fuzz-XXXXXX";
      if (mkdtemp(Path.data()) == nullptr) throw std::runtime_error("no scratch folder");
    }
    ~TScratchFolder() { std::filesystem::remove_all(Path); }
    std::string Path;
  } folder;
  return folder.Path;
}

}  // namespace

void FuzzBmpDecode(const std::uint8_t* data, std::size_t size) {
  if (IsLargeRunLengthBitmap(data, size)) return;
  FuzzDecoder(data, size, DecodeBmp, [](const TBitmap& bitmap) {
    Require(DecodeBmp(EncodeBmp(bitmap)).SamePixels(bitmap), "BMP written and read back differs");
  });
}

void FuzzJpegDecode(const std::uint8_t* data, std::size_t size) {
  FuzzDecoder(data, size, DecodeJpeg, [](const TBitmap& bitmap) {
    const TBitmap again = DecodeJpeg(EncodeJpeg(bitmap, TJpegOptions{}));
    Require(again.Width() == bitmap.Width() && again.Height() == bitmap.Height(),
            "JPEG written and read back changed size");
  });
}

void FuzzFilterCalls(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 0;
  const auto next = [&] { return at < size ? data[at++] : std::uint8_t{0}; };
  const bool select = next() % 2 == 1;
  int bounds[4];
  for (int& bound : bounds) bound = next() % 16;
  const int width = next() % 16 + 1, height = next() % 16 + 1;
  TBitmap picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < 3 * width; ++i) picture.ScanLine(y)[i] = next();
  }
  std::vector<std::string> calls = SplitLines(std::string(data + at, data + size));
  if (calls.size() > 4) calls.resize(4);
  if (AnySlowButValid(calls)) return;

  testing::TFakeUi ui;
  TDocument document(ui);
  RegisterFilters(document);
  document.CurrentImage = document.SourceImage = picture;
  document.ShowBitmap(document.CurrentImage);
  document.SelectAll();
  if (select) document.SetSelection(bounds[0], bounds[1], bounds[2], bounds[3]);
  for (const std::string& call : calls) {
    try {
      document.RunFilterCall(call);
    } catch (const EImvoraError&) {
      // Refused parameters: the next call goes on with the picture as it was.
    }
  }
  document.ShowMarkupView();
  BuildHistogram(&document.Picture());  // every pixel shown
}

void FuzzScriptRunner(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines = SplitLines(std::string(data, data + size));
  // Each line filters the whole picture; eight of them are plenty to meet every path.
  if (lines.size() > 8) lines.resize(8);
  if (AnySlowButValid(lines)) return;
  TBitmap picture(7, 5);
  for (int y = 0; y < 5; ++y) {
    for (int i = 0; i < 21; ++i) picture.ScanLine(y)[i] = static_cast<std::uint8_t>(37 * i + y);
  }
  const std::string file = ScratchFolder() + "/picture.bmp";
  WriteImageFile(file, picture, TJpegOptions{});

  testing::TFakeUi ui;
  TDocument document(ui);
  RegisterFilters(document);
  try {
    RunBatch(document, lines, {file}, nullptr);
  } catch (const EImvoraError&) {
    return;
  }
  Require(LoadImageFile(file).SamePixels(document.CurrentImage), "the file written differs");
}

}  // namespace imvora::fuzz
