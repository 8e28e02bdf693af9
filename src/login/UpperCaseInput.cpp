#include "UpperCaseInput.h"

#include <QLineEdit>
#include <QValidator>

namespace {

class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

} // namespace

void setUpperCaseInput(QLineEdit* box) {
    if (box->validator() == nullptr)
        box->setValidator(new UpperCaseValidator(box));
}
