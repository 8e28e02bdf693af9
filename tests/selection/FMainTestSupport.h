#pragma once

// The main window on a small firm database: its fixture and list helpers.
#include "AppTitle.h"
#include "FMain.h"
#include "FaultyDatabase.h"
#include "FindControl.h"
#include "ScriptedMessageBoxes.h"
#include "SettingsStore.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "VdbErrors.h"
#include "VdbFixture.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

inline QStringList rowsOf(const QTreeWidget* list) {
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        rows << (list->columnCount() == 1 ? item->text(0) : item->text(0) + u'|' + item->text(1));
    }
    return rows;
}

// A double click as the desktop delivers it: press, release, double click, release.
inline void doubleClick(QTreeWidget* list, QTreeWidgetItem* item) {
    QWidget* viewport = list->viewport();
    const QPoint at = list->visualItemRect(item).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QMouseEvent event(QEvent::MouseButtonDblClick, at, viewport->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &event);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
}

class FMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUiLanguageOverride(UiLanguage::English);
        TableSchema customers =
            tableOf(u"Kunden"_s,
                    {u"ID"_s, u"Name"_s, u"Telefon"_s, u"TELEFAX"_s, u"Mobiltelefon"_s, u"Ort"_s},
                    u"Customers"_s);
        TableSchema suppliers = tableOf(u"Lieferanten"_s, {u"ID"_s, u"telefon"_s, u"Name"_s});
        TableSchema doctors = tableOf(u"Ärzte"_s, {u"Ölfax"_s, u"Name"_s});
        TableSchema doctorsLower = tableOf(u"ärzte"_s, {u"Ölfax"_s, u"ölfax"_s});
        file = fx.create(u"firm.vdb"_s,
                         schemaOf({customers, suppliers, doctors, doctorsLower}, u"Firma"_s));
        db = VdbFixture::open(file);
    }
    void TearDown() override { setUiLanguageOverride(std::nullopt); }

    void setPrefix(const QString& prefix) {
        settings.SaveSetting(AppTitle(), SettingKey::section(), SettingKey::fieldSearchPrefix(),
                             prefix);
    }

    // A loaded window; its controls become this fixture's members of the same names.
    std::unique_ptr<FMain> load(DatabasePtr database = {}, RunEnvironment environment = {}) {
        auto w = std::make_unique<FMain>(database ? database : db, settings, boxes, environment);
        w->Form_Load();
        lvwTables = child<QTreeWidget>(w.get(), "lvwTables");
        lvwFields = child<QTreeWidget>(w.get(), "lvwFields");
        lvwChoosedFields = child<QTreeWidget>(w.get(), "lvwChoosedFields");
        cmdAddField = child<QPushButton>(w.get(), "cmdAddField");
        cmdRemoveField = child<QPushButton>(w.get(), "cmdRemoveField");
        cmdRemoveAllFields = child<QPushButton>(w.get(), "cmdRemoveAllFields");
        cmdAutoAdd = child<QPushButton>(w.get(), "cmdAutoAdd");
        cmdStart = child<QPushButton>(w.get(), "cmdStart");
        cmdPreview = child<QPushButton>(w.get(), "cmdPreview");
        cmdClose = child<QPushButton>(w.get(), "cmdClose");
        txtPrefixAutoAdd = child<QLineEdit>(w.get(), "txtPrefixAutoAdd");
        lblStatus = child<QLabel>(w.get(), "lblStatus");
        prgBar = child<QProgressBar>(w.get(), "prgBar");
        return w;
    }

    void selectTable(int row) { lvwTables->setCurrentItem(lvwTables->topLevelItem(row)); }

    void selectRows(QTreeWidget* list, const QList<int>& rows) {
        list->clearSelection();
        for (const int row : rows)
            list->topLevelItem(row)->setSelected(true);
    }

    VdbFixture fx;
    QTemporaryDir settingsDir;
    SettingsStore settings{settingsDir.path()};
    ScriptedMessageBoxes boxes;
    QString file;
    DatabasePtr db;
    QTreeWidget *lvwTables = nullptr, *lvwFields = nullptr, *lvwChoosedFields = nullptr;
    QPushButton *cmdAddField = nullptr, *cmdRemoveField = nullptr, *cmdRemoveAllFields = nullptr;
    QPushButton *cmdAutoAdd = nullptr, *cmdStart = nullptr, *cmdPreview = nullptr,
                *cmdClose = nullptr;
    QLineEdit* txtPrefixAutoAdd = nullptr;
    QLabel* lblStatus = nullptr;
    QProgressBar* prgBar = nullptr;
};
