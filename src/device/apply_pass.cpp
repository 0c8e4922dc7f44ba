#include "device/apply_pass.h"

#include <cstring>
#include <span>

#include "device/profile_session.h"

namespace mokta {
namespace {

struct FieldRange {
  std::size_t offset;
  std::size_t size;
};

constexpr std::size_t kWord = 4;
constexpr std::size_t kStages = 4 * kDpiStages;

// The profile fields of each command group, as byte ranges of the record.
constexpr FieldRange kSensorFields[] = {
    {ProfileHead::kDpiStep, kWord},        {ProfileHead::kReserved5, kWord},
    {ProfileHead::kLiftOfDistance, kWord}, {ProfileHead::kReserved6, kWord},
    {ProfileHead::kRippleControl, kWord},  {ProfileHead::kAngleSnap, kWord},
    {ProfileHead::kMotionSync, kWord},     {ProfileHead::kDpiX, kStages},
    {ProfileHead::kDpiY, kStages},         {ProfileHead::kDpiEnabled, kStages},
    {ProfileHead::kDpiColor, kStages},
};
constexpr FieldRange kLightingFields[] = {
    {ProfileHead::kLightEffect, kWord}, {ProfileHead::kLightEffectBle, kWord},
    {ProfileHead::kBreathspeed, kWord}, {ProfileHead::kBrightness, kWord},
    {ProfileHead::kReserved8, kWord},   {ProfileHead::kKeyDebounce, kWord},
    {ProfileHead::kLightColor, kWord},  {ProfileHead::kSleepTimer, kWord},
    {ProfileHead::kLightOff, kWord},
};
constexpr FieldRange kPollingRateFields[] = {{ProfileHead::kPrate, kWord}};
constexpr FieldRange kButtonFields[] = {
    {ProfileData::kButtonsOffset, ProfileData::kSize - ProfileData::kButtonsOffset}};

std::span<const FieldRange> GroupFields(CommandGroup g) {
  switch (g) {
    case CommandGroup::kSensor:
      return kSensorFields;
    case CommandGroup::kLighting:
      return kLightingFields;
    case CommandGroup::kPollingRate:
      return kPollingRateFields;
    case CommandGroup::kButtons:
      return kButtonFields;
  }
  return {};
}

constexpr CommandGroup kGroups[] = {CommandGroup::kSensor, CommandGroup::kLighting,
                                    CommandGroup::kPollingRate, CommandGroup::kButtons};

bool GroupDiffers(CommandGroup g, const ProfileData& a, const ProfileData& b) {
  for (const FieldRange& f : GroupFields(g)) {
    if (std::memcmp(a.bytes().data() + f.offset, b.bytes().data() + f.offset, f.size) != 0) {
      return true;
    }
  }
  return false;
}

// Sends the slot messages of buttons 0..17 and then 0x08; true when every one was delivered.
bool SendButtonGroup(const ProfileData& profile, CommandSender& sender, SlotTable& slot_table) {
  slot_table.fill(0);
  bool delivered = true;
  std::uint8_t n = 0;
  for (std::size_t k = 0; k < kMouseButtons; ++k) {
    const ButtonData& button = profile.button(k);
    if (button.function() == kFunctionMacro) {
      slot_table[k] = ++n;
      delivered &= sender.SendCommand(EncodeMacroMessage(n, button));
    } else if (button.function() == kFunctionGun) {
      slot_table[k] = ++n;
      GunMessage part = EncodeGunMessage(0, n, button);
      delivered &= sender.SendCommand(part.message);
      while (part.continues) {
        ++n;
        part = EncodeGunMessage(part.next_step, n, button);
        delivered &= sender.SendCommand(part.message);
      }
    }
  }
  delivered &= sender.SendCommand(EncodeButtonMapCommand(profile, slot_table));
  return delivered;
}

// Collects messages instead of sending them.
class RecordingSender : public CommandSender {
 public:
  explicit RecordingSender(std::vector<CommandMessage>& out) : out_(out) {}
  bool SendCommand(const CommandMessage& message) override {
    out_.push_back(message);
    return true;
  }

 private:
  std::vector<CommandMessage>& out_;
};

}  // namespace

bool& GroupFlags::operator[](CommandGroup g) {
  switch (g) {
    case CommandGroup::kSensor:
      return sensor;
    case CommandGroup::kLighting:
      return lighting;
    case CommandGroup::kPollingRate:
      return polling_rate;
    case CommandGroup::kButtons:
      break;
  }
  return buttons;
}

bool GroupFlags::operator[](CommandGroup g) const {
  return const_cast<GroupFlags&>(*this)[g];
}

GroupFlags FindChangedGroups(const ProfileData& current, const ProfileData& applied) {
  GroupFlags changed;
  for (CommandGroup g : kGroups) changed[g] = GroupDiffers(g, current, applied);
  return changed;
}

void CopyGroupFields(CommandGroup g, const ProfileData& from, ProfileData& to) {
  for (const FieldRange& f : GroupFields(g)) {
    std::memcpy(to.bytes().data() + f.offset, from.bytes().data() + f.offset, f.size);
  }
}

GroupFlags SendPassCommands(const ProfileData& profile, GroupFlags dirty, bool send_all,
                            CommandSender& sender, SlotTable& slot_table) {
  if (send_all) sender.SendCommand(EncodeOpenCommand());
  sender.SendCommand(EncodeOpenCommand());
  GroupFlags delivered;
  if (dirty.sensor) delivered.sensor = sender.SendCommand(EncodeSensorCommand(profile));
  if (dirty.lighting) delivered.lighting = sender.SendCommand(EncodeLightingCommand(profile));
  if (dirty.polling_rate) {
    delivered.polling_rate = sender.SendCommand(EncodePollingRateCommand(profile));
  }
  if (dirty.buttons) delivered.buttons = SendButtonGroup(profile, sender, slot_table);
  return delivered;
}

std::vector<CommandMessage> SendAllPassMessages(const ProfileData& profile) {
  std::vector<CommandMessage> messages;
  RecordingSender recorder(messages);
  SlotTable slot_table{};
  SendPassCommands(profile, GroupFlags::All(), true, recorder, slot_table);
  return messages;
}

ApplyPass::ApplyPass(ProfileSession& session, const LinkFields& links, CommandSender& sender,
                     ApplyPassEffects* effects)
    : session_(session), links_(links), sender_(sender), effects_(effects) {}

bool ApplyPass::Run() {
  if (links_.device_asleep.load() == 1) return false;
  if (effects_) {
    effects_->StopReceiverIdleTimer();
    effects_->ShowApplyRing(true);
  }
  std::unique_ptr<ProfileSession::PassInput> input = session_.BeginPass();
  GroupFlags dirty =
      input->send_all ? GroupFlags::All() : FindChangedGroups(input->current, input->applied);
  for (CommandGroup g : kGroups) dirty[g] = dirty[g] || undelivered_[g];
  GroupFlags delivered =
      SendPassCommands(input->current, dirty, input->send_all, sender_, slot_table_);
  // The snapshot alone cannot tell that a group failed: one sent by a send-all pass may equal
  // it. Remembered here, such a group goes out again with the next pass. A group that can never
  // get through (the polling rate over Bluetooth LE alone) is refused at once, without a write.
  for (CommandGroup g : kGroups) undelivered_[g] = dirty[g] && !delivered[g];
  if (effects_) effects_->StartReceiverIdleTimer();
  const bool ble_only = links_.ble_state.load() == 1 &&
                        links_.wired_state.load() != kLinkConnected &&
                        links_.wireless_state.load() != kLinkConnected;
  const bool undelivered = undelivered_.sensor || undelivered_.lighting || undelivered_.buttons ||
                           (undelivered_.polling_rate && !ble_only);

  // What the mouse now holds: for each group this pass delivered, the copy that was encoded;
  // for every other group what the snapshot holds now, which is what the mouse held before,
  // together with any change the mouse reported on its own while the pass ran. A group that
  // did not get through thus stays different and is sent again by the next pass.
  session_.SaveStore();
  session_.UpdateApplied([&](ProfileData& snapshot) {
    for (CommandGroup g : kGroups) {
      if (delivered[g]) CopyGroupFields(g, input->current, snapshot);
    }
  });
  if (effects_) {
    effects_->ShowApplyRing(false);
    effects_->ShowUndelivered(undelivered);
  }
  return true;
}

}  // namespace mokta
