#pragma once

// The main window as the program builds it, together with the mouse's data and link it works
// on: the core is built first and goes last, as in the program's entry.

#include <memory>
#include <utility>

#include "app/main_window.h"
#include "app/mouse_core.h"

namespace mokta::test {

class CoreHolder {
 protected:
  explicit CoreHolder(MouseCoreOptions options) : held_core_(std::move(options)) {}
  MouseCore held_core_;
};

class TestMainWindow : private CoreHolder, public CMainWnd {
 public:
  explicit TestMainWindow(MouseCoreOptions options)
      : CoreHolder(std::move(options)), CMainWnd(held_core_) {}
};

// Options for a test: its own data folder, the virtual mouse's libraries in `driver_folder`,
// the pacing shortened, no system Bluetooth LE presence.
inline MouseCoreOptions TestCoreOptions(const QString& data_folder, const QString& driver_folder,
                                        int pacing_divisor = 20) {
  MouseCoreOptions options;
  options.data_folder = data_folder;
  options.host.driver_folder = driver_folder;
  options.host.pacing_divisor = pacing_divisor;
  options.use_system_ble = false;
  options.keyboard_layout = std::make_shared<FixedUsLayout>();  // not the machine's layout
  return options;
}

inline std::unique_ptr<CMainWnd> MakeTestMainWindow(MouseCoreOptions options) {
  return std::make_unique<TestMainWindow>(std::move(options));
}

}  // namespace mokta::test
