#pragma once

// What the settings-page tests share: the real main window, offscreen, over its own data
// folder and the virtual mouse (its settings and links put back first), with the first
// send-all done; the main window's timers on a manual clock; the mouse's write log; counts of
// the apply passes asked for and ended; and answers for the colour dialog.

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/main_window.h"
#include "data/profile_data.h"
#include "framework/manual_timer_clock.h"
#include "framework/modal_test_hook.h"
#include "framework/timer_clock.h"
#include "virtual_mouse.h"

namespace mokta::test {

// The mouse's write log (MOKTA_VIRTUAL_LOG), set up by RunPageTests.
qint64 LogSize();
// The lines from byte `from` on that start with `prefix` ("cable 05 ").
int LogLines(const QString& prefix, qint64 from = 0);
// The command codes the mouse took over `link` from byte `from` on, in order ("0C", "05").
QStringList LoggedCommands(qint64 from, const QString& link = QStringLiteral("cable"));

// Answers the colour dialog by clicking preset `preset` (1..16) and then `finish`
// ("confirm_btn" or "cancel_btn") inside its modal loop.
ScopedModalTestHook PickPreset(int preset, const char* finish);

// A slot message as the mouse keeps it, written out by hand: bytes 0..8 as given (0x09, 0x6F,
// the slot, `head` = mode, three extra bytes and the count, then the item count), the items,
// and the checksum (the 16-bit sum of bytes 3..108, high byte first).
VirtualSlotMessage SlotMessage(std::uint8_t slot, std::array<std::uint8_t, 5> head,
                               const std::vector<std::uint8_t>& items);

class PageTest : public ::testing::Test {
 protected:
  // The mouse at its factory settings, the cable plugged, nothing else, the mouse awake.
  void SetUp() override;

  // A store with `count` profiles named P1.. (each changed by `adjust` when given), then the
  // window, with the first send-all done and recorded. Call with ASSERT_NO_FATAL_FAILURE.
  void Start(int count = 1, const std::function<void(ProfileData&)>& adjust = {});
  // Start(1) with "macro.data" holding the macro Jump (Space pressed, 20 ms, and released) and
  // button 4 playing it once. Call with ASSERT_NO_FATAL_FAILURE.
  void StartWithJump();
  // What "macro.data" holds now (empty when it cannot be read).
  QByteArray MacroStoreBytes() const;
  // Waits until `passes` apply passes have ended since `before`.
  void WaitForPasses(int before, int passes = 1);
  // Runs one more pass and waits for it: every pass asked for earlier has ended then, as the
  // worker runs them in order. Such a pass that finds nothing changed sends only 0x0C.
  void Barrier();

  // How many passes were asked for so far, once every message posted until now is handled.
  std::uint64_t ApplyRequests();

  const ProfileData& Current() { return window_->core().session().current(); }
  template <typename T = QWidget>
  T* Find(const char* name) {
    return window_->Find<T>(QString::fromLatin1(name));
  }
  template <typename T = QWidget>
  T* Find(const QString& name) {
    return window_->Find<T>(name);
  }

  VirtualMouse& mouse_ = VirtualMouse::Shared();
  QTemporaryDir data_;
  // The input hook library the window loads; empty: where the program looks (the tests hold none).
  QString hook_library_;
  // The main window's timers (TIMER_APPLY_DELAY, ...) move only with clock_->Advance.
  std::shared_ptr<ManualTimerClock> clock_ = std::make_shared<ManualTimerClock>();
  ScopedTimerClock use_clock_{clock_};
  std::unique_ptr<CMainWnd> window_;
  int passes_ = 0;  // apply passes that ended
};

// The tests' main: the environment for the virtual mouse and the resources, an application on
// `platform` ("offscreen", or "xcb" on a private X server), the program's language texts; then
// every test.
int RunPageTests(int argc, char** argv, const char* platform = "offscreen");

}  // namespace mokta::test
