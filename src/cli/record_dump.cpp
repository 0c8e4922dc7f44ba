#include "cli/record_dump.h"

#include <QJsonArray>
#include <QStringList>

#include "data/colors.h"
#include "data/key_tables.h"
#include "data/keyboard_layout.h"
#include "data/language.h"

namespace mokta {

namespace {

// Key names come from the key tables' text keys with their "key_" prefix removed ("key_F1"
// gives "F1"), which reads well without loading a language file.
class KeyNameTexts final : public LanguageTexts {
 public:
  QString Text(const QString& key) const override {
    return key.startsWith(QStringLiteral("key_")) ? key.mid(4) : key;
  }
};

QString Hex2(unsigned value) {
  return QStringLiteral("0x") + QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

// Texts from a file (names, paths) are only ever substituted by a single multi-argument arg()
// call, never followed by another: a later arg() would replace a "%1" inside the name.

// A name between quotes, with control characters escaped so that a damaged or hostile record
// cannot send terminal control sequences.
QString Quoted(const QString& text) {
  QString out = QStringLiteral("\"");
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (u < 0x20 || (u >= 0x7F && u < 0xA0)) {
      out += QStringLiteral("\\u%1").arg(static_cast<unsigned>(u), 4, 16, QLatin1Char('0'));
    } else if (c == QLatin1Char('"') || c == QLatin1Char('\\')) {
      out += QLatin1Char('\\');
      out += c;
    } else {
      out += c;
    }
  }
  out += QLatin1Char('"');
  return out;
}

QString NameText(const QString& name, bool terminated) {
  return terminated ? Quoted(name) : Quoted(name) + QStringLiteral(" (name field not terminated)");
}

QStringList ModifierNames(std::uint8_t modifiers) {
  QStringList names;
  if (modifiers & 1) names << QStringLiteral("Ctrl");
  if (modifiers & 2) names << QStringLiteral("Shift");
  if (modifiers & 4) names << QStringLiteral("Alt");
  if (modifiers & 8) names << QStringLiteral("Win");
  return names;
}

QString StateName(std::uint8_t state) {
  switch (state) {
    case MacroAction::kPress:
      return QStringLiteral("press");
    case MacroAction::kRelease:
      return QStringLiteral("release");
    default:
      return QStringLiteral("unknown");
  }
}

// "5 actions", or "46 actions shown (stored count 300, outside 0..46)" for a damaged count.
QString CountText(qint64 stored, std::size_t used, int low, int high, const QString& plural) {
  QString text = QStringLiteral("%1 %2").arg(used).arg(plural);
  if (stored < low || stored > high) {
    text +=
        QStringLiteral(" shown (stored count %1, outside %2..%3)").arg(stored).arg(low).arg(high);
  }
  return text;
}

// ----- JSON -----

QJsonObject ActionToJson(const MacroAction& a, const KeyboardLayout& layout) {
  return {{"code", a.code},
          {"key_name", KeyName(a.code, layout)},
          {"state", a.state},
          {"state_name", StateName(a.state)},
          {"delay_ms", a.delay_ms}};
}

QJsonObject GunStepToJson(const GunStep& s) {
  return {{"x", s.x}, {"y", s.y}, {"delay", s.delay}};
}

QJsonArray DpiStagesToJson(const ProfileData& p) {
  QJsonArray stages;
  for (std::size_t i = 0; i < kDpiStages; ++i) {
    stages.append(QJsonObject{
        {"stage", static_cast<int>(i)},
        {"dpi_x", p.dpi_x(i)},
        {"dpi_x_value", static_cast<qint64>(DpiCodeToValue(p.dpi_x(i)))},
        {"dpi_y", p.dpi_y(i)},
        {"dpi_y_value", static_cast<qint64>(DpiCodeToValue(p.dpi_y(i)))},
        {"dpi_enabled", p.dpi_enabled(i)},
        {"dpi_color", ColorText(static_cast<std::uint32_t>(p.dpi_color(i)))},
    });
  }
  return stages;
}

QJsonObject ButtonToJson(std::size_t slot, const ButtonData& b, const KeyboardLayout& layout) {
  QJsonObject o{{"slot", static_cast<int>(slot)}, {"function", b.function()}};
  if (b.function() == kFunctionKeyCombo) {
    o.insert("modifiers", b.modifiers());
    o.insert("modifier_names", QJsonArray::fromStringList(ModifierNames(b.modifiers())));
    o.insert("key", b.key());
    o.insert("key_name", KeyName(b.key(), layout));
    return o;
  }
  const bool macro = b.function() == kFunctionMacro;
  if (!macro && b.function() != kFunctionGun) return o;
  o.insert("bind_name", b.bind_name());
  o.insert("repeat_mode", b.repeat_mode());
  o.insert("repeat_count", b.repeat_count());
  o.insert("step_count", b.step_count());
  QJsonArray steps;
  if (macro) {
    o.insert("macro_index", b.macro_index());
    for (std::size_t i = 0; i < b.used_macro_step_count(); ++i) {
      steps.append(ActionToJson(b.macro_step(i), layout));
    }
  } else {
    o.insert("gun_index", b.gun_index());
    for (std::size_t i = 0; i < b.used_gun_step_count(); ++i) {
      steps.append(GunStepToJson(b.gun_step(i)));
    }
  }
  o.insert("steps", steps);
  return o;
}

// ----- Text -----

// Appends lines to a text, each indented by two spaces per level.
class TextLines {
 public:
  void Add(int level, const QString& line) {
    text_ += QString(2 * level, QLatin1Char(' ')) + line + QLatin1Char('\n');
  }
  const QString& text() const { return text_; }

 private:
  QString text_;
};

QString KeyText(std::uint8_t code, const KeyboardLayout& layout) {
  const QString name = KeyName(code, layout);
  return name.isEmpty() ? Hex2(code) : Hex2(code) + QLatin1Char(' ') + name;
}

void AddActionLines(TextLines& out, int level, const std::vector<MacroAction>& actions,
                    const KeyboardLayout& layout) {
  for (std::size_t i = 0; i < actions.size(); ++i) {
    const MacroAction& a = actions[i];
    const QString state = a.state == MacroAction::kPress || a.state == MacroAction::kRelease
                              ? StateName(a.state)
                              : QStringLiteral("state %1").arg(a.state);
    out.Add(level, QStringLiteral("%1. %2  %3  %4 ms")
                       .arg(i + 1, 2)
                       .arg(KeyText(a.code, layout), -16)
                       .arg(state, -7)
                       .arg(a.delay_ms));
  }
}

void AddGunStepLines(TextLines& out, int level, const std::vector<GunStep>& steps) {
  for (std::size_t i = 0; i < steps.size(); ++i) {
    out.Add(level, QStringLiteral("%1. x %2  y %3  delay %4")
                       .arg(i + 1, 2)
                       .arg(steps[i].x, 4)
                       .arg(steps[i].y, 4)
                       .arg(steps[i].delay));
  }
}

void AddButtonLines(TextLines& out, int level, std::size_t slot, const ButtonData& b,
                    const KeyboardLayout& layout) {
  const QString head = QStringLiteral("%1: ").arg(slot, 2);
  if (b.function() == kFunctionKeyCombo) {
    QStringList parts = ModifierNames(b.modifiers());
    const QString key_name = KeyName(b.key(), layout);
    parts << (key_name.isEmpty() ? Hex2(b.key()) : key_name);
    out.Add(level,
            head + QStringLiteral("key combination %1 (modifiers %2, key %3)")
                       .arg(parts.join(QLatin1Char('+')), Hex2(b.modifiers()), Hex2(b.key())));
    return;
  }
  const bool macro = b.function() == kFunctionMacro;
  if (!macro && b.function() != kFunctionGun) {
    out.Add(level, head + QStringLiteral("function %1").arg(b.function()));
    return;
  }
  const QString kind = macro ? QStringLiteral("macro") : QStringLiteral("recoil pattern");
  const QString index = macro ? QStringLiteral("macro_index %1").arg(b.macro_index())
                              : QStringLiteral("gun_index %1").arg(b.gun_index());
  const std::size_t used = macro ? b.used_macro_step_count() : b.used_gun_step_count();
  const int limit = static_cast<int>(macro ? MacroData::kMaxActions : kMaxGunSteps);
  out.Add(level,
          head + QStringLiteral("%1 %2 (%3, repeat mode %4, repeat count %5), %6")
                     .arg(kind, Quoted(b.bind_name()), index, QString::number(b.repeat_mode()),
                          QString::number(b.repeat_count()),
                          CountText(b.step_count(), used, 0, limit, "steps")));
  if (macro) {
    std::vector<MacroAction> steps;
    for (std::size_t i = 0; i < used; ++i) steps.push_back(b.macro_step(i));
    AddActionLines(out, level + 2, steps, layout);
  } else {
    std::vector<GunStep> steps;
    for (std::size_t i = 0; i < used; ++i) steps.push_back(b.gun_step(i));
    AddGunStepLines(out, level + 2, steps);
  }
}

QString DpiText(std::int32_t code) {
  return QStringLiteral("%1 (%2 DPI)").arg(code).arg(DpiCodeToValue(code));
}

// The first line is `label` and the record's name; the record's lines follow one level in.
void AddProfileLines(TextLines& out, int level, const QString& label, const ProfileData& p,
                     const KeyboardLayout& layout) {
  out.Add(level, label + QLatin1Char(' ') + NameText(p.name(), p.name_terminated()));
  out.Add(level + 1, QStringLiteral("Active DPI stage (dpi_step): %1").arg(p.dpi_step()));
  out.Add(level + 1, QStringLiteral("DPI stages:"));
  for (std::size_t i = 0; i < kDpiStages; ++i) {
    const std::int32_t enabled = p.dpi_enabled(i);
    const QString flag = enabled == 0   ? QStringLiteral("off")
                         : enabled == 1 ? QStringLiteral("on")
                                        : QStringLiteral("enabled %1").arg(enabled);
    out.Add(level + 2, QStringLiteral("%1: %2  x %3  y %4  colour %5")
                           .arg(i)
                           .arg(flag, -3)
                           .arg(DpiText(p.dpi_x(i)), -15)
                           .arg(DpiText(p.dpi_y(i)), -15)
                           .arg(ColorText(static_cast<std::uint32_t>(p.dpi_color(i)))));
  }
  const std::pair<const char*, qint64> settings[] = {
      {"Polling rate index (prate)", p.prate()},
      {"Lighting effect", p.light_effect()},
      {"Lighting effect over Bluetooth", p.light_effect_ble()},
      {"Brightness", p.brightness()},
      {"Breathing speed", p.breathspeed()},
      {"Light off", p.light_off()},
      {"Sleep timer", p.sleep_timer()},
      {"Key debounce", p.key_debounce()},
      {"Ripple control", p.ripple_control()},
      {"Angle snap", p.angle_snap()},
      {"Motion sync", p.motion_sync()},
      {"Lift-off distance", p.lift_of_distance()},
      {"Movemode", p.movemode()},
  };
  for (const auto& [label, value] : settings) {
    out.Add(level + 1, QStringLiteral("%1: %2").arg(QLatin1StringView(label)).arg(value));
  }
  out.Add(level + 1, QStringLiteral("Light colour: ") + ColorText(p.light_color()));
  out.Add(level + 1, QStringLiteral("Buttons:"));
  for (std::size_t slot = 0; slot < kMouseButtons; ++slot) {
    AddButtonLines(out, level + 2, slot, p.button(slot), layout);
  }
}

void AddMacroLines(TextLines& out, int level, const QString& label, const MacroData& m,
                   const KeyboardLayout& layout) {
  out.Add(level, QStringLiteral("%1 %2, %3")
                     .arg(label, NameText(m.name(), m.name_terminated()),
                          CountText(m.action_count(), m.used_action_count(), 0,
                                    static_cast<int>(MacroData::kMaxActions), "actions")));
  std::vector<MacroAction> actions;
  for (std::size_t i = 0; i < m.used_action_count(); ++i) actions.push_back(m.action(i));
  AddActionLines(out, level + 1, actions, layout);
}

void AddGunLines(TextLines& out, int level, const QString& label, const GunData& g,
                 const KeyboardLayout& /*layout*/) {
  out.Add(level, QStringLiteral("%1 %2, %3")
                     .arg(label, NameText(g.name(), g.name_terminated()),
                          CountText(g.count(), g.used_count(), 1, kMaxGunSteps, "steps")));
  std::vector<GunStep> steps;
  for (std::size_t i = 0; i < g.used_count(); ++i) steps.push_back(g.bullet(i));
  AddGunStepLines(out, level + 1, steps);
}

// The records of a store, each under "<noun> <index> of <count>", after "<plural>: <count>".
template <typename Record, typename AddLines>
void AddListLines(TextLines& out, const std::vector<std::unique_ptr<Record>>& list,
                  const QString& noun, const QString& plural, AddLines add_lines,
                  const KeyboardLayout& layout) {
  out.Add(0, QStringLiteral("%1: %2").arg(plural).arg(list.size()));
  for (std::size_t i = 0; i < list.size(); ++i) {
    out.Add(0, QString());
    add_lines(out, 0, QStringLiteral("%1 %2 of %3").arg(noun).arg(i).arg(list.size()), *list[i],
              layout);
  }
}

}  // namespace

QString ColorText(std::uint32_t stored) {
  const auto rgb = StoredColorToRgb(stored);
  QString text = QStringLiteral("#");
  for (const std::uint8_t byte : rgb) {
    text += QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
  }
  return text;
}

const KeyboardLayout& UsLayout() {
  static const FixedUsLayout layout;
  return layout;
}

QString KeyName(std::uint8_t code, const KeyboardLayout& layout) {
  static const KeyNameTexts texts;
  return UsageToKeyText(code, layout, texts);
}

QJsonObject ProfileToJson(const ProfileData& p, const KeyboardLayout& layout) {
  QJsonArray buttons;
  for (std::size_t slot = 0; slot < kMouseButtons; ++slot) {
    buttons.append(ButtonToJson(slot, p.button(slot), layout));
  }
  return {{"name", p.name()},
          {"name_terminated", p.name_terminated()},
          {"dpi_step", p.dpi_step()},
          {"dpi_stages", DpiStagesToJson(p)},
          {"prate", p.prate()},
          {"light_effect", p.light_effect()},
          {"light_effect_ble", p.light_effect_ble()},
          {"brightness", p.brightness()},
          {"breathspeed", p.breathspeed()},
          {"light_color", ColorText(p.light_color())},
          {"light_off", p.light_off()},
          {"sleep_timer", p.sleep_timer()},
          {"key_debounce", p.key_debounce()},
          {"ripple_control", p.ripple_control()},
          {"angle_snap", p.angle_snap()},
          {"motion_sync", p.motion_sync()},
          {"lift_of_distance", p.lift_of_distance()},
          {"movemode", p.movemode()},
          {"buttons", buttons}};
}

QJsonObject MacroToJson(const MacroData& m, const KeyboardLayout& layout) {
  QJsonArray actions;
  for (std::size_t i = 0; i < m.used_action_count(); ++i) {
    actions.append(ActionToJson(m.action(i), layout));
  }
  return {{"name", m.name()},
          {"name_terminated", m.name_terminated()},
          {"action_count", static_cast<qint64>(m.action_count())},
          {"actions", actions}};
}

QJsonObject GunToJson(const GunData& g) {
  QJsonArray steps;
  for (std::size_t i = 0; i < g.used_count(); ++i) steps.append(GunStepToJson(g.bullet(i)));
  return {{"name", g.name()},
          {"name_terminated", g.name_terminated()},
          {"count", g.count()},
          {"steps", steps}};
}

QJsonObject RecordFileToJson(const RecordFile& file, const KeyboardLayout& layout) {
  QJsonObject o{{"file", file.path}, {"kind", KindTag(file.kind)}, {"size", file.size}};
  const auto list = [&layout](const auto& records, auto to_json) {
    QJsonArray array;
    for (const auto& record : records) array.append(to_json(*record, layout));
    return array;
  };
  switch (file.kind) {
    case RecordFileKind::kProfile:
      if (!file.profiles.empty())
        o.insert("profile", ProfileToJson(*file.profiles.front(), layout));
      break;
    case RecordFileKind::kMacro:
      if (!file.macros.empty()) o.insert("macro", MacroToJson(*file.macros.front(), layout));
      break;
    case RecordFileKind::kGun:
      if (!file.guns.empty()) o.insert("gun", GunToJson(*file.guns.front()));
      break;
    case RecordFileKind::kProfileStore:
      if (file.header) o.insert("selected", file.header->selected());
      o.insert("profiles", list(file.profiles, ProfileToJson));
      break;
    case RecordFileKind::kMacroStore:
      o.insert("macros", list(file.macros, MacroToJson));
      break;
    case RecordFileKind::kGunStore:
      o.insert("guns", list(file.guns,
                            [](const GunData& g, const KeyboardLayout&) { return GunToJson(g); }));
      break;
  }
  return o;
}

QString RecordFileToText(const RecordFile& file, const KeyboardLayout& layout) {
  TextLines out;
  out.Add(0, QStringLiteral("File %1: %2, %3 bytes")
                 .arg(Quoted(file.path), KindName(file.kind), QString::number(file.size)));
  switch (file.kind) {
    case RecordFileKind::kProfile:
      for (const auto& p : file.profiles)
        AddProfileLines(out, 0, QStringLiteral("Profile"), *p, layout);
      break;
    case RecordFileKind::kMacro:
      for (const auto& m : file.macros) AddMacroLines(out, 0, QStringLiteral("Macro"), *m, layout);
      break;
    case RecordFileKind::kGun:
      for (const auto& g : file.guns)
        AddGunLines(out, 0, QStringLiteral("Recoil pattern"), *g, layout);
      break;
    case RecordFileKind::kProfileStore: {
      const std::int32_t selected = file.header ? file.header->selected() : 0;
      const bool valid = selected >= 0 && static_cast<std::size_t>(selected) < file.profiles.size();
      out.Add(0, QStringLiteral("Selected profile: %1%2")
                     .arg(selected)
                     .arg(valid ? QString() : QStringLiteral(" (no such profile; 0 is used)")));
      AddListLines(out, file.profiles, QStringLiteral("Profile"), QStringLiteral("Profiles"),
                   AddProfileLines, layout);
      break;
    }
    case RecordFileKind::kMacroStore:
      AddListLines(out, file.macros, QStringLiteral("Macro"), QStringLiteral("Macros"),
                   AddMacroLines, layout);
      break;
    case RecordFileKind::kGunStore:
      AddListLines(out, file.guns, QStringLiteral("Recoil pattern"),
                   QStringLiteral("Recoil patterns"), AddGunLines, layout);
      break;
  }
  return out.text();
}

}  // namespace mokta
