#include "qtprompts.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

#include "ordixerror.h"
#include "pricelayoutdialog.h"
#include "windowretirement.h"

namespace
{
    QMessageBox::Icon boxIcon(UserPrompts::Icon icon)
    {
        switch (icon) {
        case UserPrompts::Icon::Information:
            return QMessageBox::Information;
        case UserPrompts::Icon::Warning:
            return QMessageBox::Warning;
        case UserPrompts::Icon::Error:
            return QMessageBox::Critical;
        case UserPrompts::Icon::Question:
            return QMessageBox::Question;
        }
        return QMessageBox::NoIcon;
    }

    UserPrompts::Answer answerOf(int button)
    {
        switch (button) {
        case QMessageBox::Yes:
            return UserPrompts::Answer::Yes;
        case QMessageBox::No:
            return UserPrompts::Answer::No;
        case QMessageBox::Ok:
            return UserPrompts::Answer::Ok;
        case QMessageBox::Retry:
            return UserPrompts::Answer::Retry;
        default:
            return UserPrompts::Answer::Cancel;
        }
    }

    int runBox(QWidget *owner, QMessageBox::Icon icon, const QString &title, const QString &text,
               QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
               QMessageBox::StandardButton escapeButton, bool onTop = false)
    {
        const RetiringWindow<QMessageBox> box(
            new QMessageBox(icon, title.isEmpty() ? QCoreApplication::applicationName() : title, text, buttons, owner));
        box->setObjectName(QStringLiteral("MessageBox"));
        if (onTop)
            box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        box->setDefaultButton(defaultButton);
        if (escapeButton != QMessageBox::NoButton)
            box->setEscapeButton(escapeButton);
        return box->exec();
    }
}

QtPrompts::QtPrompts(QWidget *owner)
    : m_owner(owner)
{ }

UserPrompts::Answer QtPrompts::askYesNo(const QString &text)
{
    return answerOf(runBox(m_owner, QMessageBox::Question, QString(), text, QMessageBox::Yes | QMessageBox::No,
                           QMessageBox::Yes, QMessageBox::No));
}

UserPrompts::Answer QtPrompts::askYesNoCancel(const QString &text)
{
    return answerOf(runBox(m_owner, QMessageBox::Question, QString(), text,
                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes,
                           QMessageBox::Cancel));
}

void QtPrompts::message(const QString &text, Icon icon, const QString &title)
{
    runBox(m_owner, boxIcon(icon), title, text, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok);
}

UserPrompts::Answer QtPrompts::askYesNoBox(const QString &text, const BoxOptions &options)
{
    return answerOf(runBox(m_owner, QMessageBox::Question, options.title, text, QMessageBox::Yes | QMessageBox::No,
                           QMessageBox::Yes, QMessageBox::No, options.onTop));
}

void QtPrompts::messageBox(const QString &text, Icon icon, const BoxOptions &options)
{
    runBox(m_owner, boxIcon(icon), options.title, text, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok,
           options.onTop);
}

UserPrompts::Answer QtPrompts::askRetryCancel(const QString &title, const QString &text)
{
    return answerOf(runBox(m_owner, QMessageBox::Warning, title, text, QMessageBox::Retry | QMessageBox::Cancel,
                           QMessageBox::Retry, QMessageBox::Cancel));
}

QStringList QtPrompts::nameFilters(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        QString patterns = parts.at(i + 1).trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // The toolkit reads the patterns from the parentheses of the entry.
        static const QRegularExpression bracketed(QStringLiteral("\\(([^()]*)\\)\\s*$"));
        const QRegularExpressionMatch match = bracketed.match(description);
        if (match.hasMatch()) {
            QString entry = description;
            entry.replace(match.capturedStart(1), match.capturedLength(1), patterns);
            result.append(entry);
        } else {
            result.append(description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
        }
    }
    return result;
}

QString QtPrompts::runFileDialog(const FileDialog &dialog, bool save)
{
    const RetiringWindow<QFileDialog> fileDialog(new QFileDialog(m_owner, dialog.title));
    fileDialog->setObjectName(save ? QStringLiteral("SaveDialog") : QStringLiteral("OpenDialog"));
    fileDialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    fileDialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = nameFilters(dialog.filter);
    if (!filters.isEmpty())
        fileDialog->setNameFilters(filters);
    fileDialog->setDefaultSuffix(dialog.defaultExtension);
    if (save && !dialog.overwritePrompt)
        fileDialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    fileDialog->setDirectory(dialog.directory.isEmpty() ? QDir::currentPath() : dialog.directory);
    if (!dialog.fileName.isEmpty())
        fileDialog->selectFile(dialog.fileName);
    if (fileDialog->exec() != QDialog::Accepted)
        return QString();
    const QStringList chosen = fileDialog->selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

QString QtPrompts::openFile(const FileDialog &dialog)
{
    return runFileDialog(dialog, false);
}

QString QtPrompts::saveFile(const FileDialog &dialog)
{
    return runFileDialog(dialog, true);
}

bool QtPrompts::askQuantity(const QuantityRequest &request, int *quantity)
{
    if (!m_quantityDialog)
        throw OrdixError(QStringLiteral("The quantity dialog is not available"));
    return m_quantityDialog(request, quantity);
}

bool QtPrompts::confirmPriceLayout(PriceLayoutQuestion &question)
{
    // Made for each list, as the message boxes and file dialogs are: the
    // question brings its own rows and choices.
    return PriceLayoutDialog::ask(question, m_owner);
}

QString QtPrompts::clipboardText()
{
    return QGuiApplication::clipboard()->text();
}
