#include "UiRig.hpp"

#include <QApplication>
#include <QLabel>
#include <QPointer>

#include <chrono>

#include <unistd.h>

namespace qrv::test {

void ensureApplication()
{
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: the test library's input devices outlive any static of ours.
    new QApplication(argc, argv);
}

void UiRig::showEditor()
{
    windows.show(Window::Main);
    windows.show(Window::Editor);
}

WorkingFolder::WorkingFolder() : previous(std::filesystem::current_path())
{
    path = std::filesystem::temp_directory_path() /
        ("qrv-ui-" + std::to_string(::getpid()) + "-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    std::filesystem::create_directories(path);
    std::filesystem::current_path(path);
}

WorkingFolder::~WorkingFolder()
{
    std::error_code ignored;
    std::filesystem::current_path(previous, ignored);
    std::filesystem::remove_all(path, ignored);
}

void activate(QWidget* window)
{
    window->activateWindow();
    QApplication::setActiveWindow(window);
}

void choose(QComboBox* list, int index)
{
    list->setCurrentIndex(index);
    emit list->activated(index);
    // A list that waits for the user to rest takes the choice now.
    if (auto* settle = list->findChild<QTimer*>(QStringLiteral("settle")); settle && settle->isActive()) {
        settle->stop();
        fire(settle);
    }
}

void fire(QTimer* timer)
{
    ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection));
}

void StartRig::load()
{
    windows.start();
    splash = windows.splash();
    for (int turn = 0; turn < 20; ++turn)
        QApplication::processEvents();
}

void StartRig::startUp()
{
    auto* timer = splash->findChild<QTimer*>("Timer1");
    ASSERT_TRUE(timer);
    ASSERT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 2000);
    fire(timer);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void once(std::function<bool()> ready, std::function<void()> part, const std::string& awaited)
{
    // Long enough for a loaded machine; a test that waits this long has failed anyway.
    constexpr std::chrono::seconds kDeadline{20};
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout,
                     [poll, ready = std::move(ready), part = std::move(part), awaited,
                      until = std::chrono::steady_clock::now() + kDeadline] {
                         const bool now = ready();
                         if (!now && std::chrono::steady_clock::now() < until)
                             return;
                         poll->stop();
                         poll->deleteLater();
                         if (now) {
                             part();
                             return;
                         }
                         ADD_FAILURE() << "gave up waiting for " << awaited;
                         // Another dialog in the way would hold the test for ever.
                         if (QWidget* other = QApplication::activeModalWidget())
                             other->close();
                     });
    poll->start();
}

void whileModal(const char* expected, std::function<void(QWidget*)> part)
{
    const auto modal = [expected]() -> QWidget* {
        QWidget* dialog = QApplication::activeModalWidget();
        const bool isIt = dialog && dialog->isVisible() &&
            (dialog->objectName() == QLatin1String(expected) || dialog->inherits(expected));
        return isIt ? dialog : nullptr;
    };
    once([modal] { return modal() != nullptr; },
         [modal, part = std::move(part)] {
             QPointer<QWidget> dialog = modal();
             part(dialog);
             if (::testing::Test::HasFatalFailure() && dialog && dialog->isVisible())
                 dialog->close();
         },
         std::string("the modal ") + expected);
}

QStringList labelTexts(const QWidget* parent)
{
    QStringList texts;
    for (const QLabel* label : parent->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

QGroupBox* frameTitled(const QWidget* parent, const QString& title)
{
    for (QGroupBox* box : parent->findChildren<QGroupBox*>())
        if (box->title() == title)
            return box;
    return nullptr;
}

int effectShowing(const PageInfo& page)
{
    for (int e = 0; e < kEffectCount; ++e)
        if (catalogue::effect(e).pageElement == page.element)
            return e;
    return 0;
}

} // namespace qrv::test
