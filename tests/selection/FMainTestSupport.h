#pragma once

// The main window on a small firm database: its fixture and list helpers.
#include "AppTitle.h"
#include "FMain.h"
#include "FaultyDatabase.h"
#include "ScriptedMessageBoxes.h"
#include "SettingsStore.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "VdbErrors.h"
#include "VdbFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
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
inline void doubleClick(QTreeWidget* list, QPoint at) {
    QWidget* viewport = list->viewport();
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

    std::unique_ptr<FMain> load(DatabasePtr database = {}) {
        auto window = std::make_unique<FMain>(database ? database : db, settings, boxes);
        window->Form_Load();
        return window;
    }

    void selectTable(FMain& w, int row) {
        QTreeWidgetItem* item = w.lvwTables->topLevelItem(row);
        w.lvwTables->setCurrentItem(item);
    }

    void selectRows(QTreeWidget* list, const QList<int>& rows) {
        list->clearSelection();
        for (const int row : rows)
            list->topLevelItem(row)->setSelected(true);
    }

    void clickHeader(FMain& w, int section) {
        QHeaderView* header = w.lvwChoosedFields->header();
        const int x = header->sectionViewportPosition(section) + header->sectionSize(section) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

    VdbFixture fx;
    QTemporaryDir settingsDir;
    SettingsStore settings{settingsDir.path()};
    ScriptedMessageBoxes boxes;
    QString file;
    DatabasePtr db;
};
