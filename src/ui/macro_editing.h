#pragma once

// The rules of the macro editor, apart from its window: which macro is being edited, a working
// copy of its actions, the selected action, the recorder that turns input events into actions,
// and the size rule that decides after every step whether the change is kept (the macro is
// written back and the store saved) or thrown away (the stored macro is loaded again).
//
// The editor works directly on the list it is given. Every step that changes a macro ends in
// SaveOrRevert, so the list and "macro.data" always hold the last macro that fits the mouse.
// The window shows the result (actions(), selected_action(), ...) after each call.
//
// UI thread only. Times are milliseconds of a monotonic clock, given by the caller.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "data/keyboard_layout.h"
#include "data/macro_data.h"

namespace mokta {

// How the recorder fills the wait before each recorded event.
enum class DelayMode {
  kMeasured = 0,  // the time since the previous event, at most kMaxMacroDelay
  kDefault = 1,   // the default delay
  kNone = 2,      // 1 ms
};

inline constexpr int kMinMacroDelay = 1;
inline constexpr int kMaxMacroDelay = 25000;
// Recording stops before an event once the macro takes this many units.
inline constexpr int kRecordingSizeStop = 46;
// A mouse click insert needs room for two actions.
inline constexpr int kMaxActionsBeforeClick = 44;

// The mouse-button codes of the actions, and the five click inserts in button order (left,
// right, middle, forward, back).
inline constexpr std::uint8_t kMouseLeft = 0xF1;
inline constexpr std::uint8_t kMouseRight = 0xF2;
inline constexpr std::uint8_t kMouseMiddle = 0xF3;
inline constexpr std::uint8_t kMouseBack = 0xF4;
inline constexpr std::uint8_t kMouseForward = 0xF5;
inline constexpr std::uint8_t kClickInsertCodes[5] = {kMouseLeft, kMouseRight, kMouseMiddle,
                                                      kMouseForward, kMouseBack};

bool IsMouseButtonCode(std::uint8_t code);
// A delay as the edits take it: 1..25,000 (below 1, or no number, gives 1).
int ClampMacroDelay(long long value);

// One input event of the hooks (see mokta_hook.h) as an action, or nothing for an event that
// names no key or button the editor knows (a wheel, an X button other than 1 or 2).
struct RecordedInput {
  bool valid = false;
  std::uint8_t code = 0;
  std::uint8_t state = 0;  // MacroAction::kPress or kRelease
};
RecordedInput InputToAction(std::uintptr_t wparam, std::intptr_t lparam,
                            const KeyboardLayout& layout);

class MacroEditing {
 public:
  // Writes "macro.data" from the list; false when the write failed (the writer tells the user).
  using SaveStore = std::function<bool()>;

  // `macros` outlives the editor.
  MacroEditing(MacroList& macros, SaveStore save);

  // ---- The macros

  MacroList& macros() { return macros_; }
  int current_index() const { return current_index_; }
  // The macro being edited, or null.
  const MacroData* current() const;
  // Makes macro `index` the one being edited and loads its actions into the working copy; an
  // index outside the list leaves none being edited.
  void SelectMacro(int index);
  // Appends a new macro named `name` (already unique), writes the store and selects it.
  // Returns its index.
  int AddMacro(const QString& name);
  // Removes macro `index`, writes the store and selects the macro at the same place, or the
  // one before it when the last was removed (none when the list is now empty). Returns the
  // index now selected (-1: none).
  int DeleteMacro(int index);
  // The name edit lost the focus with `text`: renames the macro being edited unless `text` is
  // empty, another macro's name (letter case ignored) or only a change of letter case. Returns
  // the name the edit should show (the stored name).
  QString Rename(const QString& text);

  // ---- The working copy

  int action_count() const { return static_cast<int>(working_.used_action_count()); }
  MacroAction action(int index) const;
  // The selected action, -1 for none. Every step below leaves the selection where the action
  // list should show it: after a step that reloads the list, at the start of the last
  // recording when a cancelled edit restores it, at the last inserted action while inserting,
  // otherwise at the last action.
  int selected_action() const { return selected_; }
  // Selects action `index`; -1 or an index outside the actions selects none.
  void SelectAction(int index);

  // Each step below changes the working copy and ends in SaveOrRevert; each returns whether it
  // changed anything (false: refused, nothing to do).

  // Inserts a press and a release of `code` after the selected action (first when none), both
  // with `delay`; refused without a macro or with more than 44 actions.
  bool InsertClick(std::uint8_t code, int delay);
  // Moves the selected action one place up or down; it stays selected.
  bool MoveUp();
  bool MoveDown();
  // Deletes the selected action; the action after it (or the new last one) is selected.
  bool DeleteAction();
  // Deletes every action of the macro.
  bool Clear();
  // Gives the selected action the key or button `code`.
  bool SetActionCode(std::uint8_t code);
  // Gives the selected action the wait `delay`, clamped to 1..25,000; the last action's wait is
  // not changed (it is the wait after the whole macro). Returns the clamped value, or 0 when
  // nothing was changed.
  int SetActionDelay(long long delay);
  // Loads the stored macro again, throwing the working copy away (the action editor's Cancel);
  // the list then selects where the last recording started.
  void Revert();

  // Keeps the working copy when the macro fits the mouse (writes it into the macro and the
  // store), else loads the stored macro again. Returns whether it was kept.
  bool SaveOrRevert();

  // ---- Recording

  bool recording() const { return recording_; }
  int recording_start() const { return recording_start_; }
  // Starts recording into the macro being edited (the caller adds one first when there is
  // none): replacing its actions when none is selected, else inserting after the selected one.
  // `default_delay` is taken for DelayMode::kDefault (clamped to 1..25,000).
  void StartRecording(DelayMode mode, long long default_delay, std::int64_t now_ms);
  enum class Taken {
    kIgnored,       // a repeat of the last event (a held key), or an unknown event
    kTaken,         // a new action
    kTakenStopped,  // a new action, and the macro is full: recording stopped
    kStopped,       // the macro had no room for it: recording stopped, the event not taken
  };
  // One input event while recording.
  Taken Record(std::uintptr_t wparam, std::intptr_t lparam, std::int64_t now_ms,
               const KeyboardLayout& layout);
  // The action the last taken event made, while recording (nothing when no event was taken).
  std::optional<MacroAction> LastTaken() const;
  // Takes back the action the last taken event made (the key that stopped the recording from
  // the keyboard); the wait before it goes back to 1.
  void ForgetLastTaken();
  // Ends the recording and keeps or throws away what it made (SaveOrRevert). Returns whether
  // a recording was running.
  bool StopRecording();

 private:
  void LoadWorkingCopy();
  // The selection the action list takes when it is filled again (see selected_action()).
  void SelectAfterReload();
  void InsertAction(int at, const MacroAction& action);
  void SetWorkingCount(int count);

  MacroList& macros_;
  SaveStore save_;
  int current_index_ = -1;
  MacroData working_;  // only the actions and their count are used
  int selected_ = -1;
  int insertion_point_ = -1;  // where the next recorded action goes; -1: at the end
  bool inserting_ = false;
  bool restore_selection_ = false;
  DelayMode mode_ = DelayMode::kDefault;
  int default_delay_ = 10;
  bool recording_ = false;
  int recording_start_ = -1;
  bool first_event_ = false;       // no event of this recording taken yet
  int last_taken_ = -1;            // where the last taken event's action is; -1: none
  bool last_taken_first_ = false;  // that event was the recording's first
  std::int64_t last_event_ms_ = 0;
  bool has_last_input_ = false;
  std::uintptr_t last_wparam_ = 0;
  std::intptr_t last_lparam_ = 0;
};

}  // namespace mokta
