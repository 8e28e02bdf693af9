#pragma once

#include <QByteArrayView>

// Length of the longest prefix of data made of complete, valid UTF-8 sequences (no overlong
// forms, no surrogates). invalid tells whether it stopped at a bad byte rather than at a
// sequence cut off by the end of data.
qsizetype validUtf8Prefix(QByteArrayView data, bool& invalid);
