#include "downloadstatus.h"

#include <array>

#include "textfile.h"

namespace
{
    const std::array<const char16_t *, 25> Texts{
        u"Поиск серевого ресурса ",
        u"Соединение с ",
        u"Переадресация на ",
        u"Начало загрузки ",
        u"Загрузка ",
        u"Загрузка завершена ",
        u"Начало загрузки компонента ",
        u"Установка компонента ",
        u"Загрузка компонента завершена ",
        u"Используется закешированная копия ",
        u"Запрос ",
        u"ClassIDAvailable ",
        u"Тип MIME доступен ",
        u"Доступна закешированная копия ",
        u"Начало синхронизации ",
        u"Конец синхронизации ",
        u"Начало закачки",
        u"Закачка ",
        u"Конец закачки ",
        u"ProtocolClassID ",
        u"Encoding ",
        u"Доступен сравненный MIME тип ",
        u"ClassInstallLocation ",
        u"Decoding ",
        u"Загрузка указателя MIME ",
    };
}

namespace DownloadStatus
{
    QString text(int code)
    {
        if (code < 0 || code >= int(Texts.size()))
            return QString();
        return QString::fromUtf16(Texts[std::size_t(code)]);
    }

    QString statusLine(int code, const QString &serviceText)
    {
        if (code < 0 || code >= int(Texts.size()))
            return QString();
        return text(code) + trimControls(serviceText);
    }
}
