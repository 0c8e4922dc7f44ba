#include "platform/linux/xkb_x11.h"

#include <xkbcommon/xkbcommon-x11.h>

#include <cstdlib>

namespace mokta::xkb {

std::int32_t FollowCoreKeyboard(xcb_connection_t* connection, std::uint8_t* first_event) {
  if (xkb_x11_setup_xkb_extension(
          connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
          XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, first_event, nullptr) == 0) {
    return -1;
  }
  const std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
  if (device < 0) return -1;
  constexpr std::uint16_t kEvents = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY |
                                    XCB_XKB_EVENT_TYPE_MAP_NOTIFY | XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
  constexpr std::uint16_t kMapParts =
      XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP |
      XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS |
      XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
  constexpr std::uint16_t kGroupParts =
      XCB_XKB_STATE_PART_GROUP_STATE | XCB_XKB_STATE_PART_GROUP_BASE |
      XCB_XKB_STATE_PART_GROUP_LATCH | XCB_XKB_STATE_PART_GROUP_LOCK;
  xcb_xkb_select_events_details_t details{};
  details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
  details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
  details.affectState = kGroupParts;
  details.stateDetails = kGroupParts;
  const xcb_void_cookie_t cookie =
      xcb_xkb_select_events_aux_checked(connection, static_cast<xcb_xkb_device_spec_t>(device),
                                        kEvents, 0, 0, kMapParts, kMapParts, &details);
  xcb_generic_error_t* error = xcb_request_check(connection, cookie);
  const bool selected = error == nullptr;
  std::free(error);
  return selected ? device : -1;
}

}  // namespace mokta::xkb
