#include "fuzz/FuzzTargets.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/BatchRunner.h"
#include "core/Document.h"
#include "core/Error.h"
#include "core/Filtering.h"
#include "core/ImageFile.h"
#include "filters/FilterCatalog.h"

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

// Reads every pixel, so that the sanitizers see any byte outside the rows.
void TouchEveryPixel(const TBitmap& bitmap) {
  unsigned sum = 0;
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* row = bitmap.ScanLine(y);
    for (int i = 0; i < bitmap.Width() * bitmap.BytesPerPixel(); ++i) sum += row[i];
  }
  volatile unsigned sink = sum;
  (void)sink;
}

std::uint32_t LittleEndian32(const std::uint8_t* data) {
  return data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t{data[3]} << 24;
}

// A run-length bitmap too large to copy: a few bytes may rightly describe it, and it decodes
// correctly, but filling it takes seconds under the sanitizers, which would only read as a
// time-out and starve the rest of the search.
bool IsLargeRunLengthBitmap(const std::uint8_t* data, std::size_t size) {
  if (size < 34 || LittleEndian32(data + 14) < 40) return false;
  const std::uint32_t compression = LittleEndian32(data + 30);
  const std::int64_t width = static_cast<std::int32_t>(LittleEndian32(data + 18));
  const std::int64_t height = static_cast<std::int32_t>(LittleEndian32(data + 22));
  return (compression == 1 || compression == 2) && std::abs(width * height) > kRoundTripPixels;
}

bool SmallEnoughToCopy(const TBitmap& bitmap) {
  return std::int64_t{bitmap.Width()} * bitmap.Height() <= kRoundTripPixels;
}

class THeadlessUi : public IDocumentUi {
 public:
  TSaveAnswer AskSaveChanges() override { return TSaveAnswer::No; }
  bool ChooseSaveName(std::string&) override { return false; }
  bool AskJpegOptions(TJpegDialogResult& result) override {
    result.QualityText = "85";
    return true;
  }
};

std::string Trimmed(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Parameters that are valid but make a filter work for seconds even on a 16 x 16 picture: a
// blur kernel thousands of pixels wide, a huge neighbourhood, millions of noise trials per
// pixel. In the program the user cancels such work; here it would only read as a time-out.
struct TSlowLimit {
  const char* Filter;
  int Param;
  std::int64_t Max;
};
constexpr TSlowLimit kSlowLimits[] = {
    {"gauss", 0, 64},      {"gauss", 1, 64},    {"lightalign", 0, 64},
    {"lightalign", 1, 64}, {"gsharpen", 0, 64}, {"gsharpen", 1, 64},
    {"median", 0, 64},     {"morpho", 0, 64},   {"gaussiannoise", 2, 4096},
};

// The call's name and parameters, read as the document's filter call reads them.
bool IsSlowButValid(const std::string& call) {
  const std::size_t open = call.find('(');
  const std::size_t close = open == std::string::npos ? open : call.find(')', open + 1);
  if (close == std::string::npos) return false;
  const std::string name = Lower(Trimmed(call.substr(0, open)));
  const std::string arguments = Trimmed(call.substr(open + 1, close - open - 1));
  if (arguments.size() < 3) return false;
  const std::string rest = Trimmed(arguments.substr(3));
  const char* position = rest.c_str();
  for (int k = 0; position != nullptr; ++k) {
    std::int32_t value;
    position = ScanInt(position, value);
    for (const TSlowLimit& limit : kSlowLimits) {
      if (name == limit.Filter && k == limit.Param && std::abs(std::int64_t{value}) > limit.Max) {
        return true;
      }
    }
  }
  return false;
}

bool AnySlowButValid(const std::vector<std::string>& calls) {
  return std::any_of(calls.begin(), calls.end(), IsSlowButValid);
}

class TInput {
 public:
  TInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }
  std::string Rest() const {
    return at_ < size_ ? std::string(data_ + at_, data_ + size_) : std::string();
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

TBitmap SmallPicture(TInput& input) {
  const int width = input.Next() % 16 + 1;
  const int height = input.Next() % 16 + 1;
  TBitmap picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < 3 * width; ++i) picture.ScanLine(y)[i] = input.Next();
  }
  return picture;
}

void ShowPicture(TDocument& document, const TBitmap& picture) {
  document.CurrentImage = picture;
  document.SourceImage = picture;
  document.ShowBitmap(document.CurrentImage);
  document.SelectAll();
}

// A folder of this process for the script runner's file, removed when the fuzzer ends.
class TScratchFolder {
 public:
  TScratchFolder() {
    const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    Path = std::string(base) + "/imvora-fuzz-XXXXXX";
    if (mkdtemp(Path.data()) == nullptr) throw std::runtime_error("no scratch folder");
  }
  ~TScratchFolder() { std::filesystem::remove_all(Path); }

  std::string Path;
};

const std::string& ScratchFolder() {
  static const TScratchFolder folder;
  return folder.Path;
}

}  // namespace

void FuzzBmpDecode(const std::uint8_t* data, std::size_t size) {
  if (IsLargeRunLengthBitmap(data, size)) return;
  TBitmap bitmap;
  try {
    bitmap = DecodeBmp(TBytes(data, data + size));
  } catch (const EImvoraError&) {
    return;
  }
  Require(bitmap.BitsPerPixel() == 24 && !bitmap.Empty(), "BMP decoded to no 24-bit picture");
  TouchEveryPixel(bitmap);
  if (!SmallEnoughToCopy(bitmap)) return;
  Require(DecodeBmp(EncodeBmp(bitmap)).SamePixels(bitmap), "BMP written and read back differs");
}

void FuzzJpegDecode(const std::uint8_t* data, std::size_t size) {
  TBitmap bitmap;
  try {
    bitmap = DecodeJpeg(TBytes(data, data + size));
  } catch (const EImvoraError&) {
    return;
  }
  Require(bitmap.BitsPerPixel() == 24 && !bitmap.Empty(), "JPEG decoded to no 24-bit picture");
  TouchEveryPixel(bitmap);
  if (!SmallEnoughToCopy(bitmap)) return;
  const TBitmap again = DecodeJpeg(EncodeJpeg(bitmap, TJpegOptions{}));
  Require(again.Width() == bitmap.Width() && again.Height() == bitmap.Height(),
          "JPEG written and read back changed size");
}

void FuzzFilterCalls(const std::uint8_t* data, std::size_t size) {
  TInput input(data, size);
  const bool select = input.Next() % 2 == 1;
  int bounds[4];
  for (int& bound : bounds) bound = input.Next() % 16;
  const TBitmap picture = SmallPicture(input);
  std::vector<std::string> calls = SplitScriptLines(input.Rest());
  if (calls.size() > 4) calls.resize(4);
  if (AnySlowButValid(calls)) return;

  THeadlessUi ui;
  TDocument document(ui);
  RegisterFilters(document);
  ShowPicture(document, picture);
  if (select) document.SetSelection(bounds[0], bounds[1], bounds[2], bounds[3]);
  for (const std::string& call : calls) {
    try {
      document.RunFilterCall(call);
    } catch (const EImvoraError&) {
      // Refused parameters: the next call goes on with the picture as it was.
    }
  }
  document.ShowMarkupView();
  TouchEveryPixel(document.Picture());
}

void FuzzScriptRunner(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines = SplitScriptLines(std::string(data, data + size));
  // Each line filters the whole picture; eight of them are plenty to meet every path.
  if (lines.size() > 8) lines.resize(8);
  if (AnySlowButValid(lines)) return;
  TBitmap picture(7, 5);
  for (int y = 0; y < 5; ++y) {
    for (int i = 0; i < 21; ++i) picture.ScanLine(y)[i] = static_cast<std::uint8_t>(37 * i + y);
  }
  const std::string file = ScratchFolder() + "/picture.bmp";
  WriteImageFile(file, picture, TJpegOptions{});

  THeadlessUi ui;
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
