#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>

// The outcome counts as horizontal bars, one a line, longest count longest bar; a click on a bar
// asks for its rows.
class OutcomeChart : public QWidget {
    Q_OBJECT

public:
    struct Bar {
        QString label;
        qint64 count;
        QColor color;
        quint32 reasons; // bit per Unreadable
    };

    explicit OutcomeChart(QWidget* parent = nullptr);
    void setBars(QList<Bar> bars);
    const QList<Bar>& bars() const { return bars_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

Q_SIGNALS:
    void barClicked(quint32 reasons);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int lineHeight() const;

    QList<Bar> bars_;
};
