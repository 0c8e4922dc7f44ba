// mokta-mousectl: shows profile, macro and recoil pattern files and stores, and prints the
// messages an apply would send. See MousectlUsage() for the commands.

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "cli/mousectl.h"
#include "data/trace_rules.h"

int main(int argc, char** argv) {
  // QCoreApplication decodes the arguments (file names) from the locale's encoding.
  QCoreApplication app(argc, argv);
  // The traces name every key and file: on only when a logging rule names them.
  mokta::InstallTraceFilter();
  QTextStream out(stdout);
  QTextStream err(stderr);
  const int code = mokta::RunMousectl(app.arguments().mid(1), out, err);
  out.flush();
  err.flush();
  return code;
}
