// iae: the engine's command line. Subcommands grow with the engine.
#include <CLI/CLI.hpp>

#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "json_stdout.h"
#include "page_commands.h"
#include "pattern_command.h"
#include "scenario_runner.h"

int main(int argc, char** argv) {
  CLI::App app{"iae: installation assistant engine tools"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("iae ") + installation_assistant::engine::kEngineVersion);

  CLI::App* simCommand = app.add_subcommand("sim", "Simulated installers on simwin");
  simCommand->require_subcommand(1);
  std::string scenarioFile;
  iae_tool::ScenarioRunOptions scenarioOptions;
  CLI::App* runCommand = simCommand->add_subcommand(
      "run",
      "Run a scenario file (docs/scenarios.md) against the engine and check its expectations. Exit 0 as expected, "
      "1 a mismatch or failure, 2 a mistake in the scenario file");
  runCommand->add_option("SCENARIO", scenarioFile, "Scenario file (YAML), or - for standard input (its pattern files are then found from the current directory)")->required();
  runCommand->add_flag("--json", scenarioOptions.json,
                       "Print the host calls as JSON lines on standard output; the rest goes to standard error");
  runCommand->add_option("--trace", scenarioOptions.traceFile, "Write the engine's trace records to this file");
  runCommand->add_option("--snapshots", scenarioOptions.snapshotDir,
                         "Write PNG pictures of the installer's windows into this folder (made if missing): when "
                         "each is shown, after each batch of the engine's actions, and at the end");
  runCommand->add_flag("--quiet", scenarioOptions.quiet, "Print the outcome only");
  runCommand->add_flag("--stats", scenarioOptions.stats,
                       "Print the accessibility calls the engine made, by kind, and per page its looks, matching passes, "
                       "time per pass, elements read and calls by kind");

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
  bool warningsAreErrors = false;
  CLI::App* checkCommand = patternCommand->add_subcommand(
      "check",
      "Report syntax errors (error:) and likely mistakes (warning:) in pattern files. Exit 0 when no file has an "
      "error (warnings alone pass), 1 when one has an error or cannot be read (with --werror: or a warning)");
  checkCommand->add_option("FILE", checkFiles, "Pattern files, or - for standard input")->required();
  checkCommand->add_flag("--werror", warningsAreErrors, "Warnings fail the check too (exit 1)");

  const std::map<std::string, installation_assistant::UIAccessType> backends{
      {"msaa", installation_assistant::UIAccessType::MSAA}, {"uia", installation_assistant::UIAccessType::UIAutomation}};
  std::string dumpScenario;
  std::string dumpPage;
  installation_assistant::UIAccessType dumpBackend = installation_assistant::UIAccessType::MSAA;
  CLI::App* dumpCommand = app.add_subcommand(
      "dump",
      "Print a page of a scenario as the engine reads it, as a pattern that matches the page as it stands: a start "
      "for a pattern. Exit 0 printed, 1 the page cannot be read, 2 a mistake in the scenario or an unknown page");
  dumpCommand->add_option("SCENARIO", dumpScenario, "Scenario file (YAML), or - for standard input")->required();
  dumpCommand->add_option("--page", dumpPage, "The page to show (default: the first visible one)");
  dumpCommand->add_option("--backend", dumpBackend, "How to read it: msaa (default) or uia")
      ->transform(CLI::CheckedTransformer(backends, CLI::ignore_case));

  std::string explainPattern;
  std::string explainScenario;
  iae_tool::ExplainOptions explainOptions;
  CLI::App* explainCommand = patternCommand->add_subcommand(
      "explain",
      "Match a pattern's roots in order against a page of a scenario with the engine's matchers: for the first root "
      "that fails, which node failed against which element and why; for a root that matches, the pairs and the "
      "actions. Exit 0 matched, 1 not matched or a syntax error, 2 a mistake in the scenario or an unknown page, "
      "3 unreadable pattern file");
  explainCommand->add_option("PATTERN", explainPattern, "Pattern file, or - for standard input")->required();
  explainCommand->add_option("SCENARIO", explainScenario, "Scenario file (YAML)")->required();
  explainCommand->add_option("--page", explainOptions.page, "The page to show (default: the first visible one)");
  explainCommand->add_option("--backend", explainOptions.backend, "Only the roots read through msaa or uia")
      ->transform(CLI::CheckedTransformer(backends, CLI::ignore_case));
  explainCommand->add_option("--root", explainOptions.root, "Only this root (1 is the first)")
      ->check(CLI::PositiveNumber);

  CLI11_PARSE(app, argc, argv);
  if (explainCommand->parsed()) {
    return iae_tool::RunExplain(explainPattern, explainScenario, explainOptions, std::cin, std::cout, std::cerr);
  }
  if (dumpCommand->parsed()) return iae_tool::RunDump(dumpScenario, dumpPage, dumpBackend, std::cout, std::cerr);
  if (runCommand->parsed() && scenarioOptions.json) {
    iae_tool::JsonOnlyStdout json;
    return iae_tool::RunScenarioFile(scenarioFile, scenarioOptions, json.Stream(), std::cerr);
  }
  if (runCommand->parsed()) return iae_tool::RunScenarioFile(scenarioFile, scenarioOptions, std::cout, std::cerr);
  if (describeCommand->parsed()) {
    return iae_tool::RunPatternDescribe(describeFile, headerOnly, std::cin, std::cout, std::cerr);
  }
  if (checkCommand->parsed()) return iae_tool::RunPatternCheck(checkFiles, std::cin, std::cout, warningsAreErrors);
  return 2;
}
