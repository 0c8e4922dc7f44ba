#pragma once

// The profiles being edited and the copy of what the mouse was last given, shared by the UI
// thread and the apply worker.
//
// Ownership and locking: the session owns the profile list, the store header, the choice of
// the current profile, the last-applied snapshot and the send-all request, all behind one
// mutex. The UI thread is the only thread that changes them (device events are handed to it
// first), so it may read them without the lock; every change it makes goes through the
// locked operations below, and every other thread reads only through them. No operation holds
// the lock while it writes a file, sleeps or calls a driver.
//
// Store writes asked for with SaveStoreLater run on the session's own writer thread, so that
// the UI thread never waits for the disk. Every change made through EditCurrent, EditList or
// ApplyDeviceChange asks for one, so that nothing the user changes lives only in memory, also
// when no apply pass can reach the mouse. The writer lets a burst of changes settle (a slider
// drag gives a few writes, not hundreds); FlushStore and the session's end cut that short and
// write at once.

#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "data/profile_data.h"
#include "data/store_files.h"

namespace mokta {

class ProfileSession {
 public:
  // How long the writer waits after a request before it writes, gathering the requests that
  // follow into the same write.
  static constexpr std::chrono::milliseconds kDefaultWriteSettle{500};

  // `stores` may be null: the store is then never written. It outlives the session.
  explicit ProfileSession(const StoreFiles* stores,
                          std::chrono::milliseconds write_settle = kDefaultWriteSettle);
  // Waits for the store writes asked for, then ends the writer thread.
  ~ProfileSession();

  ProfileSession(const ProfileSession&) = delete;
  ProfileSession& operator=(const ProfileSession&) = delete;

  // Told the outcome of every write of "pro.data" (whether it was written, and the file's
  // path), on the thread that wrote it: the writer thread, the apply worker or the caller of
  // SaveStore. Set before the first write; it must return soon and must not write the store.
  using StoreWriteObserver = std::function<void(bool written, const QString& path)>;
  void set_store_write_observer(StoreWriteObserver observer) {
    write_observer_ = std::move(observer);
  }

  // UI thread, at start-up: takes the profiles read from the store. `current` names the
  // profile to show; an index outside the list means the first one. An empty list gets one
  // default profile so that there is always a current profile.
  void Load(ProfileList profiles, std::unique_ptr<ProfileStoreHeader> header, int current);

  // UI thread, reads without the lock.
  const ProfileList& profiles() const { return profiles_; }
  const ProfileStoreHeader& header() const { return *header_; }
  int current_index() const { return current_; }
  const ProfileData& current() const { return *profiles_[current_]; }
  bool send_all_requested() const;

  // UI thread: changes the current profile under the lock; `edit` gets `ProfileData&`. The
  // store is then written, off the calling thread (SaveStoreLater).
  template <typename Edit>
  void EditCurrent(Edit&& edit) {
    {
      std::lock_guard lock(mutex_);
      edit(*profiles_[current_]);
    }
    SaveStoreLater();
  }
  // UI thread: changes the list, the header or the choice of current profile under the lock;
  // `edit` gets (ProfileList&, ProfileStoreHeader&, int& current) and must leave the list
  // non-empty and `current` inside it. It must do no file work: the apply worker waits for the
  // lock. The store is then written, off the calling thread (SaveStoreLater).
  template <typename Edit>
  void EditList(Edit&& edit) {
    {
      std::lock_guard lock(mutex_);
      edit(profiles_, *header_, current_);
      EnsureValidLocked();
    }
    SaveStoreLater();
  }

  // Asks the next pass to send every group (profile switch, reset, import, start-up).
  void RequestSendAll();

  // A change the mouse made itself: `edit` gets (ProfileData& current, ProfileData& applied)
  // and changes both the same way, so that the change is kept but not sent back. The store is
  // then written, off the calling thread (SaveStoreLater).
  template <typename Edit>
  void ApplyDeviceChange(Edit&& edit) {
    {
      std::lock_guard lock(mutex_);
      edit(*profiles_[current_], *applied_);
    }
    SaveStoreLater();
  }

  // Worker thread, at the start of a pass: copies of the current profile and of the
  // last-applied snapshot, and the send-all request, which is taken (cleared) so that a new
  // request made while the pass runs is kept for the next pass.
  struct PassInput {
    ProfileData current;
    ProfileData applied;
    bool send_all = false;
  };
  std::unique_ptr<PassInput> BeginPass();

  // Worker thread, at the end of a pass: what the mouse now holds.
  void RecordApplied(const ProfileData& applied);
  // The same, as a change of the snapshot under the lock: `update` gets the snapshot as it is
  // now, including what the mouse changed on its own while the pass ran.
  template <typename Update>
  void UpdateApplied(Update&& update) {
    std::lock_guard lock(mutex_);
    update(*applied_);
  }
  std::unique_ptr<ProfileData> AppliedCopy() const;

  // Any thread: writes "pro.data" with the header and every profile as they are now. Writes
  // never overlap, and an older image never replaces a newer one that was already written.
  // False when the write failed (the old file then stays whole) or no store is set.
  bool SaveStore();
  // Any thread: has the writer thread write "pro.data" soon (after the settle time), with
  // everything as it is then. Requests made before that write starts are served by it; a
  // failed write keeps the old file whole and is not retried (the next request writes
  // everything again). Does nothing without a store.
  void SaveStoreLater();
  // Any thread: writes at once what was asked for with SaveStoreLater and not yet written
  // (cutting the settle time short), and waits until it is done.
  void FlushStore();

 private:
  void EnsureValidLocked();
  void WriterLoop();

  const StoreFiles* stores_;
  StoreWriteObserver write_observer_;
  mutable std::mutex mutex_;  // guards everything below
  ProfileList profiles_;
  std::unique_ptr<ProfileStoreHeader> header_;
  int current_ = 0;
  std::unique_ptr<ProfileData> applied_;
  bool send_all_ = false;
  std::uint64_t image_generation_ = 0;

  std::mutex write_mutex_;  // held for the length of one store write; guards `written_`
  std::uint64_t written_generation_ = 0;

  std::mutex writer_mutex_;  // guards the writer thread's state below; never held while writing
  std::condition_variable writer_wake_;
  std::condition_variable writer_idle_;
  const std::chrono::milliseconds write_settle_;
  int flushers_ = 0;  // FlushStore calls waiting: the writer does not let requests settle
  bool save_pending_ = false;
  bool writing_ = false;
  bool writer_stop_ = false;
  std::thread writer_;  // started by the first SaveStoreLater
};

}  // namespace mokta
