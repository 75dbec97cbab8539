#include "UiRig.hpp"

#include <QApplication>

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

std::vector<std::vector<uint8_t>> framesOf(const LoopbackTransport& port, uint8_t command)
{
    std::vector<std::vector<uint8_t>> out;
    for (const auto& sent : port.sent())
        if (sent.bytes.size() == kFrameSize && sent.bytes[2] == command)
            out.push_back(sent.bytes);
    return out;
}

} // namespace qrv::test
