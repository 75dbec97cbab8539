#pragma once

#include "EditorRig.hpp"

#include "editor/Catalogue.hpp"

#include "ui/windows/AppWindows.hpp"
#include "ui/windows/EditorWindow.hpp"
#include "ui/windows/MainWindow.hpp"
#include "ui/windows/SplashWindow.hpp"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace qrv::test {

// The QApplication of the test process, with the program's look.
void ensureApplication();

struct ApplicationUp {
    ApplicationUp() { ensureApplication(); }
};

// The whole editor with its windows, talking to the in-process emulator over the
// loopback port, on the scripted host. The windows are shown on the offscreen screen.
struct UiRig : ApplicationUp, EditorRig {
    ui::AppWindows windows{program, nullptr};

    // Shows the main window with the editor, as the end of start-up does.
    void showEditor();

    // The widget of the program's windows with that object name; fails the test when
    // there is none or more than one.
    template <class T> T* find(const QString& name)
    {
        const QList<T*> found = windows.main().template findChildren<T*>(name);
        EXPECT_EQ(found.size(), 1) << name.toStdString();
        return found.isEmpty() ? nullptr : found.front();
    }
    template <class T> T* find(const char* name) { return find<T>(QString::fromLatin1(name)); }
};

// A fresh working directory for the test, the program folder of a start-up; the old
// one comes back and the folder goes afterwards.
struct WorkingFolder {
    WorkingFolder();
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;
    std::filesystem::path previous;
    std::filesystem::path path;
};

// The editor after the splash window: `load` opens the splash in a fresh program folder
// and lets it build the pages, `startUp` fires its timer, which runs the start-up.
struct StartRig : UiRig {
    WorkingFolder folder;
    ui::SplashWindow* splash = nullptr;
    void load();
    void startUp();
};
struct StartedRig : StartRig {
    StartedRig()
    {
        load();
        startUp();
    }
};

// How long a test waits for what it drives: long enough for a loaded machine.
constexpr int kDeadlineMs = 20000;

// Runs the part once `ready` holds, checking every few milliseconds from the event loop,
// whichever local loop runs it; the test fails, and the part is dropped, when `ready`
// does not hold within the deadline.
void once(std::function<bool()> ready, std::function<void()> part, const std::string& awaited);
// Runs the test's part inside the dialog once it is shown and modal: the one whose object
// name is `expected`, or which is of that class. A part that fails fatally leaves the
// dialog closed, so that the test ends instead of waiting in it.
void whileModal(const char* expected, std::function<void(QWidget*)> part);
// The window takes the keyboard, as a click on it would.
void activate(QWidget* window);
// The first effect whose page is this one.
int effectShowing(const PageInfo& page);

// The texts of the labels inside the widget, and its frame with that title.
QStringList labelTexts(const QWidget* parent);
QGroupBox* frameTitled(const QWidget* parent, const QString& title);

// What a user's choice from a list does: the list shows the entry and reports it.
void choose(QComboBox* list, int index);
// A timer's time is up.
void fire(QTimer* timer);

} // namespace qrv::test
