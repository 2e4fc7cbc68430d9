#include "ordixapplication.h"

#include <exception>

#include <QDebug>
#include <QLibraryInfo>
#include <QTranslator>

#include "ordixerror.h"

OrdixApplication::OrdixApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
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
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
