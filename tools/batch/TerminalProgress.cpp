#include "TerminalProgress.h"

#include "ChangeLog.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int kBarWidth = 24;
// A terminal redrawn at every batch of ten records would cost more than the conversion.
constexpr qint64 kRedrawIntervalMs = 100;

} // namespace

TerminalProgress::TerminalProgress(QTextStream& err, bool terminal, int columns)
    : err_(err)
    , terminal_(terminal)
    , columns_(std::max(columns, 20)) {}

void TerminalProgress::setStatus(const QString& text) {
    // Names in it come from data: no terminal escapes.
    status_ = ChangeLog::visible(QString(text).replace(u"\r\n"_s, u" "_s), false);
}

void TerminalProgress::repaintProgress() {
    if (!terminal_)
        return;
    // The run ends with an empty status: nothing left to show.
    if (status_.isEmpty()) {
        clear();
        return;
    }
    const bool last = maximum_ > 0 && value_ >= maximum_;
    if (drawnWidth_ > 0 && !last && sinceDrawn_.isValid() &&
        sinceDrawn_.elapsed() < kRedrawIntervalMs)
        return;
    draw();
}

void TerminalProgress::draw() {
    const qint64 percent =
        maximum_ > 0 ? std::clamp<qint64>(qint64(value_) * 100 / maximum_, 0, 100) : 0;
    const auto filled = static_cast<qsizetype>(percent * kBarWidth / 100);
    const QString figures = QString::number(percent).rightJustified(3) + u"%  "_s + status_;
    // A line too long drops the bar first: the figures say the same.
    QString line = figures.size() + kBarWidth + 3 < columns_
                       ? QString(u'[' + QString(filled, u'#') + QString(kBarWidth - filled, u'.') +
                                 u"] "_s + figures)
                       : figures;
    line.truncate(columns_ - 1);
    const qsizetype width = line.size();
    // Spaces cover what a longer line before left behind.
    if (width < drawnWidth_)
        line += QString(drawnWidth_ - width, u' ');
    err_ << '\r' << line;
    err_.flush();
    drawnWidth_ = width;
    sinceDrawn_.start();
}

void TerminalProgress::clear() {
    if (drawnWidth_ == 0)
        return;
    err_ << '\r' << QString(drawnWidth_, u' ') << '\r';
    err_.flush();
    drawnWidth_ = 0;
}
