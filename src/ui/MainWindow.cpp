#include "MainWindow.hpp"

#include "EditorWindow.hpp"
#include "QtHost.hpp"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>

namespace qrv::ui {

MainWindow::MainWindow(EditorWindow* editor, QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MDIFrmMain"));
    setWindowTitle(QString::fromLatin1(kApplicationName));
    area_ = new QMdiArea;
    area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(area_);
    // A title bar without buttons: the editor is not closed or shrunk on its own.
    editorFrame_ = area_->addSubWindow(editor, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    editorFrame_->setWindowTitle(editor->windowTitle());
    editorFrame_->setOption(QMdiSubWindow::RubberBandMove, false);
    fitToEditor();
}

void MainWindow::fitToEditor()
{
    editorFrame_->adjustSize();
    editorFrame_->move(0, 0);
    QSize wanted = editorFrame_->size() + QSize(4, 4);
    if (const QScreen* screen = this->screen()) {
        // Room for the window's own frame and title bar.
        const QSize room = screen->availableGeometry().size() - QSize(8, 40);
        wanted = wanted.boundedTo(room);
    }
    resize(wanted);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (closeRequest_ && closeRequest_())
        event->accept();
    else
        event->ignore();
}

} // namespace qrv::ui
