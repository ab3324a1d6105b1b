#include "data/NameSearch.h"

#include "data/Collation.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Converter = std::unique_ptr<UConverter, void (*)(UConverter*)>;

Converter windows1251()
{
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open("windows-1251", &status), ucnv_close);
    if (U_FAILURE(status))
        converter.reset();
    return converter;
}

// The code of a character in Windows-1251, if it has one.
std::optional<unsigned char> codeOf(QChar c)
{
    Converter converter = windows1251();
    if (!converter)
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    const UChar in = c.unicode();
    char out[4];
    const int32_t n = ucnv_fromUChars(converter.get(), out, sizeof out, &in, 1, &status);
    if (U_FAILURE(status) || n != 1)
        return std::nullopt;
    return static_cast<unsigned char>(out[0]);
}

// The character with this Windows-1251 code, if the code is assigned.
std::optional<QChar> characterOf(unsigned char code)
{
    Converter converter = windows1251();
    if (!converter || code == 0)
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    const char in = char(code);
    UChar out[4];
    const int32_t n = ucnv_toUChars(converter.get(), out, 4, &in, 1, &status);
    if (U_FAILURE(status) || n != 1)
        return std::nullopt;
    return QChar(out[0]);
}

// The keys of the code page's characters, by code.
const std::vector<std::string>& codePageKeys()
{
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> result(256);
        for (int code = 1; code < 256; ++code) {
            if (const std::optional<QChar> c = characterOf((unsigned char)code))
                result[std::size_t(code)] = Collation::instance().key(QString(*c));
        }
        return result;
    }();
    return keys;
}

} // namespace

namespace namesearch {

QString upperBound(const QString& text)
{
    const QString beyond = text + QChar(0xFFFF);
    if (text.isEmpty())
        return beyond;
    const std::optional<unsigned char> code = codeOf(text.back());
    if (code && *code < 255) {
        if (const std::optional<QChar> next = characterOf(*code + 1)) {
            const QString bound = text.left(text.size() - 1) + *next;
            // The code page's bound only if it sorts after every name that
            // begins with the text, and no character of the code page sorts
            // between the last character and its successor (which would let
            // in names that do not begin with the text).
            const Collation& collation = Collation::instance();
            const std::string last = collation.key(text) + std::string(collation.highestUnit());
            const std::string& from = codePageKeys()[*code];
            const std::string& to = codePageKeys()[*code + 1u];
            const bool between = std::any_of(codePageKeys().begin(), codePageKeys().end(),
                [&](const std::string& key) { return !key.empty() && from < key && key < to; });
            if (!between && collation.key(bound) >= last)
                return bound;
        }
    }
    return beyond;
}

QString literal(const QString& text)
{
    QString result = text;
    result.replace(QLatin1Char('\''), QStringLiteral("''"));
    return result;
}

QString prefixFilter(const QString& text, const QString& bound)
{
    return QStringLiteral("название>='") + literal(text) + QStringLiteral("' and  название<'") + literal(bound)
        + QLatin1Char('\'');
}

QString categoryFilter(const QString& category)
{
    return QStringLiteral("вид_деят='") + literal(category) + QLatin1Char('\'');
}

} // namespace namesearch
