#pragma once

class QLineEdit;

// Makes letters typed or pasted into the box upper case, umlauts included. Once on, on for good.
void setUpperCaseInput(QLineEdit* box);
