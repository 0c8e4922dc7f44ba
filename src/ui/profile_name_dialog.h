#pragma once

// The name dialog: an edit for the name, OK and Cancel. It refuses an empty name and a name
// the list already holds (letter case ignored, the record being renamed included) with a
// message box, and stays open until a name is accepted or the user cancels. Profiles name
// themselves with CMS_1_ProfileName, recoil patterns with CMS_1_GunName: the same layout over
// a different list, with the edit limited to what the list's name field holds.

#include <QString>
#include <QStringView>
#include <functional>

#include "data/gun_data.h"
#include "data/profile_data.h"
#include "framework/skin_window.h"

namespace mokta {

class NameDialog : public SkinWindow {
 public:
  using MessageBox = std::function<int(QWidget* parent, const QString& message_key)>;
  // Whether a name is already taken in the list being named.
  using NameTaken = std::function<bool(QStringView name)>;

  // Runs the dialog modally; 1 with the accepted name in name(), 0 when cancelled.
  int Run();
  const QString& name() const { return name_; }

 protected:
  // `window_class` names the window; `title_key` is shown as the title; `max_length` is the
  // longest name the record holds, `edit_name` what a screen reader calls the edit.
  NameDialog(QWidget* parent, const QString& window_class, const QString& title_key,
             NameTaken taken, int max_length, const QString& edit_name, MessageBox message_box);

  void OnClick(const Notification& notification) override;

 private:
  void TryAccept();

  NameTaken taken_;
  MessageBox message_box_;
  QString name_;
};

class CMS_1_ProfileName : public NameDialog {
 public:
  // `profiles` is the list names are checked against; it outlives the dialog.
  CMS_1_ProfileName(QWidget* parent, const QString& title_key, const ProfileList& profiles,
                    MessageBox message_box);
};

class CMS_1_GunName : public NameDialog {
 public:
  // `guns` is the list names are checked against; it outlives the dialog.
  CMS_1_GunName(QWidget* parent, const QString& title_key, const GunList& guns,
                MessageBox message_box);
};

}  // namespace mokta
