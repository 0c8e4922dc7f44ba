#include "data/keyboard_layout.h"

#include "data/key_tables.h"

namespace mokta {

std::uint32_t FixedUsLayout::VirtualKeyToScanCode(std::uint32_t vk) const {
  for (const KeyCodeRow& row : KeyCodeTable) {
    if (row.vk == vk) return row.scan_code;
  }
  return 0;
}

std::uint32_t FixedUsLayout::ScanCodeToVirtualKey(std::uint32_t scan_code) const {
  if (scan_code == 0) return 0;
  for (const KeyCodeRow& row : KeyCodeTable) {
    if (row.scan_code == scan_code) return row.vk;
  }
  return 0;
}

QString FixedUsLayout::UnmodifiedText(std::uint32_t vk, std::uint32_t /*scan_code*/) const {
  if (vk >= 'A' && vk <= 'Z') return QString(QChar(char16_t(vk - 'A' + 'a')));
  if (vk >= '0' && vk <= '9') return QString(QChar(char16_t(vk)));
  char16_t c = 0;
  switch (vk) {
    case 0xBA:
      c = u';';
      break;
    case 0xBB:
      c = u'=';
      break;
    case 0xBC:
      c = u',';
      break;
    case 0xBD:
      c = u'-';
      break;
    case 0xBE:
      c = u'.';
      break;
    case 0xBF:
      c = u'/';
      break;
    case 0xC0:
      c = u'`';
      break;
    case 0xDB:
      c = u'[';
      break;
    case 0xDC:
      c = u'\\';
      break;
    case 0xDD:
      c = u']';
      break;
    case 0xDE:
      c = u'\'';
      break;
    default:
      return {};
  }
  return QString(QChar(c));
}

std::uint32_t FixedUsLayout::KeycodeToVirtualKey(std::uint32_t keycode) const {
  return keycode > 8 ? ScanCodeToVirtualKey(keycode - 8) : 0;
}

}  // namespace mokta
