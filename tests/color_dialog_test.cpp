// The colour dialog and its palette, offscreen: what the user sees in the edits and what the
// dialog returns after typing, presets, dragging on the palette and the keyboard.

#include "ui/color_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "framework/color_palette.h"
#include "framework/language_file.h"
#include "framework/modal_test_hook.h"
#include "framework/skin_window.h"

namespace mokta {
namespace {

class ColorDialogTest : public ::testing::Test {
 protected:
  QLineEdit* Edit(const char* name) { return dialog_.Find<QLineEdit>(QString::fromLatin1(name)); }
  QStringList Edits() {
    return {Edit("r_edit")->text(), Edit("g_edit")->text(), Edit("b_edit")->text()};
  }
  QAbstractButton* Button(const QString& name) { return dialog_.Find<QAbstractButton>(name); }
  ColorPalette* Palette() { return dialog_.Find<ColorPalette>(QStringLiteral("ColorPallet")); }
  // Runs the dialog for real; `actions` run inside its modal loop.
  int RunWith(std::function<void()> actions) {
    ScopedModalTestHook hook([&](QWidget&) -> std::optional<int> {
      QTimer::singleShot(0, &dialog_, actions);
      return std::nullopt;
    });
    return dialog_.Run();
  }

  CDpiColorWnd dialog_{nullptr};
};

TEST_F(ColorDialogTest, OpensWithTheColourItIsGiven) {
  EXPECT_EQ(dialog_.color(), 0xFF000000u);
  dialog_.set_color(0xFF123456u);
  EXPECT_EQ(Edits(), (QStringList{"18", "52", "86"}));
  EXPECT_EQ(Palette()->GetSelectColor(), 0xFF123456u);
  EXPECT_TRUE(dialog_.Find(QStringLiteral("color_show_control"))
                  ->styleSheet()
                  .contains(QLatin1String("#123456")));
}

TEST_F(ColorDialogTest, TypedComponentsAreClampedAndLeaveTheOthersAlone) {
  dialog_.set_color(0xFF123456u);
  QLineEdit* green = Edit("g_edit");
  green->selectAll();
  QTest::keyClicks(green, "300");
  EXPECT_EQ(green->text(), "255");
  EXPECT_EQ(dialog_.color(), 0xFF12FF56u);
  EXPECT_EQ(Palette()->GetSelectColor(), 0xFF12FF56u);

  // Clearing the field reads as 0 without rewriting it; letters never get in.
  QLineEdit* red = Edit("r_edit");
  red->selectAll();
  QTest::keyClick(red, Qt::Key_Backspace);
  QTest::keyClicks(red, "x");
  EXPECT_EQ(red->text(), "");
  EXPECT_EQ(dialog_.color(), 0xFF00FF56u);
  QTest::keyClicks(red, "-7");
  EXPECT_EQ(red->text(), "0");
  QTest::keyClicks(red, "9");
  EXPECT_EQ(dialog_.color(), 0xFF09FF56u);
  EXPECT_EQ(Edit("b_edit")->text(), "86");
}

TEST_F(ColorDialogTest, PresetsSetTheColourAndThePalette) {
  dialog_.set_color(0xFF123456u);
  Button(QStringLiteral("mouse_dpi_color_11"))->click();
  EXPECT_EQ(dialog_.color(), 0xFFFF0000u);
  EXPECT_EQ(Edits(), (QStringList{"255", "0", "0"}));
  EXPECT_EQ(Palette()->GetSelectColor(), 0xFFFF0000u);
  Button(QStringLiteral("mouse_dpi_color_14"))->click();
  EXPECT_EQ(dialog_.color(), 0xFF48B1FFu);
}

TEST_F(ColorDialogTest, DraggingOnThePaletteReportsWhileMovingAndOnRelease) {
  dialog_.show();
  ColorPalette* palette = Palette();
  const QRect area = palette->rect().adjusted(1, 1, -1, -1);
  // Top row white, middle row the full hue, bottom row black; hue from red on the left.
  EXPECT_EQ(palette->ColorAt(area.topLeft()), 0xFFFFFFFFu);
  EXPECT_EQ(palette->ColorAt({area.left(), area.bottom()}), 0xFF000000u);
  EXPECT_EQ(QColor::fromRgba(palette->ColorAt({area.left(), area.center().y()})).hue(), 0);

  const QPoint start(area.left() + area.width() / 3, area.center().y());    // about green
  const QPoint end(area.left() + 2 * area.width() / 3, area.center().y());  // about blue
  QTest::mousePress(palette, Qt::LeftButton, {}, start);
  const std::uint32_t first = dialog_.color();
  EXPECT_EQ(first, palette->ColorAt(start));
  EXPECT_GT(QColor::fromRgba(first).green(), 200);
  QMouseEvent move(QEvent::MouseMove, end, palette->mapToGlobal(end), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(palette, &move);
  EXPECT_EQ(dialog_.color(), palette->ColorAt(end));  // followed while dragging
  EXPECT_EQ(Edit("b_edit")->text(), QString::number(QColor::fromRgba(dialog_.color()).blue()));
  const QPoint outside(area.right() + 50, area.top() - 50);  // held inside the area
  QTest::mouseRelease(palette, Qt::LeftButton, {}, outside);
  EXPECT_EQ(dialog_.color(), palette->ColorAt({area.right(), area.top()}));

  // The keyboard moves the marker too.
  dialog_.set_color(0xFFFF0000u);
  palette->setFocus();
  QTest::keyClick(palette, Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_LT(QColor::fromRgba(dialog_.color()).red(), 255);
  EXPECT_EQ(Edit("r_edit")->text(), QString::number(QColor::fromRgba(dialog_.color()).red()));
}

TEST_F(ColorDialogTest, OkReturnsThePickAndCancelOrEscapeReturnZero) {
  dialog_.set_color(0xFF123456u);
  EXPECT_EQ(RunWith([&] {
              Button(QStringLiteral("mouse_dpi_color_5"))->click();
              Button(QStringLiteral("confirm_btn"))->click();
            }),
            1);
  EXPECT_EQ(dialog_.color(), 0xFF0000FFu);

  EXPECT_EQ(RunWith([&] { Button(QStringLiteral("cancel_btn"))->click(); }), 0);
  EXPECT_EQ(RunWith([&] { QTest::keyClick(&dialog_, Qt::Key_Escape); }), 0);
  // Enter in an edit accepts, as the default button does.
  EXPECT_EQ(RunWith([&] {
              Edit("r_edit")->setFocus();
              QTest::keyClick(Edit("r_edit"), Qt::Key_Return);
            }),
            1);
}

TEST_F(ColorDialogTest, OpensBesideItsButtonAndStaysOnTheScreen) {
  QWidget owner;
  owner.setGeometry(300, 200, 400, 300);
  QWidget button(&owner);
  button.setGeometry(250, 40, 20, 20);
  owner.show();
  const QPoint beside = CDpiColorWnd::PositionBeside(button);
  EXPECT_EQ(beside, owner.mapToGlobal(QPoint(50, 60)));

  dialog_.set_position(QPoint(-500, -500));
  RunWith([&] { dialog_.Close(0); });
  const QRect screen = dialog_.screen()->availableGeometry();
  EXPECT_TRUE(screen.contains(dialog_.geometry())) << dialog_.geometry().x();
  EXPECT_EQ(dialog_.size(), QSize(250, 200));
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("MOKTA_RES_DIR", QFile::encodeName(QStringLiteral(MOKTA_SOURCE_DIR "/res/")));
  QApplication app(argc, argv);
  auto language = std::make_shared<mokta::LanguageFile>();
  language->LoadFromResources();
  mokta::SetProgramLanguage(language);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
