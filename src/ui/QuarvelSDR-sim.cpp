// The panel on the simulated board: the driver trace on standard output.
#include <QApplication>

#include <iostream>
#include <string>
#include <vector>

#include "ui/DispatchTexts.h"
#include "ui/SimEdition.h"

int main(int argc, char** argv) {
  using namespace quarvel;
  std::string error;
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const std::optional<ui::SimOptions> options = ui::ParseSimArguments(args, &error);
  if (!options) {
    std::cerr << "QuarvelSDR-sim: " << error << "\n" << ui::kSimUsage;
    return 2;
  }
  // Only the options above are read; the toolkit's own options are not.
  int qtArgc = argc > 0 ? 1 : 0;
  QApplication app(qtArgc, argv);

  ui::SimEdition sim(*options, std::cout,
                     ui::ApplicationTitle(argc > 0 ? argv[0] : "QuarvelSDR-sim"));
  ui::TForm1& Form1 = sim.Start();
  Form1.show();
  return app.exec();
}
