#pragma once

// The settings page's controls, looked up once by name in the main window's layout, and the
// changes the page makes to them in code (all without notification). A name the layout lacks
// is reported once by the look-up and then reads as no control, which every change here
// ignores. UI thread.

#include <QHash>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>

namespace mokta {

class SkinWindow;
struct OptionGroupBinding;

class PageControls {
 public:
  // Looks every name up in `window` (may be null: then there are no controls).
  void FindAll(SkinWindow* window, const QStringList& names);
  SkinWindow* window() const { return window_; }

  QWidget* Get(const QString& name) const { return controls_.value(name).data(); }
  template <typename T>
  T* Get(const QString& name) const {
    return qobject_cast<T*>(Get(name));
  }

  // Checks option N = `index` + 1 of the numbered group `pattern` (%1 for 1..count). An index
  // outside the group checks nothing.
  void SelectOption(const char* pattern, int count, int index);
  // Checks option `value` + 1 of the group and, when the group has one, shows the option's text
  // in its label. A value outside the group changes neither.
  void ShowOptionGroup(const OptionGroupBinding& group, int value);
  // Selects item `index` of a combo box; an index outside the list selects nothing.
  void SelectItem(const QString& name, int index);
  void SetSlider(const QString& name, int value);
  void SetSliderRange(const QString& name, int min, int max);
  void SetChecked(const QString& name, bool checked);
  void SetText(const QString& name, const QString& text);
  void SetTextKey(const QString& name, const QString& key);
  // The button's background shows a stored colour (0x00BBGGRR).
  void SetColor(const QString& name, std::uint32_t stored_color);
  void SetVisible(const QString& name, bool visible);
  // The lighting rows an effect has: brightness, breathing speed, colour.
  void ShowLightingRows(std::int32_t effect);
  // The controls `names` (sliders and combo boxes) take the mouse wheel only while they have
  // the keyboard focus, which they take by Tab and click, never by the wheel. Otherwise the
  // wheel scrolls the scroll area around them, so scrolling the page never changes a setting.
  void LeaveWheelToScrolling(const QStringList& names);

 private:
  SkinWindow* window_ = nullptr;
  QHash<QString, QPointer<QWidget>> controls_;
  QPointer<QObject> wheel_filter_;
};

}  // namespace mokta
