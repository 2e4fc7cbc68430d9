#pragma once

#include <functional>

#include <QString>
#include <QtGlobal>

struct PriceLayoutQuestion;

// Every question, message box, file dialog and the quantity dialog reach the
// program's logic through this interface. The window implements it with real
// dialogs; tests use ScriptedPrompts, which answers from a queue and records
// every question's exact text.
class UserPrompts
{
public:
    enum class Answer
    {
        Yes,
        No,
        Cancel,
        Ok,
        Retry
    };

    enum class Icon
    {
        Information,
        Warning,
        Error,
        Question
    };

    struct FileDialog
    {
        QString title;
        QString filter;              // "Прайс-лист (*.txt)|*.txt": pairs of description and pattern
        QString defaultExtension;    // without the dot, added when the name has none
        QString fileName;            // proposed name (save) or empty
        QString directory;           // where the dialog starts; empty: the current folder
        bool overwritePrompt = true; // save: ask before replacing an existing file
    };

    struct QuantityRequest
    {
        QString partName;       // caption of the group box
        double price = 0;       // in the display currency
        QString currencySymbol; // for the money masks
        int quantity = 1;       // initial value
        int packSize = 0;       // the part's pack when a whole number above 1, else 0
        // What the order line comes to for a quantity with the customer's
        // discount or markup ("С учётом скидки 5%: 2 958.41 р."); empty
        // when neither applies. Unset: nothing to tell.
        std::function<QString(int quantity)> lineCost;
    };

    // A box with a title of its own, kept above all windows when `onTop`
    // (a plug-in asks while its own window may be in front).
    struct BoxOptions
    {
        QString title; // empty: the program's name
        bool onTop = false;
    };

    virtual ~UserPrompts() = default;

    // Confirmation with Yes and No.
    virtual Answer askYesNo(const QString &text) = 0;
    // Confirmation with Yes, No and Cancel.
    virtual Answer askYesNoCancel(const QString &text) = 0;
    // A message with an OK button.
    virtual void message(const QString &text, Icon icon = Icon::Information, const QString &title = QString()) = 0;
    // Warning with Retry and Cancel; returns Retry or Cancel.
    virtual Answer askRetryCancel(const QString &title, const QString &text) = 0;
    // File dialogs: the chosen path, or empty when cancelled.
    virtual QString openFile(const FileDialog &dialog) = 0;
    virtual QString saveFile(const FileDialog &dialog) = 0;
    // The quantity dialog: true with the entered quantity on OK.
    virtual bool askQuantity(const QuantityRequest &request, int *quantity) = 0;
    // The text on the clipboard ("Вставить заказ из буфера"); empty where
    // there is no clipboard.
    virtual QString clipboardText() { return QString(); }

    // The columns of a supplier's list ("Столбцы прайс-листа"): the buyer
    // confirms or corrects the proposed layout in `question` and names it.
    // False when the buyer cancels; prompts without windows cannot ask.
    virtual bool confirmPriceLayout(PriceLayoutQuestion &question)
    {
        Q_UNUSED(question);
        return false;
    }

    // askYesNo and message with a title and stacking of their own; prompts
    // without windows answer them as the plain ones.
    virtual Answer askYesNoBox(const QString &text, const BoxOptions &options)
    {
        Q_UNUSED(options);
        return askYesNo(text);
    }
    virtual void messageBox(const QString &text, Icon icon, const BoxOptions &options)
    {
        message(text, icon, options.title);
    }
};
