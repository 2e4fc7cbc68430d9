#pragma once

#include <functional>

#include <QString>

#include "userprompts.h"

// The prompts of the command-line program. The command line already says
// which file to write, so the one save dialog a command expects is answered
// with that name; any other question, message or dialog means the logic
// wanted something the command line cannot give, and fails with the
// question's text instead of being answered behind the user's back.
class CliPrompts final : public UserPrompts
{
public:
    // The next save dialog answers with `path`.
    void expectSaveFile(const QString &path);
    // True once the expected save dialog has been asked.
    bool saveFileAsked() const { return m_saveAsked; }

    Answer askYesNo(const QString &text) override;
    Answer askYesNoCancel(const QString &text) override;
    void message(const QString &text, Icon icon, const QString &title) override;
    Answer askRetryCancel(const QString &title, const QString &text) override;
    QString openFile(const FileDialog &dialog) override;
    QString saveFile(const FileDialog &dialog) override;
    bool askQuantity(const QuantityRequest &request, int *quantity) override;
    bool confirmPriceLayout(PriceLayoutQuestion &question) override;

    // Where notes (one line) and reports (several lines) go: the error device.
    void setOutput(std::function<void(const QString &)> note, std::function<void(const QString &)> report)
    {
        m_note = std::move(note);
        m_report = std::move(report);
    }

private:
    [[noreturn]] static void refuse(const QString &what);

    std::function<void(const QString &)> m_note;
    std::function<void(const QString &)> m_report;
    QString m_savePath;
    bool m_saveExpected = false;
    bool m_saveAsked = false;
};
