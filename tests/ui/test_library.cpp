// The Preset Library panel over the Preset folder.
#include "UiRig.hpp"

#include "TempFolder.hpp"

#include "editor/Catalogue.hpp"
#include "storage/FileCodec.hpp"
#include "ui/panels/PresetLibraryPanel.hpp"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

// The panel's entries as "name|effect", folders with their entries indented.
QStringList entries(const QTreeWidget* list)
{
    QStringList out;
    std::function<void(const QTreeWidgetItem*, const QString&)> add = [&](const QTreeWidgetItem* item,
                                                                          const QString& indent) {
        out << indent + item->text(0) + u'|' + item->text(1);
        for (int i = 0; i < item->childCount(); ++i)
            add(item->child(i), indent + u' ');
    };
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        add(list->topLevelItem(i), {});
    return out;
}

QTreeWidgetItem* entry(QTreeWidget* list, const QString& name)
{
    const QList<QTreeWidgetItem*> found = list->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.size() == 1 ? found.front() : nullptr;
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
    auto* list = rig.find<QTreeWidget>("LibraryList");
    auto* message = rig.find<QLabel>("LibraryMessage");
    EXPECT_EQ(list->accessibleName(), "Preset Library");

    // No folder yet: the panel says so and lists nothing.
    ASSERT_TRUE(follows(panel, [&] { return message->text().startsWith("There is no Preset folder"); }))
        << message->text().toStdString();
    EXPECT_FALSE(list->isVisible());
    QApplication::processEvents();
    EXPECT_LT(message->geometry().bottom(), panel->height() / 2) // at the top, not in the middle
        << message->geometry().bottom() << " " << panel->height();

    // The folder appears with files, a subfolder, a damaged file and a stranger.
    Row chorus;
    std::ranges::copy(rig.state.store.row(7), chorus.begin());
    const int depth = chorus[0];
    chorus[0] = depth == 33 ? 34 : 33;
    fs::create_directories(presets / "Live");
    writeBytes(presets / "Lead 10.fxp", presetOf(chorus, 7));
    writeBytes(presets / "Lead 2.fxp", presetOf(rig.state.store.row(2), 2));
    writeBytes(presets / "Live" / "Bass.FXP", presetOf(rig.state.store.row(9), 9));
    ParameterTable project = rig.state.store;
    const int rate = project.at(9, 0) == 50 ? 51 : 50;
    project.at(9, 0) = static_cast<uint8_t>(rate);
    writeBytes(presets / "all.prj", encodeProject(project));
    writeBytes(presets / "broken.fxp", std::vector<uint8_t>(10, 1));
    writeBytes(presets / "notes.txt", {1, 2, 3});
    const QString effect2 = catalogue::effect(2).listText, effect7 = catalogue::effect(7).listText,
                  effect9 = catalogue::effect(9).listText;
    const QStringList expected = {"Live|",
                                  " Bass.FXP|" + effect9,
                                  "all.prj|Project",
                                  "broken.fxp|Damaged file",
                                  "Lead 2.fxp|" + effect2,
                                  "Lead 10.fxp|" + effect7};
    ASSERT_TRUE(follows(panel, [&] { return entries(list) == expected; })) << entries(list).join(", ").toStdString();
    EXPECT_TRUE(list->isVisible());
    const QString where = QDir::toNativeSeparators(QString::fromStdString(presets.string()));
    EXPECT_EQ(message->text(), "5 files in " + where);
    EXPECT_TRUE(entry(list, "broken.fxp")->data(0, Qt::AccessibleTextRole).toString().contains("holds 10 bytes"));
    EXPECT_EQ(entry(list, "Lead 10.fxp")->data(1, Qt::AccessibleTextRole).toString(), "Lead 10.fxp, " + effect7);

    // Added, removed and renamed on disk, and a new subfolder with a file of its own: only
    // those entries change, the others stay as they were, folded ones too.
    entry(list, "Bass.FXP")->setSelected(true);
    list->setCurrentItem(entry(list, "Bass.FXP"));
    QTreeWidgetItem* const lead10 = entry(list, "Lead 10.fxp");
    lead10->setData(0, Qt::UserRole + 10, "untouched");
    entry(list, "Live")->setExpanded(false);
    writeBytes(presets / "Live" / "Pad.fxp", presetOf(rig.state.store.row(3), 3));
    fs::remove(presets / "broken.fxp");
    fs::rename(presets / "Lead 2.fxp", presets / "Lead 3.fxp");
    fs::create_directories(presets / "Studio");
    ASSERT_TRUE(follows(panel, [&] { return entry(list, "Pad.fxp") && entry(list, "Studio"); }))
        << entries(list).join(", ").toStdString();
    writeBytes(presets / "Studio" / "Keys.fxp", presetOf(rig.state.store.row(4), 4));
    ASSERT_TRUE(follows(panel, [&] { return entry(list, "Keys.fxp"); })) << entries(list).join(", ").toStdString();
    writeBytes(presets / "Lead 3.fxp", presetOf(rig.state.store.row(5), 5)); // rewritten in place
    ASSERT_TRUE(follows(panel, [&] { return entry(list, "Lead 3.fxp")->text(1) == catalogue::effect(5).listText; }));
    writeBytes(presets / "Lead 3.fxp", presetOf(rig.state.store.row(2), 2));
    ASSERT_TRUE(follows(panel, [&] { return entry(list, "Lead 3.fxp")->text(1) == effect2; }));
    EXPECT_EQ(entries(list),
              QStringList({"Live|", " Bass.FXP|" + effect9, " Pad.fxp|" + QString(catalogue::effect(3).listText),
                           "Studio|", " Keys.fxp|" + QString(catalogue::effect(4).listText), "all.prj|Project",
                           "Lead 3.fxp|" + effect2, "Lead 10.fxp|" + effect7}));
    EXPECT_EQ(list->currentItem(), entry(list, "Bass.FXP")); // the choice survives the changes
    EXPECT_EQ(entry(list, "Lead 10.fxp"), lead10);
    EXPECT_EQ(lead10->data(0, Qt::UserRole + 10).toString(), "untouched");
    EXPECT_FALSE(entry(list, "Live")->isExpanded());
    EXPECT_EQ(message->text(), "6 files in " + where); // folded ones counted
    EXPECT_EQ(panel->watchCount(), 4); // the Preset folder, its parent and two subfolders
    rig.windows.main().grab().save(QDir(QStringLiteral(QRV_RENDER_DIR)).filePath(QStringLiteral("library.png")));

    // A double click loads the preset as Load Preset From PC does, without the file dialog.
    rig.port.clearLog();
    const std::size_t stepsBefore = rig.editor.history().size();
    QTreeWidgetItem* lead = entry(list, "Lead 10.fxp");
    const QPoint at = list->visualItemRect(lead).center();
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
    list->setCurrentItem(entry(list, "all.prj"));
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

} // namespace
} // namespace qrv::test
