// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmShell.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QShortcut>
#include <QTimer>
#include <algorithm>
#include <string>
#include <vector>

#include "app/CommandBar.h"
#include "app/ContextKeys.h"
#include "app/ErrorMode.h"
#include "app/FolderTree.h"
#include "app/KeyboardReach.h"
#include "app/StartupDir.h"
#include "app/TerminationSignals.h"
#include "app/WindowAccessibility.h"
#include "app/WindowLayout.h"
#include "console/ConsoleLog.h"
#include "console/ConsoleSession.h"
#include "editor/BottomPanel.h"
#include "editor/ConsoleEditor.h"
#include "editor/PromptInput.h"
#include "platform/Twips.h"
#include "prefs/HistoryKeeper.h"
#include "splitter/SplitterHandle.h"
#include "splitter/cSplitter.h"

namespace pelorin {

namespace {
// The client area before a stored placement is applied, in twips.
constexpr int kDesignWidthTwips = 9960;
constexpr int kDesignHeightTwips = 6255;
// The folder tree's width at start-up, in pixels.
constexpr int kTreeWidth = 200;
}  // namespace

frmShell::frmShell(const QStringList& arguments, QWidget* parent)
    : QWidget(parent),
      ShowNewWindowFailure(
          [this](const QString& text) { MakeNewWindowFailureBox(this, text)->exec(); }),
      store_(this) {
  setWindowTitle(QStringLiteral("Pelorin"));
  InstallWindowAccessibility();
  CreateControls();
  Form_Load(arguments);
  // Told to end from outside, the window closes as by its close box (the placement is kept);
  // quitting ends a dialog's loop too, which would otherwise keep the process waiting.
  terminationSignals_ = std::make_unique<TerminationSignals>([this] {
    close();
    QApplication::quit();
  });
}

// Unloading: the last step of the window.
frmShell::~frmShell() {
  history_.reset();  // what is still to be added gets its half second, then the thread ends
  qApp->removeEventFilter(this);
  Editor_->SetEventSink(nullptr);
  SetProcessErrorMode(kNoFaultDialog);
}

void frmShell::CreateControls() {
  resize(TwipsToPixels(kDesignWidthTwips, logicalDpiX()),
         TwipsToPixels(kDesignHeightTwips, logicalDpiY()));
  CommandBar_ = new CommandBar(this);
  topBar_ = CommandBar_->AddElement(ElementAlignment::Top, this);
  bottomBar_ = CommandBar_->AddElement(ElementAlignment::Bottom, this);
  picMainContainer_ = new QWidget(this);
  DirLS_ = new FolderTree(picMainContainer_);
  DirLS_->setAccessibleName(QStringLiteral("Folder tree"));
  Editor_ = new ConsoleEditor(picMainContainer_);
  TextGoto_ = new QLineEdit(bottomBar_);
}

void frmShell::Form_Load(const QStringList& arguments) {
  prefs_ = store_.GetPrefsFromReg(*this);

  const MenuPrefs menuPrefs{prefs_.PrefVisibleSpaces, prefs_.PrefLineNumbering,
                            prefs_.PrefHighlightLine, prefs_.PrefDesktopColours};
  Editor_->SetDesktopColours(prefs_.PrefDesktopColours);
  const MenuEditorCalls editorCalls{[this](int c) { Editor_->RunEditorCommand(c); },
                                    [this](bool on) { Editor_->SetShowLineNumbers(on); }};
  panels_ = BuildBars(*CommandBar_, menuPrefs, editorCalls, MakeIlsIcons());
  connect(CommandBar_, &CommandBar::ItemClick, this,
          [this](int, BarItem* item) { DispatchItem(item, *this); });
  // Ctrl+Break interrupts a running command, selection or not. It is no menu command, so it
  // lives beside the menus. X11 reports it as Ctrl+Pause, Windows as Ctrl+Cancel.
  auto* interrupt = new QShortcut(this);
  interrupt->setKeys(
      {QKeySequence(Qt::CTRL | Qt::Key_Pause), QKeySequence(Qt::CTRL | Qt::Key_Cancel)});
  interrupt->setContext(Qt::WindowShortcut);
  connect(interrupt, &QShortcut::activated, this, [this] { Interrupt(); });
  // Ctrl+C copies (the menu's shortcut) unless a command runs and nothing is selected: then it
  // interrupts the command, as in a terminal. The menu's "Copy" always copies.
  contextKeys_ = new ContextKeys(*this);
  contextKeys_->Add({QKeySequence(Qt::CTRL | Qt::Key_C),
                     [this] {
                       // A box with text selected in it copies that, as its own Ctrl+C does.
                       const auto* box = qobject_cast<QLineEdit*>(QApplication::focusWidget());
                       return session_->bBusy() && !Editor_->HasSelectedText() &&
                              !(box != nullptr && box->hasSelectedText());
                     },
                     [this] { Interrupt(); }});
  // Ctrl+D in the empty input of a running command ends the command's input, as at a terminal;
  // everywhere else it opens the divider panel through its menu item, which always does.
  contextKeys_->Add({QKeySequence(Qt::CTRL | Qt::Key_D),
                     [this] {
                       const QWidget* focus = QApplication::focusWidget();
                       return focus != nullptr &&
                              (focus == Editor_ || Editor_->isAncestorOf(focus)) &&
                              promptInput_->Pending().TakesEndOfInput();
                     },
                     [this] { session_->EndInput(); }});

  // The session creates myConsole and handles its events itself.
  session_ = std::make_unique<ConsoleSession>(*Editor_, [this](const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
  });
  // The commands of earlier windows, for Up, arrive from the keeper's thread once it has read
  // them: the window never waits for the file. A file that cannot be read leaves the history
  // to this window's commands, and a command that cannot be added to it is still recalled here.
  session_->UseHistory({}, [this](const std::string& command) {
    if (history_) {
      history_->Append(command);
    }
  });
  history_ =
      std::make_unique<HistoryKeeper>(HistoryFile(), [this](std::vector<std::string> earlier) {
        QMetaObject::invokeMethod(
            this, [this, earlier = std::move(earlier)] { session_->History().AddEarlier(earlier); },
            Qt::QueuedConnection);
      });
  // The tree follows the folder a typed cd (pushd, cd -...) made current, once the prompt is
  // written; it selects it without reporting it back, so no second prompt follows.
  session_->SetFolderFollower([this](const std::string& path) {
    QTimer::singleShot(0, DirLS_, [this, folder = QString::fromStdString(path)] {
      DirLS_->ShowPath(folder);
      qCDebug(lcConsole) << "tree shows" << DirLS_->SelectedPath();
    });
  });
  promptInput_ = std::make_unique<PromptInput>(*Editor_, *session_,
                                               [this] { return prefs_.PrefHighlightLine; });
  promptInput_->SetContextMenu([this](int x, int y) { ShowContextMenu(x, y); });
  Editor_->SetEventSink(promptInput_.get());
  Editor_->SetHighlightFollowsCaret(prefs_.PrefHighlightLine);

  LayoutWindow();  // the container has its size before the splitter measures it
  Splitter_ = new cSplitter(this);
  Splitter_->SetOrientation(cSplitter::OrientationVertical);
  Splitter_->SetContainer(picMainContainer_);
  Splitter_->SetFullDrag(false);
  Splitter_->Bind(DirLS_, Editor_);
  Splitter_->SetPosition(kTreeWidth);
  Splitter_->ForwardEventsFrom(picMainContainer_);
  splitterBar_ = new SplitterHandle(*Splitter_);
  splitterBar_->setAccessibleName(QStringLiteral("Splitter bar"));
  setTabOrder(DirLS_, splitterBar_);
  setTabOrder(splitterBar_, Editor_);
  keyboardReach_ = new KeyboardReach(*this, topBar_->MenuRow(), [this] {
    return QList<QWidget*>{DirLS_, splitterBar_, Editor_, TextGoto_};
  });

  // The surface falls back on its own for a face the system lacks or a size it cannot use.
  Editor_->SetEditorFont(prefs_.PrefFontName, prefs_.PrefFontSize);
  Editor_->SetZoom(prefs_.PrefZoom);
  zoomSave_ = new QTimer(this);
  zoomSave_->setSingleShot(true);
  zoomSave_->setInterval(1000);  // Ctrl+wheel zooms in many steps: one write for them all
  connect(zoomSave_, &QTimer::timeout, this, [this] { store_.SavePrefZoom(prefs_.PrefZoom); });
  connect(Editor_, &ConsoleEditor::ZoomChanged, this, &frmShell::ZoomChanged);

  bottomPanel_ = std::make_unique<BottomPanel>(
      static_cast<BottomBar&>(*this), *TextGoto_, *Editor_,
      BottomPanel::Actions{[this](int line) { AddDevider(line); },
                           [this](int line) { RemoveDevider(line); }});

  // The window sees every key release before its controls do: F2 recall, and Enter or Esc in
  // TextGoto. One application-wide filter, so no release is handled twice.
  qApp->installEventFilter(this);
  connect(DirLS_, &FolderTree::FolderChange, this,
          [this](const QString& path) { session_->DirLS_FolderChange(path.toStdString()); });
  DirLS_->SetSelectedPath(StartupDirectory(arguments, prefs_.PrefStartDir));
}

void frmShell::LayoutWindow() {
  if (picMainContainer_ == nullptr) {
    return;  // a resize while the controls are still being made
  }
  LayoutInput in;
  in.minimized = isMinimized();
  in.innerWidth = width();
  in.innerHeight = height();
  in.topHeight = topBar_->Height();
  in.bottomVisible = bottomBar_->Visible();
  in.bottomHeight = bottomBar_->Height();
  const std::optional<QRect> container = ContainerGeometry(in);
  if (!container) {
    return;
  }
  // The bars dock themselves along the edges; the container fills what they leave.
  topBar_->setGeometry(0, 0, width(), in.topHeight);
  bottomBar_->setGeometry(0, height() - in.bottomHeight, width(), in.bottomHeight);
  picMainContainer_->setGeometry(*container);
}

void frmShell::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayoutWindow();
}

void frmShell::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) {
    LayoutWindow();
  }
}

void frmShell::closeEvent(QCloseEvent* event) {
  // A running command is left to itself: it runs on to its end, and what it writes from now on
  // is thrown away (the session's runner gives it up when the window goes).
  store_.SaveWindowPlacement(*this);
  if (zoomSave_->isActive()) {
    zoomSave_->stop();
    store_.SavePrefZoom(prefs_.PrefZoom);
  }
  event->accept();
}

bool frmShell::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyRelease) {
    return QWidget::eventFilter(watched, event);
  }
  auto* key = static_cast<QKeyEvent*>(event);
  if (watched == TextGoto_ && !key->isAutoRepeat()) {
    bottomPanel_->TextGoto_KeyUp(key->key());
  }
  if (watched == QApplication::focusWidget() && !key->isAutoRepeat()) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget != nullptr && widget->window() == this) {
      promptInput_->WindowKeyReleased(key->key());
    }
  }
  return QWidget::eventFilter(watched, event);
}

void frmShell::ShowContextMenu(int x, int y) {
  topBar_->PointToScreen(x, y, Editor_->WindowHandle());
  topBar_->PopupBar(x, y, CommandBar_->FindBar(QStringLiteral("POPUPbar")));
}

void frmShell::AddDevider(int Line) {
  Editor_->SetLineDivider(Line, true);
}

void frmShell::RemoveDevider(int Line) {
  Editor_->SetLineDivider(Line, false);
}

void frmShell::ShowBottomPanel(PanelMode mode) {
  bottomPanel_->ShowBottomPanel(mode);
}

void frmShell::ShowBottomBar(bool visible) {
  bottomBar_->SetVisible(visible);
  LayoutWindow();
}

void frmShell::ShowPanelCaption(PanelMode mode) {
  Bar* bar = CommandBar_->FindBar(QStringLiteral("BOTTOMbar"));
  bar->Clear();
  BarItem* panel = nullptr;
  switch (mode) {
    case PanelMode::GoToLine:
      panel = panels_.GotoPanel;
      break;
    case PanelMode::AddDivider:
      panel = panels_.AddDevPanel;
      break;
    case PanelMode::RemoveDivider:
      panel = panels_.RemoveDevPanel;
      break;
  }
  bar->Append(panel);
  // The box is read out by the caption before it, without the blanks that place it.
  TextGoto_->setAccessibleName(panel != nullptr ? panel->Caption().trimmed() : QString());
}

int frmShell::PanelCaptionRight() {
  // A panel item shows as a label on the bar's row.
  if (QLayout* layout = bottomBar_->layout()) {
    layout->activate();
  }
  int right = -1;
  for (const QLabel* caption : bottomBar_->findChildren<QLabel*>()) {
    if (!caption->isHidden()) {
      right = std::max(right, caption->geometry().right());
    }
  }
  return right;
}

void frmShell::StopWait() {
  session_->StopWait();
}

void frmShell::Interrupt() {
  session_->Interrupt();
}

void frmShell::ZoomChanged(int level) {
  if (level != prefs_.PrefZoom) {
    prefs_.PrefZoom = level;
    zoomSave_->start();
  }
}

void frmShell::NewWindow() {
  StartNewInstance(ShowNewWindowFailure);
}

void frmShell::Exit() {
  close();
}

void frmShell::RunEditorCommand(int command) {
  if (command == EditorCommand::kPaste) {
    promptInput_->Paste();  // where the user may type, as typing would put it
    return;
  }
  Editor_->RunEditorCommand(command);
}

void frmShell::PickEditorFont() {
  Editor_->RunEditorCommand(EditorCommand::kFontDialog, true);
  prefs_.PrefFontName = Editor_->EditorFontName();
  prefs_.PrefFontSize = RoundFontSize(Editor_->EditorFontSize());
  store_.SavePrefFont(prefs_.PrefFontName, prefs_.PrefFontSize);
}

void frmShell::SavePrefCurDir() {
  store_.SavePrefCurDir();
}

void frmShell::ShowLineNumbers(bool show) {
  Editor_->SetShowLineNumbers(show);
}

void frmShell::SetPrefHighlightLine(bool on) {
  prefs_.PrefHighlightLine = on;
  Editor_->SetHighlightFollowsCaret(on);
}

void frmShell::SetHighlightRow(int line) {
  Editor_->SetHighlightRow(line);
}

int frmShell::CurrentLine() {
  return Editor_->CurrentLine();
}

void frmShell::SavePrefVisibleSpaces() {
  store_.SavePrefVisibleSpaces(Editor_->SpacesVisible());
}

void frmShell::SavePrefLineNumbering() {
  store_.SavePrefLineNumbering(Editor_->ShowLineNumbers());
}

void frmShell::SavePrefHighlight() {
  store_.SavePrefHighlight(prefs_.PrefHighlightLine);
}

void frmShell::SetDesktopColours(bool on) {
  prefs_.PrefDesktopColours = on;
  Editor_->SetDesktopColours(on);
}

void frmShell::SavePrefDesktopColours() {
  store_.SavePrefDesktopColours(prefs_.PrefDesktopColours);
}

}  // namespace pelorin
