#include "data/Field.h"

#include "data/DirectorySchema.h"

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

const std::vector<FieldDef>& directoryFields()
{
    static const std::vector<FieldDef> fields = [] {
        std::vector<FieldDef> result;
        for (const schema::Field& f : schema::Fields) {
            result.push_back({ fromUtf8(f.name), f.key ? FieldType::AutoInc : FieldType::WideString, f.size,
                f.displayWidth, f.visible });
        }
        return result;
    }();
    return fields;
}

QString directoryTableName()
{
    return fromUtf8(schema::TableName);
}

bool sameFieldName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

int indexOfField(const std::vector<FieldDef>& fields, QStringView name)
{
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (sameFieldName(fields[i].name, name))
            return int(i);
    }
    return -1;
}

QString fieldNotFoundMessage(const QString& name)
{
    return QStringLiteral("Field '%1' not found").arg(name);
}
