// The help, the man page and the bash completion tell the same story: every
// subcommand and every exit status of the help is in the man page, and the
// completion offers what the command line takes.
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <unistd.h>

#include "cli_test_support.h"

namespace norvane::test {
namespace {

std::string FileText(const char* path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The first words of the lines in the help section that starts with `heading`.
std::vector<std::string> HelpSection(const std::string& help, const std::string& heading) {
  std::vector<std::string> words;
  std::istringstream lines(help.substr(help.find(heading) + heading.size()));
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line) && !line.empty()) {
    std::istringstream first(line);
    std::string word;
    first >> word;
    words.push_back(word);
  }
  return words;
}

class Documentation : public CliTest {
 protected:
  std::string help = Run({"--help"}).out;
  std::string manPage = FileText(NORVANE_DRIVE_MAN_PAGE);
};

TEST_F(Documentation, TheManPageDescribesEverySubcommandAndExitStatus) {
  const std::vector<std::string> subcommands = HelpSection(help, "Subcommands:");
  ASSERT_EQ(subcommands.size(), 9u) << help;
  for (const std::string& subcommand : subcommands) {
    EXPECT_NE(manPage.find(".SS " + subcommand + "\n"), std::string::npos) << subcommand;
  }
  const std::vector<std::string> codes = HelpSection(help, "Exit status:");
  ASSERT_EQ(codes.size(), 16u) << help;
  const std::string exitSection = manPage.substr(manPage.find(".SH EXIT STATUS"));
  for (const std::string& code : codes) EXPECT_NE(exitSection.find("\\fB" + code + "\\fR"), std::string::npos) << code;
}

// An option shows the name of its value once, and none of the parser's own
// notes: no "DEVICE:DEVICE", "MODE:{off,...}" or "Needs: --watch".
TEST_F(Documentation, EveryLevelsHelpShowsCleanOptions) {
  const std::regex glitch("[A-Za-z|]+:[A-Z{]|Needs:|Excludes:");
  for (const std::string& subcommand : HelpSection(help, "Subcommands:")) {
    const std::string text = Run({subcommand, "--help"}).out;
    EXPECT_FALSE(std::regex_search(text, glitch)) << text;
  }
  EXPECT_FALSE(std::regex_search(help, glitch)) << help;
}

// What bash offers for a command line whose last word is being typed
// (bash splits "--quiet=off" into three words, "=" the middle one), with
// /dev and /sys under `root` when one is given.
std::string Completions(const std::string& line, const std::string& root = "") {
  // The program the completion asks for the emulated drives is the one built here.
  const std::string script = "NORVANE_DRIVE_ROOT=" + root +
                             "\nPATH=$(dirname " NORVANE_DRIVE_BINARY "):$PATH\nsource " NORVANE_DRIVE_COMPLETION
                             "\nCOMP_WORDS=(" +
                             line + ")\n[[ \"" + line +
                             "\" == *' ' ]] && COMP_WORDS+=('')\nCOMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                             "_norvane_drive\nprintf '%s\\n' \"${COMPREPLY[@]}\" | sort | tr '\\n' ' '";
  // In the temporary folder: the folder the test runs in may be the sources'.
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("norvane-completion-" + std::to_string(getpid()) + ".sh");
  std::ofstream(file) << script;
  std::string offered;
  {
    std::unique_ptr<FILE, int (*)(FILE*)> bash(popen(("bash '" + file.string() + "'").c_str(), "r"), pclose);
    std::array<char, 512> buffer;
    while (fgets(buffer.data(), buffer.size(), bash.get()) != nullptr) offered += buffer.data();
  }
  std::filesystem::remove(file);
  return offered;
}

TEST_F(Documentation, TheCompletionOffersWhatTheCommandLineTakes) {
  const struct {
    std::string line;
    std::string offered;
  } cases[] = {
      {"norvane-drive se", "set settings "},
      {"norvane-drive --json f", "factory-reset force-eject "},
      {"norvane-drive --e", "--emulate "},
      {"norvane-drive set --q", "--quiet "},
      {"norvane-drive set --quiet ", "off performance persistent quiet "},
      {"norvane-drive --color never status --in", "--interval "},
      {"norvane-drive status --watch --c", "--color --csv "},
      {"norvane-drive list --watch --c", "--color "},
      {"norvane-drive set --read-error m", "master "},
      {"norvane-drive power-check --y", "--yes "},
      {"norvane-drive --device x eject --", "--color --device --emulate --help --json --timeout --trace --verbose "},
      {"norvane-drive --v", "--verbose --version "},
      {"norvane-drive --emulate -d ", "E G H "},
      {"norvane-drive --emulate --device = ", "E G H "},
      {"norvane-drive --emulate status --device = G --in", "--interval "},
      {"norvane-drive set --quiet = ", "off performance persistent quiet "},
      {"norvane-drive set --quiet = p", "performance persistent "},
      {"norvane-drive --color = never se", "set settings "},
      {"norvane-drive --device = X f", "factory-reset force-eject "},
      {"norvane-drive --timeout = 5 --device = X st", "status "},
  };
  for (const auto& c : cases) EXPECT_EQ(Completions(c.line), c.offered) << c.line;

  std::string all;
  for (const std::string& subcommand : HelpSection(help, "Subcommands:")) all += subcommand + " ";
  std::vector<std::string> sorted = HelpSection(help, "Subcommands:");
  std::sort(sorted.begin(), sorted.end());
  std::string expected;
  for (const std::string& subcommand : sorted) expected += subcommand + " ";
  EXPECT_EQ(Completions("norvane-drive "), expected) << "every subcommand of the help";
  for (const char* line : {"norvane-drive -d ", "norvane-drive --device = ", "norvane-drive --emulate -d "}) {
    EXPECT_EQ(Completions(line).find("settings"), std::string::npos) << "no subcommand where a drive goes: " << line;
  }
}

// A drive's nodes are offered for -d, and no disk's generic node: the sg
// nodes count by the SCSI type sysfs keeps for them, as the tool's own do.
TEST_F(Documentation, TheCompletionOffersOnlyTheNodesOfCdDvdDrives) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("norvane-completion-root-" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "dev");
  const struct {
    const char* node;
    const char* type;  // in sysfs, or none
  } nodes[] = {{"sr0", nullptr}, {"sg0", "0"}, {"sg1", "5"}, {"sg2", "4"}, {"sg3", nullptr}, {"sda", nullptr}};
  for (const auto& node : nodes) {
    std::ofstream(root / "dev" / node.node);
    if (node.type == nullptr) continue;
    const fs::path device = root / "sys/class/scsi_generic" / node.node / "device";
    fs::create_directories(device);
    std::ofstream(device / "type") << node.type << "\n";
  }
  for (const char* line : {"norvane-drive -d ", "norvane-drive --device = ", "norvane-drive status -d /dev/s"}) {
    EXPECT_EQ(Completions(line, root.string()), "/dev/sg1 /dev/sg2 /dev/sr0 ") << line;
  }
  fs::remove_all(root);
}

}  // namespace
}  // namespace norvane::test
