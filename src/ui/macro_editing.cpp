#include "ui/macro_editing.h"

#include <QLoggingCategory>
#include <algorithm>
#include <utility>

#include "data/key_tables.h"
#include "data/names.h"
#include "mokta_hook.h"

namespace mokta {
namespace {

Q_LOGGING_CATEGORY(lcMacroEditing, "mokta.macro")

constexpr int kMaxActions = static_cast<int>(MacroData::kMaxActions);

void CopyActions(const MacroData& from, MacroData& to) {
  std::copy(from.actions_bytes().begin(), from.actions_bytes().end(), to.actions_bytes().begin());
  to.set_action_count(static_cast<std::uint32_t>(from.used_action_count()));
}

}  // namespace

bool IsMouseButtonCode(std::uint8_t code) {
  return code >= kMouseLeft && code <= kMouseForward;
}

int ClampMacroDelay(long long value) {
  return static_cast<int>(std::clamp<long long>(value, kMinMacroDelay, kMaxMacroDelay));
}

RecordedInput InputToAction(std::uintptr_t wparam, std::intptr_t lparam,
                            const KeyboardLayout& layout) {
  constexpr std::uint8_t kPress = MacroAction::kPress;
  constexpr std::uint8_t kRelease = MacroAction::kRelease;
  switch (wparam) {
    case MOKTA_HOOK_LEFT_DOWN:
      return {true, kMouseLeft, kPress};
    case MOKTA_HOOK_LEFT_UP:
      return {true, kMouseLeft, kRelease};
    case MOKTA_HOOK_RIGHT_DOWN:
      return {true, kMouseRight, kPress};
    case MOKTA_HOOK_RIGHT_UP:
      return {true, kMouseRight, kRelease};
    case MOKTA_HOOK_MIDDLE_DOWN:
      return {true, kMouseMiddle, kPress};
    case MOKTA_HOOK_MIDDLE_UP:
      return {true, kMouseMiddle, kRelease};
    case MOKTA_HOOK_X_DOWN:
    case MOKTA_HOOK_X_UP: {
      const std::uint8_t state = wparam == MOKTA_HOOK_X_DOWN ? kPress : kRelease;
      if (lparam == 2) return {true, kMouseBack, state};
      if (lparam == 1) return {true, kMouseForward, state};
      return {};
    }
    default:
      break;
  }
  // The other pointer messages (movement, wheel, double clicks) are no key.
  if (wparam >= 0x200 && wparam <= 0x20E) return {};
  std::uint8_t code = 0;
  if (wparam <= 0xFFFFFFFFu) {
    code = static_cast<std::uint8_t>(
        VirtualKeyToUsage(static_cast<std::uint32_t>(wparam), layout).usage & 0xFF);
  }
  return {true, code, lparam == 0 ? kPress : kRelease};
}

MacroEditing::MacroEditing(MacroList& macros, SaveStore save)
    : macros_(macros), save_(std::move(save)) {}

const MacroData* MacroEditing::current() const {
  if (current_index_ < 0 || current_index_ >= static_cast<int>(macros_.size())) return nullptr;
  return macros_[static_cast<std::size_t>(current_index_)].get();
}

void MacroEditing::LoadWorkingCopy() {
  working_ = MacroData();
  if (const MacroData* macro = current()) CopyActions(*macro, working_);
  if (action_count() == 0) selected_ = -1;
}

void MacroEditing::SelectAfterReload() {
  const int count = action_count();
  int row = count - 1;
  if (restore_selection_ && recording_start_ >= 0) {
    row = recording_start_;
  } else if (inserting_) {
    row = insertion_point_ - 1;
  }
  restore_selection_ = false;
  selected_ = std::min(row, count - 1);
}

void MacroEditing::SelectMacro(int index) {
  current_index_ = index >= 0 && index < static_cast<int>(macros_.size()) &&
                           macros_[static_cast<std::size_t>(index)]
                       ? index
                       : -1;
  inserting_ = false;
  insertion_point_ = -1;
  restore_selection_ = false;
  LoadWorkingCopy();
  SelectAfterReload();
}

int MacroEditing::AddMacro(const QString& name) {
  macros_.push_back(NewMacro(name));
  save_();
  const int index = static_cast<int>(macros_.size()) - 1;
  SelectMacro(index);
  return index;
}

int MacroEditing::DeleteMacro(int index) {
  if (index < 0 || index >= static_cast<int>(macros_.size())) return current_index_;
  macros_.erase(macros_.begin() + index);
  save_();
  const int next = std::min(index, static_cast<int>(macros_.size()) - 1);
  SelectMacro(next);
  return current_index_;
}

QString MacroEditing::Rename(const QString& text) {
  if (current_index_ < 0 || !current()) return text;
  MacroData& macro = *macros_[static_cast<std::size_t>(current_index_)];
  const QString name = text.left(static_cast<qsizetype>(MacroData::kNameUnits) - 1);
  // The same name in other letters is no rename; an empty or taken name is refused.
  if (name.isEmpty() || name.compare(macro.name(), Qt::CaseInsensitive) == 0 ||
      NameExists(macros_, name)) {
    return macro.name();
  }
  macro.set_name(name);
  save_();
  return macro.name();
}

MacroAction MacroEditing::action(int index) const {
  if (index < 0 || index >= action_count()) return {};
  return working_.action(static_cast<std::size_t>(index));
}

void MacroEditing::SelectAction(int index) {
  selected_ = index >= 0 && index < action_count() ? index : -1;
}

void MacroEditing::SetWorkingCount(int count) {
  working_.set_action_count(static_cast<std::uint32_t>(std::clamp(count, 0, kMaxActions)));
}

void MacroEditing::InsertAction(int at, const MacroAction& action) {
  const int count = action_count();
  if (count >= kMaxActions) return;
  at = std::clamp(at, 0, count);
  for (int i = count; i > at; --i) {
    working_.set_action(static_cast<std::size_t>(i),
                        working_.action(static_cast<std::size_t>(i - 1)));
  }
  working_.set_action(static_cast<std::size_t>(at), action);
  SetWorkingCount(count + 1);
}

bool MacroEditing::SaveOrRevert() {
  const int units = MacroSizeUnits(working_);
  qCDebug(lcMacroEditing, "iTotalNum = %d", units);
  if (units >= kMacroSizeLimit) {
    if (current_index_ >= 0) {
      LoadWorkingCopy();
      restore_selection_ = false;
      SelectAfterReload();
    }
    return false;
  }
  if (current_index_ < 0 || !current()) return true;
  CopyActions(working_, *macros_[static_cast<std::size_t>(current_index_)]);
  save_();
  return true;
}

bool MacroEditing::InsertClick(std::uint8_t code, int delay) {
  if (!current() || action_count() > kMaxActionsBeforeClick) return false;
  const int at = selected_ + 1;
  const auto wait = static_cast<std::uint16_t>(ClampMacroDelay(delay));
  InsertAction(at, {code, MacroAction::kPress, wait});
  InsertAction(at + 1, {code, MacroAction::kRelease, wait});
  // The list shows the inserted release selected, so that the next insert follows it.
  inserting_ = true;
  insertion_point_ = at + 2;
  SelectAfterReload();
  SaveOrRevert();
  inserting_ = false;
  return true;
}

bool MacroEditing::MoveUp() {
  if (selected_ < 1 || selected_ >= action_count()) return false;
  const auto upper = static_cast<std::size_t>(selected_ - 1);
  const auto lower = static_cast<std::size_t>(selected_);
  const MacroAction moved = working_.action(lower);
  working_.set_action(lower, working_.action(upper));
  working_.set_action(upper, moved);
  selected_ -= 1;
  SaveOrRevert();
  return true;
}

bool MacroEditing::MoveDown() {
  if (selected_ < 0 || selected_ >= action_count() - 1) return false;
  const auto upper = static_cast<std::size_t>(selected_);
  const auto lower = static_cast<std::size_t>(selected_ + 1);
  const MacroAction moved = working_.action(upper);
  working_.set_action(upper, working_.action(lower));
  working_.set_action(lower, moved);
  selected_ += 1;
  SaveOrRevert();
  return true;
}

bool MacroEditing::DeleteAction() {
  const int count = action_count();
  if (selected_ < 0 || selected_ >= count) return false;
  for (int i = selected_; i < count - 1; ++i) {
    working_.set_action(static_cast<std::size_t>(i),
                        working_.action(static_cast<std::size_t>(i + 1)));
  }
  working_.set_action(static_cast<std::size_t>(count - 1), {});
  SetWorkingCount(count - 1);
  selected_ = count - 1 == 0 ? -1 : std::min(selected_, count - 2);
  SaveOrRevert();
  return true;
}

bool MacroEditing::Clear() {
  if (!current()) return false;
  working_ = MacroData();
  inserting_ = false;
  insertion_point_ = -1;
  selected_ = -1;
  SaveOrRevert();
  return true;
}

bool MacroEditing::SetActionCode(std::uint8_t code) {
  if (selected_ < 0 || selected_ >= action_count()) return false;
  MacroAction changed = working_.action(static_cast<std::size_t>(selected_));
  changed.code = code;
  working_.set_action(static_cast<std::size_t>(selected_), changed);
  SaveOrRevert();
  return true;
}

int MacroEditing::SetActionDelay(long long delay) {
  // The last action's wait is the wait after the whole macro: it stays as it is.
  if (selected_ < 0 || selected_ >= action_count() - 1) return 0;
  const int clamped = ClampMacroDelay(delay);
  MacroAction changed = working_.action(static_cast<std::size_t>(selected_));
  changed.delay_ms = static_cast<std::uint16_t>(clamped);
  working_.set_action(static_cast<std::size_t>(selected_), changed);
  SaveOrRevert();
  return clamped;
}

void MacroEditing::Revert() {
  if (!current()) return;
  restore_selection_ = true;
  LoadWorkingCopy();
  SelectAfterReload();
}

void MacroEditing::StartRecording(DelayMode mode, long long default_delay, std::int64_t now_ms) {
  if (selected_ < 0) {
    working_ = MacroData();
    insertion_point_ = -1;
    inserting_ = false;
  } else {
    insertion_point_ = selected_ + 1;
    inserting_ = true;
  }
  recording_start_ = insertion_point_;
  recording_ = true;
  mode_ = mode;
  default_delay_ = ClampMacroDelay(default_delay);
  last_event_ms_ = now_ms;
  first_event_ = true;
  last_taken_ = -1;
  // A new recording takes its first event whatever the last one before it was.
  has_last_input_ = false;
}

MacroEditing::Taken MacroEditing::Record(std::uintptr_t wparam, std::intptr_t lparam,
                                         std::int64_t now_ms, const KeyboardLayout& layout) {
  if (!recording_) return Taken::kIgnored;
  // A held key repeats its press: only the first is taken.
  if (has_last_input_ && wparam == last_wparam_ && lparam == last_lparam_) return Taken::kIgnored;
  has_last_input_ = true;
  last_wparam_ = wparam;
  last_lparam_ = lparam;
  if (MacroSizeUnits(working_) >= kRecordingSizeStop || action_count() >= kMaxActions) {
    StopRecording();
    return Taken::kStopped;
  }
  const RecordedInput input = InputToAction(wparam, lparam, layout);
  if (!input.valid) return Taken::kIgnored;

  int wait = 1;
  if (mode_ == DelayMode::kMeasured) {
    wait = ClampMacroDelay(now_ms - last_event_ms_);
  } else if (mode_ == DelayMode::kDefault) {
    wait = default_delay_;
  }
  MacroData before = working_;
  // The wait goes to the action before this one; the action a recording is inserted after
  // keeps its own.
  const int count = action_count();
  const int at = inserting_ ? std::clamp(insertion_point_, 0, count) : count;
  if (!first_event_ && at > 0) {
    MacroAction previous = working_.action(static_cast<std::size_t>(at - 1));
    previous.delay_ms = static_cast<std::uint16_t>(wait);
    working_.set_action(static_cast<std::size_t>(at - 1), previous);
  }
  InsertAction(at, {input.code, input.state, 1});
  // An event that would make the macro too big for the mouse ends the recording without it,
  // so that what was recorded so far is kept.
  if (MacroSizeUnits(working_) >= kMacroSizeLimit) {
    working_ = std::move(before);
    StopRecording();
    return Taken::kStopped;
  }
  if (inserting_) insertion_point_ = at + 1;
  last_taken_ = at;
  last_taken_first_ = first_event_;
  first_event_ = false;
  last_event_ms_ = now_ms;
  SelectAfterReload();
  if (action_count() >= kMaxActions) {
    StopRecording();
    return Taken::kTakenStopped;
  }
  return Taken::kTaken;
}

std::optional<MacroAction> MacroEditing::LastTaken() const {
  if (!recording_ || last_taken_ < 0 || last_taken_ >= action_count()) return std::nullopt;
  return working_.action(static_cast<std::size_t>(last_taken_));
}

void MacroEditing::ForgetLastTaken() {
  if (!LastTaken()) return;
  const int at = last_taken_;
  const int count = action_count();
  for (int i = at; i < count - 1; ++i) {
    working_.set_action(static_cast<std::size_t>(i),
                        working_.action(static_cast<std::size_t>(i + 1)));
  }
  working_.set_action(static_cast<std::size_t>(count - 1), {});
  SetWorkingCount(count - 1);
  // The action before it waited for this event; the one a recording went in after keeps its
  // own wait.
  if (!last_taken_first_ && at > 0) {
    MacroAction previous = working_.action(static_cast<std::size_t>(at - 1));
    previous.delay_ms = 1;
    working_.set_action(static_cast<std::size_t>(at - 1), previous);
  }
  if (inserting_) insertion_point_ = at;
  last_taken_ = -1;
  SelectAfterReload();
}

bool MacroEditing::StopRecording() {
  if (!recording_) return false;
  recording_ = false;
  last_event_ms_ = 0;
  SaveOrRevert();
  return true;
}

}  // namespace mokta
