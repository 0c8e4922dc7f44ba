#include "ui/assignment_text.h"

#include <map>

#include "data/key_tables.h"
#include "framework/language_file.h"

namespace mokta {
namespace {

// The language key a button shows for each plain function code; codes not listed show nothing.
const std::map<int, const char*>& FunctionTextKeys() {
  static const std::map<int, const char*> keys = {
      {0x00, "button_off_text"},
      {0x01, "left_click_text"},
      {0x02, "right_click_text"},
      {0x03, "wheel_click_text"},
      {0x04, "forward_text"},
      {0x05, "backward_text"},
      {0x06, "dpi_cycle_text"},
      {0x07, "dpi_up_text"},
      {0x08, "dpi_down_text"},
      {0x09, "double_click_text"},
      {0x0A, "fire_button_text"},
      {0x0B, "scroll_up_text"},
      {0x0C, "scroll_down_text"},
      {0x0D, "titl_left_text"},
      {0x0E, "titl_right_text"},
      {0x16, "easy_aim_text"},
      {0x17, "led_loop_text"},
      {0x20, "cut_text"},
      {0x21, "copy_text"},
      {0x22, "paste_text"},
      {0x23, "open_text"},
      {0x24, "save_text"},
      {0x25, "find_text"},
      {0x26, "redo_text"},
      {0x27, "undo_text"},
      {0x28, "select_all_text"},
      {0x29, "print_text"},
      {0x2A, "close_window_text"},
      {0x2B, "swap_windows_text"},
      {0x2C, "show_desktop_text"},
      {0x2D, "run_command_text"},
      {0x2E, "lock_pc_text"},
      {0x32, "screen_capture_text"},
      {0x33, "task_view_text"},
      {0x36, "profile_cycle_text"},
      {0x37, "profile_up_text"},
      {0x38, "profile_down_text"},
      {0x40, "media_player_text"},
      {0x41, "play_pause_text"},
      {0x42, "media_stop_text"},
      {0x43, "previous_track_text"},
      {0x44, "next_track_text"},
      {0x45, "volume_up_text"},
      {0x46, "volume_down_text"},
      {0x47, "mute_text"},
      {0x50, "browser_home_text"},
      {0x51, "browser_favorites_text"},
      {0x52, "browser_forward_text"},
      {0x53, "browser_backward_text"},
      {0x54, "browser_stop_text"},
      {0x55, "browser_refresh_text"},
      {0x56, "browser_search_text"},
      {0x57, "email_text"},
      {0x58, "calculator_text"},
      {0x59, "my_computer_text"},
  };
  return keys;
}

}  // namespace

QString AssignmentText(const ButtonData& button, const KeyboardLayout& layout) {
  const int function = button.function();
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
  const auto& keys = FunctionTextKeys();
  const auto it = keys.find(function);
  return it == keys.end() ? QString() : LanguageText(it->second);
}

}  // namespace mokta
