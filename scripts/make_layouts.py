#!/usr/bin/env python3
"""Writes the window layouts of res/ (Qt Designer .ui XML) and the skin's PNG glyphs.

The layouts are generated because the settings page repeats itself (18 button rows, 8 DPI
stages, 13 collapsible sections); edit this script rather than the .ui files and run it again:

    python3 scripts/make_layouts.py            # layouts only
    python3 scripts/make_layouts.py --images   # also the PNGs from res/icons and res/skin SVGs
    python3 scripts/make_layouts.py --check    # fail with a diff when res/ differs from this
                                               # script's output (res/ is left alone)

Conventions the program relies on:
- a control's name is its objectName;
- a text ending in "_text" without white space is a language key (an entry of res/lan.xml),
  looked up when the layout is loaded; combo box items and window titles too;
- the settings page container carries the dynamic property virtualwnd = "MS_1_Page";
- the dynamic property skin selects a look in res/skin.qss (card, section, primary, ...).

The script checks that every key it uses exists in res/lan.xml and that no name repeats.
"""

import argparse
import difflib
import pathlib
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

ROOT = pathlib.Path(__file__).resolve().parent.parent
RES = ROOT / "res"

# ---------------------------------------------------------------------------------------------
# A small model of the .ui format


class Widget:
    def __init__(self, cls, name, props=None, layout=None, children=None, attrs=None):
        self.cls = cls
        self.name = name
        self.props = props or []  # (name, value, stdset)
        self.layout = layout
        self.children = children or []  # direct children (scroll area, stacked widget pages)
        self.attrs = attrs or []  # (name, value), e.g. buttonGroup


class Layout:
    def __init__(self, cls, name, items, margins=(0, 0, 0, 0), spacing=0, props=None):
        self.cls = cls
        self.name = name
        self.items = items
        self.margins = margins
        self.spacing = spacing
        self.props = props or []


class Spacer:
    def __init__(self, name, horizontal, width=0, height=0, policy="Expanding"):
        self.name = name
        self.horizontal = horizontal
        self.width = width
        self.height = height
        self.policy = policy


class Enum(str):
    pass


class Set(str):
    pass


class Size(tuple):
    pass


class Cstring(str):
    """A plain string property that is no text (e.g. a label's buddy)."""


class Rect(tuple):
    pass


class Policy(tuple):
    pass


_names = set()
_layout_count = [0]
_spacer_count = [0]
_keys_used = set()
_button_groups = []


def unique(name):
    if name in _names:
        raise SystemExit(f"duplicate object name {name}")
    _names.add(name)
    return name


def next_layout(kind):
    _layout_count[0] += 1
    return f"{kind}_{_layout_count[0]}"


def write_value(parent, value):
    if isinstance(value, bool):
        ET.SubElement(parent, "bool").text = "true" if value else "false"
    elif isinstance(value, int):
        ET.SubElement(parent, "number").text = str(value)
    elif isinstance(value, Enum):
        ET.SubElement(parent, "enum").text = value
    elif isinstance(value, Set):
        ET.SubElement(parent, "set").text = value
    elif isinstance(value, Cstring):
        ET.SubElement(parent, "cstring").text = value
    elif isinstance(value, Size):
        s = ET.SubElement(parent, "size")
        ET.SubElement(s, "width").text = str(value[0])
        ET.SubElement(s, "height").text = str(value[1])
    elif isinstance(value, Rect):
        r = ET.SubElement(parent, "rect")
        for tag, v in zip(("x", "y", "width", "height"), value):
            ET.SubElement(r, tag).text = str(v)
    elif isinstance(value, Policy):
        sp = ET.SubElement(parent, "sizepolicy", hsizetype=value[0], vsizetype=value[1])
        ET.SubElement(sp, "horstretch").text = str(value[2] if len(value) > 2 else 0)
        ET.SubElement(sp, "verstretch").text = str(value[3] if len(value) > 3 else 0)
    elif isinstance(value, str):
        ET.SubElement(parent, "string").text = value
    else:
        raise TypeError(value)


def write_prop(parent, name, value, stdset=True):
    p = ET.SubElement(parent, "property", name=name)
    if not stdset:
        p.set("stdset", "0")
    write_value(p, value)


def write_widget(parent, w):
    e = ET.SubElement(parent, "widget", {"class": w.cls, "name": w.name})
    for name, value in w.attrs:
        a = ET.SubElement(e, "attribute", name=name)
        ET.SubElement(a, "string", notr="true").text = value
    for name, value, stdset in w.props:
        write_prop(e, name, value, stdset)
    if w.layout is not None:
        write_layout(e, w.layout)
    for c in w.children:
        write_widget(e, c)
    return e


def write_item(parent, item, grid_pos=None):
    i = ET.SubElement(parent, "item")
    if grid_pos is not None:
        row, col, rowspan, colspan, align = grid_pos
        i.set("row", str(row))
        i.set("column", str(col))
        if rowspan != 1:
            i.set("rowspan", str(rowspan))
        if colspan != 1:
            i.set("colspan", str(colspan))
        if align:
            i.set("alignment", align)
    if isinstance(item, Widget):
        write_widget(i, item)
    elif isinstance(item, Layout):
        write_layout(i, item)
    elif isinstance(item, Spacer):
        s = ET.SubElement(i, "spacer", name=item.name)
        write_prop(s, "orientation", Enum("Qt::Horizontal" if item.horizontal else "Qt::Vertical"))
        if item.policy != "Expanding":
            write_prop(s, "sizeType", Enum(f"QSizePolicy::{item.policy}"))
        write_prop(s, "sizeHint", Size((item.width, item.height)), stdset=False)
    else:
        raise TypeError(item)


def write_layout(parent, lay):
    e = ET.SubElement(parent, "layout", {"class": lay.cls, "name": lay.name})
    if lay.cls == "QGridLayout":
        write_prop(e, "horizontalSpacing", lay.spacing if isinstance(lay.spacing, int) else lay.spacing[0])
        write_prop(e, "verticalSpacing", lay.spacing if isinstance(lay.spacing, int) else lay.spacing[1])
    else:
        write_prop(e, "spacing", lay.spacing)
    for side, m in zip(("leftMargin", "topMargin", "rightMargin", "bottomMargin"), lay.margins):
        write_prop(e, side, m)
    for name, value in lay.props:  # stretch factors are attributes of the layout element
        e.set(name.lower(), value)
    for it in lay.items:
        if lay.cls == "QGridLayout":
            item, row, col, *rest = it
            rowspan = rest[0] if len(rest) > 0 else 1
            colspan = rest[1] if len(rest) > 1 else 1
            align = rest[2] if len(rest) > 2 else None
            write_item(e, item, (row, col, rowspan, colspan, align))
        else:
            write_item(e, it)


def write_ui(path, root, groups=(), first_stops=()):
    ui = ET.Element("ui", version="4.0")
    ET.SubElement(ui, "class").text = root.name
    write_widget(ui, root)
    if first_stops:
        # Keyboard order: the named controls first, then every other one in layout order.
        focusable = [w.name for w in iter_widgets(root) if takes_focus(w)]
        stops = list(first_stops) + [n for n in focusable if n not in first_stops]
        ts = ET.SubElement(ui, "tabstops")
        for n in stops:
            ET.SubElement(ts, "tabstop").text = n
    if groups:
        bg = ET.SubElement(ui, "buttongroups")
        for g in groups:
            ET.SubElement(bg, "buttongroup", name=g)
    custom = sorted({w.cls for w in iter_widgets(root) if w.cls in CUSTOM_CLASSES})
    if custom:
        # The program's own controls (the framework registers them with the loader).
        cw = ET.SubElement(ui, "customwidgets")
        for cls in custom:
            c = ET.SubElement(cw, "customwidget")
            ET.SubElement(c, "class").text = cls
            ET.SubElement(c, "extends").text = CUSTOM_CLASSES[cls]
    ET.SubElement(ui, "resources")
    ET.SubElement(ui, "connections")
    ET.indent(ui, space=" ")
    data = ET.tostring(ui, encoding="unicode")
    path.write_text('<?xml version="1.0" encoding="UTF-8"?>\n' + data + "\n", encoding="utf-8")


# ---------------------------------------------------------------------------------------------
# Widget helpers


def P(name, value):
    return (name, value, True)


def D(name, value):  # dynamic property
    return (name, value, False)


def key_props(key):
    if not key.endswith("_text") or any(c.isspace() for c in key):
        raise SystemExit(f"{key} is not of the form of a text key")
    _keys_used.add(key)
    return [P("text", key)]


def title_key(key):
    _keys_used.add(key)
    return key


def tip(key):
    """A tool tip from a language key: every control that shows only a glyph or a colour has
    one, so that its use can be read by pointing at it."""
    if not key.endswith("_text") or any(c.isspace() for c in key):
        raise SystemExit(f"{key} is not of the form of a text key")
    _keys_used.add(key)
    return P("toolTip", key)


def hbox(items, margins=(0, 0, 0, 0), spacing=8, name=None):
    return Layout("QHBoxLayout", name or next_layout("hbox"), items, margins, spacing)


def vbox(items, margins=(0, 0, 0, 0), spacing=8, name=None):
    return Layout("QVBoxLayout", name or next_layout("vbox"), items, margins, spacing)


def grid(items, margins=(0, 0, 0, 0), spacing=8, name=None, props=None):
    return Layout("QGridLayout", name or next_layout("grid"), items, margins, spacing, props)


def hstretch(width=0):
    _spacer_count[0] += 1
    return Spacer(f"hspacer_{_spacer_count[0]}", True, width, 0)


def vstretch(height=0):
    _spacer_count[0] += 1
    return Spacer(f"vspacer_{_spacer_count[0]}", False, 0, height)


def hgap(width):
    _spacer_count[0] += 1
    return Spacer(f"hspacer_{_spacer_count[0]}", True, width, 0, "Fixed")


def container(name, layout, skin=None, cls="QWidget", props=()):
    p = list(props)
    if skin:
        p.append(D("skin", skin))
    return Widget(cls, unique(name), p, layout)


def label(name, key=None, acc=None, skin=None, props=(), wrap=False, textless=False):
    """A label. Its text (a key, or filled in by the program) is what a screen reader reads as
    its name, and `acc` says what it is (the accessible description); a label that never shows
    text (an image, a colour field, textless=True) is named by `acc` instead."""
    p = []
    if key:
        p += key_props(key)
    else:
        p.append(P("text", ""))
    if wrap:
        p.append(P("wordWrap", True))
    if acc:
        p.append(P("accessibleName" if textless else "accessibleDescription", acc))
    if skin:
        p.append(D("skin", skin))
    p += list(props)
    return Widget("QLabel", unique(name), p)


def button(name, key=None, acc=None, skin=None, props=(), cls="QPushButton"):
    p = key_props(key) if key else []
    if not any(x[0] == "focusPolicy" for x in props):
        p.append(P("focusPolicy", Enum("Qt::TabFocus")))
    if acc:
        p.append(P("accessibleName", acc))
    if skin:
        p.append(D("skin", skin))
    p += list(props)
    return Widget(cls, unique(name), p)


def option(name, key, acc, group, skin="chip", checked=False, props=()):
    p = key_props(key) + [P("accessibleName", acc), D("skin", skin), P("focusPolicy", Enum("Qt::TabFocus"))]
    if checked:
        p.append(P("checked", True))
    p.append(P("cursor", Enum("Qt::PointingHandCursor")))
    p += list(props)
    if group not in _button_groups:
        _button_groups.append(group)
    return Widget("QRadioButton", unique(name), p, attrs=[("buttonGroup", group)])


def slider(name, lo, hi, value, acc, page=None, props=()):
    p = [
        P("minimum", lo),
        P("maximum", hi),
        P("singleStep", 1),
        P("pageStep", page or max(1, (hi - lo) // 10)),
        P("value", value),
        P("orientation", Enum("Qt::Horizontal")),
        P("accessibleName", acc),
        P("cursor", Enum("Qt::PointingHandCursor")),
    ] + list(props)
    return Widget("QSlider", unique(name), p)


def fixed(w=None, h=None):
    """Fixes the width, the height or both; the other dimension stays free."""
    big = 16777215
    return [P("minimumSize", Size((w or 0, h or 0))),
            P("maximumSize", Size((big if w is None else w, big if h is None else h)))]


def hidden():
    return [P("visible", False)]


def natural():
    """Keeps a control at its own width instead of sharing out the row."""
    return [P("sizePolicy", Policy(("Maximum", "Fixed")))]


def pointer():
    return [P("cursor", Enum("Qt::PointingHandCursor"))]


# ---------------------------------------------------------------------------------------------
# Main window


def section(sec, title_key, acc, body, header_extra=()):
    """A card: the check box "ms_1_check_<sec>" as its header and its body below it."""
    check = button(
        f"ms_1_check_{sec}",
        title_key,
        acc=f"{acc} section",
        skin="section",
        cls="QCheckBox",
        props=[P("checked", True)] + pointer(),
    )
    header = hbox([check, *header_extra], spacing=8)
    return container(f"ms_1_card_{sec}", vbox([header, body], (14, 10, 14, 12), 10), "card", "QFrame")


def title_bar():
    logo = label("title_logo", acc="Mokta", skin="logo", props=fixed(24, 24), textless=True)
    title = label("title_text", "mouse_name_text", skin="apptitle")
    progress = Widget(
        "QProgressBar",
        unique("apply_progress"),
        [
            P("minimum", 0),
            P("maximum", 100),
            P("value", 0),
            P("textVisible", False),
            P("accessibleName", "Apply progress"),
        ]
        + fixed(96, 4)
        + hidden(),
    )
    title_props = fixed(34, 28) + [P("focusPolicy", Enum("Qt::NoFocus"))]
    skin_btn = button("skin_btn", acc="Skin", skin="titlebtn",
                      props=title_props + hidden() + [D("glyph", "skin"), tip("skin_tip_text")])
    menu_btn = button("main_menu_btn", acc="Menu", skin="titlebtn",
                      props=title_props + hidden() + [D("glyph", "menu"), tip("menu_tip_text")])
    min_btn = button("min_btn", acc="Minimise", skin="titlebtn",
                     props=title_props + [D("glyph", "min"), tip("minimize_text")])
    exit_btn = button("exit_btn", acc="Hide to tray", skin="titlebtn",
                      props=title_props + [D("glyph", "close"), tip("hide_text")])
    return container(
        "title_bar",
        hbox(
            [logo, hgap(2), title, hstretch(), progress, hgap(8), skin_btn, menu_btn, min_btn, exit_btn],
            (12, 0, 6, 0),
            4,
        ),
        "titlebar",
        props=fixed(None, 40),
    )


def device_card():
    heading = label("ms_1_connection_label", "connection_text", skin="caption")
    # One row per link; the program shows the rows of the links that are up.
    wired = label("ms_1_wired", "link_wired_text", acc="Connected by cable", skin="link", props=[D("glyph", "cable")])
    wireless = label("ms_1_wireless", "link_wireless_text", acc="Connected by receiver", skin="link",
                     props=[D("glyph", "receiver")])
    ble = label("ms_1_BLE", "link_ble_text", acc="Connected by Bluetooth", skin="link", props=[D("glyph", "bluetooth")])
    sleep = label("ms_1_sleep_label", "sleep_text", acc="Mouse asleep", skin="sleep", wrap=True)
    # Why Bluetooth cannot reach the mouse, while nothing does; the program sets its text.
    ble_note = label("ms_1_ble_note", "ble_not_connected_text", acc="Bluetooth problem", skin="sleep",
                     wrap=True, props=hidden())
    # Shown while the last apply left something undelivered.
    send_note = label("ms_1_send_note", "send_failed_text", acc="Settings not sent", skin="sleep",
                      wrap=True, props=hidden())
    return container("ms_1_card_device",
                     vbox([heading, wired, wireless, ble, sleep, ble_note, send_note], (14, 12, 14, 12), 6),
                     "card", "QFrame")


def power_card():
    bar = Widget(
        "QProgressBar",
        unique("ms_1_progress_power"),
        [
            P("minimum", 0),
            P("maximum", 100),
            P("value", 0),
            P("textVisible", False),
            P("accessibleName", "Battery level"),
            D("skin", "battery"),
        ]
        + fixed(None, 8),
    )
    level = label(
        "ms_1_label_power",
        acc="Battery",
        skin="readout",
        props=[P("alignment", Set("Qt::AlignRight|Qt::AlignVCenter")), P("minimumSize", Size((64, 0)))],
    )
    low = label("ms_1_low_power_label", "low_power_text", acc="Battery low", skin="warn", wrap=True, props=hidden())
    body = container("ms_1_ver_power", vbox([hbox([bar, level], spacing=10), low], spacing=6))
    return section("power", "power_section_text", "Battery", body)


def profile_card():
    plist = Widget(
        "QListWidget",
        unique("ms_1_list_profile"),
        [
            P("accessibleName", "Profile list"),
            P("horizontalScrollBarPolicy", Enum("Qt::ScrollBarAlwaysOff")),
            P("uniformItemSizes", True),
            P("minimumSize", Size((0, 88))),
        ],
    )
    profile_buttons = [
        ("ms_1_profile_add_btn", "profile_add_text", "New profile"),
        ("ms_1_profile_rename_btn", "profile_rename_text", "Rename profile"),
        ("ms_1_profile_delete_btn", "profile_delete_text", "Delete profile"),
        ("ms_1_profile_import_btn", "profile_import_text", "Import profile"),
        ("ms_1_profile_export_btn", "profile_export_text", "Export profile"),
        ("ms_1_profile_reset_btn", "profile_reset_text", "Reset profile"),
    ]
    items = []
    for i, (name, key, acc) in enumerate(profile_buttons):
        items.append((button(name, key, acc=acc, skin="small", props=pointer()), i // 3, i % 3))
    buttons = grid(items, spacing=6)
    body = container("ms_1_ver_profile", vbox([plist, buttons], spacing=8))
    return section("profile", "profile_section_text", "Profiles", body)


def buttons_card():
    columns = []
    for first, extra in ((1, ("ms_1_btn_macro", "macro_editor_text", "Macro editor")),
                         (10, ("ms_1_btn_gun", "gun_editor_text", "Recoil pattern editor"))):
        rows = []
        for n in range(first, first + 9):
            name_label = label(f"ms_1_label_key_{n}", f"btn_key_{n}_text", skin="rowlabel", props=fixed(96))
            # Buttons 13..18 show their function but cannot be reassigned.
            props = pointer() if n <= 12 else [P("enabled", False)]
            key_btn = button(
                f"ms_1_btn_key_{n}", acc=f"Button {n} function", skin="key",
                props=props + [P("minimumSize", Size((0, 26)))],
            )
            rows.append((name_label, n - first, 0))
            rows.append((key_btn, n - first, 1))
        name, key, acc = extra
        rows.append((button(name, key, acc=acc, skin="tool", props=pointer()), 9, 0, 1, 2))
        columns.append(grid(rows, spacing=(8, 5), props=[("columnStretch", "0,1")]))
    body = container("ms_1_hor_button", hbox(columns, spacing=18))
    return section("button", "button_section_text", "Buttons", body)


def dpi_card():
    tiles = []
    for n in range(1, 9):
        tiles.append((option(f"ms_1_option_dpi_step_{n}", f"dpi_stage_{n}_text", f"Active DPI stage {n}",
                             "dpi_stage_group", skin="tile", checked=(n == 2),
                             props=[P("minimumSize", Size((0, 30)))]), 0, n - 1))
        tiles.append((label(f"ms_1_label_dpi_{n}", acc=f"DPI of stage {n}", skin="tilevalue",
                            props=[P("alignment", Set("Qt::AlignCenter"))]), 1, n - 1))
    tile_grid = grid(tiles, spacing=(6, 4), props=[("columnStretch", "1,1,1,1,1,1,1,1")])

    rows = []
    for n in range(1, 9):
        # The stage's number is its on/off check box: a stage that is off is left out by the
        # mouse's DPI button, and the program greys the rest of its row.
        rows.append((button(f"ms_1_check_dpi_enabled_{n}", f"dpi_stage_{n}_text", acc=f"Stage {n} on",
                            skin="stageon", cls="QCheckBox",
                            props=[P("checked", n <= 6), tip("dpi_stage_on_tip_text")] + pointer()), n - 1, 0))
        rows.append((button(f"ms_1_btn_dpi_color_{n}", acc=f"Colour of DPI stage {n}", skin="swatch",
                            props=fixed(20, 20) + pointer() + [tip("dpi_color_tip_text")]), n - 1, 1))
        rows.append((slider(f"ms_1_slider_dpi_{n}", 1, 320, (16, 32, 48, 64, 80, 320, 1, 1)[n - 1],
                            f"DPI stage {n}", page=10), n - 1, 2))
        rows.append((Widget("QLineEdit", unique(f"ms_1_edit_dpi_{n}"), [
            P("maxLength", 5),
            P("alignment", Set("Qt::AlignRight|Qt::AlignVCenter")),
            P("accessibleName", f"DPI value of stage {n}"),
            D("skin", "number"),
        ] + fixed(64, 26)), n - 1, 3))
        rows.append((label(f"ms_1_label_dpi_unit_{n}", "dpi_unit_text", skin="unit"), n - 1, 4))
    row_grid = grid(rows, spacing=(10, 6), props=[("columnStretch", "0,0,1,0,0")])

    actions = hbox([
        hstretch(),
        button("ms_1_btn_reset_dpi", "reset_dpi_text", acc="Default DPI stages", props=pointer()),
        button("ms_1_btn_apply_dpi", "apply_dpi_text", acc="Apply DPI", skin="primary", props=pointer()),
    ], spacing=8)
    body = container("ms_1_ver_dpi", vbox([
        label("ms_1_label_dpi_active", "dpi_active_text", skin="caption"),
        tile_grid,
        vstretch(4),
        label("ms_1_label_dpi_stages", "dpi_stages_text", skin="caption"),
        row_grid,
        actions,
    ], spacing=8))
    return section("dpi", "dpi_section_text", "DPI", body)


def light_card():
    combo_items = [f"light_effect_{i}_text" for i in range(12)]
    for k in combo_items:
        _keys_used.add(k)

    def combo(name, acc):
        w = Widget("QComboBox", unique(name), [
            P("accessibleName", acc), P("maxVisibleItems", 12),
        ] + pointer())
        w.items = combo_items
        return w

    def row(name, key, control):
        # The label names its control for screen readers too (Qt on Linux names a combo box by
        # its current item and points at its label for what it is).
        props = fixed(176)
        if control.cls == "QComboBox":
            acc = next(v for n, v, _ in control.props if n == "accessibleName")
            props += [P("buddy", Cstring(control.name)), P("accessibleName", acc)]
        return container(name, hbox([label(f"{name}_label", key, skin="rowlabel", props=props), control],
                                    spacing=8), props=fixed(None, 30))

    body = container("ms_1_ver_light", vbox([
        row("ms_1_hor_light_effect", "light_effect_label_text", combo("ms_1_combo_light", "Lighting effect")),
        row("ms_1_hor_light_ble", "light_ble_label_text", combo("ms_1_combo_light_ble", "Lighting effect on Bluetooth")),
        row("ms_1_hor_brightness", "brightness_text", slider("ms_1_slider_brightness", 0, 15, 8, "Brightness", page=3)),
        row("ms_1_hor_breathspeed", "breathspeed_text", slider("ms_1_slider_breathspeed", 0, 9, 6, "Breathing speed", page=3)),
        row("ms_1_hor_light_color", "light_color_text", hbox([
            button("ms_1_btn_light_color", acc="Lighting colour", skin="swatchwide",
                   props=fixed(56, 22) + pointer() + [tip("light_color_tip_text")]),
            hstretch()])),
    ], spacing=6))
    return section("light", "light_section_text", "Lighting", body)


def prate_card():
    opts = [option(f"ms_1_btn_prate_{n}", f"prate_{n}_text", f"Polling rate {(125, 250, 500, 1000)[n - 1]} Hz",
                   "prate_group", checked=(n == 4), props=fixed(None, 30) + natural())
            for n in range(1, 5)]
    body = container("ms_1_ver_prate", hbox(opts + [hstretch()], spacing=6))
    readout = label("ms_1_label_prate", "prate_4_text", acc="Polling rate", skin="readout",
                    props=[P("alignment", Set("Qt::AlignRight|Qt::AlignVCenter"))])
    return section("prate", "prate_section_text", "Polling rate", body, header_extra=[readout])


def attribute_card():
    body = container("ms_1_ver_mouse_attribute", hbox([
        label("ms_1_label_mouse_attribute", "mouse_attribute_hint_text", skin="hint", wrap=True),
        button("ms_1_btn_mouse_attribute", "mouse_attribute_btn_text", acc="Open system mouse settings",
               props=pointer() + natural()),
    ], spacing=12))
    return section("mouse_attribute", "mouse_attribute_section_text", "Pointer", body)


def power_setting_card():
    body = container("ms_1_ver_power_setting", grid([
        (label("ms_1_label_light_off", acc="Lights off time", skin="value", props=fixed(176)), 0, 0),
        (slider("ms_1_slider_light_off", 1, 60, 1, "Lights off time", page=6), 0, 1),
        (label("ms_1_label_sleep_timer", acc="Sleep time", skin="value", props=fixed(176)), 1, 0),
        (slider("ms_1_slider_sleep_timer", 1, 60, 10, "Sleep time", page=5), 1, 1),
    ], spacing=(10, 10)))
    return section("power_setting", "power_setting_section_text", "Power saving", body)


def two_way_card(sec, title_key, acc, hint_key, keys, default):
    group = f"{sec}_group"
    opts = [option(f"ms_1_option_{sec}_{n}", keys[n - 1], f"{acc}: {('low', 'high')[n - 1] if sec == 'lift_of_distance' else ('off', 'on')[n - 1]}",
                   group, checked=(n - 1 == default), props=fixed(None, 30) + natural()) for n in (1, 2)]
    body = container(f"ms_1_hor_{sec}", hbox([
        label(f"ms_1_label_{sec}_hint", hint_key, skin="hint", wrap=True), hgap(8), *opts], spacing=6))
    return section(sec, title_key, acc, body)


def debounce_card():
    body = container("ms_1_hor_key_debounce", hbox([
        label("ms_1_label_key_debounce_hint", "key_debounce_hint_text", skin="hint", wrap=True, props=fixed(176)),
        slider("ms_1_slider_key_debounce", 1, 15, 4, "Key debounce time", page=3),
        label("ms_1_label_key_debounce", acc="Key debounce time", skin="readout",
              props=fixed(56) + [P("alignment", Set("Qt::AlignRight|Qt::AlignVCenter"))]),
    ], spacing=10))
    return section("key_debounce", "key_debounce_section_text", "Key debounce", body)


def settings_column():
    column = container("ms_1_ver_setting", vbox([
        buttons_card(),
        dpi_card(),
        light_card(),
        prate_card(),
        attribute_card(),
        power_setting_card(),
        two_way_card("lift_of_distance", "lift_section_text", "Lift-off distance", "lift_hint_text",
                     ("lift_low_text", "lift_high_text"), 0),
        debounce_card(),
        two_way_card("ripple_control", "ripple_section_text", "Ripple control", "ripple_hint_text",
                     ("option_off_text", "option_on_text"), 1),
        two_way_card("angle_snap", "angle_snap_section_text", "Angle snapping", "angle_snap_hint_text",
                     ("option_off_text", "option_on_text"), 1),
        two_way_card("motion_sync", "motion_sync_section_text", "Motion sync", "motion_sync_hint_text",
                     ("option_off_text", "option_on_text"), 1),
        vstretch(),
    ], (0, 0, 10, 0), 10), props=[P("geometry", Rect((0, 0, 500, 1800)))])
    scroll = Widget("QScrollArea", unique("ms_1_scroll_setting"), [
        P("widgetResizable", True),
        P("frameShape", Enum("QFrame::NoFrame")),
        P("horizontalScrollBarPolicy", Enum("Qt::ScrollBarAlwaysOff")),
        P("accessibleName", "Settings"),
        D("skin", "page"),
    ], children=[column])
    ring = label("apply_ring", "applying_text", acc="Saving to the mouse", skin="busy", props=hidden())
    footer = container("ms_1_footer", hbox([
        button("ms_1_check_movemode", "movemode_text", acc="Move mode", cls="QCheckBox", props=pointer()),
        hstretch(),
        ring,
        hgap(6),
        button("ms_1_btn_reset", "reset_profile_text", acc="Restore profile defaults", props=pointer()),
        button("ms_1_apply_btn", "apply_text", acc="Apply to mouse", skin="primary", props=pointer() + fixed(96)),
    ], (2, 0, 0, 0), 8), props=fixed(None, 34))
    return vbox([scroll, footer], spacing=10)


def main_window():
    left = container("ms_1_left_column", vbox([device_card(), power_card(), profile_card()], spacing=10),
                     props=fixed(256))
    page = container("ms_1_page", hbox([left, settings_column()], (12, 12, 12, 12), 12), "page",
                     props=[D("virtualwnd", "MS_1_Page")])
    switch = Widget("QStackedWidget", unique("device_tab_switch"),
                    [P("currentIndex", 0), P("accessibleName", "Device")], children=[page])
    # The window's size is its smallest: the user may make it larger (its edges resize it), and
    # the settings column takes the room.
    root = Widget("QWidget", unique("main"), [
        P("geometry", Rect((0, 0, 800, 572))),
        P("minimumSize", Size((800, 572))),
        P("windowTitle", title_key("mouse_name_text")),
        P("accessibleName", "Mokta Gaming Mouse"),
        D("skin", "window"),
    ], vbox([title_bar(), switch], spacing=0))
    return root


# ---------------------------------------------------------------------------------------------
# Message box and DPI pop-up


def msg_box():
    icon = label("warning_icon", skin="warnicon", props=fixed(28, 28))
    title = label("warning_title", "warning_title_text", acc="Title", skin="dialogtitle")
    text = label("warning", "no_device_text", acc="Message", skin="message", wrap=True,
                 props=[P("alignment", Set("Qt::AlignLeft|Qt::AlignTop"))])
    # OK is written first so that it comes first in the keyboard order; it sits on the right.
    ok = button("btn_ok", "ok_text", acc="OK", skin="primary",
                props=pointer() + [P("minimumSize", Size((88, 0))), P("default", True)])
    cancel = button("btn_cancel", "cancel_text", acc="Cancel", props=pointer() + [P("minimumSize", Size((88, 0)))])
    buttons = grid([(hstretch(), 0, 0), (ok, 0, 2), (cancel, 0, 1)], spacing=8)
    root = Widget("QWidget", unique("msg"), [
        P("geometry", Rect((0, 0, 380, 180))),
        P("minimumSize", Size((380, 180))),
        P("maximumSize", Size((380, 180))),
        P("windowTitle", title_key("warning_title_text")),
        D("skin", "popup"),
    ], vbox([hbox([icon, title], spacing=10), text, buttons], (20, 18, 20, 16), 12))
    return root


def dpi_popup():
    text = label("dpi_label", acc="DPI", skin="osd", props=[P("alignment", Set("Qt::AlignCenter"))])
    return Widget("QWidget", unique("dpi_msg"), [
        P("geometry", Rect((0, 0, 200, 50))),
        P("minimumSize", Size((200, 50))),
        P("maximumSize", Size((200, 50))),
        P("windowTitle", title_key("mouse_name_text")),
        D("skin", "osd"),
    ], hbox([text], (8, 4, 8, 4), 0))


# ---------------------------------------------------------------------------------------------
# Colour dialog

# The preset buttons' colours (ARGB) and the names a screen reader announces for them.
PRESETS = (
    (0xFF00FFFF, "Cyan"), (0xFF6CFF00, "Lime"), (0xFF7F00FF, "Violet"), (0xFF007FFF, "Azure"),
    (0xFF0000FF, "Blue"), (0xFF7FFF00, "Chartreuse"), (0xFFFF5400, "Orange red"), (0xFFFF7F00, "Orange"),
    (0xFFFFB400, "Amber"), (0xFFFFFF00, "Yellow"), (0xFFFF0000, "Red"), (0xFFFF00FF, "Magenta"),
    (0xFF1EB40A, "Green"), (0xFF48B1FF, "Sky blue"), (0xFFFF48B0, "Pink"), (0xFFFFFFFF, "White"),
)


def color_dialog():
    palette = Widget("ColorPalette", unique("ColorPallet"),
                     [P("accessibleName", "Colour palette")] + fixed(None, 70))
    presets = []
    for n, (argb, name) in enumerate(PRESETS, 1):
        b = button(f"mouse_dpi_color_{n}", acc=f"Preset colour {name}", skin="preset",
                   props=fixed(25, 16) + pointer() + [P("styleSheet", f"background-color: #{argb & 0xFFFFFF:06x};"),
                                                      tip(f"preset_color_{n}_text")])
        presets.append((b, (n - 1) // 8, (n - 1) % 8))
    shown = label("color_show_control", acc="Chosen colour", skin="colorshow", props=fixed(30, 24), textless=True)

    def component(name, letter, acc):
        edit = Widget("QLineEdit", unique(name), [
            P("accessibleName", acc), P("maxLength", 4), D("skin", "number"),
            P("alignment", Set("Qt::AlignRight|Qt::AlignVCenter")),
        ] + fixed(44, 24))
        return [label(f"{name}_label", skin="hint", props=[P("text", letter)] + natural()), edit]

    edits = hbox([shown, hgap(4)] + component("r_edit", "R", "Red") + component("g_edit", "G", "Green")
                 + component("b_edit", "B", "Blue"), spacing=4)
    # OK is written first so that it comes first in the keyboard order; it sits on the right.
    ok = button("confirm_btn", "ok_text", acc="OK", skin="primary",
                props=pointer() + fixed(72, 24) + [P("default", True)])
    cancel = button("cancel_btn", "cancel_text", acc="Cancel", props=pointer() + fixed(72, 24))
    buttons = grid([(hstretch(), 0, 0), (ok, 0, 2), (cancel, 0, 1)], spacing=8)
    return Widget("QWidget", unique("DpiColorDialog"), [
        P("geometry", Rect((0, 0, 250, 200))),
        P("minimumSize", Size((250, 200))),
        P("maximumSize", Size((250, 200))),
        P("windowTitle", title_key("color_title_text")),
        P("accessibleName", "Choose a colour"),
        D("skin", "popup"),
    ], vbox([palette, grid(presets, spacing=(3, 4)), edits, buttons], (8, 8, 8, 8), 6))


# ---------------------------------------------------------------------------------------------
# Name dialog of profiles (and of recoil patterns)


def profile_name_dialog():
    title = label("title_string", "profile_name_1_text", acc="Dialog title", skin="dialogtitle")
    close = button("btn_exit", acc="Close", skin="titlebtn",
                   props=fixed(34, 28) + [P("focusPolicy", Enum("Qt::NoFocus")), D("glyph", "close"),
                                          tip("close_text")])
    edit = Widget("QLineEdit", unique("edit_name"), [P("maxLength", 99), P("accessibleName", "Profile name")])
    name_label = label("label_name", "name_label_text", skin="rowlabel",
                       props=[P("buddy", Cstring("edit_name"))] + natural())
    # OK is written first so that it comes first in the keyboard order; it sits on the right.
    ok = button("btn_ok", "ok_text", acc="OK", skin="primary",
                props=pointer() + [P("minimumSize", Size((88, 0))), P("default", True)])
    cancel = button("btn_cancel", "cancel_text", acc="Cancel", props=pointer() + [P("minimumSize", Size((88, 0)))])
    buttons = grid([(hstretch(), 0, 0), (ok, 0, 2), (cancel, 0, 1)], spacing=8)
    return Widget("QWidget", unique("profile_name"), [
        P("geometry", Rect((0, 0, 380, 170))),
        P("minimumSize", Size((380, 170))),
        P("maximumSize", Size((380, 170))),
        P("windowTitle", title_key("mouse_name_text")),
        D("skin", "popup"),
    ], vbox([hbox([title, hstretch(), close], spacing=8), hbox([name_label, edit], spacing=10), buttons],
            (20, 14, 14, 16), 12))


# ---------------------------------------------------------------------------------------------
# Pick dialogs: a macro or a recoil pattern with its repeat mode, and a key combination


def dialog_title_row(title_key_name):
    title = label("title_string", title_key_name, acc="Dialog title", skin="dialogtitle")
    close = button("btn_exit", acc="Close", skin="titlebtn",
                   props=fixed(34, 28) + [P("focusPolicy", Enum("Qt::NoFocus")), D("glyph", "close"),
                                          tip("close_text")])
    return hbox([title, hstretch(), close], spacing=8)


def ok_cancel_row():
    # OK is written first so that it comes first in the keyboard order; it sits on the right.
    ok = button("btn_ok", "ok_text", acc="OK", skin="primary",
                props=pointer() + [P("minimumSize", Size((88, 0))), P("default", True)])
    cancel = button("btn_cancel", "cancel_text", acc="Cancel", props=pointer() + [P("minimumSize", Size((88, 0)))])
    return grid([(hstretch(), 0, 0), (ok, 0, 2), (cancel, 0, 1)], spacing=8)


def select_list_dialog(root_name, title, list_acc):
    names = Widget("QListWidget", unique("list_macro"), [P("accessibleName", list_acc),
                                                         P("focusPolicy", Enum("Qt::StrongFocus"))])
    # Why the selected entry cannot be assigned; shown only for such an entry.
    refusal = label("label_refusal", acc="Why it cannot be assigned", skin="hint", wrap=True, props=hidden())
    options = [option(f"repeat_{n}", f"repeat_mode_{n}_text", acc, "repeat_group",
                      checked=(n == 1))
               for n, acc in ((1, "Repeat a number of times"), (2, "Repeat while the button is held"),
                              (3, "Repeat until the button is pressed again"))]
    edit = Widget("QLineEdit", unique("edit_loop_time"), [
        P("accessibleName", "Number of times"), P("maxLength", 5), D("skin", "number"),
        P("alignment", Set("Qt::AlignRight|Qt::AlignVCenter")),
    ] + fixed(60, 24))
    count_label = label("label_loop_time", "loop_time_text", skin="rowlabel",
                        props=[P("buddy", Cstring("edit_loop_time"))] + natural())
    loop = container("hor_loop_time", hbox([hgap(24), edit, count_label, hstretch()], spacing=8))
    return Widget("QWidget", unique(root_name), [
        P("geometry", Rect((0, 0, 380, 420))),
        P("minimumSize", Size((380, 420))),
        P("maximumSize", Size((380, 420))),
        P("windowTitle", title_key(title)),
        P("accessibleName", list_acc),
        D("skin", "popup"),
    ], vbox([dialog_title_row(title), names, refusal, *options, loop, ok_cancel_row()], (20, 14, 14, 16), 8))


def select_macro_dialog():
    return select_list_dialog("selectmacro", "select_macro_title_text", "Macros")


def select_gun_dialog():
    return select_list_dialog("selectgun", "select_gun_title_text", "Recoil patterns")


def shortcut_dialog():
    hint = label("label_hint", "shortcut_hint_text", acc="How to choose", skin="hint", wrap=True)
    checks = [button(f"check_flag_{n}", key, acc=f"{acc} modifier", cls="QCheckBox", props=pointer())
              for n, key, acc in ((1, "keyboard_ctrl_text", "Ctrl"), (2, "keyboard_shift_text", "Shift"),
                                  (3, "keyboard_alt_text", "Alt"), (4, "keyboard_win_text", "Super"))]
    edit = Widget("QLineEdit", unique("edit_key"), [
        P("readOnly", True), P("accessibleName", "Key"),
        P("accessibleDescription", "Every key pressed while this field has the focus is captured; Tab leaves it"),
        P("focusPolicy", Enum("Qt::StrongFocus")),
    ] + fixed(None, 28))
    key_label = label("label_key", "shortcut_key_text", skin="rowlabel",
                      props=[P("buddy", Cstring("edit_key"))] + natural())
    # Why keys are captured only inside the program's windows; shown only then.
    reason = label("label_hook_reason", acc="Where keys are captured", skin="hint", wrap=True, props=hidden())
    return Widget("QWidget", unique("shortcut"), [
        P("geometry", Rect((0, 0, 400, 290))),
        P("minimumSize", Size((400, 290))),
        P("maximumSize", Size((400, 290))),
        P("windowTitle", title_key("shortcut_title_text")),
        P("accessibleName", "Key combination"),
        D("skin", "popup"),
    ], vbox([dialog_title_row("shortcut_title_text"), hint, hbox(checks, spacing=12),
             hbox([key_label, edit], spacing=10), reason, vstretch(), ok_cancel_row()], (20, 14, 14, 16), 10))


# ---------------------------------------------------------------------------------------------
# The macro editor: the macro list on the left, the actions of the selected macro in the
# middle, recording and the action editor on the right.


def macro_page():
    def small(name, key, acc, props=()):
        return button(name, key, acc=acc, props=pointer() + [P("sizePolicy", Policy(("Minimum", "Fixed")))]
                      + list(props))

    def number_edit(name, acc, text):
        return Widget("QLineEdit", unique(name), [
            P("accessibleName", acc), P("maxLength", 5), D("skin", "number"), P("text", text),
            P("alignment", Set("Qt::AlignRight|Qt::AlignVCenter")),
        ] + fixed(70, 26))

    def row_label(name, key, buddy):
        return label(name, key, skin="rowlabel", props=[P("buddy", Cstring(buddy))] + natural())

    macros = Widget("QListWidget", unique("ms_1_macro_list"), [
        P("accessibleName", "Macros"), P("focusPolicy", Enum("Qt::StrongFocus"))] + fixed(200, None))
    list_ops = grid([
        (small("ms_1_macro_add_btn", "add_text", "Add a macro"), 0, 0),
        (small("ms_1_macro_delete_btn", "delete_text", "Delete the macro"), 0, 1),
        (small("ms_1_macro_import_btn", "import_text", "Import a macro file"), 1, 0),
        (small("ms_1_macro_export_btn", "export_text", "Export the macro to a file"), 1, 1),
    ], spacing=6)
    left = vbox([label("ms_1_macro_list_label", "macro_title_text", skin="rowlabel"), macros, list_ops], spacing=8)

    name_edit = Widget("QLineEdit", unique("ms_1_macro_name_edit"), [
        P("accessibleName", "Macro name"), P("maxLength", 23)] + fixed(None, 26))
    name_tab = container("ms_1_macro_name_tab", hbox([
        row_label("ms_1_macro_name_label", "macro_name_text", "ms_1_macro_name_edit"), name_edit], spacing=8))
    clicks = [small(f"ms_1_macro_key{n}_btn", key, f"Insert a {acc} click")
              for n, key, acc in ((1, "left_click_text", "left"), (2, "right_click_text", "right"),
                                  (3, "wheel_click_text", "middle"), (4, "forward_text", "forward button"),
                                  (5, "backward_text", "back button"))]
    mouse_tab = container("ms_1_macro_mouse_event_tab", hbox(clicks + [hstretch()], spacing=6), props=hidden())

    actions = Widget("QTableWidget", unique("ms_1_macro_action_list"), [
        P("accessibleName", "Actions"), P("focusPolicy", Enum("Qt::StrongFocus"))])
    action_ops = vbox([hbox([
        small("ms_1_macro_up_btn", "move_up_text", "Move the action up"),
        small("ms_1_macro_down_btn", "move_down_text", "Move the action down"),
        small("ms_1_macro_delete_action_btn", "delete_action_text", "Delete the action"),
        small("ms_1_macro_clear_action_btn", "clear_actions_text", "Delete every action"),
        hstretch(),
    ], spacing=6), hbox([
        button("ms_1_macro_insert_mouse_btn", "insert_mouse_text", acc="Insert mouse button clicks",
               cls="QCheckBox", props=pointer()),
        hstretch(),
    ])], spacing=8)
    middle = vbox([name_tab, mouse_tab, label("ms_1_macro_actions_label", "macro_actions_text", skin="rowlabel"),
                   actions, action_ops], spacing=8)

    record = button("ms_1_macro_record_btn", "start_recording_text", acc="Record", cls="QCheckBox",
                    skin="chip", props=pointer())
    modes = [option(name, key, acc, "delay_mode_group", checked=(name == "ms_1_default_delay_btn"),
                    skin="chip")
             for name, key, acc in (("ms_1_record_delay_btn", "record_delay_text", "Record the delays"),
                                    ("ms_1_default_delay_btn", "default_delay_text", "Fixed delay"),
                                    ("ms_1_no_delay_btn", "no_delay_text", "No delay"))]
    default_delay = hbox([hgap(22), number_edit("ms_1_default_delay_edit", "Fixed delay in milliseconds", "10"),
                          label("ms_1_default_delay_unit", "ms_text", props=natural()), hstretch()], spacing=6)
    # Why input is recorded only inside the program's windows; shown only then.
    reason = label("label_hook_reason", acc="Where input is recorded", skin="hint", wrap=True, props=hidden())

    key_page = container("ms_1_macro_key_action_page", grid([
        (row_label("ms_1_macro_action_label", "key_text", "ms_1_macro_action_edit"), 0, 0),
        (Widget("QLineEdit", unique("ms_1_macro_action_edit"), [
            P("readOnly", True), P("accessibleName", "Key of the action"),
            P("accessibleDescription", "Every key pressed while this field has the focus becomes the action's key; Tab leaves it"),
            P("focusPolicy", Enum("Qt::StrongFocus"))] + fixed(None, 26)), 0, 1),
        (row_label("ms_1_macro_delay_label", "delay_text", "ms_1_macro_delay_edit"), 1, 0),
        (number_edit("ms_1_macro_delay_edit", "Delay of the action in milliseconds", ""), 1, 1),
    ], spacing=6))
    mouse_combo = Widget("QComboBox", unique("ms_1_macro_mouse_action_combo"), [
        P("accessibleName", "Mouse button of the action")] + pointer())
    mouse_page = container("ms_1_macro_mouse_action_page", grid([
        (row_label("ms_1_macro_mouse_label", "mouse_button_text", "ms_1_macro_mouse_action_combo"), 0, 0),
        (mouse_combo, 0, 1),
        (row_label("ms_1_macro_mouse_delay_label", "delay_text", "ms_1_macro_mouseaction_delay_edit"), 1, 0),
        (number_edit("ms_1_macro_mouseaction_delay_edit", "Delay of the action in milliseconds", ""), 1, 1),
    ], spacing=6))
    editor_tabs = Widget("QStackedWidget", unique("ms_1_macro_action_edit_tab"), [],
                         children=[container("ms_1_macro_empty_action_page", vbox([])), key_page, mouse_page])
    editor_buttons = container("ms_1_macro_action_edit_buttons", hbox([
        hstretch(),
        button("ms_1_macro_save_btn", "save_changes_text", acc="Save the action", skin="primary", props=pointer()),
        button("ms_1_macro_cancel_btn", "cancel_text", acc="Cancel the action edit", props=pointer()),
    ], spacing=6), props=hidden())
    right = vbox([record, *modes, default_delay, reason,
                  button("ms_1_macro_action_edit_check", "edit_action_text", acc="Edit the selected action",
                         cls="QCheckBox", props=pointer()),
                  editor_tabs, editor_buttons, vstretch()], spacing=8)
    right_box = container("ms_1_macro_record_column", right, props=fixed(260, None))

    return Widget("QWidget", unique("ms_1_macropage"), [
        P("geometry", Rect((0, 0, 980, 600))),
        P("minimumSize", Size((940, 560))),
        P("windowTitle", title_key("macro_title_text")),
        P("accessibleName", "Macros"),
        D("skin", "popup"),
    ], vbox([dialog_title_row("macro_title_text"), hbox([left, middle, right_box], spacing=16)],
            (20, 14, 14, 16), 12))
# Recoil pattern editor: the pattern list with its operations, the step count, 30 step rows
# (x, y and delay, each between a minus and a plus button) and the picture of the path, which
# the program puts into "gun_path".

GUN_FIELDS = (
    # field, what a screen reader calls it, the minus button, the plus button, edit length
    ("x", "horizontal offset", "zidan_x_up_btn", "zidan_x_down_btn", 6),
    ("y", "vertical offset", "zidan_y_down_btn", "zidan_y_up_btn", 6),
    ("delay", "delay", "zidan_delay_down_btn", "zidan_delay_up_btn", 5),
)
GUN_STEP_WIDTH = 40
GUN_FIELD_WIDTH = 112


def gun_row(n):
    items = [label(f"zidan_number_{n}", skin="rowlabel", props=[P("text", str(n))] + fixed(GUN_STEP_WIDTH))]
    for field, acc, minus, plus, length in GUN_FIELDS:
        name = f"Step {n} {acc}"
        edit = Widget("QLineEdit", unique(f"edit_zidan_{field}_{n}"), [
            P("accessibleName", name), P("accessibleDescription", "Up and Down change it by 1"),
            P("maxLength", length), D("skin", "number"),
            P("alignment", Set("Qt::AlignRight|Qt::AlignVCenter")),
        ] + fixed(56, 24))
        # The buttons repeat the edit's Up and Down keys for the pointer: out of the Tab order,
        # which then walks the edits only.
        no_tab = [P("focusPolicy", Enum("Qt::NoFocus"))]
        down = button(f"{minus}_{n}", acc=f"{name} minus 1",
                      props=fixed(24, 24) + pointer() + no_tab + [P("text", "\u2212"), tip("step_minus_text")])
        up = button(f"{plus}_{n}", acc=f"{name} plus 1",
                    props=fixed(24, 24) + pointer() + no_tab + [P("text", "+"), tip("step_plus_text")])
        items.append(container(f"hor_zidan_{field}_{n}", hbox([down, edit, up], spacing=4),
                               props=fixed(GUN_FIELD_WIDTH)))
    items.append(hstretch())
    return container(f"ver_zidan_{n}", hbox(items, spacing=8), props=fixed(None, 28))


def gun_editor():
    names = Widget("QListWidget", unique("gun_list"), [P("accessibleName", "Recoil patterns"),
                                                       P("focusPolicy", Enum("Qt::StrongFocus"))])
    ops = {n: button(n, key, acc=acc, props=pointer())
           for n, key, acc in (("add_btn", "add_text", "Add a pattern"),
                               ("rename_btn", "rename_text", "Rename the pattern"),
                               ("delete_btn", "delete_text", "Delete the pattern"),
                               ("import_btn", "import_text", "Import a pattern file"),
                               ("export_btn", "export_text", "Export the pattern to a file"))}
    left = container("gun_list_column", vbox([
        names,
        hbox([ops["add_btn"], ops["rename_btn"]], spacing=6),
        hbox([ops["delete_btn"], hstretch()], spacing=6),
        hbox([ops["import_btn"], ops["export_btn"]], spacing=6),
    ], spacing=6), props=fixed(190))

    combo = Widget("QComboBox", unique("combo_gun"), [P("accessibleName", "Number of steps"),
                                                      P("maxVisibleItems", 15)] + pointer() + fixed(72))
    combo.items = [str(n) for n in range(1, 31)]
    count_label = label("label_steps", "gun_steps_text", skin="rowlabel",
                        props=[P("buddy", Cstring("combo_gun"))] + natural())
    heads = [label("head_step", "gun_step_text", skin="hint", props=fixed(GUN_STEP_WIDTH))]
    heads += [label(f"head_{field}", f"gun_{field}_text", skin="hint",
                    props=fixed(GUN_FIELD_WIDTH) + [P("alignment", Set("Qt::AlignCenter"))])
              for field, *_ in GUN_FIELDS]
    rows = container("zidan_rows", vbox([gun_row(n) for n in range(1, 31)] + [vstretch()], (0, 4, 0, 4), 2),
                     "page", props=[P("geometry", Rect((0, 0, 400, 900)))])
    scroll = Widget("QScrollArea", unique("zidan_scroll"), [
        P("widgetResizable", True),
        P("frameShape", Enum("QFrame::NoFrame")),
        P("horizontalScrollBarPolicy", Enum("Qt::ScrollBarAlwaysOff")),
        P("accessibleName", "Steps"),
        D("skin", "page"),
    ], children=[rows])
    middle = vbox([hbox([count_label, combo, hstretch()], spacing=8), hbox(heads + [hstretch()], spacing=8),
                   scroll], spacing=6)

    picture = container("gun_path", vbox([], spacing=0), props=[P("minimumSize", Size((220, 220)))])
    totals = label("gun_path_totals", acc="Totals of the pattern", skin="hint", wrap=True,
                   props=[P("alignment", Set("Qt::AlignLeft|Qt::AlignTop"))] + fixed(None, 48))
    right = container("gun_path_column", vbox([label("label_path", "gun_path_text", skin="rowlabel",
                                                     props=fixed(None, 26)), picture, totals], spacing=6),
                      props=fixed(250))
    return Widget("QWidget", unique("gunpage"), [
        P("geometry", Rect((0, 0, 940, 600))),
        P("minimumSize", Size((940, 600))),
        P("maximumSize", Size((940, 600))),
        P("windowTitle", title_key("gun_title_text")),
        P("accessibleName", "Recoil patterns"),
        D("skin", "popup"),
    ], vbox([dialog_title_row("gun_title_text"), hbox([left, middle, right], spacing=14)], (20, 14, 14, 16), 10))


# ---------------------------------------------------------------------------------------------


CUSTOM_CLASSES = {"ColorPalette": "QWidget"}

FOCUS_CLASSES = {"QPushButton", "QCheckBox", "QRadioButton", "QSlider", "QLineEdit", "QComboBox",
                 "QListWidget", "QTableWidget", "ColorPalette"}


def takes_focus(w):
    if w.cls not in FOCUS_CLASSES:
        return False
    policy = next((v for n, v, _ in w.props if n == "focusPolicy"), None)
    visible = next((v for n, v, _ in w.props if n == "visible"), True)
    return policy != "Qt::NoFocus" and visible


def build(root, path, first_stops=()):
    # Combo items need <item> children; patch the tree after writing the widgets.
    write_ui(path, root, _button_groups, first_stops)
    tree = ET.parse(path)
    for w in iter_widgets(root):
        items = getattr(w, "items", None)
        if not items:
            continue
        elem = tree.getroot().find(f".//widget[@name='{w.name}']")
        for k in items:
            it = ET.SubElement(elem, "item")
            write_prop(it, "text", k)
    ET.indent(tree.getroot(), space=" ")
    path.write_text('<?xml version="1.0" encoding="UTF-8"?>\n' + ET.tostring(tree.getroot(), encoding="unicode") + "\n",
                    encoding="utf-8")


def iter_widgets(w):
    """Every widget of the tree in layout order (the order a reader of the window meets them)."""
    yield w
    if w.layout:
        yield from iter_layout(w.layout)
    for c in w.children:
        yield from iter_widgets(c)


def iter_layout(lay):
    items = lay.items
    if lay.cls == "QGridLayout":  # by row, then column
        items = sorted(items, key=lambda it: (it[1], it[2]))
    for it in items:
        item = it[0] if isinstance(it, tuple) else it
        if isinstance(item, Widget):
            yield from iter_widgets(item)
        elif isinstance(item, Layout):
            yield from iter_layout(item)


def check_keys():
    lan = ET.parse(RES / "lan.xml").getroot()
    known = {t.get("key") for t in lan.iter("Text")}
    missing = sorted(_keys_used - known)
    if missing:
        raise SystemExit(f"keys missing from res/lan.xml: {', '.join(missing)}")


def make_images():
    tool = shutil.which("rsvg-convert")
    if tool is None:
        raise SystemExit("rsvg-convert (Debian package librsvg2-bin) is needed for --images")
    icon = RES / "icons" / "mokta-mouse.svg"
    for size in (16, 24, 32, 48, 64, 128, 256):
        subprocess.run([tool, "-w", str(size), "-h", str(size), str(icon), "-o",
                        str(RES / "icons" / f"mokta-mouse-{size}.png")], check=True)
    for svg in sorted((RES / "skin").glob("*.svg")):
        width = int(ET.parse(svg).getroot().get("width"))
        height = int(ET.parse(svg).getroot().get("height"))
        for scale, suffix in ((1, ""), (2, "@2x")):
            out = svg.with_name(f"{svg.stem}{suffix}.png")
            subprocess.run([tool, "-w", str(width * scale), "-h", str(height * scale), str(svg), "-o", str(out)],
                           check=True)


LAYOUTS = (
    (main_window, "main.xml", ("ms_1_list_profile", "ms_1_profile_add_btn", "ms_1_profile_rename_btn",
                               "ms_1_profile_delete_btn", "ms_1_profile_import_btn",
                               "ms_1_profile_export_btn", "ms_1_profile_reset_btn")),
    (msg_box, "msg.xml", ()),
    (dpi_popup, "DPImsg.xml", ()),
    (color_dialog, "DpiColorDialog.xml", ()),
    (profile_name_dialog, "MS/MS_1/ms_1_profile_name.xml", ()),
    (select_macro_dialog, "MS/MS_1/selectmacro.xml", ()),
    (select_gun_dialog, "MS/MS_1/selectgun.xml", ()),
    (shortcut_dialog, "shortcut.xml", ()),
    (macro_page, "MS/MS_1/ms_1_macropage.xml", ()),
    (gun_editor, "MS/MS_1/gunpage.xml", ("gun_list", "add_btn", "rename_btn", "delete_btn", "import_btn",
                                         "export_btn", "combo_gun")),
)


# ---------------------------------------------------------------------------------------------
# The button assignment menu (a menu file of menu_builder.h, not a Designer layout): every item
# name is the program's (the function it assigns); grouped the way a user scans it.

BUTTON_MENU = (
    ("menu_mouse_text", (("ms_1_click", "left_click_text"), ("ms_1_menu", "right_click_text"),
                         ("ms_1_scroll", "wheel_click_text"), ("ms_1_backward", "backward_text"),
                         ("ms_1_forward", "forward_text"), ("ms_1_double_click", "double_click_text"),
                         ("ms_1_fire_button", "fire_button_text"), ("ms_1_button_off", "button_off_text"))),
    ("menu_dpi_text", (("ms_1_dpi_cycle", "dpi_cycle_text"), ("ms_1_dpi_up", "dpi_up_text"),
                       ("ms_1_dpi_down", "dpi_down_text"), ("ms_1_easy_aim", "easy_aim_text"))),
    ("menu_scroll_text", (("ms_1_scroll_up", "scroll_up_text"), ("ms_1_scroll_down", "scroll_down_text"),
                          ("ms_1_titl_left", "titl_left_text"), ("ms_1_titl_right", "titl_right_text"))),
    None,
    ("ms_1_shortcut", "shortcut_text"),
    ("ms_1_select_macro", "select_macro_text"),
    ("ms_1_select_gun", "select_gun_text"),
    None,
    ("menu_edit_text", (("ms_1_cut", "cut_text"), ("ms_1_copy", "copy_text"), ("ms_1_paste", "paste_text"),
                        ("ms_1_redo", "redo_text"), ("ms_1_select_all", "select_all_text"),
                        ("ms_1_find", "find_text"), ("ms_1_open", "open_text"), ("ms_1_save", "save_text"),
                        ("ms_1_print", "print_text"))),
    ("menu_media_text", (("ms_1_play_pause", "play_pause_text"), ("ms_1_media_stop", "media_stop_text"),
                         ("ms_1_pre_track", "previous_track_text"), ("ms_1_next_track", "next_track_text"),
                         ("ms_1_volume_up", "volume_up_text"), ("ms_1_volume_down", "volume_down_text"),
                         ("ms_1_mute", "mute_text"), ("ms_1_media_player", "media_player_text"))),
    ("menu_browser_text", (("ms_1_browser_backward", "browser_backward_text"),
                           ("ms_1_browser_forward", "browser_forward_text"),
                           ("ms_1_browser_refresh", "browser_refresh_text"),
                           ("ms_1_browser_stop", "browser_stop_text"),
                           ("ms_1_browser_home", "browser_home_text"),
                           ("ms_1_browser_search", "browser_search_text"),
                           ("ms_1_browser_favorites", "browser_favorites_text"))),
    ("menu_system_text", (("ms_1_close_window", "close_window_text"), ("ms_1_swap_windows", "swap_windows_text"),
                          ("ms_1_show_desktop", "show_desktop_text"), ("ms_1_run_command", "run_command_text"),
                          ("ms_1_lock_pc", "lock_pc_text"), ("ms_1_screen_capture", "screen_capture_text"),
                          ("ms_1_email", "email_text"), ("ms_1_calculator", "calculator_text"),
                          ("ms_1_my_computer", "my_computer_text"), ("ms_1_led_loop", "led_loop_text"))),
)


def write_button_menu(path):
    root = ET.Element("Menu")
    for entry in BUTTON_MENU:
        if entry is None:
            ET.SubElement(root, "Separator")
        elif isinstance(entry[1], str):
            ET.SubElement(root, "Item", name=unique(entry[0]), text=entry[1])
            _keys_used.add(entry[1])
        else:
            sub = ET.SubElement(root, "Menu", text=entry[0])
            _keys_used.add(entry[0])
            for name, key in entry[1]:
                ET.SubElement(sub, "Item", name=unique(name), text=key)
                _keys_used.add(key)
    ET.indent(root, space="  ")
    path.write_text('<?xml version="1.0" encoding="UTF-8"?>\n' + ET.tostring(root, encoding="unicode") + "\n",
                    encoding="utf-8")


MENUS = ((write_button_menu, "MS/MS_1/ms_1_menu.xml"),)


def write_layouts(folder):
    for make, file, first_stops in LAYOUTS:
        _names.clear()
        _layout_count[0] = 0
        _spacer_count[0] = 0
        _button_groups.clear()
        (folder / file).parent.mkdir(parents=True, exist_ok=True)
        build(make(), folder / file, first_stops)
    for make, file in MENUS:
        _names.clear()
        (folder / file).parent.mkdir(parents=True, exist_ok=True)
        make(folder / file)
    check_keys()


def check_layouts(max_lines=200):
    """Generates the layouts into a temporary folder and compares them with res/. Returns the
    number of layouts that differ, after printing a unified diff (at most max_lines lines) of
    each."""
    differing = 0
    with tempfile.TemporaryDirectory(prefix="mokta-layouts-") as tmp:
        write_layouts(pathlib.Path(tmp))
        for file in [f for _, f, _ in LAYOUTS] + [f for _, f in MENUS]:
            fresh = (pathlib.Path(tmp) / file).read_text(encoding="utf-8").splitlines(keepends=True)
            kept_path = RES / file
            kept = kept_path.read_text(encoding="utf-8").splitlines(keepends=True) if kept_path.exists() else []
            if fresh == kept:
                continue
            differing += 1
            diff = list(difflib.unified_diff(kept, fresh, f"res/{file}", f"res/{file} (generated)"))
            sys.stdout.writelines(diff[:max_lines])
            if len(diff) > max_lines:
                print(f"... {len(diff) - max_lines} more diff lines for res/{file}")
    return differing


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--images", action="store_true", help="also render the PNGs from the SVGs")
    parser.add_argument("--check", action="store_true",
                        help="compare the generated layouts with res/ instead of writing them")
    args = parser.parse_args()
    if args.check:
        if args.images:
            parser.error("--check compares the layouts only; leave out --images")
        differing = check_layouts()
        if differing:
            print(f"make_layouts: {differing} layout(s) in res/ differ from what scripts/make_layouts.py "
                  "writes; edit the script and run it again rather than the .ui files", file=sys.stderr)
            return 1
        print(f"make_layouts: the {len(LAYOUTS) + len(MENUS)} layouts in res/ match what scripts/make_layouts.py writes")
        return 0
    write_layouts(RES)
    if args.images:
        make_images()
    return 0


if __name__ == "__main__":
    sys.exit(main())
