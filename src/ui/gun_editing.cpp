#include "ui/gun_editing.h"

#include <QRegularExpression>
#include <algorithm>
#include <utility>

#include "data/names.h"

namespace mokta {
namespace {

// Far beyond every bound above, and far from overflowing when a step is added.
constexpr std::int64_t kSaturation = std::int64_t{1} << 40;

std::int32_t Bound(GunField field, std::int64_t value, bool typed) {
  if (field == GunField::kDelay) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, kMinStepDelay, kMaxStepDelay));
  }
  const std::int64_t low = typed ? -kTypedOffsetLimit : kMinStepOffset;
  const std::int64_t high = typed ? kTypedOffsetLimit : kMaxStepOffset;
  return static_cast<std::int32_t>(std::clamp(value, low, high));
}

QString SignedText(std::int64_t value, const char* negative, const char* positive) {
  if (value == 0) return QStringLiteral("0");
  return QStringLiteral("%1 %2")
      .arg(value < 0 ? -value : value)
      .arg(QLatin1String(value < 0 ? negative : positive));
}

}  // namespace

std::int64_t LeadingInteger(QStringView text) {
  qsizetype i = 0;
  const bool negative = !text.isEmpty() && text[0] == u'-';
  if (negative) ++i;
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = std::min(value * 10 + (text[i].unicode() - u'0'), kSaturation);
  }
  return negative ? -value : value;
}

std::int32_t TypedGunValue(GunField field, QStringView text) {
  return Bound(field, LeadingInteger(text), true);
}

std::int32_t SteppedGunValue(GunField field, QStringView text, int delta) {
  return Bound(field, LeadingInteger(text) + delta, false);
}

std::optional<GunRowControl> ParseGunRowControl(QStringView name) {
  static const QRegularExpression pattern(QStringLiteral(
      "^(?:edit_zidan_(x|y|delay)|zidan_(x|y|delay)_(up|down)_btn)_([1-9]|[12][0-9]|30)$"));
  const QRegularExpressionMatch match = pattern.match(name.toString());
  if (!match.hasMatch()) return std::nullopt;
  const bool edit = match.capturedLength(1) > 0;
  const QStringView field_name = edit ? match.capturedView(1) : match.capturedView(2);
  GunRowControl control;
  control.row = match.capturedView(4).toInt() - 1;
  control.field = field_name == u"x"   ? GunField::kX
                  : field_name == u"y" ? GunField::kY
                                       : GunField::kDelay;
  if (!edit) {
    const bool up = match.capturedView(3) == u"up";
    control.delta = up ? 1 : -1;
    if (control.field == GunField::kX) control.delta = -control.delta;
  }
  return control;
}

PatternPath ComputePatternPath(std::span<const GunStep> steps) {
  PatternPath path;
  path.points.reserve(steps.size());
  PathPoint at;
  for (const GunStep& step : steps) {
    at.x += step.x;
    at.y += step.y;
    path.points.push_back(at);
    path.min = {std::min(path.min.x, at.x), std::min(path.min.y, at.y)};
    path.max = {std::max(path.max.x, at.x), std::max(path.max.y, at.y)};
    path.total_time += step.delay;
  }
  return path;
}

QString DescribePatternPath(const PatternPath& path) {
  if (path.points.empty()) return QStringLiteral("No pattern selected");
  const PathPoint end = path.end();
  return QStringLiteral(
             "%1 steps: total horizontal offset %2, total vertical offset %3, "
             "total time %4 ms")
      .arg(path.points.size())
      .arg(SignedText(end.x, "left", "right"), SignedText(end.y, "up", "down"))
      .arg(path.total_time);
}

GunEditing::GunEditing(GunList& guns, Save save) : guns_(guns), save_(std::move(save)) {
  steps_.fill(kBlankGunStep);
}

const GunData* GunEditing::current() const {
  return selected_ >= 0 ? guns_[static_cast<std::size_t>(selected_)].get() : nullptr;
}

std::span<const GunStep> GunEditing::used_steps() const {
  if (!has_current()) return {};
  return std::span<const GunStep>(steps_).first(static_cast<std::size_t>(steps_shown_));
}

void GunEditing::Select(int position) {
  const bool valid = position >= 0 && static_cast<std::size_t>(position) < guns_.size() &&
                     guns_[static_cast<std::size_t>(position)];
  if (!valid) {
    selected_ = -1;
    steps_shown_ = static_cast<int>(kMaxGunSteps);
    steps_.fill(kBlankGunStep);
    return;
  }
  selected_ = position;
  const GunData& gun = *guns_[static_cast<std::size_t>(position)];
  // A damaged count is shown as the count every reader uses; it is stored on the next change.
  steps_shown_ = static_cast<int>(gun.used_count());
  for (std::size_t i = 0; i < kMaxGunSteps; ++i) steps_[i] = gun.bullet(i);
}

void GunEditing::SetStepCount(int count) {
  steps_shown_ = std::clamp(count, 1, static_cast<int>(kMaxGunSteps));
  Commit();
}

int GunEditing::Add(const LanguageTexts& language) {
  guns_.push_back(NewGun(DefaultRecordName(guns_, language, kAddGunTextKey)));
  if (save_) save_();
  return static_cast<int>(guns_.size()) - 1;
}

int GunEditing::Delete(int position) {
  if (position < 0 || static_cast<std::size_t>(position) >= guns_.size()) return -1;
  guns_.erase(guns_.begin() + position);
  // The selection no longer names a record until the caller selects again.
  if (selected_ == position) {
    selected_ = -1;
  } else if (selected_ > position) {
    --selected_;
  }
  if (save_) save_();
  return std::min(position, static_cast<int>(guns_.size()) - 1);
}

bool GunEditing::Rename(QStringView name) {
  if (!has_current()) return false;
  guns_[static_cast<std::size_t>(selected_)]->set_name(name);
  if (save_) save_();
  return true;
}

std::int32_t GunEditing::Step(int row, GunField field, int delta, QStringView text) {
  return Store(row, field, SteppedGunValue(field, text, delta));
}

std::int32_t GunEditing::Type(int row, GunField field, QStringView text) {
  return Store(row, field, TypedGunValue(field, text));
}

std::int32_t GunEditing::Store(int row, GunField field, std::int32_t value) {
  if (row < 0 || row >= static_cast<int>(kMaxGunSteps)) return value;
  GunStep& step = steps_[static_cast<std::size_t>(row)];
  switch (field) {
    case GunField::kX:
      step.x = value;
      break;
    case GunField::kY:
      step.y = value;
      break;
    case GunField::kDelay:
      step.delay = static_cast<std::uint16_t>(value);  // within 1..65535 by Bound
      break;
  }
  Commit();
  return value;
}

void GunEditing::Commit() {
  if (!has_current()) return;
  GunData& gun = *guns_[static_cast<std::size_t>(selected_)];
  GunData updated = gun;
  updated.set_count(static_cast<std::uint8_t>(steps_shown_));
  for (std::size_t i = 0; i < kMaxGunSteps; ++i) updated.set_bullet(i, steps_[i]);
  if (updated == gun) return;
  gun = updated;
  if (save_) save_();
}

}  // namespace mokta
