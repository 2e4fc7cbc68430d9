#pragma once

#include <functional>

#include "userprompts.h"

class QWidget;

// The user prompts with real dialogs: message boxes with the icons and
// buttons asked for, and the toolkit's file dialogs with title, filter,
// default extension and the question before replacing a file. The message
// boxes carry the application's title.
class QtPrompts final : public UserPrompts
{
public:
    explicit QtPrompts(QWidget *owner = nullptr);

    void setOwner(QWidget *owner) { m_owner = owner; }
    // The quantity dialog; until one is installed askQuantity() fails.
    using QuantityDialog = std::function<bool(const QuantityRequest &request, int *quantity)>;
    void setQuantityDialog(QuantityDialog dialog) { m_quantityDialog = std::move(dialog); }

    Answer askYesNo(const QString &text) override;
    Answer askYesNoCancel(const QString &text) override;
    void message(const QString &text, Icon icon, const QString &title) override;
    Answer askRetryCancel(const QString &title, const QString &text) override;
    QString openFile(const FileDialog &dialog) override;
    QString saveFile(const FileDialog &dialog) override;
    bool askQuantity(const QuantityRequest &request, int *quantity) override;
    bool confirmPriceLayout(PriceLayoutQuestion &question) override;
    QString clipboardText() override;
    Answer askYesNoBox(const QString &text, const BoxOptions &options) override;
    void messageBox(const QString &text, Icon icon, const BoxOptions &options) override;

    // "Прайс-лист (*.txt)|*.txt|Все файлы|*.*" as the toolkit's filter list:
    // "Прайс-лист (*.txt)", "Все файлы (*.*)".
    static QStringList nameFilters(const QString &filter);

private:
    QString runFileDialog(const FileDialog &dialog, bool save);

    QWidget *m_owner = nullptr;
    QuantityDialog m_quantityDialog;
};
