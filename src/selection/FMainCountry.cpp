// The main window's choice of the field that names each record's country, per table.
#include "FMain.h"

#include "AppTitle.h"
#include "MessageBoxes.h"
#include "SettingsStore.h"
#include "StringTable.h"
#include "WindowErrors.h"

#include <QComboBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

QString countrySection() {
    return u"CountryFields"_s;
}

// Land, Country, Staat, Nation, Ländercode, ISO… and their compounds such as "Country_Code".
bool namedLikeCountry(const QString& name) {
    static const QRegularExpression pattern(
        u"^(iso.*|(land|l(ae|ä)nder|country|staat|nation)(code|kennzeichen|kz|iso|name)?)$"_s,
        QRegularExpression::CaseInsensitiveOption);
    QString letters = name;
    letters.remove(QRegularExpression(u"[\\s_.-]"_s));
    return pattern.match(letters).hasMatch();
}

QStringList textFields(Table& table) {
    QStringList names;
    for (const FieldPtr& field : table.Fields()) {
        auto* kind = dynamic_cast<FieldKind*>(field.get());
        if (kind == nullptr || kind->HoldsText())
            names << field->Name();
    }
    return names;
}

} // namespace

// One key per database and table; encoded, since the settings file reads "/" as a group.
QString FMain::countrySettingKey(const QString& table) {
    return QString::fromLatin1(QUrl::toPercentEncoding(database_->FileName() + u'\n' + table));
}

void FMain::LoadCountryFields() {
    countryFields_.clear();
    for (const TablePtr& table : database_->Tables()) {
        const QString name = table->Name();
        textFields_.insert(name, textFields(*table));
        const QString field =
            settings_.GetSetting(AppTitle(), countrySection(), countrySettingKey(name), {});
        // A field since removed or no longer holding text is forgotten rather than failing runs.
        if (!field.isEmpty() && textFields_.value(name).contains(field))
            countryFields_.insert(name, field);
    }
}

void FMain::showCountryChoice() {
    const QTreeWidgetItem* current = lvwChoosedFields->currentItem();
    QString table = current != nullptr ? current->text(0) : QString();
    if (table.isEmpty() && chosen_.size() > 0)
        table = chosen_.rows().first().table;
    countryTable_ = table;
    const QSignalBlocker blocker(cboCountryField);
    cboCountryField->clear();
    cboCountryField->addItem(LoadResourceString(IDS_MAIN_COUNTRY_NONE));
    // Names go in as they are, never read as the string table's markers.
    lblCountryField->setText(LoadResourceString(IDS_MAIN_COUNTRY_FIELD).replace(u"%s"_s, table));
    lblCountryHint->clear();
    cboCountryField->setEnabled(!table.isEmpty());
    if (table.isEmpty())
        return;
    QStringList likely;
    for (const QString& field : textFields_.value(table)) {
        if (chosen_.contains(table, field))
            continue;
        cboCountryField->addItem(field, field);
        if (namedLikeCountry(field))
            likely << field;
    }
    const QString chosen = countryFields_.value(table);
    cboCountryField->setCurrentIndex(std::max(0, cboCountryField->findData(chosen)));
    if (chosen.isEmpty() && !likely.isEmpty())
        lblCountryHint->setText(
            LoadResourceString(IDS_MAIN_COUNTRY_HINT).replace(u"%s"_s, likely.join(u", "_s)));
}

void FMain::cboCountryField_Click(int index) {
    if (countryTable_.isEmpty())
        return;
    const QString field = cboCountryField->itemData(index).toString();
    if (field.isEmpty())
        countryFields_.remove(countryTable_);
    else
        countryFields_.insert(countryTable_, field);
    try {
        settings_.SaveSetting(AppTitle(), countrySection(), countrySettingKey(countryTable_),
                              field);
    } catch (const ErrorRecord& error) {
        showWindowError(boxes_, error, u"FMain.cboCountryField_Click"_s);
    }
    showCountryChoice();
}
