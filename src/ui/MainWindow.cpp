#include "MainWindow.hpp"

#include "EditorWindow.hpp"
#include "QtHost.hpp"

#include <QCloseEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyle>

namespace qrv::ui {

QString linkStatusText(const ProgramState& state, const std::string& portName)
{
    const QString advice = QString::fromStdString(state.portAdvice);
    if (state.DemoMode)
        return advice.isEmpty() ? QStringLiteral("Demo mode – nothing is sent")
                                : QStringLiteral("Demo mode – ") + advice;
    // LinkUp is also lowered for a moment whenever the core sets controls silently: not a loss.
    if (state.searching)
        return QStringLiteral("Link lost – searching…");
    if (!state.PortOk)
        return advice.isEmpty() ? QStringLiteral("Link lost") : QStringLiteral("Link lost – ") + advice;
    if (state.resendAttempt > 0)
        return QStringLiteral("No answer – retrying (attempt %1 of 6)").arg(state.resendAttempt);
    return QStringLiteral("Connected – ") + QString::fromStdString(portName);
}

MainWindow::MainWindow(EditorWindow* editor, QWidget* parent) : QMainWindow(parent), editor_(editor)
{
    setObjectName(QStringLiteral("MDIFrmMain"));
    setWindowTitle(QString::fromLatin1(kApplicationName));

    // The editor fills the window and grows with it; a screen too small for it scrolls.
    area_ = new QScrollArea;
    area_->setObjectName(QStringLiteral("EditorArea"));
    area_->setWidgetResizable(true);
    area_->setFrameShape(QFrame::NoFrame);
    area_->setWidget(editor);
    setCentralWidget(area_);

    file_ = menuBar()->addMenu(QStringLiteral("&File"));
    edit_ = menuBar()->addMenu(QStringLiteral("&Edit"));
    device_ = menuBar()->addMenu(QStringLiteral("&Device"));
    help_ = menuBar()->addMenu(QStringLiteral("&Help"));

    outcome_ = new QLabel;
    outcome_->setObjectName(QStringLiteral("StatusOutcome"));
    outcome_->setTextFormat(Qt::PlainText);
    differ_ = new QLabel(QString::fromLatin1(kUnitMayDifferText));
    differ_->setObjectName(QStringLiteral("StatusDiffer"));
    differ_->setTextFormat(Qt::PlainText);
    QFont bold = differ_->font();
    bold.setBold(true);
    differ_->setFont(bold);
    differ_->hide();
    link_ = new QLabel;
    link_->setObjectName(QStringLiteral("StatusLink"));
    link_->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(outcome_, 1);
    statusBar()->addPermanentWidget(differ_);
    statusBar()->addPermanentWidget(link_);
    statusBar()->setSizeGripEnabled(true);
}

QSize MainWindow::aroundEditor() const
{
    layout()->activate();
    return size() - area_->size();
}

QSize MainWindow::sizeForEditor(QSize editorSize) const
{
    return editorSize.expandedTo(editor_->minimumSize()) + aroundEditor();
}

void MainWindow::fitToEditor()
{
    QSize wanted = sizeForEditor(editor_->sizeHint());
    QSize least = sizeForEditor(editor_->minimumSizeHint());
    if (const QScreen* screen = this->screen()) {
        // Room for the window's own frame and title bar; a smaller screen scrolls.
        const QSize room = screen->availableGeometry().size() - QSize(8, 40);
        wanted = wanted.boundedTo(room);
        least = least.boundedTo(room);
    }
    setMinimumSize(least);
    resize(wanted);
}

void MainWindow::showEditorCaption(const QString& caption)
{
    const QString title = QString::fromLatin1(kApplicationName) + QStringLiteral(" - [") + caption + u']';
    if (windowTitle() != title)
        setWindowTitle(title);
}

void MainWindow::showStatus(const QString& link, bool unitMayDiffer, const QString& outcome)
{
    if (link_->text() != link)
        link_->setText(link);
    if (differ_->isHidden() == unitMayDiffer)
        differ_->setVisible(unitMayDiffer);
    if (outcome_->text() != outcome)
        outcome_->setText(outcome);
}

QString MainWindow::statusText() const
{
    QStringList parts;
    for (const QLabel* label : {outcome_, differ_, link_})
        if (!label->isHidden() && !label->text().isEmpty())
            parts << label->text();
    return parts.join(QStringLiteral(" | "));
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (closeRequest_ && closeRequest_())
        event->accept();
    else
        event->ignore();
}

} // namespace qrv::ui
