#include "app/frmShell.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>

#include "console/clsConsole.h"
#include "editor/ConsoleEditor.h"
#include "editor/PromptInput.h"

namespace pelorin {

frmShell::frmShell(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("Pelorin"));
  Form_Load();
}

frmShell::~frmShell() {
  qApp->removeEventFilter(this);
  if (Editor_ != nullptr) {
    Editor_->SetEventSink(nullptr);
  }
}

void frmShell::Form_Load() {
  Editor_ = new ConsoleEditor(this);
  setCentralWidget(Editor_);

  myConsole = new clsConsole(this);
  interpreter_ = std::make_unique<CommandInterpreter>(
      *Editor_, *myConsole, state_, [this](const QString& caption) { setWindowTitle(caption); });
  connect(myConsole, &clsConsole::OutputReceived, this,
          [this](const QString& out, const QString& err) {
            interpreter_->myConsole_OutputReceived(out, err);
          });
  connect(myConsole, &clsConsole::Complete, this, [this](const QString& out, const QString& err) {
    interpreter_->myConsole_Complete(out, err);
  });

  promptInput_ = std::make_unique<PromptInput>(*Editor_, *interpreter_, state_,
                                               [this] { return PrefHighlightLine; });
  Editor_->SetEventSink(promptInput_.get());

  // Select all and copy until the menus take these keys over.
  auto* selectAll = new QAction(this);
  selectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
  connect(selectAll, &QAction::triggered, this, [this] { Editor_->RunEditorCommand(137); });
  auto* copy = new QAction(this);
  copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  connect(copy, &QAction::triggered, this, [this] { Editor_->RunEditorCommand(198); });
  addActions({selectAll, copy});

  // The window sees every key release before its controls do (F2 recall).
  qApp->installEventFilter(this);

  resize(830, 520);
  interpreter_->DirLS_FolderChange(CommandInterpreter::CurrentDir(),
                                   [this] { Editor_->setFocus(); });
}

bool frmShell::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyRelease && watched == QApplication::focusWidget()) {
    auto* widget = qobject_cast<QWidget*>(watched);
    auto* key = static_cast<QKeyEvent*>(event);
    if (widget != nullptr && widget->window() == this && !key->isAutoRepeat()) {
      promptInput_->WindowKeyReleased(key->key());
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace pelorin
