// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Menus.h"

#include <QFont>
#include <QPixmap>
#include <initializer_list>

#include "app/CommandBar.h"
#include "editor/EditorCommands.h"

// Resources of a static library are linked only when something names them.
static void InitIconResources() {
  Q_INIT_RESOURCE(icons);
}

namespace pelorin {

namespace {

struct BarDef {
  const char* key;
  const char* title;
};

const BarDef kBars[] = {
    {"MAINbar", "Main bar"},         {"FILEbar", "File menu"}, {"EDITbar", "Edit menu"},
    {"PREFbar", "Preferences menu"}, {"HELPbar", "Help menu"}, {"BOTTOMbar", "Bottom bar"},
    {"POPUPbar", "Popup bar"},
};

struct ItemDef {
  const char* key;
  const char* caption;
  ItemStyle style;
  int icon;
  int shortcutKey;
  int shortcutModifiers;
  const char* subBar;
};

constexpr ItemStyle N = ItemStyle::Normal;
constexpr ItemStyle S = ItemStyle::Separator;
constexpr ItemStyle P = ItemStyle::Panel;
constexpr ItemStyle C = ItemStyle::Check;

const ItemDef kItems[] = {
    {"GOTOPANEL", "         Go to:", P, -1, 0, 0, nullptr},
    {"ADDDEVPANEL", "         Add divider:", P, -1, 0, 0, nullptr},
    {"REMOVEDEVPANEL", "         Remove divider:", P, -1, 0, 0, nullptr},
    {"FILE", "File", N, -1, 0, 0, "FILEbar"},
    {"FILE:NEW", "New window", N, kIconNewWindow, 'N', kCtrlMask, nullptr},
    {"FILE:STOP", "Stop waiting for process", N, -1, 'Z', kCtrlMask, nullptr},
    {"FILE:EXIT", "Exit", N, -1, 'X', kCtrlMask, nullptr},
    {"FILE:SEP", "", S, -1, 0, 0, nullptr},
    {"EDIT", "Edit", N, -1, 0, 0, "EDITbar"},
    {"EDIT:COPY", "Copy", N, kIconCopy, 'C', kCtrlMask, nullptr},
    {"EDIT:PASTE", "Paste", N, kIconPaste, 'V', kCtrlMask, nullptr},
    {"EDIT:SELLINE", "Select line", N, -1, 'S', kCtrlMask, nullptr},
    {"EDIT:SELALL", "Select All", N, -1, 'A', kCtrlMask, nullptr},
    {"EDIT:SEP1", "", S, -1, 0, 0, nullptr},
    {"EDIT:FIND", "Find...", N, kIconFind, 'F', kCtrlMask, nullptr},
    {"EDIT:FINDMARK", "Find and mark all", N, -1, 0, 0, nullptr},
    {"EDIT:FINDNEXT", "Find next", N, -1, 'G', kCtrlMask, nullptr},
    {"EDIT:SEP2", "", S, -1, 0, 0, nullptr},
    {"EDIT:GOTOLINE", "Go to &Line...", N, -1, 'L', kCtrlMask, nullptr},
    {"EDIT:ADDDEV", "Add Divider line", N, -1, 'D', kCtrlMask, nullptr},
    {"EDIT:REMOVEDEV", "Remove divider line", N, -1, 'D', kCtrlMask | kAltMask, nullptr},
    {"POP:ADDDEV", "Add divider line", N, -1, 0, 0, nullptr},
    {"POP:REMOVEDEV", "Remove divider line", N, -1, 0, 0, nullptr},
    {"PREF", "Preferences", N, -1, 0, 0, "PREFbar"},
    {"PREF:FONT", "Font...", N, -1, 0, 0, nullptr},
    {"PREF:CURDIR", "Set start-up dir to current dir", N, -1, 0, 0, nullptr},
    {"PREF:SPACES", "Visible spaces", C, -1, 0, 0, nullptr},
    {"PREF:LINENUM", "Line numbers", C, -1, 0, 0, nullptr},
    {"PREF:HIGHLIGHT", "Line highlighting", C, -1, 0, 0, nullptr},
    {"PREF:COLOURS", "Desktop colours", C, -1, 0, 0, nullptr},
    {"HELP", "Help", N, -1, 0, 0, "HELPbar"},
    {"HELP:ONLINE", "Help forum", N, kIconHelp, kVkF1, 0, nullptr},
    {"HELP:GUIDE", "User's guide", N, -1, 0, 0, nullptr},
    {"HELP:QUICK", "Quick help", N, -1, 0, 0, nullptr},
    {"HELP:ADD", "Adding commands", N, -1, 0, 0, nullptr},
    {"HELP:HOMEPAGE", "Vantree Software homepage", N, -1, 0, 0, nullptr},
};

struct BarContents {
  const char* bar;
  std::initializer_list<const char*> items;
};

// Filled in this order; BOTTOMbar stays empty until a bottom panel opens.
const BarContents kContents[] = {
    {"MAINbar", {"FILE", "EDIT", "PREF", "HELP"}},
    {"POPUPbar",
     {"EDIT:COPY", "EDIT:PASTE", "EDIT:SELLINE", "EDIT:SELALL", "EDIT:SEP1", "EDIT:FIND",
      "EDIT:FINDMARK", "EDIT:FINDNEXT", "EDIT:SEP2", "POP:ADDDEV", "POP:REMOVEDEV"}},
    {"FILEbar", {"FILE:NEW", "FILE:STOP", "FILE:SEP", "FILE:EXIT"}},
    {"EDITbar",
     {"EDIT:COPY", "EDIT:PASTE", "EDIT:SELLINE", "EDIT:SELALL", "EDIT:SEP1", "EDIT:FIND",
      "EDIT:FINDMARK", "EDIT:FINDNEXT", "EDIT:SEP2", "EDIT:GOTOLINE", "EDIT:ADDDEV",
      "EDIT:REMOVEDEV"}},
    {"PREFbar",
     {"PREF:FONT", "PREF:CURDIR", "PREF:SPACES", "PREF:LINENUM", "PREF:HIGHLIGHT", "PREF:COLOURS"}},
    {"HELPbar", {"HELP:ONLINE", "HELP:GUIDE", "HELP:QUICK", "HELP:ADD", "HELP:HOMEPAGE"}},
};

QIcon ThemedIcon(const char* themeName, const char* fallbackFile) {
  return QIcon::fromTheme(QString::fromLatin1(themeName),
                          QIcon(QStringLiteral(":/pelorin/icons/") + QLatin1String(fallbackFile)));
}

}  // namespace

QList<QIcon> MakeIlsIcons() {
  InitIconResources();
  QPixmap blank(16, 16);
  blank.fill(Qt::transparent);
  QList<QIcon> icons(kIconCount, QIcon(blank));
  icons[kIconNewWindow] = ThemedIcon("window-new", "window-new.png");
  icons[kIconFind] = ThemedIcon("edit-find", "edit-find.png");
  icons[kIconCopy] = ThemedIcon("edit-copy", "edit-copy.png");
  icons[kIconPaste] = ThemedIcon("edit-paste", "edit-paste.png");
  icons[kIconHelp] = ThemedIcon("help-browser", "help-browser.png");
  return icons;
}

BottomPanels BuildBars(CommandBar& commandBar, const MenuPrefs& prefs,
                       const MenuEditorCalls& editor, const QList<QIcon>& ilsIcons) {
  for (const BarDef& bar : kBars) {
    commandBar.AddBar(QString::fromLatin1(bar.key), QString::fromLatin1(bar.title));
  }

  BottomPanels panels;
  for (const ItemDef& def : kItems) {
    const QString key = QString::fromLatin1(def.key);
    BarItem* item = commandBar.AddItem(key, def.icon, QString::fromLatin1(def.caption), def.style,
                                       QString(), def.shortcutKey, def.shortcutModifiers);
    if (!item)
      continue;  // a key already taken: the control refused it
    if (def.style != ItemStyle::Separator)
      item->SetShowCaption(true);
    if (def.subBar)
      item->SetSubBar(commandBar.FindBar(QString::fromLatin1(def.subBar)));
    if (key == QLatin1String("PREF:SPACES")) {
      item->SetCheckMark(prefs.PrefVisibleSpaces);
      if (editor.RunEditorCommand)
        editor.RunEditorCommand(prefs.PrefVisibleSpaces ? EditorCommand::kShowSpaces
                                                        : EditorCommand::kHideSpaces);
    } else if (key == QLatin1String("PREF:LINENUM")) {
      item->SetCheckMark(prefs.PrefLineNumbering);
      if (editor.ShowLineNumbers)
        editor.ShowLineNumbers(prefs.PrefLineNumbering);
    } else if (key == QLatin1String("PREF:HIGHLIGHT")) {
      item->SetCheckMark(prefs.PrefHighlightLine);
    } else if (key == QLatin1String("PREF:COLOURS")) {
      item->SetCheckMark(prefs.PrefDesktopColours);
    } else if (key == QLatin1String("GOTOPANEL")) {
      panels.GotoPanel = item;
    } else if (key == QLatin1String("ADDDEVPANEL")) {
      panels.AddDevPanel = item;
    } else if (key == QLatin1String("REMOVEDEVPANEL")) {
      panels.RemoveDevPanel = item;
    }
  }

  for (const BarContents& contents : kContents) {
    Bar* bar = commandBar.FindBar(QString::fromLatin1(contents.bar));
    if (!bar)
      continue;
    for (const char* key : contents.items)
      bar->Append(commandBar.FindItem(QString::fromLatin1(key)));
  }

  QFont font(QStringLiteral("Tahoma"));
  font.setPointSizeF(8.25);
  if (BarElement* top = commandBar.Element(0)) {
    top->setFont(font);
    top->SetShownBar(commandBar.FindBar(QStringLiteral("MAINbar")));
    top->SetImages(ilsIcons);
  }
  if (BarElement* bottom = commandBar.Element(1)) {
    bottom->setFont(font);
    bottom->SetShownBar(commandBar.FindBar(QStringLiteral("BOTTOMbar")));
    bottom->SetVisible(false);
  }
  return panels;
}

}  // namespace pelorin
