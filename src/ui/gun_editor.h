#pragma once

// The recoil pattern editor CMS_1_Gun (window "MS_1_Gun", layout "MS/MS_1/gunpage.xml"): a
// modal window that manages the pattern list (add, delete, rename, import, export) and edits
// the steps of the selected pattern in 30 rows of x, y and delay, beside a picture of the
// path the pointer takes. It works directly on the core's pattern list and has "gun.data"
// written after every change (through the core, which tells the user of a failure), so there
// is nothing to save or cancel when it closes. Its rules are GunEditing's (gun_editing.h).
//
// Keyboard: Tab runs through the list, its buttons, the step count and the rows' edits; Enter
// in a row's edit takes the typed value, as leaving the edit does; Up and Down in a row's edit
// add and subtract 1, as its plus and minus buttons do (which the pointer uses, and which are
// left out of the Tab order); Escape closes.
//
// UI thread.

#include <QSet>
#include <QString>
#include <functional>

#include "framework/skin_window.h"
#include "ui/gun_editing.h"

class QComboBox;
class QLineEdit;
class QListWidget;

namespace mokta {

class MouseCore;
class PatternPathView;

class CMS_1_Gun : public SkinWindow {
 public:
  // Shows `message_key` in a message box over `parent`; 1 means OK. The delete confirmation
  // and the name dialog's refusals go through it.
  using MessageBox = std::function<int(QWidget* parent, const QString& message_key)>;

  // `core` outlives the editor.
  CMS_1_Gun(QWidget* parent, MouseCore& core, MessageBox message_box);

  // Runs the editor modally until it is closed; every edit is stored by then.
  int Run();

  const GunEditing& editing() const { return editing_; }
  PatternPathView* path_view() const { return path_view_; }

 protected:
  void Notify(const Notification& notification) override;
  void OnClick(const Notification& notification) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* RowEdit(int row, GunField field) const;
  // Fills the list from the pattern list, quietly.
  void FillList();
  // Selects list row `position` quietly and loads it (GunEditing::Select), then shows it.
  void SelectRow(int position);
  // Shows the editing state: the rows' texts, which rows are shown and enabled, the step
  // count, the picture.
  void ShowSelection();
  void ShowRows();
  void ShowPath();
  void ShowValue(int row, GunField field, std::int32_t value);

  void OnRowControl(const Notification& notification, const GunRowControl& control);
  // Adds `delta` to the value the row's edit shows and stores it.
  void StepValue(int row, GunField field, int delta);
  // Removes what the field's filter does not keep from the edit's text.
  void FilterEdit(QLineEdit* edit, GunField field);
  // Takes the typed value of a row's edit into the pattern and shows it as stored.
  void CommitEdit(const GunRowControl& control);
  // Takes every edit typed into and not yet taken: before the selection changes, and when
  // the editor closes, so that nothing typed is lost.
  void CommitPendingEdits();

  void AddGun();
  void DeleteGun();
  void RenameGun();
  void ImportGun();
  void ExportGun();
  // Asks for a ".gun" file to open or to save, in the data folder; empty when cancelled.
  QString ChooseGunFile(bool save);

  MouseCore& core_;
  MessageBox message_box_;
  GunEditing editing_;
  QListWidget* list_ = nullptr;
  QComboBox* combo_ = nullptr;
  PatternPathView* path_view_ = nullptr;
  QSet<QString> typed_;  // names of row edits typed into since their value was last taken
};

}  // namespace mokta
