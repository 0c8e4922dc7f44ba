#pragma once

// The name dialog of profiles: an edit for the name, OK and Cancel. It refuses an empty name
// and a name the list already holds (letter case ignored, the profile being renamed included)
// with a message box, and stays open until a name is accepted or the user cancels.

#include <QString>
#include <functional>

#include "data/profile_data.h"
#include "framework/skin_window.h"

namespace mokta {

class CMS_1_ProfileName : public SkinWindow {
 public:
  using MessageBox = std::function<int(QWidget* parent, const QString& message_key)>;

  // `title_key` is shown as the title; `profiles` is the list names are checked against; it
  // outlives the dialog.
  CMS_1_ProfileName(QWidget* parent, const QString& title_key, const ProfileList& profiles,
                    MessageBox message_box);

  // Runs the dialog modally; 1 with the accepted name in name(), 0 when cancelled.
  int Run();
  const QString& name() const { return name_; }

 protected:
  void OnClick(const Notification& notification) override;

 private:
  void TryAccept();

  const ProfileList& profiles_;
  MessageBox message_box_;
  QString name_;
};

}  // namespace mokta
