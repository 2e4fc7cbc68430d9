#pragma once

#include <QString>

// The field definitions shared by record tables, their storage and the
// filter language. Kept apart so that the filter language and the storage
// need nothing of the table class: the table uses them, never the reverse.

enum class FieldType
{
    I2,     // 16-bit signed integer, -32768..32767
    I4,     // 32-bit signed integer
    String, // text of at most `width` characters, cut when longer
    R8      // 64-bit floating point
};

struct FieldDef
{
    QString name;
    FieldType type = FieldType::String;
    int width = 0; // text fields only

    bool isNumeric() const { return type != FieldType::String; }
};
