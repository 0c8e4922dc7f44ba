#include "device/profile_session.h"

#include <utility>

namespace mokta {

ProfileSession::ProfileSession(const StoreFiles* stores, std::chrono::milliseconds write_settle)
    : stores_(stores),
      header_(std::make_unique<ProfileStoreHeader>()),
      applied_(std::make_unique<ProfileData>()),
      write_settle_(write_settle) {
  profiles_.push_back(NewProfile(u"Profile"));
}

ProfileSession::~ProfileSession() {
  {
    std::lock_guard lock(writer_mutex_);
    writer_stop_ = true;
  }
  writer_wake_.notify_all();
  if (writer_.joinable()) writer_.join();  // after the pending write, if any
}

void ProfileSession::Load(ProfileList profiles, std::unique_ptr<ProfileStoreHeader> header,
                          int current) {
  std::lock_guard lock(mutex_);
  profiles_ = std::move(profiles);
  if (header) header_ = std::move(header);
  current_ = current;
  EnsureValidLocked();
}

void ProfileSession::EnsureValidLocked() {
  if (profiles_.empty()) profiles_.push_back(NewProfile(u"Profile"));
  if (current_ < 0 || current_ >= static_cast<int>(profiles_.size())) current_ = 0;
}

bool ProfileSession::send_all_requested() const {
  std::lock_guard lock(mutex_);
  return send_all_;
}

void ProfileSession::RequestSendAll() {
  std::lock_guard lock(mutex_);
  send_all_ = true;
}

std::unique_ptr<ProfileSession::PassInput> ProfileSession::BeginPass() {
  auto input = std::make_unique<PassInput>();
  std::lock_guard lock(mutex_);
  input->current = *profiles_[current_];
  input->applied = *applied_;
  input->send_all = std::exchange(send_all_, false);
  return input;
}

void ProfileSession::RecordApplied(const ProfileData& applied) {
  std::lock_guard lock(mutex_);
  *applied_ = applied;
}

std::unique_ptr<ProfileData> ProfileSession::AppliedCopy() const {
  std::lock_guard lock(mutex_);
  return std::make_unique<ProfileData>(*applied_);
}

bool ProfileSession::SaveStore() {
  if (!stores_) return false;
  // Take a copy of the whole store image under the lock, write it outside the lock.
  ProfileList image;
  auto header = std::make_unique<ProfileStoreHeader>();
  std::uint64_t generation;
  {
    std::lock_guard lock(mutex_);
    image.reserve(profiles_.size());
    for (const auto& profile : profiles_) image.push_back(std::make_unique<ProfileData>(*profile));
    *header = *header_;
    generation = ++image_generation_;
  }
  bool written = false;
  {
    std::lock_guard write_lock(write_mutex_);
    if (generation < written_generation_) return true;  // a newer image is already on disk
    written = stores_->WriteProfileStore(image, *header);
    if (written) written_generation_ = generation;
  }
  if (write_observer_) write_observer_(written, stores_->ProfileStorePath());
  return written;
}

void ProfileSession::SaveStoreLater() {
  if (!stores_) return;
  {
    std::lock_guard lock(writer_mutex_);
    save_pending_ = true;
    if (!writer_.joinable() && !writer_stop_) writer_ = std::thread([this] { WriterLoop(); });
  }
  writer_wake_.notify_one();
}

void ProfileSession::FlushStore() {
  std::unique_lock lock(writer_mutex_);
  if (!writer_.joinable()) return;
  ++flushers_;
  writer_wake_.notify_all();
  writer_idle_.wait(lock, [this] { return !save_pending_ && !writing_; });
  --flushers_;
}

void ProfileSession::WriterLoop() {
  std::unique_lock lock(writer_mutex_);
  for (;;) {
    writer_wake_.wait(lock, [this] { return save_pending_ || writer_stop_; });
    if (!save_pending_) return;  // asked to stop, nothing left to write
    // Gather the requests that follow into this write, unless someone waits for it.
    writer_wake_.wait_for(lock, write_settle_, [this] { return flushers_ > 0 || writer_stop_; });
    save_pending_ = false;
    writing_ = true;
    lock.unlock();
    SaveStore();
    lock.lock();
    writing_ = false;
    writer_idle_.notify_all();
  }
}

}  // namespace mokta
