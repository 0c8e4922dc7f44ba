// Sequences of what the drivers and the Bluetooth LE link report, into the link state and the
// device events, with timer expiries and the settle steps in between: arrivals and removals,
// events of every word and value, Bluetooth LE notifications (as raw values), devices that do
// or do not open. Input: a start byte, then records of 5 bytes (an operation and 4 bytes).

#include <QLoggingCategory>
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/device_events.h"
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
  ProfileSession session(nullptr);
  ProfileList profiles;
  profiles.push_back(NewProfile(u"P"));
  session.Load(std::move(profiles), nullptr, 0);
  LinkState links(fields, view, view, &cable, &receiver, &ble);
  DeviceEvents events(links, session, view, view);
  links.set_event_handler(&events);
  cable.present = (data[0] & 1) != 0;
  receiver.present = (data[0] & 2) != 0;
  links.StartUp((data[0] & 4) != 0);

  for (std::size_t at = 1; at + 5 <= size; at += 5) {
    const std::uint8_t* r = data + at;
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
