// The recoil pattern editor in the real main window, offscreen, against the virtual mouse: it
// is opened from the page's button and driven inside its modal loop; what it stored is read
// back from "gun.data", and an edited pattern that a button uses reaches the mouse once the
// editor has closed. Built into button_menu_test, whose main runs it.

#include "ui/gun_editor.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include "data/button_assignment.h"
#include "data/store_files.h"
#include "framework/control_lookup.h"
#include "framework/control_text.h"
#include "page_test_support.h"
#include "profile_match.h"
#include "qt_wait.h"
#include "ui/pattern_path_view.h"

namespace mokta {
namespace {

class GunEditorTest : public test::PageTest {
 protected:
  // Opens the editor from the page's button and runs `script` inside its modal loop, then
  // closes it with its exit button (or Escape). Message boxes are answered with `confirm_` and
  // their keys kept; the name dialog gets `name_` typed and OK (Cancel after a refusal); file
  // dialogs get `file_` (cancelled when empty).
  void RunEditor(const std::function<void(CMS_1_Gun&)>& script) {
    bool ran = false;
    ScopedModalTestHook hook([&](QWidget& w) -> std::optional<int> {
      if (w.objectName() == "MS_1_Gun") {
        QTimer::singleShot(0, &w, [&] {
          auto& editor = static_cast<CMS_1_Gun&>(w);
          script(editor);
          ran = true;
          if (close_with_escape_) {
            QTest::keyClick(&editor, Qt::Key_Escape);
          } else {
            editor.Find<QAbstractButton>(QStringLiteral("btn_exit"))->click();
          }
        });
        return std::nullopt;
      }
      if (w.objectName() == "MS_1_GunName") return Name(w);
      if (auto* dialog = qobject_cast<QFileDialog*>(&w)) {
        dialog->selectFile(file_);
        return file_.isEmpty() ? 0 : 1;
      }
      if (QWidget* message = FindOptionalControl(&w, QStringLiteral("warning"))) {
        messages_ << ControlTextKey(message);
        refused_ = true;
      }
      return confirm_;
    });
    Find<QAbstractButton>("ms_1_btn_gun")->click();
    EXPECT_TRUE(ran);
  }

  std::optional<int> Name(QWidget& dialog) {
    refused_ = false;
    QTimer::singleShot(0, &dialog, [this, &dialog] {
      FindOptionalControl<QLineEdit>(&dialog, QStringLiteral("edit_name"))->setText(name_);
      FindOptionalControl<QAbstractButton>(&dialog, QStringLiteral("btn_ok"))->click();
      if (refused_) {
        FindOptionalControl<QAbstractButton>(&dialog, QStringLiteral("btn_cancel"))->click();
      }
    });
    return std::nullopt;
  }

  QByteArray GunStore() {
    QFile file(data_.filePath(QStringLiteral("ms_1/gun.data")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
  }
  // Step `i` (0-based) of record `record` of "gun.data".
  GunStep StoredStep(int record, int i) {
    const QByteArray store = GunStore();
    const qsizetype at = record * GunData::kSize + GunData::kBulletsOffset + GunStep::kSize * i;
    if (store.size() < at + static_cast<qsizetype>(GunStep::kSize)) return {-1, -1, 1, 1};
    return GunStep::Decode(reinterpret_cast<const std::uint8_t*>(store.constData() + at));
  }

  static QLineEdit* Edit(CMS_1_Gun& editor, const char* field, int row) {
    return editor.Find<QLineEdit>(QStringLiteral("edit_zidan_%1_%2").arg(field).arg(row));
  }
  static void Click(CMS_1_Gun& editor, const QString& name) {
    editor.Find<QAbstractButton>(name)->click();
  }
  // Types `text` into an edit and confirms it with Enter.
  static void Type(QLineEdit* edit, const char* text) {
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromLatin1(text));
    QTest::keyClick(edit, Qt::Key_Return);
  }
  static bool RowShown(CMS_1_Gun& editor, int row) {
    return editor.Find(QStringLiteral("ver_zidan_%1").arg(row))->isVisibleTo(&editor);
  }

  bool close_with_escape_ = false;
  int confirm_ = 1;
  QString name_;
  QString file_;
  QStringList messages_;
  bool refused_ = false;
};

TEST_F(GunEditorTest, ANewPatternIsShapedInItsRowsAndStoredAfterEveryChange) {
  ASSERT_NO_FATAL_FAILURE(Start());
  RunEditor([&](CMS_1_Gun& editor) {
    // Nothing to edit yet: 30 rows of 0, 0, 5, all disabled, as is the step count.
    auto* combo = editor.Find<QComboBox>(QStringLiteral("combo_gun"));
    EXPECT_FALSE(combo->isEnabled());
    for (int row = 1; row <= 30; ++row) {
      EXPECT_TRUE(RowShown(editor, row)) << row;
      EXPECT_FALSE(Edit(editor, "x", row)->isEnabled()) << row;
      EXPECT_EQ(Edit(editor, "delay", row)->text(), "5") << row;
    }
    EXPECT_FALSE(editor.Find(QStringLiteral("zidan_y_up_btn_30"))->isEnabled());

    Click(editor, QStringLiteral("add_btn"));
    EXPECT_EQ(editor.Find<QListWidget>(QStringLiteral("gun_list"))->currentItem()->text(),
              "Pattern1");
    EXPECT_EQ(GunStore().size(), GunData::kSize);
    EXPECT_TRUE(combo->isEnabled());
    EXPECT_TRUE(Edit(editor, "x", 30)->isEnabled());

    Type(Edit(editor, "y", 13), "40");
    combo->setCurrentIndex(11);
    emit combo->activated(11);
    EXPECT_TRUE(RowShown(editor, 12));
    EXPECT_FALSE(RowShown(editor, 13));
    EXPECT_EQ(GunStore().at(GunData::kCountOffset), 12);
    EXPECT_EQ(StoredStep(0, 12), (GunStep{0, 40, 0, 5}));  // kept past the count

    Type(Edit(editor, "x", 1), "1500");
    EXPECT_EQ(Edit(editor, "x", 1)->text(), "999");
    Type(Edit(editor, "y", 1), "-2000");
    EXPECT_EQ(Edit(editor, "y", 1)->text(), "-999");
    Type(Edit(editor, "delay", 1), "1x");  // the filter keeps the digits
    EXPECT_EQ(StoredStep(0, 0), (GunStep{999, -999, 0, 1}));
    Click(editor, QStringLiteral("zidan_delay_down_btn_1"));
    EXPECT_EQ(Edit(editor, "delay", 1)->text(), "1");

    Type(Edit(editor, "x", 3), "7");
    Click(editor, QStringLiteral("zidan_x_down_btn_3"));
    EXPECT_EQ(Edit(editor, "x", 3)->text(), "8");
    EXPECT_EQ(StoredStep(0, 2).x, 8);
    Click(editor, QStringLiteral("zidan_x_up_btn_3"));
    EXPECT_EQ(Edit(editor, "x", 3)->text(), "7");
    // The arrow keys in an edit step it as its plus and minus buttons do.
    QTest::keyClick(Edit(editor, "x", 3), Qt::Key_Up);
    QTest::keyClick(Edit(editor, "x", 3), Qt::Key_Up);
    QTest::keyClick(Edit(editor, "x", 3), Qt::Key_Down);
    EXPECT_EQ(StoredStep(0, 2).x, 8);
    Click(editor, QStringLiteral("zidan_x_up_btn_3"));

    // Typed and left without Enter: taken when the editor closes.
    QTest::keyClicks(Edit(editor, "y", 2), QStringLiteral("3"));
    close_with_escape_ = true;
  });
  EXPECT_EQ(StoredStep(0, 1).y, 3);
  EXPECT_EQ(StoredStep(0, 2).x, 7);
}

TEST_F(GunEditorTest, PatternsAreRenamedExportedImportedAndDeleted) {
  ASSERT_NO_FATAL_FAILURE(Start());
  RunEditor([&](CMS_1_Gun& editor) {
    auto* list = editor.Find<QListWidget>(QStringLiteral("gun_list"));
    Click(editor, QStringLiteral("add_btn"));
    name_ = "pattern1";  // its own name in other letter case is taken
    Click(editor, QStringLiteral("rename_btn"));
    EXPECT_EQ(messages_, QStringList{"warn_name_2_text"});
    name_ = "Rifle";
    Click(editor, QStringLiteral("rename_btn"));
    EXPECT_EQ(list->item(0)->text(), "Rifle");

    file_ = data_.filePath("rifle.gun");
    Click(editor, QStringLiteral("export_btn"));
    Click(editor, QStringLiteral("import_btn"));
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->currentItem()->text(), "Rifle_1");
    EXPECT_EQ(GunStore().size(), 2 * GunData::kSize);

    // Cancelling the confirmation keeps the pattern; OK removes it and selects the one before.
    messages_.clear();
    confirm_ = 0;
    Click(editor, QStringLiteral("delete_btn"));
    EXPECT_EQ(messages_, QStringList{"delete_gun_text"});
    EXPECT_EQ(list->count(), 2);
    confirm_ = 1;
    Click(editor, QStringLiteral("delete_btn"));
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_EQ(editor.editing().selected(), 0);

    Click(editor, QStringLiteral("delete_btn"));
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(GunStore().size(), 0);
    EXPECT_FALSE(Edit(editor, "y", 1)->isEnabled());
    EXPECT_FALSE(editor.Find(QStringLiteral("delete_btn"))->isEnabled());
  });
}

TEST_F(GunEditorTest, ThePictureFollowsTheStepsAndTheFocusedRow) {
  ASSERT_NO_FATAL_FAILURE(Start());
  RunEditor([&](CMS_1_Gun& editor) {
    PatternPathView* view = editor.path_view();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->accessibleDescription(), "No pattern selected");
    Click(editor, QStringLiteral("add_btn"));
    auto* combo = editor.Find<QComboBox>(QStringLiteral("combo_gun"));
    combo->setCurrentIndex(2);
    emit combo->activated(2);
    Type(Edit(editor, "x", 1), "-4");
    Type(Edit(editor, "y", 2), "30");
    Type(Edit(editor, "y", 3), "10");
    EXPECT_EQ(view->path().end(), (PathPoint{-4, 40}));
    const QString totals =
        "3 steps: total horizontal offset 4 left, total vertical offset 40 down, "
        "total time 15 ms";
    EXPECT_EQ(view->accessibleDescription(), totals);
    EXPECT_EQ(ControlText(editor.Find(QStringLiteral("gun_path_totals"))), totals);
    // Drawn down and to the left of the origin, inside the picture.
    const QPointF origin = view->PointPosition(-1);
    const QPointF end = view->PointPosition(2);
    EXPECT_LT(end.x(), origin.x());
    EXPECT_GT(end.y(), origin.y());
    EXPECT_TRUE(QRectF(view->rect()).contains(end));
    EXPECT_TRUE(QRectF(view->rect()).contains(origin));

    // The row whose control takes the focus is highlighted.
    QFocusEvent focus_in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(Edit(editor, "delay", 2), &focus_in);
    EXPECT_EQ(view->current_step(), 1);
    QApplication::sendEvent(editor.Find(QStringLiteral("gun_list")), &focus_in);
    EXPECT_EQ(view->current_step(), -1);
  });
}

// The pattern of button 9 edited in the editor: when it closes, the button's copy of the
// steps is taken again and the mouse receives the new slot messages.
TEST_F(GunEditorTest, AnEditedPatternReachesTheMouseAfterTheEditorCloses) {
  GunList guns;
  guns.push_back(NewGun(u"Rifle"));
  ASSERT_TRUE(StoreFiles(data_.path() + "/").WriteGunStore(guns));
  ASSERT_NO_FATAL_FAILURE(
      Start(1, [&](ProfileData& p) { AssignGun(p.button(8), *guns[0], 0, 1); }));
  ASSERT_EQ(window_->core().guns().size(), 1u);
  const auto before = mouse_.State().settings.slot_messages;

  RunEditor([&](CMS_1_Gun& editor) {
    editor.Find<QListWidget>(QStringLiteral("gun_list"))->setCurrentRow(0);
    auto* combo = editor.Find<QComboBox>(QStringLiteral("combo_gun"));
    combo->setCurrentIndex(9);
    emit combo->activated(9);
    for (int row = 1; row <= 10; ++row) {
      Type(Edit(editor, "x", row), "1");
      Type(Edit(editor, "y", row), "-2");
      Type(Edit(editor, "delay", row), "20");
    }
  });
  EXPECT_EQ(Current().button(8).step_count(), 10);
  EXPECT_EQ(Current().button(8).gun_step(9), (GunStep{1, -2, 0, 20}));
  WAIT_UNTIL(mouse_.State().settings.slot_messages != before);
  WAIT_UNTIL(MatchesProfile(mouse_.State().settings, Current()));
}

}  // namespace
}  // namespace mokta
