#include "FMainTestSupport.h"

using namespace Qt::StringLiterals;

namespace {

TEST_F(FMainTest, LoadsTablesAndTheDefaultPrefixAcrossTables) {
    const auto w = load();
    EXPECT_EQ(w->windowTitle(), u"Firma - Veltrano Telnormer"_s);
    // "Telef" in any letter case, in every table; not in the middle of a name.
    EXPECT_EQ(rowsOf(lvwChoosedFields),
              (QStringList{u"Kunden|Telefon"_s, u"Kunden|TELEFAX"_s, u"Lieferanten|telefon"_s}));
    // Hidden name, shown caption or name.
    EXPECT_EQ(rowsOf(lvwTables), (QStringList{u"Kunden|Customers"_s, u"Lieferanten|Lieferanten"_s,
                                              u"Ärzte|Ärzte"_s, u"ärzte|ärzte"_s}));
    EXPECT_EQ(rowsOf(lvwFields), (QStringList{u"ID"_s, u"Name"_s, u"Mobiltelefon"_s, u"Ort"_s}));
    EXPECT_EQ(lvwTables->selectedItems().size(), 1);
}

TEST_F(FMainTest, CaseAndTableMustNotHideAField) {
    setPrefix(u"Öl"_s);
    const auto w = load();
    // "Öl" matches Ölfax and ölfax, in both tables whose names differ only in case.
    EXPECT_EQ(rowsOf(lvwChoosedFields),
              (QStringList{u"Ärzte|Ölfax"_s, u"ärzte|Ölfax"_s, u"ärzte|ölfax"_s}));
    cmdRemoveAllFields->click();
    selectTable(2);
    selectRows(lvwFields, {0});
    cmdAddField->click(); // (Ärzte, Ölfax)
    EXPECT_EQ(rowsOf(lvwFields), (QStringList{u"Name"_s}));
    selectTable(3);
    // Neither the other table nor the other letter case is hidden.
    EXPECT_EQ(rowsOf(lvwFields), (QStringList{u"Ölfax"_s, u"ölfax"_s}));
}

TEST_F(FMainTest, AddAndRemoveWithMultipleSelections) {
    setPrefix(QString());
    const auto w = load();
    EXPECT_EQ(lvwChoosedFields->topLevelItemCount(), 0);
    selectRows(lvwFields, {1, 3, 4}); // Name, TELEFAX, Mobiltelefon
    QTest::mouseClick(cmdAddField, Qt::LeftButton);
    EXPECT_EQ(rowsOf(lvwChoosedFields),
              (QStringList{u"Kunden|Name"_s, u"Kunden|TELEFAX"_s, u"Kunden|Mobiltelefon"_s}));
    EXPECT_EQ(rowsOf(lvwFields), (QStringList{u"ID"_s, u"Telefon"_s, u"Ort"_s}));
    selectTable(1);
    selectRows(lvwFields, {0, 2});
    cmdAddField->click();
    EXPECT_EQ(rowsOf(lvwFields), (QStringList{u"telefon"_s}));
    EXPECT_EQ(lvwChoosedFields->topLevelItemCount(), 5);
    selectTable(0);
    selectRows(lvwChoosedFields, {0, 2, 4}); // Kunden|Name, Kunden|Mobiltelefon, Lieferanten|Name
    cmdRemoveField->click();
    // The refreshed list shows the removed fields at their place in the table.
    EXPECT_EQ(rowsOf(lvwFields),
              (QStringList{u"ID"_s, u"Name"_s, u"Telefon"_s, u"Mobiltelefon"_s, u"Ort"_s}));
    // Nothing selected, or no table selected, changes no list.
    lvwChoosedFields->clearSelection();
    cmdRemoveField->click();
    lvwFields->clearSelection();
    cmdAddField->click();
    lvwTables->clearSelection();
    selectRows(lvwFields, {0});
    cmdAddField->click();
    EXPECT_EQ(rowsOf(lvwChoosedFields), (QStringList{u"Kunden|TELEFAX"_s, u"Lieferanten|ID"_s}));
    EXPECT_EQ(rowsOf(lvwFields).size(), 5);
    selectTable(0);
    cmdRemoveAllFields->click();
    EXPECT_EQ(lvwChoosedFields->topLevelItemCount(), 0);
    EXPECT_EQ(rowsOf(lvwFields).size(), 6);
}

TEST_F(FMainTest, DoubleClicksMoveFields) {
    setPrefix(QString());
    const auto w = load();
    w->show();
    QApplication::processEvents();
    selectRows(lvwFields, {5});
    doubleClick(lvwFields, lvwFields->topLevelItem(5));
    ASSERT_EQ(rowsOf(lvwChoosedFields), (QStringList{u"Kunden|Ort"_s}));
    selectRows(lvwChoosedFields, {0});
    doubleClick(lvwChoosedFields, lvwChoosedFields->topLevelItem(0));
    EXPECT_EQ(lvwChoosedFields->topLevelItemCount(), 0);
    EXPECT_EQ(rowsOf(lvwFields).last(), u"Ort"_s);
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
    QWidget* viewport = lvwTables->viewport();
    const QPoint row = lvwTables->visualItemRect(lvwTables->topLevelItem(1)).center();
    QTest::mousePress(viewport, Qt::LeftButton, {}, row);
    QTest::mouseMove(viewport, QPoint(row.x(), viewport->height() - 4));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(row.x(), viewport->height() - 4));
    ASSERT_EQ(lvwTables->selectedItems().value(0), lvwTables->topLevelItem(1));
    EXPECT_EQ(rowsOf(lvwFields), (QStringList{u"ID"_s, u"Name"_s}));
    EXPECT_EQ(lookups.value(u"Lieferanten"_s), 1);
    selectRows(lvwFields, {0});
    cmdAddField->click();
    EXPECT_TRUE(rowsOf(lvwChoosedFields).contains(u"Lieferanten|ID"_s));
    // A click on another row lists once; on the selected row, again.
    const QPoint first = lvwTables->visualItemRect(lvwTables->topLevelItem(0)).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, first);
    EXPECT_EQ(lookups.value(u"Kunden"_s), 2);
    lvwFields->clear();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, first);
    EXPECT_EQ(lookups.value(u"Kunden"_s), 3);
    EXPECT_EQ(rowsOf(lvwFields), (QStringList{u"ID"_s, u"Name"_s, u"Mobiltelefon"_s, u"Ort"_s}));
    // So do the arrow keys.
    lvwTables->setFocus();
    QTest::keyClick(lvwTables, Qt::Key_Down);
    QTest::keyClick(lvwTables, Qt::Key_Down);
    EXPECT_EQ(lvwTables->selectedItems().value(0), lvwTables->topLevelItem(2));
    EXPECT_EQ(rowsOf(lvwFields), (QStringList{u"Ölfax"_s, u"Name"_s}));
    EXPECT_EQ(lookups.value(u"Lieferanten"_s) + lookups.value(u"Ärzte"_s), 3);
}

TEST_F(FMainTest, PrefixAddsOnEnterOnceAndIsStored) {
    setPrefix(QString());
    auto w = load();
    w->show();
    QApplication::setActiveWindow(w.get());
    EXPECT_FALSE(cmdStart->isEnabled() || cmdPreview->isEnabled());
    txtPrefixAutoAdd->setFocus();
    QTest::keyClicks(txtPrefixAutoAdd, u"NAME"_s);
    QTest::keyClick(txtPrefixAutoAdd, Qt::Key_Return);
    const QStringList expected{u"Kunden|Name"_s, u"Lieferanten|Name"_s, u"Ärzte|Name"_s};
    EXPECT_EQ(rowsOf(lvwChoosedFields), expected);
    EXPECT_TRUE(cmdStart->isEnabled() && cmdPreview->isEnabled());
    // The pair of the selected table left the fields list at once.
    EXPECT_FALSE(rowsOf(lvwFields).contains(u"Name"_s));
    cmdAutoAdd->click();
    EXPECT_EQ(rowsOf(lvwChoosedFields), expected);
    EXPECT_EQ(settings.GetSetting(AppTitle(), SettingKey::section(),
                                  SettingKey::fieldSearchPrefix(), u"x"_s),
              u"NAME"_s);
    lvwChoosedFields->setFocus();
    selectRows(lvwChoosedFields, {0, 2});
    QTest::keyClick(lvwChoosedFields, Qt::Key_Delete);
    EXPECT_EQ(rowsOf(lvwChoosedFields), (QStringList{u"Lieferanten|Name"_s}));
    EXPECT_TRUE(rowsOf(lvwFields).contains(u"Name"_s));
    // An empty box adds nothing, and the empty prefix is what the next window starts with.
    cmdRemoveAllFields->click();
    txtPrefixAutoAdd->clear();
    cmdAutoAdd->click();
    EXPECT_FALSE(cmdStart->isEnabled());
    QTest::mouseClick(cmdStart, Qt::LeftButton);
    w = load();
    EXPECT_EQ(txtPrefixAutoAdd->text(), QString());
    EXPECT_EQ(lvwChoosedFields->topLevelItemCount(), 0);
}

TEST_F(FMainTest, HeaderClicksSortAndLaterRowsLandSorted) {
    setPrefix(QString());
    const auto w = load();
    w->show();
    selectRows(lvwFields, {0, 1, 5}); // ID, Name, Ort of Kunden
    cmdAddField->click();
    selectTable(1);
    selectRows(lvwFields, {0}); // ID of Lieferanten
    cmdAddField->click();
    QHeaderView* header = lvwChoosedFields->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + header->sectionSize(1) / 2,
                             header->height() / 2));
    EXPECT_EQ(rowsOf(lvwChoosedFields), (QStringList{u"Kunden|ID"_s, u"Lieferanten|ID"_s,
                                                     u"Kunden|Name"_s, u"Kunden|Ort"_s}));
    selectTable(0);
    selectRows(lvwFields, {2}); // Mobiltelefon
    cmdAddField->click();
    EXPECT_EQ(rowsOf(lvwChoosedFields),
              (QStringList{u"Kunden|ID"_s, u"Lieferanten|ID"_s, u"Kunden|Mobiltelefon"_s,
                           u"Kunden|Name"_s, u"Kunden|Ort"_s}));
}

TEST_F(FMainTest, ListingFailuresShowTheErrorBoxAndKeepWhatWasListed) {
    setPrefix(QString());
    bool failListing = false;
    const auto w = load(faultyDatabase(db, [&](const QString& operation) {
        if (operation == u"Tables.Item:Lieferanten"_s)
            throw vdbError(VdbCode::NoSuchItem, u"Lookup refused"_s);
        if (failListing && operation == u"Fields.At:Kunden.3"_s)
            throw ErrorRecord(7, u"Out of memory"_s);
    }));
    boxes.expect(MsgAnswer::Ok);
    selectTable(1);
    EXPECT_EQ(boxes.last().text,
              u"Fehler: -2147217384in FMain.lvwTables_ItemClick\r\nLookup refused"_s);
    EXPECT_EQ(boxes.last().icon, MsgIcon::Exclamation);
    EXPECT_EQ(boxes.last().caption, AppTitle());
    EXPECT_EQ(lvwFields->topLevelItemCount(), 0);
    failListing = true;
    boxes.expect(MsgAnswer::Ok);
    selectTable(0);
    EXPECT_EQ(boxes.last().text, u"Fehler: 7in FMain.lvwTables_ItemClick\r\nOut of memory"_s);
    EXPECT_EQ(rowsOf(lvwFields), (QStringList{u"ID"_s, u"Name"_s, u"Telefon"_s}));
}

TEST_F(FMainTest, DatabaseWithoutTablesOpensEmptyAndLoadFailurePassesToTheCaller) {
    const auto w = load(VdbFixture::open(fx.create(u"empty.vdb"_s, schemaOf({}))));
    cmdAddField->click();
    cmdAutoAdd->click();
    EXPECT_EQ(lvwTables->topLevelItemCount() + lvwFields->topLevelItemCount() +
                  lvwChoosedFields->topLevelItemCount(),
              0);
    FMain failing(faultyDatabase(db,
                                 [](const QString& operation) {
                                     if (operation == u"Database.Tables"_s)
                                         throw vdbError(VdbCode::StorageFailure, u"disk gone"_s);
                                 }),
                  settings, boxes);
    EXPECT_THROW(failing.Form_Load(), ErrorRecord);
}

} // namespace
