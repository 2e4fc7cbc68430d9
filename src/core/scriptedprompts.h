#pragma once

#include <functional>

#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

#include "userprompts.h"

// Answers questions from queues filled by a test and records every question.
// An empty queue gives the safe answer: No for questions, Cancel for
// Retry/Cancel, an empty name for file dialogs and Cancel for the quantity.
class ScriptedPrompts final : public UserPrompts
{
public:
    struct Record
    {
        QString kind; // "yesno", "yesnocancel", "message", "retrycancel", "open", "save", "quantity", "layout"
        QString text; // question text, message text, or dialog title
        QString title;
        bool onTop = false;
        Icon icon = Icon::Information;
        FileDialog dialog;
        QuantityRequest quantity;
    };

    // Answers for askYesNo/askYesNoCancel/askRetryCancel, in order of asking.
    void queueAnswer(Answer answer) { m_answers.enqueue(answer); }
    // Paths returned by openFile/saveFile, in order; empty text cancels.
    void queueFile(const QString &path) { m_files.enqueue(path); }
    // Quantities for askQuantity; a negative number cancels.
    void queueQuantity(int quantity) { m_quantities.enqueue(quantity); }
    // Answers for confirmPriceLayout, in order: each may change the
    // question's layout and returns whether the buyer confirmed. An empty
    // queue cancels.
    void queueLayoutAnswer(std::function<bool(PriceLayoutQuestion &)> answer)
    {
        m_layoutAnswers.enqueue(std::move(answer));
    }
    // Runs before each question is answered: what another program
    // does while the question is on the screen.
    void setWhileAsking(std::function<void()> action) { m_whileAsking = std::move(action); }
    // The text clipboardText() returns.
    void setClipboardText(const QString &text) { m_clipboard = text; }

    const QList<Record> &records() const { return m_records; }
    // The texts of all records of one kind, or of all kinds when empty.
    QStringList texts(const QString &kind = QString()) const;
    QStringList messages() const { return texts(QStringLiteral("message")); }
    QStringList questions() const; // yesno and yesnocancel texts
    void clear();
    bool allAnswersUsed() const
    {
        return m_answers.isEmpty() && m_files.isEmpty() && m_quantities.isEmpty() && m_layoutAnswers.isEmpty();
    }

    Answer askYesNo(const QString &text) override;
    Answer askYesNoCancel(const QString &text) override;
    void message(const QString &text, Icon icon, const QString &title) override;
    Answer askRetryCancel(const QString &title, const QString &text) override;
    QString openFile(const FileDialog &dialog) override;
    QString saveFile(const FileDialog &dialog) override;
    bool askQuantity(const QuantityRequest &request, int *quantity) override;
    bool confirmPriceLayout(PriceLayoutQuestion &question) override;
    QString clipboardText() override { return m_clipboard; }
    Answer askYesNoBox(const QString &text, const BoxOptions &options) override;
    void messageBox(const QString &text, Icon icon, const BoxOptions &options) override;

private:
    Answer takeAnswer(Answer fallback);

    QQueue<Answer> m_answers;
    QQueue<QString> m_files;
    QQueue<int> m_quantities;
    QQueue<std::function<bool(PriceLayoutQuestion &)>> m_layoutAnswers;
    QList<Record> m_records;
    QString m_clipboard;
    std::function<void()> m_whileAsking;
};
