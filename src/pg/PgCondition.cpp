#include "PgCondition.h"

#include "PgConnection.h"
#include "PgErrors.h"

#include <QHash>

using namespace Qt::StringLiterals;

namespace {

enum class Kind { End, Number, String, Name, Word, Symbol };

struct Token {
    Kind kind = Kind::End;
    QString text; // the literal's value, the name, the upper-case word or the symbol
};

[[noreturn]] void unreadable(const QString& why) {
    throw pgError(VdbCode::SchemaInvalid, why);
}

const QStringList kWords{u"AND"_s,    u"OR"_s,      u"NOT"_s,     u"IS"_s,     u"NULL"_s,
                         u"LIKE"_s,   u"IN"_s,      u"BETWEEN"_s, u"TRUE"_s,   u"FALSE"_s,
                         u"ISNULL"_s, u"NOTNULL"_s, u"GLOB"_s,    u"ESCAPE"_s, u"COLLATE"_s};

// Name in the condition, server function, fewest and most arguments.
struct Function {
    QString sql;
    int least;
    int most;
};
const QHash<QString, Function> kFunctions{
    {u"length"_s, {u"length"_s, 1, 1}},      {u"lower"_s, {u"lower"_s, 1, 1}},
    {u"upper"_s, {u"upper"_s, 1, 1}},        {u"trim"_s, {u"btrim"_s, 1, 2}},
    {u"ltrim"_s, {u"ltrim"_s, 1, 2}},        {u"rtrim"_s, {u"rtrim"_s, 1, 2}},
    {u"substr"_s, {u"substr"_s, 2, 3}},      {u"abs"_s, {u"abs"_s, 1, 1}},
    {u"coalesce"_s, {u"coalesce"_s, 2, 16}}, {u"ifnull"_s, {u"coalesce"_s, 2, 2}},
    {u"nullif"_s, {u"nullif"_s, 2, 2}},      {u"replace"_s, {u"replace"_s, 3, 3}},
    {u"instr"_s, {u"strpos"_s, 2, 2}},
};

class Lexer {
public:
    explicit Lexer(const QString& text)
        : s_(text) {}

    Token next() {
        while (i_ < s_.size() && s_[i_].isSpace())
            ++i_;
        if (i_ >= s_.size())
            return {};
        const QChar c = s_[i_];
        if (c.isDigit() || (c == u'.' && i_ + 1 < s_.size() && s_[i_ + 1].isDigit()))
            return number();
        if (c == u'\'')
            return {Kind::String, quoted(u'\'')};
        if (c == u'"' || c == u'`')
            return {Kind::Name, quoted(c)};
        if (c == u'[') {
            const qsizetype end = s_.indexOf(u']', i_);
            if (end < 0)
                unreadable(u"a [ is not closed"_s);
            Token name{Kind::Name, s_.mid(i_ + 1, end - i_ - 1)};
            i_ = end + 1;
            return name;
        }
        if (c.isLetter() || c == u'_') {
            const qsizetype start = i_;
            while (i_ < s_.size() && (s_[i_].isLetterOrNumber() || s_[i_] == u'_'))
                ++i_;
            const QString word = s_.mid(start, i_ - start);
            if (kWords.contains(word.toUpper()))
                return {Kind::Word, word.toUpper()};
            return {Kind::Name, word};
        }
        for (const char16_t* symbol : {u"||", u"<=", u">=", u"<>", u"!=", u"=="}) {
            if (QStringView(s_).mid(i_).startsWith(QStringView(symbol))) {
                i_ += 2;
                return {Kind::Symbol, QString::fromUtf16(symbol)};
            }
        }
        if (QStringView(u"()+-*/%=<>,").contains(c)) {
            ++i_;
            return {Kind::Symbol, QString(c)};
        }
        unreadable(u"the character '"_s + c + u"' has no meaning here"_s);
    }

private:
    Token number() {
        const qsizetype start = i_;
        auto digits = [&] {
            while (i_ < s_.size() && s_[i_].isDigit() && s_[i_].unicode() < 128)
                ++i_;
        };
        digits();
        if (i_ < s_.size() && s_[i_] == u'.') {
            ++i_;
            digits();
        }
        if (i_ < s_.size() && (s_[i_] == u'e' || s_[i_] == u'E')) {
            ++i_;
            if (i_ < s_.size() && (s_[i_] == u'+' || s_[i_] == u'-'))
                ++i_;
            const qsizetype exponent = i_;
            digits();
            if (i_ == exponent)
                unreadable(u"a number's exponent has no digits"_s);
        }
        if (i_ < s_.size() && (s_[i_].isLetterOrNumber() || s_[i_] == u'_'))
            unreadable(u"a number runs into a name: "_s + s_.mid(start, i_ - start + 1));
        return {Kind::Number, s_.mid(start, i_ - start)};
    }

    // A quoted text; the quote doubled stands for itself.
    QString quoted(QChar quote) {
        QString text;
        for (++i_; i_ < s_.size(); ++i_) {
            if (s_[i_] == quote) {
                if (i_ + 1 < s_.size() && s_[i_ + 1] == quote) {
                    text += quote;
                    ++i_;
                    continue;
                }
                ++i_;
                return text;
            }
            text += s_[i_];
        }
        unreadable(u"a "_s + quote + u" is not closed"_s);
    }

    const QString& s_;
    qsizetype i_ = 0;
};

class Parser {
public:
    Parser(const QString& text, const QStringList& fields, const QStringList& texts)
        : lexer_(text)
        , fields_(fields)
        , texts_(texts) {
        token_ = lexer_.next();
    }

    QString whole() {
        QString sql = orExpr();
        if (token_.kind != Kind::End)
            unexpected();
        return sql;
    }

private:
    static constexpr int kMaxDepth = 100;

    bool isSymbol(const char16_t* symbol) const {
        return token_.kind == Kind::Symbol && token_.text == QStringView(symbol);
    }
    bool isWord(const char16_t* word) const {
        return token_.kind == Kind::Word && token_.text == QStringView(word);
    }
    bool takeSymbol(const char16_t* symbol) {
        if (!isSymbol(symbol))
            return false;
        token_ = lexer_.next();
        return true;
    }
    bool takeWord(const char16_t* word) {
        if (!isWord(word))
            return false;
        token_ = lexer_.next();
        return true;
    }
    void expectSymbol(const char16_t* symbol) {
        if (!takeSymbol(symbol))
            unreadable(u"expected "_s + QString::fromUtf16(symbol) + u" at "_s + shown());
    }
    QString shown() const {
        return token_.kind == Kind::End ? u"the end"_s : u'"' + token_.text + u'"';
    }
    [[noreturn]] void unexpected() const { unreadable(u"unexpected "_s + shown()); }

    QString orExpr() {
        QString sql = andExpr();
        while (takeWord(u"OR"))
            sql = u'(' + sql + u" OR "_s + andExpr() + u')';
        return sql;
    }
    QString andExpr() {
        QString sql = notExpr();
        while (takeWord(u"AND"))
            sql = u'(' + sql + u" AND "_s + notExpr() + u')';
        return sql;
    }
    QString notExpr() {
        if (takeWord(u"NOT")) {
            Deeper guard(*this);
            return u"(NOT "_s + notExpr() + u')';
        }
        return equality();
    }
    QString equality() {
        QString sql = relational();
        for (;;) {
            if (takeSymbol(u"=") || takeSymbol(u"==")) {
                sql = u'(' + sql + u" = "_s + relational() + u')';
            } else if (takeSymbol(u"<>") || takeSymbol(u"!=")) {
                sql = u'(' + sql + u" <> "_s + relational() + u')';
            } else if (takeWord(u"ISNULL")) {
                sql = u'(' + sql + u" IS NULL)"_s;
            } else if (takeWord(u"NOTNULL")) {
                sql = u'(' + sql + u" IS NOT NULL)"_s;
            } else if (takeWord(u"IS")) {
                const bool negated = takeWord(u"NOT");
                if (takeWord(u"NULL"))
                    sql = u'(' + sql + (negated ? u" IS NOT NULL)"_s : u" IS NULL)"_s);
                else
                    sql = u'(' + sql +
                          (negated ? u" IS DISTINCT FROM "_s : u" IS NOT DISTINCT FROM "_s) +
                          relational() + u')';
            } else if (isWord(u"NOT") || isWord(u"LIKE") || isWord(u"IN") || isWord(u"BETWEEN")) {
                const bool negated = takeWord(u"NOT");
                const QString no = negated ? u" NOT"_s : QString();
                if (takeWord(u"LIKE")) {
                    // As on a .vdb file, LIKE ignores the case of letters, and a backslash in
                    // the pattern is a character like any other.
                    sql = u'(' + sql + no + u" ILIKE "_s + relational() + u" ESCAPE '')"_s;
                } else if (takeWord(u"BETWEEN")) {
                    const QString low = relational();
                    if (!takeWord(u"AND"))
                        unreadable(u"BETWEEN needs AND"_s);
                    sql = u'(' + sql + no + u" BETWEEN "_s + low + u" AND "_s + relational() + u')';
                } else if (takeWord(u"IN")) {
                    expectSymbol(u"(");
                    QStringList items{orExpr()};
                    while (takeSymbol(u","))
                        items << orExpr();
                    expectSymbol(u")");
                    sql = u'(' + sql + no + u" IN ("_s + items.join(u", "_s) + u"))"_s;
                } else {
                    unexpected();
                }
            } else {
                return sql;
            }
        }
    }
    QString relational() {
        QString sql = additive();
        for (bool more = true; more;) {
            more = false;
            for (const char16_t* op : {u"<=", u">=", u"<", u">"}) {
                if (takeSymbol(op)) {
                    sql = u'(' + sql + u' ' + QString::fromUtf16(op) + u' ' + additive() + u')';
                    more = true;
                    break;
                }
            }
        }
        return sql;
    }
    QString additive() {
        QString sql = multiplicative();
        for (;;) {
            if (takeSymbol(u"+"))
                sql = u'(' + sql + u" + "_s + multiplicative() + u')';
            else if (takeSymbol(u"-"))
                sql = u'(' + sql + u" - "_s + multiplicative() + u')';
            else
                return sql;
        }
    }
    QString multiplicative() {
        QString sql = concat();
        for (;;) {
            if (takeSymbol(u"*"))
                sql = u'(' + sql + u" * "_s + concat() + u')';
            // As on a .vdb file, a division by zero is Null (which a condition takes), no error.
            else if (takeSymbol(u"/"))
                sql = u'(' + sql + u" / NULLIF("_s + concat() + u", 0))"_s;
            else if (takeSymbol(u"%"))
                sql = u'(' + sql + u" % NULLIF("_s + concat() + u", 0))"_s;
            else
                return sql;
        }
    }
    QString concat() {
        QString sql = unary();
        while (takeSymbol(u"||"))
            sql = u'(' + sql + u" || "_s + unary() + u')';
        return sql;
    }
    QString unary() {
        Deeper guard(*this);
        if (takeSymbol(u"-"))
            return u"(- "_s + unary() + u')';
        if (takeSymbol(u"+"))
            return unary();
        return primary();
    }
    QString primary() {
        const Token token = token_;
        switch (token.kind) {
        case Kind::Number:
            token_ = lexer_.next();
            return token.text;
        case Kind::String: {
            token_ = lexer_.next();
            QString text = token.text;
            text.replace(u'\\', u"\\\\"_s).replace(u'\'', u"''"_s);
            return u"E'"_s + text + u'\'';
        }
        case Kind::Word:
            if (takeWord(u"NULL"))
                return u"NULL"_s;
            if (takeWord(u"TRUE"))
                return u"true"_s;
            if (takeWord(u"FALSE"))
                return u"false"_s;
            unexpected();
        case Kind::Name:
            token_ = lexer_.next();
            if (takeSymbol(u"("))
                return call(token.text);
            {
                const QString name = field(token.text);
                // Texts compare, and change case, by their characters' codes alone, as on a .vdb
                // file, whatever the database's collation.
                if (texts_.contains(name))
                    return u'(' + pgQuote(name) + u" COLLATE pg_catalog.\"C\")"_s;
                return pgQuote(name);
            }
        case Kind::Symbol:
            if (takeSymbol(u"(")) {
                Deeper guard(*this);
                const QString sql = orExpr();
                expectSymbol(u")");
                return sql;
            }
            unexpected();
        case Kind::End:
            break;
        }
        unexpected();
    }
    QString call(const QString& name) {
        const auto function = kFunctions.constFind(name.toLower());
        if (function == kFunctions.constEnd())
            unreadable(u"the function "_s + name + u" is not one the server is given"_s);
        QStringList arguments;
        if (!isSymbol(u")")) {
            arguments << orExpr();
            while (takeSymbol(u","))
                arguments << orExpr();
        }
        expectSymbol(u")");
        if (arguments.size() < function->least || arguments.size() > function->most)
            unreadable(u"the function "_s + name + u" takes "_s + QString::number(function->least) +
                       (function->most > function->least
                            ? u" to "_s + QString::number(function->most)
                            : QString()) +
                       u" arguments"_s);
        // As on a .vdb file, a negative start counts from the end of the text, and a negative
        // length takes the characters before the start (the server would refuse it).
        if (function->sql == u"substr"_s) {
            arguments[1] = u"(CASE WHEN "_s + arguments[1] + u" < 0 THEN pg_catalog.length("_s +
                           arguments[0] + u") + 1 + "_s + arguments[1] + u" ELSE "_s +
                           arguments[1] + u" END)"_s;
            if (arguments.size() == 3) {
                arguments[1] = u"(CASE WHEN "_s + arguments[2] + u" < 0 THEN "_s + arguments[1] +
                               u" + "_s + arguments[2] + u" ELSE "_s + arguments[1] + u" END)"_s;
                arguments[2] = u"pg_catalog.abs("_s + arguments[2] + u')';
            }
        }
        // coalesce and nullif are the server's syntax, not functions another schema could hold.
        const bool syntax = function->sql == u"coalesce"_s || function->sql == u"nullif"_s;
        return (syntax ? QString() : u"pg_catalog."_s) + function->sql + u'(' +
               arguments.join(u", "_s) + u')';
    }
    // Names compare without the case of ASCII letters, as on a .vdb file; the exact one first.
    QString field(const QString& name) const {
        if (fields_.contains(name))
            return name;
        QString found;
        for (const QString& candidate : fields_) {
            if (candidate.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            if (!found.isNull())
                unreadable(u"the name "_s + name + u" fits several fields"_s);
            found = candidate;
        }
        if (found.isNull())
            unreadable(u"the table has no field "_s + name);
        return found;
    }

    // Hostile nesting must not exhaust the stack.
    struct Deeper {
        explicit Deeper(Parser& p)
            : parser(p) {
            if (++parser.depth_ > kMaxDepth)
                unreadable(u"the expression is nested too deeply"_s);
        }
        ~Deeper() { --parser.depth_; }
        Parser& parser;
    };

    Lexer lexer_;
    const QStringList& fields_;
    const QStringList& texts_;
    Token token_;
    int depth_ = 0;
};

} // namespace

QString pgConditionSql(const QString& condition, const QStringList& fields,
                       const QStringList& texts) {
    return Parser(condition, fields, texts).whole();
}
