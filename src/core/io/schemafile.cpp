#include "schemafile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "ordixerror.h"
#include "textfile.h"

namespace
{
    QString g_folder;

    const QString declarationLine = QStringLiteral(R"(<?xml version="1.0" encoding="windows-1251" standalone="yes"?>)");
    const QString openingLine = QStringLiteral(R"(<DATAPACKET Version="2.0"><METADATA><FIELDS>)");
    const QString closingLine = QStringLiteral(R"(</FIELDS><PARAMS/></METADATA><ROWDATA></ROWDATA></DATAPACKET>)");

    QString typeCode(FieldType type)
    {
        switch (type) {
        case FieldType::I2:
            return QStringLiteral("i2");
        case FieldType::I4:
            return QStringLiteral("i4");
        case FieldType::String:
            return QStringLiteral("string");
        case FieldType::R8:
            return QStringLiteral("r8");
        }
        return QStringLiteral("string");
    }

    // Field names are the program's own, but an attribute value is escaped
    // all the same so that the file stays well-formed.
    QString escapeAttribute(const QString &text)
    {
        QString escaped;
        escaped.reserve(text.size());
        for (const QChar ch : text) {
            switch (ch.unicode()) {
            case u'&':
                escaped += QLatin1String("&amp;");
                break;
            case u'<':
                escaped += QLatin1String("&lt;");
                break;
            case u'>':
                escaped += QLatin1String("&gt;");
                break;
            case u'"':
                escaped += QLatin1String("&quot;");
                break;
            default:
                escaped += ch;
            }
        }
        return escaped;
    }

    QString unescapeAttribute(QString text)
    {
        text.replace(QLatin1String("&quot;"), QLatin1String("\""));
        text.replace(QLatin1String("&lt;"), QLatin1String("<"));
        text.replace(QLatin1String("&gt;"), QLatin1String(">"));
        text.replace(QLatin1String("&amp;"), QLatin1String("&"));
        return text;
    }

    QStringList schemaLines(const QList<FieldDef> &fields)
    {
        QStringList lines;
        lines.reserve(fields.size() + 3);
        lines.append(declarationLine);
        lines.append(openingLine);
        for (const FieldDef &field : fields) {
            QString line = QStringLiteral(R"(<FIELD attrname="%1" fieldtype="%2")")
                               .arg(escapeAttribute(field.name), typeCode(field.type));
            if (field.type == FieldType::String)
                line += QStringLiteral(R"( WIDTH="%1")").arg(field.width);
            line += QLatin1String("/>");
            lines.append(line);
        }
        lines.append(closingLine);
        return lines;
    }

    [[noreturn]] void throwNoSchema(const QString &path)
    {
        throw OrdixError(QStringLiteral("Файл %1 не является описанием таблицы").arg(QDir::toNativeSeparators(path)));
    }
}

namespace SchemaFile
{
    QByteArray serialize(const QList<FieldDef> &fields)
    {
        return TextFile::encodeLines(schemaLines(fields));
    }

    void setFolder(const QString &folder)
    {
        g_folder = folder;
    }

    QString location(const QString &path)
    {
        if (g_folder.isEmpty() || QDir::isAbsolutePath(path))
            return path;
        return QDir(g_folder).filePath(path);
    }

    void write(const QString &path, const QList<FieldDef> &fields)
    {
        TextFile::writeBytes(location(path), serialize(fields), AtomicFile::Links::Replace);
    }

    QList<FieldDef> read(const QString &name)
    {
        const QString path = location(name);
        // Windows-1251, as the file declares and as it is written: never
        // taken for UTF-8 because its bytes happen to read as that.
        const QStringList lines = TextFile::decodeLines(TextFile::readBytes(path));
        if (lines.size() < 3 || lines.first() != declarationLine || lines.at(1) != openingLine
            || lines.last() != closingLine) {
            throwNoSchema(path);
        }

        static const QRegularExpression fieldLine(QStringLiteral(
            R"re(^<FIELD attrname="([^"]*)" fieldtype="(i2|i4|string|r8)"(?: WIDTH="(\d{1,9})")?/>$)re"));
        QList<FieldDef> fields;
        for (qsizetype i = 2; i < lines.size() - 1; ++i) {
            const QRegularExpressionMatch match = fieldLine.match(lines.at(i));
            if (!match.hasMatch())
                throwNoSchema(path);
            FieldDef field;
            field.name = unescapeAttribute(match.captured(1));
            // A byte the code page lacks reads as a replacement character,
            // which the file could not hold again: no name of ours.
            if (field.name.contains(QChar::ReplacementCharacter))
                throwNoSchema(path);
            const QString type = match.captured(2);
            const bool hasWidth = match.hasCaptured(3);
            if (type == QLatin1String("i2")) {
                field.type = FieldType::I2;
            } else if (type == QLatin1String("i4")) {
                field.type = FieldType::I4;
            } else if (type == QLatin1String("r8")) {
                field.type = FieldType::R8;
            } else {
                field.type = FieldType::String;
                if (!hasWidth)
                    throwNoSchema(path);
                field.width = match.captured(3).toInt();
            }
            if (hasWidth && field.type != FieldType::String)
                throwNoSchema(path);
            fields.append(field);
        }
        return fields;
    }

    void remove(const QString &name)
    {
        // A link in the file's place goes too, not the file it names.
        const QString path = location(name);
        if (QFileInfo(path).isSymLink() || QFile::exists(path))
            QFile::remove(path);
    }
}
