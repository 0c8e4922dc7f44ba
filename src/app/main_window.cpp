#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QSettings>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWindow>

#include "app/autostart.h"
#include "app/dpi_popup.h"
#include "app/file_message.h"
#include "app/hook_table.h"
#include "app/message_box.h"
#include "app/window_ids.h"
#include "app/window_input_capture.h"
#include "data/keyboard_layout.h"
#include "framework/control_text.h"
#include "framework/language_file.h"
#include "framework/menu_builder.h"
#include "framework/resources.h"
#include "framework/window_placement.h"
#include "platform/system_services.h"
#include "ui/modal_assignment_dialogs.h"
#include "ui/page_link_display.h"

Q_LOGGING_CATEGORY(lcMainWindow, "mokta.window")

namespace mokta {
namespace {

constexpr char kPageName[] = "MS_1_Page";
// Saves the window's placement once a move or resize has rested (a window of its own).
constexpr int kTimerSavePlacement = 530;

// Item `index` of the switch between device pages; -1 shows none.
void SelectDeviceTab(QWidget* tab_switch, int index) {
  if (auto* stack = qobject_cast<QStackedWidget*>(tab_switch)) {
    if (index >= 0 && index < stack->count()) stack->setCurrentIndex(index);
  } else if (auto* tabs = qobject_cast<QTabWidget*>(tab_switch)) {
    if (index >= 0 && index < tabs->count()) tabs->setCurrentIndex(index);
  }
}

}  // namespace

bool MenuItemBelongsToPage(const QString& name) {
  const QString prefix = QStringLiteral("ms_1");
  const qsizetype n = std::min(name.size(), prefix.size());
  return name.left(n) == prefix.left(n);
}

CMainWnd::CMainWnd(MouseCore& core)
    : SkinWindow(nullptr, Qt::Window | Qt::FramelessWindowHint), core_(core), page_(core) {
  setObjectName(QStringLiteral("Mokta Gaming Mouse"));
}

// The layout draws its own title strip: dragging it moves the window.
bool CMainWnd::eventFilter(QObject* watched, QEvent* event) {
  if (watched == title_bar_ && event->type() == QEvent::MouseButtonPress) {
    auto* press = static_cast<QMouseEvent*>(event);
    if (press->button() == Qt::LeftButton && windowHandle()) {
      windowHandle()->startSystemMove();
      return true;
    }
  }
  return SkinWindow::eventFilter(watched, event);
}

CMainWnd::~CMainWnd() {
  CleanUp();
}

void CMainWnd::InitWindow() {
  LoadSkin(QStringLiteral("main.xml"));
  SetResizable(true);
  RestorePlacement();
  AddVirtualWindow(kPageName, [this](const Notification& n) { page_.Notify(n); });
  page_.set_window(this);
  page_.set_message_box(
      [](QWidget* parent, const QString& key) { return ShowMessageBox(parent, key); });
  page_.set_menu_command_poster([this](const QString& name) { PostMenuCommand(name); });
  notifications_ = MakeDesktopNotifications();
  tray_status_ = std::make_unique<TrayStatus>(
      [this](const QString& tip) {
        if (tray_) tray_->set_tool_tip(tip);
      },
      [this](const QString& title, const QString& text) { return ShowNotice(title, text); });
  page_.set_also_display(tray_status_.get());
  page_.Init();

  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addFile(ResourceFolder() + QStringLiteral("icons/mokta-mouse-%1.png").arg(size),
                 QSize(size, size));
  }
  setWindowIcon(icon);
  QApplication::setWindowIcon(icon);

  const QString name = LanguageText(QStringLiteral("mouse_name_text"));
  tray_ = std::make_unique<TrayIcon>(icon, tray_status_->tool_tip(), [this](TrayClick click) {
    PostMessage(MSG_TRAY_ICON, 0, static_cast<std::intptr_t>(click));
  });
  tray_->Show();
  for (const char* control : {"skin_btn", "main_menu_btn", "min_btn", "exit_btn", "apply_progress",
                              "device_tab_switch"}) {
    Find(QString::fromLatin1(control));
  }
  setWindowTitle(name);
  title_bar_ = FindOptional(QStringLiteral("title_bar"));
  if (title_bar_) title_bar_->installEventFilter(this);

  // Every file problem is told once, in the program's message box (the core drops repeats).
  core_.set_file_result_observer([this](const FileResult& result) {
    if (!result.ok && !result.repeated) ShowFileResultMessage(this, result);
  });
  LoadInputHooks();
  // The pick dialogs of the button menu capture keys through the hooks just loaded.
  page_.set_assignment_dialogs(std::make_unique<ModalAssignmentDialogs>(
      this, KeyCaptureSourceOf(core_.hooks()), core_.keyboard_layout()));
  page_.StartUpLoad();
  for (const QString& problem : core_.problems()) qCInfo(lcMainWindow) << problem;
}

// Where the input hook library cannot see the desktop's input (or is missing), the recorder and
// the key capture fields get the events of the program's own windows instead.
void CMainWnd::LoadInputHooks() {
  core_.LoadHooks();
  HookTable* hooks = core_.hooks();
  if (hooks == nullptr) return;
  if (!hooks->global()) {
    hooks->SetWindowCapture(std::make_unique<WindowInputCapture>(core_.keyboard_layout()));
  }
  hooks->LogCapture();
}

// A notice through the desktop's notification service, or the tray icon's own message where
// the desktop has no such service.
bool CMainWnd::ShowNotice(const QString& title, const QString& text) {
  if (notifications_ && notifications_->Available()) return notifications_->Notify(title, text);
  return tray_in_use() && tray_->ShowMessage(title, text);
}

bool CMainWnd::tray_in_use() const {
  return tray_ && tray_->visible();
}

void CMainWnd::ShowMainWindow() {
  show();
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

void CMainWnd::ShowNoDeviceMessage() {
  if (no_device_showing_ == 1) return;
  no_device_showing_ = 1;
  // What the system tells of Bluetooth goes with it: it is often the reason.
  const QString why_key = BleDiagnosisTextKey(core_.ble_diagnosis());
  CMsgWnd box(this, kWarningTitleKey, QStringLiteral("no_device_text"));
  if (QWidget* label = box.FindOptional(QStringLiteral("warning")); label && !why_key.isEmpty()) {
    SetControlText(label, LanguageText(QStringLiteral("no_device_text")) + QStringLiteral("\n\n") +
                              LanguageText(why_key));
    label->setProperty("textKey", QStringLiteral("no_device_text"));
  }
  box.Run();
  no_device_showing_ = 0;
}

void CMainWnd::Exit() {
  CleanUp();
  QApplication::quit();
}

void CMainWnd::CleanUp() {
  if (cleaned_up_) return;
  cleaned_up_ = true;
  // The window is going: the last writes at shutdown are only logged, and no box stops the
  // program from ending.
  core_.set_file_result_observer({});
  CloseDpiPopup();
  KillTimer(kTimerSavePlacement);
  if (placement_restored_ && windowHandle() != nullptr) SavePlacement(false);
  KillTimer(TIMER_DPI_POPUP);
  KillTimer(TIMER_APPLY_DELAY);
  KillTimer(TIMER_SETTINGS_FOLLOWUP);
  if (tray_menu_) tray_menu_->close();
  // The worker stops and the drivers are closed and unloaded before the hooks go.
  core_.Shutdown();
  if (tray_) tray_->Hide();
  hide();
}

void CMainWnd::OnClick(const Notification& notification) {
  if (notification.sender_name == QLatin1String("exit_btn")) {
    if (tray_in_use()) {
      hide();  // the program keeps running in the tray
    } else {
      showMinimized();
    }
  } else if (notification.sender_name == QLatin1String("min_btn")) {
    showMinimized();
  } else if (notification.sender_name == QLatin1String("main_menu_btn")) {
    OpenMainMenu();
  }
}

bool CMainWnd::OnCloseRequest() {
  if (tray_in_use()) {
    hide();
    return false;
  }
  // Without a tray a closed window could not be reopened from the desktop: closing ends the
  // program.
  Exit();
  return false;
}

std::intptr_t CMainWnd::HandleCustomMessage(std::uint32_t message, std::uintptr_t wparam,
                                            std::intptr_t lparam, bool& handled) {
  handled = true;
  switch (message) {
    case MSG_ACTIVATE:
      if (link_up_) {
        ShowMainWindow();
      } else {
        ShowNoDeviceMessage();
      }
      return 0;
    case MSG_TRAY_ICON:
      OnTrayClick(lparam);
      return 0;
    case MSG_MENU_COMMAND: {
      if (wparam == 0) return 0;
      const QString name = menu_commands_.take(wparam);
      if (!name.isNull()) RouteMenuCommand(name);
      return 0;
    }
    case MSG_LINK_CHANGED:
      link_up_ = core_.device_connected();
      if (link_up_ == 1) {
        SelectDeviceTab(FindOptional(QStringLiteral("device_tab_switch")), 0);
      } else {
        SelectDeviceTab(FindOptional(QStringLiteral("device_tab_switch")), -1);
        if (tray_in_use()) hide();
      }
      return 0;
    case MSG_SHOW_DPI:
      ShowDpi(static_cast<std::int32_t>(lparam));
      return 0;
    case MSG_APPLY_REQUEST:
      page_.CommitDpiEdits();  // a value still being typed goes with this pass
      core_.RequestApply();
      return 0;
    case MSG_HOOK_EVENT:
      return 0;
    default:
      handled = false;
      return 0;
  }
}

void CMainWnd::OnTimer(int id) {
  switch (id) {
    case TIMER_DPI_POPUP:
      KillTimer(id);
      CloseDpiPopup();
      break;
    case TIMER_APPLY_DELAY:
      KillTimer(id);
      PostMessage(MSG_APPLY_REQUEST, 0, 0);
      break;
    case TIMER_SETTINGS_FOLLOWUP:
      KillTimer(id);
      page_.SettingsFollowUp();
      break;
    case kTimerSavePlacement:
      KillTimer(id);
      SavePlacement(true);
      break;
    default:
      break;
  }
}

void CMainWnd::OnTrayClick(std::intptr_t click) {
  if (click == static_cast<std::intptr_t>(TrayClick::kLeftButtonUp)) {
    if (link_up_ == 1) {
      ShowMainWindow();
    } else {
      ShowNoDeviceMessage();
    }
  } else if (click == static_cast<std::intptr_t>(TrayClick::kRightButtonUp)) {
    OpenTrayMenu();
  }
}

void CMainWnd::OpenTrayMenu() {
  if (tray_menu_) delete tray_menu_.data();
  tray_menu_ = BuildMenu(QStringLiteral("traymenu.xml"), this,
                         [this](const QString& name) { PostMenuCommand(name); });
  ShowAutostartState(tray_menu_);
  const QPoint at = QCursor::pos() - QPoint(0, 50);
  tray_menu_->popup(at);
}

// The window's own menu, under its menu button: the same settings of the program as the tray
// menu, for desktops without a tray.
void CMainWnd::OpenMainMenu() {
  QWidget* button = FindOptional(QStringLiteral("main_menu_btn"));
  if (main_menu_) delete main_menu_.data();
  main_menu_ = BuildMenu(QStringLiteral("mainmenu.xml"), this,
                         [this](const QString& name) { PostMenuCommand(name); });
  ShowAutostartState(main_menu_);
  main_menu_->popup(button ? button->mapToGlobal(QPoint(0, button->height())) : QCursor::pos());
}

void CMainWnd::ShowAutostartState(QMenu* menu) {
  if (auto* item = menu ? menu->findChild<QAction*>(QStringLiteral("autostart")) : nullptr) {
    item->setChecked(AutostartEnabled(AutostartEntryPath()));
  }
}

void CMainWnd::ToggleAutostart() {
  const QString entry = AutostartEntryPath();
  const bool on = !AutostartEnabled(entry);
  if (!SetAutostart(on, entry, QCoreApplication::applicationFilePath())) {
    qCWarning(lcMainWindow).noquote() << "could not" << (on ? "write" : "remove") << entry;
    ShowMessageBox(this, QStringLiteral("autostart_failed_text"));
    return;
  }
  qCInfo(lcMainWindow).noquote() << (on ? "starts with the session:"
                                        : "no longer starts with the session:")
                                 << entry;
}

void CMainWnd::PostMenuCommand(const QString& item_name) {
  const std::uintptr_t id = next_menu_command_++;
  menu_commands_.insert(id, item_name);
  PostMessage(MSG_MENU_COMMAND, id, 0);
}

void CMainWnd::RouteMenuCommand(const QString& item_name) {
  if (item_name.compare(QLatin1String("configuration"), Qt::CaseInsensitive) == 0) {
    OnTrayClick(static_cast<std::intptr_t>(TrayClick::kLeftButtonUp));
  } else if (item_name.compare(QLatin1String("exit"), Qt::CaseInsensitive) == 0) {
    Exit();
  } else if (item_name.compare(QLatin1String("autostart"), Qt::CaseInsensitive) == 0) {
    ToggleAutostart();
  } else if (MenuItemBelongsToPage(item_name)) {
    page_.OnMenuCommand(item_name);
  }
}

void CMainWnd::ShowDpi(std::int32_t code) {
  const QString text = DpiPopupText(code);
  SetTimer(TIMER_DPI_POPUP, kDpiPopupMs);
  if (dpi_popup_) {
    dpi_popup_->SetText(text);
    return;
  }
  auto* popup = new CDPIMsg(text, this);
  dpi_popup_ = popup;
  popup->Popup();
}

void CMainWnd::CloseDpiPopup() {
  if (dpi_popup_) dpi_popup_->Close(0);
  dpi_popup_.clear();
}

// ---- Size and position

QString CMainWnd::placement_file() const {
  // The data folder holds the store folder ("<data>/ms_1").
  return QFileInfo(core_.stores().StoreFolder()).path() + QStringLiteral("/window.ini");
}

void CMainWnd::RestorePlacement() {
  QSettings file(placement_file(), QSettings::IniFormat);
  const QRect saved = file.value(QStringLiteral("window/geometry")).toRect();
  const QString saved_screen = file.value(QStringLiteral("window/screen")).toString();
  QList<ScreenArea> screens;
  if (QScreen* primary = QGuiApplication::primaryScreen()) {
    screens << ScreenArea{primary->name(), primary->availableGeometry()};
  }
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen != QGuiApplication::primaryScreen()) {
      screens << ScreenArea{screen->name(), screen->availableGeometry()};
    }
  }
  // The layout's smallest size holds before the layout first runs.
  const QSize minimum =
      minimumSize().expandedTo(skin_root() ? skin_root()->minimumSize() : QSize());
  setGeometry(PlaceWindow(saved, saved_screen, screens, minimum, size()));
  placement_restored_ = true;
}

void CMainWnd::SavePlacement(bool tell) {
  const QRect rect = (isMaximized() || isFullScreen()) ? normalGeometry() : geometry();
  QSettings file(placement_file(), QSettings::IniFormat);
  file.setValue(QStringLiteral("window/geometry"), rect);
  file.setValue(QStringLiteral("window/screen"), screen() ? screen()->name() : QString());
  file.sync();
  if (file.status() == QSettings::NoError) return;
  qCWarning(lcMainWindow) << "the window's size and position could not be saved in"
                          << placement_file();
  if (!tell || placement_failure_told_) return;
  placement_failure_told_ = true;
  ShowMessageBox(this, QStringLiteral("window_place_failed_text"));
}

void CMainWnd::moveEvent(QMoveEvent* event) {
  SkinWindow::moveEvent(event);
  if (placement_restored_ && isVisible()) SetTimer(kTimerSavePlacement, kPlacementRestMs);
}

void CMainWnd::resizeEvent(QResizeEvent* event) {
  SkinWindow::resizeEvent(event);
  if (placement_restored_ && isVisible()) SetTimer(kTimerSavePlacement, kPlacementRestMs);
}

}  // namespace mokta
