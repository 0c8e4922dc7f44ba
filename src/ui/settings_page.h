#pragma once

// The mouse settings page: everything the main window shows of the mouse. It is not a window
// of its own but the virtual window "MS_1_Page" inside the main window's layout. It works on
// the mouse's data and link, which it receives (MouseCore) and owns none of: it holds only its
// controls and the state of what it shows. The controls that edit a profile field are bound
// through the tables of page_bindings.h; the mouse's own states reach the controls through
// PageLinkDisplay.
//
// UI thread only.

#include <QSet>
#include <QString>
#include <functional>
#include <memory>

#include "framework/notification.h"
#include "ui/assignment_dialogs.h"
#include "ui/button_menu.h"
#include "ui/page_bindings.h"
#include "ui/page_controls.h"
#include "ui/page_link_display.h"

namespace mokta {

class MouseCore;
class SkinWindow;

// The page's assignment buttons, "ms_1_btn_key_1".."ms_1_btn_key_18"; the first 12 open the
// button menu.
inline constexpr char kButtonKey[] = "ms_1_btn_key_%1";
inline constexpr int kMenuButtons = 12;

// Starts the desktop's own mouse settings, detached; false when no known one is installed.
bool OpenDesktopMouseSettings();

class CMS_1_Page {
 public:
  // `core` outlives the page.
  explicit CMS_1_Page(MouseCore& core);
  ~CMS_1_Page();

  CMS_1_Page(const CMS_1_Page&) = delete;
  CMS_1_Page& operator=(const CMS_1_Page&) = delete;

  // Set by the main window before Init: the window whose layout holds the page's controls
  // (its messages and timers are the page's too).
  void set_window(SkinWindow* window) { window_ = window; }
  // Shows the program's message box with a message key over `parent` (the page's window, or a
  // dialog opened from it) and returns its result (1 for OK).
  using MessageBox = std::function<int(QWidget* parent, const QString& message_key)>;
  void set_message_box(MessageBox message_box) { message_box_ = std::move(message_box); }
  // Set by the main window before Init: hands the name of a clicked menu item to the main
  // window, which calls OnMenuCommand with it once the menu has closed.
  using MenuCommandPoster = std::function<void(const QString& item_name)>;
  void set_menu_command_poster(MenuCommandPoster poster) { post_menu_command_ = std::move(poster); }
  // The pick dialogs the button assignment opens (a key combination, a macro, a recoil
  // pattern). Without them those three assignments are refused (logged).
  void set_assignment_dialogs(std::unique_ptr<AssignmentDialogs> dialogs) {
    dialogs_ = std::move(dialogs);
  }

  // Set before Init: a second display the device side tells the mouse's states to, after the
  // page's own (the tray's status). It outlives the page's link.
  void set_also_display(LinkDisplay* display) { also_display_ = display; }

  // Finds the page's controls, then starts the device side (worker, driver libraries, the
  // cable and receiver, the Bluetooth LE presence test), which shows its states on the page.
  void Init();
  // Reads the stores, fills the profile list and shows the current profile, then brings a
  // Bluetooth LE mouse present at start-up up as if it had just arrived.
  void StartUpLoad();
  // Shows the current profile on the page: stages, lighting, polling rate, options, timers,
  // debounce and the button texts, after the link view refresh.
  void Refresh();
  // Takes the DPI typed into the stage edits and not yet taken (by leaving the edit or Enter)
  // into the current profile, as leaving the edit would. Every apply request runs it first, so
  // a pass never misses a value the user sees typed.
  void CommitDpiEdits();
  // Fills the profile list from the session and selects the current profile, quietly.
  void FillProfileList();
  // The page's notifications (the virtual window's handler).
  void Notify(const Notification& notification);
  // A menu item whose name belongs to the page: an item of the button menu assigns its
  // function to the button the menu was opened for (AssignFromMenu).
  void OnMenuCommand(const QString& item_name);
  // Gives the button being assigned the function of the menu item `item_name` (an unknown name
  // gives left click) in the current profile, through its pick dialog for a key combination, a
  // macro or a recoil pattern, unless that would leave none of buttons 1..16 on left click
  // (the user is told). An assignment is shown on the button and sent to the mouse at once;
  // a cancelled dialog changes nothing.
  void AssignFromMenu(const QString& item_name);
  // Shows on button `index` (0..17) what the current profile assigns to it.
  void ShowAssignment(int index);
  // Run when the macro editor or the recoil pattern editor has closed: brings the macro and
  // pattern assignments of every profile in step with the lists (button_assignment.h); when the
  // current profile holds one, shows the buttons again and sends them to the mouse. Returns
  // whether it did.
  bool ResyncAssignments();
  // The macro editor ("ms_1_btn_macro") and the recoil pattern editor ("ms_1_btn_gun"): each
  // runs modally over the page's window and works on the core's lists; when it has closed the
  // assignments are brought in step with the lists (ResyncAssignments).
  void OpenMacroEditor();
  void OpenGunEditor();
  // TIMER_SETTINGS_FOLLOWUP: brings a newly opened section of the settings column into view.
  void SettingsFollowUp();

  MouseCore& core() { return core_; }
  const PageControls& controls() const { return controls_; }
  ButtonMenu& button_menu() { return button_menu_; }

 private:
  // The handlers, by notification type.
  void OnClick(const QString& sender);
  void OnSelectChanged(const QString& sender);
  void OnItemSelect(const QString& sender, int index);
  void OnValueChanged(const QString& sender, int value);
  // Takes the typed DPI of the edit `sender` when the user typed into it since it was set.
  void OnDpiEditDone(const QString& sender);
  void OnTextChanged(const QString& sender);
  void OnCheckClick(const QString& sender, bool checked);
  // Profile operations (page_profiles.cpp).
  void SelectProfile(int index);
  void DeleteProfile();
  void ResetProfile();
  void AddProfile();
  void RenameProfile();
  void ImportProfileFile();
  void ExportProfileFile();
  // Asks for a ".pro" file to open or to save; empty when cancelled.
  QString ChooseProfileFile(bool save);
  // Opens the colour dialog beside the button `name` of the colour binding `binding` (entry
  // `index`); OK stores the colour, shows it on the button and applies it.
  void PickColor(const QString& name, const ColorButtonBinding& binding, int index);

  // Stores `value` in the field of the current profile.
  void SetField(const ProfileField& field, int index, std::int32_t value);
  // Sends the edit to the mouse as `timing` says.
  void Apply(ApplyTiming timing);
  int ShowMessage(const QString& message_key) const {
    return ShowMessageOver(nullptr, message_key);
  }
  // Over `parent`; null: over the page's window.
  int ShowMessageOver(QWidget* parent, const QString& message_key) const;
  // Shows the DPI of stage `index` (0-based) in its label and its edit.
  void ShowStageDpi(int index, std::int32_t code);
  // The on/off check box of a DPI stage: turns the stage on or off (SwitchDpiStage) and sends
  // it; a refused switch (the last stage that is on) puts the check mark back. False when
  // `sender` is no such check box.
  bool OnDpiStageSwitch(const QString& sender, bool checked);
  // Shows which DPI stages are on: their check boxes, and the parts of a stage that is off
  // disabled. The check box of the only stage that is on is disabled too.
  void ShowDpiStageSwitches();
  // Opens the desktop's mouse settings, or tells the user that no such program was found.
  void OpenMouseSettings();
  // Button assignment (page_assignment.cpp). Opens the button menu for button `n` (1..12).
  void OpenButtonMenu(int n);
  // The record of the button being assigned, changed by `edit` with ButtonData& under the
  // session's lock.
  template <typename Edit>
  void EditAssigned(Edit&& edit);
  // The three assignments that go through a pick dialog; false when nothing was assigned.
  bool AssignKeyCombinationFromDialog();
  bool AssignMacroFromDialog();
  bool AssignGunFromDialog();

  MouseCore& core_;
  SkinWindow* window_ = nullptr;
  MessageBox message_box_;
  PageControls controls_;
  PageLinkDisplay link_display_{controls_};
  LinkDisplay* also_display_ = nullptr;
  std::unique_ptr<LinkDisplayPair> display_pair_;  // the two above, when there is a second
  MenuCommandPoster post_menu_command_;
  std::unique_ptr<AssignmentDialogs> dialogs_;
  ButtonMenu button_menu_;
  int assigning_ = 0;         // the button record (0..11) the button menu was last opened for
  QString followup_section_;  // the body to bring into view when TIMER_SETTINGS_FOLLOWUP ends
  // DPI edits the user has typed into since they were last set (by the page or by taking the
  // typed value); leaving one that was only passed through changes nothing.
  QSet<QString> edited_dpi_;
};

}  // namespace mokta
