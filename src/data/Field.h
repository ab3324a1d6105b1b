// The description of one field of an open table: what the grid shows and
// what a value must fit into.
#pragma once

#include <QString>

#include <optional>
#include <vector>

enum class FieldType { AutoInc, WideString };

struct FieldDef
{
    QString name;
    FieldType type = FieldType::WideString;
    int size = 0;          // characters; 0 for the integer key
    int displayWidth = 0;  // characters the grid allots to the column; 0 for the default
    bool visible = true;
    QString componentName; // the persistent field's own name
};

// A text value as the store keeps it: no value at all (SQL NULL) is distinct
// from the empty text.
using TextValue = std::optional<QString>;

// The fields of the directory table, in the order the grid shows them.
const std::vector<FieldDef>& directoryFields();

// The name of the directory table in the database file.
QString directoryTableName();
