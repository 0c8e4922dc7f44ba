#include "data/button_assignment.h"

#include <algorithm>

#include "data/byte_image.h"

namespace mokta {
namespace {

constexpr ButtonFunction kFunctions[] = {
    {0x00, "ms_1_button_off", "button_off_text"},
    {0x01, "ms_1_click", "left_click_text"},
    {0x02, "ms_1_menu", "right_click_text"},
    {0x03, "ms_1_scroll", "wheel_click_text"},
    {0x04, "ms_1_forward", "forward_text"},
    {0x05, "ms_1_backward", "backward_text"},
    {0x06, "ms_1_dpi_cycle", "dpi_cycle_text"},
    {0x07, "ms_1_dpi_up", "dpi_up_text"},
    {0x08, "ms_1_dpi_down", "dpi_down_text"},
    {0x09, "ms_1_double_click", "double_click_text"},
    {0x0A, "ms_1_fire_button", "fire_button_text"},
    {0x0B, "ms_1_scroll_up", "scroll_up_text"},
    {0x0C, "ms_1_scroll_down", "scroll_down_text"},
    {0x0D, "ms_1_titl_left", "titl_left_text"},
    {0x0E, "ms_1_titl_right", "titl_right_text"},
    {0x10, "ms_1_shortcut", nullptr},
    {0x11, "ms_1_select_macro", nullptr},
    {0x12, "ms_1_select_gun", nullptr},
    {0x16, "ms_1_easy_aim", "easy_aim_text"},
    {0x17, "ms_1_led_loop", "led_loop_text"},
    {0x20, "ms_1_cut", "cut_text"},
    {0x21, "ms_1_copy", "copy_text"},
    {0x22, "ms_1_paste", "paste_text"},
    {0x23, "ms_1_open", "open_text"},
    {0x24, "ms_1_save", "save_text"},
    {0x25, "ms_1_find", "find_text"},
    {0x26, "ms_1_redo", "redo_text"},
    {0x27, nullptr, "undo_text"},
    {0x28, "ms_1_select_all", "select_all_text"},
    {0x29, "ms_1_print", "print_text"},
    {0x2A, "ms_1_close_window", "close_window_text"},
    {0x2B, "ms_1_swap_windows", "swap_windows_text"},
    {0x2C, "ms_1_show_desktop", "show_desktop_text"},
    {0x2D, "ms_1_run_command", "run_command_text"},
    {0x2E, "ms_1_lock_pc", "lock_pc_text"},
    {0x32, "ms_1_screen_capture", "screen_capture_text"},
    {0x33, nullptr, "task_view_text"},
    {0x36, nullptr, "profile_cycle_text"},
    {0x37, nullptr, "profile_up_text"},
    {0x38, nullptr, "profile_down_text"},
    {0x40, "ms_1_media_player", "media_player_text"},
    {0x41, "ms_1_play_pause", "play_pause_text"},
    {0x42, "ms_1_media_stop", "media_stop_text"},
    {0x43, "ms_1_pre_track", "previous_track_text"},
    {0x44, "ms_1_next_track", "next_track_text"},
    {0x45, "ms_1_volume_up", "volume_up_text"},
    {0x46, "ms_1_volume_down", "volume_down_text"},
    {0x47, "ms_1_mute", "mute_text"},
    {0x50, "ms_1_browser_home", "browser_home_text"},
    {0x51, "ms_1_browser_favorites", "browser_favorites_text"},
    {0x52, "ms_1_browser_forward", "browser_forward_text"},
    {0x53, "ms_1_browser_backward", "browser_backward_text"},
    {0x54, "ms_1_browser_stop", "browser_stop_text"},
    {0x55, "ms_1_browser_refresh", "browser_refresh_text"},
    {0x56, "ms_1_browser_search", "browser_search_text"},
    {0x57, "ms_1_email", "email_text"},
    {0x58, "ms_1_calculator", "calculator_text"},
    {0x59, "ms_1_my_computer", "my_computer_text"},
};

// The record a button slot has in a new profile.
void ResetButtonToDefault(ButtonData& button, std::size_t slot) {
  auto bytes = button.bytes();
  std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
  button.set_button(static_cast<std::uint8_t>(slot));
  button.set_function(DefaultButtonFunctions[slot]);
  button.set_reserved_word(562);
  button.set_macro_index(-1);
  button.set_gun_index(-1);
}

// The first record of `list` whose name `bind_name` names, preferring the one at `hint`;
// -1 when there is none.
template <typename Record>
int FindBound(const std::vector<std::unique_ptr<Record>>& list, QStringView bind_name, int hint) {
  const auto named = [&](std::size_t i) {
    return list[i] && BindNameMatches(bind_name, list[i]->name());
  };
  if (hint >= 0 && static_cast<std::size_t>(hint) < list.size() &&
      named(static_cast<std::size_t>(hint))) {
    return hint;
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (named(i)) return static_cast<int>(i);
  }
  return -1;
}

// One button of the resync; the button holds a macro or pattern assignment with a name.
void ResyncButton(ButtonData& button, std::size_t slot, const MacroList& macros,
                  const GunList& guns) {
  const QString bind_name = button.bind_name();
  if (button.function() == kFunctionMacro) {
    const int i = FindBound(macros, bind_name, button.macro_index());
    if (i < 0) {
      ResetButtonToDefault(button, slot);
      return;
    }
    AssignMacro(button, *macros[static_cast<std::size_t>(i)], i, button.repeat_mode(),
                button.repeat_count());
  } else {
    const int i = FindBound(guns, bind_name, button.gun_index());
    if (i < 0) {
      ResetButtonToDefault(button, slot);
      return;
    }
    AssignGun(button, *guns[static_cast<std::size_t>(i)], i, button.repeat_count());
  }
}

}  // namespace

std::span<const ButtonFunction> ButtonFunctions() {
  return kFunctions;
}

std::uint8_t FunctionForMenuItem(QStringView item_name) {
  for (const ButtonFunction& f : kFunctions) {
    if (f.menu_item && item_name.compare(QLatin1String(f.menu_item), Qt::CaseInsensitive) == 0) {
      return f.code;
    }
  }
  return kFunctionLeftClick;
}

const char* FunctionTextKey(std::uint8_t code) {
  for (const ButtonFunction& f : kFunctions) {
    if (f.code == code) return f.text_key;
  }
  return nullptr;
}

bool KeepsLeftClick(const ProfileData& profile, std::size_t slot, std::uint8_t code) {
  for (std::size_t k = 0; k < kLeftClickRuleButtons; ++k) {
    const std::uint8_t function = k == slot ? code : profile.button(k).function();
    if (function == kFunctionLeftClick) return true;
  }
  return false;
}

QString BindNameOf(QStringView name) {
  return TruncateToUnits(name, static_cast<qsizetype>(ButtonData::kBindNameUnits - 1));
}

bool BindNameMatches(QStringView bind_name, QStringView name) {
  return !bind_name.isEmpty() && bind_name.compare(BindNameOf(name), Qt::CaseInsensitive) == 0;
}

void AssignKeyCombination(ButtonData& button, std::uint8_t modifiers, std::uint8_t key) {
  if (button.function() != kFunctionKeyCombo) {
    auto bytes = button.bytes();
    std::fill(bytes.begin() + ButtonData::kKey, bytes.begin() + ButtonData::kModifiers,
              std::uint8_t{0});
  }
  button.set_key(key);
  button.set_modifiers(modifiers);
  button.set_function(kFunctionKeyCombo);
}

void AssignMacro(ButtonData& button, const MacroData& macro, int index, int repeat_mode,
                 int repeat_count) {
  button.set_repeat_mode(repeat_mode);
  button.set_repeat_count(repeat_count);
  button.set_macro_index(index);
  button.set_bind_name(BindNameOf(macro.name()));
  button.set_step_count(static_cast<std::uint16_t>(macro.action_count() & 0xFFFF));
  std::ranges::copy(macro.actions_bytes(), button.macro_steps().begin());
  button.set_function(kFunctionMacro);
}

void AssignGun(ButtonData& button, const GunData& gun, int index, int repeat_count) {
  button.set_repeat_mode(2);  // a pattern plays while the button is held
  button.set_repeat_count(repeat_count);
  button.set_gun_index(index);
  button.set_bind_name(BindNameOf(gun.name()));
  button.set_step_count(static_cast<std::uint16_t>(gun.count()));
  std::ranges::copy(gun.bullets_bytes(), button.gun_steps().begin());
  button.set_function(kFunctionGun);
}

bool ResyncAssignments(ProfileList& profiles, const MacroList& macros, const GunList& guns,
                       int current) {
  bool current_holds = false;
  for (std::size_t p = 0; p < profiles.size(); ++p) {
    if (!profiles[p]) continue;
    for (std::size_t k = 0; k < kMouseButtons; ++k) {
      ButtonData& button = profiles[p]->button(k);
      const std::uint8_t function = button.function();
      if ((function != kFunctionMacro && function != kFunctionGun) ||
          button.bind_name().isEmpty()) {
        continue;
      }
      ResyncButton(button, k, macros, guns);
      if (static_cast<int>(p) == current) current_holds = true;
    }
  }
  return current_holds;
}

}  // namespace mokta
