// The Preset Library panel over the Preset folder.
#include "UiRig.hpp"

#include "TempFolder.hpp"

#include "editor/Catalogue.hpp"
#include "storage/FileCodec.hpp"
#include "ui/pages/Accessible.hpp"
#include "ui/panels/PresetLibraryPanel.hpp"
#include "ui/windows/EditorWindow.hpp"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QStatusBar>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QComboBox>
#include <QMimeData>
#include <QSlider>
#include <QStackedWidget>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <fstream>

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

// The panel's entries as "name|effect" (and "|identical" when marked), folders with their
// entries indented.
QStringList entries(const QAbstractItemModel* model, const QModelIndex& parent = {}, const QString& indent = {})
{
    QStringList out;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex at = model->index(row, 0, parent);
        QString text = indent + at.data().toString() + u'|' + model->index(row, 1, parent).data().toString();
        if (const QString identical = model->index(row, 2, parent).data().toString(); !identical.isEmpty())
            text += u'|' + identical;
        out << text;
        out << entries(model, at, indent + u' ');
    }
    return out;
}

QModelIndex entry(const QTreeView* list, const QString& name)
{
    const QAbstractItemModel* model = list->model();
    const QModelIndexList found =
        model->match(model->index(0, 0), Qt::DisplayRole, name, 2, Qt::MatchExactly | Qt::MatchRecursive | Qt::MatchWrap);
    return found.size() == 1 ? found.front() : QModelIndex();
}

// Waits, as the panel's watcher tells, until the list holds what the test wants.
bool follows(ui::PresetLibraryPanel* panel, const std::function<bool()>& wanted)
{
    QSignalSpy rescans(panel, &ui::PresetLibraryPanel::rescanned);
    while (!wanted())
        if (!rescans.wait(5000))
            return false;
    return true;
}

std::vector<uint8_t> presetOf(std::span<const uint8_t, kRowSize> row, int effect)
{
    const Row record = encodePreset(row, effect);
    return {record.begin(), record.end()};
}

TEST(UiPresetLibrary, ListsTheFolderFollowsItAndLoadsWhatIsChosen)
{
    StartedRig rig;
    const fs::path presets = rig.folder.path / "Preset";
    auto* panel = rig.windows.main().findChild<ui::PresetLibraryPanel*>("PresetLibrary");
    ASSERT_TRUE(panel);
    EXPECT_FALSE(panel->isVisible());
    auto* show = rig.windows.main().findChild<QAction*>("Menu_PresetLibrary");
    ASSERT_TRUE(show);
    EXPECT_TRUE(rig.windows.main().fileMenu()->actions().contains(show));
    // The editor keeps its room: the window widens by what the panel takes. (Narrowed first,
    // so that the test screen has room to widen it.)
    rig.windows.main().setMinimumSize(0, 0);
    rig.windows.main().resize(300, rig.windows.main().height());
    auto* area = rig.windows.main().findChild<QScrollArea*>("EditorArea");
    QApplication::processEvents();
    const int room = area->width();
    const int narrow = rig.windows.main().width();
    show->trigger();
    ASSERT_TRUE(panel->isVisible());
    QApplication::processEvents();
    EXPECT_GE(area->width(), room);
    auto* list = rig.find<QTreeView>("LibraryList");
    auto* message = rig.find<QLabel>("LibraryMessage");
    EXPECT_EQ(list->accessibleName(), "Preset Library");

    // No folder yet: the panel says so and lists nothing.
    ASSERT_TRUE(follows(panel, [&] { return message->text().startsWith("There is no Preset folder"); }))
        << message->text().toStdString();
    EXPECT_FALSE(list->isVisible());
    QApplication::processEvents();
    EXPECT_LT(message->geometry().bottom(), panel->height() / 2) // at the top, not in the middle
        << message->geometry().bottom() << " " << panel->height();

    // The folder appears, moved in, with files written long ago (which the panel does not read
    // again unless they change), a subfolder, a damaged file and a stranger.
    const fs::path arriving = rig.folder.path / "Arriving";
    const auto writeOld = [&](const fs::path& file, const std::vector<uint8_t>& bytes) {
        writeBytes(arriving / file, bytes);
        fs::last_write_time(arriving / file, fs::file_time_type::clock::now() - std::chrono::hours(1));
    };
    Row chorus;
    std::ranges::copy(rig.state.store.row(7), chorus.begin());
    const int depth = chorus[0];
    chorus[0] = depth == 33 ? 34 : 33;
    fs::create_directories(arriving / "Live");
    writeOld("Lead 10.fxp", presetOf(chorus, 7));
    writeOld("Lead 2.fxp", presetOf(rig.state.store.row(2), 2));
    writeOld(fs::path("Live") / "Bass.FXP", presetOf(rig.state.store.row(9), 9));
    writeOld(fs::path("Live") / "Copy.fxp", presetOf(chorus, 7));
    ParameterTable project = rig.state.store;
    const int rate = project.at(9, 0) == 50 ? 51 : 50;
    project.at(9, 0) = static_cast<uint8_t>(rate);
    writeOld("all.prj", encodeProject(project));
    writeOld("broken.fxp", std::vector<uint8_t>(10, 1));
    writeOld("notes.txt", {1, 2, 3});
    fs::rename(arriving, presets);
    const QString effect2 = catalogue::effect(2).listText, effect7 = catalogue::effect(7).listText,
                  effect9 = catalogue::effect(9).listText;
    const QStringList expected = {"Live|",
                                  " Bass.FXP|" + effect9,
                                  " Copy.fxp|" + effect7 + "|Lead 10.fxp",
                                  "all.prj|Project",
                                  "broken.fxp|Damaged file",
                                  "Lead 2.fxp|" + effect2,
                                  "Lead 10.fxp|" + effect7 + "|Live/Copy.fxp"};
    ASSERT_TRUE(follows(panel, [&] { return entries(list->model()) == expected; })) << entries(list->model()).join(", ").toStdString();
    EXPECT_TRUE(list->isVisible());
    const QString where = QDir::toNativeSeparators(QString::fromStdString(presets.string()));
    EXPECT_EQ(message->text(), "6 files in " + where);
    EXPECT_TRUE(entry(list, "broken.fxp").data(Qt::AccessibleTextRole).toString().contains("holds 10 bytes"));
    EXPECT_EQ(entry(list, "Lead 10.fxp").siblingAtColumn(1).data(Qt::AccessibleTextRole).toString(),
              "Lead 10.fxp, " + effect7 + ", identical to Live/Copy.fxp");

    // Presets drag out as files; a project does not.
    for (const char* name : {"Bass.FXP", "Lead 10.fxp", "all.prj"})
        list->selectionModel()->select(entry(list, name), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const std::unique_ptr<QMimeData> dragged(list->model()->mimeData(list->selectionModel()->selectedIndexes()));
    ASSERT_TRUE(dragged);
    QStringList draggedFiles;
    for (const QUrl& url : dragged->urls())
        draggedFiles << url.toLocalFile();
    const QString presetsPath = QString::fromStdString(presets.string());
    EXPECT_EQ(draggedFiles, (QStringList{presetsPath + "/Live/Bass.FXP", presetsPath + "/Lead 10.fxp"}));
    // Ctrl+C copies what a drag carries, for the keyboard's paste onto a slot.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::clipboard()->mimeData()->urls() == dragged->urls(); },
                                kDeadlineMs));
    EXPECT_TRUE(rig.windows.main().statusBar()->currentMessage().startsWith("Copied 2 preset files: paste them"))
        << rig.windows.main().statusBar()->currentMessage().toStdString();

    // Added, removed and renamed on disk, and a new subfolder with a file of its own: only
    // those entries change, the others stay as they were, folded ones too.
    list->setCurrentIndex(entry(list, "Bass.FXP"));
    const QPersistentModelIndex lead10 = entry(list, "Lead 10.fxp");
    QSignalSpy resets(list->model(), &QAbstractItemModel::modelReset);
    list->collapse(entry(list, "Live"));
    writeBytes(presets / "Live" / "Pad.fxp", presetOf(rig.state.store.row(3), 3));
    writeBytes(presets / "Live" / "Copy.fxp", presetOf(rig.state.store.row(9), 9)); // now as Bass.FXP
    fs::remove(presets / "broken.fxp");
    fs::rename(presets / "Lead 2.fxp", presets / "Lead 3.fxp");
    fs::create_directories(presets / "Studio");
    ASSERT_TRUE(follows(panel, [&] { return entry(list, "Pad.fxp").isValid() && entry(list, "Studio").isValid(); }))
        << entries(list->model()).join(", ").toStdString();
    writeBytes(presets / "Studio" / "Keys.fxp", presetOf(rig.state.store.row(4), 4));
    ASSERT_TRUE(follows(panel, [&] { return entry(list, "Keys.fxp").isValid(); })) << entries(list->model()).join(", ").toStdString();
    writeBytes(presets / "Lead 3.fxp", presetOf(rig.state.store.row(5), 5)); // rewritten in place
    ASSERT_TRUE(follows(panel, [&] { return entry(list, "Lead 3.fxp").siblingAtColumn(1).data() == catalogue::effect(5).listText; }));
    writeBytes(presets / "Lead 3.fxp", presetOf(rig.state.store.row(2), 2));
    ASSERT_TRUE(follows(panel, [&] { return entry(list, "Lead 3.fxp").siblingAtColumn(1).data() == effect2; }));
    EXPECT_EQ(entries(list->model()),
              QStringList({"Live|", " Bass.FXP|" + effect9 + "|Live/Copy.fxp", " Copy.fxp|" + effect9 + "|Live/Bass.FXP",
                           " Pad.fxp|" + QString(catalogue::effect(3).listText),
                           "Studio|", " Keys.fxp|" + QString(catalogue::effect(4).listText), "all.prj|Project",
                           "Lead 3.fxp|" + effect2, "Lead 10.fxp|" + effect7}));
    EXPECT_EQ(list->currentIndex(), entry(list, "Bass.FXP")); // the choice survives the changes
    EXPECT_EQ(entry(list, "Lead 10.fxp"), lead10); // changed in place, never listed anew
    EXPECT_EQ(resets.count(), 0);
    EXPECT_FALSE(list->isExpanded(entry(list, "Live")));
    EXPECT_EQ(message->text(), "7 files in " + where); // folded ones counted
    EXPECT_EQ(panel->watchCount(), 4); // the Preset folder, its parent and two subfolders
    // Rewritten apart, a copy loses its mark, and so does the file it was a copy of.
    writeBytes(presets / "Live" / "Copy.fxp", presetOf(rig.state.store.row(6), 6));
    ASSERT_TRUE(follows(panel, [&] {
        return entry(list, "Copy.fxp").siblingAtColumn(1).data() == catalogue::effect(6).listText;
    }));
    EXPECT_EQ(entry(list, "Copy.fxp").siblingAtColumn(2).data().toString(), "");
    EXPECT_EQ(entry(list, "Bass.FXP").siblingAtColumn(2).data().toString(), "");
    rig.windows.main().grab().save(QDir(QStringLiteral(QRV_RENDER_DIR)).filePath(QStringLiteral("library.png")));

    // A double click loads the preset as Load Preset From PC does, without the file dialog.
    rig.port.clearLog();
    const std::size_t stepsBefore = rig.editor.history().size();
    const QPoint at = list->visualRect(entry(list, "Lead 10.fxp")).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(rig.host.dialogs.empty());
    EXPECT_EQ(rig.state.currentEffect, 7);
    EXPECT_EQ(rig.find<QComboBox>("Combo1")->currentText(), effect7);
    EXPECT_EQ(rig.stored(0), chorus[0]);
    EXPECT_EQ(rig.state.startConfig.at(7, 0), chorus[0]);
    EXPECT_EQ(rig.find<QLineEdit>("Text5_0")->text(), QString::number(chorus[0]) + " %");
    EXPECT_EQ(rig.live(7, 0), chorus[0]);
    EXPECT_TRUE(rig.windows.main().statusText().startsWith("Loaded Preset/Lead 10.fxp"))
        << rig.windows.main().statusText().toStdString();
    // One step of the history takes it back.
    EXPECT_EQ(rig.editor.history().size(), stepsBefore + 1);
    ASSERT_TRUE(rig.editor.undo());
    EXPECT_EQ(rig.stored(0), depth);

    // Enter on a project loads all sixteen effects through the project load and its progress.
    list->setCurrentIndex(entry(list, "all.prj"));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(rig.host.dialogs.empty());
    EXPECT_EQ(rig.state.currentEffect, 0);
    EXPECT_EQ(rig.state.store.at(9, 0), rate);
    EXPECT_EQ(rig.live(9, 0), rate);
    EXPECT_TRUE(std::ranges::any_of(rig.host.progress, [](const auto& p) { return p.title == "Loading project"; }));
    EXPECT_EQ(rig.windows.main().windowTitle(), "QRV5173 - [QRV5173 Edit]");

    // The folder renamed away: the panel says so.
    fs::rename(presets, rig.folder.path / "Preset.old");
    ASSERT_TRUE(follows(panel, [&] { return message->text().startsWith("There is no Preset folder"); }));
    EXPECT_FALSE(list->isVisible());

    // Hidden, the panel gives the editor its room back.
    show->trigger();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(rig.windows.main().width(), narrow);
}

// The files a view shows below parent, by name.
QStringList shownFiles(const QAbstractItemModel* model, const QModelIndex& parent = {})
{
    QStringList out;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex at = model->index(row, 0, parent);
        if (at.flags() & Qt::ItemNeverHasChildren)
            out << at.data().toString();
        else
            out << shownFiles(model, at);
    }
    return out;
}

// While the user works elsewhere, files coming and going neither move the focus nor tell a
// screen reader of a focus move; a thousand files at once all come; the search and the
// effect narrow the list and give it back as it was.
TEST(UiPresetLibrary, FollowsManyFilesQuietlyAndNarrowsAndWidens)
{
    StartedRig rig;
    const fs::path presets = rig.folder.path / "Preset";
    fs::create_directories(presets);
    const auto writeSame = [&](const char* name) {
        std::ofstream file(presets / name, std::ios::binary);
        const std::string record(32, '\0');
        file << record << '\7';
    };
    writeSame("b.fxp");
    auto* panel = rig.windows.main().findChild<ui::PresetLibraryPanel*>("PresetLibrary");
    activate(&rig.windows.main());
    rig.windows.main().findChild<QAction*>("Menu_PresetLibrary")->trigger();
    auto* list = rig.find<QTreeView>("LibraryList");
    auto* message = rig.find<QLabel>("LibraryMessage");
    const QString where = QDir::toNativeSeparators(QString::fromStdString(presets.string()));
    ASSERT_TRUE(follows(panel, [&] { return panel->listedFiles() == 1; }));
    EXPECT_EQ(message->text(), "1 file in " + where);
    writeSame("a.fxp");
    ASSERT_TRUE(follows(panel, [&] { return panel->listedFiles() == 2; }));
    list->setCurrentIndex(entry(list, "b.fxp"));
    auto* slider = rig.windows.editor().pages()->currentWidget()->findChild<QSlider*>();
    ASSERT_TRUE(slider);
    slider->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), slider);

    // The view is not told of a new current entry, which it would announce as a focus move.
    QSignalSpy told(list->selectionModel(), &QItemSelectionModel::currentChanged);
    fs::rename(presets / "a.fxp", presets / "0.fxp");
    constexpr int kAdded = 1000;
    fs::create_directories(presets / "Bank");
    for (int n = 0; n < kAdded; ++n)
        writeBytes(presets / "Bank" / ("Pad " + std::to_string(n) + ".fxp"), presetOf(rig.state.store.row(n % 16), n % 16));
    panel->rescan();
    ASSERT_TRUE(follows(panel, [&] { return panel->listedFiles() == kAdded + 2 && entry(list, "0.fxp").isValid(); }));
    EXPECT_EQ(told.count(), 0);
    EXPECT_EQ(QApplication::focusWidget(), slider);
    EXPECT_EQ(list->currentIndex().data().toString(), "b.fxp"); // still the user's choice
    const QStringList all = shownFiles(list->model());
    ASSERT_EQ(all.size(), kAdded + 2);
    for (int n = 0; n < kAdded; ++n)
        ASSERT_EQ(all[n], QStringLiteral("Pad %1.fxp").arg(n)); // each once, in the order names are read
    // Files of the same 33 bytes: the first of each sixteen is the one the others are identical to.
    EXPECT_EQ(entry(list, "Pad 17.fxp").siblingAtColumn(2).data().toString(), "Bank/Pad 1.fxp");
    EXPECT_EQ(entry(list, "Pad 1.fxp").siblingAtColumn(2).data().toString(), "Bank/Pad 17.fxp");

    // The search narrows by name as it is typed, any case; the effect narrows further.
    const QModelIndex bank = entry(list, "Bank");
    list->collapse(bank);
    auto* search = rig.find<QLineEdit>("LibrarySearch");
    auto* effect = rig.find<QComboBox>("LibraryEffect");
    // Screen readers hear what the list chooses, not only the entry it shows.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(effect)->text(QAccessible::Name), "Show the files of");
    QStringList heard;
    ui::observeAnnouncements([&heard](QWidget*, const QString& said) { heard << said; });
    const struct Quiet {
        ~Quiet() { ui::observeAnnouncements({}); }
    } quiet;
    QTest::keyClicks(search, "PAD 1");
    QStringList wanted;
    for (int n = 0; n < kAdded; ++n)
        if (std::to_string(n).starts_with('1'))
            wanted << QStringLiteral("Pad %1.fxp").arg(n);
    EXPECT_EQ(shownFiles(list->model()), wanted);
    EXPECT_TRUE(list->isExpanded(entry(list, "Bank"))); // matches are shown
    EXPECT_EQ(message->text(), QStringLiteral("111 of 1,002 files in %1 shown").arg(where));
    // Once typing pauses, the count is said once, not one count a key.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !heard.filter(" files in ").isEmpty(); }, kDeadlineMs));
    EXPECT_EQ(heard.filter(" files in "), QStringList{message->text()});
    effect->setCurrentIndex(effect->findData(7));
    wanted.clear();
    for (int n = 0; n < kAdded; ++n)
        if (std::to_string(n).starts_with('1') && n % 16 == 7)
            wanted << QStringLiteral("Pad %1.fxp").arg(n);
    EXPECT_EQ(shownFiles(list->model()), wanted);

    // An effect's name finds its files; the effect chosen alone keeps only its presets.
    effect->setCurrentIndex(0);
    search->setText(QString::fromUtf8(catalogue::effect(5).listText).toLower());
    wanted.clear();
    for (int n = 5; n < kAdded; n += 16)
        wanted << QStringLiteral("Pad %1.fxp").arg(n);
    EXPECT_EQ(shownFiles(list->model()), wanted);
    search->clear();
    effect->setCurrentIndex(effect->findData(7));
    wanted.clear();
    for (int n = 7; n < kAdded; n += 16)
        wanted << QStringLiteral("Pad %1.fxp").arg(n);
    EXPECT_EQ(shownFiles(list->model()), wanted + QStringList({"0.fxp", "b.fxp"}));

    // Widened, the list is whole again, the folder as the user left it.
    effect->setCurrentIndex(0);
    EXPECT_EQ(shownFiles(list->model()), all);
    EXPECT_FALSE(list->isExpanded(entry(list, "Bank")));
    EXPECT_EQ(message->text(), QStringLiteral("1,002 files in %1").arg(where));
}

} // namespace
} // namespace qrv::test
