// Menu keys mapped to the window's commands, in order, through a recording window.

#include <gtest/gtest.h>

#include <QStringList>
#include <limits>

#include "app/CommandDispatch.h"

namespace pelorin {
namespace {

class RecordingShell : public ShellCommands {
 public:
  QStringList calls;

  void StopWait() override { calls << "StopWait"; }
  void NewWindow() override { calls << "NewWindow"; }
  void Exit() override { calls << "Exit"; }
  void RunEditorCommand(int command) override { calls << QString("Run%1").arg(command); }
  void ShowBottomPanel(int mode) override { calls << QString("Panel%1").arg(mode); }
  void PickEditorFont() override { calls << "PickEditorFont"; }
  void SavePrefCurDir() override { calls << "SavePrefCurDir"; }
  void ShowLineNumbers(bool show) override { calls << QString("ShowLineNumbers%1").arg(show); }
  void SetPrefHighlightLine(bool on) override { calls << QString("PrefHighlight%1").arg(on); }
  void SetHighlightRow(int line) override { calls << QString("HighlightRow%1").arg(line); }
  int CurrentLine() override {
    calls << "CurrentLine";
    return 41;
  }
  void SavePrefVisibleSpaces() override { calls << "SavePrefVisibleSpaces"; }
  void SavePrefLineNumbering() override { calls << "SavePrefLineNumbering"; }
  void SavePrefHighlight() override { calls << "SavePrefHighlight"; }
  void AddDevider(int line) override { calls << QString("AddDevider%1").arg(line); }
  void RemoveDevider(int line) override { calls << QString("RemoveDevider%1").arg(line); }
  void OpenOnlineHelp() override { calls << "OpenOnlineHelp"; }
  void OpenHelpGuide() override { calls << "OpenHelpGuide"; }
  void OpenHelpQuick() override { calls << "OpenHelpQuick"; }
  void OpenHelpAdd() override { calls << "OpenHelpAdd"; }
  void OpenVantreehomepage() override { calls << "OpenVantreehomepage"; }
};

QStringList Calls(const QString& key, bool checkMark = false) {
  RecordingShell shell;
  Dispatch(key, checkMark, shell);
  return shell.calls;
}

TEST(Dispatch, EachKeyStartsItsCommands) {
  const std::pair<const char*, QStringList> table[] = {
      {"FILE:STOP", {"StopWait"}},
      {"FILE:NEW", {"NewWindow"}},
      {"FILE:EXIT", {"Exit"}},
      {"EDIT:COPY", {"Run198"}},
      {"EDIT:PASTE", {"Run140"}},
      {"EDIT:SELLINE", {"Run136"}},
      {"EDIT:SELALL", {"Run137"}},
      {"EDIT:FIND", {"Run178"}},
      {"EDIT:FINDMARK", {"Run207", "Run177"}},
      {"EDIT:FINDNEXT", {"Run176"}},
      {"EDIT:GOTOLINE", {"Panel1"}},
      {"EDIT:ADDDEV", {"Panel2"}},
      {"EDIT:REMOVEDEV", {"Panel3"}},
      {"PREF:FONT", {"PickEditorFont"}},
      {"PREF:CURDIR", {"SavePrefCurDir"}},
      {"HELP:GUIDE", {"OpenHelpGuide"}},
      {"HELP:QUICK", {"OpenHelpQuick"}},
      {"HELP:ADD", {"OpenHelpAdd"}},
      {"HELP:ONLINE", {"OpenOnlineHelp"}},
      {"HELP:HOMEPAGE", {"OpenVantreehomepage"}},
      {"POP:ADDDEV", {"CurrentLine", "AddDevider41"}},
      {"POP:REMOVEDEV", {"CurrentLine", "RemoveDevider41"}},
  };
  for (const auto& [key, expected] : table) {
    SCOPED_TRACE(key);
    EXPECT_EQ(Calls(key), expected);
    EXPECT_EQ(Calls(key, true), expected);  // the tick matters only to the switches
  }
}

TEST(Dispatch, SwitchesApplyTheNewStateBeforeSavingIt) {
  EXPECT_EQ(Calls("PREF:SPACES", true), QStringList({"Run238", "SavePrefVisibleSpaces"}));
  EXPECT_EQ(Calls("PREF:SPACES", false), QStringList({"Run239", "SavePrefVisibleSpaces"}));
  EXPECT_EQ(Calls("PREF:LINENUM", true),
            QStringList({"ShowLineNumbers1", "SavePrefLineNumbering"}));
  EXPECT_EQ(Calls("PREF:LINENUM", false),
            QStringList({"ShowLineNumbers0", "SavePrefLineNumbering"}));
  EXPECT_EQ(Calls("PREF:HIGHLIGHT", true),
            QStringList({"PrefHighlight1", "CurrentLine", "HighlightRow41", "SavePrefHighlight"}));
  EXPECT_EQ(Calls("PREF:HIGHLIGHT", false),
            QStringList({"PrefHighlight0", "HighlightRow-1", "SavePrefHighlight"}));
}

TEST(Dispatch, KeysOfNoCommandDoNothing) {
  for (const char* key :
       {"FILE", "EDIT", "PREF", "HELP", "FILE:SEP", "EDIT:SEP1", "EDIT:SEP2", "GOTOPANEL",
        "ADDDEVPANEL", "REMOVEDEVPANEL", "edit:copy", "EDIT:COPY ", "", "MAINbar", "HELP:"}) {
    SCOPED_TRACE(key);
    EXPECT_TRUE(Calls(key, true).isEmpty());
  }
}

TEST(FontSize, RoundsHalvesToTheEvenNeighbour) {
  EXPECT_EQ(RoundFontSize(10.5), 10);
  EXPECT_EQ(RoundFontSize(11.5), 12);
  EXPECT_EQ(RoundFontSize(12.0), 12);
  EXPECT_EQ(RoundFontSize(12.49), 12);
  EXPECT_EQ(RoundFontSize(12.51), 13);
  EXPECT_EQ(RoundFontSize(8.25), 8);
  EXPECT_EQ(RoundFontSize(0.5), 0);
  EXPECT_EQ(RoundFontSize(-2.5), -2);
  EXPECT_EQ(RoundFontSize(40000.0), 32767);
  EXPECT_EQ(RoundFontSize(-40000.0), -32768);
  EXPECT_EQ(RoundFontSize(std::numeric_limits<double>::quiet_NaN()), 0);
}

}  // namespace
}  // namespace pelorin
