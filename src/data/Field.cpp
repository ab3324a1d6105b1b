#include "data/Field.h"

const std::vector<FieldDef>& directoryFields()
{
    static const std::vector<FieldDef> fields = {
        {QStringLiteral("Код"), FieldType::AutoInc, 0, 0, false, QStringLiteral("ADOTable1DSDesigner")},
        {QStringLiteral("название"), FieldType::WideString, 100, 27, true, QStringLiteral("ADOTable1DSDesigner2")},
        {QStringLiteral("адрес"), FieldType::WideString, 50, 25, true, QStringLiteral("ADOTable1DSDesigner3")},
        {QStringLiteral("тел"), FieldType::WideString, 50, 11, true, QStringLiteral("ADOTable1DSDesigner4")},
        {QStringLiteral("вид_деят"), FieldType::WideString, 150, 20, true, QStringLiteral("ADOTable1_")},
        {QStringLiteral("пояснение"), FieldType::WideString, 200, 100, true, QStringLiteral("ADOTable1DSDesigner5")},
    };
    return fields;
}

QString directoryTableName()
{
    return QStringLiteral("главная");
}
