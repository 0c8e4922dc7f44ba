#include "ui/page_controls.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QCoreApplication>
#include <QSlider>
#include <QWheelEvent>

#include "data/colors.h"
#include "framework/control_text.h"
#include "framework/notification.h"
#include "framework/skin_window.h"
#include "ui/page_bindings.h"
#include "ui/page_rules.h"

namespace mokta {
namespace {

// Hands the wheel of a control without the keyboard focus to the scroll area around it.
class WheelToScrollArea final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* control = qobject_cast<QWidget*>(watched);
    if (event->type() != QEvent::Wheel || !control || control->hasFocus()) return false;
    auto* wheel = static_cast<QWheelEvent*>(event);
    QAbstractScrollArea* area = nullptr;
    for (QWidget* w = control->parentWidget(); w && !area; w = w->parentWidget()) {
      area = qobject_cast<QAbstractScrollArea*>(w);
    }
    if (!area) {
      wheel->ignore();  // not for the control; Qt offers it to the parents
      return true;
    }
    // Sent to the viewport as the scroll area's own wheel, so it scrolls whether or not the
    // event came from the window system (Qt passes only those on to the parents).
    QWidget* viewport = area->viewport();
    QWheelEvent scroll(viewport->mapFromGlobal(wheel->globalPosition()), wheel->globalPosition(),
                       wheel->pixelDelta(), wheel->angleDelta(), wheel->buttons(),
                       wheel->modifiers(), wheel->phase(), wheel->inverted());
    QCoreApplication::sendEvent(viewport, &scroll);
    return true;
  }
};

}  // namespace

void PageControls::FindAll(SkinWindow* window, const QStringList& names) {
  window_ = window;
  controls_.clear();
  for (const QString& name : names) controls_.insert(name, window ? window->Find(name) : nullptr);
}

void PageControls::SelectOption(const char* pattern, int count, int index) {
  if (index < 0 || index >= count) return;  // never past the options there are
  if (auto* option = Get<QAbstractButton>(NumberedName(pattern, index + 1))) {
    Quietly(option, [&] { option->setChecked(true); });
  }
}

void PageControls::ShowOptionGroup(const OptionGroupBinding& group, int value) {
  if (value < 0 || value >= group.count) return;
  SelectOption(group.pattern, group.count, value);
  if (group.label) {
    SetTextKey(QString::fromLatin1(group.label), NumberedName(group.label_key, value + 1));
  }
}

void PageControls::SelectItem(const QString& name, int index) {
  auto* combo = Get<QComboBox>(name);
  if (combo && index >= 0 && index < combo->count()) {
    Quietly(combo, [&] { combo->setCurrentIndex(index); });
  }
}

void PageControls::SetSlider(const QString& name, int value) {
  if (auto* slider = Get<QSlider>(name)) Quietly(slider, [&] { slider->setValue(value); });
}

void PageControls::SetSliderRange(const QString& name, int min, int max) {
  if (auto* slider = Get<QSlider>(name)) Quietly(slider, [&] { slider->setRange(min, max); });
}

void PageControls::SetChecked(const QString& name, bool checked) {
  if (auto* check = Get<QAbstractButton>(name)) Quietly(check, [&] { check->setChecked(checked); });
}

void PageControls::SetText(const QString& name, const QString& text) {
  if (QWidget* control = Get(name)) SetControlText(control, text);
}

void PageControls::SetTextKey(const QString& name, const QString& key) {
  if (QWidget* control = Get(name)) SetControlTextKey(control, key);
}

void PageControls::SetColor(const QString& name, std::uint32_t stored_color) {
  if (QWidget* button = Get(name)) {
    const std::uint32_t argb = StoredColorToArgb(stored_color);
    button->setStyleSheet(
        QStringLiteral("background-color: #%1;").arg(argb & 0xFFFFFFu, 6, 16, QLatin1Char('0')));
  }
}

void PageControls::SetVisible(const QString& name, bool visible) {
  if (QWidget* control = Get(name)) control->setVisible(visible);
}

void PageControls::ShowLightingRows(std::int32_t effect) {
  const LightingRows rows = LightingRowsFor(effect);
  SetVisible(QStringLiteral("ms_1_hor_brightness"), rows.brightness);
  SetVisible(QStringLiteral("ms_1_hor_breathspeed"), rows.breathing_speed);
  SetVisible(QStringLiteral("ms_1_hor_light_color"), rows.color);
}

void PageControls::LeaveWheelToScrolling(const QStringList& names) {
  if (!window_) return;
  if (!wheel_filter_) wheel_filter_ = new WheelToScrollArea(window_);  // the window owns it
  for (const QString& name : names) {
    QWidget* control = Get(name);
    if (!control) continue;
    // Qt::WheelFocus (a combo box's default) would hand the focus over with the first turn.
    control->setFocusPolicy(Qt::StrongFocus);
    control->installEventFilter(wheel_filter_);
  }
}

}  // namespace mokta
