// Sequences of what the drivers and the Bluetooth LE link report, into the link state and the
// device events, with timer expiries and the settle steps in between: arrivals and removals,
// events of every word and value, Bluetooth LE notifications (as raw values), devices that do
// or do not open, and raw (message, wParam, lParam) triples through the host's routing, with
// any message number and values of the full width. Input: a start byte, then records: 5 bytes
// (an operation and 4 bytes), or when the operation byte is 0xF0 or more, a host message of 22
// bytes (that byte; a selector; the message number, wParam and lParam, little-endian, of 4, 8
// and 8 bytes; the selector's high bit clear picks one of the drivers' messages instead).

#include <QLoggingCategory>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <span>

#include "device/device_events.h"
#include "device/device_host.h"
#include "device/driver_messages.h"
#include "device/link_state.h"
#include "device/profile_session.h"
#include "device_fakes.h"

namespace {

using namespace mokta;

class Device : public FeatureDevice {
 public:
  bool present = true;
  bool Open() override { return present; }
  void Close() override {}
  bool SetFeature(std::span<const std::uint8_t>) override { return present; }
};

class Ble : public BleLinkControl {
 public:
  void SetLinkUp(bool) override {}
  void OpenGattLink() override {}
};

constexpr std::size_t kHostRecord = 22;
constexpr std::uint32_t kDriverMessages[] = {
    MSG_CABLE_EVENT,  MSG_CABLE_STATUS, MSG_RECEIVER_EVENT, MSG_RECEIVER_STATUS,
    MSG_BLE_PRESENCE, MSG_BLE_EVENT,    MSG_WORKER_APPLY,
};

std::uint64_t LittleEndian(const std::uint8_t* bytes, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

// The session outlives the inputs: a new one per input allocates and clears its 200 KB store
// header each time, which was most of the harness's time. Each input starts it over from the
// same profile and the same last-applied copy (the events change nothing else of it).
ProfileSession& FreshSession() {
  static ProfileSession session(nullptr);
  static const std::unique_ptr<ProfileData> profile = NewProfile(u"P");
  static const ProfileData applied;
  session.ApplyDeviceChange([](ProfileData& current, ProfileData& last_applied) {
    current = *profile;
    last_applied = applied;
  });
  return session;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // What the readers log about damaged input is expected here, a million times over.
  static const bool quiet = [] {
    QLoggingCategory::setFilterRules(QStringLiteral("mokta.*=false"));
    return true;
  }();
  (void)quiet;
  if (size == 0) return 0;
  LinkFields fields;
  test::RecordingView view;
  Device cable;
  Device receiver;
  Ble ble;
  ProfileSession& session = FreshSession();
  LinkState links(fields, view, view, &cable, &receiver, &ble);
  DeviceEvents events(links, session, view, view);
  links.set_event_handler(&events);
  cable.present = (data[0] & 1) != 0;
  receiver.present = (data[0] & 2) != 0;
  links.StartUp((data[0] & 4) != 0);

  for (std::size_t at = 1; at + 5 <= size;) {
    const std::uint8_t* r = data + at;
    if (r[0] >= 0xF0) {
      if (at + kHostRecord > size) break;
      at += kHostRecord;
      const auto number = static_cast<std::uint32_t>(LittleEndian(r + 2, 4));
      const std::uint32_t message =
          (r[1] & 0x80) != 0 ? number : kDriverMessages[r[1] % std::size(kDriverMessages)];
      RouteDriverMessage(links, events, message,
                         static_cast<std::uintptr_t>(LittleEndian(r + 6, 8)),
                         static_cast<std::intptr_t>(LittleEndian(r + 14, 8)));
      continue;
    }
    at += 5;
    const auto word = static_cast<std::uint16_t>(r[1] | r[2] << 8);
    const auto value = static_cast<std::uint16_t>(r[3] | r[4] << 8);
    switch (r[0] % 13) {
      case 0:
        links.OnCableStatus(FoldStatusMessage(r[1] % 3));
        break;
      case 1:
        links.OnReceiverStatus(FoldStatusMessage(r[1] % 3));
        break;
      case 2:
        links.OnCableEvent(word, value);
        break;
      case 3:
        links.OnReceiverEvent(word, value);
        break;
      case 4:
        if (const auto event = DecodeBleNotification(std::span(r + 1, r[0] % 5))) {
          events.OnBleEvent(event->first, event->second);
        }
        break;
      case 5:
        links.SetBleLink(r[1] & 1);
        break;
      case 6:
        links.OnBleDeviceChange((r[1] & 1) != 0);
        break;
      case 7:
        links.OnReceiverIdleTimer();
        break;
      case 8:
        links.OnChargeAnimationTimer();
        break;
      case 9:
        links.OnBleOpenTimer();
        break;
      case 10:
        view.RunPending();
        break;
      case 11:
        cable.present = (r[1] & 1) != 0;
        receiver.present = (r[2] & 1) != 0;
        break;
      default:
        links.RefreshLinkView();
        break;
    }
    if (view.log.size() > 4096) view.log.clear();  // the record is not what is tested
  }
  view.RunPending();
  links.CloseDevices();
  return 0;
}
