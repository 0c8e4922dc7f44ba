#pragma once

// The apply pass: compares the current profile with what the mouse was last given and sends
// the command groups that changed (or all of them when asked), then saves the store and
// records what was sent as applied. Runs on the apply worker thread.

#include <cstddef>
#include <vector>

#include "data/profile_data.h"
#include "device/command_protocol.h"
#include "device/command_sender.h"
#include "device/link_fields.h"

namespace mokta {

class ProfileSession;

// The command groups of a profile; each is sent as a whole when one of its fields changed.
enum class CommandGroup { kSensor, kLighting, kPollingRate, kButtons };
inline constexpr std::size_t kCommandGroupCount = 4;

struct GroupFlags {
  bool sensor = false;        // 0x04
  bool lighting = false;      // 0x05
  bool polling_rate = false;  // 0x06
  bool buttons = false;       // the slot messages, then 0x08

  static GroupFlags All() { return {true, true, true, true}; }
  bool& operator[](CommandGroup g);
  bool operator[](CommandGroup g) const;
  friend bool operator==(const GroupFlags&, const GroupFlags&) = default;
};

// Which groups differ between two profiles. A group differs when any byte of its fields
// differs; the fields are compared as whole 32-bit words, so this is the same test.
GroupFlags FindChangedGroups(const ProfileData& current, const ProfileData& applied);

// Copies the fields of group `g` from `from` into `to`, leaving every other byte alone.
void CopyGroupFields(CommandGroup g, const ProfileData& from, ProfileData& to);

// The commands of one pass for `profile`, in order, handed to `sender`: 0x0C (twice when
// `send_all`), then 0x04, 0x05, 0x06 for the dirty groups, then for the button group the slot
// messages of buttons 0..17 in button order followed by 0x08. `slot_table` receives the slot
// numbers given to the buttons (cleared first, kept as it was when the button group is not
// dirty). Returns the groups that were dirty and whose every command was delivered.
GroupFlags SendPassCommands(const ProfileData& profile, GroupFlags dirty, bool send_all,
                            CommandSender& sender, SlotTable& slot_table);

// The messages a pass that sends everything would send for `profile`, in order.
std::vector<CommandMessage> SendAllPassMessages(const ProfileData& profile);

// The pass's visible effects on the window. Called on the worker thread; the binding marshals
// them to the UI thread.
class ApplyPassEffects {
 public:
  virtual ~ApplyPassEffects() = default;
  virtual void ShowApplyRing(bool visible) = 0;  // "apply_ring", when the layout has one
  virtual void StopReceiverIdleTimer() = 0;      // TIMER_RECEIVER_IDLE
  virtual void StartReceiverIdleTimer() = 0;     // TIMER_RECEIVER_IDLE, 6000 ms
  // At the end of every pass that ran: whether some setting did not reach the mouse (it goes
  // out again with the next pass). The polling rate over Bluetooth LE alone, which that link
  // cannot carry, does not count.
  virtual void ShowUndelivered(bool undelivered) = 0;
};

class ApplyPass {
 public:
  // `effects` may be null. Everything referenced outlives the pass object.
  ApplyPass(ProfileSession& session, const LinkFields& links, CommandSender& sender,
            ApplyPassEffects* effects);

  // Runs one pass. Does nothing while the mouse is asleep (the send-all request is kept) and
  // returns false then. Otherwise takes a copy of the current profile under the session's
  // lock, sends what that copy changed, writes the store and records as applied the groups it
  // delivered, exactly as encoded, and returns true. A group whose commands were not all
  // delivered is sent by the next pass whatever the snapshot holds (after a send-all it may
  // well equal the profile); an edit made while the pass runs is sent by the next pass; a
  // change the mouse reported meanwhile to a group the pass did not send stays recorded.
  bool Run();

  // Slot numbers of the last button-group send.
  const SlotTable& slot_table() const { return slot_table_; }

 private:
  ProfileSession& session_;
  const LinkFields& links_;
  CommandSender& sender_;
  ApplyPassEffects* effects_;
  SlotTable slot_table_{};
  GroupFlags undelivered_;  // groups the last pass that ran failed to deliver; worker thread
};

}  // namespace mokta
