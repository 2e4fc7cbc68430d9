#include "safefilename.h"

QString MakeSafeFileName(const QString &name)
{
    static const struct
    {
        char16_t from;
        const char16_t *to;
    } replacements[] = {
        {u'/', u"("},  {u'\\', u")"}, {u':', u"-"}, {u'*', u"#"}, {u'?', u"-"},
        {u'"', u"''"}, {u'<', u"("},  {u'>', u")"}, {u'|', u"!"},
    };
    QString result = name;
    for (const auto &r : replacements)
        result.replace(QChar(r.from), QString::fromUtf16(r.to));
    return result;
}
