#pragma once

// How fast a recorded input event becomes a row of the macro editor's action list: the editor
// is opened over a macro list in a temporary data folder, a recording is started, and 46 key
// events are posted to it from another thread, as the input hook library posts them. For each
// event the time from its post to the first paint of the action list that shows its row is
// measured (the user sees the row then). The whole recording is repeated `runs` times; the
// figures are given by the number of actions the list held, up to the full 46.

namespace mokta::bench {

struct RecorderOptions {
  int runs = 5;
};

// Runs the measurement and prints the figures on standard output. Returns the exit code: 0, or
// 1 when a row never appeared.
int RunRecorderBench(int& argc, char** argv, const RecorderOptions& options);

}  // namespace mokta::bench
