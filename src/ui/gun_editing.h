#pragma once

// The recoil pattern editor's rules, apart from its window: which pattern is selected, how
// many steps are in use, the working copy of the 30 steps the rows edit, how typed and
// stepped values are kept inside their fields, and the path the pointer takes. QtCore only.
//
// Value bounds. A typed offset is limited to -999..999 and a typed delay to 1..65535. The
// up and down buttons may go past the typed offset limit, but never past what the record and
// the mouse hold: the mouse takes an offset as a signed 16-bit number (its high and low byte),
// so a stepped offset stays within -32768..32767; a delay is a 16-bit field and stays within
// 1..65535. Nothing wraps.

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "data/gun_data.h"
#include "data/language.h"

namespace mokta {

inline constexpr std::int32_t kTypedOffsetLimit = 999;
inline constexpr std::int32_t kMinStepOffset = -32768;
inline constexpr std::int32_t kMaxStepOffset = 32767;
inline constexpr std::int32_t kMinStepDelay = 1;
inline constexpr std::int32_t kMaxStepDelay = 65535;
// What the rows show while no pattern is selected, and the steps of a new pattern.
inline constexpr GunStep kBlankGunStep{.x = 0, .y = 0, .reserved = 0, .delay = 5};

enum class GunField { kX, kY, kDelay };

// The leading decimal number of `text` (an optional '-' and digits, e.g. "-12" of "-12-3"),
// 0 when the text does not start with one. Very long numbers saturate instead of overflowing.
std::int64_t LeadingInteger(QStringView text);

// The value a text typed into a field's edit stands for once the edit is left: offsets within
// -999..999, delays within 1..65535.
std::int32_t TypedGunValue(GunField field, QStringView text);
// The value after an up or down button: the text's value plus `delta`, within the field's
// stored bounds (see above).
std::int32_t SteppedGunValue(GunField field, QStringView text, int delta);

// A control of a step row, known by its name: the edits "edit_zidan_x_%d", "edit_zidan_y_%d",
// "edit_zidan_delay_%d" (delta 0) and the buttons "zidan_<field>_<up|down>_btn_%d" with the
// change they make. The x pair runs the other way round: its down button adds 1.
struct GunRowControl {
  int row = 0;  // 0..29
  GunField field = GunField::kX;
  int delta = 0;
  friend bool operator==(const GunRowControl&, const GunRowControl&) = default;
};
std::optional<GunRowControl> ParseGunRowControl(QStringView name);

// The path the pointer takes over `steps`: point i is where it stands after step i (the
// running sum of x and y from the origin, screen orientation: positive y is down), with the
// rectangle that holds the origin and every point, and the steps' total time.
struct PathPoint {
  std::int64_t x = 0;
  std::int64_t y = 0;
  friend bool operator==(const PathPoint&, const PathPoint&) = default;
};
struct PatternPath {
  std::vector<PathPoint> points;
  PathPoint min;                // smallest x and y of the origin and the points
  PathPoint max;                // largest
  std::int64_t total_time = 0;  // milliseconds: the sum of the delays
  PathPoint end() const { return points.empty() ? PathPoint{} : points.back(); }
};
PatternPath ComputePatternPath(std::span<const GunStep> steps);
// One sentence for a screen reader: the total horizontal and vertical offset and the total
// time, e.g. "3 steps move the pointer 2 left and 45 down in 60 ms".
QString DescribePatternPath(const PatternPath& path);

// The editor's state over the pattern list. Every change to the selected pattern is copied
// into its record and, when the record's bytes changed, `save` is called to write the list.
class GunEditing {
 public:
  using Save = std::function<void()>;
  // `guns` outlives the editing.
  GunEditing(GunList& guns, Save save);

  // Loads the pattern at `position`; any position outside the list selects none: 30 rows of
  // 0, 0, 5 and nothing to edit.
  void Select(int position);
  int selected() const { return selected_; }
  bool has_current() const { return selected_ >= 0; }
  const GunData* current() const;
  // Steps in use, 1..30 (30 while nothing is selected).
  int steps_shown() const { return steps_shown_; }
  const std::array<GunStep, kMaxGunSteps>& steps() const { return steps_; }
  // The steps in use of the working copy; empty while nothing is selected.
  std::span<const GunStep> used_steps() const;

  // Uses `count` steps (brought into 1..30); stored when a pattern is selected.
  void SetStepCount(int count);
  // Appends a new pattern named after `add_gun_text` and the list length + 1 (made unique),
  // with 30 steps of 0, 0, 5, and writes the list; returns its position (not yet selected).
  int Add(const LanguageTexts& language);
  // Removes the pattern at `position` and writes the list; returns the position to select
  // next (the same, or the one before when it was the last; -1 when the list is empty), or
  // -1 without change for a position outside the list.
  int Delete(int position);
  // Renames the selected pattern (cut to its field); false when none is selected.
  bool Rename(QStringView name);

  // A row's button: the edit's text `text` plus `delta`; a row's edit left or confirmed: its
  // typed value. Both store the value in the working step of `row` (0..29) and return it.
  std::int32_t Step(int row, GunField field, int delta, QStringView text);
  std::int32_t Type(int row, GunField field, QStringView text);

 private:
  std::int32_t Store(int row, GunField field, std::int32_t value);
  // Copies the step count and the working steps into the selected pattern, and saves when its
  // bytes changed.
  void Commit();

  GunList& guns_;
  Save save_;
  int selected_ = -1;
  int steps_shown_ = static_cast<int>(kMaxGunSteps);
  std::array<GunStep, kMaxGunSteps> steps_;
};

}  // namespace mokta
