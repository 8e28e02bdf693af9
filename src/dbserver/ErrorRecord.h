#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <exception>

// The one failure type of the system: platform, server and re-raised errors alike.
class ErrorRecord : public std::exception {
public:
    ErrorRecord(qint32 number, QString description, QString source = {});

    qint32 number() const { return number_; }
    const QString& description() const { return description_; }
    const QString& source() const { return source_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    qint32 number_;
    QString description_;
    QString source_;
    QByteArray what_;
};

// Error numbers of the platform that the system raises or tests for.
namespace ErrorNumber {
constexpr qint32 Overflow = 6;
constexpr qint32 TypeMismatch = 13;
constexpr qint32 FileAccess = 75;
constexpr qint32 InvalidUseOfNull = 94;
constexpr qint32 ResourceNotFound = 326;
constexpr qint32 FormUnloaded = 364;
} // namespace ErrorNumber

// Server errors are 0x80040000 plus a code, as a signed 32-bit number.
constexpr qint32 serverErrorNumber(quint32 code) {
    return static_cast<qint32>(0x80040000u + code);
}

// The server error of a database server whose connection was lost: nothing more can be stored
// or read through it, so a run ends at once whatever its error policy.
constexpr qint32 kConnectionLostNumber = serverErrorNumber(4171);
// The connection was lost with a commit's answer: the server had stored the batch (a new
// connection found it), or whether it had cannot be known.
constexpr qint32 kLostAfterCommitNumber = serverErrorNumber(4174);
constexpr qint32 kCommitUnknownNumber = serverErrorNumber(4175);
