#pragma once

// The settings page's controls that edit a field of the current profile, described once each:
// the control's name, the field it edits, its range, the text of the label that shows the
// value, and when the edit goes to the mouse. The page's control look-up, its refresh and its
// handlers all walk these tables, and one test walks every row against the virtual mouse.
// QtCore only.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <span>

#include "data/language.h"
#include "data/profile_data.h"

namespace mokta {

// When an edit reaches the mouse.
enum class ApplyTiming {
  kNow,         // MSG_APPLY_REQUEST at once
  kAfter200Ms,  // TIMER_APPLY_DELAY restarted with 200 ms: a list the user may still scroll
  kAfter500Ms,  // TIMER_APPLY_DELAY restarted with 500 ms: a slider that may still move
  kWithApply,   // not by itself: with the next apply button, or the next edit that applies
};
// The delay of TIMER_APPLY_DELAY for a delayed timing, else 0.
int ApplyDelayMs(ApplyTiming timing);

// One field of the profile as a 32-bit value. `index` picks the entry of a field with one
// entry per DPI stage (0..7) and is ignored by the others.
struct ProfileField {
  const char* name;  // the record's field name: "brightness", "dpi_x", ...
  std::int32_t (*get)(const ProfileData& profile, int index);
  void (*set)(ProfileData& profile, int index, std::int32_t value);
};

// A group of numbered options ("ms_1_btn_prate_1".."ms_1_btn_prate_4"): option N stores
// N - 1. Options are chosen with "selectchanged".
struct OptionGroupBinding {
  const char* pattern;  // the control names, with %1 for 1..count
  int count;
  ProfileField field;
  ApplyTiming timing;
  // A label that shows the chosen option's text (the key `label_key` with %1 = N), or null.
  const char* label;
  const char* label_key;
};

// A slider ("valuechanged"), with the label that shows its value when there is one.
struct SliderBinding {
  const char* name;
  ProfileField field;
  int min;
  int max;
  ApplyTiming timing;
  const char* label;  // null: no label
  // The label's text for a value, with the program's language texts.
  QString (*label_text)(std::int32_t value, const LanguageTexts& language);
};

// A list of items ("itemselect"): item N stores N. A lighting list also shows the lighting
// rows of the chosen effect.
struct ComboBinding {
  const char* name;
  ProfileField field;
  ApplyTiming timing;
  bool shows_lighting_rows;
};

// A check box ("checkclick") that stores 1 when checked and 0 when not; the refresh checks it
// when the field is not 0.
struct CheckBinding {
  const char* name;
  ProfileField field;
  ApplyTiming timing;
};

// The controls of the DPI stages, %1 = stage 1..count: a slider that holds the stage's code,
// a label and an edit that show its DPI. Typed DPI is taken on "killfocus" or "return".
//
// Each stage also has an on/off check box ("checkclick"): checked stores 1 in the stage's
// entry of `on_field` (`dpi_enabled`), unchecked 0, through SwitchDpiStage, which keeps one
// stage on and the active stage on a stage that is on. A stage that is off shows its slider,
// edit, label and active-stage option disabled.
struct DpiStageBinding {
  const char* slider;
  const char* label;
  const char* edit;
  int count;
  ProfileField field;  // indexed by stage - 1
  int min;
  int max;
  ApplyTiming timing;
  const char* on_check;
  ProfileField on_field;  // indexed by stage - 1
  ApplyTiming on_timing;
  const char* option;  // the stage's option of the active-stage group ("dpi_step")
};

// Whether stage `index` (0-based) of `profile` is on: only the value 1 counts. False outside
// the stages.
bool DpiStageOn(const ProfileData& profile, int index);
// How many stages of `profile` are on.
int DpiStagesOn(const ProfileData& profile);
// Turns stage `index` (0-based) on or off. The last stage that is on cannot be turned off:
// then, and for an index outside the stages, nothing changes and the result is false.
// A stage turned on without a DPI (a code outside the stages' range, as stages 7 and 8 have by
// default) takes the code of the nearest stage before it that has one (else after it), so that
// the mouse never switches to 0 DPI.
// Afterwards the active stage (`dpi_step`) is one that is on: when it is not (the active stage
// was just turned off, or the record came with an active stage that is off), the stage that is
// on nearest to it becomes active, the lower one of two as near.
bool SwitchDpiStage(ProfileData& profile, int index, bool on);

// Buttons that show a stored colour (0x00BBGGRR) and open the colour dialog. `pattern` has %1
// for 1..count when `count` > 1; the field is indexed by N - 1.
struct ColorButtonBinding {
  const char* pattern;
  int count;
  ProfileField field;
  ApplyTiming timing;
};

// A collapsible section: its check box shows and hides its body. Opening a section that sits
// at the end of the settings column also brings it into view (TIMER_SETTINGS_FOLLOWUP).
struct SectionBinding {
  const char* check;
  const char* body;
  bool scrolls_into_view;
};

std::span<const OptionGroupBinding> OptionGroupBindings();
std::span<const SliderBinding> SliderBindings();
std::span<const ComboBinding> ComboBindings();
std::span<const CheckBinding> CheckBindings();
const DpiStageBinding& DpiStages();
std::span<const ColorButtonBinding> ColorButtonBindings();
std::span<const SectionBinding> SectionBindings();

// `pattern` with %1 replaced by `n`.
QString NumberedName(const char* pattern, int n);
// The number N (1..count) of `name` among the names of `pattern`, or 0.
int NumberIn(const QString& name, const char* pattern, int count);
// Every name of a numbered pattern (a single name when count is 1 and there is no %1).
QStringList NumberedNames(const char* pattern, int count);

// The names of every control the page uses, as the layout must hold them.
QStringList PageControlNames();

}  // namespace mokta
