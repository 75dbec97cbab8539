#pragma once

#include "devmem/PresetDialogs.hpp"

#include <QDialog>

namespace qrv::ui {

class Binder;

// What the store dialog says of the name typed so far: the unit keeps eight characters.
QString nameLengthText(int length);

// FrmRead: the modal dialog over a ReadDialog, which does the loading.
class ReadDialogWindow final : public QDialog {
    Q_OBJECT
public:
    ReadDialogWindow(ReadDialog& dialog, Binder& binder, QWidget* parent = nullptr);

    // The close box and Escape answer as Cancel does.
    void reject() override;

private:
    ReadDialog& dialog_;
    Binder& binder_;
};

// FrmStore: the modal dialog over a StoreDialog, which does the storing.
class StoreDialogWindow final : public QDialog {
    Q_OBJECT
public:
    StoreDialogWindow(StoreDialog& dialog, Binder& binder, QWidget* parent = nullptr);

    void reject() override;

private:
    StoreDialog& dialog_;
    Binder& binder_;
};

} // namespace qrv::ui
