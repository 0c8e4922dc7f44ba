#pragma once

// The owner of the mouse's data and link for the running program: the three stores and their
// writer, the profile session, the macro and recoil pattern lists, the device host (driver
// libraries, link state, apply worker) with the system's Bluetooth LE presence, the input
// hook table and the keyboard layout. The entry builds one before the main window and destroys it
// after; the settings page and every dialog or editor receive it by reference and own none of it.
//
// Every store write, every store found damaged or unreadable at start, and every imported or
// exported file is reported through one place (ReportFileResult): logged under "mokta.store"
// and handed to the observer the window sets.
//
// UI thread, except where a member says otherwise.

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>

#include "app/file_result.h"
#include "data/gun_data.h"
#include "data/import_export.h"
#include "data/keyboard_layout.h"
#include "data/language.h"
#include "data/macro_data.h"
#include "data/store_files.h"
#include "device/ble_presence.h"
#include "device/device_host.h"
#include "device/link_display.h"
#include "device/profile_session.h"

namespace mokta {

class HookTable;

struct MouseCoreOptions {
  QString data_folder;  // the "Data" folder with a trailing "/"; empty: DataFolder()
  // Driver folder and pacing. `system_ble`, when left null, is the platform's own Bluetooth LE
  // road unless `use_system_ble` is false.
  DeviceHostOptions host;
  bool use_system_ble = true;
  QString hook_library;  // the input hook library; empty: DriverFolder() + "libHook.so"
  // The keyboard layout the key tables answer with; null: the system's active layout
  // (MakeSystemKeyboardLayout).
  std::shared_ptr<const KeyboardLayout> keyboard_layout;
};

class MouseCore {
 public:
  explicit MouseCore(MouseCoreOptions options = {});
  // Runs Shutdown.
  ~MouseCore();

  MouseCore(const MouseCore&) = delete;
  MouseCore& operator=(const MouseCore&) = delete;

  // ---- Start-up, in this order

  // Starts the device side: the apply worker, the driver libraries, the cable and the
  // receiver, the Bluetooth LE presence test. `display` is told the mouse's states from now
  // on (it may be null) and must stay alive until Shutdown.
  void StartLink(LinkDisplay* display);
  // Loads the input hook library into the hook table (an empty table when it is missing).
  void LoadHooks();
  // Reads the three stores: the profiles into the session, with the current profile chosen by
  // the store header and recorded as what the mouse holds, and the first pass that reaches the
  // mouse asked to send everything; then the macros and the recoil patterns. `language` names
  // the default profile made when there is no store.
  void LoadStores(const LanguageTexts& language);
  // Brings the Bluetooth LE link up when the mouse was present at start-up (after LoadStores).
  void BringUpBle();

  // Stops the device side (no driver call after it begins), writes what is still pending and
  // reports how that went (on the UI thread: before it returns), then removes the input hooks
  // and unloads their library. Runs once.
  void Shutdown();

  // ---- The data

  ProfileSession& session() { return *session_; }
  const ProfileSession& session() const { return *session_; }
  MacroList& macros() { return macros_; }
  GunList& guns() { return guns_; }
  const StoreFiles& stores() const { return *stores_; }

  // Writes "macro.data" / "gun.data" from the lists as they are now; false when it failed.
  bool SaveMacroStore();
  bool SaveGunStore();
  // Has "pro.data" written soon, off the UI thread.
  void SaveProfileStoreLater() { session_->SaveStoreLater(); }
  // Writes one record to a file the user chose.
  FileStatus ExportProfile(const ProfileData& profile, const QString& path);
  FileStatus ExportMacro(const MacroData& macro, const QString& path);
  FileStatus ExportGun(const GunData& gun, const QString& path);
  // Reads a ".pro" file and appends the profile to the list (with the macros its buttons
  // carry); choosing it and sending it are the caller's part. A failure is reported.
  ImportResult ImportProfileFile(const QString& path);
  // Reads a ".macro" / ".gun" file, appends the record to its list under a unique name and
  // writes the list's store. A failure of either is reported.
  ImportResult ImportMacroFile(const QString& path);
  ImportResult ImportGunFile(const QString& path);

  // The one place every store write, store read problem, import and export reports to. Any
  // thread: a result from another thread is handed to the UI thread first. A store that keeps
  // failing is told once: its later failures reach the observer marked `repeated` until a
  // write of it succeeds again.
  void ReportFileResult(const FileResult& result);
  void set_file_result_observer(FileResultObserver observer) {
    file_observer_ = std::move(observer);
  }

  // ---- The link

  // Null before StartLink.
  DeviceHost* host() { return host_.get(); }
  // One apply pass on the worker. Any thread.
  void RequestApply();
  // Whether the mouse is reachable over any link (0 before StartLink).
  int device_connected() const;
  // Why the Bluetooth LE mouse cannot be reached (kNone before the link starts).
  BleDiagnosis ble_diagnosis() const;
  // Why a link could not be used: missing libraries, devices present but not accessible.
  QStringList problems() const;

  // ---- The keyboard

  // The active keyboard layout, for the key tables' conversions and the display of keys.
  // Any thread; lives as long as the core.
  const KeyboardLayout& keyboard_layout() const { return *keyboard_layout_; }

  // ---- The input hooks

  // Null before LoadHooks and after Shutdown.
  HookTable* hooks() { return hooks_.get(); }

 private:
  FileResult StoreWriteResult(FileOperation operation, StoreKind kind, const QString& path,
                              bool written) const;
  void ReportStoreRead(FileOperation operation, const QString& path,
                       const StoreReadOutcome& outcome);

  MouseCoreOptions options_;
  QObject ui_context_;  // results from other threads are queued to its thread
  std::unique_ptr<StoreFiles> stores_;
  std::unique_ptr<ProfileSession> session_;
  // Before the hooks: the window capture among them names keys through it.
  std::shared_ptr<const KeyboardLayout> keyboard_layout_;
  MacroList macros_;
  GunList guns_;
  std::unique_ptr<SystemBle> system_ble_;
  std::unique_ptr<DeviceHost> host_;
  std::unique_ptr<HookTable> hooks_;
  FileResultObserver file_observer_;
  QSet<QString> failing_stores_;  // paths of stores whose last result was a failure
  bool shut_down_ = false;
};

}  // namespace mokta
