// The directory table as its database file holds it: the table's name, its
// fields in order, their sizes and how the grid shows them. The program, the
// sample generator, the converter and the tests all take it from here.
//
// Plain C++ (no Qt), so tools that write files with SQLite alone use it too.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace schema {

struct Field {
    std::string_view name;
    bool key; // the auto-incrementing integer key, never shown
    int size; // characters a text holds; 0 for the key
    int displayWidth; // characters the grid allots to the column; 0 for the default
    bool visible;
};

inline constexpr std::string_view TableName = "главная";

// In the program's persistent field list these are the components
// ADOTable1DSDesigner, ADOTable1DSDesigner2 ... 4, ADOTable1_ and
// ADOTable1DSDesigner5, in this order.
inline constexpr std::array<Field, 6> Fields = { {
    { "Код", true, 0, 0, false },
    { "название", false, 100, 27, true },
    { "адрес", false, 50, 25, true },
    { "тел", false, 50, 11, true },
    { "вид_деят", false, 150, 20, true },
    { "пояснение", false, 200, 100, true },
} };

// The statement that makes an empty directory table.
inline std::string createTableSql()
{
    std::string sql = "CREATE TABLE \"" + std::string(TableName) + "\" (";
    for (std::size_t i = 0; i < Fields.size(); ++i) {
        const Field& f = Fields[i];
        sql += (i ? ", \"" : "\"") + std::string(f.name) + "\" ";
        sql += f.key ? std::string("INTEGER PRIMARY KEY AUTOINCREMENT") : "VARCHAR(" + std::to_string(f.size) + ")";
    }
    return sql + ")";
}

// The statement that adds a record with its texts bound as ?1 ... ?5.
inline std::string insertTextsSql()
{
    std::string sql = "INSERT INTO \"" + std::string(TableName) + "\" (";
    std::string values;
    for (std::size_t i = 1; i < Fields.size(); ++i) {
        sql += (i > 1 ? ", \"" : "\"") + std::string(Fields[i].name) + "\"";
        values += (i > 1 ? ", ?" : "?") + std::to_string(i);
    }
    return sql + ") VALUES (" + values + ")";
}

} // namespace schema
