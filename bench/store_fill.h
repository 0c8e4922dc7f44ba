#pragma once

// Profile stores for the benchmarks, written by the program's own store code.

#include <QString>

namespace mokta::bench {

// Writes "pro.data" under `data_folder` (a "Data" folder with its trailing "/") with `count`
// profiles named "Profile 1", "Profile 2", ..., the first one selected. Each differs from the
// next in its brightness and first DPI stage, so that a switch between two neighbours changes
// what the mouse holds. Returns false when the store could not be written.
bool WriteProfileStore(const QString& data_folder, int count);

}  // namespace mokta::bench
