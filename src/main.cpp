// squarefield: white squares fly outward from the centre of a black screen,
// speeding up and growing, until Escape. This picks the host and the exit status.
#include "cli/desktop.h"
#include "cli/options.h"
#include "platform/headless/headless_run.h"

int main(int argc, char** argv) {
  squarefield::PrepareConsole();
  squarefield::Options options;
  if (const auto status = squarefield::ParseOptions(argc, argv, options)) return *status;
  return options.headless ? squarefield::RunHeadless(options) : squarefield::RunDesktop(options);
}
