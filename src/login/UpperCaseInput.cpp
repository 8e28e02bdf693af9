#include "UpperCaseInput.h"

#include "UserName.h"

#include <QLineEdit>
#include <QValidator>

namespace {

class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        // Letter by letter, so the length stays and the cursor with it.
        input = upperCaseUserName(input);
        return Acceptable;
    }
};

} // namespace

void setUpperCaseInput(QLineEdit* box) {
    if (box->validator() == nullptr)
        box->setValidator(new UpperCaseValidator(box));
}
