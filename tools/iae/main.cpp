// iae: the engine's command line. Subcommands grow with the engine.
#include <CLI/CLI.hpp>

#include "commands.h"

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
  demoCommand->add_option("--installer-ms", demo.installerMilliseconds,
                          "How long the simulated user takes before finishing the installer")
      ->capture_default_str()
      ->check(CLI::Range(0, 60000));

  CLI11_PARSE(app, argc, argv);
  if (demoCommand->parsed()) return iae_tool::RunDemo(demo);
  return 2;
}
