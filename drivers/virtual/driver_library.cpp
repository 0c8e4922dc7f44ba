// One driver library of the virtual mouse: libhiddriver_2.so (cable, built with
// MOKTA_VIRTUAL_LINK_CABLE) or libhiddriver_1.so (receiver, MOKTA_VIRTUAL_LINK_RECEIVER). Both
// forward to the one shared mouse of the process; the cable library also offers the mouse's
// Bluetooth LE link. Only the driver interface is exported.

#pragma GCC visibility push(default)
#include "mokta_driver.h"
#pragma GCC visibility pop

#include "virtual_mouse.h"

namespace {

#if defined(MOKTA_VIRTUAL_LINK_CABLE)
constexpr mokta::VirtualLink kLink = mokta::VirtualLink::kCable;
#elif defined(MOKTA_VIRTUAL_LINK_RECEIVER)
constexpr mokta::VirtualLink kLink = mokta::VirtualLink::kReceiver;
#else
#error "define MOKTA_VIRTUAL_LINK_CABLE or MOKTA_VIRTUAL_LINK_RECEIVER"
#endif

mokta::VirtualMouse& Mouse() {
  return mokta::VirtualMouse::Shared();
}

}  // namespace

extern "C" {

int32_t Set_VIDPID(int32_t vendor_id, int32_t product_id) {
  return Mouse().SetVidPid(kLink, vendor_id, product_id);
}

int32_t Open_DevMonitor(const MoktaWindow* window, uint32_t data_message, uint32_t status_message) {
  return Mouse().OpenMonitor(kLink, window, data_message, status_message);
}

int32_t Open_FeatureDevice(void) {
  return Mouse().OpenFeatureDevice(kLink);
}

int32_t Close_FeatureDevice(void) {
  return Mouse().CloseFeatureDevice(kLink);
}

int32_t SetFeature(const uint8_t* report, int32_t length) {
  return Mouse().SetFeature(kLink, report, length);
}

int32_t Close_DevMonitor(void) {
  return Mouse().CloseMonitor(kLink);
}

int32_t GetFeature(uint8_t*, int32_t) {
  return 0;
}

#if defined(MOKTA_VIRTUAL_LINK_CABLE)
int32_t MoktaBle_Open(const MoktaWindow* window, uint32_t presence_message,
                      uint32_t event_message) {
  return Mouse().BleOpen(window, presence_message, event_message);
}

int32_t MoktaBle_Write(const uint8_t* message, int32_t length) {
  return Mouse().BleWrite(message, length);
}

int32_t MoktaBle_Close(void) {
  return Mouse().BleClose();
}
#endif

}  // extern "C"
