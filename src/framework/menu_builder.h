#pragma once

// Menus from the menu files of the resource folder ("traymenu.xml", "MS/MS_1/ms_1_menu.xml").
//
// Format (UTF-8 XML):
//
//   <Menu>
//     <Item name="configuration" text="configuration_text"/>
//     <Separator/>
//     <Menu text="macro_group_text">               (a sub-menu; its name is optional)
//       <Item name="ms_1_macro" text="macro_text"/>
//     </Menu>
//     <Item name="exit" text="exit_text" enabled="false"/>
//   </Menu>
//
// "name" is what a click reports; "text" is a language key when it ends in "_text" (as in
// layouts, control_text.h), otherwise shown as written; an item without a text shows its name.
// enabled="false" greys an item out; checkable="true" gives it a check mark, which the caller
// sets. Other elements and attributes are ignored.

#include <QString>
#include <functional>

class QMenu;
class QWidget;

namespace mokta {

// Receives the name of the item the user chose.
using MenuCommandHandler = std::function<void(const QString& item_name)>;

// Builds the menu of `menu_file` (relative to the resource folder) with `parent` as parent
// (it is deleted with it). A click on an item calls `on_command` with the item's name, on the
// UI thread, while the menu is closing: the handler must not delete the menu (the program posts
// MSG_MENU_COMMAND and acts later). A missing or damaged file is logged and gives an empty
// menu, never null. The caller shows the menu (popup or exec) and deletes it when done.
QMenu* BuildMenu(const QString& menu_file, QWidget* parent, MenuCommandHandler on_command);

}  // namespace mokta
