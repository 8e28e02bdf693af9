#pragma once

#include "ErrorRecord.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QVariant>

#include <memory>
#include <vector>

class RemoteCursor;

// The proxies' one way to the host's database object: every call, the host's optional methods,
// and the tables' cursors, which owe the host their moves until a call needs them.
class RemoteLink {
public:
    RemoteLink(QDBusConnection connection, QString service, QString path);
    ~RemoteLink();
    RemoteLink(const RemoteLink&) = delete;
    RemoteLink& operator=(const RemoteLink&) = delete;

    // From now on calls go over the host's private socket, when it offers one.
    void goDirect();

    // The call's results; throws the host's ErrorRecord or one of ours. With unknown given, a
    // method the host does not offer sets it and gives nothing instead.
    QList<QVariant> call(const QString& method, const QList<QVariant>& args = {},
                         bool* unknown = nullptr);
    // The call's first result.
    QVariant value(const QString& method, const QList<QVariant>& args = {});

    // Whether the host reads a page of records per call (until it says it cannot).
    bool pages() const { return pages_; }
    void noPages() { pages_ = false; }
    // Whether the host stores a record's values in one call (until it says it cannot).
    bool stores() const { return stores_; }
    void noStore() { stores_ = false; }

    void addCursor(const std::shared_ptr<RemoteCursor>& cursor);
    // Every cursor brought to where the run is, with what text may read of the edit buffers:
    // an expression may look at any table.
    void prepareEvaluation(const QString& text);
    // A batch ended or began: what was read before is not read again.
    void dropPages();
    // The cursor that read the last page, while no other one has moved since.
    RemoteCursor* active() const { return active_; }
    void setActive(RemoteCursor* cursor) { active_ = cursor; }
    void moved(RemoteCursor* cursor) {
        if (active_ != cursor)
            active_ = nullptr;
    }

    static QString source();
    static ErrorRecord failure(quint32 code, const QString& detail = {});

private:
    bool hostPresent();
    void checkShape(const QString& method, const QDBusMessage& reply);

    QDBusConnection connection_;
    QDBusConnection peer_{QString()};
    bool direct_ = false;
    QString service_;
    QString path_;
    bool ended_ = false;
    bool pages_ = true;
    bool stores_ = true;
    qsizetype fieldsSeen_ = 0;
    std::vector<std::weak_ptr<RemoteCursor>> cursors_;
    RemoteCursor* active_ = nullptr;
};
