#pragma once

// The one place where tests answer modal windows in advance, so that no test ever blocks on
// one. Every modal run of the program asks the hook first: SkinWindow::ShowModal, and the
// message box and file dialog wrappers built on it.
//
// The hook sees the window about to run (a SkinWindow, a QFileDialog, ...). It either answers
// for the user, returning the modal result (the window then never shows; a file dialog
// wrapper reads the answer's file name from the dialog, which the hook may fill in), or
// returns nothing, and the real modal loop runs. To drive a window for real, queue the
// actions before returning nothing, e.g.
//   QTimer::singleShot(0, &window, [&] { QTest::mouseClick(ok_button, Qt::LeftButton); });
// and they run inside the loop.
//
// Without a hook (the running program) every modal window runs for real.

#include <QWidget>
#include <functional>
#include <optional>

namespace mokta {

using ModalTestHook = std::function<std::optional<int>(QWidget& window)>;

// Sets the hook; an empty function removes it. UI thread.
void SetModalTestHook(ModalTestHook hook);

// Asks the hook about `window`: its answer, or nothing when there is no hook or it lets the
// window run.
std::optional<int> AskModalTestHook(QWidget& window);

// Sets a hook for the life of a scope and restores the previous one after.
class ScopedModalTestHook {
 public:
  explicit ScopedModalTestHook(ModalTestHook hook);
  ~ScopedModalTestHook();
  ScopedModalTestHook(const ScopedModalTestHook&) = delete;
  ScopedModalTestHook& operator=(const ScopedModalTestHook&) = delete;

 private:
  ModalTestHook previous_;
};

}  // namespace mokta
