#include "platform/linux/xkb_keyboard_layout.h"

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <cstdlib>

#include "platform/linux/xkb_keys.h"
#include "platform/linux/xkb_x11.h"
#include "platform/system_services.h"

namespace mokta {

Q_LOGGING_CATEGORY(lcKeyboardLayout, "mokta.keyboard")

namespace {

constexpr const char* kKeyboardSettingsFile = "/etc/default/keyboard";

bool EnvironmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

// The names the XKB_DEFAULT_* variables give.
XkbNames EnvironmentNames() {
  const auto read = [](const char* name) { return qEnvironmentVariable(name); };
  return {read("XKB_DEFAULT_RULES"), read("XKB_DEFAULT_MODEL"), read("XKB_DEFAULT_LAYOUT"),
          read("XKB_DEFAULT_VARIANT"), read("XKB_DEFAULT_OPTIONS")};
}

bool WaylandSession() {
  return EnvironmentSet("WAYLAND_DISPLAY") ||
         qgetenv("XDG_SESSION_TYPE").compare("wayland", Qt::CaseInsensitive) == 0;
}

QString NamesText(const XkbNames& names) {
  QStringList parts;
  if (!names.layout.isEmpty()) parts << names.layout;
  if (!names.variant.isEmpty()) parts << "variant " + names.variant;
  if (!names.model.isEmpty()) parts << "model " + names.model;
  if (!names.options.isEmpty()) parts << "options " + names.options;
  return parts.isEmpty() ? QStringLiteral("default") : parts.join(QStringLiteral(", "));
}

}  // namespace

XkbNames ReadKeyboardSettingsFile(const QString& path) {
  XkbNames names;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return names;
  static const QRegularExpression assignment(
      QStringLiteral(R"re(^\s*(?:export\s+)?(XKB[A-Z]+)\s*=\s*(?:"([^"]*)"|'([^']*)'|(\S*)))re"));
  QTextStream in(&file);
  while (!in.atEnd()) {
    const QRegularExpressionMatch m = assignment.match(in.readLine());
    if (!m.hasMatch()) continue;
    QString value = m.captured(2) + m.captured(3) + m.captured(4);
    const QString key = m.captured(1);
    if (key == QLatin1String("XKBMODEL")) names.model = value;
    if (key == QLatin1String("XKBLAYOUT")) names.layout = value;
    if (key == QLatin1String("XKBVARIANT")) names.variant = value;
    if (key == QLatin1String("XKBOPTIONS")) names.options = value;
  }
  return names;
}

// The service's own connection to the X server, with the keyboard extension's events
// selected for the core keyboard.
struct XkbKeyboardLayout::X11Link {
  xcb_connection_t* connection = nullptr;
  std::int32_t device_id = -1;
  std::uint8_t first_event = 0;

  ~X11Link() {
    if (connection != nullptr) xcb_disconnect(connection);
  }
};

XkbKeyboardLayout::XkbKeyboardLayout() : context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {}

XkbKeyboardLayout::XkbKeyboardLayout(const QString& layout, const QString& variant,
                                     unsigned group) {
  Compile(XkbNames{QStringLiteral("evdev"), QStringLiteral("pc105"), layout, variant, {}}, false);
  SetGroup(group);
}

XkbKeyboardLayout::XkbKeyboardLayout(const XkbNames& names, bool use_environment) {
  Compile(names, use_environment);
}

XkbKeyboardLayout::~XkbKeyboardLayout() {
  x11_.reset();
  if (keymap_ != nullptr) xkb_keymap_unref(keymap_);
  if (context_ != nullptr) xkb_context_unref(context_);
}

void XkbKeyboardLayout::Compile(const XkbNames& names, bool use_environment) {
  context_ =
      xkb_context_new(use_environment ? XKB_CONTEXT_NO_FLAGS : XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  description_ = NamesText(names);
  if (context_ == nullptr) {
    qCWarning(lcKeyboardLayout, "keyboard layout: no xkbcommon context");
    return;
  }
  const QByteArray rules = names.rules.toUtf8();
  const QByteArray model = names.model.toUtf8();
  const QByteArray layout = names.layout.toUtf8();
  const QByteArray variant = names.variant.toUtf8();
  const QByteArray options = names.options.toUtf8();
  // Empty fields are passed as null, which xkbcommon fills from the environment (when the
  // context reads it) or its defaults.
  const auto field = [](const QByteArray& value) {
    return value.isEmpty() ? nullptr : value.constData();
  };
  const xkb_rule_names rule_names{field(rules), field(model), field(layout), field(variant),
                                  field(options)};
  xkb_keymap* keymap =
      xkb_keymap_new_from_names(context_, &rule_names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (keymap == nullptr) {
    qCWarning(lcKeyboardLayout, "keyboard layout: the layout \"%s\" could not be compiled",
              qUtf8Printable(description_));
    return;
  }
  std::lock_guard lock(mutex_);
  SetKeymap(keymap, 0);
}

std::unique_ptr<XkbKeyboardLayout> XkbKeyboardLayout::FollowX11() {
  if (WaylandSession()) {
    qCDebug(lcKeyboardLayout, "keyboard layout: a Wayland session; the X server's is not used");
    return nullptr;
  }
  if (!EnvironmentSet("DISPLAY")) return nullptr;
  std::unique_ptr<XkbKeyboardLayout> service(new XkbKeyboardLayout());
  auto link = std::make_unique<X11Link>();
  link->connection = xcb_connect(nullptr, nullptr);
  if (service->context_ == nullptr || xcb_connection_has_error(link->connection) != 0) {
    qCWarning(lcKeyboardLayout, "keyboard layout: cannot connect to the X display \"%s\"",
              std::getenv("DISPLAY"));
    return nullptr;
  }
  // Events are selected before the keymap is read, so no change in between is missed.
  link->device_id = xkb::FollowCoreKeyboard(link->connection, &link->first_event);
  if (link->device_id < 0) {
    qCWarning(lcKeyboardLayout, "keyboard layout: the X server's keyboard cannot be followed");
    return nullptr;
  }
  service->x11_ = std::move(link);
  service->description_ = QStringLiteral("X server");
  std::lock_guard lock(service->mutex_);
  xkb_keymap* keymap =
      xkb_x11_keymap_new_from_device(service->context_, service->x11_->connection,
                                     service->x11_->device_id, XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (keymap == nullptr) {
    qCWarning(lcKeyboardLayout, "keyboard layout: the X server's keymap cannot be read");
    return nullptr;
  }
  xkb_state* state =
      xkb_x11_state_new_from_device(keymap, service->x11_->connection, service->x11_->device_id);
  const unsigned group =
      state != nullptr ? xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE) : 0;
  if (state != nullptr) xkb_state_unref(state);
  service->SetKeymap(keymap, group);
  return service;
}

void XkbKeyboardLayout::FollowServer() const {
  if (!x11_) return;
  xcb_connection_t* connection = x11_->connection;
  bool new_keymap = false;
  int new_group = -1;
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
    if ((event->response_type & 0x7F) == x11_->first_event) {
      const std::uint8_t xkb_type = reinterpret_cast<const std::uint8_t*>(event)[1];
      if (xkb_type == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkb_type == XCB_XKB_MAP_NOTIFY) {
        new_keymap = true;
      } else if (xkb_type == XCB_XKB_STATE_NOTIFY) {
        new_group = reinterpret_cast<const xcb_xkb_state_notify_event_t*>(event)->group;
      }
    }
    std::free(event);
  }
  if (xcb_connection_has_error(connection) != 0) {
    qCWarning(lcKeyboardLayout,
              "keyboard layout: the connection to the X server was lost; the last layout stays");
    x11_.reset();
    return;
  }
  if (new_keymap) {
    xkb_keymap* keymap = xkb_x11_keymap_new_from_device(context_, connection, x11_->device_id,
                                                        XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap == nullptr) {
      qCWarning(lcKeyboardLayout, "keyboard layout: the X server's new keymap cannot be read");
      return;
    }
    xkb_state* state = xkb_x11_state_new_from_device(keymap, connection, x11_->device_id);
    unsigned group = new_group >= 0 ? static_cast<unsigned>(new_group) : group_;
    if (state != nullptr) {
      group = xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE);
      xkb_state_unref(state);
    }
    SetKeymap(keymap, group);
  } else if (new_group >= 0) {
    SetGroup(static_cast<unsigned>(new_group));
  }
}

void XkbKeyboardLayout::SetKeymap(xkb_keymap* keymap, unsigned group) const {
  if (keymap_ != nullptr) xkb_keymap_unref(keymap_);
  keymap_ = keymap;
  group_ = ~0u;  // renumber whatever the group
  SetGroup(group);
}

void XkbKeyboardLayout::SetGroup(unsigned group) const {
  if (keymap_ == nullptr) {
    vk_of_keycode_.fill(0);
    return;
  }
  const xkb_layout_index_t count = xkb_keymap_num_layouts(keymap_);
  group = count == 0 ? 0 : group % count;
  if (group == group_) return;
  group_ = group;
  for (std::size_t keycode = 0; keycode < vk_of_keycode_.size(); ++keycode) {
    vk_of_keycode_[keycode] =
        xkb::VirtualKeyForKeycode(keymap_, group_, static_cast<xkb_keycode_t>(keycode));
  }
}

bool XkbKeyboardLayout::valid() const {
  std::lock_guard lock(mutex_);
  return keymap_ != nullptr;
}

unsigned XkbKeyboardLayout::group() const {
  std::lock_guard lock(mutex_);
  FollowServer();
  return group_;
}

std::uint32_t XkbKeyboardLayout::KeycodeOf(std::uint32_t vk) const {
  if (vk == 0) return 0;
  for (std::size_t keycode = 0; keycode < vk_of_keycode_.size(); ++keycode) {
    if (vk_of_keycode_[keycode] == vk) return static_cast<std::uint32_t>(keycode);
  }
  return 0;
}

std::uint32_t XkbKeyboardLayout::VirtualKeyToScanCode(std::uint32_t vk) const {
  std::lock_guard lock(mutex_);
  FollowServer();
  const std::uint32_t keycode = KeycodeOf(vk);
  return keycode == 0 ? 0 : xkb::ScanCodeForKeycode(keycode);
}

std::uint32_t XkbKeyboardLayout::ScanCodeToVirtualKey(std::uint32_t scan_code) const {
  std::lock_guard lock(mutex_);
  FollowServer();
  const xkb_keycode_t keycode = xkb::KeycodeForScanCode(scan_code);
  return keycode < vk_of_keycode_.size() ? vk_of_keycode_[keycode] : 0;
}

QString XkbKeyboardLayout::UnmodifiedText(std::uint32_t vk, std::uint32_t scan_code) const {
  std::lock_guard lock(mutex_);
  FollowServer();
  if (keymap_ == nullptr) return {};
  xkb_keycode_t keycode = KeycodeOf(vk);
  if (keycode == 0) keycode = xkb::KeycodeForScanCode(scan_code);
  if (keycode == XKB_KEYCODE_INVALID) return {};
  return QString::fromStdString(xkb::UnmodifiedText(keymap_, group_, keycode));
}

std::uint32_t XkbKeyboardLayout::KeycodeToVirtualKey(std::uint32_t keycode) const {
  std::lock_guard lock(mutex_);
  FollowServer();
  return keycode < vk_of_keycode_.size() ? vk_of_keycode_[keycode] : 0;
}

std::unique_ptr<KeyboardLayout> MakeSystemKeyboardLayout() {
  if (auto x11 = XkbKeyboardLayout::FollowX11()) {
    qCDebug(lcKeyboardLayout, "keyboard layout: following the X server's");
    return x11;
  }
  XkbNames names = EnvironmentNames();
  const bool from_environment = !names.empty();
  if (!from_environment) names = ReadKeyboardSettingsFile(kKeyboardSettingsFile);
  auto named = std::make_unique<XkbKeyboardLayout>(names, false);
  if (named->valid()) {
    qCDebug(lcKeyboardLayout, "keyboard layout: %s, as named by %s",
            qUtf8Printable(named->description()),
            from_environment ? "the environment" : kKeyboardSettingsFile);
    return named;
  }
  qCWarning(lcKeyboardLayout,
            "keyboard layout: no keymap could be compiled; keys are shown as on a US keyboard");
  return std::make_unique<FixedUsLayout>();
}

}  // namespace mokta
