#include "data/key_tables.h"

#include <algorithm>
#include <span>

namespace mokta {

Q_LOGGING_CATEGORY(lcKeyTables, "mokta.keys")

namespace {

// An initializer list one row short would leave a zero row at the end without a compile error.
static_assert(std::ranges::none_of(KeyCodeTable, [](const KeyCodeRow& row) { return row.vk == 0; }),
              "every key table row names a key");

struct TextKey {
  std::uint32_t code;
  const char* key;  // language text key
};

// Virtual-key codes shown by name rather than by what they type.
constexpr std::array<TextKey, 62> kNamedVirtualKeys{{
    {0x08, "key_BackSpace"},   {0x09, "key_Tab"},       {0x0D, "key_Enter"},
    {0x10, "key_LShift"},      {0x11, "key_LCtrl"},     {0x12, "key_LAlt"},
    {0x13, "key_Pause"},       {0x14, "key_Caplk"},     {0x1B, "key_Esc"},
    {0x20, "key_Space"},       {0x21, "key_Page Up"},   {0x22, "key_Page Down"},
    {0x23, "key_End"},         {0x24, "key_Home"},      {0x25, "key_Left"},
    {0x26, "key_Up"},          {0x27, "key_Right"},     {0x28, "key_Down"},
    {0x2A, "key_Print Scr"},   {0x2C, "key_Print Scr"}, {0x2D, "key_Insert"},
    {0x2E, "key_Delete"},      {0x5B, "key_LWin"},      {0x5C, "key_RWin"},
    {0x5D, "key_APP"},         {0x60, "key_Num_0"},     {0x61, "key_Num_1"},
    {0x62, "key_Num_2"},       {0x63, "key_Num_3"},     {0x64, "key_Num_4"},
    {0x65, "key_Num_5"},       {0x66, "key_Num_6"},     {0x67, "key_Num_7"},
    {0x68, "key_Num_8"},       {0x69, "key_Num_9"},     {0x6A, "key_Num_*"},
    {0x6B, "key_Num_+"},       {0x6C, "key_Num_Enter"}, {0x6D, "key_Num_-"},
    {0x6E, "key_Num_."},       {0x6F, "key_Num_/"},     {0x70, "key_F1"},
    {0x71, "key_F2"},          {0x72, "key_F3"},        {0x73, "key_F4"},
    {0x74, "key_F5"},          {0x75, "key_F6"},        {0x76, "key_F7"},
    {0x77, "key_F8"},          {0x78, "key_F9"},        {0x79, "key_F10"},
    {0x7A, "key_F11"},         {0x7B, "key_F12"},       {0x90, "key_Num Lock"},
    {0x91, "key_Scroll Lock"}, {0xA0, "key_LShift"},    {0xA1, "key_RShift"},
    {0xA2, "key_LCtrl"},       {0xA3, "key_RCtrl"},     {0xA4, "key_LAlt"},
    {0xA5, "key_RAlt"},        {0xF0, "key_Caplk"},  // Caps Lock of Japanese keyboards
}};

// Stored codes outside the layout-dependent range that have a text. Codes not listed here,
// among them 0x66..0x68, 0xE8..0xEF and the program codes 0xF0, 0xF7 and 0xF8, have none.
constexpr std::array<TextKey, 60> kUsageTextKeys{{
    {0x3A, "key_F1"},
    {0x3B, "key_F2"},
    {0x3C, "key_F3"},
    {0x3D, "key_F4"},
    {0x3E, "key_F5"},
    {0x3F, "key_F6"},
    {0x40, "key_F7"},
    {0x41, "key_F8"},
    {0x42, "key_F9"},
    {0x43, "key_F10"},
    {0x44, "key_F11"},
    {0x45, "key_F12"},
    {0x46, "key_Print Scr"},
    {0x47, "key_Scroll Lock"},
    {0x48, "key_Pause"},
    {0x49, "key_Insert"},
    {0x4A, "key_Home"},
    {0x4B, "key_Page Up"},
    {0x4C, "key_Delete"},
    {0x4D, "key_End"},
    {0x4E, "key_Page Down"},
    {0x4F, "key_Right"},
    {0x50, "key_Left"},
    {0x51, "key_Down"},
    {0x52, "key_Up"},
    {0x53, "key_Num Lock"},
    {0x54, "key_Num_/"},
    {0x55, "key_Num_*"},
    {0x56, "key_Num_-"},
    {0x57, "key_Num_+"},
    {0x58, "key_Num_Enter"},
    {0x59, "key_Num_1"},
    {0x5A, "key_Num_2"},
    {0x5B, "key_Num_3"},
    {0x5C, "key_Num_4"},
    {0x5D, "key_Num_5"},
    {0x5E, "key_Num_6"},
    {0x5F, "key_Num_7"},
    {0x60, "key_Num_8"},
    {0x61, "key_Num_9"},
    {0x62, "key_Num_0"},
    {0x63, "key_Num_."},
    {0x64, "key_\\"},
    {0x65, "key_APP"},
    {0x82, "Sleep"},
    {0x88, "Kana/Roma"},
    {0xDD, "`"},
    {0xE0, "key_LCtrl"},
    {0xE1, "key_LShift"},
    {0xE2, "key_LAlt"},
    {0xE3, "key_LWin"},
    {0xE4, "key_RCtrl"},
    {0xE5, "key_RShift"},
    {0xE6, "key_RAlt"},
    {0xE7, "key_RWin"},
    {0xF1, "L_Button"},
    {0xF2, "R_Button"},
    {0xF3, "M_Button"},
    {0xF4, "Backward_Button"},
    {0xF5, "Forward_Button"},
}};

// A table given fewer entries than its size would end in entries without a key.
static_assert(std::ranges::none_of(kNamedVirtualKeys,
                                   [](const TextKey& t) { return t.key == nullptr; }));
static_assert(std::ranges::none_of(kUsageTextKeys,
                                   [](const TextKey& t) { return t.key == nullptr; }));

// Usages stored by physical position when converted from a virtual-key code.
constexpr bool IsPositionalUsage(std::uint32_t usage) {
  return usage >= 0x04 && usage <= 0x45;
}
// Usages shown with the character the layout puts on their position.
constexpr bool IsTypedUsage(std::uint32_t usage) {
  return usage >= 0x04 && usage <= 0x39;
}

// Upper case, character by character: a character whose capital is several characters (ß
// gives "SS" in full case mapping) keeps its own, so a key still shows as one character.
QString UpperCaseEachCharacter(const QString& text) {
  QString upper;
  upper.reserve(text.size());
  for (const char32_t c : text.toUcs4()) {
    const char32_t u = QChar::toUpper(c);
    upper += QString::fromUcs4(&u, 1);
  }
  return upper;
}

const char* FindTextKey(std::span<const TextKey> table, std::uint32_t code) {
  const auto it = std::ranges::find(table, code, &TextKey::code);
  return it == table.end() ? nullptr : it->key;
}

// The first row with `value` in column `column`, or nullptr.
const KeyCodeRow* FindRow(std::uint32_t KeyCodeRow::*column, std::uint32_t value) {
  const auto it = std::ranges::find(KeyCodeTable, value, column);
  return it == KeyCodeTable.end() ? nullptr : &*it;
}

QString TextOfStoredCode(std::uint32_t code, const KeyboardLayout& layout,
                         const LanguageTexts& language) {
  if (IsTypedUsage(code)) {
    const KeyCodeRow* row = FindRow(&KeyCodeRow::usage, code);
    if (row == nullptr) return {};  // 0x32 (Non-US #) has no row
    const std::uint32_t vk = layout.ScanCodeToVirtualKey(row->scan_code);
    if (vk == 0) return {};
    return VirtualKeyToKeyText(vk, layout, language);
  }
  const char* key = FindTextKey(kUsageTextKeys, code);
  if (key == nullptr) return {};
  return language.Text(QString::fromLatin1(key));
}

}  // namespace

UsageLookup VirtualKeyToUsage(std::uint32_t vk, const KeyboardLayout& layout) {
  const KeyCodeRow* row = FindRow(&KeyCodeRow::vk, vk);
  if (row == nullptr) return {false, 0};
  std::uint32_t usage = row->usage;
  if (IsPositionalUsage(usage)) {
    const std::uint32_t scan_code = layout.VirtualKeyToScanCode(vk);
    // Rows without a scan code hold 0, which must never match.
    if (scan_code != 0) {
      if (const KeyCodeRow* position = FindRow(&KeyCodeRow::scan_code, scan_code)) {
        usage = position->usage;
      }
    }
  }
  return {true, usage};
}

QString VirtualKeyToKeyText(std::uint32_t vk, const KeyboardLayout& layout,
                            const LanguageTexts& language) {
  if (const char* key = FindTextKey(kNamedVirtualKeys, vk)) {
    return language.Text(QString::fromLatin1(key));
  }
  return UpperCaseEachCharacter(layout.UnmodifiedText(vk, layout.VirtualKeyToScanCode(vk)));
}

QString UsageToKeyText(std::uint32_t code, const KeyboardLayout& layout,
                       const LanguageTexts& language) {
  QString text = TextOfStoredCode(code, layout, language);
  qCDebug(lcKeyTables, "m_key = %s", qUtf8Printable(text));
  return text;
}

}  // namespace mokta
