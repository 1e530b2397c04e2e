#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#include "core/Version.h"

namespace imvora {
namespace {

// Standard output of a shell command; its exit status goes to `status` when asked for.
std::string Shell(const std::string& command, int* status = nullptr) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  for (std::size_t n; pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    output.append(buffer, n);
  }
  const int result = pipe != nullptr ? pclose(pipe) : -1;
  if (status != nullptr) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return output;
}

std::string ShowManPage(const std::string& page) {
  int status;
  const std::string text = Shell("LC_ALL=C.UTF-8 MANWIDTH=200 man --warnings -l " +
                                     std::string(IMVORA_BINARY_DIR) + "/man/" + page + " 2>&1",
                                 &status);
  EXPECT_EQ(status, 0) << text;
  EXPECT_EQ(text.find("warning"), std::string::npos) << text;
  return text;
}

TEST(DistributionTest, ManualPagesShowEveryCommandAndOptionOfTheHelp) {
  EXPECT_NE(ShowManPage("imvora.1").find("GaussianNoise"), std::string::npos);
  const std::string page = ShowManPage("imvora-cli.1");
  std::istringstream overview(Shell(std::string(IMVORA_CLI_PATH) + " --help"));
  std::string line;
  while (std::getline(overview, line) && line != "Команды:") continue;
  const std::regex option("(^|[ [])(--?[a-z][a-z-]*)");
  while (std::getline(overview, line) && !line.empty()) {
    const std::string command = line.substr(2);
    EXPECT_NE(page.find("\n   " + command + "\n"), std::string::npos) << command;
    const std::string help = Shell(std::string(IMVORA_CLI_PATH) + " " + command + " --help");
    for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it) {
      EXPECT_NE(page.find((*it)[2].str()), std::string::npos) << command << " " << (*it)[2];
    }
  }
}

TEST(DistributionTest, DebianPackageHoldsTheProgramsAndNamesDebianPackagesOnly) {
  if (!IMVORA_WITH_GUI) GTEST_SKIP() << "the package needs the GUI";
  const std::string dir = std::string(IMVORA_BINARY_DIR) + "/package-test";
  int status;
  const std::string log = Shell("rm -rf " + dir + " && " + IMVORA_CPACK + " -G DEB --config " +
                                    IMVORA_BINARY_DIR + "/CPackConfig.cmake -B " + dir + " 2>&1",
                                &status);
  ASSERT_EQ(status, 0) << log;
  const std::string deb = Shell("ls " + dir + "/imvora_*.deb | tr -d '\\n'");
  const std::string files = Shell("dpkg-deb -c " + deb);
  for (const char* path :
       {"/usr/bin/imvora\n", "/usr/bin/imvora-cli\n", "/usr/share/applications/imvora.desktop\n",
        "/usr/share/icons/hicolor/scalable/apps/imvora.svg\n", "/usr/share/man/man1/imvora.1.gz\n",
        "/usr/share/man/man1/imvora-cli.1.gz\n", "/usr/share/doc/imvora/copyright\n"}) {
    EXPECT_NE(files.find(path), std::string::npos) << path << files;
  }
  // One version: the package's and the one imvora-cli prints.
  EXPECT_EQ(Shell("dpkg-deb -f " + deb + " Version"), std::string(kImvoraVersion) + "\n");
  EXPECT_EQ(Shell(std::string(IMVORA_CLI_PATH) + " --version"),
            "imvora-cli " + std::string(kImvoraVersion) + "\n");
  // Every alternative of the dependency line names a package dpkg knows.
  const std::string depends = Shell("dpkg-deb -f " + deb + " Depends");
  const std::regex name("(^|[,|] *)([^ ,|(\\n]+)");
  std::string names;
  for (std::sregex_iterator it(depends.begin(), depends.end(), name), end; it != end; ++it) {
    names += " " + (*it)[2].str();
    Shell("dpkg-query -W " + (*it)[2].str() + " >/dev/null 2>&1", &status);
    EXPECT_EQ(status, 0) << (*it)[2] << " in " << depends;
  }
  for (const char* needed : {" libqt6widgets6", " libjpeg62-turbo", " qt6-qpa-plugins", " libc6"}) {
    EXPECT_NE(names.find(needed), std::string::npos) << needed << " in " << depends;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace imvora
