#pragma once

// The keyboard-layout services the key conversions need. Key codes here are Windows
// virtual-key codes (the numbering the input hook reports) and set-1 scan codes of physical key
// positions; a platform implementation translates from its own facility.

#include <QString>
#include <cstdint>

namespace mokta {

class KeyboardLayout {
 public:
  virtual ~KeyboardLayout() = default;

  // The scan code of the key that produces virtual-key code `vk` on this layout, or 0 when no
  // key does.
  virtual std::uint32_t VirtualKeyToScanCode(std::uint32_t vk) const = 0;

  // The virtual-key code produced by the key at `scan_code`, telling the left and right hand
  // modifier keys apart (0xA0 rather than 0x10 for the left Shift), or 0 when the position has
  // no key. A `scan_code` of 0 gives 0.
  virtual std::uint32_t ScanCodeToVirtualKey(std::uint32_t scan_code) const = 0;

  // The text the key (`vk` at `scan_code`) types with no modifier held and no dead key
  // pending, in the case it is typed (a letter key usually gives its small letter). Empty
  // when the key types nothing.
  virtual QString UnmodifiedText(std::uint32_t vk, std::uint32_t scan_code) const = 0;

  // The virtual-key code of the key at the window system's key code `keycode` (an X11 / xkb
  // key code: the Linux input event code + 8, what Qt reports as a key event's native scan
  // code), the same code the input hook library posts for that key; 0 when it has none.
  virtual std::uint32_t KeycodeToVirtualKey(std::uint32_t keycode) const = 0;
};

// A US layout that answers from the key table's own columns, for tests and for systems whose
// layout cannot be read. Stateless; safe to share between threads.
class FixedUsLayout final : public KeyboardLayout {
 public:
  // The scan code of the first table row for `vk`; 0 when there is none or that row has none.
  std::uint32_t VirtualKeyToScanCode(std::uint32_t vk) const override;
  // The vk of the first table row with this nonzero scan code; 0 when there is none.
  std::uint32_t ScanCodeToVirtualKey(std::uint32_t scan_code) const override;
  // The unshifted US character of letters, digits and the punctuation keys; `scan_code` is not
  // used. Empty for every other key.
  QString UnmodifiedText(std::uint32_t vk, std::uint32_t scan_code) const override;
  // The table's vk of the position: key code − 8 read as a set-1 scan code (the Linux input
  // codes of the table's positions equal their scan codes); 0 outside the table.
  std::uint32_t KeycodeToVirtualKey(std::uint32_t keycode) const override;
};

}  // namespace mokta
