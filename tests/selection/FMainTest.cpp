#include "FMainTestSupport.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST_F(FMainTest, LoadsTextsTablesAndTheDefaultPrefixAcrossTables) {
    const auto w = load();
    EXPECT_EQ(w->windowTitle(), u"Firma - Veltrano Telnormer"_s);
    EXPECT_EQ(w->lblInfo->text(), u"Choose the fields with telefon numbers:"_s);
    EXPECT_EQ(w->lblFields->text(), u"releated fields"_s);
    EXPECT_EQ(w->lblAutomaticChoose->text(), u"Automatic choose fields which with "_s);
    EXPECT_EQ(w->cmdClose->text(), u"Close"_s);
    EXPECT_EQ(w->cmdStart->text(), u"Start"_s);
    EXPECT_EQ(w->lvwChoosedFields->headerItem()->text(0), u"Table"_s);
    EXPECT_EQ(w->lvwChoosedFields->headerItem()->text(1), u"Field"_s);
    EXPECT_EQ(w->txtPrefixAutoAdd->text(), u"Telef"_s);
    EXPECT_FALSE(w->chkOnlyMarked->isChecked());
    EXPECT_EQ(w->lblStatus->text(), QString());
    // "Telef" in any letter case, in every table; not in the middle of a name.
    EXPECT_EQ(rowsOf(w->lvwChoosedFields),
              (QStringList{u"Kunden|Telefon"_s, u"Kunden|TELEFAX"_s, u"Lieferanten|telefon"_s}));
    // Hidden name, shown caption or name.
    EXPECT_EQ(rowsOf(w->lvwTables),
              (QStringList{u"Kunden|Customers"_s, u"Lieferanten|Lieferanten"_s, u"Ärzte|Ärzte"_s,
                           u"ärzte|ärzte"_s}));
    EXPECT_TRUE(w->lvwTables->isColumnHidden(0));
    EXPECT_EQ(rowsOf(w->lvwFields), (QStringList{u"ID"_s, u"Name"_s, u"Mobiltelefon"_s, u"Ort"_s}));
    EXPECT_EQ(w->lvwTables->selectedItems().size(), 1);
}

TEST_F(FMainTest, GermanTexts) {
    setUiLanguageOverride(UiLanguage::German);
    const auto w = load();
    EXPECT_EQ(w->windowTitle(), u"Firma - Veltrano Telnormer"_s);
    EXPECT_EQ(w->lvwChoosedFields->headerItem()->text(0), u"Tabelle"_s);
    EXPECT_EQ(w->lvwChoosedFields->headerItem()->text(1), u"Feld"_s);
    EXPECT_EQ(w->cmdClose->text(), u"Schließen"_s);
    EXPECT_EQ(w->frmOptions->title(), u"Eigenschaften"_s);
}

TEST_F(FMainTest, EveryTextIsFullyReadableInBothLanguages) {
    for (const UiLanguage language : {UiLanguage::English, UiLanguage::German}) {
        setUiLanguageOverride(language);
        const auto w = load();
        w->show();
        QApplication::processEvents();
        for (QWidget* widget : std::initializer_list<QWidget*>{
                 w->lblInfo, w->lblTables, w->lblFields, w->lblChoosedFields, w->lblAutomaticChoose,
                 w->lblBegin, w->chkOnlyMarked}) {
            EXPECT_GE(widget->width(), widget->sizeHint().width())
                << widget->objectName().toStdString();
        }
        // Buttons may be narrower than the style's preferred width, never than their text.
        for (QPushButton* button : {w->cmdAutoAdd, w->cmdStart, w->cmdClose, w->cmdAddField,
                                    w->cmdRemoveField, w->cmdRemoveAllFields}) {
            EXPECT_GE(button->width() - 8, button->fontMetrics().horizontalAdvance(button->text()))
                << button->objectName().toStdString();
        }
        EXPECT_GE(w->txtPrefixAutoAdd->width(), 81);
        const QHeaderView* header = w->lvwChoosedFields->header();
        for (int section = 0; section < 2; ++section)
            EXPECT_GE(header->sectionSize(section), header->sectionSizeHint(section));
    }
}

TEST_F(FMainTest, StoredEmptyPrefixOpensWithNothingChosen) {
    setPrefix(QString());
    const auto w = load();
    EXPECT_EQ(w->txtPrefixAutoAdd->text(), QString());
    EXPECT_EQ(w->lvwChoosedFields->topLevelItemCount(), 0);
    EXPECT_EQ(rowsOf(w->lvwFields).size(), 6);
}

TEST_F(FMainTest, CaseAndTableMustNotHideAField) {
    setPrefix(u"Öl"_s);
    const auto w = load();
    // "Öl" matches Ölfax and ölfax, in both tables whose names differ only in case.
    EXPECT_EQ(rowsOf(w->lvwChoosedFields),
              (QStringList{u"Ärzte|Ölfax"_s, u"ärzte|Ölfax"_s, u"ärzte|ölfax"_s}));
    w->cmdRemoveAllFields->click();
    selectTable(*w, 2);
    selectRows(w->lvwFields, {0});
    w->cmdAddField->click(); // (Ärzte, Ölfax)
    EXPECT_EQ(rowsOf(w->lvwFields), (QStringList{u"Name"_s}));
    selectTable(*w, 3);
    // Neither the other table nor the other letter case is hidden.
    EXPECT_EQ(rowsOf(w->lvwFields), (QStringList{u"Ölfax"_s, u"ölfax"_s}));
}

TEST_F(FMainTest, AddAndRemoveWithMultipleSelections) {
    setPrefix(QString());
    const auto w = load();
    selectRows(w->lvwFields, {1, 3, 4}); // Name, TELEFAX, Mobiltelefon
    QTest::mouseClick(w->cmdAddField, Qt::LeftButton);
    EXPECT_EQ(rowsOf(w->lvwChoosedFields),
              (QStringList{u"Kunden|Name"_s, u"Kunden|TELEFAX"_s, u"Kunden|Mobiltelefon"_s}));
    EXPECT_EQ(rowsOf(w->lvwFields), (QStringList{u"ID"_s, u"Telefon"_s, u"Ort"_s}));

    selectTable(*w, 1);
    selectRows(w->lvwFields, {0, 2});
    w->cmdAddField->click();
    EXPECT_EQ(rowsOf(w->lvwFields), (QStringList{u"telefon"_s}));
    EXPECT_EQ(w->lvwChoosedFields->topLevelItemCount(), 5);

    selectTable(*w, 0);
    selectRows(w->lvwChoosedFields,
               {0, 2, 4}); // Kunden|Name, Kunden|Mobiltelefon, Lieferanten|Name
    w->cmdRemoveField->click();
    EXPECT_EQ(rowsOf(w->lvwChoosedFields), (QStringList{u"Kunden|TELEFAX"_s, u"Lieferanten|ID"_s}));
    // The refreshed list shows the removed fields at their place in the table.
    EXPECT_EQ(rowsOf(w->lvwFields),
              (QStringList{u"ID"_s, u"Name"_s, u"Telefon"_s, u"Mobiltelefon"_s, u"Ort"_s}));

    w->cmdRemoveAllFields->click();
    EXPECT_EQ(w->lvwChoosedFields->topLevelItemCount(), 0);
    EXPECT_EQ(rowsOf(w->lvwFields).size(), 6);
}

TEST_F(FMainTest, NothingSelectedChangesNoList) {
    const auto w = load();
    const QStringList chosen = rowsOf(w->lvwChoosedFields);
    const QStringList fields = rowsOf(w->lvwFields);
    w->lvwFields->clearSelection();
    w->cmdAddField->click();
    w->lvwChoosedFields->clearSelection();
    w->cmdRemoveField->click();
    EXPECT_EQ(rowsOf(w->lvwChoosedFields), chosen);
    EXPECT_EQ(rowsOf(w->lvwFields), fields);
    // ">" without a selected table does nothing.
    w->lvwTables->clearSelection();
    selectRows(w->lvwFields, {0});
    w->cmdAddField->click();
    EXPECT_EQ(rowsOf(w->lvwChoosedFields), chosen);
    EXPECT_EQ(rowsOf(w->lvwFields), fields);
}

TEST_F(FMainTest, DoubleClicksMoveFields) {
    setPrefix(QString());
    const auto w = load();
    w->show();
    QApplication::processEvents();
    QTreeWidgetItem* ort = w->lvwFields->topLevelItem(5);
    w->lvwFields->clearSelection();
    ort->setSelected(true);
    doubleClick(w->lvwFields, w->lvwFields->visualItemRect(ort).center());
    ASSERT_EQ(rowsOf(w->lvwChoosedFields), (QStringList{u"Kunden|Ort"_s}));
    QTreeWidgetItem* chosen = w->lvwChoosedFields->topLevelItem(0);
    chosen->setSelected(true);
    doubleClick(w->lvwChoosedFields, w->lvwChoosedFields->visualItemRect(chosen).center());
    EXPECT_EQ(w->lvwChoosedFields->topLevelItemCount(), 0);
    EXPECT_EQ(rowsOf(w->lvwFields).last(), u"Ort"_s);
}

TEST_F(FMainTest, PickingTablesWithKeyboardAndMouseRebuildsTheFields) {
    const auto w = load();
    w->show();
    w->lvwTables->setFocus();
    QTest::keyClick(w->lvwTables, Qt::Key_Down);
    EXPECT_EQ(rowsOf(w->lvwFields), (QStringList{u"ID"_s, u"Name"_s}));
    QTest::keyClick(w->lvwTables, Qt::Key_Down);
    EXPECT_EQ(rowsOf(w->lvwFields), (QStringList{u"Ölfax"_s, u"Name"_s}));
    EXPECT_EQ(w->lvwTables->selectedItems().value(0), w->lvwTables->topLevelItem(2));
    // Clicking the selected row again rebuilds the same list.
    w->lvwFields->clear();
    QTreeWidgetItem* current = w->lvwTables->currentItem();
    QTest::mouseClick(w->lvwTables->viewport(), Qt::LeftButton, {},
                      w->lvwTables->visualItemRect(current).center());
    EXPECT_EQ(rowsOf(w->lvwFields), (QStringList{u"Ölfax"_s, u"Name"_s}));
}

TEST_F(FMainTest, FieldsFollowTheSelectionOncePerChange) {
    QMap<QString, int> lookups;
    const auto w = load(faultyDatabase(db, [&](const QString& operation) {
        if (operation.startsWith(u"Tables.Item:"_s))
            ++lookups[operation.mid(12)];
    }));
    w->show();
    EXPECT_EQ(lookups.value(u"Kunden"_s), 1);
    // Pressed on "Lieferanten", released below the rows.
    QWidget* viewport = w->lvwTables->viewport();
    const QPoint row = w->lvwTables->visualItemRect(w->lvwTables->topLevelItem(1)).center();
    QTest::mousePress(viewport, Qt::LeftButton, {}, row);
    QTest::mouseMove(viewport, QPoint(row.x(), viewport->height() - 4));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(row.x(), viewport->height() - 4));
    ASSERT_EQ(w->lvwTables->selectedItems().value(0), w->lvwTables->topLevelItem(1));
    EXPECT_EQ(rowsOf(w->lvwFields), (QStringList{u"ID"_s, u"Name"_s}));
    EXPECT_EQ(lookups.value(u"Lieferanten"_s), 1);
    selectRows(w->lvwFields, {0});
    w->cmdAddField->click();
    EXPECT_TRUE(rowsOf(w->lvwChoosedFields).contains(u"Lieferanten|ID"_s));
    // A click on another row lists once; on the selected row, again.
    const QPoint first = w->lvwTables->visualItemRect(w->lvwTables->topLevelItem(0)).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, first);
    EXPECT_EQ(lookups.value(u"Kunden"_s), 2);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, first);
    EXPECT_EQ(lookups.value(u"Kunden"_s), 3);
}

TEST_F(FMainTest, PrefixButtonAddsStoresAndAddsNothingTwice) {
    setPrefix(QString());
    auto w = load();
    w->txtPrefixAutoAdd->setText(u"NAME"_s);
    w->cmdAutoAdd->click();
    const QStringList expected{u"Kunden|Name"_s, u"Lieferanten|Name"_s, u"Ärzte|Name"_s};
    EXPECT_EQ(rowsOf(w->lvwChoosedFields), expected);
    // The pair of the selected table left the fields list at once.
    EXPECT_FALSE(rowsOf(w->lvwFields).contains(u"Name"_s));
    w->cmdAutoAdd->click();
    EXPECT_EQ(rowsOf(w->lvwChoosedFields), expected);
    EXPECT_EQ(settings.GetSetting(AppTitle(), SettingKey::section(),
                                  SettingKey::fieldSearchPrefix(), u"x"_s),
              u"NAME"_s);

    w->cmdRemoveAllFields->click();
    w->cmdAutoAdd->click();
    EXPECT_EQ(rowsOf(w->lvwChoosedFields), expected);

    // An empty box adds nothing, and the empty prefix is what the next window starts with.
    w->txtPrefixAutoAdd->clear();
    w->cmdAutoAdd->click();
    EXPECT_EQ(rowsOf(w->lvwChoosedFields), expected);
    w = load();
    EXPECT_EQ(w->txtPrefixAutoAdd->text(), QString());
    EXPECT_EQ(w->lvwChoosedFields->topLevelItemCount(), 0);
}

TEST_F(FMainTest, EnterDeleteAndTheEmptyList) {
    setPrefix(QString());
    const auto w = load();
    w->show();
    QApplication::setActiveWindow(w.get());
    EXPECT_FALSE(w->cmdStart->isEnabled());
    EXPECT_FALSE(w->cmdPreview->isEnabled());
    w->txtPrefixAutoAdd->setFocus();
    QTest::keyClicks(w->txtPrefixAutoAdd, u"name"_s);
    QTest::keyClick(w->txtPrefixAutoAdd, Qt::Key_Return);
    EXPECT_EQ(rowsOf(w->lvwChoosedFields),
              (QStringList{u"Kunden|Name"_s, u"Lieferanten|Name"_s, u"Ärzte|Name"_s}));
    EXPECT_TRUE(w->cmdStart->isEnabled());
    EXPECT_TRUE(w->cmdPreview->isEnabled());
    w->lvwChoosedFields->setFocus();
    selectRows(w->lvwChoosedFields, {0, 2});
    QTest::keyClick(w->lvwChoosedFields, Qt::Key_Delete);
    EXPECT_EQ(rowsOf(w->lvwChoosedFields), (QStringList{u"Lieferanten|Name"_s}));
    EXPECT_TRUE(rowsOf(w->lvwFields).contains(u"Name"_s));
    selectRows(w->lvwChoosedFields, {0});
    QTest::keyClick(w->lvwChoosedFields, Qt::Key_Delete);
    EXPECT_FALSE(w->cmdStart->isEnabled());
    QTest::mouseClick(w->cmdStart, Qt::LeftButton);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(FMainTest, HeaderClicksSortAndLaterRowsLandSorted) {
    setPrefix(QString());
    const auto w = load();
    w->show();
    selectRows(w->lvwFields, {0, 1, 5}); // ID, Name, Ort of Kunden
    w->cmdAddField->click();
    selectTable(*w, 1);
    selectRows(w->lvwFields, {0}); // ID of Lieferanten
    w->cmdAddField->click();
    clickHeader(*w, 0);
    EXPECT_EQ(rowsOf(w->lvwChoosedFields), (QStringList{u"Lieferanten|ID"_s, u"Kunden|ID"_s,
                                                        u"Kunden|Name"_s, u"Kunden|Ort"_s}));
    clickHeader(*w, 0);
    EXPECT_EQ(rowsOf(w->lvwChoosedFields).first(), u"Kunden|ID"_s);
    clickHeader(*w, 1);
    EXPECT_EQ(rowsOf(w->lvwChoosedFields), (QStringList{u"Kunden|ID"_s, u"Lieferanten|ID"_s,
                                                        u"Kunden|Name"_s, u"Kunden|Ort"_s}));
    selectTable(*w, 0);
    selectRows(w->lvwFields, {2}); // Mobiltelefon
    w->cmdAddField->click();
    EXPECT_EQ(rowsOf(w->lvwChoosedFields),
              (QStringList{u"Kunden|ID"_s, u"Lieferanten|ID"_s, u"Kunden|Mobiltelefon"_s,
                           u"Kunden|Name"_s, u"Kunden|Ort"_s}));
}

TEST_F(FMainTest, FailedTableLookupShowsTheErrorBox) {
    const DatabasePtr faulty = faultyDatabase(db, [&](const QString& operation) {
        if (operation == u"Tables.Item:Lieferanten"_s)
            throw vdbError(VdbCode::NoSuchItem, u"Lookup refused"_s);
    });
    const auto w = load(faulty);
    boxes.expect(MsgAnswer::Ok);
    selectTable(*w, 1);
    ASSERT_EQ(boxes.shown().size(), 1u);
    const MessageBoxRequest box = boxes.last();
    EXPECT_EQ(box.text, u"Fehler: -2147217384in FMain.lvwTables_ItemClick\r\nLookup refused"_s);
    EXPECT_EQ(box.icon, MsgIcon::Exclamation);
    EXPECT_EQ(box.caption, AppTitle());
    EXPECT_EQ(w->lvwFields->topLevelItemCount(), 0);
}

TEST_F(FMainTest, FailureWhileListingKeepsTheFieldsListedSoFar) {
    setPrefix(QString());
    bool fail = false;
    const DatabasePtr faulty = faultyDatabase(db, [&](const QString& operation) {
        if (fail && operation == u"Fields.At:Kunden.3"_s)
            throw ErrorRecord(7, u"Out of memory"_s);
    });
    const auto w = load(faulty);
    fail = true;
    boxes.expect(MsgAnswer::Ok);
    w->lvwTables_ItemClick();
    EXPECT_EQ(boxes.last().text, u"Fehler: 7in FMain.lvwTables_ItemClick\r\nOut of memory"_s);
    EXPECT_EQ(rowsOf(w->lvwFields), (QStringList{u"ID"_s, u"Name"_s, u"Telefon"_s}));
}

TEST_F(FMainTest, DatabaseWithoutTablesOpensWithEmptyLists) {
    const DatabasePtr empty = VdbFixture::open(fx.create(u"empty.vdb"_s, schemaOf({})));
    const auto w = load(empty);
    EXPECT_EQ(w->lvwTables->topLevelItemCount(), 0);
    EXPECT_EQ(w->lvwFields->topLevelItemCount(), 0);
    EXPECT_EQ(w->lvwChoosedFields->topLevelItemCount(), 0);
    w->cmdAddField->click();
    w->cmdAutoAdd->click();
}

TEST_F(FMainTest, LoadFailurePassesToTheCaller) {
    const DatabasePtr faulty = faultyDatabase(db, [](const QString& operation) {
        if (operation == u"Database.Tables"_s)
            throw vdbError(VdbCode::StorageFailure, u"disk gone"_s);
    });
    FMain w(faulty, settings, boxes);
    EXPECT_THROW(w.Form_Load(), ErrorRecord);
}

TEST_F(FMainTest, KeyboardOrder) {
    const auto w = load();
    const QList<QWidget*> expected{w->lvwTables,        w->lvwFields,      w->cmdAddField,
                                   w->lvwChoosedFields, w->cmdRemoveField, w->txtPrefixAutoAdd,
                                   w->cmdAutoAdd,       w->chkOnlyMarked,  w->cmdStart,
                                   w->cmdPreview,       w->cmdClose,       w->cmdRemoveAllFields};
    w->show();
    QApplication::setActiveWindow(w.get());
    w->lvwTables->setFocus();
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected[i])
            << expected[i]->objectName().toStdString();
    }
}

} // namespace
