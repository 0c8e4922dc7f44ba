#include "ui/color_dialog.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <algorithm>

#include "framework/color_palette.h"
#include "ui/page_rules.h"

namespace mokta {
namespace {

constexpr int kWidth = 250;
constexpr int kHeight = 200;
const char* const kEditNames[3] = {"r_edit", "g_edit", "b_edit"};

}  // namespace

CDpiColorWnd::CDpiColorWnd(QWidget* parent)
    : SkinWindow(parent, Qt::Tool | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("DpiColorWnd"));
  set_centred(false);
  LoadSkin(QStringLiteral("DpiColorDialog.xml"));
  Find(QStringLiteral("confirm_btn"));
  Find(QStringLiteral("cancel_btn"));
  palette_ = Find<ColorPalette>(QStringLiteral("ColorPallet"));
  swatch_ = Find(QStringLiteral("color_show_control"));
  // Digits and a sign only; out-of-range numbers are put right as they are typed.
  const auto* number =
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]*")), this);
  for (int i = 0; i < 3; ++i) {
    edits_[i] = Find<QLineEdit>(QString::fromLatin1(kEditNames[i]));
    if (edits_[i]) edits_[i]->setValidator(number);
  }
  for (std::size_t n = 1; n <= kColorPresets.size(); ++n) {
    Find(QStringLiteral("mouse_dpi_color_%1").arg(n));
  }
  set_color(color_);
}

void CDpiColorWnd::set_color(std::uint32_t argb) {
  color_ = argb;
  if (palette_) palette_->SetSelectColor(argb);
  ShowColor();
}

QPoint CDpiColorWnd::PositionBeside(const QWidget& button) {
  return button.mapToGlobal(QPoint(0, button.height())) - QPoint(200, 0);
}

int CDpiColorWnd::Run() {
  resize(kWidth, kHeight);
  QPoint at = position_;
  const QScreen* screen = QGuiApplication::screenAt(position_);
  if (screen == nullptr && parentWidget() != nullptr) screen = parentWidget()->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QRect area = screen->availableGeometry();
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - kWidth)));
    at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - kHeight)));
  }
  move(at);
  if (palette_) palette_->setFocus();
  return ShowModal();
}

void CDpiColorWnd::ShowColor() {
  for (int i = 0; i < 3; ++i) {
    if (edits_[i]) {
      const int shift = 16 - 8 * i;
      edits_[i]->setText(QString::number((color_ >> shift) & 0xFFu));
    }
  }
  ShowSwatch();
}

void CDpiColorWnd::ShowSwatch() {
  if (swatch_) {
    swatch_->setStyleSheet(
        QStringLiteral("background-color: #%1;").arg(color_ & 0xFFFFFFu, 6, 16, QLatin1Char('0')));
    swatch_->setAccessibleDescription(QStringLiteral("Red %1, green %2, blue %3")
                                          .arg((color_ >> 16) & 0xFFu)
                                          .arg((color_ >> 8) & 0xFFu)
                                          .arg(color_ & 0xFFu));
  }
}

void CDpiColorWnd::OnComponentEdited(int component) {
  QLineEdit* edit = edits_[component];
  const ColorComponentInput input = ColorComponentFromText(edit->text());
  if (input.replacement) Quietly(edit, [&] { edit->setText(*input.replacement); });
  color_ = WithColorComponent(color_, component, input.value);
  if (palette_) palette_->SetSelectColor(color_);
  ShowSwatch();
}

void CDpiColorWnd::Notify(const Notification& notification) {
  const QString& sender = notification.sender_name;
  if (notification.type == notify::kClick) {
    if (sender == QLatin1String("confirm_btn")) {
      Close(1);
    } else if (sender == QLatin1String("cancel_btn")) {
      Close(0);
    } else if (sender.startsWith(QLatin1String("mouse_dpi_color_"))) {
      bool ok = false;
      const int n = sender.mid(16).toInt(&ok);
      if (ok && n >= 1 && n <= static_cast<int>(kColorPresets.size())) {
        set_color(kColorPresets[static_cast<std::size_t>(n - 1)]);
      }
    }
  } else if (notification.type == notify::kColorChanged ||
             notification.type == notify::kColorChangedButtonUp) {
    if (palette_ && sender == QLatin1String("ColorPallet")) {
      color_ = palette_->GetSelectColor();
      ShowColor();
    }
  } else if (notification.type == notify::kTextChanged) {
    for (int i = 0; i < 3; ++i) {
      if (sender == QLatin1String(kEditNames[i])) OnComponentEdited(i);
    }
  }
}

}  // namespace mokta
