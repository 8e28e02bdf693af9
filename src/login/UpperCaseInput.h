#pragma once

class QLineEdit;

// Makes letters typed or pasted into the box upper case, umlauts included, letter by letter as
// upperCaseUserName does. Once on, on for good.
void setUpperCaseInput(QLineEdit* box);
