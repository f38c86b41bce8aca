// SPDX-License-Identifier: GPL-3.0-or-later
// Menu keys mapped to the window's commands, in order, through a recording window.

#include <gtest/gtest.h>

#include <QStringList>

#include "app/CommandDispatch.h"

namespace pelorin {

// Every call is noted as its name, or a short label followed by its argument.
// clang-format off
#define NOTE(name) void name() override { calls << #name; }
#define NOTE_ARG(fn, type, text) void fn(type v) override { calls << text + QString::number(v); }
struct RecordingShell : ShellCommands {
  QStringList calls;
  NOTE(StopWait) NOTE(NewWindow) NOTE(Exit) NOTE(PickEditorFont) NOTE(SavePrefCurDir)
  NOTE(SavePrefVisibleSpaces) NOTE(SavePrefLineNumbering) NOTE(SavePrefHighlight)
  NOTE(OpenOnlineHelp) NOTE(OpenHelpGuide) NOTE(OpenHelpQuick) NOTE(OpenHelpAdd)
  NOTE(OpenVantreehomepage) NOTE_ARG(RunEditorCommand, int, "Run")
  NOTE_ARG(ShowLineNumbers, bool, "Numbers")
  NOTE_ARG(SetPrefHighlightLine, bool, "Highlight") NOTE_ARG(SetHighlightRow, int, "Row")
  NOTE_ARG(AddDevider, int, "AddDevider") NOTE_ARG(RemoveDevider, int, "RemoveDevider")
  NOTE_ARG(SetDesktopColours, bool, "Colours") NOTE(SavePrefDesktopColours)
  int CurrentLine() override { return (calls << "CurrentLine", 41); }
  void ShowBottomPanel(PanelMode m) override { calls << "Panel" + QString::number(int(m)); }
};
// clang-format on

TEST(Dispatch, EachKeyMakesItsCallsInOrderAndOtherKeysNone) {
  // "+key=calls" dispatched with the tick set, "-key=calls" without. Switches apply the new state
  // before saving it; marking all found clears the old marks first; the context menu's items act
  // on the caret's line.
  const QString table =
      "+FILE:STOP=StopWait;-EDIT:COPY=Run198;+EDIT:FINDMARK=Run207 Run177;"
      "-EDIT:ADDDEV=Panel2;+POP:ADDDEV=CurrentLine AddDevider41;"
      "-POP:REMOVEDEV=CurrentLine RemoveDevider41;"
      "+PREF:SPACES=Run238 SavePrefVisibleSpaces;-PREF:SPACES=Run239 SavePrefVisibleSpaces;"
      "+PREF:LINENUM=Numbers1 SavePrefLineNumbering;-PREF:LINENUM=Numbers0 SavePrefLineNumbering;"
      "+PREF:HIGHLIGHT=Highlight1 CurrentLine Row41 SavePrefHighlight;"
      "-PREF:HIGHLIGHT=Highlight0 Row-1 SavePrefHighlight;"
      "+PREF:COLOURS=Colours1 SavePrefDesktopColours;"
      "+FILE=;+EDIT:SEP1=;+GOTOPANEL=;+edit:copy=;+EDIT:COPY =;+=";
  for (const QString& row : table.split(';')) {
    RecordingShell shell;
    Dispatch(row.mid(1).section('=', 0, 0), row.startsWith('+'), shell);
    EXPECT_EQ(shell.calls.join(' '), row.section('=', 1)) << row.toStdString();
  }
}

TEST(FontSize, RoundsHalvesToTheEvenNeighbourAndClampsTo16Bits) {
  for (const auto& [points, size] : {std::pair{10.5, 10},
                                     {11.5, 12},
                                     {12.49, 12},
                                     {-2.5, -2},
                                     {40000.0, 32767},
                                     {-40000.0, -32768},
                                     {qQNaN(), 0}})
    EXPECT_EQ(RoundFontSize(points), size) << points;
}

}  // namespace pelorin
