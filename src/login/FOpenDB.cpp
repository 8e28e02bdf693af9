#include "FOpenDB.h"

#include "DatabaseUri.h"
#include "GlobalDefs.h"
#include "Icons.h"
#include "MessageBoxes.h"
#include "StringTable.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

FOpenDB::FOpenDB(MessageBoxes& boxes, FileChooser chooseFile, QWidget* parent)
    : QDialog(parent)
    , boxes_(boxes)
    , chooseFile_(std::move(chooseFile)) {
    setObjectName(u"FOpenDB"_s);
    buildControls();
    arrangeControls();
    initialise();
}

FOpenDB::~FOpenDB() = default;

void FOpenDB::buildControls() {
    auto label = [this](const QString& name, QWidget* parent) {
        auto* l = new QLabel(parent);
        l->setObjectName(name);
        return l;
    };
    AppIcon = label(u"AppIcon"_s, this);
    AppIcon->setPixmap(appIconPixmap(48));
    AppIcon->setFixedSize(48, 48);
    lblAppName = label(u"lblAppName"_s, this);
    QFont nameFont = lblAppName->font();
    nameFont.setPointSizeF(13.5);
    lblAppName->setFont(nameFont);
    lblAppDescription = label(u"lblAppDescription"_s, this);
    QFont descriptionFont = lblAppDescription->font();
    descriptionFont.setPointSizeF(9.75);
    lblAppDescription->setFont(descriptionFont);
    lblAppDescription->setWordWrap(true);
    lblCopyright = label(u"lblCopyright"_s, this);
    Line1 = new QFrame(this);
    Line1->setObjectName(u"Line1"_s);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);

    lblFileName = label(u"lblFileName"_s, this);
    txtDBName = new QLineEdit(u"c:\\*.vdb"_s, this);
    txtDBName->setObjectName(u"txtDBName"_s);
    cmdFileOpen = new QPushButton(this);
    cmdFileOpen->setObjectName(u"cmdFileOpen"_s);
    cmdFileOpen->setIcon(openFolderIcon());
    lblUserName = label(u"lblUserName"_s, this);
    cboUserName = new QComboBox(this);
    cboUserName->setObjectName(u"cboUserName"_s);
    cboUserName->setEditable(true);
    cboUserName->setInsertPolicy(QComboBox::NoInsert);
    // Typed names are taken as typed: completing "AD" to "ADMIN" would log in someone else.
    cboUserName->setCompleter(nullptr);
    lblPassword = label(u"lblPassword"_s, this);
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(u"txtPassword"_s);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(u"lineedit-password-character: 42"_s);
    fraAdmin = new QGroupBox(u"Administration"_s, this);
    fraAdmin->setObjectName(u"fraAdmin"_s);
    chkAdminDB = new QCheckBox(fraAdmin);
    chkAdminDB->setObjectName(u"chkAdminDB"_s);
    chkAdminUsers = new QCheckBox(fraAdmin);
    chkAdminUsers->setObjectName(u"chkAdminUsers"_s);
    cmdOK = new QPushButton(this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(this);
    cmdCancel->setObjectName(u"cmdCancel"_s);

    lblFileName->setBuddy(txtDBName);
    lblUserName->setBuddy(cboUserName);
    lblPassword->setBuddy(txtPassword);

    setTabOrder(txtDBName, cmdFileOpen);
    setTabOrder(cmdFileOpen, cboUserName);
    setTabOrder(cboUserName, txtPassword);
    setTabOrder(txtPassword, chkAdminDB);
    setTabOrder(chkAdminDB, chkAdminUsers);
    setTabOrder(chkAdminUsers, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    // The combo, not its line edit, receives the focus events of the user-name box.
    for (QWidget* box : std::initializer_list<QWidget*>{txtDBName, cboUserName, txtPassword})
        box->installEventFilter(this);
    connect(cmdFileOpen, &QPushButton::clicked, this, &FOpenDB::cmdFileOpen_Click);
    connect(cmdOK, &QPushButton::clicked, this, &FOpenDB::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &FOpenDB::cmdCancel_Click);
}

// The design's arrangement in layouts: icon and heading, the three entries with the admin frame
// beside user and password, a separator, OK and Cancel.
void FOpenDB::arrangeControls() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 16, 8, 8);
    auto* heading = new QHBoxLayout;
    heading->addWidget(AppIcon, 0, Qt::AlignTop);
    heading->addSpacing(16);
    auto* texts = new QVBoxLayout;
    texts->addWidget(lblAppName);
    texts->addWidget(lblAppDescription);
    texts->addWidget(lblCopyright);
    heading->addLayout(texts, 1);
    outer->addLayout(heading);

    auto* entries = new QGridLayout;
    entries->addWidget(lblFileName, 0, 0);
    auto* path = new QHBoxLayout;
    path->setSpacing(0);
    path->addWidget(txtDBName, 1);
    cmdFileOpen->setFixedSize(25, 19 + 4);
    path->addWidget(cmdFileOpen);
    entries->addLayout(path, 0, 1, 1, 2);
    entries->addWidget(lblUserName, 1, 0);
    cboUserName->setMinimumWidth(121);
    entries->addWidget(cboUserName, 1, 1);
    entries->addWidget(lblPassword, 2, 0);
    txtPassword->setMinimumWidth(121);
    entries->addWidget(txtPassword, 2, 1);
    auto* admin = new QHBoxLayout(fraAdmin);
    admin->addWidget(chkAdminDB);
    admin->addWidget(chkAdminUsers);
    entries->addWidget(fraAdmin, 1, 2, 2, 1);
    entries->setColumnStretch(1, 1);
    outer->addLayout(entries);
    outer->addWidget(Line1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {cmdOK, cmdCancel}) {
        button->setMinimumWidth(73);
        button->setFixedHeight(23 + 4);
        buttons->addWidget(button);
    }
    outer->addLayout(buttons);
    setWindowIcon(appIcon());
    resize(sizeHint().expandedTo(QSize(416, 221)));
}

void FOpenDB::initialise() {
    mDB.reset();
    cancelled_ = true;
    cboUserName->addItem(u"ADMIN"_s);
    cboUserName->addItem(u"DEVELOPMENT"_s);
    cboUserName->setCurrentIndex(-1);
    cboUserName->setEditText(QString());
    setWindowTitle(LoadResourceString(IDS_LOGIN_TITLE));
    lblAppName->setText(LoadResourceString(IDS_PRODUCT_NAME));
    lblAppDescription->setText(QString());
    lblCopyright->setText(QChar(0xA9) + u" "_s + QStringLiteral(TELNORMER_COPYRIGHT));
    lblFileName->setText(LoadResourceString(IDS_LOGIN_DATABASE));
    lblUserName->setText(LoadResourceString(IDS_LOGIN_USER));
    lblPassword->setText(LoadResourceString(IDS_LOGIN_PASSWORD));
    chkAdminDB->setText(LoadResourceString(IDS_LOGIN_ADMIN_DATABASE));
    chkAdminUsers->setText(LoadResourceString(IDS_LOGIN_ADMIN_USERS));
    cmdOK->setText(LoadResourceString(IDS_OK));
    cmdCancel->setText(LoadResourceString(IDS_CANCEL));
    cmdFileOpen->setToolTip(LoadResourceString(IDS_LOGIN_TIP_BROWSE));
}

void FOpenDB::showEvent(QShowEvent* event) {
    // The size was fixed before the texts arrived; a wrapped description (German) needs more
    // height, or the admin frame gets squeezed.
    if (!event->spontaneous() && layout()->hasHeightForWidth()) {
        const int needed = layout()->totalHeightForWidth(width());
        if (needed > height())
            resize(width(), needed);
    }
    QDialog::showEvent(event);
    // After the dialog's own focus handling of the showing: a path that already names a .vdb
    // file (or the pattern) starts at the user name, or at the password when a remembered
    // database and user are both there.
    QTimer::singleShot(0, this, [this] {
        const QString path = txtDBName->text();
        if (!isVisible() || path.right(4).toUpper() != u".VDB"_s)
            return;
        const bool remembered =
            !path.contains(u'*') && !path.contains(u'?') && !cboUserName->currentText().isEmpty();
        QWidget* start = remembered && txtPassword->isEnabled() ? static_cast<QWidget*>(txtPassword)
                                                                : cboUserName;
        if (start->isEnabled())
            start->setFocus(Qt::OtherFocusReason);
    });
}

bool FOpenDB::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        auto* box =
            watched == cboUserName ? cboUserName->lineEdit() : qobject_cast<QLineEdit*>(watched);
        if (box != nullptr) {
            // Queued: a mouse click places the cursor after the focus arrives.
            QTimer::singleShot(0, box, [box] { box->selectAll(); });
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FOpenDB::cmdFileOpen_Click() {
    if (!chooseFile_)
        return;
    try {
        const QString chosen = chooseFile_(this, txtDBName->text(),
                                           qtFileFilter(LoadResourceString(IDS_LOGIN_FILE_FILTER)));
        if (!chosen.isEmpty())
            txtDBName->setText(chosen);
    } catch (const ErrorRecord&) {
        // A failed browse ends without a message; the path box keeps its text.
    }
}

void FOpenDB::refuse(const QString& text, MsgIcon icon, QWidget* target) {
    boxes_.ok(text, lblAppName->text(), icon);
    if (target->isEnabled())
        target->setFocus(Qt::OtherFocusReason);
}

void FOpenDB::cmdOK_Click() {
    try {
        QString path = txtDBName->text();
        // A server database's URI is no file name: its '?' starts the parameters.
        const bool server = isServerUri(path);
        if (path.isEmpty() || (!server && path.contains(u'?')) || path.contains(u'*')) {
            refuse(LoadResourceString(IDS_LOGIN_NO_DATABASE), MsgIcon::Exclamation, txtDBName);
            return;
        }
        if (!files_)
            files_.emplace();
        if (!server && files_->GetFileExtension(path).isEmpty())
            path += u".vdb"_s;
        if (!server && !files_->FileExists(path)) {
            refuse(FormatString(LoadResourceString(IDS_LOGIN_NO_DATABASE), {path}),
                   MsgIcon::Information, txtDBName);
            return;
        }
        const QString user = cboUserName->currentText();
        if (user.isEmpty()) {
            refuse(LoadResourceString(IDS_LOGIN_NO_USER), MsgIcon::Exclamation, cboUserName);
            return;
        }
        qint32 flags = 0;
        if (chkAdminDB->isChecked())
            flags |= OpenFlag::DatabaseAdmin | OpenFlag::DatabaseAdminCompanion;
        if (chkAdminUsers->isChecked())
            flags |= OpenFlag::UserAdmin;
        if (!mDBServer)
            throw ErrorRecord(91, u"Object variable or With block variable not set"_s,
                              u"FOpenDB.cmdOK_Click"_s);
        mDB = mDBServer->OpenDatabase(path, user, txtPassword->text(), flags);
        cancelled_ = false;
        done(Accepted);
    } catch (const ErrorRecord& error) {
        ShowError(error, boxes_);
    }
}

void FOpenDB::cmdCancel_Click() {
    cancelled_ = true;
    done(Rejected);
}

void FOpenDB::reject() {
    cmdCancel_Click();
}

// Closing through the window frame gives up like Cancel: no database is handed out.
void FOpenDB::closeEvent(QCloseEvent* event) {
    cancelled_ = true;
    mDB.reset();
    event->accept();
    QDialog::done(Rejected);
}
