#include "ordixapplication.h"

#include <exception>

#include <QDebug>
#include <QEvent>
#include <QLibraryInfo>
#include <QPalette>
#include <QStringList>
#include <QTranslator>

#include "ordixerror.h"
#include "readablecolour.h"

OrdixApplication::OrdixApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    keepPlaceholdersReadable();
}

bool OrdixApplication::event(QEvent *event)
{
    if (event->type() == QEvent::ApplicationPaletteChange)
        keepPlaceholdersReadable();
    return QApplication::event(event);
}

void OrdixApplication::keepPlaceholdersReadable()
{
    QPalette colours = palette();
    // Setting the palette tells a change again, which then finds it readable.
    if (ReadableColour::makePlaceholdersReadable(&colours))
        setPalette(colours);
}

bool OrdixApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const OrdixError &error) {
        report(error.message());
    } catch (const std::exception &error) {
        report(QString::fromUtf8(error.what()));
    }
    return false;
}

void OrdixApplication::report(const QString &text)
{
    if (m_errorReport)
        m_errorReport(text);
    else
        qWarning().noquote() << text;
}

bool OrdixApplication::installRussianTranslations(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    // The toolkit's own folder, or the one beside the program where a
    // Windows installation keeps the toolkit's files.
    const QStringList folders{QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                              QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
    for (const QString &folder : folders) {
        if (translator->load(russian, QStringLiteral("qtbase"), QStringLiteral("_"), folder))
            return QCoreApplication::installTranslator(translator);
    }
    delete translator;
    return false;
}
