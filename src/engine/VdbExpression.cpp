#include "VdbExpression.h"

#include "EngineCore.h"
#include "VdbErrors.h"

#include <QDate>

#include <cmath>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using CorePtr = std::shared_ptr<EngineCore>;

enum class Function { Upper, Lower, Trim, Len, Str, Left, Right, Mid };

struct FunctionInfo {
    QStringView name;
    Function function;
    int minArgs;
    int maxArgs;
};

constexpr FunctionInfo kFunctions[] = {
    {u"UPPER", Function::Upper, 1, 1}, {u"LOWER", Function::Lower, 1, 1},
    {u"TRIM", Function::Trim, 1, 1},   {u"LEN", Function::Len, 1, 1},
    {u"STR", Function::Str, 1, 1},     {u"LEFT", Function::Left, 2, 2},
    {u"RIGHT", Function::Right, 2, 2}, {u"MID", Function::Mid, 2, 3},
};

struct Node {
    enum class Kind { Literal, Field, Plus, Concat, Call } kind = Kind::Literal;
    QVariant literal;
    int table = -1;
    int field = -1;
    Function function = Function::Upper;
    std::vector<std::unique_ptr<Node>> children;
};

bool isNull(const QVariant& v) {
    return !v.isValid() || v.isNull();
}

bool isNumber(const QVariant& v) {
    const int type = v.metaType().id();
    return type == QMetaType::LongLong || type == QMetaType::Int || type == QMetaType::Double;
}

QString asText(const QVariant& v) {
    if (v.metaType().id() == QMetaType::Double)
        return QString::number(v.toDouble(), 'g', 15);
    if (v.metaType().id() == QMetaType::QDate)
        return v.toDate().toString(Qt::ISODate);
    return v.toString();
}

[[noreturn]] void valueError(const QString& what) {
    throw vdbError(VdbCode::ExpressionValue, what);
}

// A count or position; one beyond any text's length (1e300, or 1e19 written out) means "all
// the rest" and saturates instead of overflowing.
qint64 asCount(const QVariant& v, const char16_t* function) {
    constexpr double kSaturated = 1e18;
    bool ok = false;
    double real = 0;
    if (v.metaType().id() == QMetaType::Double) {
        real = v.toDouble();
        ok = true;
    } else {
        const qint64 n = isNumber(v) ? v.toLongLong(&ok) : asText(v).trimmed().toLongLong(&ok);
        if (ok)
            return n;
        real = asText(v).trimmed().toDouble(&ok);
    }
    if (!ok || std::isnan(real))
        valueError(QString::fromUtf16(function) + u" needs a number, not \""_s + asText(v) +
                   u"\"."_s);
    if (real >= kSaturated)
        return static_cast<qint64>(kSaturated);
    if (real <= -kSaturated)
        return -static_cast<qint64>(kSaturated);
    return QVariant(real).toLongLong();
}

QVariant evaluate(EngineCore& core, const Node& node) {
    switch (node.kind) {
    case Node::Kind::Literal:
        return node.literal;
    case Node::Kind::Field:
        return core.value(node.table, node.field);
    case Node::Kind::Plus: {
        const QVariant a = evaluate(core, *node.children[0]);
        const QVariant b = evaluate(core, *node.children[1]);
        if (isNull(a) || isNull(b))
            return {};
        if (isNumber(a) && isNumber(b)) {
            const int ta = a.metaType().id();
            const int tb = b.metaType().id();
            qint64 sum = 0;
            if (ta != QMetaType::Double && tb != QMetaType::Double &&
                !__builtin_add_overflow(a.toLongLong(), b.toLongLong(), &sum))
                return QVariant(static_cast<qlonglong>(sum));
            return QVariant(a.toDouble() + b.toDouble());
        }
        return QVariant(asText(a) + asText(b));
    }
    case Node::Kind::Concat: {
        const QVariant a = evaluate(core, *node.children[0]);
        const QVariant b = evaluate(core, *node.children[1]);
        return QVariant((isNull(a) ? QString() : asText(a)) + (isNull(b) ? QString() : asText(b)));
    }
    case Node::Kind::Call:
        break;
    }
    std::vector<QVariant> args;
    for (const auto& child : node.children)
        args.push_back(evaluate(core, *child));
    for (const QVariant& arg : args) {
        if (isNull(arg))
            return {};
    }
    const QString text = asText(args[0]);
    switch (node.function) {
    case Function::Upper:
        return text.toUpper();
    case Function::Lower:
        return text.toLower();
    case Function::Trim:
        return text.trimmed();
    case Function::Len:
        return QVariant(static_cast<qlonglong>(text.size()));
    case Function::Str:
        return text;
    case Function::Left:
        return text.left(std::max<qint64>(0, asCount(args[1], u"LEFT")));
    case Function::Right:
        return text.right(std::max<qint64>(0, asCount(args[1], u"RIGHT")));
    case Function::Mid: {
        const qint64 start = asCount(args[1], u"MID");
        if (start < 1)
            valueError(u"MID starts at position 1 or later."_s);
        const qint64 length = args.size() > 2 ? std::max<qint64>(0, asCount(args[2], u"MID")) : -1;
        return text.mid(start - 1, length);
    }
    }
    return {};
}

class Parser {
public:
    Parser(EngineCore& core, const QString& text)
        : core_(core)
        , text_(text) {}

    std::unique_ptr<Node> parseWhole() {
        if (text_.size() > kMaxLength)
            fail(u"the expression is longer than "_s + QString::number(kMaxLength) +
                     u" characters"_s,
                 kMaxLength);
        if (auto reference = wholeReference())
            return reference;
        auto node = parseSum();
        skipBlanks();
        if (pos_ < text_.size())
            fail(u"unexpected \""_s + text_.mid(pos_, 10) + u"\""_s);
        return node;
    }

private:
    // The form Table->Field with the names exactly as they are, blanks and all. The table name
    // ending first wins, as in "a->b->c"; only names of the catalogue are tried, so the time is
    // linear in the text's length.
    std::unique_ptr<Node> wholeReference() {
        const QStringView text(text_);
        const auto& tables = core_.catalogue().tables;
        int bestTable = -1;
        int bestField = -1;
        for (int t = 0; t < tables.size(); ++t) {
            const QString& name = tables[t].name;
            if (bestTable >= 0 && name.size() >= tables[bestTable].name.size())
                continue;
            if (!text.startsWith(name) || !text.mid(name.size()).startsWith(u"->"))
                continue;
            const QStringView fieldName = text.mid(name.size() + 2);
            const auto& fields = tables[t].fields;
            for (int f = 0; f < fields.size(); ++f) {
                if (fields[f].name == fieldName) {
                    bestTable = t;
                    bestField = f;
                    break;
                }
            }
        }
        return bestTable >= 0 ? fieldNode(bestTable, bestField) : nullptr;
    }

    // Bounds keep parsing and evaluation off the end of the stack and the time of compiling
    // small, whatever the text.
    static constexpr qsizetype kMaxLength = 10000;
    static constexpr int kMaxNodes = 1000;
    static constexpr int kMaxDepth = 100;

    std::unique_ptr<Node> newNode() {
        if (++nodes_ > kMaxNodes)
            fail(u"the expression is too long"_s);
        return std::make_unique<Node>();
    }

    struct DepthGuard {
        explicit DepthGuard(Parser& parser)
            : parser_(parser) {
            if (++parser_.depth_ > kMaxDepth)
                parser_.fail(u"the expression is nested too deeply"_s);
        }
        ~DepthGuard() { --parser_.depth_; }
        DepthGuard(const DepthGuard&) = delete;
        DepthGuard& operator=(const DepthGuard&) = delete;
        Parser& parser_;
    };

    std::unique_ptr<Node> fieldNode(int t, int f) {
        auto node = newNode();
        node->kind = Node::Kind::Field;
        node->table = t;
        node->field = f;
        return node;
    }

    [[noreturn]] void fail(const QString& what, qsizetype at = -1) const {
        const qsizetype position = (at < 0 ? pos_ : at) + 1;
        throw vdbError(VdbCode::ExpressionSyntax, u"Syntax error at position "_s +
                                                      QString::number(position) + u": "_s + what +
                                                      u'.');
    }

    void skipBlanks() {
        while (pos_ < text_.size() && text_.at(pos_).isSpace())
            ++pos_;
    }

    bool accept(QStringView token) {
        skipBlanks();
        if (QStringView(text_).mid(pos_).startsWith(token)) {
            pos_ += token.size();
            return true;
        }
        return false;
    }

    std::unique_ptr<Node> parseSum() {
        auto left = parsePrimary();
        for (;;) {
            Node::Kind kind;
            if (accept(u"+"))
                kind = Node::Kind::Plus;
            else if (accept(u"&"))
                kind = Node::Kind::Concat;
            else
                return left;
            auto node = newNode();
            node->kind = kind;
            node->children.push_back(std::move(left));
            node->children.push_back(parsePrimary());
            left = std::move(node);
        }
    }

    static bool isNameChar(QChar c) {
        return !c.isSpace() && c != u'+' && c != u'&' && c != u'(' && c != u')' && c != u',' &&
               c != u'"' && c != u'\'' && c != u'[' && c != u']';
    }

    // A name: bracketed ("]]" for "]"), or a run of name characters that stops before "->".
    QString parseName() {
        skipBlanks();
        if (pos_ < text_.size() && text_.at(pos_) == u'[') {
            const qsizetype start = pos_;
            ++pos_;
            QString name;
            for (;;) {
                if (pos_ >= text_.size())
                    fail(u"the name has no closing \"]\""_s, start);
                if (text_.at(pos_) == u']') {
                    if (pos_ + 1 < text_.size() && text_.at(pos_ + 1) == u']') {
                        name += u']';
                        pos_ += 2;
                        continue;
                    }
                    ++pos_;
                    return name;
                }
                name += text_.at(pos_++);
            }
        }
        const qsizetype start = pos_;
        while (pos_ < text_.size() && isNameChar(text_.at(pos_)) &&
               !QStringView(text_).mid(pos_).startsWith(u"->"))
            ++pos_;
        return text_.mid(start, pos_ - start);
    }

    std::unique_ptr<Node> parseString(QChar quote) {
        const qsizetype start = pos_;
        ++pos_;
        QString value;
        for (;;) {
            if (pos_ >= text_.size())
                fail(u"the text has no closing quote"_s, start);
            const QChar c = text_.at(pos_++);
            if (c == quote) {
                if (pos_ < text_.size() && text_.at(pos_) == quote) {
                    value += quote;
                    ++pos_;
                    continue;
                }
                break;
            }
            value += c;
        }
        auto node = newNode();
        node->literal = value;
        return node;
    }

    std::unique_ptr<Node> parsePrimary() {
        const DepthGuard guard(*this);
        skipBlanks();
        if (pos_ >= text_.size())
            fail(u"a value is missing"_s);
        const QChar c = text_.at(pos_);
        if (c == u'"' || c == u'\'')
            return parseString(c);
        if (c == u'(') {
            ++pos_;
            auto inner = parseSum();
            if (!accept(u")"))
                fail(u"\")\" expected"_s);
            return inner;
        }
        const qsizetype start = pos_;
        const QString name = parseName();
        if (name.isEmpty())
            fail(u"unexpected \""_s + text_.mid(pos_, 1) + u"\""_s);
        if (accept(u"->")) {
            const qsizetype fieldStart = (skipBlanks(), pos_);
            const QString fieldName = parseName();
            const int t = core_.catalogue().tablePosition(name);
            if (t < 0)
                fail(u"there is no table named \""_s + name + u"\""_s, start);
            const int f = core_.catalogue().tables[t].fieldPosition(fieldName);
            if (f < 0)
                fail(u"the table \""_s + name + u"\" has no field named \""_s + fieldName + u"\""_s,
                     fieldStart);
            return fieldNode(t, f);
        }
        if (c.isDigit()) {
            bool ok = false;
            auto node = newNode();
            if (name.contains(u'.'))
                node->literal = name.toDouble(&ok);
            else
                node->literal = QVariant(name.toLongLong(&ok));
            if (!ok)
                fail(u"\""_s + name + u"\" is not a number"_s, start);
            return node;
        }
        for (const FunctionInfo& info : kFunctions) {
            if (name.compare(info.name, Qt::CaseInsensitive) != 0)
                continue;
            if (!accept(u"("))
                fail(u"\"(\" expected after "_s + name);
            auto node = newNode();
            node->kind = Node::Kind::Call;
            node->function = info.function;
            if (!accept(u")")) {
                do {
                    node->children.push_back(parseSum());
                } while (accept(u","));
                if (!accept(u")"))
                    fail(u"\")\" expected"_s);
            }
            const auto count = static_cast<int>(node->children.size());
            if (count < info.minArgs || count > info.maxArgs)
                fail(name + u" takes "_s + QString::number(info.minArgs) +
                         (info.maxArgs > info.minArgs ? u" or "_s + QString::number(info.maxArgs)
                                                      : QString()) +
                         u" argument(s)"_s,
                     start);
            return node;
        }
        fail(u"unknown name \""_s + name + u"\" (write Table->Field)"_s, start);
    }

    EngineCore& core_;
    const QString& text_;
    qsizetype pos_ = 0;
    int nodes_ = 0;
    int depth_ = 0;
};

class VdbExpression : public Expression {
public:
    VdbExpression(CorePtr core, std::unique_ptr<Node> root)
        : core_(std::move(core))
        , root_(std::move(root)) {}
    QVariant Evaluate(qint32) override { return evaluate(*core_, *root_); }

private:
    CorePtr core_;
    std::unique_ptr<Node> root_;
};

class VdbEvaluator : public Evaluator {
public:
    explicit VdbEvaluator(CorePtr core)
        : core_(std::move(core)) {}
    std::shared_ptr<Expression> Compile(const QString& text, qint32) override {
        Parser parser(*core_, text);
        return std::make_shared<VdbExpression>(core_, parser.parseWhole());
    }

private:
    CorePtr core_;
};

} // namespace

std::shared_ptr<Evaluator> makeEvaluator(std::shared_ptr<EngineCore> core) {
    return std::make_shared<VdbEvaluator>(std::move(core));
}
