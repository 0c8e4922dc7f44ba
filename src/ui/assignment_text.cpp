#include "ui/assignment_text.h"

#include "data/button_assignment.h"
#include "data/key_tables.h"
#include "framework/language_file.h"

namespace mokta {

QString AssignmentText(const ButtonData& button, const KeyboardLayout& layout) {
  const std::uint8_t function = button.function();
  if (function == kFunctionKeyCombo) {
    static const char* const kModifierKeys[] = {"keyboard_ctrl_text", "keyboard_shift_text",
                                                "keyboard_alt_text", "keyboard_win_text"};
    QString text;
    for (int bit = 0; bit < 4; ++bit) {
      if (button.modifiers() & (1 << bit)) text += LanguageText(kModifierKeys[bit]) + "+";
    }
    return text + UsageToKeyText(button.key(), layout, ProgramLanguage());
  }
  if (function == kFunctionMacro) return LanguageText("assign_macro_text") + button.bind_name();
  if (function == kFunctionGun) return LanguageText("assign_gun_text") + button.bind_name();
  const char* key = FunctionTextKey(function);
  return key ? LanguageText(key) : QString();
}

}  // namespace mokta
