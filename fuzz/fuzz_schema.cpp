// Reads arbitrary bytes as a table schema file: a file that reads gives the
// same fields when written and read again.
#include <cstdint>

#include "fuzzsupport.h"
#include "ordixerror.h"
#include "schemafile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::folder();
    Fuzz::writeFile(QStringLiteral("DStruct.xml"), Fuzz::bytes(data, size));
    QList<FieldDef> fields;
    try {
        fields = SchemaFile::read(QStringLiteral("DStruct.xml"));
    } catch (const OrdixError &) {
        return 0;
    }
    SchemaFile::write(QStringLiteral("again.xml"), fields);
    const QList<FieldDef> again = SchemaFile::read(QStringLiteral("again.xml"));
    if (again.size() != fields.size())
        Fuzz::fail("fuzz_schema", "the fields read back differ in number");
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (again.at(i).name != fields.at(i).name || again.at(i).type != fields.at(i).type
            || again.at(i).width != fields.at(i).width)
            Fuzz::fail("fuzz_schema", "a field read back differs");
    }
    return 0;
}
