#pragma once

// The time from starting the real program to its main window being shown: the program is
// started as a child process (its output goes to a log file), and a window watch on the same
// X display (window_watch.h) notes when the window with the program's title is mapped and
// when it is first exposed. The program is then ended with SIGTERM, as a session ends it,
// before the next start. It runs under an instance name and with a data folder of the
// benchmark's own (MOKTA_INSTANCE_NAME, MOKTA_DATA_DIR), so that neither the user's running
// program nor the data beside the executable is touched.

#include <string>

namespace mokta::bench {

struct StartOptions {
  std::string program;  // the program's executable, in a program folder of its own
  int runs = 5;
  std::string title = "Mokta Gaming Mouse";  // the main window's title
  int timeout_ms = 30000;                    // for one start
  int profiles = 100;                        // in the store of the temporary data folder
};

// Prints the table on standard output. Returns the exit code: 0, 1 when a start failed (the
// program's log is then printed) or the data folder could not be made, 2 when there is no
// display.
int RunStartBench(const StartOptions& options);

}  // namespace mokta::bench
