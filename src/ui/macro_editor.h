#pragma once

// CMS_1_Macro, the macro editor: the modal window "MS/MS_1/ms_1_macropage.xml" in which the user
// manages the macros (add, delete, rename, import, export) and edits the actions of the
// selected one: recorded from the keyboard and the mouse through the input hooks, inserted as
// clicks, moved, deleted and edited one by one. Its rules are MacroEditing's; this class shows
// them and wires the controls, the hooks and the file dialogs. Every change that fits the
// mouse is in the macro list and "macro.data" at once; there is nothing to save on closing.
//
// The hooks are held only while recording (all input) or while the action's key field has the
// focus (keys), and are released whenever the window closes. Where they see only the program's
// own windows (a Wayland session), the window says so under the record button.
//
// UI thread.

#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/hook_table.h"
#include "framework/skin_window.h"
#include "ui/macro_editing.h"

class QLineEdit;
class QTableWidget;
class QListWidget;
class QAbstractButton;
class QStackedWidget;
class QComboBox;

namespace mokta {

class MouseCore;

class CMS_1_Macro : public SkinWindow {
 public:
  // Shows a message box over the given window; 1 for OK.
  using MessageBox = std::function<int(QWidget* parent, const QString& message_key)>;
  // Milliseconds of a monotonic clock; the recorder measures waits with it.
  using Clock = std::function<std::int64_t()>;

  // `core` outlives the window; `message_box` asks for the delete confirmation (1: OK).
  CMS_1_Macro(QWidget* parent, MouseCore& core, MessageBox message_box);
  // Ends a recording and releases the hooks when they are still held.
  ~CMS_1_Macro() override;

  // Runs the window modally; 1 when closed with its close button.
  int Run();

  void set_clock(Clock clock) { clock_ = std::move(clock); }
  const MacroEditing& editing() const { return editing_; }
  bool holds_hooks() const { return route_ != Route::kNone && hooks_held_; }

 protected:
  void Notify(const Notification& notification) override;
  std::intptr_t HandleCustomMessage(std::uint32_t message, std::uintptr_t wparam,
                                    std::intptr_t lparam, bool& handled) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  enum class Route { kNone, kRecorder, kKeyCapture };

  void OnClick(const QString& sender);
  void OnCheckClick(const QString& sender, bool checked);
  void OnKillFocus(const QString& sender);

  // The macro list, the selected macro and its actions on the controls.
  void FillMacroList();
  void ShowMacro();
  void ShowActions();
  void ShowActionEditor();
  void SelectMacroRow(int row);

  void AddMacro();
  void DeleteMacro();
  void ImportMacro();
  void ExportMacro();
  QString ChooseMacroFile(bool save);
  void TakeName();
  void InsertClick(int n);
  void TakeActionDelay(const QString& sender);
  void TakeDefaultDelay();
  int DefaultDelay() const;

  void StartRecording();
  // Ends the recording on the window's side: the record button and the hooks.
  void EndRecording();
  void OnRecordedInput(std::uintptr_t wparam, std::intptr_t lparam);
  void StartKeyCapture();
  void StopKeyCapture();
  void OnCapturedKey(std::uintptr_t wparam);
  void ForgetShiftOfBacktab();
  void ReleaseHooks();
  static void PostHookEvent(void* context, std::uint32_t message, std::uintptr_t wparam,
                            std::intptr_t lparam);

  MouseCore& core_;
  MessageBox message_box_;
  MacroEditing editing_;
  InputHooks* hooks_ = nullptr;
  std::shared_ptr<MessageTarget> target_;  // kept for the hooks' posts
  MoktaWindow hook_window_{};
  Route route_ = Route::kNone;
  bool hooks_held_ = false;
  bool action_editor_ = false;
  DelayMode delay_mode_ = DelayMode::kDefault;
  std::uint8_t code_before_last_capture_ = 0;
  QElapsedTimer elapsed_;
  Clock clock_;

  QListWidget* macro_list_ = nullptr;
  QLineEdit* name_edit_ = nullptr;
  QTableWidget* actions_ = nullptr;
  QAbstractButton* record_ = nullptr;
  QLineEdit* default_delay_ = nullptr;
  QAbstractButton* action_edit_check_ = nullptr;
  QStackedWidget* action_tabs_ = nullptr;
  QLineEdit* key_edit_ = nullptr;
  QLineEdit* key_delay_ = nullptr;
  QComboBox* mouse_combo_ = nullptr;
  QLineEdit* mouse_delay_ = nullptr;
};

}  // namespace mokta
