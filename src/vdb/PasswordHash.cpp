#include "PasswordHash.h"

#include "VdbErrors.h"

#include <QByteArray>
#include <QRegularExpression>

#include <sodium.h>

using namespace Qt::StringLiterals;

namespace {

void ensureSodium() {
    static const int ready = sodium_init();
    if (ready < 0)
        throw vdbError(VdbCode::StorageFailure, u"libsodium could not be initialised"_s);
}

} // namespace

QString hashPassword(const QString& password, PasswordCost cost) {
    ensureSodium();
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    const bool minimal = cost == PasswordCost::Minimal;
    if (crypto_pwhash_str_alg(
            out, utf8.constData(), static_cast<unsigned long long>(utf8.size()),
            minimal ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE,
            minimal ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE,
            crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw vdbError(VdbCode::StorageFailure, u"out of memory while hashing a password"_s);
    return QString::fromLatin1(out);
}

bool passwordHashIsSane(const QString& hash) {
    static const QRegularExpression costs(
        u"^\\$argon2id?\\$v=19\\$m=([0-9]{1,10}),t=([0-9]{1,10}),p=1\\$"_s);
    const QRegularExpressionMatch match = costs.match(hash);
    if (!match.hasMatch())
        return false;
    const quint64 memory = match.captured(1).toULongLong();
    const quint64 passes = match.captured(2).toULongLong();
    return memory >= 8 && memory <= kMaxHashMemoryKiB && passes >= 1 && passes <= kMaxHashPasses;
}

bool verifyPassword(const QString& hash, const QString& password) {
    ensureSodium();
    const QByteArray stored = hash.toLatin1();
    if (stored.size() >= crypto_pwhash_STRBYTES || stored.contains('\0'))
        return false;
    const QByteArray utf8 = password.toUtf8();
    return crypto_pwhash_str_verify(stored.constData(), utf8.constData(),
                                    static_cast<unsigned long long>(utf8.size())) == 0;
}
