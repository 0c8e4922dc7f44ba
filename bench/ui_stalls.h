#pragma once

// The UI thread's longest stalls while the program talks to the mouse, measured in this
// process: the main window is built as the program builds it, against the virtual mouse
// (whose driver libraries are loaded from "virtual/" beside this executable) with the default
// pacing of the command sender, and a heartbeat on the UI thread (stall_meter.h) times the
// event loop while each operation runs.
//
// Operations, each repeated:
// - idle: nothing happens for a second; the machine's own noise, for comparison;
// - profile switch: the next profile is chosen in the profile list, which sends every command
//   to the mouse over the cable; the window ends when that apply pass has ended;
// - cable arrival: the cable is unplugged and, once the window shows no mouse, plugged in
//   again; the window covers the settle time, the link coming up and an apply pass that
//   follows it, if one begins within a grace time after the link is up.

namespace mokta::bench {

struct StallOptions {
  int runs = 5;
  int profiles = 100;  // in the store the window loads
};

// Runs the measurements and prints the table on standard output. Returns the exit code: 0, or
// 1 when the window or the mouse did not do what a step waits for.
int RunStallBench(int& argc, char** argv, const StallOptions& options);

}  // namespace mokta::bench
