#include "ui/QtHost.hpp"

#include "ui/pages/Accessible.hpp"
#include "ui/windows/MainWindow.hpp"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QGridLayout>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace qrv::ui {

QString qtFileFilter(const std::string& filter)
{
    const QStringList parts = QString::fromStdString(filter).split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        if (i + 1 >= parts.size()) {
            entries << description;
            break;
        }
        // Qt reads the patterns from the parentheses and separates them with blanks.
        const QString patterns = parts[i + 1].trimmed().replace(u';', u' ');
        // The dialog matches names without regard to case, so "(*.prj)" also stands for *.Prj.
        if (description.contains(QStringLiteral("(%1)").arg(patterns), Qt::CaseInsensitive))
            entries << description;
        else
            entries << QStringLiteral("%1 (%2)").arg(description, patterns);
    }
    return entries.join(u";;");
}

QString boxTitle(const std::string& title)
{
    return title == kDefaultTitle ? QString::fromLatin1(kApplicationName) : QString::fromStdString(title);
}

QMessageBox::Icon boxIcon(Icon icon)
{
    switch (icon) {
    case Icon::Exclamation:
        return QMessageBox::Warning;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

namespace {

// A box as wide as its whole title beside the window manager's buttons; a short text
// would otherwise leave the title cut ("Save ...evice").
void fitBoxTitle(QMessageBox& box)
{
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    const int titleWidth = QFontMetrics(font).horizontalAdvance(box.windowTitle()) + 160;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0,
                      1, grid->columnCount());
}

} // namespace

std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const std::string& text, const std::string& title,
                                            Icon icon)
{
    auto box = std::make_unique<QMessageBox>(boxIcon(icon), boxTitle(title), QString::fromStdString(text),
                                             QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    fitBoxTitle(*box);
    return box;
}

std::unique_ptr<QMessageBox> makeQuestionBox(QWidget* parent, const std::string& text, const std::string& title,
                                             Icon icon, Button defaultButton)
{
    auto box = std::make_unique<QMessageBox>(boxIcon(icon), boxTitle(title), QString::fromStdString(text),
                                             QMessageBox::Yes | QMessageBox::No, parent);
    box->setTextFormat(Qt::PlainText);
    box->setDefaultButton(defaultButton == Button::Yes ? QMessageBox::Yes : QMessageBox::No);
    box->setEscapeButton(QMessageBox::No);
    fitBoxTitle(*box);
    return box;
}

void QtHost::attach(Window window, QWidget* widget, std::function<void()> showNow)
{
    windows_.at(static_cast<std::size_t>(window)) = {widget, std::move(showNow)};
}

void QtHost::detach(Window window)
{
    windows_.at(static_cast<std::size_t>(window)) = {};
}

QWidget* QtHost::widget(Window window) const
{
    return windows_.at(static_cast<std::size_t>(window)).widget;
}

QWidget* QtHost::dialogParent() const
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    for (Window window : {Window::Main, Window::Editor, Window::Splash})
        if (QWidget* w = widget(window); w && w->isVisible())
            return w->window();
    return nullptr;
}

void QtHost::message(const std::string& text, const std::string& title, Icon icon)
{
    makeMessageBox(dialogParent(), text, title, icon)->exec();
}

bool QtHost::askYesNo(const std::string& text, const std::string& title, Icon icon, Button defaultButton)
{
    return makeQuestionBox(dialogParent(), text, title, icon, defaultButton)->exec() == QMessageBox::Yes;
}

bool QtHost::askYesNo(const std::string& text, const std::string& detail, const std::string& title, Icon icon,
                      Button defaultButton)
{
    auto box = makeQuestionBox(dialogParent(), text, title, icon, defaultButton);
    box->setInformativeText(QString::fromStdString(detail));
    return box->exec() == QMessageBox::Yes;
}

namespace {

std::optional<std::filesystem::path> runFileDialog(QWidget* parent, const std::string& filter,
                                                   const std::filesystem::path& folder, bool save)
{
    QFileDialog dialog(parent, QString(), QString::fromStdString(folder.string()), qtFileFilter(filter));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A typed name that does not exist goes through, so that the program's own box answers it.
    dialog.setFileMode(QFileDialog::AnyFile);
    // A name typed without extension gets the first pattern's, before the overwrite prompt.
    const QString first = QString::fromStdString(filter).section(u'|', 1, 1).section(u';', 0, 0).trimmed();
    if (first.startsWith(u"*.") && !first.mid(2).contains(u'*') && !first.mid(2).contains(u'?'))
        dialog.setDefaultSuffix(first.mid(2));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().constFirst().toStdString());
}

} // namespace

std::optional<std::filesystem::path> QtHost::openFile(const std::string& filter, const std::filesystem::path& folder)
{
    return runFileDialog(dialogParent(), filter, folder, false);
}

std::optional<std::filesystem::path> QtHost::saveFile(const std::string& filter, const std::filesystem::path& folder)
{
    return runFileDialog(dialogParent(), filter, folder, true);
}

void QtHost::log(const std::string& text)
{
    std::fprintf(stderr, "qrv5173-editor: %s\n", text.c_str());
}

void QtHost::setBusy(Window window, bool busy)
{
    QWidget* w = widget(window);
    if (!w)
        return;
    if (busy)
        w->setCursor(Qt::BusyCursor);
    else
        w->unsetCursor();
    if (window == Window::Main || window == Window::Editor)
        markBusy(busy);
}

void QtHost::showActivity(const QString& text)
{
    if (auto* main = qobject_cast<MainWindow*>(widget(Window::Main)))
        main->showActivity(text);
    else
        announce(dialogParent(), text);
}

void QtHost::markBusy(bool busy)
{
    busyDepth_ = std::max(0, busyDepth_ + (busy ? 1 : -1));
    if (QWidget* main = widget(Window::Main))
        setBusyState(main->window(), busyDepth_ > 0);
}

void QtHost::refresh(Window window)
{
    if (window == Window::Splash)
        splashPace_.changed();
    else
        showNow(window);
}

void QtHost::showNow(Window window)
{
    const Attached& attached = windows_.at(static_cast<std::size_t>(window));
    if (attached.showNow)
        attached.showNow();
    else if (attached.widget)
        attached.widget->repaint();
}

void QtHost::sleep(int milliseconds)
{
    // The window keeps painting; the binder keeps user events out of the core meanwhile.
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void QtHost::beginProgress(const std::string& title, int steps, bool cancellable)
{
    if (progressDepth_++ > 0)
        return;
    // At start-up the splash window's bar shows the read: a second bar would only repeat it.
    const QWidget* splash = widget(Window::Splash);
    if (!splash || !splash->isVisible()) {
        progress_ = new ProgressWindow(QString::fromStdString(title), steps, cancellable, dialogParent());
        progress_->show();
    }
    progressTitle_ = QString::fromStdString(title).trimmed();
    markBusy(true);
    showActivity(progressTitle_ + QStringLiteral(": started"));
}

void QtHost::stepProgress(int done)
{
    if (progressDepth_ == 1 && progress_)
        progress_->step(done);
}

void QtHost::resizeProgress(int steps)
{
    if (progressDepth_ == 1 && progress_)
        progress_->setSteps(steps);
}

bool QtHost::cancelRequested()
{
    return progress_ && progress_->cancelled();
}

void QtHost::endProgress()
{
    if (progressDepth_ == 0 || --progressDepth_ > 0)
        return;
    if (progress_) {
        progress_->hide();
        progress_->deleteLater();
    }
    progress_ = nullptr;
    markBusy(false);
    showActivity(progressTitle_ + QStringLiteral(": finished"));
}

void QtHost::endProgram()
{
    if (beforeEnd_)
        beforeEnd_();
    std::fflush(nullptr);
    std::exit(exitStatus_);
}

ScreenSize QtHost::screenSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    // In the screen's own pixels: a 1920 × 1080 screen at 2× scaling is still 1920 × 1080.
    const QSize pixels = screen->size() * screen->devicePixelRatio();
    return {pixels.width(), pixels.height()};
}

char QtHost::decimalPoint()
{
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 && point.at(0).unicode() < 0x80 ? static_cast<char>(point.at(0).unicode()) : '.';
}

} // namespace qrv::ui
