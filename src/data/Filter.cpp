#include "data/Filter.h"

#include "data/DataError.h"

#include <QStringList>

#include <algorithm>
#include <optional>

namespace {

struct Token {
    enum class Kind { End, Name, Text, Number, Operator, Open, Close };
    Kind kind = Kind::End;
    QString text; // the name, the literal's value, the number or the operator
    int position = 0; // 0-based character index in the filter text
    bool bracketed = false;
};

bool isKeyword(const Token& token, QLatin1String word)
{
    return token.kind == Token::Kind::Name && !token.bracketed && token.text.compare(word, Qt::CaseInsensitive) == 0;
}

class Parser {
public:
    Parser(const QString& text, const std::vector<FieldDef>& fields)
        : m_text(text)
        , m_fields(fields)
    {
        advance();
    }

    Filter parse()
    {
        Filter filter;
        if (m_token.kind == Token::Kind::End)
            return filter; // an empty filter admits everything
        const Node root = parseOr();
        if (m_token.kind == Token::Kind::Close)
            fail(QStringLiteral("лишняя закрывающая скобка"), m_token.position);
        if (m_token.kind != Token::Kind::End)
            fail(QStringLiteral("ожидалось AND или OR, а стоит «%1»").arg(spelling(m_token)), m_token.position);
        collect(root, filter.alternatives);
        return filter;
    }

private:
    struct Node {
        enum class Kind { Comparison, And, Or } kind = Kind::Comparison;
        Comparison comparison;
        std::vector<Node> children;
        int position = 0;
    };

    [[noreturn]] void fail(const QString& what, int position) const
    {
        // One pass over the pattern: a "%1" in the user's text stays as it is.
        throw DataError(
            QStringLiteral("Ошибка в фильтре «%1»: %2 (символ %3)").arg(m_text, what, QString::number(position + 1)));
    }

    QString spelling(const Token& token) const
    {
        switch (token.kind) {
        case Token::Kind::Text:
            return QLatin1Char('\'') + token.text + QLatin1Char('\'');
        case Token::Kind::Open:
            return QStringLiteral("(");
        case Token::Kind::Close:
            return QStringLiteral(")");
        case Token::Kind::End:
            return QStringLiteral("конец текста");
        default:
            return token.text;
        }
    }

    // The tokenizer ---------------------------------------------------------

    void advance()
    {
        const qsizetype n = m_text.size();
        while (m_pos < n && m_text.at(m_pos).isSpace())
            ++m_pos;
        m_token = Token();
        m_token.position = int(m_pos);
        if (m_pos >= n)
            return;
        const QChar c = m_text.at(m_pos);
        if (c == QLatin1Char('(') || c == QLatin1Char(')')) {
            m_token.kind = c == QLatin1Char('(') ? Token::Kind::Open : Token::Kind::Close;
            ++m_pos;
        } else if (c == QLatin1Char('\'')) {
            readText();
        } else if (c == QLatin1Char('[')) {
            const qsizetype close = m_text.indexOf(QLatin1Char(']'), m_pos + 1);
            if (close < 0)
                fail(QStringLiteral("не закрыта квадратная скобка имени поля"), int(m_pos));
            m_token.kind = Token::Kind::Name;
            m_token.bracketed = true;
            m_token.text = m_text.mid(m_pos + 1, close - m_pos - 1).trimmed();
            m_pos = close + 1;
        } else if (c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('=')) {
            m_token.kind = Token::Kind::Operator;
            m_token.text = c;
            ++m_pos;
            if (m_pos < n && c != QLatin1Char('=')
                && (m_text.at(m_pos) == QLatin1Char('=')
                    || (c == QLatin1Char('<') && m_text.at(m_pos) == QLatin1Char('>')))) {
                m_token.text += m_text.at(m_pos);
                ++m_pos;
            }
        } else if (c.isDigit()
            || ((c == QLatin1Char('-') || c == QLatin1Char('+')) && m_pos + 1 < n && m_text.at(m_pos + 1).isDigit())) {
            m_token.kind = Token::Kind::Number;
            const qsizetype start = m_pos++;
            while (m_pos < n && (m_text.at(m_pos).isDigit() || m_text.at(m_pos) == QLatin1Char('.')))
                ++m_pos;
            m_token.text = m_text.mid(start, m_pos - start);
        } else if (c.isLetterOrNumber() || c == QLatin1Char('_')) {
            m_token.kind = Token::Kind::Name;
            const qsizetype start = m_pos;
            while (m_pos < n && (m_text.at(m_pos).isLetterOrNumber() || m_text.at(m_pos) == QLatin1Char('_')))
                ++m_pos;
            m_token.text = m_text.mid(start, m_pos - start);
        } else {
            fail(QStringLiteral("непонятный знак «%1»").arg(c), int(m_pos));
        }
    }

    void readText()
    {
        const int start = int(m_pos);
        QString value;
        ++m_pos;
        for (;;) {
            if (m_pos >= m_text.size())
                fail(QStringLiteral("не закрыта кавычка текста, начатого здесь"), start);
            const QChar c = m_text.at(m_pos++);
            if (c != QLatin1Char('\'')) {
                value += c;
                continue;
            }
            if (m_pos < m_text.size() && m_text.at(m_pos) == QLatin1Char('\'')) {
                value += c; // '' stands for one quote
                ++m_pos;
                continue;
            }
            break;
        }
        m_token.kind = Token::Kind::Text;
        m_token.text = value;
    }

    // The grammar -----------------------------------------------------------

    // Operands joined by one keyword; a single operand stands for itself.
    Node parseJoined(QLatin1String keyword, Node::Kind kind, Node (Parser::*operand)())
    {
        Node first = (this->*operand)();
        if (!isKeyword(m_token, keyword))
            return first;
        Node node;
        node.kind = kind;
        node.position = first.position;
        node.children.push_back(std::move(first));
        while (isKeyword(m_token, keyword)) {
            advance();
            node.children.push_back((this->*operand)());
        }
        return node;
    }

    Node parseOr() { return parseJoined(QLatin1String("OR"), Node::Kind::Or, &Parser::parseAnd); }

    Node parseAnd()
    {
        Node node = parseJoined(QLatin1String("AND"), Node::Kind::And, &Parser::parseTerm);
        if (node.kind == Node::Kind::And) {
            for (const Node& child : node.children) {
                if (child.kind == Node::Kind::Or)
                    fail(QStringLiteral("группа условий с OR не может соединяться с AND"), child.position);
            }
        }
        return node;
    }

    Node parseTerm()
    {
        if (m_token.kind == Token::Kind::Open) {
            const int open = m_token.position;
            if (++m_depth > kMaxDepth)
                fail(QStringLiteral("слишком много вложенных скобок (больше %1)").arg(kMaxDepth), open);
            advance();
            Node inner = parseOr();
            --m_depth;
            if (m_token.kind != Token::Kind::Close)
                fail(QStringLiteral("не закрыта скобка, открытая здесь"), open);
            advance();
            inner.position = open;
            return inner;
        }
        Node node;
        node.position = m_token.position;
        node.comparison = parseComparison();
        return node;
    }

    Comparison parseComparison()
    {
        if (m_token.kind != Token::Kind::Name || isKeyword(m_token, QLatin1String("AND"))
            || isKeyword(m_token, QLatin1String("OR")))
            fail(QStringLiteral("ожидалось имя поля, а стоит «%1»").arg(spelling(m_token)), m_token.position);
        Comparison comparison;
        comparison.field = indexOfField(m_fields, m_token.text);
        if (comparison.field < 0)
            fail(QStringLiteral("нет поля «%1»").arg(m_token.text), m_token.position);
        const FieldDef& field = m_fields[std::size_t(comparison.field)];
        advance();

        const Token op = m_token;
        if (isKeyword(op, QLatin1String("LIKE"))) {
            comparison.op = Comparison::Op::Like;
        } else if (op.kind == Token::Kind::Operator) {
            static const std::pair<const char*, Comparison::Op> ops[] = {
                { "=", Comparison::Op::Equal },
                { "<>", Comparison::Op::NotEqual },
                { "<", Comparison::Op::Less },
                { ">", Comparison::Op::Greater },
                { "<=", Comparison::Op::LessEqual },
                { ">=", Comparison::Op::GreaterEqual },
            };
            bool known = false;
            for (const auto& [spelled, value] : ops) {
                if (op.text == QLatin1String(spelled)) {
                    comparison.op = value;
                    known = true;
                }
            }
            if (!known)
                fail(QStringLiteral("нет знака сравнения «%1»").arg(op.text), op.position);
        } else {
            fail(QStringLiteral("после имени поля ожидался знак сравнения, а стоит «%1»").arg(spelling(op)),
                op.position);
        }
        advance();

        const Token value = m_token;
        if (isKeyword(value, QLatin1String("NULL"))) {
            if (comparison.op != Comparison::Op::Equal && comparison.op != Comparison::Op::NotEqual)
                fail(QStringLiteral("с NULL сравнивают только знаками = и <>"), value.position);
            comparison.value = std::nullopt;
        } else if (value.kind == Token::Kind::Text || value.kind == Token::Kind::Number) {
            comparison.value = value.text;
        } else {
            fail(QStringLiteral("ожидалось значение в кавычках, а стоит «%1»").arg(spelling(value)), value.position);
        }

        if (field.type == FieldType::AutoInc && comparison.value) {
            bool number = false;
            comparison.value->toLongLong(&number);
            if (!number)
                fail(QStringLiteral("поле «%1» сравнивают с целым числом").arg(field.name), value.position);
            if (comparison.op == Comparison::Op::Like)
                fail(QStringLiteral("LIKE применим только к текстовым полям"), op.position);
        }
        if (comparison.op == Comparison::Op::Like) {
            if (value.kind != Token::Kind::Text)
                fail(QStringLiteral("шаблон LIKE пишут в кавычках"), value.position);
            parsePattern(comparison, value);
        }
        advance();
        return comparison;
    }

    void parsePattern(Comparison& comparison, const Token& token)
    {
        QString pattern = *comparison.value;
        auto isWildcard = [](QChar c) { return c == QLatin1Char('*') || c == QLatin1Char('%'); };
        const bool leading = !pattern.isEmpty() && isWildcard(pattern.front());
        if (leading)
            pattern.remove(0, 1);
        const bool trailing = !pattern.isEmpty() && isWildcard(pattern.back());
        if (trailing)
            pattern.chop(1);
        for (qsizetype i = 0; i < pattern.size(); ++i) {
            if (isWildcard(pattern.at(i)))
                fail(QStringLiteral("знак подстановки допустим только в конце шаблона или с обеих его сторон"),
                    token.position + 1 + int(i) + (leading ? 1 : 0));
        }
        if (leading && !trailing && !(comparison.value->size() == 1))
            fail(QStringLiteral("знак подстановки допустим только в конце шаблона или с обеих его сторон"),
                token.position + 1);
        comparison.value = pattern;
        comparison.pattern = leading && trailing ? Comparison::Pattern::Contains
            : (leading || trailing)              ? Comparison::Pattern::Prefix
                                                 : Comparison::Pattern::Whole;
    }

    static void collect(const Node& node, std::vector<std::vector<Comparison>>& alternatives)
    {
        switch (node.kind) {
        case Node::Kind::Or:
            for (const Node& child : node.children)
                collect(child, alternatives);
            break;
        case Node::Kind::And: {
            std::vector<Comparison> all;
            std::vector<std::vector<Comparison>> part;
            for (const Node& child : node.children) {
                part.clear();
                collect(child, part);
                all.insert(all.end(), part.front().begin(), part.front().end());
            }
            alternatives.push_back(std::move(all));
            break;
        }
        case Node::Kind::Comparison:
            alternatives.push_back({ node.comparison });
            break;
        }
    }

    // Parentheses nest no deeper than this, so parsing never runs out of stack.
    static constexpr int kMaxDepth = 64;

    const QString& m_text;
    const std::vector<FieldDef>& m_fields;
    int m_depth = 0;
    qsizetype m_pos = 0;
    Token m_token;
};

} // namespace

Filter Filter::parse(const QString& text, const std::vector<FieldDef>& fields)
{
    return Parser(text, fields).parse();
}

std::vector<SortKey> parseSortFields(const QString& names, const std::vector<FieldDef>& fields)
{
    std::vector<SortKey> keys;
    const QStringList parts = names.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        QString name = part.trimmed();
        SortKey key;
        const QStringList words = name.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() > 1) {
            const QString order = words.last();
            if (order.compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0) {
                key.descending = true;
                name.chop(order.size());
            } else if (order.compare(QLatin1String("ASC"), Qt::CaseInsensitive) == 0) {
                name.chop(order.size());
            }
            name = name.trimmed();
        }
        if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
            name = name.mid(1, name.size() - 2).trimmed();
        if (name.isEmpty())
            continue;
        key.field = indexOfField(fields, name);
        if (key.field < 0)
            throw DataError(fieldNotFoundMessage(name));
        keys.push_back(key);
    }
    return keys;
}

Selection Selection::parse(const QString& filter, const QString& sortFields, const std::vector<FieldDef>& fields)
{
    return { Filter::parse(filter, fields), parseSortFields(sortFields, fields) };
}

std::vector<int> Selection::fields() const
{
    std::vector<int> result;
    for (const auto& alternative : filter.alternatives) {
        for (const Comparison& c : alternative)
            result.push_back(c.field);
    }
    for (const SortKey& key : keys)
        result.push_back(key.field);
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
}
