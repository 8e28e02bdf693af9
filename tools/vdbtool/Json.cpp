#include "Json.h"

#include "ToolError.h"
#include "Utf8.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaxDepth = 64;

class Parser {
public:
    explicit Parser(QString text)
        : text_(std::move(text)) {}

    JsonValue document() {
        skipSpace();
        JsonValue value = parseValue(0);
        skipSpace();
        if (pos_ < text_.size())
            error(u"unexpected text after the end of the document"_s);
        return value;
    }

private:
    [[noreturn]] void error(const QString& what) const {
        fail(u"line "_s + QString::number(line_) + u", column "_s +
             QString::number(pos_ - lineStart_ + 1) + u": "_s + what);
    }

    char16_t peek() const { return pos_ < text_.size() ? text_[pos_].unicode() : 0; }

    void skipSpace() {
        while (pos_ < text_.size()) {
            const char16_t c = text_[pos_].unicode();
            if (c == u'\n') {
                ++line_;
                lineStart_ = pos_ + 1;
            } else if (c != u' ' && c != u'\t' && c != u'\r') {
                return;
            }
            ++pos_;
        }
    }

    void expect(char16_t c) {
        if (peek() != c)
            error(u"expected '"_s + QChar(c) + u"'"_s);
        ++pos_;
    }

    void keyword(const QString& word) {
        if (QStringView(text_).mid(pos_, word.size()) != word)
            error(u"unexpected character '"_s + QChar(peek()) + u"'"_s);
        pos_ += word.size();
    }

    JsonValue parseValue(int depth) {
        if (depth > kMaxDepth)
            error(u"nested too deeply"_s);
        JsonValue value;
        value.line = line_;
        const char16_t c = peek();
        if (c == u'{') {
            value.type = JsonValue::Type::Object;
            parseObject(value, depth);
        } else if (c == u'[') {
            value.type = JsonValue::Type::Array;
            parseArray(value, depth);
        } else if (c == u'"') {
            value.type = JsonValue::Type::String;
            value.string = parseString();
        } else if (c == u't') {
            keyword(u"true"_s);
            value.type = JsonValue::Type::Bool;
            value.boolean = true;
        } else if (c == u'f') {
            keyword(u"false"_s);
            value.type = JsonValue::Type::Bool;
        } else if (c == u'n') {
            keyword(u"null"_s);
        } else if (c == u'-' || (c >= u'0' && c <= u'9')) {
            value.type = JsonValue::Type::Number;
            value.number = parseNumber();
        } else if (c == 0) {
            error(u"unexpected end of the document"_s);
        } else {
            error(u"unexpected character '"_s + QChar(c) + u"'"_s);
        }
        return value;
    }

    void parseObject(JsonValue& object, int depth) {
        expect(u'{');
        skipSpace();
        if (peek() == u'}') {
            ++pos_;
            return;
        }
        QSet<QString> keys;
        for (;;) {
            skipSpace();
            if (peek() != u'"')
                error(u"expected a key in double quotes"_s);
            const QString key = parseString();
            if (keys.contains(key))
                error(u"the key \""_s + key + u"\" is given twice"_s);
            keys.insert(key);
            skipSpace();
            expect(u':');
            skipSpace();
            object.members.push_back(JsonMember{key, parseValue(depth + 1)});
            skipSpace();
            if (peek() == u',') {
                ++pos_;
                continue;
            }
            if (peek() != u'}')
                error(u"expected ',' or '}'"_s);
            ++pos_;
            return;
        }
    }

    void parseArray(JsonValue& array, int depth) {
        expect(u'[');
        skipSpace();
        if (peek() == u']') {
            ++pos_;
            return;
        }
        for (;;) {
            skipSpace();
            array.items.push_back(parseValue(depth + 1));
            skipSpace();
            if (peek() == u',') {
                ++pos_;
                continue;
            }
            if (peek() != u']')
                error(u"expected ',' or ']'"_s);
            ++pos_;
            return;
        }
    }

    static int hexDigit(char16_t c) {
        if (c >= u'0' && c <= u'9')
            return c - u'0';
        if (c >= u'a' && c <= u'f')
            return c - u'a' + 10;
        if (c >= u'A' && c <= u'F')
            return c - u'A' + 10;
        return -1;
    }

    int hex4() {
        int code = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexDigit(peek());
            if (digit < 0)
                error(u"bad \\u escape"_s);
            code = code * 16 + digit;
            ++pos_;
        }
        return code;
    }

    QString parseString() {
        expect(u'"');
        QString result;
        for (;;) {
            if (pos_ >= text_.size())
                error(u"a text in double quotes is not closed"_s);
            const char16_t c = text_[pos_++].unicode();
            if (c == u'"')
                return result;
            if (c < 0x20)
                error(u"a control character in a text (write \\n, \\t, ...)"_s);
            if (c != u'\\') {
                result += QChar(c);
                continue;
            }
            const char16_t e = peek();
            ++pos_;
            switch (e) {
            case u'"':
            case u'\\':
            case u'/':
                result += QChar(e);
                break;
            case u'b':
                result += u'\b';
                break;
            case u'f':
                result += u'\f';
                break;
            case u'n':
                result += u'\n';
                break;
            case u'r':
                result += u'\r';
                break;
            case u't':
                result += u'\t';
                break;
            case u'u': {
                const int code = hex4();
                if (QChar::isHighSurrogate(static_cast<uint>(code))) {
                    if (peek() != u'\\' || pos_ + 1 >= text_.size() || text_[pos_ + 1] != u'u')
                        error(u"a lone surrogate in a \\u escape"_s);
                    pos_ += 2;
                    const int low = hex4();
                    if (!QChar::isLowSurrogate(static_cast<uint>(low)))
                        error(u"a lone surrogate in a \\u escape"_s);
                    result += QChar(static_cast<char16_t>(code));
                    result += QChar(static_cast<char16_t>(low));
                } else if (QChar::isLowSurrogate(static_cast<uint>(code))) {
                    error(u"a lone surrogate in a \\u escape"_s);
                } else {
                    result += QChar(static_cast<char16_t>(code));
                }
                break;
            }
            default:
                --pos_;
                error(u"unknown escape \\"_s + QChar(e));
            }
        }
    }

    double parseNumber() {
        const qsizetype start = pos_;
        auto digits = [&] {
            const qsizetype from = pos_;
            while (peek() >= u'0' && peek() <= u'9')
                ++pos_;
            if (pos_ == from)
                error(u"bad number"_s);
        };
        if (peek() == u'-')
            ++pos_;
        if (peek() == u'0')
            ++pos_;
        else
            digits();
        if (peek() == u'.') {
            ++pos_;
            digits();
        }
        if (peek() == u'e' || peek() == u'E') {
            ++pos_;
            if (peek() == u'+' || peek() == u'-')
                ++pos_;
            digits();
        }
        return QStringView(text_).mid(start, pos_ - start).toDouble();
    }

    QString text_;
    qsizetype pos_ = 0;
    qsizetype lineStart_ = 0;
    int line_ = 1;
};

} // namespace

JsonValue parseJson(const QByteArray& utf8) {
    bool invalid = false;
    const qsizetype valid = validUtf8Prefix(utf8, invalid);
    if (valid != utf8.size())
        fail(u"line "_s + QString::number(utf8.left(valid).count('\n') + 1) +
             u": the text is not UTF-8"_s);
    QString text = QString::fromUtf8(utf8);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return Parser(std::move(text)).document();
}

QString jsonTypeName(JsonValue::Type type) {
    switch (type) {
    case JsonValue::Type::Null:
        return u"null"_s;
    case JsonValue::Type::Bool:
        return u"true or false"_s;
    case JsonValue::Type::Number:
        return u"a number"_s;
    case JsonValue::Type::String:
        return u"a text"_s;
    case JsonValue::Type::Array:
        return u"a list [...]"_s;
    case JsonValue::Type::Object:
        return u"an object {...}"_s;
    }
    return {};
}
