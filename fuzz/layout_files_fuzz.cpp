// The program's own reading of its layout files. Input: a byte, odd for a menu file and even
// for a window layout, then the file.
//
// - Menu files ("traymenu.xml", "MS/MS_1/ms_1_menu.xml"): the bytes as the file, through the
//   menu builder; every item of the menu is clicked.
// - Window layouts: Qt's reading of a Designer file (QUiLoader) is not the target, so the
//   input describes a tree of controls and the harness writes it as a well-formed layout:
//   one control a line, "<depth as that many '>'><class>|<name>|<text>|<tool tip>|
//   <virtualwnd>|<item>,<item>...". SkinWindow::LoadSkin then builds it: the program's
//   controls made for their classes, the key texts translated, the controls wired for
//   notifications. The texts and keys are read back, and every button, slider and list is
//   worked, its notification routed to the window or to the virtual window the layout names.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QByteArray>
#include <QComboBox>
#include <QFile>
#include <QLoggingCategory>
#include <QMenu>
#include <QSlider>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <QXmlStreamWriter>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "data/language.h"
#include "framework/control_text.h"
#include "framework/language_file.h"
#include "framework/menu_builder.h"
#include "framework/skin_window.h"

namespace {

using namespace mokta;

constexpr int kMaxDepth = 32;  // Qt's reader recurses on nesting; that is not the target here
constexpr std::size_t kMaxControls = 1000;  // the main window has some 800

// The folder the input is written to; also the resource folder, which holds no stylesheet.
const QString& Folder() {
  static const QTemporaryDir dir;
  static const QString path = [] {
    if (!dir.isValid()) std::abort();
    return dir.path() + QLatin1Char('/');
  }();
  return path;
}

void StartOnce() {
  static const bool started = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("MOKTA_RES_DIR", Folder().toUtf8());
    // What the readers log about damaged files is expected here, a million times over.
    QLoggingCategory::setFilterRules(QStringLiteral("mokta.*=false\nqt.*=false"));
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    static int argc = 1;
    static char name[] = "fuzz_layout_files";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives as long as the process
    auto texts = std::make_shared<MapLanguageTexts>();
    texts->Set(QStringLiteral("exit_text"), QStringLiteral("Exit"));
    texts->Set(QStringLiteral("mouse_name_text"), QStringLiteral("Mouse"));
    texts->Set(QStringLiteral("warning_title_text"), QStringLiteral("Warning"));
    SetProgramLanguage(std::move(texts));
    return true;
  }();
  (void)started;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

void ReadMenu(const QString& path) {
  std::unique_ptr<QMenu> menu(BuildMenu(path, nullptr, [](const QString&) {}));
  if (menu == nullptr) std::abort();
  for (QAction* action : menu->findChildren<QAction*>()) action->trigger();
}

// ---- Layouts

struct Control {
  int depth = 0;
  QString cls;
  QString name;
  QString text;
  QString tool_tip;
  QString virtual_window;
  QStringList items;
};

// The classes of the program's layouts, and the program's own control; others become QWidget.
QString KnownClass(const QString& cls, bool root) {
  static const QStringList known = {
      QStringLiteral("QWidget"),        QStringLiteral("QFrame"),
      QStringLiteral("QLabel"),         QStringLiteral("QPushButton"),
      QStringLiteral("QCheckBox"),      QStringLiteral("QRadioButton"),
      QStringLiteral("QLineEdit"),      QStringLiteral("QComboBox"),
      QStringLiteral("QListWidget"),    QStringLiteral("QTabWidget"),
      QStringLiteral("QGroupBox"),      QStringLiteral("QSlider"),
      QStringLiteral("QProgressBar"),   QStringLiteral("ColorPalette"),
      QStringLiteral("QStackedWidget"),
  };
  if (root && cls == u"QDialog") return cls;
  return known.contains(cls) ? cls : QStringLiteral("QWidget");
}

// Characters XML cannot carry are left out: the layout stays well-formed.
QString Clean(QString text) {
  text.removeIf(
      [](QChar c) { return c.unicode() < 0x20 || c.unicode() >= 0xFFFE || c.isSurrogate(); });
  return text;
}

std::vector<Control> ParseControls(const QByteArray& bytes) {
  std::vector<Control> controls;
  for (const QByteArray& raw : bytes.split('\n')) {
    if (raw.isEmpty()) continue;
    if (controls.size() == kMaxControls) break;
    const QString line = QString::fromUtf8(raw);
    Control c;
    while (c.depth < line.size() && line[c.depth] == u'>') ++c.depth;
    const QStringList fields = line.mid(c.depth).split(u'|');
    if (controls.empty()) {
      c.depth = 0;
    } else {
      c.depth = std::clamp(c.depth, 1, std::min(kMaxDepth, controls.back().depth + 1));
    }
    auto field = [&fields](int i) { return i < fields.size() ? Clean(fields[i]) : QString(); };
    c.cls = KnownClass(field(0), controls.empty());
    c.name = field(1);
    c.text = field(2);
    c.tool_tip = field(3);
    c.virtual_window = field(4);
    if (!field(5).isEmpty()) c.items = field(5).split(u',');
    controls.push_back(std::move(c));
  }
  return controls;
}

void WriteString(QXmlStreamWriter& xml, const QString& property, const QString& value,
                 bool dynamic = false) {
  if (value.isEmpty()) return;
  xml.writeStartElement(QStringLiteral("property"));
  xml.writeAttribute(QStringLiteral("name"), property);
  if (dynamic) xml.writeAttribute(QStringLiteral("stdset"), QStringLiteral("0"));
  xml.writeTextElement(QStringLiteral("string"), value);
  xml.writeEndElement();
}

// Writes controls[at] and the controls below it; returns the index after them.
std::size_t WriteControl(QXmlStreamWriter& xml, const std::vector<Control>& controls,
                         std::size_t at, bool in_tabs) {
  const Control& c = controls[at];
  xml.writeStartElement(QStringLiteral("widget"));
  xml.writeAttribute(QStringLiteral("class"), c.cls);
  xml.writeAttribute(QStringLiteral("name"), c.name);
  if (in_tabs) {
    xml.writeStartElement(QStringLiteral("attribute"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("title"));
    xml.writeTextElement(QStringLiteral("string"), c.text);
    xml.writeEndElement();
  }
  const bool texted = c.cls == u"QLabel" || c.cls == u"QPushButton" || c.cls == u"QCheckBox" ||
                      c.cls == u"QRadioButton" || c.cls == u"QLineEdit";
  WriteString(xml,
              texted                  ? QStringLiteral("text")
              : c.cls == u"QGroupBox" ? QStringLiteral("title")
                                      : QStringLiteral("windowTitle"),
              c.text);
  WriteString(xml, QStringLiteral("toolTip"), c.tool_tip);
  if (c.cls == u"QLineEdit" && !c.items.isEmpty()) {
    WriteString(xml, QStringLiteral("placeholderText"), c.items.front());
  }
  WriteString(xml, QStringLiteral("virtualwnd"), c.virtual_window, true);
  if (c.cls == u"QComboBox" || c.cls == u"QListWidget") {
    for (const QString& item : c.items) {
      xml.writeStartElement(QStringLiteral("item"));
      WriteString(xml, QStringLiteral("text"), item.isEmpty() ? QStringLiteral(" ") : item);
      xml.writeEndElement();
    }
  }
  std::size_t next = at + 1;
  while (next < controls.size() && controls[next].depth > c.depth) {
    next = WriteControl(xml, controls, next, c.cls == u"QTabWidget");
  }
  xml.writeEndElement();
  return next;
}

QByteArray LayoutFile(const std::vector<Control>& controls) {
  QByteArray out;
  QXmlStreamWriter xml(&out);
  xml.writeStartDocument();
  xml.writeStartElement(QStringLiteral("ui"));
  xml.writeAttribute(QStringLiteral("version"), QStringLiteral("4.0"));
  if (!controls.empty()) WriteControl(xml, controls, 0, false);
  xml.writeStartElement(QStringLiteral("customwidgets"));
  xml.writeStartElement(QStringLiteral("customwidget"));
  xml.writeTextElement(QStringLiteral("class"), QStringLiteral("ColorPalette"));
  xml.writeTextElement(QStringLiteral("extends"), QStringLiteral("QWidget"));
  xml.writeEndElement();
  xml.writeEndElement();
  xml.writeEndDocument();
  return out;
}

class Window final : public SkinWindow {
 public:
  int notifications = 0;

 protected:
  void Notify(const Notification&) override { ++notifications; }
};

void ReadLayout(const QString& path, const std::vector<Control>& controls) {
  Window window;
  // Each virtual window takes one notification and then leaves, as a page that closes would.
  int routed = 0;
  for (const Control& c : controls) {
    if (c.virtual_window.isEmpty()) continue;
    window.AddVirtualWindow(c.virtual_window, [&window, &routed](const Notification& n) {
      ++routed;
      window.RemoveVirtualWindow(n.virtual_window);
    });
  }
  if (!window.LoadSkin(path)) return;
  const QList<QWidget*> widgets = window.findChildren<QWidget*>();
  for (QWidget* control : widgets) {
    const QString key = ControlTextKey(control);
    (void)ControlText(control);
    if (!key.isEmpty() && !IsTextKey(key)) std::abort();  // only keys are remembered as keys
  }
  for (QWidget* control : widgets) {
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
      button->click();
    } else if (auto* slider = qobject_cast<QSlider*>(control)) {
      slider->setValue(slider->value() == slider->maximum() ? slider->minimum()
                                                            : slider->value() + 1);
    } else if (auto* combo = qobject_cast<QComboBox*>(control); combo && combo->count() > 0) {
      emit combo->activated(combo->count() - 1);
    }
  }
  // What the notifications left for later runs while the window lives.
  QCoreApplication::sendPostedEvents();
}

}  // namespace

// Fontconfig, which the offscreen platform loads fonts through, keeps its configuration until
// the process ends and never frees it; the application object lives as long, by design.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
extern "C" const char* __lsan_default_options() {
  return "print_suppressions=0";
}

// Every input builds windows, and AddressSanitizer holds back 256 MB of freed memory by
// default: that takes the harness past 1 GB, where libFuzzer starts returning the allocator's
// memory to the system every second. A quarter of it still keeps the memory of the last inputs
// from being reused. ASAN_OPTIONS overrides it.
extern "C" const char* __asan_default_options() {
  return "quarantine_size_mb=64";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  StartOnce();
  if (size == 0) return 0;
  const QString path = Folder() + QStringLiteral("input.xml");
  const QByteArray rest(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
  if (data[0] & 1) {
    if (!WriteFile(path, rest)) std::abort();
    ReadMenu(path);
  } else {
    const std::vector<Control> controls = ParseControls(rest);
    if (!WriteFile(path, LayoutFile(controls))) std::abort();
    ReadLayout(path, controls);
  }
  // What the controls left for later (deferred deletes, layout requests) goes with the input.
  QCoreApplication::sendPostedEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return 0;
}
