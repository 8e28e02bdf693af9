#pragma once

#include <QString>
#include <QStringView>

// The region (ISO 3166 alpha-2 code) a record's country field names: the alpha-2 or alpha-3 code
// or the country's name in German or English, case and surrounding blanks ignored, "UK" for
// GB. The names are ICU's display names, for every region libphonenumber knows. Empty when the
// text names none of them, or is empty.
QString regionOfCountry(QStringView country);
