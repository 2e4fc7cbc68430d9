#pragma once

#include <functional>

#include <QApplication>

// The application object. Its event delivery is the last boundary for
// errors: an exception that escapes an event handler or a slot reaches the
// error report instead of ending the program.
class OrdixApplication final : public QApplication
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OrdixApplication)

public:
    OrdixApplication(int &argc, char **argv);

    using ErrorReport = std::function<void(const QString &text)>;
    void setErrorReport(ErrorReport report) { m_errorReport = std::move(report); }

    bool notify(QObject *receiver, QEvent *event) override;

    // Loads the toolkit's Russian texts (buttons "Да", "Нет", "Отмена" and
    // the file dialogs) into the application; false when they are missing.
    static bool installRussianTranslations(QCoreApplication &app);

protected:
    bool event(QEvent *event) override;

private:
    // The desktop's palette with readable placeholder texts (kept so when
    // the desktop brings another palette).
    void keepPlaceholdersReadable();

    void report(const QString &text);

    ErrorReport m_errorReport;
};
