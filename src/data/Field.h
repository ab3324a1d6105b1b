// The description of one field of an open table: what the grid shows and
// what a value must fit into.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

enum class FieldType { AutoInc, WideString };

struct FieldDef {
    QString name;
    FieldType type = FieldType::WideString;
    int size = 0; // characters; 0 for the integer key
    int displayWidth = 0; // characters the grid allots to the column; 0 for the default
    bool visible = true;
};

// A text value as the store keeps it: no value at all (SQL NULL) is distinct
// from the empty text.
using TextValue = std::optional<QString>;

// The kind of a value in the file. The program writes texts only, but a file
// made elsewhere may hold any kind in any column.
enum class StoredType : std::uint8_t { Text, Integer, Real, Blob };

// A value as the file holds it, to find a record by: no value at all, or its
// kind and its bytes (a number as its text). The bytes are not owned: they
// belong to the rows the value was taken from.
struct StoredValue {
    bool null = true;
    StoredType type = StoredType::Text;
    std::string_view bytes;
};

// A UTF-8 text of the program's own tables (field names, the catalogue,
// the timetables) as a QString.
QString fromUtf8(std::string_view text);

// The fields of the directory table, in the order the grid shows them.
const std::vector<FieldDef>& directoryFields();

// The name of the directory table in the database file.
QString directoryTableName();

// Field names compare without regard to letter case.
bool sameFieldName(QStringView a, QStringView b);
// The index of the field with this name, or -1.
int indexOfField(const std::vector<FieldDef>& fields, QStringView name);
// The message for a field that a table does not have.
QString fieldNotFoundMessage(const QString& name);
