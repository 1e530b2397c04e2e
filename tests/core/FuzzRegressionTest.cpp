// Every input that ever made a fuzz target fail, replayed through the same target.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/ImageFile.h"
#include "fuzz/FuzzTargets.h"

namespace imvora {
namespace {

TEST(FuzzRegressionTest, EveryInputThatFoundAFaultIsHandled) {
  using TTarget = void (*)(const std::uint8_t*, std::size_t);
  const std::pair<const char*, TTarget> targets[] = {{"bmp", fuzz::FuzzBmpDecode},
                                                     {"jpeg", fuzz::FuzzJpegDecode},
                                                     {"filters", fuzz::FuzzFilterCalls},
                                                     {"script", fuzz::FuzzScriptRunner}};
  const std::filesystem::path root = std::filesystem::path(IMVORA_SOURCE_DIR) / "fuzz/regressions";
  for (const auto& [folder, target] : targets) {
    if (!std::filesystem::is_directory(root / folder)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(root / folder)) {
      const std::vector<std::uint8_t> bytes = ReadWholeFile(entry.path().string());
      EXPECT_NO_THROW(target(bytes.data(), bytes.size())) << entry.path();
    }
  }
}

}  // namespace
}  // namespace imvora
