#pragma once

#include "DemoNumbers.h"

#include <QString>
#include <QtGlobal>

// The demo's customers abroad. A fifth of the customers sit outside Germany, as with a German
// firm that exports: most in Austria and Switzerland, the rest in France, the Netherlands,
// Italy, Poland, the US and the UK. Their field "Land" names the country as people type it
// ("Österreich", "CH", "USA", "frankreich "), and their numbers are written as they are dialled
// inside that country ("01 42 68 53 00", "044 668 18 00", "(212) 555-0123"), some with their
// own country code. A German customer's "Land" is empty, "Deutschland" or "DE".

struct DemoCountry {
    QString region; // ISO 3166 alpha-2: "DE" at home
    QString land;   // the field's value as typed
    QString city;   // empty at home: the customer keeps the German city drawn for it
};

// The country of customer index (from 0) of the demo made with seed.
DemoCountry demoCustomerCountry(quint64 seed, quint64 index);

// A telephone value of a customer in region (not "DE") for (seed, stream, index); fax values
// fit DemoNumbers::kFaxMaxLength.
DemoPhone demoAbroadPhone(quint64 seed, quint64 stream, quint64 index, const QString& region,
                          DemoLine line);
