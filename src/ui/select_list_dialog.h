#pragma once

// The two list pick dialogs of the button assignment: CMS_1_SelectMacro (a macro) and
// CMS_1_SelectGun (a recoil pattern). Both show the names they are given, the three repeat
// modes and, for mode 0 only, the number of repetitions (1..255), and return the choice
// through their fields after a modal run: result 1 for OK, 0 for Cancel, Close or Escape.
//
// The dialogs own none of the data: the caller passes the names (with, per entry, why it may
// not be assigned) and reads the chosen index back; checking that the index still names an
// entry of its list is the caller's.

#include <QList>
#include <QString>
#include <functional>

#include "data/gun_data.h"
#include "data/macro_data.h"
#include "framework/skin_window.h"

class QKeyEvent;
class QLineEdit;
class QListWidget;

namespace mokta {

// One entry of the list.
struct PickListItem {
  QString name;
  // Empty when the entry may be chosen; otherwise the language key of the reason it may not.
  // Such an entry is listed (dimmed, with the reason) but OK refuses it.
  QString refusal_key;
};

// What a button holds or is to hold: the list index (-1 for none), the repeat mode (0: a
// number of times, 1: while held, 2: until pressed again) and the number of times (1..255).
struct RepeatChoice {
  int index = -1;
  int repeat_mode = 0;
  int loop_count = 1;
};

// The number of repetitions the loop-count text stands for: 1..255 as typed, 255 above, 1 for
// 0, for an empty text and for a text without a number.
int LoopCountFromText(const QString& text);

class SelectListDialog : public SkinWindow {
 public:
  // Shows `message_key` in a message box over `parent`; the dialog's way to tell the user why
  // OK was refused.
  using MessageBox = std::function<int(QWidget* parent, const QString& message_key)>;

  // `window_class` and `skin_file` name the window and its layout; `initial` is what the
  // button holds (an index outside the list selects nothing, a mode outside 0..2 counts as 0,
  // a count outside 1..255 is brought into it).
  SelectListDialog(QWidget* parent, const QString& window_class, const QString& skin_file,
                   QList<PickListItem> items, RepeatChoice initial, MessageBox message_box);

  // Runs the dialog modally; 1 when the user accepted, 0 otherwise.
  int Run();

  // The choice; after a run with result 1 it is what the user accepted.
  const RepeatChoice& choice() const { return choice_; }
  int selected_index() const { return choice_.index; }
  int repeat_mode() const { return choice_.repeat_mode; }
  int loop_count() const { return choice_.loop_count; }

 protected:
  void Notify(const Notification& notification) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FillList();
  void ShowMode();
  void ShowRefusal();
  void FilterLoopCount();
  // Reads the loop count from its field, correcting the text when it was out of range.
  void CommitLoopCount();
  void TryAccept();

  QList<PickListItem> items_;
  RepeatChoice choice_;
  MessageBox message_box_;
  QListWidget* list_ = nullptr;
  QLineEdit* loop_edit_ = nullptr;
};

// The macro pick dialog (window "MS_1_SelectMacro", layout "MS/MS_1/selectmacro.xml").
class CMS_1_SelectMacro : public SelectListDialog {
 public:
  CMS_1_SelectMacro(QWidget* parent, QList<PickListItem> items, RepeatChoice initial,
                    MessageBox message_box);
};

// The recoil pattern pick dialog (window "MS_1_SelectGun", layout "MS/MS_1/selectgun.xml").
// The caller's choice of repeat mode is shown and returned like the macro dialog's.
class CMS_1_SelectGun : public SelectListDialog {
 public:
  CMS_1_SelectGun(QWidget* parent, QList<PickListItem> items, RepeatChoice initial,
                  MessageBox message_box);
};

// The entries of the macro list, every one assignable.
QList<PickListItem> MacroPickItems(const MacroList& macros);
// The entries of the recoil pattern list; `refusal` gives, per pattern, the language key of
// why it may not be assigned, or an empty key (a null function: every pattern may be).
QList<PickListItem> GunPickItems(const GunList& guns,
                                 const std::function<QString(const GunData&)>& refusal = {});

}  // namespace mokta
