// Every input that ever made a fuzz target fail, replayed through the same target.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/ImageFile.h"
#include "fuzz/FuzzTargets.h"

namespace imvora {
namespace {

namespace fs = std::filesystem;

TEST(FuzzRegressionTest, EveryInputThatFoundAFaultIsHandled) {
  const struct {
    const char* Folder;
    void (*Target)(const std::uint8_t*, std::size_t);
  } targets[] = {{"bmp", fuzz::FuzzBmpDecode},
                 {"jpeg", fuzz::FuzzJpegDecode},
                 {"filters", fuzz::FuzzFilterCalls},
                 {"script", fuzz::FuzzScriptRunner}};
  const fs::path root = fs::path(IMVORA_SOURCE_DIR) / "fuzz" / "regressions";
  int replayed = 0;
  for (const auto& target : targets) {
    if (!fs::is_directory(root / target.Folder)) continue;
    for (const auto& entry : fs::directory_iterator(root / target.Folder)) {
      const std::vector<std::uint8_t> bytes = ReadWholeFile(entry.path().string());
      EXPECT_NO_THROW(target.Target(bytes.data(), bytes.size())) << entry.path();
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0);
}

}  // namespace
}  // namespace imvora
