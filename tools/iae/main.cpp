// iae: the engine's command line. Subcommands grow with the engine.
#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "pattern_command.h"

int main(int argc, char** argv) {
  CLI::App app{"iae: installation assistant engine tools"};
  app.require_subcommand(1);

  iae_tool::DemoOptions demo;
  CLI::App* demoCommand =
      app.add_subcommand("demo", "Run the engine on simwin against a simulated installer and show what the host was told");
  demoCommand->add_flag("--notifications", demo.notifications, "Create the engine with CreateEngine (notifications on)");
  demoCommand->add_option("--threshold", demo.threshold, "Trace threshold passed to the factory (0 All .. 6 Off)")
      ->capture_default_str();
  demoCommand->add_flag("--trace", demo.showTrace, "Also print the engine's trace records");
  demo.patternFile = std::string(IAE_EXAMPLES_DIR) + "/patterns/demo_offer.pattern";
  demoCommand->add_option("--pattern", demo.patternFile, "Pattern the host adds for the installer")
      ->capture_default_str()
      ->check(CLI::ExistingFile);
  demoCommand->add_option("--installer-ms", demo.installerMilliseconds,
                          "How long the simulated user takes before finishing the installer")
      ->capture_default_str()
      ->check(CLI::Range(0, 60000));

  CLI::App* patternCommand = app.add_subcommand("pattern", "Tools for pattern authors");
  patternCommand->require_subcommand(1);
  bool headerOnly = false;
  std::string describeFile;
  CLI::App* describeCommand = patternCommand->add_subcommand(
      "describe",
      "Parse a pattern as the engine does and print what it means. Exit 0 parsed, 1 pattern syntax error, "
      "2 header syntax error, 3 bad version string, 4 unreadable file");
  describeCommand->add_flag("--header", headerOnly, "Parse the version header only");
  describeCommand->add_option("FILE", describeFile, "Pattern file, or - for standard input")->required();
  std::vector<std::string> checkFiles;
  CLI::App* checkCommand = patternCommand->add_subcommand(
      "check", "Report syntax errors and likely mistakes in pattern files. Exit 0 when every file is ok");
  checkCommand->add_option("FILE", checkFiles, "Pattern files, or - for standard input")->required();

  CLI11_PARSE(app, argc, argv);
  if (demoCommand->parsed()) return iae_tool::RunDemo(demo);
  if (describeCommand->parsed()) {
    return iae_tool::RunPatternDescribe(describeFile, headerOnly, std::cin, std::cout, std::cerr);
  }
  if (checkCommand->parsed()) return iae_tool::RunPatternCheck(checkFiles, std::cin, std::cout);
  return 2;
}
