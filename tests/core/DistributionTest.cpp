#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "core/Version.h"
#include "tests/core/TempFolder.h"

namespace imvora {
namespace {

const std::string kCli = IMVORA_CLI_PATH, kBuild = IMVORA_BINARY_DIR;

// Standard output of a command that must succeed, run in the folder.
std::string Output(const testing::TTempFolder& folder, const std::string& command) {
  EXPECT_EQ(folder.Shell(command), 0) << command << ": " << folder.Text("err");
  return folder.Text("out");
}

TEST(DistributionTest, ManualPagesShowEveryCommandAndOptionOfTheHelp) {
  testing::TTempFolder folder;
  const auto show = [&folder](const std::string& page) {
    const std::string text =
        Output(folder, "LC_ALL=C.UTF-8 MANWIDTH=200 man --warnings -l " + kBuild + "/man/" + page);
    EXPECT_EQ(folder.Text("err").find("warning"), std::string::npos) << folder.Text("err");
    return text;
  };
  EXPECT_NE(show("imvora.1").find("GaussianNoise"), std::string::npos);
  const std::string page = show("imvora-cli.1");
  std::istringstream overview(Output(folder, kCli + " --help"));
  std::string line;
  while (std::getline(overview, line) && line != "Команды:") continue;
  const std::regex option("(^|[ [])(--?[a-z][a-z-]*)");
  while (std::getline(overview, line) && !line.empty()) {
    const std::string command = line.substr(2);
    EXPECT_NE(page.find("\n   " + command + "\n"), std::string::npos) << command;
    const std::string help = Output(folder, kCli + " " + command + " --help");
    for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it) {
      EXPECT_NE(page.find((*it)[2].str()), std::string::npos) << command << " " << (*it)[2];
    }
  }
}

TEST(DistributionTest, DebianPackageHoldsTheProgramsAndNamesDebianPackagesOnly) {
  if (!IMVORA_WITH_GUI) GTEST_SKIP() << "the package needs the GUI";
  testing::TTempFolder folder;
  Output(folder, IMVORA_CPACK " -G DEB --config " + kBuild + "/CPackConfig.cmake -B package");
  const std::string deb = Output(folder, "ls package/imvora_*.deb | tr -d '\\n'");
  const std::string files = Output(folder, "dpkg-deb -c " + deb);
  for (const char* path :
       {"/usr/bin/imvora\n", "/usr/bin/imvora-cli\n", "/usr/share/applications/imvora.desktop\n",
        "/usr/share/icons/hicolor/scalable/apps/imvora.svg\n", "/usr/share/man/man1/imvora.1.gz\n",
        "/usr/share/man/man1/imvora-cli.1.gz\n", "/usr/share/doc/imvora/copyright\n"}) {
    EXPECT_NE(files.find(path), std::string::npos) << path << files;
  }
  // One version: the package's and the one imvora-cli prints.
  EXPECT_EQ(Output(folder, "dpkg-deb -f " + deb + " Version"), std::string(kImvoraVersion) + "\n");
  EXPECT_EQ(Output(folder, kCli + " --version"),
            "imvora-cli " + std::string(kImvoraVersion) + "\n");
  // Every alternative of the dependency line names a package dpkg knows.
  const std::string depends = Output(folder, "dpkg-deb -f " + deb + " Depends");
  const std::regex name("(^|[,|] *)([^ ,|(\\n]+)");
  std::string names;
  for (std::sregex_iterator it(depends.begin(), depends.end(), name), end; it != end; ++it) {
    names += " " + (*it)[2].str();
    Output(folder, "dpkg-query -W " + (*it)[2].str());
  }
  for (const char* needed : {" libqt6widgets6", " libjpeg62-turbo", " qt6-qpa-plugins", " libc6"}) {
    EXPECT_NE(names.find(needed), std::string::npos) << needed << " in " << depends;
  }
}

}  // namespace
}  // namespace imvora
